// x500_name_parse.cc - CertStrToNameA: X.500 text to an encoded name, with the failing position.
#include <cstring>

#include "platform/base/last_error.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/crypto/name_codec.h"
#include "platform/crypto/x500_name.h"

namespace x500 {
namespace {

constexpr std::string_view kOidCountry = "2.5.4.6";
constexpr std::string_view kOidEmail = "1.2.840.113549.1.9.1";
constexpr std::string_view kOidDomainComponent = "0.9.2342.19200300.100.1.25";
constexpr std::string_view kOidX121Address = "2.5.4.24";

// A parse failure: the CRYPT_E_* code and the offset into the input of the offending sequence.
struct ParseError {
  DWORD code;
  size_t offset;
};

bool is_printable(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
         std::u16string_view(u" '()+,-./:=?").find(c) != std::u16string_view::npos;
}

int hex_digit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

bool is_dotted_oid(std::u16string_view text) {
  if (text.empty() || text.front() == u'.' || text.back() == u'.') return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= u'0' && text[i] <= u'9';
    if (!digit && !(text[i] == u'.' && text[i - 1] != u'.')) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(std::u16string_view text, DWORD flags) : text_(text), flags_(flags) {
    // One kind of RDN separator when a flag asks for it; semicolon outranks comma outranks CRLF.
    if (flags & CERT_NAME_STR_SEMICOLON_FLAG) {
      rdn_separators_ = u";";
    } else if (flags & CERT_NAME_STR_COMMA_FLAG) {
      rdn_separators_ = u",";
    } else if (flags & CERT_NAME_STR_CRLF_FLAG) {
      rdn_separators_ = u"\r\n";
    } else {
      rdn_separators_ = u",;";
    }
  }

  // The parsed name, or the first error.
  std::optional<ParseError> parse(Name *name) {
    Rdn rdn;
    for (skip_space(); pos_ < text_.size();) {
      Attribute attr;
      if (std::optional<ParseError> error = parse_attribute(&attr)) return error;
      rdn.push_back(std::move(attr));
      skip_space();
      if (pos_ == text_.size()) break;
      const char16_t separator = text_[pos_++];
      if (is_rdn_separator(separator)) {
        // CR LF is one separator, as CertNameToStrA writes it under CRLF_FLAG.
        if (separator == u'\r' && pos_ < text_.size() && text_[pos_] == u'\n') ++pos_;
        name->push_back(std::move(rdn));
        rdn.clear();
        skip_space();  // a trailing RDN separator is accepted
      } else if (skip_space(); pos_ == text_.size()) {
        return ParseError{CRYPT_E_INVALID_X500_STRING, pos_};  // '+' with nothing after it
      }
    }
    if (!rdn.empty()) name->push_back(std::move(rdn));
    return std::nullopt;
  }

 private:
  bool is_rdn_separator(char16_t c) const {
    return rdn_separators_.find(c) != std::u16string_view::npos;
  }
  bool is_separator(char16_t c) const {
    return is_rdn_separator(c) || (c == u'+' && !(flags_ & CERT_NAME_STR_NO_PLUS_FLAG));
  }
  bool is_space(char16_t c) const {
    return (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f') &&
           !is_rdn_separator(c);
  }
  void skip_space() {
    while (pos_ < text_.size() && is_space(text_[pos_])) ++pos_;
  }
  std::u16string_view trim_end(size_t start, size_t end) const {
    while (end > start && is_space(text_[end - 1])) --end;
    return text_.substr(start, end - start);
  }

  std::optional<ParseError> parse_attribute(Attribute *attr) {
    const size_t key_start = pos_;
    while (pos_ < text_.size() && text_[pos_] != u'=' && !is_separator(text_[pos_])) ++pos_;
    if (pos_ == text_.size() || text_[pos_] != u'=')
      return ParseError{CRYPT_E_INVALID_X500_STRING, key_start};
    if (!resolve_key(trim_end(key_start, pos_), &attr->oid))
      return ParseError{CRYPT_E_INVALID_X500_STRING, key_start};
    ++pos_;
    skip_space();
    if (pos_ < text_.size() && text_[pos_] == u'#') return parse_hex(attr);
    std::u16string value;
    const size_t value_start = pos_;
    const bool quoted =
        pos_ < text_.size() && text_[pos_] == u'"' && !(flags_ & CERT_NAME_STR_NO_QUOTING_FLAG);
    if (quoted) {
      for (++pos_;; ++pos_) {
        if (pos_ == text_.size()) return ParseError{CRYPT_E_INVALID_X500_STRING, value_start};
        if (text_[pos_] == u'"') {
          if (pos_ + 1 == text_.size() || text_[pos_ + 1] != u'"') break;
          ++pos_;  // "" inside quotes stands for one "
        }
        value.push_back(text_[pos_]);
      }
      ++pos_;
      skip_space();
      if (pos_ < text_.size() && !is_separator(text_[pos_]))
        return ParseError{CRYPT_E_INVALID_X500_STRING, pos_};
    } else {
      while (pos_ < text_.size() && !is_separator(text_[pos_])) ++pos_;
      value = trim_end(value_start, pos_);
    }
    return choose_type(value, value_start + (quoted ? 1 : 0), attr);
  }

  // Names, OID.<dotted> and bare dotted OIDs.
  static bool resolve_key(std::u16string_view key, std::string *oid) {
    if (std::optional<std::string_view> known = oid_for_key(key)) {
      oid->assign(*known);
      return true;
    }
    if (key.size() > 4 && (key[0] | 0x20) == u'o' && (key[1] | 0x20) == u'i' &&
        (key[2] | 0x20) == u'd' && key[3] == u'.')
      key.remove_prefix(4);
    if (!is_dotted_oid(key)) return false;
    oid->assign(key.begin(), key.end());
    return oid_to_der(*oid).has_value();
  }

  // '#' and hex digits with white space anywhere among them: an octet string.
  std::optional<ParseError> parse_hex(Attribute *attr) {
    ++pos_;
    int high = -1;
    for (; pos_ < text_.size() && !is_separator(text_[pos_]); ++pos_) {
      if (is_space(text_[pos_])) continue;
      const int digit = hex_digit(text_[pos_]);
      if (digit < 0) return ParseError{CRYPT_E_INVALID_X500_STRING, pos_};
      if (high < 0) {
        high = digit;
      } else {
        attr->value.push_back(static_cast<BYTE>(high << 4 | digit));
        high = -1;
      }
    }
    if (high >= 0) return ParseError{CRYPT_E_INVALID_X500_STRING, pos_};
    attr->value_type = CERT_RDN_OCTET_STRING;
    return std::nullopt;
  }

  // Picks the string type the attribute is written with, or reports the first character its
  // type cannot hold (value_offset is where the value's text starts in the input).
  std::optional<ParseError> choose_type(const std::u16string &value, size_t value_offset,
                                        Attribute *attr) const {
    auto first_bad = [&](auto allowed) -> std::optional<size_t> {
      for (size_t i = 0; i < value.size(); ++i) {
        if (!allowed(value[i])) return value_offset + i;
      }
      return std::nullopt;
    };
    auto narrow = [&](DWORD type) {
      attr->value_type = type;
      attr->value.assign(value.begin(), value.end());  // every character is below 0x100 here
      return std::nullopt;
    };
    if (attr->oid == kOidEmail || attr->oid == kOidDomainComponent) {
      if (std::optional<size_t> bad = first_bad([](char16_t c) { return c < 0x80; }))
        return ParseError{CRYPT_E_INVALID_IA5_STRING, *bad};
      return narrow(CERT_RDN_IA5_STRING);
    }
    if (attr->oid == kOidCountry) {
      if (std::optional<size_t> bad = first_bad(is_printable))
        return ParseError{CRYPT_E_INVALID_PRINTABLE_STRING, *bad};
      return narrow(CERT_RDN_PRINTABLE_STRING);
    }
    if (attr->oid == kOidX121Address) {
      auto numeric = [](char16_t c) { return c == u' ' || (c >= u'0' && c <= u'9'); };
      if (std::optional<size_t> bad = first_bad(numeric))
        return ParseError{CRYPT_E_INVALID_NUMERIC_STRING, *bad};
      return narrow(CERT_RDN_NUMERIC_STRING);
    }
    if (!first_bad(is_printable)) return narrow(CERT_RDN_PRINTABLE_STRING);
    if ((flags_ & CERT_NAME_STR_ENABLE_T61_UNICODE_FLAG) &&
        !first_bad([](char16_t c) { return c <= 0xFF; }))
      return narrow(CERT_RDN_T61_STRING);
    attr->value_type = (flags_ & CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG) ? CERT_RDN_UTF8_STRING
                                                                         : CERT_RDN_BMP_STRING;
    attr->value.resize(value.size() * 2);
    if (!value.empty()) std::memcpy(attr->value.data(), value.data(), attr->value.size());
    return std::nullopt;
  }

  std::u16string_view text_;
  DWORD flags_;
  std::u16string_view rdn_separators_;
  size_t pos_ = 0;
};

}  // namespace
}  // namespace x500

BOOL CertStrToNameA(DWORD dwCertEncodingType, LPCSTR pszX500, DWORD dwStrType, void *,
                    BYTE *pbEncoded, DWORD *pcbEncoded, LPCSTR *ppszError) {
  if (ppszError != nullptr) *ppszError = nullptr;
  if (pszX500 == nullptr || pcbEncoded == nullptr || !(dwCertEncodingType & X509_ASN_ENCODING) ||
      (dwStrType & 0xFFFF) != CERT_X500_NAME_STR) {
    SetLastError(E_INVALIDARG);
    return FALSE;
  }
  // Code page 1252 is one byte per character, so offsets into the UTF-16 text are offsets into
  // the caller's string.
  const std::u16string text = codepage::utf16_from_ansi(pszX500);
  x500::Name name;
  if (std::optional<x500::ParseError> error = x500::Parser(text, dwStrType).parse(&name)) {
    if (ppszError != nullptr) *ppszError = pszX500 + error->offset;
    SetLastError(error->code);
    return FALSE;
  }
  const std::optional<std::vector<BYTE>> der = x500::encode_name(name);
  if (!der) {
    SetLastError(CRYPT_E_INVALID_X500_STRING);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(der->size());
  const DWORD available = *pcbEncoded;
  *pcbEncoded = needed;
  if (pbEncoded == nullptr) return TRUE;
  if (available < needed) {
    SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  std::memcpy(pbEncoded, der->data(), needed);
  return TRUE;
}
