// rdn_value.cc - attribute values as text: the string types and CertRDNValueToStrA.
#include <cstring>

#include "platform/base/last_error.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"
#include "platform/crypto/name_codec.h"
#include "platform/crypto/x500_name.h"

namespace x500 {
namespace {

std::u16string latin1(const BYTE *bytes, size_t nbytes) {
  return std::u16string(bytes, bytes + nbytes);
}

}  // namespace

std::u16string value_to_text(DWORD value_type, const BYTE *value, size_t value_nbytes,
                             bool t61_try_utf8) {
  std::u16string text;
  switch (value_type) {
    case CERT_RDN_NUMERIC_STRING:
    case CERT_RDN_PRINTABLE_STRING:
    case CERT_RDN_VIDEOTEX_STRING:
    case CERT_RDN_IA5_STRING:
    case CERT_RDN_GRAPHIC_STRING:
    case CERT_RDN_VISIBLE_STRING:
    case CERT_RDN_GENERAL_STRING:
      return latin1(value, value_nbytes);
    case CERT_RDN_T61_STRING:
      if (t61_try_utf8 && codepage::utf16_from_utf8(value, value_nbytes, &text)) return text;
      return latin1(value, value_nbytes);
    case CERT_RDN_BMP_STRING:
    case CERT_RDN_UTF8_STRING:
      text.resize(value_nbytes / 2);
      if (!text.empty()) std::memcpy(text.data(), value, text.size() * 2);
      return text;
    case CERT_RDN_UNIVERSAL_STRING:
      for (size_t i = 0; i + 4 <= value_nbytes; i += 4) {
        uint32_t code;
        std::memcpy(&code, value + i, sizeof code);
        const bool valid = code <= 0x10FFFF && !(code >= 0xD800 && code < 0xE000);
        codepage::append_utf16(&text, valid ? code : 0xFFFD);
      }
      return text;
    case CERT_RDN_OCTET_STRING:
    case CERT_RDN_ENCODED_BLOB: {
      static constexpr char kHex[] = "0123456789ABCDEF";
      text.push_back(u'#');
      for (size_t i = 0; i < value_nbytes; ++i) {
        text.push_back(static_cast<char16_t>(kHex[value[i] >> 4]));
        text.push_back(static_cast<char16_t>(kHex[value[i] & 0x0F]));
      }
      return text;
    }
    default:
      return text;
  }
}

DWORD copy_out(const std::string &text, LPSTR psz, DWORD csz) {
  const DWORD needed = static_cast<DWORD>(text.size()) + 1;
  if (psz == nullptr || csz == 0) return needed;
  const DWORD written = needed <= csz ? needed : csz;
  std::memcpy(psz, text.data(), written - 1);
  psz[written - 1] = '\0';
  return written;
}

}  // namespace x500

DWORD CertRDNValueToStrA(DWORD dwValueType, PCERT_RDN_VALUE_BLOB pValue, LPSTR psz, DWORD csz) {
  std::u16string text;
  if (pValue != nullptr && (pValue->pbData != nullptr || pValue->cbData == 0))
    text = x500::value_to_text(dwValueType & CERT_RDN_TYPE_MASK, pValue->pbData, pValue->cbData,
                               true);
  return x500::copy_out(codepage::ansi_from_utf16(text), psz, csz);
}
