// token_signer.cc - finding the key's token, logging in with the PIN the user gives, and signing on the token.
#include "platform/crypto/pkcs11/token_signer.h"

#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/objects.h>

#include <memory>
#include <optional>

#include "platform/crypto/pkcs11/key_uri.h"
#include "platform/crypto/pkcs11/module_set.h"
#include "platform/crypto/pkcs11/token_session.h"
#include "platform/crypto/wincrypt_types.h"
#include "platform/ui/passphrase_prompt.h"

namespace p11 {
namespace {

constexpr int kMaxPinAttempts = 3;

// A token's failures as the key-provider codes the system knows; anything else is NTE_FAIL.
DWORD error_of(CK_RV rv) {
  static constexpr struct {
    CK_RV rv;
    DWORD error;
  } kErrors[] = {
      {CKR_PIN_INCORRECT, NTE_PERM},
      {CKR_PIN_INVALID, NTE_PERM},
      {CKR_PIN_LEN_RANGE, NTE_PERM},
      {CKR_PIN_LOCKED, NTE_BAD_KEY_STATE},
      {CKR_PIN_EXPIRED, NTE_BAD_KEY_STATE},
      {CKR_TOKEN_NOT_PRESENT, NTE_BAD_KEYSET},
      {CKR_TOKEN_NOT_RECOGNIZED, NTE_BAD_KEYSET},
      {CKR_DEVICE_REMOVED, NTE_BAD_KEYSET},
      {CKR_SLOT_ID_INVALID, NTE_BAD_KEYSET},
      {CKR_SESSION_CLOSED, NTE_BAD_KEYSET},
      {CKR_SESSION_HANDLE_INVALID, NTE_BAD_KEYSET},
      {CKR_KEY_HANDLE_INVALID, NTE_NO_KEY},
      {CKR_KEY_TYPE_INCONSISTENT, NTE_BAD_KEY},
      {CKR_KEY_FUNCTION_NOT_PERMITTED, NTE_BAD_KEY},
      {CKR_KEY_SIZE_RANGE, NTE_BAD_KEY},
      {CKR_MECHANISM_INVALID, NTE_BAD_ALGID},
      {CKR_MECHANISM_PARAM_INVALID, NTE_BAD_ALGID},
      {CKR_FUNCTION_CANCELED, HRESULT_ERROR_CANCELLED},
      {CKR_HOST_MEMORY, NTE_NO_MEMORY},
      {CKR_DEVICE_MEMORY, NTE_NO_MEMORY},
  };
  for (const auto &entry : kErrors) {
    if (entry.rv == rv) return entry.error;
  }
  return NTE_FAIL;
}

bool is_wrong_pin(CK_RV rv) { return rv == CKR_PIN_INCORRECT || rv == CKR_PIN_INVALID || rv == CKR_PIN_LEN_RANGE; }

// What the PIN question names: the token, or the NSS database, whose PIN is its password.
platform_ui::KeeperSecret pin_question(const Token &token) {
  return {token.source, token.nss_database.empty() ? "PIN" : "password"};
}

// The logins of one signature: the token's user, when the token wants a login, and the key's own,
// when it wants one for every signature (as qualified signature keys do). The PIN given once
// serves both, so a signature asks for it once; it is wiped, and the session logged out, when
// the signature ends.
class Logins {
 public:
  Logins(const Session &session, const Token &token) : session_(session), token_(token) {}
  ~Logins() {
    OPENSSL_cleanse(pin_.data(), pin_.size());
    if (user_logged_in_) session_.module()->C_Logout(session_.handle());
  }
  Logins(const Logins &) = delete;
  Logins &operator=(const Logins &) = delete;

  DWORD user() {
    if ((token_.info.flags & CKF_LOGIN_REQUIRED) == 0) return 0;
    const DWORD error = log_in(CKU_USER);
    user_logged_in_ = error == 0;
    return error;
  }

  DWORD key() { return log_in(CKU_CONTEXT_SPECIFIC); }

