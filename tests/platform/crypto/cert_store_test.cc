// cert_store_test.cc - catches lost order of addition, a certificate added twice by processes racing, damaged files that crash or hide good ones, an index trusted after a killed writer or a hand changed the folder, lost or stale properties, a failed step of a change that leaves a part of it, wrong dispositions, leaked or dangling contexts, and writes to read-only stores.
#include <openssl/evp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <utility>

#include "platform/base/last_error.h"
#include "tests/platform/crypto/crypto_test_support.h"
#include "tests/support/fault_loop.h"

namespace {

using namespace crypto_test;

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

class StoreTest : public DataRootTest {
 protected:
  // Adds with ADD_NEW and returns the stored context (a new reference).
  PCCERT_CONTEXT add(HCERTSTORE store, const Bytes &der, DWORD disposition = CERT_STORE_ADD_NEW) {
    PCCERT_CONTEXT added = nullptr;
    EXPECT_TRUE(CertAddEncodedCertificateToStore(store, kEncoding, der.data(), static_cast<DWORD>(der.size()),
                                                 disposition, &added))
        << std::hex << GetLastError();
    return added;
  }

  std::string file(const char *name) const { return my_folder() + "/" + name; }
};

// 40 uppercase hex digits of the SHA-1 of the DER, as the store's marks name it.
std::string certstore_thumbprint(const Bytes &der) {
  BYTE hash[20];
  EVP_Digest(der.data(), der.size(), hash, nullptr, EVP_sha1(), nullptr);
  std::string text;
  for (BYTE b : hash) {
    text += "0123456789ABCDEF"[b >> 4];
    text += "0123456789ABCDEF"[b & 15];
  }
  return text;
}

// A key-provider property with both strings, a NULL-free parameter list and a byte parameter.
struct ProvInfo {
  std::u16string container = u"{0F2D9C5A-1111-4222-8333-444455556666}";
  std::u16string provider = u"Quillora Software Key Provider";
  BYTE param_bytes[3] = {1, 2, 3};
  CRYPT_KEY_PROV_PARAM param = {7, param_bytes, 3, 9};
  CRYPT_KEY_PROV_INFO info = {container.data(), provider.data(), 1, 0x20, 1, &param, 2};
};

void expect_prov_info(const CRYPT_KEY_PROV_INFO &got) {
  ASSERT_NE(got.pwszContainerName, nullptr);
  ASSERT_NE(got.pwszProvName, nullptr);
  EXPECT_EQ(std::u16string(got.pwszContainerName), u"{0F2D9C5A-1111-4222-8333-444455556666}");
  EXPECT_EQ(std::u16string(got.pwszProvName), u"Quillora Software Key Provider");
  EXPECT_EQ(got.dwProvType, 1u);
  EXPECT_EQ(got.dwFlags, 0x20u);
  EXPECT_EQ(got.dwKeySpec, 2u);
  ASSERT_EQ(got.cProvParam, 1u);
  EXPECT_EQ(got.rgProvParam[0].dwParam, 7u);
  EXPECT_EQ(got.rgProvParam[0].dwFlags, 9u);
  ASSERT_EQ(got.rgProvParam[0].cbData, 3u);
  EXPECT_EQ(Bytes(got.rgProvParam[0].pbData, got.rgProvParam[0].pbData + 3), (Bytes{1, 2, 3}));
}

// The key-provider property through the size query, or nothing with the last error.
std::optional<std::vector<uint64_t>> get_prov_info(PCCERT_CONTEXT context) {
  DWORD size = 0;
  if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size)) return std::nullopt;
  std::vector<uint64_t> buffer((size + 7) / 8);
  EXPECT_TRUE(CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &size));
  return buffer;
}

