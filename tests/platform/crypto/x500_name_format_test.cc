// x500_name_format_test.cc - catches a wrong quote set, hex of content versus TLV, reversal inside an RDN, wrong keys, string decoding and the size contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/base/last_error.h"
#include "platform/crypto/x500_name.h"
#include "tests/platform/crypto/name_builder.h"

namespace {

using namespace name_builder;

std::string name_to_str(Bytes der, DWORD flags = 0) {
  CERT_NAME_BLOB blob{static_cast<DWORD>(der.size()), der.data()};
  const DWORD type = CERT_X500_NAME_STR | flags;
  const DWORD needed = CertNameToStrA(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, &blob, type, nullptr, 0);
  std::string out(needed, 'x');
  EXPECT_EQ(CertNameToStrA(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, &blob, type, out.data(), needed),
            needed);
  EXPECT_EQ(out.back(), '\0');
  out.pop_back();
  return out;
}

struct FormatCase {
  const char *what;
  Bytes der;
  DWORD flags;
  std::string expected;
};

class FormatVectors : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatVectors, RendersAsWindowsDoes) {
  EXPECT_EQ(name_to_str(GetParam().der, GetParam().flags), GetParam().expected) << GetParam().what;
}

Bytes cn(uint8_t tag, const std::string &text) { return name({rdn({attr(kCN, tag, text)})}); }
Bytes cn_bmp(const std::u16string &text) { return name({rdn({attr(kCN, tlv(kBMP, bmp16(text)))})}); }

const Bytes kThreeRdns = name({rdn({attr(kC, kPrintable, "US")}), rdn({attr(kO, kPrintable, "Org")}),
                               rdn({attr(kCN, kPrintable, "Name")})});
const Bytes kUnorderedMulti = name({rdn({attr(kCN, kPrintable, "x")}),
                                    rdn({attr(kOU, kPrintable, "zzzz"), attr(kOU, kPrintable, "aaaa")})});

INSTANTIATE_TEST_SUITE_P(
    Quoting, FormatVectors,
    testing::Values(
        FormatCase{"plain", cn(kPrintable, "Joe"), 0, "CN=Joe"},
        FormatCase{"leading space", cn(kPrintable, " a"), 0, "CN=\" a\""},
        FormatCase{"trailing tab", cn(kIA5, "a\t"), 0, "CN=\"a\t\""},
        FormatCase{"leading CR", cn(kIA5, "\ra"), 0, "CN=\"\ra\""},
        FormatCase{"trailing VT", cn(kIA5, "a\v"), 0, "CN=\"a\v\""},
        FormatCase{"CR in the middle", cn(kIA5, "a\rb"), 0, "CN=a\rb"},
        FormatCase{"LF in the middle", cn(kIA5, "a\nb"), 0, "CN=\"a\nb\""},
        FormatCase{"U+2002 at the edge is not white space (its best fit is)", cn_bmp(u"\u2002a"), 0, "CN= a"},
        FormatCase{"runs of spaces and a backslash", cn(kIA5, "a     \\b"), 0, "CN=a     \\b"},
        FormatCase{"apostrophe", cn(kPrintable, "O'Neil"), 0, "CN=O'Neil"},
        FormatCase{"empty", cn(kPrintable, ""), 0, "CN=\"\""},
        FormatCase{"quote at start", cn(kIA5, "\"a"), 0, "CN=\"\"\"a\""},
        FormatCase{"quote in the middle", cn(kIA5, "Joe \"Cool\""), 0, "CN=\"Joe \"\"Cool\"\"\""},
        FormatCase{"comma", cn(kPrintable, "a,b"), 0, "CN=\"a,b\""},
        FormatCase{"plus", cn(kPrintable, "a+b"), 0, "CN=\"a+b\""},
        FormatCase{"equals", cn(kPrintable, "a=b"), 0, "CN=\"a=b\""},
        FormatCase{"angle brackets", cn(kIA5, "<a>"), 0, "CN=\"<a>\""},
        FormatCase{"semicolon", cn(kIA5, "a;b"), 0, "CN=\"a;b\""},
        FormatCase{"string starting with #", cn(kUTF8, "#00"), 0, "CN=\"#00\""},
        FormatCase{"no quoting flag", cn(kIA5, " a,\"b"), CERT_NAME_STR_NO_QUOTING_FLAG, "CN= a,\"b"}));

