// token_store_test.cc - catches token certificates missing from "MY" or listed without their key or out of order, sources the setting does not switch, PINs asked wrongly or too often, signatures OpenSSL rejects, and token failures that are not the provider's codes; on SoftHSM2 tokens and NSS databases.
#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <algorithm>
#include <memory>

#include "platform/base/last_error.h"
#include "platform/codepage/utf8.h"
#include "platform/crypto/key_provider.h"
#include "platform/crypto/pkcs11/source_settings.h"
#include "platform/crypto/sign_message.h"
#include "tests/platform/crypto/crypto_test_support.h"
#include "tests/support/token_lab.h"

namespace {

using namespace crypto_test;
using testsupport::TokenLab;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
const std::string kContent = "Autoritzo el pagament.\n";

certs::Pkey ec_key() { return certs::Pkey(EVP_EC_gen("P-256")); }

Bytes cert_of(const char *subject, uint8_t serial, EVP_PKEY *key) {
  certs::CertificateRequest request;
  request.subject = subject;
  request.serial = {serial};
  return make_cert(request, key);
}

// The lab's tokens and databases, made once for the program: writing to tokens is what takes time.
struct Lab {
  TokenLab tokens;
  certs::Pkey ec = ec_key();
  Bytes rsa = cert_of("CN=Token Signer", 0x11, shared_key());
  Bytes orphan = cert_of("CN=Orphan", 0x12, shared_key());           // no key on the token
  Bytes public_only = cert_of("CN=Public Only", 0x13, shared_key());  // its public key, not its private key
  Bytes ec_cert = cert_of("CN=EC Signer", 0x14, ec.get());
  Bytes locked = cert_of("CN=Locked", 0x15, shared_key());
  Bytes nss_rsa = cert_of("CN=NSS Signer", 0x16, shared_key());
  Bytes nss_ec = cert_of("CN=NSS EC Signer", 0x17, ec.get());
  Bytes removable = cert_of("CN=Removable", 0x18, shared_key());

  Lab() {
    EVP_PKEY *rsa_key = shared_key();
    tokens.init_token("Signing Card", "1234");
    tokens.write("Signing Card", "1234", "01", {&rsa, rsa_key, rsa_key});
    tokens.write("Signing Card", "1234", "03", {&orphan});
    tokens.write("Signing Card", "1234", "04", {&public_only, nullptr, rsa_key});
    // Generated on a token, a key pair shows its public half and hides its private one.
    tokens.init_token("EC Card", "5678");
    tokens.write("EC Card", "5678", "02", {&ec_cert, ec.get(), ec.get(), true});
    tokens.init_token("Locked Card", "0000");
    tokens.write("Locked Card", "0000", "05", {&locked, nullptr, rsa_key});
    tokens.lock_user_pin("Locked Card");
    tokens.make_nss_database(tokens.home() + "/.pki/nssdb", "db pass", nss_rsa, rsa_key);
    tokens.make_nss_database(tokens.xdg_data_home() + "/pki/nssdb", "", nss_ec, ec.get());
  }
};

const testing::Environment *const g_environment =
    testing::AddGlobalTestEnvironment(new testsupport::LabEnvironment<Lab>);
Lab &lab() { return testsupport::LabEnvironment<Lab>::lab(); }

std::string test_name(std::string what) {
  for (char &c : what) c = isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return what;
}

std::string source_of(PCCERT_CONTEXT context) {
  DWORD nbytes = 0;
  if (!CertGetCertificateContextProperty(context, QUILLORA_SOURCE_PROP_ID, nullptr, &nbytes)) return "";
  std::u16string text(nbytes / 2, u'\0');
  EXPECT_TRUE(CertGetCertificateContextProperty(context, QUILLORA_SOURCE_PROP_ID, text.data(), &nbytes));
  return codepage::utf8_from_utf16(text.substr(0, text.find(u'\0')));
}

struct KeyRecord {
  std::string container, provider;
  DWORD type = 0, key_spec = 0;
};

KeyRecord key_record(PCCERT_CONTEXT context) {
  DWORD nbytes = 0;
  if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &nbytes)) return {};
  std::vector<uint64_t> buffer(nbytes / 8 + 1);
  EXPECT_TRUE(CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &nbytes));
  const auto *info = reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(buffer.data());
  return {codepage::utf8_from_utf16(info->pwszContainerName), codepage::utf8_from_utf16(info->pwszProvName),
          info->dwProvType, info->dwKeySpec};
}