TEST_F(StoreTest, NewStoreIsAnEmptyPrivateFolder) {
  HCERTSTORE store = open_my();
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(mode_of(my_folder()), 0700u);
  SetLastError(0);
  EXPECT_EQ(CertEnumCertificatesInStore(store, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);
  EXPECT_TRUE(CertCloseStore(store, 0));
}

TEST_F(StoreTest, OrderOfAdditionSurvivesReopening) {
  // Serials chosen so that neither byte order nor hash order is the order of addition.
  const std::vector<Bytes> certs = {cert_with_serial(0x30), cert_with_serial(0x10), cert_with_serial(0x20)};
  HCERTSTORE store = open_my();
  for (const Bytes &der : certs) CertFreeCertificateContext(add(store, der));
  EXPECT_EQ(enumerate(store), certs);
  CertCloseStore(store, 0);

  store = open_my();
  EXPECT_EQ(enumerate(store), certs);
  CertCloseStore(store, 0);
  EXPECT_EQ(read_file(file("00000001.cer")), certs[0]);
  EXPECT_EQ(read_file(file("00000003.cer")), certs[2]);
  EXPECT_EQ(mode_of(file("00000002.cer")), 0600u);
}

// Check-and-add is one step under the store's lock: processes adding one certificate at once add
// it once, and the others are told it is there.
TEST_F(StoreTest, ProcessesAddingOneCertificateAtOnceAddItOnce) {
  const Bytes der = cert_with_serial(1);
  CertCloseStore(open_my(), 0);
  constexpr int kProcesses = 8;
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      HCERTSTORE store = open_my();
      const BOOL added = CertAddEncodedCertificateToStore(store, kEncoding, der.data(), static_cast<DWORD>(der.size()),
                                                          CERT_STORE_ADD_NEW, nullptr);
      _exit(added ? 0 : GetLastError() == CRYPT_E_EXISTS ? 1 : 2);
    }
    children.push_back(pid);
  }
  int added = 0, refused = 0;
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    added += WIFEXITED(status) && WEXITSTATUS(status) == 0;
    refused += WIFEXITED(status) && WEXITSTATUS(status) == 1;
  }
  EXPECT_EQ(added, 1);
  EXPECT_EQ(refused, kProcesses - 1);
  HCERTSTORE store = open_my();
  EXPECT_EQ(enumerate(store), std::vector<Bytes>{der});
  CertCloseStore(store, 0);
}

TEST_F(StoreTest, StoreNamesIgnoreCase) {
  const Bytes der = cert_with_serial(1);
  HCERTSTORE store = open_my();
  CertFreeCertificateContext(add(store, der));
  CertCloseStore(store, 0);
  HCERTSTORE lower = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, kEncoding, 0, CERT_SYSTEM_STORE_CURRENT_USER, u"my");
  EXPECT_EQ(enumerate(lower), std::vector<Bytes>{der});
  CertCloseStore(lower, 0);
}

struct DamageCase {
  const char *what;
  const char *name;  // a file written into the folder after certificates 1 to 3 were added
  Bytes (*content)();  // NULL: a folder takes the name
  std::vector<int> expected;  // the certificates (1-based) still enumerated
  const char *next_file = "00000004.cer";  // where the next certificate goes
  bool cleaned = false;  // a leftover that reading a store opened for writing removes
};

class DamagedFolder : public StoreTest, public testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFolder, DamagedFileIsSkippedAndTheRestLoads) {
  const std::vector<Bytes> certs = {cert_with_serial(1), cert_with_serial(2), cert_with_serial(3)};
  HCERTSTORE store = open_my();
  for (const Bytes &der : certs) CertFreeCertificateContext(add(store, der));
  CertCloseStore(store, 0);

  const DamageCase &c = GetParam();
  if (c.content == nullptr) {
    std::filesystem::remove(file(c.name));
    std::filesystem::create_directory(file(c.name));
  } else {
    write_file(file(c.name), c.content());
  }
  store = open_my();
  ASSERT_NE(store, nullptr);
  std::vector<Bytes> expected;
  for (int i : c.expected) expected.push_back(certs[i - 1]);
  EXPECT_EQ(enumerate(store), expected) << c.what;
  EXPECT_EQ(std::filesystem::exists(file(c.name)), !c.cleaned) << c.what;

  // A new certificate takes a number above every file there, damaged ones included.
  CertFreeCertificateContext(add(store, cert_with_serial(4)));
  CertCloseStore(store, 0);
  EXPECT_TRUE(std::filesystem::is_regular_file(file(c.next_file))) << c.what;
}