INSTANTIATE_TEST_SUITE_P(
    NonStrings, FormatVectors,
    testing::Values(
        FormatCase{"sequence value is the whole TLV", name({rdn({attr(kCN, Bytes{0x30, 0x00})})}), 0,
                   "CN=#3000"},
        FormatCase{"boolean value", name({rdn({attr(kS, Bytes{0x01, 0x01, 0xFF})})}), 0, "S=#0101FF"},
        FormatCase{"bit string", name({rdn({attr(kCN, Bytes{0x03, 0x03, 0x00, 0x30, 0x00})})}), 0,
                   "CN=#0303003000"},
        FormatCase{"octet string is its content", name({rdn({attr(kCN, kOctet, Bytes{0x30, 0x00})})}), 0,
                   "CN=#3000"},
        FormatCase{"octet string stripped one level only",
                   name({rdn({attr(kCN, kOctet, Bytes{0x04, 0x02, 0x30, 0x00})})}), 0, "CN=#04023000"}));

INSTANTIATE_TEST_SUITE_P(
    LayoutAndKeys, FormatVectors,
    testing::Values(
        FormatCase{"encoded order", kThreeRdns, 0, "C=US, O=Org, CN=Name"},
        FormatCase{"reversed", kThreeRdns, CERT_NAME_STR_REVERSE_FLAG, "CN=Name, O=Org, C=US"},
        FormatCase{"semicolons", kThreeRdns, CERT_NAME_STR_SEMICOLON_FLAG, "C=US; O=Org; CN=Name"},
        FormatCase{"CRLF", kThreeRdns, CERT_NAME_STR_CRLF_FLAG, "C=US\r\nO=Org\r\nCN=Name"},
        FormatCase{"multi-valued keeps its order", kUnorderedMulti, 0, "CN=x, OU=zzzz + OU=aaaa"},
        FormatCase{"reversal leaves the RDN's inside alone", kUnorderedMulti, CERT_NAME_STR_REVERSE_FLAG,
                   "OU=zzzz + OU=aaaa, CN=x"},
        FormatCase{"no plus", kUnorderedMulti, CERT_NAME_STR_NO_PLUS_FLAG, "CN=x, OU=zzzz OU=aaaa"},
        FormatCase{"S, not ST", name({rdn({attr(kS, kPrintable, "Barcelona")})}), 0, "S=Barcelona"},
        FormatCase{"E", name({rdn({attr(kE, kIA5, "a@b.c")})}), 0, "E=a@b.c"},
        FormatCase{"DC", name({rdn({attr("0.9.2342.19200300.100.1.25", kIA5, "com")})}), 0, "DC=com"},
        FormatCase{"SERIALNUMBER", name({rdn({attr("2.5.4.5", kPrintable, "1")})}), 0, "SERIALNUMBER=1"},
        FormatCase{"dnQualifier", name({rdn({attr("2.5.4.46", kPrintable, "q")})}), 0, "dnQualifier=q"},
        FormatCase{"unknown OID", name({rdn({attr("2.5.4.97", kPrintable, "VATES-1")})}), 0,
                   "OID.2.5.4.97=VATES-1"},
        FormatCase{"private OID", name({rdn({attr("1.3.6.1.4.1.311.1.1", kPrintable, "Sample Text")})}), 0,
                   "OID.1.3.6.1.4.1.311.1.1=Sample Text"},
        FormatCase{"empty name", Bytes{0x30, 0x00}, 0, ""},
        FormatCase{"truncated name", Bytes{0x30, 0x05, 0x31, 0x03}, 0, ""},
        FormatCase{"trailing garbage", Bytes{0x30, 0x00, 0x00}, 0, ""},
        FormatCase{"indefinite length", Bytes{0x30, 0x80, 0x00, 0x00}, 0, ""}));

INSTANTIATE_TEST_SUITE_P(
    StringTypes, FormatVectors,
    testing::Values(
        FormatCase{"T61 as UTF-8", cn(kT61, "Caf\xC3\xA9"), 0, "CN=Caf\xE9"},
        FormatCase{"T61 not UTF-8 is Latin-1", cn(kT61, "Caf\xE9"), 0, "CN=Caf\xE9"},
        FormatCase{"T61 with UTF-8 disabled", cn(kT61, "Caf\xC3\xA9"), CERT_NAME_STR_DISABLE_IE4_UTF8_FLAG,
                   "CN=Caf\xC3\xA9"},
        FormatCase{"UTF8String euro", cn(kUTF8, "\xE2\x82\xAC"), 0, "CN=\x80"},
        FormatCase{"BMP outside 1252: best fit, else ?", cn_bmp(u"\u0141\u00F3d\u017A\u4E2D"), 0, "CN=L\xF3" "dz?"},
        FormatCase{"universal string", name({rdn({attr(kCN, 0x1C, Bytes{0, 0, 0, 'a', 0, 1, 0xF6, 0})})}),
                   0, "CN=a?"},
        FormatCase{"numeric string", name({rdn({attr("2.5.4.24", 0x12, "123")})}), 0, "X21Address=123"}));

