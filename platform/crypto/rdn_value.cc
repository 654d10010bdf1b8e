// rdn_value.cc - attribute values as text: the string types, UTF-8, and CertRDNValueToStrA.
#include <cstring>

#include "platform/base/last_error.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/crypto/name_codec.h"
#include "platform/crypto/x500_name.h"

namespace x500 {
namespace {

void append_code_point(std::u16string *out, uint32_t code) {
  if (code < 0x10000) {
    out->push_back(static_cast<char16_t>(code));
  } else {
    code -= 0x10000;
    out->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  }
}

std::u16string latin1(const BYTE *bytes, size_t nbytes) {
  return std::u16string(bytes, bytes + nbytes);
}

}  // namespace

bool utf8_to_utf16(const BYTE *utf8, size_t utf8_nbytes, std::u16string *out) {
  out->clear();
  for (size_t i = 0; i < utf8_nbytes;) {
    const BYTE lead = utf8[i];
    size_t extra;
    uint32_t code, min_code;
    if (lead < 0x80) {
      extra = 0, code = lead, min_code = 0;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, code = lead & 0x1F, min_code = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, code = lead & 0x0F, min_code = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, code = lead & 0x07, min_code = 0x10000;
    } else {
      return false;
    }
    if (utf8_nbytes - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      if ((utf8[i + k] & 0xC0) != 0x80) return false;
      code = code << 6 | (utf8[i + k] & 0x3F);
    }
    if (code < min_code || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) return false;
    append_code_point(out, code);
    i += extra + 1;
  }
  return true;
}

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;  // an unpaired surrogate has no UTF-8 form
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | code >> 6));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | code >> 12));
      out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | code >> 18));
      out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

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
      if (t61_try_utf8 && utf8_to_utf16(value, value_nbytes, &text)) return text;
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
        append_code_point(&text, valid ? code : 0xFFFD);
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