Bytes truncated(Bytes der, size_t n) {
  der.resize(n);
  return der;
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFolder,
    testing::Values(
        DamageCase{"truncated certificate", "00000002.cer", [] { return truncated(cert_with_serial(2), 100); }, {1, 3}},
        DamageCase{"empty certificate", "00000001.cer", [] { return Bytes{}; }, {2, 3}},
        DamageCase{"certificate with a trailing byte", "00000003.cer",
                   [] {
                     Bytes der = cert_with_serial(3);
                     der.push_back(0);
                     return der;
                   },
                   {1, 2}},
        DamageCase{"folder in place of a certificate", "00000002.cer", nullptr, {1, 3}},
        DamageCase{"garbage properties keep the certificate", "00000002.props", [] { return Bytes{'x', 'y'}; },
                   {1, 2, 3}},
        DamageCase{"leftover temporary file", ".tmp-Ab12Cd", [] { return cert_with_serial(9); }, {1, 2, 3},
                   "00000004.cer", true},
        DamageCase{"lone property file above the rest", "00000009.props", [] { return Bytes{}; }, {1, 2, 3},
                   "00000010.cer", true},
        DamageCase{"name with seven digits", "0000005.cer", [] { return cert_with_serial(5); }, {1, 2, 3}},
        DamageCase{"name with a suffix after .cer", "00000006.cer.bak", [] { return cert_with_serial(6); },
                   {1, 2, 3}}),
    [](const testing::TestParamInfo<DamageCase> &info) {
      std::string name = info.param.what;
      for (char &c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

// The thumbprint marks only point at candidates, confirmed by the bytes: a certificate without a
// mark (as written before marks were kept) is still found, and a stale mark finds nothing.
TEST_F(StoreTest, MarksOnlyPointAtCandidates) {
  const Bytes a = cert_with_serial(1), b = cert_with_serial(2);
  const auto add_new = [](HCERTSTORE store, const Bytes &der) {
    SetLastError(0);
    return CertAddEncodedCertificateToStore(store, kEncoding, der.data(), static_cast<DWORD>(der.size()),
                                            CERT_STORE_ADD_NEW, nullptr);
  };
  HCERTSTORE store = open_my();
  CertFreeCertificateContext(add(store, a));
  CertCloseStore(store, 0);
  std::string stale;  // a's mark under b's thumbprint
  std::filesystem::remove(file(".index"));  // as a store from before marks and the index
  for (const auto &entry : std::filesystem::directory_iterator(my_folder())) {
    if (entry.path().extension() != ".sha1") continue;
    std::filesystem::remove(entry.path());
    stale = entry.path().string();
  }
  ASSERT_FALSE(stale.empty());
  store = open_my();
  EXPECT_FALSE(add_new(store, a));
  EXPECT_EQ(GetLastError(), CRYPT_E_EXISTS);
  CertCloseStore(store, 0);
  EXPECT_TRUE(std::filesystem::exists(stale)) << "the missing mark was not written again";

  std::filesystem::remove(stale);
  std::filesystem::remove(file(".index"));
  stale.replace(stale.size() - 45, 40, certstore_thumbprint(b));
  write_file(stale, {});
  store = open_my();
  EXPECT_TRUE(add_new(store, b)) << std::hex << GetLastError();
  EXPECT_EQ(enumerate(store), (std::vector<Bytes>{a, b}));
  CertCloseStore(store, 0);
}

// A context's properties go into the store with it, and survive reopening.
TEST_F(StoreTest, AContextIsAddedWithItsProperties) {
  const Bytes der = cert_with_serial(1);
  PCCERT_CONTEXT alone = CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size()));
  ProvInfo prov;
  ASSERT_TRUE(CertSetCertificateContextProperty(alone, CERT_KEY_PROV_INFO_PROP_ID, 0, &prov.info));
  HCERTSTORE store = open_my();
  PCCERT_CONTEXT stored = nullptr;
  ASSERT_TRUE(CertAddCertificateContextToStore(store, alone, CERT_STORE_ADD_NEW, &stored));
  CertFreeCertificateContext(alone);
  EXPECT_NE(stored->hCertStore, nullptr);
  CertFreeCertificateContext(stored);
  CertCloseStore(store, 0);
  store = open_my();
  PCCERT_CONTEXT context = CertEnumCertificatesInStore(store, nullptr);
  std::optional<std::vector<uint64_t>> got = get_prov_info(context);
  ASSERT_TRUE(got);
  expect_prov_info(*reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(got->data()));
  CertFreeCertificateContext(context);
  CertCloseStore(store, 0);
}

// What a killed writer, an older store or a hand leaves where the folder's index cannot see it:
// the next addition still finds the equal certificate, takes a free number above every number in
// the folder, and leaves no stale file that names a certificate wrongly.
TEST_F(StoreTest, AnIndexThatCannotBeTrustedIsRebuilt) {
  const Bytes a = cert_with_serial(1), b = cert_with_serial(2);
  const std::string stale_mark = "00000002." + certstore_thumbprint(cert_with_serial(9)) + ".sha1";
  const struct {
    const char *what;
    std::function<void()> leave;
    const char *b_takes;
  } cases[] = {
      {"a store from before the index, with a leftover numbered 7",
       [&] {
         std::filesystem::remove(file(".index"));
         write_file(file("00000007.props"), {});
       },
       "00000008.cer"},
      {"a writer killed after its line and its mark",
       [&] {
         const std::string line = "00000002 " + certstore_thumbprint(cert_with_serial(9)) + "\n";
         Bytes index = *read_file(file(".index"));
         index.insert(index.end(), line.begin(), line.end());
         write_file(file(".index"), index);
         write_file(file(stale_mark.c_str()), {});
       },
       "00000003.cer"},
      {"a certificate put in by hand",
       [&] { std::filesystem::copy_file(file("00000001.cer"), file("00000002.cer")); },
       "00000003.cer"},
      {"a torn index",
       [&] { std::filesystem::resize_file(file(".index"), std::filesystem::file_size(file(".index")) - 10); },
       "00000002.cer"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(my_folder());
    HCERTSTORE store = open_my();
    CertFreeCertificateContext(add(store, a));
    CertCloseStore(store, 0);
    c.leave();
    store = open_my();
    SetLastError(0);
    EXPECT_FALSE(CertAddEncodedCertificateToStore(store, kEncoding, a.data(), static_cast<DWORD>(a.size()),
                                                  CERT_STORE_ADD_NEW, nullptr));
    EXPECT_EQ(GetLastError(), CRYPT_E_EXISTS);
    CertFreeCertificateContext(add(store, b));
    CertCloseStore(store, 0);
    EXPECT_EQ(read_file(file(c.b_takes)), b);
    EXPECT_FALSE(std::filesystem::exists(file(stale_mark.c_str())));
  }
}

TEST_F(StoreTest, KeyProviderPropertyRoundTripsThroughDisk) {
  HCERTSTORE store = open_my();
  PCCERT_CONTEXT context = add(store, cert_with_serial(1));
  SetLastError(0);
  EXPECT_FALSE(get_prov_info(context));
  EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);

  ProvInfo prov;
  ASSERT_TRUE(CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &prov.info));
  // The strings given must not be referenced after the call.
  prov.container.assign(prov.container.size(), u'x');
  std::optional<std::vector<uint64_t>> got = get_prov_info(context);
  ASSERT_TRUE(got);
  expect_prov_info(*reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(got->data()));

  // Size contract: exact fit, one byte short, NULL buffer.
  DWORD size = 0;
  ASSERT_TRUE(CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &size));
  std::vector<uint64_t> buffer(size / 8 + 1);
  DWORD short_size = size - 1;
  EXPECT_FALSE(CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &short_size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(short_size, size);
  CertFreeCertificateContext(context);
  CertCloseStore(store, 0);

  store = open_my();
  context = CertEnumCertificatesInStore(store, nullptr);
  got = get_prov_info(context);
  ASSERT_TRUE(got);
  expect_prov_info(*reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(got->data()));
  // Removing it removes it from disk as well.
  ASSERT_TRUE(CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, nullptr));
  CertFreeCertificateContext(context);
  CertCloseStore(store, 0);
  store = open_my();
  context = CertEnumCertificatesInStore(store, nullptr);
  EXPECT_FALSE(get_prov_info(context));
  CertFreeCertificateContext(context);
  CertCloseStore(store, 0);
}

