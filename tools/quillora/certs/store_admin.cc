// store_admin.cc - installs, lists and removes the certificates of the user's "MY" store and their key containers.
#include "tools/quillora/certs/store_admin.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <memory>

#include "platform/base/data_root.h"
#include "platform/base/last_error.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/key_provider.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/crypto/software_keys.h"
#include "platform/crypto/x500_name.h"
#include "tools/quillora/error_text.h"

namespace certs {

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

struct ContextFree {
  void operator()(PCCERT_CONTEXT context) const { CertFreeCertificateContext(context); }
};
using Context = std::unique_ptr<const CERT_CONTEXT, ContextFree>;

using platform::X509Ptr;

// The current user's "MY" store, open for as long as this lives.
class Store {
 public:
  Store() : handle_(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, kEncoding, 0, CERT_SYSTEM_STORE_CURRENT_USER, u"MY")) {}
  ~Store() { CertCloseStore(handle_, 0); }
  Store(const Store &) = delete;
  Store &operator=(const Store &) = delete;
  HCERTSTORE get() const { return handle_; }

 private:
  HCERTSTORE handle_;
};

// Sets *error to "<what>: <text of code>" and returns the code.
uint32_t fail(DWORD code, const std::string &what, std::string *error) {
  *error = what + ": " + quillora::error_text(code);
  return code;
}

// Why the store did not open, from the last error.
uint32_t open_failure(std::string *error) {
  const DWORD code = GetLastError();
  std::string root;
  platform::user_data_root(&root);
  return fail(code, "cannot open the certificate store under " + root, error);
}

// Container and provider names are ASCII (see software_keys.h), so widening is byte by byte.
std::u16string widen(const std::string &text) { return std::u16string(text.begin(), text.end()); }

std::string narrow(LPCWSTR text) {
  std::string result;
  for (; text != nullptr && *text != 0; ++text) result += *text < 0x80 ? static_cast<char>(*text) : '?';
  return result;
}

X509Ptr decode(const std::vector<uint8_t> &der) {
  const unsigned char *p = der.data();
  return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

std::string hex(const uint8_t *bytes, size_t nbytes, bool reversed) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = 0; i < nbytes; ++i) {
    const uint8_t b = bytes[reversed ? nbytes - 1 - i : i];
    text += kDigits[b >> 4];
    text += kDigits[b & 0x0F];
  }
  return text;
}

std::string name_text(const CERT_NAME_BLOB &name, DWORD flags = 0) {
  CERT_NAME_BLOB copy = name;
  const DWORD size = CertNameToStrA(X509_ASN_ENCODING, &copy, CERT_X500_NAME_STR | flags, nullptr, 0);
  std::string text(size, '\0');
  CertNameToStrA(X509_ASN_ENCODING, &copy, CERT_X500_NAME_STR | flags, text.data(), size);
  text.resize(size > 0 ? size - 1 : 0);
  return codepage::utf8_from_ansi(text);
}

int64_t posix_seconds(const FILETIME &time) {
  constexpr int64_t kTicksPerSecond = 10000000;
  constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
  const uint64_t ticks = static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
  return static_cast<int64_t>(ticks / kTicksPerSecond) - kSecondsFrom1601To1970;
}

// The container the key-provider property names; empty when the certificate has none.
std::string key_container(PCCERT_CONTEXT context) {
  DWORD nbytes = 0;
  if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &nbytes)) return "";
  std::vector<uint64_t> buffer((nbytes + sizeof(uint64_t) - 1) / sizeof(uint64_t));  // aligned for the record
  if (!CertGetCertificateContextProperty(context, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &nbytes)) return "";
  return narrow(reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(buffer.data())->pwszContainerName);
}

// Where a certificate comes from when it is not the store's own.
std::string source_of(PCCERT_CONTEXT context) {
  DWORD nbytes = 0;
  if (!CertGetCertificateContextProperty(context, QUILLORA_SOURCE_PROP_ID, nullptr, &nbytes)) return "";
  std::u16string text(nbytes / sizeof(char16_t), u'\0');
  if (!CertGetCertificateContextProperty(context, QUILLORA_SOURCE_PROP_ID, text.data(), &nbytes)) return "";
  return codepage::utf8_from_utf16(text.substr(0, text.find(u'\0')));
}

