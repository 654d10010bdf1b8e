// guid_text.cc - the interface identifiers COM defines, and GUIDs to and from their braced text form.
#include "platform/com/guid_text.h"

#include <cstdio>

#include "platform/com/ole_embedding.h"

const GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
const IID IID_IConnectionPointContainer = {0xB196B284, 0xBAB4, 0x101A,
                                           {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IOleWindow = {0x00000114, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IOleClientSite = {0x00000118, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

constexpr size_t kGuidTextLength = 38;  // without the NUL

int hex_value(unsigned c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  return -1;
}

// Parses exactly kGuidTextLength units of either character width; the caller checks the end.
template <typename Char>
bool parse_braced(const Char *text, GUID *guid) {
  static constexpr size_t kDashes[] = {9, 14, 19, 24};
  if (text[0] != '{' || text[kGuidTextLength - 1] != '}') return false;
  uint8_t bytes[16];
  size_t nibble = 0;
  for (size_t i = 1; i < kGuidTextLength - 1; ++i) {
    bool dash_here = false;
    for (size_t d : kDashes) dash_here |= (i == d);
    const unsigned c = static_cast<unsigned>(text[i]);
    if (dash_here) {
      if (c != '-') return false;
      continue;
    }
    const int v = hex_value(c);
    if (v < 0) return false;
    if (nibble % 2 == 0) bytes[nibble / 2] = static_cast<uint8_t>(v << 4);
    else bytes[nibble / 2] |= static_cast<uint8_t>(v);
    ++nibble;
  }
  guid->Data1 = (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  guid->Data2 = static_cast<uint16_t>((bytes[4] << 8) | bytes[5]);
  guid->Data3 = static_cast<uint16_t>((bytes[6] << 8) | bytes[7]);
  memcpy(guid->Data4, bytes + 8, 8);
  return true;
}

template <typename Char>
bool parse_exact(const Char *text, GUID *guid) {
  if (text == nullptr) return false;
  for (size_t i = 0; i < kGuidTextLength; ++i)
    if (text[i] == 0) return false;
  if (text[kGuidTextLength] != 0) return false;
  GUID parsed;
  if (!parse_braced(text, &parsed)) return false;
  *guid = parsed;
  return true;
}

}  // namespace

namespace com {

std::string guid_to_string(REFGUID g) {
  char text[kGuidTextLength + 1];
  snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
           g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

bool guid_from_string(const char *text, GUID *guid) { return parse_exact(text, guid); }

}  // namespace com

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  if (lpsz == nullptr || cchMax < static_cast<int>(kGuidTextLength + 1)) return 0;
  const std::string text = com::guid_to_string(rguid);
  for (size_t i = 0; i <= kGuidTextLength; ++i) lpsz[i] = static_cast<OLECHAR>(text.c_str()[i]);
  return static_cast<int>(kGuidTextLength + 1);
}

HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID *pclsid) {
  if (pclsid == nullptr) return E_INVALIDARG;
  return parse_exact(lpsz, pclsid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, IID *lpiid) {
  if (lpiid == nullptr) return E_INVALIDARG;
  return parse_exact(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}