TEST_F(StoreTest, NullStringsAndNoParametersRoundTrip) {
  HCERTSTORE store = open_my();
  PCCERT_CONTEXT context = add(store, cert_with_serial(1));
  CRYPT_KEY_PROV_INFO info = {nullptr, nullptr, 24, 0, 0, nullptr, 1};
  ASSERT_TRUE(CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &info));
  CertFreeCertificateContext(context);
  CertCloseStore(store, 0);
  store = open_my();
  context = CertEnumCertificatesInStore(store, nullptr);
  std::optional<std::vector<uint64_t>> got = get_prov_info(context);
  ASSERT_TRUE(got);
  const auto &stored = *reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(got->data());
  EXPECT_EQ(stored.pwszContainerName, nullptr);
  EXPECT_EQ(stored.pwszProvName, nullptr);
  EXPECT_EQ(stored.dwProvType, 24u);
  EXPECT_EQ(stored.cProvParam, 0u);
  CertFreeCertificateContext(context);
  CertCloseStore(store, 0);
}

TEST_F(StoreTest, Sha1PropertyIsTheHashOfTheDer) {
  const Bytes der = cert_with_serial(1);
  BYTE expected[20];
  ASSERT_EQ(EVP_Digest(der.data(), der.size(), expected, nullptr, EVP_sha1(), nullptr), 1);
  PCCERT_CONTEXT context = CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size()));
  ASSERT_NE(context, nullptr);
  BYTE hash[21] = {};
  DWORD size = 0;
  ASSERT_TRUE(CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, nullptr, &size));
  EXPECT_EQ(size, 20u);
  size = sizeof hash;
  ASSERT_TRUE(CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash, &size));
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(std::memcmp(hash, expected, 20), 0);
  SetLastError(0);
  size = sizeof hash;
  EXPECT_FALSE(CertGetCertificateContextProperty(context, 99, hash, &size));
  EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);
  EXPECT_FALSE(CertSetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, 0, hash));
  EXPECT_EQ(GetLastError(), E_INVALIDARG);
  CertFreeCertificateContext(context);
}

