// x500_fuzz.cc - fuzzes CertStrToNameA, CertNameToStrA and CertRDNValueToStrA, and checks the text round trip.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/crypto/x500_name.h"

/*
 * Input: one flag byte, then the rest, taken both as X.500 text (cut at the first NUL) and as a
 * DER name.
 *   bit 0 SEMICOLON, bit 1 COMMA, bit 2 CRLF, bit 3 NO_PLUS, bit 4 NO_QUOTING,
 *   bit 5 ENABLE_T61_UNICODE, bit 6 ENABLE_UTF8_UNICODE: the parse flags;
 *   bit 7: the extra renderings (and the DER renderings) also use REVERSE.
 * Every output buffer is a heap block of exactly the size passed, so ASan sees any overrun.
 */
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kMaxSmallBuffer = 8;

constexpr DWORD kFlagBits[] = {
    CERT_NAME_STR_SEMICOLON_FLAG,  CERT_NAME_STR_COMMA_FLAG,
    CERT_NAME_STR_CRLF_FLAG,       CERT_NAME_STR_NO_PLUS_FLAG,
    CERT_NAME_STR_NO_QUOTING_FLAG, CERT_NAME_STR_ENABLE_T61_UNICODE_FLAG,
    CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG,
};

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "x500_fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char *what) {
  if (!ok) fail(what);
}

std::vector<BYTE> str_to_name(const std::string &text, DWORD flags, bool *ok) {
  DWORD size = 0;
  *ok = CertStrToNameA(kEncoding, text.c_str(), CERT_X500_NAME_STR | flags, nullptr, nullptr, &size,
                       nullptr);
  if (!*ok) return {};
  std::vector<BYTE> der(size);
  check(CertStrToNameA(kEncoding, text.c_str(), CERT_X500_NAME_STR | flags, nullptr, der.data(), &size,
                       nullptr),
        "CertStrToNameA failed after its size query succeeded");
  check(size == der.size(), "CertStrToNameA wrote another size than it asked for");
  if (size > 0) {
    // One byte short must be refused with the size still reported.
    DWORD short_size = size - 1;
    std::unique_ptr<BYTE[]> small(new BYTE[short_size + 1]);
    check(!CertStrToNameA(kEncoding, text.c_str(), CERT_X500_NAME_STR | flags, nullptr, small.get(),
                          &short_size, nullptr) &&
              short_size == size,
          "CertStrToNameA accepted a buffer one byte short");
  }
  return der;
}

// Checks the crypt32 string-size contract of one rendering function over every small buffer,
// and returns the full text.
template <typename Render>
std::string render_checked(Render render) {
  const DWORD needed = render(nullptr, 0);
  check(needed >= 1, "a size query returned 0");
  std::vector<char> full(needed);
  check(render(full.data(), needed) == needed, "a full-size rendering returned another size");
  // A value may hold NULs of its own, so only the terminator's place is checked.
  check(full[needed - 1] == '\0', "a full-size rendering is not NUL-terminated");
  for (DWORD csz = 1; csz <= kMaxSmallBuffer && csz < needed; ++csz) {
    std::unique_ptr<char[]> small(new char[csz]);
    check(render(small.get(), csz) == csz, "a cut rendering did not return the buffer size");
    check(small[csz - 1] == '\0' && std::memcmp(small.get(), full.data(), csz - 1) == 0,
          "a cut rendering is not the NUL-terminated prefix of the full one");
  }
  return std::string(full.data(), needed - 1);
}

std::string name_to_str(const std::vector<BYTE> &der, DWORD flags) {
  CERT_NAME_BLOB blob{static_cast<DWORD>(der.size()), const_cast<BYTE *>(der.data())};
  return render_checked([&](LPSTR psz, DWORD csz) {
    return CertNameToStrA(kEncoding, &blob, CERT_X500_NAME_STR | flags, psz, csz);
  });
}

// The rendering flags whose separator the parser with parse_flags reads back: the parser's
// SEMICOLON outranks COMMA outranks CRLF, the writer's SEMICOLON outranks CRLF.
DWORD matching_render_flags(DWORD parse_flags) {
  DWORD flags = parse_flags & (CERT_NAME_STR_NO_PLUS_FLAG | CERT_NAME_STR_NO_QUOTING_FLAG);
  if (parse_flags & CERT_NAME_STR_SEMICOLON_FLAG) {
    flags |= CERT_NAME_STR_SEMICOLON_FLAG;
  } else if (!(parse_flags & CERT_NAME_STR_COMMA_FLAG) && (parse_flags & CERT_NAME_STR_CRLF_FLAG)) {
    flags |= CERT_NAME_STR_CRLF_FLAG;
  }
  // A T61 value that happens to be valid UTF-8 would otherwise come back as other characters.
  return flags | CERT_NAME_STR_DISABLE_IE4_UTF8_FLAG;
}

// A CR inside a value is written unquoted, as Windows does, so under CRLF separators it splits
// the value on the way back; such renderings are not expected to round-trip.
bool has_lone_cr(const std::string &text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return true;
  }
  return false;
}

void fuzz_text(const std::string &text, DWORD parse_flags, DWORD extra_flags) {
  bool ok = false;
  const std::vector<BYTE> der = str_to_name(text, parse_flags, &ok);
  if (!ok) return;
  const DWORD render_flags = matching_render_flags(parse_flags);
  const std::string rendered = name_to_str(der, render_flags);
  name_to_str(der, parse_flags | extra_flags);  // every other flag combination must at least be safe

  if ((render_flags & CERT_NAME_STR_CRLF_FLAG) && has_lone_cr(rendered)) return;
  bool reparsed = false;
  const std::vector<BYTE> again = str_to_name(rendered, parse_flags, &reparsed);
  if (!reparsed || again != der) {
    std::fprintf(stderr, "flags %08X\ntext     [%s]\nrendered [%s]\n", parse_flags, text.c_str(),
                 rendered.c_str());
    fail(reparsed ? "the rendering parses to another name" : "the rendering does not parse");
  }
}

void fuzz_der(const BYTE *data, size_t size, DWORD flags) {
  // An exactly sized heap copy, so reads past the end are caught.
  std::vector<BYTE> der(data, data + size);
  name_to_str(der, flags);
  for (DWORD value_type = CERT_RDN_ANY_TYPE; value_type <= CERT_RDN_UTF8_STRING + 1; ++value_type) {
    CERT_RDN_VALUE_BLOB value{static_cast<DWORD>(der.size()), der.data()};
    render_checked(
        [&](LPSTR psz, DWORD csz) { return CertRDNValueToStrA(value_type, &value, psz, csz); });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  DWORD parse_flags = 0;
  for (size_t bit = 0; bit < std::size(kFlagBits); ++bit) {
    if (data[0] & (1u << bit)) parse_flags |= kFlagBits[bit];
  }
  const DWORD extra_flags = (data[0] & 0x80) ? CERT_NAME_STR_REVERSE_FLAG : 0;
  const char *text = reinterpret_cast<const char *>(data + 1);
  fuzz_text(std::string(text, strnlen(text, size - 1)), parse_flags, extra_flags);
  fuzz_der(data + 1, size - 1, parse_flags | extra_flags);
  return 0;
}
