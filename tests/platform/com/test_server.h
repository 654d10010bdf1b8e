// test_server.h - what the tests' in-process server declares: its class, its ProgID and its type library.
#pragma once

#include "platform/com/typelib_image.h"

namespace testserver {

// {EEF1B749-FFAA-4F5F-8A56-0FE65F38199B}
inline constexpr CLSID kClassId = {0xEEF1B749, 0xFFAA, 0x4F5F, {0x8A, 0x56, 0x0F, 0xE6, 0x5F, 0x38, 0x19, 0x9B}};
inline constexpr char kProgId[] = "Quillora.TestThing.1";
// {07B48DD9-0FE0-4900-9C65-E7D7AABB6C54}
inline constexpr GUID kLibraryId = {0x07B48DD9, 0x0FE0, 0x4900, {0x9C, 0x65, 0xE7, 0xD7, 0xAA, 0xBB, 0x6C, 0x54}};
// {F2830170-6622-4ADC-A531-9C9ED3BB919F}
inline constexpr IID kDispatchIid = {0xF2830170, 0x6622, 0x4ADC, {0xA5, 0x31, 0x9C, 0x9E, 0xD3, 0xBB, 0x91, 0x9F}};
// {279D088A-C0D1-4AF4-9C3B-D68D44F24BF4}: an interface type that is not a dispatch interface.
inline constexpr IID kPlainIid = {0x279D088A, 0xC0D1, 0x4AF4, {0x9C, 0x3B, 0xD6, 0x8D, 0x44, 0xF2, 0x4B, 0xF4}};

using com::typelib::FuncDecl;
using com::typelib::LibraryDecl;
using com::typelib::ParamDecl;
using com::typelib::TypeDecl;

inline constexpr ParamDecl kParams[] = {{"a", VT_BSTR}, {"b", VT_I4}};
inline constexpr FuncDecl kFuncs[] = {{"Twice", 7, INVOKE_FUNC, VT_BSTR, kParams},
                                      {"Nothing", 9, INVOKE_PROPERTYGET, VT_EMPTY, {}}};
inline constexpr TypeDecl kTypes[] = {
    {"_DTestThing", kDispatchIid, TKIND_DISPATCH, TYPEFLAG_FDISPATCHABLE | TYPEFLAG_FHIDDEN, kFuncs},
    {"ITestPlain", kPlainIid, TKIND_INTERFACE, 0, {}},
};
inline constexpr LibraryDecl kLibrary = {"TestLib", kLibraryId, 1, 2, 0x0409, 0, kTypes};

}  // namespace testserver