TEST_F(StoreTest, DeleteRemovesFilesAndEnumerationGoesOn) {
  const std::vector<Bytes> certs = {cert_with_serial(1), cert_with_serial(2), cert_with_serial(3)};
  HCERTSTORE store = open_my();
  for (const Bytes &der : certs) CertFreeCertificateContext(add(store, der));

  // Delete the current certificate in the middle of an enumeration, through a duplicate.
  PCCERT_CONTEXT current = CertEnumCertificatesInStore(store, nullptr);
  current = CertEnumCertificatesInStore(store, current);
  ASSERT_TRUE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(current)));
  // The deleted context stays valid while referenced.
  EXPECT_EQ(Bytes(current->pbCertEncoded, current->pbCertEncoded + current->cbCertEncoded), certs[1]);
  current = CertEnumCertificatesInStore(store, current);
  ASSERT_NE(current, nullptr);
  EXPECT_EQ(Bytes(current->pbCertEncoded, current->pbCertEncoded + current->cbCertEncoded), certs[2]);
  EXPECT_EQ(CertEnumCertificatesInStore(store, current), nullptr);
  CertCloseStore(store, 0);

  EXPECT_FALSE(std::filesystem::exists(file("00000002.cer")));
  EXPECT_FALSE(std::filesystem::exists(file("00000002.props")));
  store = open_my();
  EXPECT_EQ(enumerate(store), (std::vector<Bytes>{certs[0], certs[2]}));
  CertCloseStore(store, 0);
}