// The personal store open with the sources on, as a user has it.
class TokenStoreTest : public DataRootTest {
 protected:
  void SetUp() override {
    DataRootTest::SetUp();
    ASSERT_EQ(p11::write_settings({}), 0u);
    folder_cert_ = cert_with_serial(0x01);
  }
  void TearDown() override {
    CertCloseStore(store_, CERT_CLOSE_STORE_FORCE_FLAG);
    p11::set_tokens_off_in_process(false);
    DataRootTest::TearDown();
  }

  void open() {
    CertCloseStore(store_, CERT_CLOSE_STORE_FORCE_FLAG);
    store_ = open_my();
    ASSERT_NE(store_, nullptr);
  }

  // The store's certificates among the lab's and the folder's, in enumeration order: a machine's
  // own tokens may add others.
  std::vector<Bytes> lab_certificates() {
    const Lab &made = lab();
    const std::vector<Bytes> ours = {folder_cert_, made.rsa,     made.orphan, made.public_only, made.ec_cert,
                                     made.locked,  made.nss_rsa, made.nss_ec, made.removable};
    std::vector<Bytes> found = enumerate(store_);
    std::erase_if(found, [&](const Bytes &der) { return std::find(ours.begin(), ours.end(), der) == ours.end(); });
    return found;
  }

  PCCERT_CONTEXT find(const Bytes &der) {
    PCCERT_CONTEXT context = nullptr;
    while ((context = CertEnumCertificatesInStore(store_, context)) != nullptr) {
      if (Bytes(context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded) == der) return context;
    }
    return nullptr;
  }

  // The signature, as the control makes it: the provider prepared, a size query, then the message.
  DWORD sign(PCCERT_CONTEXT cert, Bytes *blob, size_t *asked_by_size_query, const ScriptedAsker &asker) {
    const KeyRecord key = key_record(cert);
    HCRYPTPROV provider = 0;
    EXPECT_TRUE(CryptAcquireContextA(&provider, key.container.c_str(), key.provider.c_str(), key.type, 0));
    EXPECT_TRUE(CryptSetProvParam(provider, QUILLORA_PP_NOTIFY, nullptr, 0));
    EXPECT_TRUE(CryptReleaseContext(provider, 0));
    PCCERT_CONTEXT certs[] = {cert};
    CRYPT_SIGN_MESSAGE_PARA para = {};
    para.cbSize = offsetof(CRYPT_SIGN_MESSAGE_PARA, dwInnerContentType) + sizeof(DWORD);
    para.dwMsgEncodingType = kEncoding;
    para.pSigningCert = cert;
    para.HashAlgorithm.pszObjId = const_cast<LPSTR>(szOID_OIWSEC_sha1);
    para.cMsgCert = 1;
    para.rgpMsgCert = certs;
    const BYTE *pieces[] = {reinterpret_cast<const BYTE *>(kContent.data())};
    DWORD piece_sizes[] = {static_cast<DWORD>(kContent.size())};
    DWORD nbytes = 0;
    if (!CryptSignMessage(&para, TRUE, 1, pieces, piece_sizes, nullptr, &nbytes)) return GetLastError();
    *asked_by_size_query = asker.attempts().size();
    blob->resize(nbytes);
    if (!CryptSignMessage(&para, TRUE, 1, pieces, piece_sizes, blob->data(), &nbytes)) return GetLastError();
    blob->resize(nbytes);
    return 0;
  }

  Bytes folder_cert_;
  HCERTSTORE store_ = nullptr;
};

