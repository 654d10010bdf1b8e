// key_provider_test.cc - catches keys readable by others, containers that escape their folder, passphrases asked too often or not at all, wrong-passphrase counting, and wrong provider error codes.
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <filesystem>
#include <regex>

#include "platform/base/last_error.h"
#include "platform/crypto/key_provider.h"
#include "platform/crypto/software_keys.h"
#include "tests/platform/crypto/crypto_test_support.h"

namespace {

using namespace crypto_test;

class KeyTest : public DataRootTest {
 protected:
  std::string store(const std::string &passphrase) {
    std::string container;
    EXPECT_EQ(softkeys::store_key(shared_key(), passphrase, &container), 0u);
    return container;
  }

  std::string key_file(const std::string &container) const { return root_ + "/keys/" + container + ".p8"; }
};

TEST_F(KeyTest, StoredKeyIsAPrivateGuidNamedFile) {
  const std::string container = store("");
  EXPECT_TRUE(std::regex_match(container, std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")))
      << container;
  EXPECT_EQ(mode_of(root_ + "/keys"), 0700u);
  EXPECT_EQ(mode_of(key_file(container)), 0600u);
  EXPECT_TRUE(softkeys::container_exists(container));
  EXPECT_NE(store(""), container);  // every key gets a container of its own
}

TEST_F(KeyTest, UnprotectedKeyLoadsWithoutAsking) {
  const std::string container = store("");
  ScriptedAsker asker({});
  EVP_PKEY *key = nullptr;
  ASSERT_EQ(softkeys::load_key(container, &key), 0u);
  EXPECT_EQ(EVP_PKEY_eq(key, shared_key()), 1);
  EVP_PKEY_free(key);
  EXPECT_TRUE(asker.attempts().empty());
}

struct PassphraseCase {
  const char *what;
  std::vector<std::optional<std::string>> answers;
  DWORD result;
  std::vector<int> attempts;  // what the asker was told, one entry per question
};

class Passphrases : public KeyTest, public testing::WithParamInterface<PassphraseCase> {};

TEST_P(Passphrases, AskedUntilRightDeclinedOrThreeTimesWrong) {
  const std::string container = store("correct horse");
  // The file is an EncryptedPrivateKeyInfo, not a plain one.
  const std::optional<Bytes> file = read_file(key_file(container));
  ASSERT_TRUE(file);
  const unsigned char *p = file->data();
  X509_SIG *sig = d2i_X509_SIG(nullptr, &p, static_cast<long>(file->size()));
  EXPECT_NE(sig, nullptr);
  X509_SIG_free(sig);
  p = file->data();
  EXPECT_EQ(d2i_PKCS8_PRIV_KEY_INFO(nullptr, &p, static_cast<long>(file->size())), nullptr);
  ScriptedAsker asker(GetParam().answers);
  EVP_PKEY *key = nullptr;
  EXPECT_EQ(softkeys::load_key(container, &key), GetParam().result) << GetParam().what;
  EXPECT_EQ(asker.attempts(), GetParam().attempts) << GetParam().what;
  EXPECT_EQ(key != nullptr, GetParam().result == 0) << GetParam().what;
  if (key != nullptr) {
    EXPECT_EQ(EVP_PKEY_eq(key, shared_key()), 1);
  }
  EVP_PKEY_free(key);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Passphrases,
    testing::Values(PassphraseCase{"right at once", {"correct horse"}, 0, {1}},
                    PassphraseCase{"right on the second attempt", {"wrong", "correct horse"}, 0, {1, 2}},
                    PassphraseCase{"right on the third attempt", {"a", "b", "correct horse"}, 0, {1, 2, 3}},
                    PassphraseCase{"declined", {std::nullopt}, HRESULT_ERROR_CANCELLED, {1}},
                    PassphraseCase{"declined after a wrong one", {"wrong", std::nullopt}, HRESULT_ERROR_CANCELLED, {1, 2}},
                    PassphraseCase{"three wrong", {"a", "b", "c", "correct horse"}, NTE_PERM, {1, 2, 3}},
                    PassphraseCase{"empty passphrase is wrong", {"", "", ""}, NTE_PERM, {1, 2, 3}}));

TEST_F(KeyTest, DamagedOrMissingContainersAreBadKeysets) {
  const std::string container = store("");
  write_file(key_file(container), {0x30, 0x03, 0x02, 0x01, 0x00});
  EVP_PKEY *key = nullptr;
  EXPECT_EQ(softkeys::load_key(container, &key), NTE_BAD_KEYSET);
  EXPECT_EQ(key, nullptr);
  for (const std::string &name : {std::string("{00000000-0000-4000-8000-000000000000}"), std::string("../keys/x"),
                                  std::string(".hidden"), std::string(""), std::string(65, 'a')}) {
    EXPECT_EQ(softkeys::load_key(name, &key), NTE_BAD_KEYSET) << name;
    EXPECT_FALSE(softkeys::container_exists(name)) << name;
  }
}

TEST_F(KeyTest, RemoveKeyDeletesTheFileOnce) {
  const std::string container = store("");
  EXPECT_EQ(softkeys::remove_key(container), 0u);
  EXPECT_FALSE(std::filesystem::exists(key_file(container)));
  EXPECT_EQ(softkeys::remove_key(container), NTE_BAD_KEYSET);
}

TEST_F(KeyTest, AcquireSetReleaseCycle) {
  const std::string container = store("secret");
  ScriptedAsker asker({});
  HCRYPTPROV prov = 0;
  ASSERT_TRUE(CryptAcquireContextA(&prov, container.c_str(), QUILLORA_SOFTWARE_PROVIDER_A, PROV_RSA_FULL, 0));
  EXPECT_NE(prov, 0u);
  EXPECT_TRUE(CryptSetProvParam(prov, QUILLORA_PP_NOTIFY, nullptr, 0));
  const BYTE data[] = {1, 2, 3};
  EXPECT_TRUE(CryptSetProvParam(prov, QUILLORA_PP_NOTIFY, data, 0));
  EXPECT_FALSE(CryptSetProvParam(prov, 1, data, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_TYPE);
  EXPECT_FALSE(CryptSetProvParam(prov, QUILLORA_PP_NOTIFY, data, 1));
  EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
  EXPECT_FALSE(CryptReleaseContext(prov, 1));
  EXPECT_EQ(GetLastError(), NTE_BAD_FLAGS);
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
  EXPECT_FALSE(CryptReleaseContext(prov, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_UID);
  EXPECT_FALSE(CryptSetProvParam(prov, QUILLORA_PP_NOTIFY, nullptr, 0));
  EXPECT_EQ(GetLastError(), NTE_BAD_UID);
  // Acquiring never reads the key, so a protected one asks nothing.
  EXPECT_TRUE(asker.attempts().empty());

  HCRYPTPROV second = 0;
  ASSERT_TRUE(CryptAcquireContextA(&second, container.c_str(), nullptr, PROV_RSA_FULL, 0));
  EXPECT_NE(second, prov);  // handles are not reused
  EXPECT_TRUE(CryptReleaseContext(second, 0));
}

struct AcquireCase {
  const char *what;
  const char *container;  // "*": the stored container
  const char *provider;
  DWORD type;
  DWORD flags;
  DWORD error;
};

class AcquireFailures : public KeyTest, public testing::WithParamInterface<AcquireCase> {};

TEST_P(AcquireFailures, RefusedWithTheProviderCode) {
  const std::string container = store("");
  const AcquireCase &c = GetParam();
  const char *name = c.container != nullptr && std::string(c.container) == "*" ? container.c_str() : c.container;
  HCRYPTPROV prov = 12345;
  SetLastError(0);
  EXPECT_FALSE(CryptAcquireContextA(&prov, name, c.provider, c.type, c.flags)) << c.what;
  EXPECT_EQ(GetLastError(), c.error) << c.what;
  EXPECT_EQ(prov, 0u) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, AcquireFailures,
    testing::Values(
        AcquireCase{"another provider", "*", "Microsoft Base Cryptographic Provider v1.0", PROV_RSA_FULL, 0,
                    NTE_KEYSET_NOT_DEF},
        AcquireCase{"another type", "*", QUILLORA_SOFTWARE_PROVIDER_A, 24, 0, NTE_PROV_TYPE_NO_MATCH},
        AcquireCase{"EC type for a software key", "*", nullptr, PROV_EC_ECDSA_FULL, 0, NTE_PROV_TYPE_NO_MATCH},
        AcquireCase{"PKCS #11 provider, another type", "pkcs11:token=x;id=%01;type=private?module-path=m.so",
                    QUILLORA_PKCS11_PROVIDER_A, 24, 0, NTE_PROV_TYPE_NO_MATCH},
        AcquireCase{"PKCS #11 provider, a software container", "*", QUILLORA_PKCS11_PROVIDER_A, PROV_RSA_FULL, 0,
                    NTE_BAD_KEYSET},
        AcquireCase{"PKCS #11 provider, a URI without a key id", "pkcs11:token=x;type=private?module-path=m.so",
                    QUILLORA_PKCS11_PROVIDER_A, PROV_EC_ECDSA_FULL, 0, NTE_BAD_KEYSET},
        AcquireCase{"missing container", "{11111111-2222-4333-8444-555555555555}", nullptr, PROV_RSA_FULL, 0,
                    NTE_BAD_KEYSET},
        AcquireCase{"no container", nullptr, nullptr, PROV_RSA_FULL, 0, NTE_BAD_KEYSET},
        AcquireCase{"path in the name", "../../etc/passwd", nullptr, PROV_RSA_FULL, 0, NTE_BAD_KEYSET},
        AcquireCase{"silent flag", "*", nullptr, PROV_RSA_FULL, CRYPT_SILENT, NTE_BAD_FLAGS},
        AcquireCase{"new keyset", "*", nullptr, PROV_RSA_FULL, CRYPT_NEWKEYSET, NTE_BAD_FLAGS},
        AcquireCase{"verify context", "*", nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT, NTE_BAD_FLAGS}));

TEST_F(KeyTest, ProviderNameIgnoresCase) {
  const std::string container = store("");
  HCRYPTPROV prov = 0;
  ASSERT_TRUE(CryptAcquireContextA(&prov, container.c_str(), "quillora software KEY provider", PROV_RSA_FULL, 0));
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
}

}  // namespace