TEST_F(StoreTest, DeletingTwiceFailsAndAStandaloneContextCannotBeDeleted) {
  HCERTSTORE store = open_my();
  PCCERT_CONTEXT context = add(store, cert_with_serial(1));
  ASSERT_TRUE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(context)));
  EXPECT_FALSE(CertDeleteCertificateFromStore(context));  // frees the last reference all the same
  EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);
  CertCloseStore(store, 0);

  const Bytes der = cert_with_serial(2);
  PCCERT_CONTEXT alone = CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size()));
  EXPECT_FALSE(CertDeleteCertificateFromStore(alone));
  EXPECT_EQ(GetLastError(), E_INVALIDARG);
}

TEST_F(StoreTest, Dispositions) {
  const Bytes a = cert_with_serial(1), b = cert_with_serial(2), c = cert_with_serial(3);
  HCERTSTORE store = open_my();
  CertFreeCertificateContext(add(store, a));
  PCCERT_CONTEXT old_b = add(store, b);
  CertFreeCertificateContext(add(store, c));
  ProvInfo prov;
  ASSERT_TRUE(CertSetCertificateContextProperty(old_b, CERT_KEY_PROV_INFO_PROP_ID, 0, &prov.info));

  PCCERT_CONTEXT out = reinterpret_cast<PCCERT_CONTEXT>(1);
  EXPECT_FALSE(CertAddEncodedCertificateToStore(store, kEncoding, b.data(), static_cast<DWORD>(b.size()),
                                                CERT_STORE_ADD_NEW, &out));
  EXPECT_EQ(GetLastError(), CRYPT_E_EXISTS);
  EXPECT_EQ(out, nullptr);

  PCCERT_CONTEXT existing = add(store, b, CERT_STORE_ADD_USE_EXISTING);
  EXPECT_EQ(existing, old_b);
  CertFreeCertificateContext(existing);

  // Replacing keeps the place and the number, and leaves the new certificate without properties.
  PCCERT_CONTEXT replaced = add(store, b, CERT_STORE_ADD_REPLACE_EXISTING);
  EXPECT_NE(replaced, old_b);
  EXPECT_FALSE(get_prov_info(replaced));
  EXPECT_TRUE(get_prov_info(old_b));  // the old context keeps what it had
  CertFreeCertificateContext(replaced);
  CertFreeCertificateContext(old_b);
  EXPECT_EQ(enumerate(store), (std::vector<Bytes>{a, b, c}));

  CertFreeCertificateContext(add(store, a, CERT_STORE_ADD_ALWAYS));
  CertCloseStore(store, 0);
  store = open_my();
  EXPECT_EQ(enumerate(store), (std::vector<Bytes>{a, b, c, a}));
  PCCERT_CONTEXT second = CertEnumCertificatesInStore(store, CertEnumCertificatesInStore(store, nullptr));
  EXPECT_FALSE(get_prov_info(second));
  CertFreeCertificateContext(second);
  CertCloseStore(store, 0);
}

// The store as a fresh open reads it: each certificate, in order, with the container its key-provider
// property names.
std::string store_state() {
  std::string state;
  HCERTSTORE store = open_my();
  PCCERT_CONTEXT context = nullptr;
  while (store != nullptr && (context = CertEnumCertificatesInStore(store, context)) != nullptr) {
    state += "serial " + std::to_string(context->pCertInfo->SerialNumber.pbData[0]) + " of " +
             std::to_string(context->cbCertEncoded) + " bytes";
    if (std::optional<std::vector<uint64_t>> prov = get_prov_info(context)) {
      const auto *info = reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(prov->data());
      const std::u16string container = info->pwszContainerName;
      state += " key " + std::string(container.begin(), container.end());
    }
    state += "; ";
  }
  if (store != nullptr) CertCloseStore(store, 0);
  return state;
}

// The context of `der` in `store`, or nullptr.
PCCERT_CONTEXT find(HCERTSTORE store, const Bytes &der) {
  PCCERT_CONTEXT context = nullptr;
  while ((context = CertEnumCertificatesInStore(store, context)) != nullptr) {
    if (Bytes(context->pbCertEncoded, context->pbCertEncoded + context->cbCertEncoded) == der) return context;
  }
  return nullptr;
}