StoredCertificate describe(PCCERT_CONTEXT context, int index) {
  StoredCertificate c;
  c.index = index;
  BYTE hash[20];
  DWORD hash_nbytes = sizeof hash;
  if (CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash, &hash_nbytes))
    c.thumbprint = hex(hash, hash_nbytes, false);
  const CERT_INFO &info = *context->pCertInfo;
  c.subject = name_text(info.Subject);
  c.issuer = name_text(info.Issuer);
  // The filter's canonical form is its name reversed, so the issuer reversed is what matches.
  c.issuer_filter = name_text(info.Issuer, CERT_NAME_STR_REVERSE_FLAG);
  c.serial = hex(info.SerialNumber.pbData, info.SerialNumber.cbData, true);
  c.not_before = posix_seconds(info.NotBefore);
  c.not_after = posix_seconds(info.NotAfter);
  c.container = key_container(context);
  c.source = source_of(context);
  // A token lists only the certificates whose key it holds.
  if (!c.source.empty())
    c.key = StoredCertificate::Key::present;
  else if (!c.container.empty())
    c.key = softkeys::container_exists(c.container) ? StoredCertificate::Key::present : StoredCertificate::Key::missing;
  return c;
}

// Whether the certificate equal to `candidate`, which the store holds, has no key there (no
// property naming one, or the container is gone).
bool existing_lacks_key(HCERTSTORE store, PCCERT_CONTEXT candidate) {
  PCCERT_CONTEXT existing = nullptr;
  if (!CertAddCertificateContextToStore(store, candidate, CERT_STORE_ADD_USE_EXISTING, &existing)) return false;
  Context held(existing);
  const std::string container = key_container(existing);
  return container.empty() || !softkeys::container_exists(container);
}

bool starts_with_hex(const std::string &thumbprint, const std::string &prefix) {
  if (prefix.size() > thumbprint.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (toupper(static_cast<unsigned char>(prefix[i])) != thumbprint[i]) return false;
  }
  return true;
}

}  // namespace

uint32_t key_spec_for(const std::vector<uint8_t> &der) {
  X509Ptr cert = decode(der);
  if (cert && (X509_get_extension_flags(cert.get()) & EXFLAG_KUSAGE) != 0 &&
      (X509_get_key_usage(cert.get()) & KU_KEY_ENCIPHERMENT) == 0)
    return AT_SIGNATURE;
  return AT_KEYEXCHANGE;
}

std::string thumbprint_of(const std::vector<uint8_t> &der) {
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int nbytes = 0;
  if (!EVP_Digest(der.data(), der.size(), hash, &nbytes, EVP_sha1(), nullptr)) return "";
  return hex(hash, nbytes, false);
}

uint32_t install_certificate(const std::vector<uint8_t> &der, EVP_PKEY *key, const std::string &passphrase,
                             std::string *error, StoredCertificate *installed) {
  X509Ptr cert = decode(der);
  if (!cert) {
    *error = "the certificate cannot be decoded";
    return CRYPT_E_ASN1_CORRUPT;
  }
  if (key != nullptr && X509_check_private_key(cert.get(), key) != 1) {
    *error = "the private key does not belong to the certificate";
    return NTE_BAD_KEY;
  }
  // Held from writing the key until the certificate names it, so that a search for orphaned keys
  // never takes a key meant for a certificate about to be added.
  softkeys::FolderLock keys_lock;
  if (DWORD code = key != nullptr ? keys_lock.acquire() : 0) return fail(code, "cannot lock the key folder", error);
  Store store;
  if (store.get() == nullptr) return open_failure(error);
  Context candidate(CertCreateCertificateContext(kEncoding, der.data(), static_cast<DWORD>(der.size())));
  if (!candidate) return fail(GetLastError(), "cannot read the certificate", error);

  // The key goes first and the certificate with its key-provider property after it in one step,
  // so an interruption never leaves a certificate naming a key that is not there; at worst the
  // key stays behind alone, which `quillora certs check` finds.
  std::string container;
  if (key != nullptr) {
    if (DWORD code = softkeys::store_key(key, passphrase, &container))
      return fail(code, "cannot store the private key", error);
    std::u16string container_name = widen(container);
    std::u16string provider_name = widen(QUILLORA_SOFTWARE_PROVIDER_A);
    CRYPT_KEY_PROV_INFO info{};
    info.pwszContainerName = container_name.data();
    info.pwszProvName = provider_name.data();
    info.dwProvType = PROV_RSA_FULL;
    info.dwKeySpec = key_spec_for(der);
    CertSetCertificateContextProperty(candidate.get(), CERT_KEY_PROV_INFO_PROP_ID, 0, &info);  // in memory
  }
  Context stored;
  const auto add = [&](DWORD disposition) -> DWORD {
    PCCERT_CONTEXT added = nullptr;
    if (!CertAddCertificateContextToStore(store.get(), candidate.get(), disposition, &added)) return GetLastError();
    stored.reset(added);
    return 0;
  };
  DWORD code = add(CERT_STORE_ADD_NEW);
  // A certificate already there without a usable key gets this one: importing its file again is
  // how a user mends it.
  if (code == CRYPT_E_EXISTS && key != nullptr && existing_lacks_key(store.get(), candidate.get()))
    code = add(CERT_STORE_ADD_REPLACE_EXISTING);
  if (code != 0) {
    if (!container.empty()) softkeys::remove_key(container);
    if (code == CRYPT_E_EXISTS) {
      *error = "the certificate is already in the store";
      return code;
    }
    return fail(code, "cannot add the certificate to the store", error);
  }
  if (installed != nullptr) *installed = describe(stored.get(), 0);
  return 0;
}