// The size contract: the count includes the NUL, and a short buffer still ends in a NUL.
TEST(CertNameToStrBuffer, SizeQueryExactFitAndTruncation) {
  Bytes der = kThreeRdns;
  CERT_NAME_BLOB blob{static_cast<DWORD>(der.size()), der.data()};
  const std::string full = "C=US, O=Org, CN=Name";
  const DWORD enc = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
  EXPECT_EQ(CertNameToStrA(enc, &blob, CERT_X500_NAME_STR, nullptr, 0), full.size() + 1);
  char buf[64];
  EXPECT_EQ(CertNameToStrA(enc, &blob, CERT_X500_NAME_STR, buf, 0), full.size() + 1);

  std::fill(std::begin(buf), std::end(buf), 'x');
  EXPECT_EQ(CertNameToStrA(enc, &blob, CERT_X500_NAME_STR, buf, full.size() + 1), full.size() + 1);
  EXPECT_EQ(std::string(buf), full);
  EXPECT_EQ(buf[full.size() + 1], 'x');

  std::fill(std::begin(buf), std::end(buf), 'x');
  EXPECT_EQ(CertNameToStrA(enc, &blob, CERT_X500_NAME_STR, buf, full.size()), full.size());
  EXPECT_EQ(std::string(buf), full.substr(0, full.size() - 1));
  EXPECT_EQ(buf[full.size()], 'x');

  EXPECT_EQ(CertNameToStrA(enc, &blob, CERT_X500_NAME_STR, buf, 1), 1u);
  EXPECT_EQ(buf[0], '\0');

  Bytes empty{0x30, 0x00};
  CERT_NAME_BLOB empty_blob{2, empty.data()};
  EXPECT_EQ(CertNameToStrA(enc, &empty_blob, CERT_X500_NAME_STR, nullptr, 0), 1u);
  buf[0] = 'x';
  EXPECT_EQ(CertNameToStrA(enc, &empty_blob, CERT_X500_NAME_STR, buf, sizeof buf), 1u);
  EXPECT_EQ(buf[0], '\0');
}

// A decoded value alone: no key and no quotes, the string types decoded from CERT_RDN_ATTR's forms.
TEST(CertRDNValueToStr, WritesBareTextOfEachForm) {
  struct Case {
    DWORD type;
    Bytes value;
    std::string expected;
  };
  const std::u16string bmp = u"Ma\u0159ia \u00E9";
  Bytes bmp_host(bmp.size() * 2);
  std::memcpy(bmp_host.data(), bmp.data(), bmp_host.size());
  const Case cases[] = {
      {CERT_RDN_PRINTABLE_STRING, bytes("a, \"b\""), "a, \"b\""},
      {CERT_RDN_IA5_STRING, bytes(" x "), " x "},
      {CERT_RDN_T61_STRING, bytes("\xC3\xA9"), "\xE9"},
      {CERT_RDN_BMP_STRING, bmp_host, "Maria \xE9"},
      {CERT_RDN_UTF8_STRING, bmp_host, "Maria \xE9"},
      {CERT_RDN_OCTET_STRING, Bytes{0xAB, 0x01}, "#AB01"},
      {CERT_RDN_PRINTABLE_STRING, Bytes{}, ""},
  };
  for (const Case &c : cases) {
    Bytes value = c.value;
    CERT_RDN_VALUE_BLOB blob{static_cast<DWORD>(value.size()), value.data()};
    char buf[32];
    EXPECT_EQ(CertRDNValueToStrA(c.type, &blob, nullptr, 0), c.expected.size() + 1) << c.expected;
    EXPECT_EQ(CertRDNValueToStrA(c.type, &blob, buf, sizeof buf), c.expected.size() + 1) << c.expected;
    EXPECT_EQ(std::string(buf), c.expected);
  }
}

}  // namespace
