// signer_key.cc - from a certificate's key-provider property to its private key.
#include "platform/crypto/signer_key.h"

#include <vector>

#include "platform/codepage/utf8.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/software_keys.h"
#include "platform/crypto/software_provider.h"

namespace signerkey {

DWORD find_container(PCCERT_CONTEXT cert, std::string *container) {
  DWORD nbytes = 0;
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &nbytes))
    return CRYPT_E_NO_KEY_PROPERTY;
  // Pointer-aligned, as the structure it holds needs.
  std::vector<void *> buffer((nbytes + sizeof(void *) - 1) / sizeof(void *));
  if (!CertGetCertificateContextProperty(cert, CERT_KEY_PROV_INFO_PROP_ID, buffer.data(), &nbytes))
    return CRYPT_E_NO_KEY_PROPERTY;
  const auto *info = reinterpret_cast<const CRYPT_KEY_PROV_INFO *>(buffer.data());
  const std::string provider = info->pwszProvName != nullptr ? codepage::utf8_from_utf16(info->pwszProvName) : "";
  if (DWORD error = keyprov::check_provider(info->pwszProvName != nullptr ? provider.c_str() : nullptr,
                                            info->dwProvType))
    return error;
  if (info->pwszContainerName == nullptr) return NTE_BAD_KEYSET;
  *container = codepage::utf8_from_utf16(info->pwszContainerName);
  return softkeys::container_exists(*container) ? 0 : NTE_BAD_KEYSET;
}

DWORD load_key(const std::string &container, X509 *cert, EVP_PKEY **key) {
  if (DWORD error = softkeys::load_key(container, key)) return error;
  if (EVP_PKEY_eq(X509_get0_pubkey(cert), *key) != 1) {
    EVP_PKEY_free(*key);
    *key = nullptr;
    return NTE_BAD_KEY;
  }
  return 0;
}

}  // namespace signerkey
