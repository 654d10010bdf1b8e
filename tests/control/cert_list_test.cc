// cert_list_test.cc - which certificates reach the signing list: the default rule, the filters, the store's order and the error of an empty store.
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "control/crypto/crypto_manager.h"
#include "control/dialogs/signature_dlg.h"
#include "tests/control/store_fixture.h"

namespace {

constexpr uint8_t kDigitalSignature = 0x80;
constexpr uint8_t kNonRepudiation = 0x40;
constexpr uint8_t kKeyEncipherment = 0x20;
constexpr uint8_t kKeyCertSign = 0x04;

struct QualificationCase {
  const char *what;
  int version;
  std::optional<uint8_t> key_usage;
  bool critical;
  bool with_key;
  bool listed;
};

// The serials of the list's entries, in list order.
std::vector<std::string> listed_serials(CSignatureDlg &dialog) {
  std::vector<std::string> serials;
  for (int i = 0; i < dialog.m_certs.GetSize(); ++i) {
    auto cert = static_cast<PCCERT_CONTEXT>(dialog.m_certs[i]);
    serials.push_back(SerialToHex(cert->pCertInfo->SerialNumber).GetString());
  }
  return serials;
}

class CertListTest : public StoreTest {};

TEST_F(CertListTest, EmptyStoreGivesNoEntryAndTheNotFoundText) {
  CSignatureDlg dialog("text", TRUE);
  EXPECT_EQ(dialog.LoadCertificates(), 0);
  EXPECT_STREQ(dialog.m_crypto.m_strError,
               "S'ha produ\357t un error accedint a les funcions criptogr\340fiques.\n"
               "C\363digo de error: 0x80092004\nMensaje:\nNo s'ha trobat l'objecte o la propietat");
}

TEST_F(CertListTest, DefaultRuleDecidesEachCertificate) {
  const QualificationCase cases[] = {
      {"version 1 with a key", 1, std::nullopt, false, true, true},
      {"version 1 without a key", 1, std::nullopt, false, false, false},
      {"version 3 without key usage", 3, std::nullopt, false, true, true},
      {"version 3 without a key", 3, kDigitalSignature, true, false, false},
      {"critical keyEncipherment only", 3, kKeyEncipherment, true, true, false},
      {"non-critical keyEncipherment only", 3, kKeyEncipherment, false, true, true},
      {"critical digitalSignature", 3, kDigitalSignature, true, true, true},
      {"critical nonRepudiation", 3, kNonRepudiation, true, true, true},
      {"critical keyCertSign only", 3, kKeyCertSign, true, true, false},
      {"critical, no bit set", 3, 0x00, true, true, false},
  };
  for (const QualificationCase &c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    certs::CertificateRequest request = request_for("CN=Case");
    request.version = c.version;
    request.key_usage = c.key_usage;
    request.key_usage_critical = c.critical;
    add_certificate(request, c.with_key);
    CSignatureDlg dialog("text", TRUE);
    EXPECT_EQ(dialog.LoadCertificates(), c.listed ? 1 : 0);
  }
}

TEST_F(CertListTest, ExpiredAndNotYetValidCertificatesAreListed) {
  const int64_t now = time(nullptr);
  certs::CertificateRequest expired = request_for("CN=Expired", {0x01});
  expired.not_before = now - 3 * 365 * 86400;
  expired.not_after = now - 365 * 86400;
  certs::CertificateRequest future = request_for("CN=Future", {0x02});
  future.not_before = now + 365 * 86400;
  future.not_after = now + 2 * 365 * 86400;
  add_certificate(expired);
  add_certificate(future);
  CSignatureDlg dialog("text", TRUE);
  EXPECT_EQ(dialog.LoadCertificates(), 2);
}

TEST_F(CertListTest, ListKeepsTheOrderOfAddition) {
  for (uint8_t serial : {0x30, 0x10, 0x20}) add_certificate(request_for("CN=Same", {serial}));
  CSignatureDlg dialog("text", TRUE);
  ASSERT_EQ(dialog.LoadCertificates(), 3);
  EXPECT_EQ(listed_serials(dialog), (std::vector<std::string>{"30", "10", "20"}));
}

struct KeyUsageFilterCase {
  const char *filter;
  std::vector<std::string> listed;  // serials of the certificates that pass
};

// Four certificates: 01 critical digitalSignature, 02 critical keyEncipherment, 03 no key usage,
// 04 critical nonRepudiation without a private key.
TEST_F(CertListTest, KeyUsageFilterTokens) {
  certs::CertificateRequest signing = request_for("CN=Signing", {0x01});
  signing.key_usage = kDigitalSignature;
  certs::CertificateRequest encipher = request_for("CN=Encipher", {0x02});
  encipher.key_usage = kKeyEncipherment;
  certs::CertificateRequest plain = request_for("CN=Plain", {0x03});
  certs::CertificateRequest keyless = request_for("CN=Keyless", {0x04});
  keyless.key_usage = kNonRepudiation;
  add_certificate(signing);
  add_certificate(encipher);
  add_certificate(plain);
  add_certificate(keyless, false);

  const KeyUsageFilterCase cases[] = {
      {"", {"01", "03"}},
      {"digitalSignature", {"01", "03"}},
      {"digitalSignature,nonRepudiation", {"01", "03"}},
      {"digitalSignature , nonRepudiation", {"01", "03"}},
      {"  ,keyEncipherment,, ", {"02", "03"}},
      {"keyEncipherment", {"02", "03"}},
      {"unknownName keyEncipherment", {"02", "03"}},
      {"keyCertSign", {"03"}},
      {"DigitalSignature", {}},
      {",", {}},
      {"   ", {}},
      {"cRLSign", {}},
      {"digitalSignature;nonRepudiation", {}},
  };
  for (const KeyUsageFilterCase &c : cases) {
    SCOPED_TRACE(std::string("filter \"") + c.filter + "\"");
    CSignatureDlg dialog("text", TRUE);
    dialog.LoadFilteredCertificates("", "", c.filter);
    EXPECT_EQ(listed_serials(dialog), c.listed);
  }
}

TEST_F(CertListTest, SerialFilterComparesEveryByteInHex) {
  add_certificate(request_for("CN=Leading zero", {0x00, 0xA1, 0xFF}));
  add_certificate(request_for("CN=Other", {0x7F, 0x01}));
  const KeyUsageFilterCase cases[] = {
      {"", {"00A1FF", "7F01"}}, {"00a1ff", {"00A1FF"}}, {"00A1FF", {"00A1FF"}}, {"A1FF", {}},
      {"00 A1 FF", {}},         {"00:A1:FF", {}},       {"7f01", {"7F01"}},
  };
  for (const KeyUsageFilterCase &c : cases) {
    SCOPED_TRACE(std::string("serial \"") + c.filter + "\"");
    CSignatureDlg dialog("text", TRUE);
    dialog.LoadFilteredCertificates("", c.filter, "");
    EXPECT_EQ(listed_serials(dialog), c.listed);
  }
}

struct IssuerFilterCase {
  const char *filter;
  bool matches;
};

TEST_F(CertListTest, IssuerFilterIsWrittenMostSpecificFirst) {
  certs::CertificateRequest request = request_for("CN=Maria Puig", {0x01});
  request.issuer = "C=ES, O=Test Org, CN=Test CA";
  add_certificate(request);
  certs::CertificateRequest quoted = request_for("CN=Quoted", {0x02});
  quoted.issuer = "C=ES, O=\"Puig, Vidal i Associats\", CN=Test CA";
  add_certificate(quoted);

  const IssuerFilterCase cases[] = {
      {"CN=Test CA, O=Test Org, C=ES", true},
      {"CN=Test CA,O=Test Org,C=ES", true},
      {"  CN = Test CA ;  O=Test Org; C=ES", true},
      {"cn=Test CA, o=Test Org, c=ES", true},
      {"C=ES, O=Test Org, CN=Test CA", false},
      {"CN=test ca, O=Test Org, C=ES", false},
      {"CN=Test CA, O=Test Org", false},
  };
  for (const IssuerFilterCase &c : cases) {
    SCOPED_TRACE(std::string("issuer \"") + c.filter + "\"");
    CCryptoManager normalizer;
    CString normalized;
    ASSERT_TRUE(normalizer.NormalizeIssuer(c.filter, normalized));
    CSignatureDlg dialog("text", TRUE);
    dialog.LoadFilteredCertificates(normalized, "", "");
    EXPECT_EQ(listed_serials(dialog), c.matches ? std::vector<std::string>{"01"} : std::vector<std::string>{});
  }

  // A value the rendering quotes matches because both sides lose their double quotes.
  CCryptoManager normalizer;
  CString normalized;
  ASSERT_TRUE(normalizer.NormalizeIssuer("CN=Test CA, O=\"Puig, Vidal i Associats\", C=ES", normalized));
  EXPECT_STREQ(normalized, "C=ES, O=Puig, Vidal i Associats, CN=Test CA");
  CSignatureDlg dialog("text", TRUE);
  dialog.LoadFilteredCertificates(normalized, "", "");
  EXPECT_EQ(listed_serials(dialog), std::vector<std::string>{"02"});
}

TEST_F(CertListTest, EmptyIssuerNormalisesToEmptyText) {
  CCryptoManager normalizer;
  CString normalized = "stale";
  ASSERT_TRUE(normalizer.NormalizeIssuer("", normalized));
  EXPECT_STREQ(normalized, "");
}

TEST_F(CertListTest, FiltersNeverAdmitACertificateWithoutKey) {
  certs::CertificateRequest request = request_for("CN=Keyless", {0x05});
  request.issuer = "CN=Test CA";
  add_certificate(request, false);
  CCryptoManager normalizer;
  CString normalized;
  ASSERT_TRUE(normalizer.NormalizeIssuer("CN=Test CA", normalized));
  for (const char *usage : {"", "digitalSignature", "keyCertSign"}) {
    CSignatureDlg dialog("text", TRUE);
    EXPECT_EQ(dialog.LoadFilteredCertificates(normalized, "05", usage), 0) << usage;
  }
}

struct BadIssuerCase {
  const char *filter;
  const char *code_line;
};

TEST_F(CertListTest, BadIssuerFilterFailsWithTheSystemText) {
  const BadIssuerCase cases[] = {
      {"XX=Test", "0x80092023"},
      {"CN", "0x80092023"},
      {"CN=\"unterminated", "0x80092023"},
      {"C=\334", "0x80092021"},
  };
  for (const BadIssuerCase &c : cases) {
    SCOPED_TRACE(c.filter);
    CCryptoManager normalizer;
    CString normalized;
    EXPECT_FALSE(normalizer.NormalizeIssuer(c.filter, normalized));
    const std::string text = normalizer.m_strError.GetString();
    EXPECT_NE(text.find(std::string("\nC\363digo de error: ") + c.code_line + "\nMensaje:\n"), std::string::npos)
        << text;
  }
  CCryptoManager normalizer;
  CString normalized;
  ASSERT_FALSE(normalizer.NormalizeIssuer("XX=Test", normalized));
  EXPECT_STREQ(normalizer.m_strError,
               "S'ha produ\357t un error accedint a les funcions criptogr\340fiques.\nC\363digo de error: 0x80092023\n"
               "Mensaje:\nThe string contains an invalid X500 name attribute key, oid, value or delimiter.\r\n");
}

}  // namespace