TEST_F(TokenStoreTest, ListsTokenCertificatesWithTheirKeysAfterItsOwn) {
  open();
  ASSERT_TRUE(CertAddEncodedCertificateToStore(store_, kEncoding, folder_cert_.data(),
                                               static_cast<DWORD>(folder_cert_.size()), CERT_STORE_ADD_NEW, nullptr));
  const Lab &made = lab();
  // Added while the store is open, the folder's certificate still comes before the tokens'. By
  // token label, then CKA_ID; the orphan has no key; then the NSS databases in their order.
  EXPECT_EQ(lab_certificates(),
            (std::vector<Bytes>{folder_cert_, made.ec_cert, made.locked, made.rsa, made.public_only, made.nss_rsa, made.nss_ec}));

  const struct {
    const Bytes *cert;
    std::string source;
    DWORD type;
  } kEntries[] = {{&made.ec_cert, "token \"EC Card\"", PROV_EC_ECDSA_FULL},
                  {&made.rsa, "token \"Signing Card\"", PROV_RSA_FULL},
                  {&made.nss_rsa, "NSS database " + made.tokens.home() + "/.pki/nssdb", PROV_RSA_FULL},
                  {&made.nss_ec, "NSS database " + made.tokens.xdg_data_home() + "/pki/nssdb", PROV_EC_ECDSA_FULL}};
  for (const auto &entry : kEntries) {
    PCCERT_CONTEXT context = find(*entry.cert);
    ASSERT_NE(context, nullptr) << entry.source;
    EXPECT_EQ(source_of(context), entry.source);
    const KeyRecord key = key_record(context);
    EXPECT_EQ(key.provider, QUILLORA_PKCS11_PROVIDER_A) << entry.source;
    EXPECT_EQ(key.type, entry.type) << entry.source;
    EXPECT_EQ(key.key_spec, static_cast<DWORD>(AT_SIGNATURE)) << entry.source;
    EXPECT_TRUE(key.container.starts_with("pkcs11:")) << key.container;
    EXPECT_NE(key.container.find(";type=private?module-path="), std::string::npos) << key.container;
    // A token's certificate is the token's: the store neither changes nor deletes it.
    CRYPT_KEY_PROV_INFO other = {};
    EXPECT_FALSE(CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(context)));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CertFreeCertificateContext(context);
  }
  PCCERT_CONTEXT own = find(folder_cert_);
  EXPECT_EQ(source_of(own), "");
  CertFreeCertificateContext(own);
}

struct SourcesCase {
  const char *what;
  p11::SourceSettings settings;
  bool off_in_process;
  std::vector<Bytes Lab::*> expected;  // after the folder's certificate
};

class Sources : public TokenStoreTest, public testing::WithParamInterface<SourcesCase> {};

TEST_P(Sources, FollowTheSetting) {
  const SourcesCase &c = GetParam();
  ASSERT_EQ(p11::write_settings(c.settings), 0u);
  p11::set_tokens_off_in_process(c.off_in_process);
  open();
  ASSERT_TRUE(CertAddEncodedCertificateToStore(store_, kEncoding, folder_cert_.data(),
                                               static_cast<DWORD>(folder_cert_.size()), CERT_STORE_ADD_NEW, nullptr));
  std::vector<Bytes> expected = {folder_cert_};
  for (Bytes Lab::*member : c.expected) expected.push_back(lab().*member);
  EXPECT_EQ(lab_certificates(), expected) << c.what;
}

// Settings built by a function and cases added one by one: built inline (designated initializers
// in the macro's arguments or in an initializer list), g++ 12 at -O3 warns falsely
// (maybe-uninitialized) on the settings' string.
p11::SourceSettings sources(bool tokens, bool nss, std::string module = "") {
  p11::SourceSettings settings;
  settings.tokens = tokens;
  settings.nss = nss;
  settings.module = std::move(module);
  return settings;
}

std::vector<SourcesCase> sources_cases() {
  std::vector<SourcesCase> cases;
  cases.push_back({"tokens off", sources(false, true), false, {&Lab::nss_rsa, &Lab::nss_ec}});
  cases.push_back({"nss off", sources(true, false), false, {&Lab::ec_cert, &Lab::locked, &Lab::rsa, &Lab::public_only}});
  cases.push_back({"only the extra module", sources(false, false, TokenLab::softhsm_module()), false,
                   {&Lab::ec_cert, &Lab::locked, &Lab::rsa, &Lab::public_only}});
  cases.push_back({"off in this process", sources(true, true), true, {}});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Settings, Sources, testing::ValuesIn(sources_cases()),
                         [](const testing::TestParamInfo<SourcesCase> &info) { return test_name(info.param.what); });

struct SignCase {
  const char *what;
  Bytes Lab::*cert;
  std::vector<std::optional<std::string>> answers;
  DWORD error;
  std::vector<int> attempts;
  std::string subject;  // what each question names; "~" stands for the lab's home
};

class TokenSigning : public TokenStoreTest, public testing::WithParamInterface<SignCase> {};