 private:
  // 0 or the provider's code.
  DWORD log_in(CK_USER_TYPE user) {
    CK_FUNCTION_LIST *module = session_.module();
    // A locked PIN cannot become right: asking for it would only mislead.
    if (token_.info.flags & CKF_USER_PIN_LOCKED) return NTE_BAD_KEY_STATE;
    if (token_.info.flags & CKF_PROTECTED_AUTHENTICATION_PATH) {
      const CK_RV rv = module->C_Login(session_.handle(), user, nullptr, 0);
      return rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN ? 0 : error_of(rv);
    }
    int attempt = 0;
    for (bool reuse = !pin_.empty();; reuse = false) {
      if (!reuse) {
        OPENSSL_cleanse(pin_.data(), pin_.size());
        pin_.clear();
        if (++attempt > kMaxPinAttempts) return NTE_PERM;
        if (!platform_ui::ask_keeper_secret(pin_question(token_), attempt, &pin_)) return HRESULT_ERROR_CANCELLED;
      }
      const CK_RV rv =
          module->C_Login(session_.handle(), user, reinterpret_cast<CK_UTF8CHAR *>(pin_.data()), pin_.size());
      if (rv == CKR_OK || rv == CKR_USER_ALREADY_LOGGED_IN) return 0;
      if (!is_wrong_pin(rv)) return error_of(rv);
    }
  }

  const Session &session_;
  const Token &token_;
  std::string pin_;
  bool user_logged_in_ = false;
};

// The DER of an OpenSSL object, nothing when it does not encode.
template <typename T>
std::optional<std::vector<BYTE>> der_of(int (*i2d)(const T *, unsigned char **), const T *object) {
  unsigned char *der = nullptr;
  const int nbytes = i2d(object, &der);
  if (nbytes <= 0) return std::nullopt;
  std::vector<BYTE> out(der, der + nbytes);
  OPENSSL_free(der);
  return out;
}

// DigestInfo { algorithm with NULL parameters, digest }, what CKM_RSA_PKCS pads and signs.
std::optional<std::vector<BYTE>> digest_info(const EVP_MD *md, const std::vector<BYTE> &digest) {
  std::unique_ptr<X509_SIG, void (*)(X509_SIG *)> info(X509_SIG_new(), X509_SIG_free);
  X509_ALGOR *algorithm = nullptr;
  ASN1_OCTET_STRING *octets = nullptr;
  if (!info) return std::nullopt;
  X509_SIG_getm(info.get(), &algorithm, &octets);
  if (!X509_ALGOR_set0(algorithm, OBJ_nid2obj(EVP_MD_get_type(md)), V_ASN1_NULL, nullptr) ||
      !ASN1_OCTET_STRING_set(octets, digest.data(), static_cast<int>(digest.size())))
    return std::nullopt;
  return der_of(i2d_X509_SIG, info.get());
}

// CKM_ECDSA gives r and s side by side, each as long as the curve's order.
std::optional<std::vector<BYTE>> ecdsa_der(const std::vector<BYTE> &raw) {
  if (raw.empty() || raw.size() % 2 != 0) return std::nullopt;
  const int half = static_cast<int>(raw.size() / 2);
  std::unique_ptr<ECDSA_SIG, void (*)(ECDSA_SIG *)> sig(ECDSA_SIG_new(), ECDSA_SIG_free);
  BIGNUM *r = BN_bin2bn(raw.data(), half, nullptr);
  BIGNUM *s = BN_bin2bn(raw.data() + half, half, nullptr);
  if (!sig || r == nullptr || s == nullptr || !ECDSA_SIG_set0(sig.get(), r, s)) {
    BN_free(r);
    BN_free(s);
    return std::nullopt;
  }
  return der_of(i2d_ECDSA_SIG, sig.get());
}

bool verifies(X509 *cert, const EVP_MD *md, const std::vector<BYTE> &digest, const std::vector<BYTE> &signature) {
  std::unique_ptr<EVP_PKEY_CTX, void (*)(EVP_PKEY_CTX *)> ctx(EVP_PKEY_CTX_new(X509_get0_pubkey(cert), nullptr),
                                                              EVP_PKEY_CTX_free);
  return ctx && EVP_PKEY_verify_init(ctx.get()) == 1 && EVP_PKEY_CTX_set_signature_md(ctx.get(), md) == 1 &&
         EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), digest.data(), digest.size()) == 1;
}