TEST_F(StoreTest, AFailedStepOfAChangeLeavesTheOldStoreOrTheNewOneAndTheNextChangeSucceeds) {
  const Bytes first = cert_with_serial(1), second = cert_with_serial(2);
  HCERTSTORE store = open_my();
  PCCERT_CONTEXT context = add(store, first);
  ProvInfo prov;
  ASSERT_TRUE(CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &prov.info));
  CertFreeCertificateContext(context);
  CertCloseStore(store, 0);
  const testsupport::FolderSnapshot old_root(root_);

  std::u16string other_container = u"{other}";
  CRYPT_KEY_PROV_INFO other_prov = prov.info;
  other_prov.pwszContainerName = other_container.data();
  // Each change runs on a store opened and searched beforehand; a change whose certificate is
  // gone already has nothing left to do.
  const struct {
    const char *what;
    std::function<BOOL()> change;
  } changes[] = {
      {"a certificate added",
       [&] {
         return CertAddEncodedCertificateToStore(store, kEncoding, second.data(), static_cast<DWORD>(second.size()),
                                                 CERT_STORE_ADD_USE_EXISTING, nullptr);
       }},
      {"a key-provider property replaced",
       [&] { return CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &other_prov); }},
      {"a certificate deleted",
       [&] { return context == nullptr || CertDeleteCertificateFromStore(std::exchange(context, nullptr)); }},
  };
  for (const auto &change : changes) {
    SCOPED_TRACE(change.what);
    testsupport::FaultLoopWork work;
    work.folder = root_;
    work.reset = [&] { old_root.restore(); };
    work.prepare = [&] {
      store = open_my();
      context = store != nullptr ? find(store, first) : nullptr;
    };
    work.run = [&] {
      const bool changed = change.change();
      CertFreeCertificateContext(context);
      context = nullptr;
      CertCloseStore(store, 0);
      return changed;
    };
    work.state = store_state;
    testsupport::record_fault_loop(testsupport::fail_every_call(work, EIO));
  }
}

TEST_F(StoreTest, ForceCloseReleasesOutstandingContexts) {
  HCERTSTORE store = open_my();
  CertFreeCertificateContext(add(store, cert_with_serial(1)));
  PCCERT_CONTEXT kept = add(store, cert_with_serial(2));
  CertDuplicateCertificateContext(kept);
  PCCERT_CONTEXT enumerated = CertEnumCertificatesInStore(store, nullptr);
  ASSERT_NE(enumerated, nullptr);
  // A deleted certificate still referenced belongs to the store as well.
  ASSERT_TRUE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(CertDuplicateCertificateContext(kept))));
  // Nothing is freed by the caller: the sanitizer's leak check proves the force close did it.
  EXPECT_TRUE(CertCloseStore(store, CERT_CLOSE_STORE_FORCE_FLAG));
}

TEST_F(StoreTest, StoreClosedWithoutForceLivesUntilItsLastContext) {
  const Bytes der = cert_with_serial(1);
  HCERTSTORE store = open_my();
  CertFreeCertificateContext(add(store, der));
  CertFreeCertificateContext(add(store, cert_with_serial(2)));
  PCCERT_CONTEXT first = CertEnumCertificatesInStore(store, nullptr);
  EXPECT_TRUE(CertCloseStore(store, 0));
  EXPECT_EQ(first->hCertStore, store);
  EXPECT_EQ(Bytes(first->pbCertEncoded, first->pbCertEncoded + first->cbCertEncoded), der);
  ProvInfo prov;
  EXPECT_TRUE(CertSetCertificateContextProperty(first, CERT_KEY_PROV_INFO_PROP_ID, 0, &prov.info));
  EXPECT_TRUE(get_prov_info(first));
  CertFreeCertificateContext(first);  // ends the record and the store: no leak under the sanitizer
}

