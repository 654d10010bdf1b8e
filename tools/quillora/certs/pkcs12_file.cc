// pkcs12_file.cc - PKCS #12 decoding with OpenSSL, its legacy provider loaded for RC2 and 3DES.
#include "tools/quillora/certs/pkcs12_file.h"

#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/provider.h>
#include <openssl/x509.h>

#include <memory>

#include "platform/crypto/openssl_ptr.h"
#include "tools/quillora/certs/pkcs12_iterations.h"

namespace certs {

namespace {


// OpenSSL 3 keeps RC2 and the old PBE schemes in its "legacy" provider, and loading any provider
// explicitly stops the default one from loading by itself, so both are loaded for as long as
// what they decoded lives, and unloaded after so that nothing of theirs outlives OpenSSL's cleanup.
class Providers {
 public:
  Providers() : legacy_(OSSL_PROVIDER_load(nullptr, "legacy")), default_(OSSL_PROVIDER_load(nullptr, "default")) {
    ERR_clear_error();
  }
  ~Providers() {
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
  }
  Providers(const Providers &) = delete;
  Providers &operator=(const Providers &) = delete;
  bool have_legacy() const { return legacy_ != nullptr; }

 private:
  OSSL_PROVIDER *legacy_;
  OSSL_PROVIDER *default_;
};

std::string openssl_reason() {
  const unsigned long code = ERR_peek_last_error();
  ERR_clear_error();
  if (code == 0) return "";
  char reason[256];
  ERR_error_string_n(code, reason, sizeof reason);
  return std::string(" (") + reason + ")";
}

// The file's integrity check under `password`; an empty password matches either an empty or an
// absent one, which exporters use interchangeably. True when the file has no check.
bool password_opens(PKCS12 *p12, const std::string &password) {
  if (!PKCS12_mac_present(p12)) return true;
  if (password.empty()) return PKCS12_verify_mac(p12, nullptr, 0) == 1 || PKCS12_verify_mac(p12, "", 0) == 1;
  return PKCS12_verify_mac(p12, password.c_str(), -1) == 1;
}

}  // namespace

Pkcs12Status read_pkcs12(const std::string &bytes, const std::string &password, Pkcs12Contents *contents,
                         std::string *error) {
  auto providers = std::make_shared<Providers>();

  const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
  platform::Pkcs12Ptr p12(d2i_PKCS12(nullptr, &p, static_cast<long>(bytes.size())));
  if (!p12) {
    ERR_clear_error();
    *error = "not a PKCS #12 file";
    return Pkcs12Status::not_pkcs12;
  }
  // Every count is checked before the key derivation it governs.
  if (!iterations_before_password(p12.get(), error)) return Pkcs12Status::too_costly;
  if (!password_opens(p12.get(), password)) {
    ERR_clear_error();
    *error = "wrong password";
    return Pkcs12Status::wrong_password;
  }
  if (!iterations_inside(p12.get(), password, error)) return Pkcs12Status::too_costly;
  EVP_PKEY *key = nullptr;
  X509 *cert = nullptr;
  STACK_OF(X509) *chain = nullptr;
  if (!PKCS12_parse(p12.get(), password.c_str(), &key, &cert, &chain)) {
    *error = "cannot decrypt the contents" + openssl_reason();
    if (!providers->have_legacy())
      *error += "; OpenSSL's legacy provider, which old RC2 and 3DES files need, is not installed";
    return Pkcs12Status::damaged;
  }
  Pkey owned_key(key);
  platform::X509Ptr owned_cert(cert);
  platform::X509ChainPtr owned_chain(chain);
  if (!owned_key || !owned_cert) {
    *error = owned_key ? "the file holds no certificate for its private key" : "the file holds no private key";
    return Pkcs12Status::no_key;
  }
  const int nbytes = i2d_X509(owned_cert.get(), nullptr);
  if (nbytes <= 0) {
    *error = "cannot encode the certificate" + openssl_reason();
    return Pkcs12Status::damaged;
  }
  contents->der.resize(static_cast<size_t>(nbytes));
  unsigned char *out = contents->der.data();
  i2d_X509(owned_cert.get(), &out);
  contents->providers = providers;
  contents->key = std::move(owned_key);
  contents->other_certificates = owned_chain ? sk_X509_num(owned_chain.get()) : 0;
  return Pkcs12Status::ok;
}

}  // namespace certs