// OpenSSL's verdict on the detached signature, and the signer's signature algorithm.
std::string verified_algorithm(const Bytes &blob) {
  const unsigned char *p = blob.data();
  std::unique_ptr<PKCS7, void (*)(PKCS7 *)> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(blob.size())), PKCS7_free);
  if (!p7) return "not PKCS #7";
  std::unique_ptr<BIO, int (*)(BIO *)> content(BIO_new_mem_buf(kContent.data(), static_cast<int>(kContent.size())),
                                               BIO_free);
  if (PKCS7_verify(p7.get(), nullptr, nullptr, content.get(), nullptr, PKCS7_NOVERIFY | PKCS7_BINARY) != 1)
    return "rejected";
  const PKCS7_SIGNER_INFO *si = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7.get()), 0);
  const ASN1_OBJECT *algorithm = nullptr;
  X509_ALGOR_get0(&algorithm, nullptr, nullptr, si->digest_enc_alg);
  return OBJ_nid2sn(OBJ_obj2nid(algorithm));
}

TEST_P(TokenSigning, AsksThePinAsTheTokenNeedsAndSignsOrSaysWhyNot) {
  const SignCase &c = GetParam();
  open();
  PCCERT_CONTEXT cert = find(lab().*c.cert);
  ASSERT_NE(cert, nullptr);
  ScriptedAsker asker(c.answers);
  Bytes blob;
  size_t asked_by_size_query = 0;
  EXPECT_EQ(sign(cert, &blob, &asked_by_size_query, asker), c.error) << c.what;
  EXPECT_EQ(asked_by_size_query, 0u) << c.what;
  EXPECT_EQ(asker.attempts(), c.attempts) << c.what;
  std::string subject = c.subject;
  if (const size_t home = subject.find('~'); home != std::string::npos) subject.replace(home, 1, lab().tokens.home());
  for (const std::string &asked : asker.subjects()) EXPECT_EQ(asked, subject) << c.what;
  if (c.error == 0) {
    const bool ec = c.cert == &Lab::ec_cert || c.cert == &Lab::nss_ec;
    EXPECT_EQ(verified_algorithm(blob), ec ? "ecdsa-with-SHA1" : "rsaEncryption") << c.what;
  }
  CertFreeCertificateContext(cert);
}

const char kSigningCard[] = "token \"Signing Card\" (PIN)";

INSTANTIATE_TEST_SUITE_P(
    Keys, TokenSigning,
    testing::Values(
        SignCase{"right PIN", &Lab::rsa, {"1234"}, 0, {1}, kSigningCard},
        SignCase{"wrong PIN, then the right one", &Lab::rsa, {"9999", "1234"}, 0, {1, 2}, kSigningCard},
        SignCase{"PIN declined", &Lab::rsa, {std::nullopt}, HRESULT_ERROR_CANCELLED, {1}, kSigningCard},
        SignCase{"three wrong PINs", &Lab::rsa, {"1", "2", "3", "1234"}, NTE_PERM, {1, 2, 3}, kSigningCard},
        SignCase{"EC key", &Lab::ec_cert, {"5678"}, 0, {1}, "token \"EC Card\" (PIN)"},
        SignCase{"locked PIN", &Lab::locked, {"0000"}, NTE_BAD_KEY_STATE, {}, ""},
        SignCase{"private key missing", &Lab::public_only, {"1234"}, NTE_NO_KEY, {1}, kSigningCard},
        SignCase{"NSS database with a password", &Lab::nss_rsa, {"db pass"}, 0, {1}, "NSS database ~/.pki/nssdb (password)"},
        SignCase{"NSS database without one", &Lab::nss_ec, {}, 0, {}, ""}),
    [](const testing::TestParamInfo<SignCase> &info) { return test_name(info.param.what); });

// The modules are loaded afresh for each store, so a token made meanwhile shows; one removed
// after listing gives the provider's code, and the next store no longer lists it.
TEST_F(TokenStoreTest, ATokenRemovedBetweenListingAndSigningIsNoKeysetAndIsGoneNextTime) {
  lab().tokens.init_token("Removable", "4321");
  lab().tokens.write("Removable", "4321", "09", {&lab().removable, shared_key(), shared_key()});
  open();
  PCCERT_CONTEXT cert = find(lab().removable);
  ASSERT_NE(cert, nullptr);
  lab().tokens.delete_token("Removable");
  ScriptedAsker asker({"4321"});
  Bytes blob;
  size_t asked_by_size_query = 0;
  EXPECT_EQ(sign(cert, &blob, &asked_by_size_query, asker), NTE_BAD_KEYSET);
  EXPECT_TRUE(asker.attempts().empty());
  CertFreeCertificateContext(cert);
  open();
  EXPECT_EQ(find(lab().removable), nullptr);
}

}  // namespace