uint32_t list_certificates(std::vector<StoredCertificate> *certificates, std::string *error) {
  certificates->clear();
  Store store;
  if (store.get() == nullptr)
    return open_failure(error);
  PCCERT_CONTEXT context = nullptr;
  while ((context = CertEnumCertificatesInStore(store.get(), context)) != nullptr)
    certificates->push_back(describe(context, static_cast<int>(certificates->size()) + 1));
  return 0;
}

uint32_t remove_certificate(int index, const std::string &thumbprint_prefix, StoredCertificate *removed,
                            bool *key_removed, std::string *error) {
  *key_removed = false;
  // The certificate goes first and its key after it, both under the key folder's lock, so an
  // interruption leaves at worst a key no certificate names, which `quillora certs check` finds.
  softkeys::FolderLock keys_lock;
  if (DWORD code = keys_lock.acquire()) return fail(code, "cannot lock the key folder", error);
  Store store;
  if (store.get() == nullptr)
    return open_failure(error);
  Context chosen;
  int matches = 0;
  std::vector<std::string> containers;  // of every certificate but the chosen one
  PCCERT_CONTEXT context = nullptr;
  for (int position = 1; (context = CertEnumCertificatesInStore(store.get(), context)) != nullptr; ++position) {
    StoredCertificate c = describe(context, position);
    const bool match = thumbprint_prefix.empty() ? position == index : starts_with_hex(c.thumbprint, thumbprint_prefix);
    if (match && ++matches == 1) {
      *removed = c;
      chosen.reset(CertDuplicateCertificateContext(context));
    } else {
      containers.push_back(c.container);
    }
  }
  if (matches != 1) {
    if (thumbprint_prefix.empty())
      *error = "there is no certificate " + std::to_string(index) + " in the store";
    else if (matches == 0)
      *error = "no certificate's thumbprint starts with " + thumbprint_prefix;
    else
      *error =
          std::to_string(matches) + " certificates' thumbprints start with " + thumbprint_prefix + "; give more digits";
    return CRYPT_E_NOT_FOUND;
  }
  if (!removed->source.empty()) {
    *error = "certificate " + std::to_string(removed->index) + " is on " + removed->source +
             ", which only the token's own tools change";
    return ERROR_ACCESS_DENIED;
  }
  if (!CertDeleteCertificateFromStore(chosen.release()))
    return fail(GetLastError(), "cannot remove the certificate from the store", error);
  if (removed->container.empty() || removed->key == StoredCertificate::Key::missing) return 0;
  for (const std::string &other : containers) {
    if (other == removed->container) return 0;
  }
  if (DWORD code = softkeys::remove_key(removed->container))
    return fail(code, "removed the certificate but not its key container " + removed->container, error);
  *key_removed = true;
  return 0;
}

}  // namespace certs