std::optional<Token> find_token(const ModuleSet &modules, const KeyUri &uri) {
  for (const Token &token : modules.tokens()) {
    if (uri.names(token)) return token;
  }
  return std::nullopt;
}

// The token's signature over `input` with `mechanism`, after the key's own login when it wants one.
DWORD sign_on_token(const Session &session, Logins *logins, CK_OBJECT_HANDLE key, CK_MECHANISM_TYPE mechanism,
                    std::vector<BYTE> input, std::vector<BYTE> *raw) {
  CK_FUNCTION_LIST *module = session.module();
  CK_MECHANISM how = {mechanism, nullptr, 0};
  if (CK_RV rv = module->C_SignInit(session.handle(), &how, key)) return error_of(rv);
  // The key's login unlocks it for this one operation; on failure closing the session ends it.
  if (session.flag(key, CKA_ALWAYS_AUTHENTICATE)) {
    if (DWORD error = logins->key()) return error;
  }
  CK_ULONG nbytes = 0;
  if (CK_RV rv = module->C_Sign(session.handle(), input.data(), input.size(), nullptr, &nbytes)) return error_of(rv);
  raw->resize(nbytes);
  if (CK_RV rv = module->C_Sign(session.handle(), input.data(), input.size(), raw->data(), &nbytes))
    return error_of(rv);
  raw->resize(nbytes);
  return 0;
}

}  // namespace

DWORD sign_with_token_key(const std::string &uri, X509 *cert, const EVP_MD *md, const BYTE *data, size_t nbytes,
                          std::vector<BYTE> *signature) {
  const std::optional<KeyUri> key_uri = KeyUri::parse(uri);
  const EVP_PKEY *public_key = X509_get0_pubkey(cert);
  if (!key_uri || public_key == nullptr) return NTE_BAD_KEYSET;
  const bool ec = EVP_PKEY_get_base_id(public_key) == EVP_PKEY_EC;
  if (!ec && EVP_PKEY_get_base_id(public_key) != EVP_PKEY_RSA) return NTE_BAD_KEY;

  // Held until the signature is made, so the modules stay loaded meanwhile.
  const std::shared_ptr<ModuleSet> modules = acquire_modules();
  const std::optional<Token> token = modules ? find_token(*modules, *key_uri) : std::nullopt;
  if (!token) return NTE_BAD_KEYSET;
  const Session session(token->module, token->slot);
  if (!session.is_open()) return error_of(session.rv);
  Logins logins(session, *token);
  if (DWORD error = logins.user()) return error;
  const std::vector<CK_OBJECT_HANDLE> keys = session.find(CKO_PRIVATE_KEY, &key_uri->id());
  if (keys.empty()) return NTE_NO_KEY;

  std::vector<BYTE> digest(EVP_MD_get_size(md));
  if (EVP_Digest(data, nbytes, digest.data(), nullptr, md, nullptr) != 1) return NTE_FAIL;
  const std::optional<std::vector<BYTE>> input = ec ? std::optional(digest) : digest_info(md, digest);
  if (!input) return NTE_NO_MEMORY;
  std::vector<BYTE> raw;
  if (DWORD error = sign_on_token(session, &logins, keys.front(), ec ? CKM_ECDSA : CKM_RSA_PKCS, *input, &raw))
    return error;
  std::optional<std::vector<BYTE>> produced = ec ? ecdsa_der(raw) : std::optional(raw);
  // A key with the right id but another value (or a token that signs wrongly) must not pass
  // for the certificate's.
  if (!produced || !verifies(cert, md, digest, *produced)) return NTE_BAD_KEY;
  *signature = std::move(*produced);
  return 0;
}

}  // namespace p11
