// x500_name_parse_test.cc - catches wrong separators per flag, wrong error codes or positions, wrong value tags, and text that does not round-trip.
#include <gtest/gtest.h>

#include <string>

#include "platform/base/last_error.h"
#include "platform/crypto/x500_name.h"
#include "tests/platform/crypto/name_builder.h"

namespace {

using namespace name_builder;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// Parses through the size query and the real call; an empty result marks a failure.
Bytes str_to_name(const std::string &text, DWORD flags = 0) {
  DWORD size = 0;
  if (!CertStrToNameA(kEncoding, text.c_str(), CERT_X500_NAME_STR | flags, nullptr, nullptr, &size,
                      nullptr))
    return {};
  Bytes out(size);
  EXPECT_TRUE(CertStrToNameA(kEncoding, text.c_str(), CERT_X500_NAME_STR | flags, nullptr, out.data(),
                             &size, nullptr));
  EXPECT_EQ(size, out.size());
  return out;
}

struct ParseCase {
  const char *text;
  DWORD flags;
  Bytes expected;
};

class ParseVectors : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseVectors, EncodesExactly) {
  EXPECT_EQ(hex(str_to_name(GetParam().text, GetParam().flags)), hex(GetParam().expected))
      << GetParam().text;
}

const char kMixed[] = "CN=a, O=b; OU=c\r L=d\n S=e";

INSTANTIATE_TEST_SUITE_P(
    SeparatorFlags, ParseVectors,
    testing::Values(
        ParseCase{kMixed, 0,
                  name({rdn({attr(kCN, kPrintable, "a")}), rdn({attr(kO, kPrintable, "b")}),
                        rdn({attr(kOU, kBMP, "c\r L=d\n S=e")})})},
        ParseCase{kMixed, CERT_NAME_STR_COMMA_FLAG,
                  name({rdn({attr(kCN, kPrintable, "a")}), rdn({attr(kO, kBMP, "b; OU=c\r L=d\n S=e")})})},
        ParseCase{kMixed, CERT_NAME_STR_SEMICOLON_FLAG,
                  name({rdn({attr(kCN, kPrintable, "a, O=b")}), rdn({attr(kOU, kBMP, "c\r L=d\n S=e")})})},
        ParseCase{kMixed, CERT_NAME_STR_CRLF_FLAG,
                  name({rdn({attr(kCN, kBMP, "a, O=b; OU=c")}), rdn({attr(kL, kPrintable, "d")}),
                        rdn({attr(kS, kPrintable, "e")})})},
        ParseCase{kMixed, CERT_NAME_STR_SEMICOLON_FLAG | CERT_NAME_STR_COMMA_FLAG | CERT_NAME_STR_CRLF_FLAG,
                  name({rdn({attr(kCN, kPrintable, "a, O=b")}), rdn({attr(kOU, kBMP, "c\r L=d\n S=e")})})},
        ParseCase{kMixed, CERT_NAME_STR_COMMA_FLAG | CERT_NAME_STR_CRLF_FLAG,
                  name({rdn({attr(kCN, kPrintable, "a")}), rdn({attr(kO, kBMP, "b; OU=c\r L=d\n S=e")})})},
        ParseCase{"CN=a\r\nO=b\r\n", CERT_NAME_STR_CRLF_FLAG,
                  name({rdn({attr(kCN, kPrintable, "a")}), rdn({attr(kO, kPrintable, "b")})})},
        ParseCase{"OU=zzzz + OU=aaaa, CN=x", 0,
                  name({rdn({attr(kOU, kPrintable, "zzzz"), attr(kOU, kPrintable, "aaaa")}),
                        rdn({attr(kCN, kPrintable, "x")})})},
        ParseCase{"CN=a+b", CERT_NAME_STR_NO_PLUS_FLAG, name({rdn({attr(kCN, kPrintable, "a+b")})})},
        ParseCase{"  CN = a b ,O=c,", 0,
                  name({rdn({attr(kCN, kPrintable, "a b")}), rdn({attr(kO, kPrintable, "c")})})}));

INSTANTIATE_TEST_SUITE_P(
    KeysAndValues, ParseVectors,
    testing::Values(
        ParseCase{"CN=abc", 0, name({rdn({attr(kCN, kPrintable, "abc")})})},
        ParseCase{"CN=M\xFCller", 0, name({rdn({attr(kCN, kBMP, "M\xFCller")})})},
        ParseCase{"CN=M\xFCller", CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG,
                  name({rdn({attr(kCN, kUTF8, "M\xC3\xBCller")})})},
        ParseCase{"CN=M\xFCller", CERT_NAME_STR_ENABLE_T61_UNICODE_FLAG,
                  name({rdn({attr(kCN, kT61, "M\xFCller")})})},
        ParseCase{"CN=\x80", CERT_NAME_STR_ENABLE_T61_UNICODE_FLAG,
                  name({rdn({attr(kCN, tlv(kBMP, Bytes{0x20, 0xAC}))})})},
        ParseCase{"CN=a@b", 0, name({rdn({attr(kCN, kBMP, "a@b")})})},
        ParseCase{"E=ab", 0, name({rdn({attr(kE, kIA5, "ab")})})},
        ParseCase{"email=ab", 0, name({rdn({attr(kE, kIA5, "ab")})})},
        ParseCase{"DC=com", 0, name({rdn({attr("0.9.2342.19200300.100.1.25", kIA5, "com")})})},
        ParseCase{"C=ESP", 0, name({rdn({attr(kC, kPrintable, "ESP")})})},
        ParseCase{"ST=x, cn=y", 0, name({rdn({attr(kS, kPrintable, "x")}), rdn({attr(kCN, kPrintable, "y")})})},
        ParseCase{"OID.2.5.4.3=x", 0, name({rdn({attr(kCN, kPrintable, "x")})})},
        ParseCase{"1.1.1.1=x", 0, name({rdn({attr("1.1.1.1", kPrintable, "x")})})},
        ParseCase{"1.2.3 = # AB CD 01", 0, name({rdn({attr("1.2.3", kOctet, Bytes{0xAB, 0xCD, 0x01})})})},
        ParseCase{"CN=#3000", 0, name({rdn({attr(kCN, kOctet, Bytes{0x30, 0x00})})})},
        ParseCase{"CN=\"a, b\"", 0, name({rdn({attr(kCN, kPrintable, "a, b")})})},
        ParseCase{"CN=\"Joe \"\"Cool\"\"\"", 0, name({rdn({attr(kCN, kBMP, "Joe \"Cool\"")})})},
        ParseCase{"CN=\" a \"", 0, name({rdn({attr(kCN, kPrintable, " a ")})})},
        ParseCase{"CN=", 0, name({rdn({attr(kCN, kPrintable, "")})})},
        ParseCase{"CN=\"\"", 0, name({rdn({attr(kCN, kPrintable, "")})})},
        ParseCase{"", 0, Bytes{0x30, 0x00}},
        ParseCase{"   ", 0, Bytes{0x30, 0x00}}));

