// typelib_image.h - the binary image of a type library as a module stores it: its layout, a compile-time writer and a checking reader.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/typelib.h"

// Layout, all integers little-endian; a string is a u16 byte count and that many bytes of 8-bit
// text (no NUL, at least one byte, no byte 0):
//
//   header   "QTLB"  u16 format version (1)  u16 reserved (0)  u32 image size in bytes
//   library  guid[16]  u16 major  u16 minor  u32 lcid  u16 flags  string name  u16 type count
//   type     u8 kind  u16 flags  guid[16]  string name  u16 function count
//   function i32 member id  u16 invoke kind  u16 result VARTYPE  string name  u16 parameter count
//   param    string name  u16 VARTYPE
//
// A GUID is stored as Data1 (u32), Data2, Data3 (u16) and the 8 bytes of Data4. The image size
// must equal the size of the resource holding it, and the image must end exactly after the last
// parameter: a reader takes nothing on trust. A function has at most kMaxParams parameters and
// its member id is never MEMBERID_NIL.
namespace com::typelib {

inline constexpr char kMagic[4] = {'Q', 'T', 'L', 'B'};
inline constexpr uint16_t kFormatVersion = 1;
inline constexpr size_t kHeaderBytes = 12;
// A function's parameter count must fit FUNCDESC's SHORT cParams.
inline constexpr size_t kMaxParams = 0x7FFF;

// What a library declares; the spans must outlive the image written from them.
struct ParamDecl {
  std::string_view name;
  VARTYPE vt;
};
struct FuncDecl {
  std::string_view name;
  MEMBERID memid;
  INVOKEKIND invkind;
  VARTYPE vt_result;
  std::span<const ParamDecl> params;
};
struct TypeDecl {
  std::string_view name;
  GUID guid;
  TYPEKIND kind;
  WORD flags;
  std::span<const FuncDecl> funcs;
};
struct LibraryDecl {
  std::string_view name;
  GUID guid;
  WORD major;
  WORD minor;
  LCID lcid;
  WORD flags;
  std::span<const TypeDecl> types;
};

namespace detail {

constexpr size_t string_bytes(std::string_view s) { return 2 + s.size(); }

class Writer {
 public:
  constexpr explicit Writer(uint8_t *out) : m_out(out) {}
  constexpr void u8(uint8_t v) { m_out[m_pos++] = v; }
  constexpr void u16(uint16_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  constexpr void u32(uint32_t v) {
    u16(static_cast<uint16_t>(v));
    u16(static_cast<uint16_t>(v >> 16));
  }
  constexpr void guid(const GUID &g) {
    u32(g.Data1);
    u16(g.Data2);
    u16(g.Data3);
    for (uint8_t b : g.Data4) u8(b);
  }
  constexpr void text(std::string_view s) {
    u16(static_cast<uint16_t>(s.size()));
    for (char c : s) u8(static_cast<uint8_t>(c));
  }

 private:
  uint8_t *m_out;
  size_t m_pos = 0;
};

}  // namespace detail

constexpr size_t image_size(const LibraryDecl &lib) {
  size_t n = kHeaderBytes + 16 + 2 + 2 + 4 + 2 + detail::string_bytes(lib.name) + 2;
  for (const TypeDecl &type : lib.types) {
    n += 1 + 2 + 16 + detail::string_bytes(type.name) + 2;
    for (const FuncDecl &func : type.funcs) {
      n += 4 + 2 + 2 + detail::string_bytes(func.name) + 2;
      for (const ParamDecl &param : func.params) n += detail::string_bytes(param.name) + 2;
    }
  }
  return n;
}

// Writes image_size(lib) bytes to out. Usable at compile time, so a module can carry its
// library as a constant.
constexpr void write_image(const LibraryDecl &lib, uint8_t *out) {
  detail::Writer w(out);
  for (char c : kMagic) w.u8(static_cast<uint8_t>(c));
  w.u16(kFormatVersion);
  w.u16(0);
  w.u32(static_cast<uint32_t>(image_size(lib)));
  w.guid(lib.guid);
  w.u16(lib.major);
  w.u16(lib.minor);
  w.u32(lib.lcid);
  w.u16(lib.flags);
  w.text(lib.name);
  w.u16(static_cast<uint16_t>(lib.types.size()));
  for (const TypeDecl &type : lib.types) {
    w.u8(static_cast<uint8_t>(type.kind));
    w.u16(type.flags);
    w.guid(type.guid);
    w.text(type.name);
    w.u16(static_cast<uint16_t>(type.funcs.size()));
    for (const FuncDecl &func : type.funcs) {
      w.u32(static_cast<uint32_t>(func.memid));
      w.u16(static_cast<uint16_t>(func.invkind));
      w.u16(func.vt_result);
      w.text(func.name);
      w.u16(static_cast<uint16_t>(func.params.size()));
      for (const ParamDecl &param : func.params) {
        w.text(param.name);
        w.u16(param.vt);
      }
    }
  }
}

template <size_t N>
constexpr std::array<uint8_t, N> make_image(const LibraryDecl &lib) {
  std::array<uint8_t, N> image{};
  write_image(lib, image.data());
  return image;
}

// A library read back from an image; it owns its text.
struct Param {
  std::string name;
  VARTYPE vt;
};
struct Func {
  std::string name;
  MEMBERID memid;
  INVOKEKIND invkind;
  VARTYPE vt_result;
  std::vector<Param> params;
};
struct Type {
  std::string name;
  GUID guid;
  TYPEKIND kind;
  WORD flags;
  std::vector<Func> funcs;
};
struct Library {
  std::string name;
  GUID guid;
  WORD major;
  WORD minor;
  LCID lcid;
  WORD flags;
  std::vector<Type> types;
};

// S_OK and the library; TYPE_E_UNSUPFORMAT for another format version; TYPE_E_INVDATAREAD for
// anything else that is not exactly an image of this layout.
HRESULT read_image(const uint8_t *data, size_t size, Library *library);

}  // namespace com::typelib
