// x500_name_format.cc - CertNameToStrA: an encoded name as X.500 text, and the key table both directions share.
#include <array>

#include "platform/base/last_error.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/crypto/name_codec.h"
#include "platform/crypto/x500_name.h"

namespace x500 {
namespace {

struct KeyOid {
  std::string_view key;
  std::string_view oid;
  bool written;  // false: accepted on input only, never produced
};

constexpr std::array<KeyOid, 28> kKeys = {{
    {"CN", "2.5.4.3", true},
    {"L", "2.5.4.7", true},
    {"O", "2.5.4.10", true},
    {"OU", "2.5.4.11", true},
    {"E", "1.2.840.113549.1.9.1", true},
    {"C", "2.5.4.6", true},
    {"S", "2.5.4.8", true},
    {"STREET", "2.5.4.9", true},
    {"T", "2.5.4.12", true},
    {"G", "2.5.4.42", true},
    {"I", "2.5.4.43", true},
    {"SN", "2.5.4.4", true},
    {"DC", "0.9.2342.19200300.100.1.25", true},
    {"SERIALNUMBER", "2.5.4.5", true},
    {"Description", "2.5.4.13", true},
    {"PostalCode", "2.5.4.17", true},
    {"POBox", "2.5.4.18", true},
    {"Phone", "2.5.4.20", true},
    {"X21Address", "2.5.4.24", true},
    {"dnQualifier", "2.5.4.46", true},
    {"TPMManufacturer", "2.23.133.2.1", true},
    {"TPMModel", "2.23.133.2.2", true},
    {"TPMVersion", "2.23.133.2.3", true},
    {"Email", "1.2.840.113549.1.9.1", false},
    {"ST", "2.5.4.8", false},
    {"Title", "2.5.4.12", false},
    {"GivenName", "2.5.4.42", false},
    {"Initials", "2.5.4.43", false},
}};

char16_t ascii_upper(char16_t c) { return c >= u'a' && c <= u'z' ? c - u'a' + u'A' : c; }

// Characters that make a value need quotes wherever they appear.
bool is_special(char16_t c) {
  return c == u',' || c == u'+' || c == u'=' || c == u'"' || c == u'\n' || c == u'<' ||
         c == u'>' || c == u'#' || c == u';';
}

// Edge white space that makes a value need quotes; a CR or space in the middle does not.
bool is_edge_space(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool needs_quotes(std::u16string_view text) {
  if (text.empty() || is_edge_space(text.front()) || is_edge_space(text.back())) return true;
  for (char16_t c : text) {
    if (is_special(c)) return true;
  }
  return false;
}

void append_value(std::u16string *out, const Attribute &attr, DWORD flags) {
  std::u16string text = value_to_text(attr.value_type, attr.value.data(), attr.value.size(),
                                      !(flags & CERT_NAME_STR_DISABLE_IE4_UTF8_FLAG));
  if (is_hex_value(attr.value_type) || (flags & CERT_NAME_STR_NO_QUOTING_FLAG) ||
      !needs_quotes(text)) {
    out->append(text);
    return;
  }
  out->push_back(u'"');
  for (char16_t c : text) {
    if (c == u'"') out->push_back(u'"');
    out->push_back(c);
  }
  out->push_back(u'"');
}

void append_ascii(std::u16string *out, std::string_view ascii) { out->append(ascii.begin(), ascii.end()); }

std::u16string format_name(const Name &name, DWORD flags) {
  std::string_view rdn_separator = ", ";
  if (flags & CERT_NAME_STR_SEMICOLON_FLAG) {
    rdn_separator = "; ";
  } else if (flags & CERT_NAME_STR_CRLF_FLAG) {
    rdn_separator = "\r\n";
  }
  const std::string_view attr_separator = (flags & CERT_NAME_STR_NO_PLUS_FLAG) ? " " : " + ";
  const bool reverse = flags & CERT_NAME_STR_REVERSE_FLAG;
  std::u16string out;
  for (size_t i = 0; i < name.size(); ++i) {
    if (i > 0) append_ascii(&out, rdn_separator);
    const Rdn &rdn = name[reverse ? name.size() - 1 - i : i];
    for (size_t j = 0; j < rdn.size(); ++j) {
      if (j > 0) append_ascii(&out, attr_separator);
      if (std::optional<std::string_view> key = key_for_oid(rdn[j].oid)) {
        append_ascii(&out, *key);
      } else {
        append_ascii(&out, "OID.");
        append_ascii(&out, rdn[j].oid);
      }
      out.push_back(u'=');
      append_value(&out, rdn[j], flags);
    }
  }
  return out;
}

}  // namespace

std::optional<std::string_view> key_for_oid(std::string_view oid) {
  for (const KeyOid &entry : kKeys) {
    if (entry.written && entry.oid == oid) return entry.key;
  }
  return std::nullopt;
}

std::optional<std::string_view> oid_for_key(std::u16string_view key) {
  for (const KeyOid &entry : kKeys) {
    if (entry.key.size() != key.size()) continue;
    bool same = true;
    for (size_t i = 0; i < key.size() && same; ++i)
      same = ascii_upper(key[i]) == ascii_upper(static_cast<char16_t>(entry.key[i]));
    if (same) return entry.oid;
  }
  return std::nullopt;
}

}  // namespace x500

DWORD CertNameToStrA(DWORD dwCertEncodingType, PCERT_NAME_BLOB pName, DWORD dwStrType, LPSTR psz,
                     DWORD csz) {
  std::u16string text;
  if ((dwStrType & 0xFFFF) != CERT_X500_NAME_STR || !(dwCertEncodingType & X509_ASN_ENCODING) ||
      pName == nullptr) {
    SetLastError(E_INVALIDARG);
  } else if (std::optional<x500::Name> name = x500::decode_name(pName->pbData, pName->cbData)) {
    text = x500::format_name(*name, dwStrType);
  } else {
    SetLastError(CRYPT_E_ASN1_CORRUPT);
  }
  return x500::copy_out(codepage::ansi_from_utf16(text), psz, csz);
}