// Each failure by its code and by where *ppszError points.
TEST(CertStrToNameErrors, CodeAndPosition) {
  struct Case {
    const char *text;
    DWORD flags;
    DWORD code;
    ptrdiff_t offset;
  };
  const Case cases[] = {
      {"CN=a, XX=b", 0, CRYPT_E_INVALID_X500_STRING, 6},
      {"CN=\"abc", 0, CRYPT_E_INVALID_X500_STRING, 3},
      {",", 0, CRYPT_E_INVALID_X500_STRING, 0},
      {"CN=a,,O=b", 0, CRYPT_E_INVALID_X500_STRING, 5},
      {"CN", 0, CRYPT_E_INVALID_X500_STRING, 0},
      {"CN=a, O", 0, CRYPT_E_INVALID_X500_STRING, 6},
      {"CN=a+", 0, CRYPT_E_INVALID_X500_STRING, 5},
      {"OID.STREET=a", 0, CRYPT_E_INVALID_X500_STRING, 0},
      {"OID.=a", 0, CRYPT_E_INVALID_X500_STRING, 0},
      {"1.a.1.3=x", 0, CRYPT_E_INVALID_X500_STRING, 0},
      {"1..3=x", 0, CRYPT_E_INVALID_X500_STRING, 0},
      {"CN=\"a\" b", 0, CRYPT_E_INVALID_X500_STRING, 7},
      {"CN=#ABC", 0, CRYPT_E_INVALID_X500_STRING, 7},
      {"CN=#AG", 0, CRYPT_E_INVALID_X500_STRING, 5},
      {"C=\xDC", 0, CRYPT_E_INVALID_PRINTABLE_STRING, 2},
      {"CN=x, C=\"E@\"", 0, CRYPT_E_INVALID_PRINTABLE_STRING, 10},
      {"E=m\xFCller@x", 0, CRYPT_E_INVALID_IA5_STRING, 3},
      {"X21Address=12a", 0, CRYPT_E_INVALID_NUMERIC_STRING, 13},
  };
  for (const Case &c : cases) {
    LPCSTR error_at = nullptr;
    DWORD size = 0;
    SetLastError(0);
    EXPECT_FALSE(CertStrToNameA(kEncoding, c.text, CERT_X500_NAME_STR | c.flags, nullptr, nullptr, &size,
                                &error_at))
        << c.text;
    EXPECT_EQ(GetLastError(), c.code) << c.text;
    ASSERT_NE(error_at, nullptr) << c.text;
    EXPECT_EQ(error_at - c.text, c.offset) << c.text;
  }
}

TEST(CertStrToNameBuffer, TooSmallReportsTheSize) {
  const char *text = "CN=abc";
  DWORD size = 0;
  ASSERT_TRUE(CertStrToNameA(kEncoding, text, CERT_X500_NAME_STR, nullptr, nullptr, &size, nullptr));
  Bytes out(size);
  DWORD short_size = size - 1;
  SetLastError(0);
  EXPECT_FALSE(CertStrToNameA(kEncoding, text, CERT_X500_NAME_STR, nullptr, out.data(), &short_size, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(short_size, size);
}

// Encode, render, parse again: the bytes must not change, for each string type the parser picks.
TEST(X500RoundTrip, ParseFormatParseKeepsTheBytes) {
  const char *texts[] = {
      "C=US, O=Org, CN=Name",
      "CN=M\xFCller, O=Caf\xE9 \x80",
      "E=a@b.c, DC=example, CN=x",
      "OU=zzzz + OU=aaaa, CN=\"a, b\", CN=\" lead\", CN=\"q\"\"q\"",
      "1.2.3=#ABCD, OID.2.5.4.97=VAT, S=x, CN=",
  };
  for (const char *text : texts) {
    Bytes first = str_to_name(text);
    ASSERT_FALSE(first.empty()) << text;
    CERT_NAME_BLOB blob{static_cast<DWORD>(first.size()), first.data()};
    char rendered[256];
    ASSERT_GT(CertNameToStrA(kEncoding, &blob, CERT_X500_NAME_STR, rendered, sizeof rendered), 1u);
    EXPECT_EQ(hex(str_to_name(rendered)), hex(first)) << text << " -> " << rendered;
  }
}

}  // namespace
