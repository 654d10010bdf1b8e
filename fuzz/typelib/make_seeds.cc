// make_seeds.cc - writes the type library fuzz target's seeds: the control's own image, taken from its module, and small libraries of every kind of record.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/com/typelib_image.h"
#include "platform/modules/modules.h"

namespace {

using com::typelib::FuncDecl;
using com::typelib::LibraryDecl;
using com::typelib::ParamDecl;
using com::typelib::TypeDecl;
using Bytes = std::vector<uint8_t>;

constexpr GUID kLibraryId = {0x1C0B5E7A, 0x42D1, 0x4B6E, {0x9A, 0x10, 0x3E, 0x55, 0x7F, 0x21, 0xC4, 0x08}};
constexpr GUID kDispatchId = {0x1C0B5E7B, 0x42D1, 0x4B6E, {0x9A, 0x10, 0x3E, 0x55, 0x7F, 0x21, 0xC4, 0x08}};
constexpr GUID kClassId = {0x1C0B5E7C, 0x42D1, 0x4B6E, {0x9A, 0x10, 0x3E, 0x55, 0x7F, 0x21, 0xC4, 0x08}};

// Properties of every invoke kind, a parameterless method, and names that differ only in case.
constexpr ParamDecl kValue[] = {{"Value", VT_I4}};
constexpr ParamDecl kPair[] = {{"first", VT_BSTR}, {"FIRST", VT_VARIANT}};
constexpr FuncDecl kMembers[] = {
    {"Count", 1, INVOKE_PROPERTYGET, VT_I4, {}},
    {"Count", 1, INVOKE_PROPERTYPUT, VT_EMPTY, kValue},
    {"Owner", 2, INVOKE_PROPERTYPUTREF, VT_EMPTY, kValue},
    {"reset", 3, INVOKE_FUNC, VT_EMPTY, {}},
    {"RESET", -4, INVOKE_FUNC, VT_BSTR, kPair},
};
constexpr TypeDecl kKinds[] = {
    {"_DMembers", kDispatchId, TKIND_DISPATCH, TYPEFLAG_FDISPATCHABLE, kMembers},
    {"Members", kClassId, TKIND_COCLASS, 0x2, {}},
    {"Shape", kClassId, TKIND_UNION, 0, {}},
};
constexpr LibraryDecl kKindsLibrary = {"KindsLib", kLibraryId, 3, 1, 0x0407, LIBFLAG_FCONTROL, kKinds};

constexpr LibraryDecl kEmptyLibrary = {"E", kLibraryId, 0, 0, 0, 0, {}};

// Windows-1252 bytes outside ASCII, which GetIDsOfNames never matches.
constexpr ParamDecl kAccented[] = {{"Gr\xF6\xDF" "e", VT_BOOL}};
constexpr FuncDecl kAccentedMembers[] = {{"Ma\xDF", 5, INVOKE_FUNC, VT_BOOL, kAccented}};
constexpr TypeDecl kAccentedTypes[] = {{"_D\xC4nderung", kDispatchId, TKIND_DISPATCH, 0, kAccentedMembers}};
constexpr LibraryDecl kAccentedLibrary = {"\x80uroLib", kLibraryId, 1, 0, 0x0407, 0, kAccentedTypes};

// A member id that means "no member", which the reader refuses.
constexpr FuncDecl kNilMember[] = {{"Nobody", MEMBERID_NIL, INVOKE_FUNC, VT_EMPTY, {}}};
constexpr TypeDecl kNilTypes[] = {{"_DNil", kDispatchId, TKIND_DISPATCH, 0, kNilMember}};
constexpr LibraryDecl kNilLibrary = {"NilLib", kLibraryId, 1, 0, 0, 0, kNilTypes};

Bytes image_of(const LibraryDecl &decl) {
  Bytes image(com::typelib::image_size(decl));
  com::typelib::write_image(decl, image.data());
  return image;
}

// The image as the control's module carries it, or nothing when the module or its resource is missing.
Bytes module_image(const char *path) {
  HMODULE module = LoadLibraryExA(path, nullptr, 0);
  if (module == nullptr) return {};
  Bytes image;
  if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), "TYPELIB")) {
    const auto *data = static_cast<const uint8_t *>(LockResource(LoadResource(module, resource)));
    if (data != nullptr) image.assign(data, data + SizeofResource(module, resource));
  }
  FreeLibrary(module);
  return image;
}

void save(const std::string &path, const Bytes &bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CORPUS_FOLDER CONTROL_MODULE\n", argv[0]);
    return 64;
  }
  const std::string folder = argv[1];
  const Bytes control = module_image(argv[2]);
  if (control.size() <= com::typelib::kHeaderBytes) {
    std::fprintf(stderr, "make_seeds: no type library in %s\n", argv[2]);
    return 1;
  }
  save(folder + "/quillora", control);
  save(folder + "/kinds", image_of(kKindsLibrary));
  save(folder + "/empty", image_of(kEmptyLibrary));
  save(folder + "/accented", image_of(kAccentedLibrary));
  save(folder + "/member_id_nil", image_of(kNilLibrary));

  // Refused images, so the failure paths start covered.
  Bytes cut(control.begin(), control.end() - 1);
  save(folder + "/quillora_cut", cut);
  Bytes version = control;
  version[4] = 2;
  save(folder + "/quillora_version_2", version);
  Bytes longer = control;
  longer.push_back(0);
  for (int i = 0; i < 4; ++i) longer[8 + i] = static_cast<uint8_t>(longer.size() >> (8 * i));  // size agrees
  save(folder + "/quillora_byte_left_over", longer);
  return 0;
}
