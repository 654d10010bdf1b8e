// cert_names_test.cc - the certificate's line in the dialog: attribute preference, first-in-order, empty values, fallbacks and the 4095-character cut.
#include <gtest/gtest.h>

#include <string>

#include "control/crypto/cert_names.h"
#include "platform/crypto/cert_store.h"
#include "tests/control/store_fixture.h"

namespace {

struct DisplayNameCase {
  const char *subject;
  const char *issuer;  // empty: self-signed
  const char *line;
};

class CertNamesTest : public StoreTest {
 protected:
  std::string line_for(const std::string &subject, const std::string &issuer) {
    certs::CertificateRequest request = request_for(subject);
    request.issuer = issuer;
    std::string error;
    auto made = certs::make_certificate(request, &error, testsupport::shared_key());
    EXPECT_TRUE(made.has_value()) << error;
    if (!made) return {};
    PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, made->der.data(),
                                                       static_cast<DWORD>(made->der.size()));
    EXPECT_NE(cert, nullptr);
    if (cert == nullptr) return {};
    CString line = "previous content";
    GetCertDisplayName(cert, line);
    CertFreeCertificateContext(cert);
    return line.GetString();
  }
};

TEST_F(CertNamesTest, LineNamesSubjectThenIssuer) {
  const DisplayNameCase cases[] = {
      {"C=ES, CN=Maria Puig", "C=ES, O=Test Org, CN=Test CA", "Maria Puig (Test CA)"},
      {"C=ES, O=Puig SL", "CN=Test CA", "Puig SL (Test CA)"},
      {"C=ES, OU=Sistemes", "CN=Test CA", "Sistemes (Test CA)"},
      {"OU=Unit, O=Org, CN=Name", "CN=Test CA", "Name (Test CA)"},
      {"C=ES, L=Barcelona", "CN=Test CA", "C=ES, L=Barcelona (Test CA)"},
      {"CN=First + CN=Second", "CN=Test CA", "First (Test CA)"},
      {"CN=First, CN=Second", "CN=Test CA", "First (Test CA)"},
      {"CN=Maria Puig", "C=ES, O=Test Org", "Maria Puig (Test Org)"},
      {"CN=Self", "", "Self (Self)"},
      {"CN=\"Puig, Maria\"", "CN=Test CA", "Puig, Maria (Test CA)"},
      {"CN=Jos\351 Mar\355a", "CN=Test CA", "Jos\351 Mar\355a (Test CA)"},
      // An attribute that is present but empty gives an empty short name, without falling back.
      {"O=Org, CN=\"\"", "CN=Test CA", " (Test CA)"},
      {"CN=Maria Puig", "O=Org, CN=\"\"", "Maria Puig"},
  };
  for (const DisplayNameCase &c : cases) {
    SCOPED_TRACE(c.subject);
    EXPECT_EQ(line_for(c.subject, c.issuer), c.line);
  }
}

TEST_F(CertNamesTest, LongCommonNameIsCutTo4095Characters) {
  const std::string long_name(5000, 'a');
  EXPECT_EQ(line_for("CN=" + long_name, "CN=" + long_name), std::string(4095, 'a') + " (" + std::string(4095, 'a') + ")");
}

TEST(NameAttributeTextTest, MissingAttributeLeavesAnEmptyBuffer) {
  // SEQUENCE { SET { SEQUENCE { OID 2.5.4.6, PrintableString "ES" } } }
  BYTE der[] = {0x30, 0x0D, 0x31, 0x0B, 0x30, 0x09, 0x06, 0x03, 0x55, 0x04, 0x06, 0x13, 0x02, 'E', 'S'};
  CERT_NAME_BLOB name = {sizeof der, der};
  char buffer[16] = "stale";
  EXPECT_FALSE(GetNameAttributeText(&name, "2.5.4.3", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "");
  EXPECT_TRUE(GetNameAttributeText(&name, "2.5.4.6", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "ES");
  CERT_NAME_BLOB damaged = {sizeof der - 1, der};
  EXPECT_FALSE(GetNameAttributeText(&damaged, "2.5.4.6", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "");
}

}  // namespace