TEST_F(StoreTest, ReadOnlyStoreRefusesChanges) {
  HCERTSTORE store = open_my();
  CertFreeCertificateContext(add(store, cert_with_serial(1)));
  CertCloseStore(store, 0);

  store = open_my(CERT_STORE_READONLY_FLAG);
  ASSERT_NE(store, nullptr);
  const Bytes der = cert_with_serial(2);
  SetLastError(0);
  EXPECT_FALSE(CertAddEncodedCertificateToStore(store, kEncoding, der.data(), static_cast<DWORD>(der.size()),
                                                CERT_STORE_ADD_ALWAYS, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  PCCERT_CONTEXT context = CertEnumCertificatesInStore(store, nullptr);
  ProvInfo prov;
  EXPECT_FALSE(CertSetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, 0, &prov.info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(CertDeleteCertificateFromStore(context));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CertCloseStore(store, 0);
  EXPECT_TRUE(std::filesystem::exists(file("00000001.cer")));
  EXPECT_FALSE(std::filesystem::exists(file("00000002.cer")));
}

TEST_F(StoreTest, MissingStoreOpensEmptyReadOnlyAndFailsWhenItMustExist) {
  HCERTSTORE store = open_my(CERT_STORE_READONLY_FLAG);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(CertEnumCertificatesInStore(store, nullptr), nullptr);
  CertCloseStore(store, 0);
  EXPECT_FALSE(std::filesystem::exists(my_folder()));

  SetLastError(0);
  EXPECT_EQ(open_my(CERT_STORE_OPEN_EXISTING_FLAG), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(open_my(CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

struct OpenFailure {
  const char *what;
  LPCSTR provider;
  DWORD flags;
  const char16_t *name;
  DWORD error;
};

class OpenFailures : public DataRootTest, public testing::WithParamInterface<OpenFailure> {};

TEST_P(OpenFailures, RefusedWithTheWindowsCode) {
  const OpenFailure &c = GetParam();
  SetLastError(0);
  EXPECT_EQ(CertOpenStore(c.provider, kEncoding, 0, c.flags, c.name), nullptr) << c.what;
  EXPECT_EQ(GetLastError(), c.error) << c.what;
  EXPECT_FALSE(std::filesystem::exists(root_ + "/certificates")) << c.what;
}

constexpr DWORD kUser = CERT_SYSTEM_STORE_CURRENT_USER;
INSTANTIATE_TEST_SUITE_P(
    Arguments, OpenFailures,
    testing::Values(OpenFailure{"memory provider", reinterpret_cast<LPCSTR>(2), kUser, u"MY", ERROR_FILE_NOT_FOUND},
                    OpenFailure{"local machine", CERT_STORE_PROV_SYSTEM_W, 0x00020000, u"MY", E_INVALIDARG},
                    OpenFailure{"unknown flag", CERT_STORE_PROV_SYSTEM_W, kUser | 0x1, u"MY", E_INVALIDARG},
                    OpenFailure{"no name", CERT_STORE_PROV_SYSTEM_W, kUser, nullptr, E_INVALIDARG},
                    OpenFailure{"empty name", CERT_STORE_PROV_SYSTEM_W, kUser, u"", E_INVALIDARG},
                    OpenFailure{"parent folder", CERT_STORE_PROV_SYSTEM_W, kUser, u"..", E_INVALIDARG},
                    OpenFailure{"slash", CERT_STORE_PROV_SYSTEM_W, kUser, u"MY/x", E_INVALIDARG},
                    OpenFailure{"non-ASCII", CERT_STORE_PROV_SYSTEM_W, kUser, u"M\u00dc", E_INVALIDARG}));

TEST_F(StoreTest, EnumerationWithAContextOfAnotherStoreFails) {
  HCERTSTORE store = open_my();
  CertFreeCertificateContext(add(store, cert_with_serial(1)));
  const Bytes der = cert_with_serial(2);
  PCCERT_CONTEXT alone = CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size()));
  SetLastError(0);
  EXPECT_EQ(CertEnumCertificatesInStore(store, alone), nullptr);  // frees `alone`
  EXPECT_EQ(GetLastError(), E_INVALIDARG);
  CertCloseStore(store, 0);
}

}  // namespace
