// typelib_image.cc - reads a type library image, checking every count and length against what is left.
#include "platform/com/typelib_image.h"

namespace com::typelib {

namespace {

// Reads within [data, data + size); any read past the end marks the reader failed and yields 0,
// so callers check once per record.
class Reader {
 public:
  Reader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

  bool ok() const { return m_ok; }
  bool at_end() const { return m_pos == m_size; }
  void fail() { m_ok = false; }

  uint8_t u8() {
    if (!m_ok || m_size - m_pos < 1) return fail(), 0;
    return m_data[m_pos++];
  }
  uint16_t u16() {
    const uint16_t lo = u8();
    return static_cast<uint16_t>(lo | (u8() << 8));
  }
  uint32_t u32() {
    const uint32_t lo = u16();
    return lo | (uint32_t{u16()} << 16);
  }
  GUID guid() {
    GUID g{};
    g.Data1 = u32();
    g.Data2 = u16();
    g.Data3 = u16();
    for (uint8_t &b : g.Data4) b = u8();
    return g;
  }
  std::string text() {
    const size_t length = u16();
    if (!m_ok || length == 0 || m_size - m_pos < length) return fail(), std::string();
    std::string s(reinterpret_cast<const char *>(m_data + m_pos), length);
    m_pos += length;
    if (s.find('\0') != std::string::npos) fail();
    return s;
  }

 private:
  const uint8_t *m_data;
  size_t m_size;
  size_t m_pos = 0;
  bool m_ok = true;
};

bool valid_invkind(uint16_t v) {
  return v == INVOKE_FUNC || v == INVOKE_PROPERTYGET || v == INVOKE_PROPERTYPUT || v == INVOKE_PROPERTYPUTREF;
}

}  // namespace

HRESULT read_image(const uint8_t *data, size_t size, Library *library) {
  if (data == nullptr || size < kHeaderBytes) return TYPE_E_INVDATAREAD;
  Reader r(data, size);
  for (char c : kMagic)
    if (r.u8() != static_cast<uint8_t>(c)) return TYPE_E_INVDATAREAD;
  if (r.u16() != kFormatVersion) return TYPE_E_UNSUPFORMAT;
  if (r.u16() != 0 || r.u32() != size) return TYPE_E_INVDATAREAD;

  Library lib;
  lib.guid = r.guid();
  lib.major = r.u16();
  lib.minor = r.u16();
  lib.lcid = r.u32();
  lib.flags = r.u16();
  lib.name = r.text();
  const size_t type_count = r.u16();
  for (size_t t = 0; t < type_count && r.ok(); ++t) {
    Type type;
    const uint8_t kind = r.u8();
    if (kind >= TKIND_MAX) r.fail();
    type.kind = static_cast<TYPEKIND>(kind);
    type.flags = r.u16();
    type.guid = r.guid();
    type.name = r.text();
    const size_t func_count = r.u16();
    for (size_t f = 0; f < func_count && r.ok(); ++f) {
      Func func;
      func.memid = static_cast<MEMBERID>(r.u32());
      // MEMBERID_NIL means "no member" to GetIDsOfNames and "the type itself" to GetDocumentation.
      if (func.memid == MEMBERID_NIL) r.fail();
      const uint16_t invkind = r.u16();
      if (!valid_invkind(invkind)) r.fail();
      func.invkind = static_cast<INVOKEKIND>(invkind);
      func.vt_result = r.u16();
      func.name = r.text();
      const size_t param_count = r.u16();
      if (param_count > kMaxParams) r.fail();
      for (size_t p = 0; p < param_count && r.ok(); ++p) {
        Param param;
        param.name = r.text();
        param.vt = r.u16();
        func.params.push_back(std::move(param));
      }
      type.funcs.push_back(std::move(func));
    }
    lib.types.push_back(std::move(type));
  }
  if (!r.ok() || !r.at_end()) return TYPE_E_INVDATAREAD;
  *library = std::move(lib);
  return S_OK;
}

}  // namespace com::typelib
