// signer_key.cc - from a certificate's key-provider property to a signature by the software provider's key or a token's.
#include "platform/crypto/signer_key.h"

#include <memory>

#include "platform/codepage/utf8.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/pkcs11/token_signer.h"
#include "platform/crypto/software_keys.h"

namespace signerkey {
namespace {

DWORD sign_with_software_key(const std::string &container, X509 *cert, const EVP_MD *md, const BYTE *data,
                             size_t nbytes, std::vector<BYTE> *signature) {
  EVP_PKEY *raw_key = nullptr;
  if (DWORD error = softkeys::load_key(container, &raw_key)) return error;
  std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY *)> key(raw_key, EVP_PKEY_free);
  if (EVP_PKEY_eq(X509_get0_pubkey(cert), key.get()) != 1) return NTE_BAD_KEY;
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX *)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  size_t signature_nbytes = 0;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, md, nullptr, key.get()) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &signature_nbytes, data, nbytes) != 1)
    return NTE_BAD_KEY;
  signature->resize(signature_nbytes);
  if (EVP_DigestSign(ctx.get(), signature->data(), &signature_nbytes, data, nbytes) != 1) return NTE_BAD_KEY;
  signature->resize(signature_nbytes);
  return 0;
}

}  // namespace

DWORD find_key(PCCERT_CONTEXT cert, KeyLocation *location) {
  DWORD nbytes = 0;
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &nbytes))
    return CRYPT_E_NO_KEY_PROPERTY;
  // Pointer-aligned, as the structure it holds needs.
  std::vector<void *> buffer((nbytes + sizeof(void *) - 1) / sizeof(void *));
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &nbytes))
    return CRYPT_E_NO_KEY_PROPERTY;
  const auto *info = reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(buffer.data());
  const std::string provider = info->pwszProvName != nullptr ? codepage::utf8_from_utf16(info->pwszProvName) : "";
  if (DWORD error = keyprov::find_provider(info->pwszProvName != nullptr ? provider.c_str() : nullptr,
                                           info->dwProvType, &location->provider))
    return error;
  if (info->pwszContainerName == nullptr) return NTE_BAD_KEYSET;
  location->container = codepage::utf8_from_utf16(info->pwszContainerName);
  return keyprov::container_exists(location->provider, location->container) ? 0 : NTE_BAD_KEYSET;
}

DWORD sign_with_key(const KeyLocation &location, X509 *cert, const EVP_MD *md, const BYTE *data, size_t nbytes,
                    std::vector<BYTE> *signature) {
  if (location.provider == keyprov::Provider::pkcs11)
    return p11::sign_with_token_key(location.container, cert, md, data, nbytes, signature);
  return sign_with_software_key(location.container, cert, md, data, nbytes, signature);
}

}  // namespace signerkey
