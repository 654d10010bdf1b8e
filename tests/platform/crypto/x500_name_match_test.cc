// x500_name_match_test.cc - catches wildcards that do not match anything, matches confined to one RDN, prefix or type-blind value matches, and the wrong first attribute found.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/crypto/x500_name.h"
#include "tests/platform/crypto/name_builder.h"

namespace {

using namespace name_builder;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

const Bytes kName = name({rdn({attr(kC, kPrintable, "US")}), rdn({attr(kO, kPrintable, "Acme"), attr(kOU, kIA5, "Dev")}),
                          rdn({attr(kCN, kPrintable, "Joe")}), rdn({attr(kCN, kUTF8, "Joe")})});

struct Wanted {
  const char *oid;  // NULL: any
  DWORD type;
  const char *value;  // NULL: any
};

struct MatchCase {
  const char *what;
  std::vector<Wanted> attrs;
  bool match;
};

class Matches : public testing::TestWithParam<MatchCase> {};

TEST_P(Matches, EveryAttributeMustBeSomewhereInTheName) {
  std::vector<CERT_RDN_ATTR> attrs;
  for (const Wanted &w : GetParam().attrs) {
    CERT_RDN_ATTR a = {const_cast<LPSTR>(w.oid), w.type, {0, nullptr}};
    if (w.value != nullptr)
      a.Value = {static_cast<DWORD>(std::strlen(w.value)), reinterpret_cast<BYTE *>(const_cast<char *>(w.value))};
    attrs.push_back(a);
  }
  CERT_RDN wanted = {static_cast<DWORD>(attrs.size()), attrs.data()};
  Bytes der = kName;
  CERT_NAME_BLOB blob = {static_cast<DWORD>(der.size()), der.data()};
  SetLastError(0);
  EXPECT_EQ(CertIsRDNAttrsInCertificateName(kEncoding, 0, &blob, &wanted), GetParam().match ? TRUE : FALSE)
      << GetParam().what;
  if (!GetParam().match) {
    EXPECT_EQ(GetLastError(), CRYPT_E_NO_MATCH) << GetParam().what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Attributes, Matches,
    testing::Values(
        MatchCase{"one exact attribute", {{kO, CERT_RDN_PRINTABLE_STRING, "Acme"}}, true},
        MatchCase{"attributes from different RDNs", {{kC, CERT_RDN_ANY_TYPE, "US"}, {kOU, CERT_RDN_ANY_TYPE, "Dev"}}, true},
        MatchCase{"any OID", {{nullptr, CERT_RDN_ANY_TYPE, "Dev"}}, true},
        MatchCase{"any value", {{kOU, CERT_RDN_IA5_STRING, nullptr}}, true},
        MatchCase{"no attributes at all", {}, true},
        MatchCase{"wrong type", {{kO, CERT_RDN_IA5_STRING, "Acme"}}, false},
        MatchCase{"prefix of the value", {{kO, CERT_RDN_ANY_TYPE, "Acm"}}, false},
        MatchCase{"value in another case", {{kO, CERT_RDN_ANY_TYPE, "acme"}}, false},
        MatchCase{"value under another OID", {{kCN, CERT_RDN_ANY_TYPE, "Acme"}}, false},
        MatchCase{"one of two missing", {{kC, CERT_RDN_ANY_TYPE, "US"}, {kL, CERT_RDN_ANY_TYPE, nullptr}}, false},
        MatchCase{"empty value matches no non-empty one", {{kO, CERT_RDN_ANY_TYPE, ""}}, false},
        // A UTF-8 value decodes to UTF-16, so its 8-bit spelling does not match; the printable one does.
        MatchCase{"8-bit value against printable", {{kCN, CERT_RDN_PRINTABLE_STRING, "Joe"}}, true},
        MatchCase{"8-bit value against UTF-8", {{kCN, CERT_RDN_UTF8_STRING, "Joe"}}, false}));

TEST(CertIsRDNAttrsInCertificateName, RefusesBadNamesAndFlags) {
  CERT_RDN_ATTR attr = {const_cast<LPSTR>(kCN), CERT_RDN_ANY_TYPE, {0, nullptr}};
  CERT_RDN wanted = {1, &attr};
  Bytes der = kName;
  CERT_NAME_BLOB blob = {static_cast<DWORD>(der.size()), der.data()};
  EXPECT_FALSE(CertIsRDNAttrsInCertificateName(kEncoding, 1, &blob, &wanted));
  EXPECT_EQ(GetLastError(), E_INVALIDARG);
  for (size_t n = 0; n < der.size(); ++n) {
    CERT_NAME_BLOB cut = {static_cast<DWORD>(n), der.data()};
    SetLastError(0);
    EXPECT_FALSE(CertIsRDNAttrsInCertificateName(kEncoding, 0, &cut, &wanted)) << n;
    EXPECT_EQ(GetLastError(), CRYPT_E_ASN1_CORRUPT) << n;
  }
}

TEST(CertFindRDNAttr, FirstInRdnThenAttributeOrder) {
  char cn[] = "2.5.4.3", o[] = "2.5.4.10", ou[] = "2.5.4.11";
  BYTE v[] = "abcd";
  CERT_RDN_ATTR first[] = {{o, CERT_RDN_PRINTABLE_STRING, {1, v}}, {ou, CERT_RDN_PRINTABLE_STRING, {1, v + 1}}};
  CERT_RDN_ATTR second[] = {{ou, CERT_RDN_PRINTABLE_STRING, {1, v + 2}}, {cn, CERT_RDN_PRINTABLE_STRING, {1, v + 3}}};
  CERT_RDN rdns[] = {{2, first}, {2, second}};
  CERT_NAME_INFO info = {2, rdns};
  EXPECT_EQ(CertFindRDNAttr(szOID_ORGANIZATIONAL_UNIT_NAME, &info), &first[1]);
  EXPECT_EQ(CertFindRDNAttr(szOID_COMMON_NAME, &info), &second[1]);
  EXPECT_EQ(CertFindRDNAttr("2.5.4.6", &info), nullptr);
  EXPECT_EQ(CertFindRDNAttr("2.5.4", &info), nullptr);  // no prefix match
  EXPECT_EQ(CertFindRDNAttr(szOID_COMMON_NAME, nullptr), nullptr);
}

}  // namespace
