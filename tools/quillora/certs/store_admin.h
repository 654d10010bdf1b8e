// store_admin.h - management of the user's "MY" store for `quillora certs`: install (imports included), list, remove.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <vector>

namespace certs {

struct StoredCertificate {
  int index = 0;           // 1-based, in the store's enumeration order
  std::string thumbprint;  // 40 uppercase hex digits
  std::string subject;     // as CertNameToStrA renders it (X.500 form, encoded order), in UTF-8
  std::string issuer;
  std::string issuer_filter;  // the issuer as --issuer takes it: most specific first
  std::string serial;      // the INTEGER's content bytes in uppercase hex, most significant first
  int64_t not_before = 0;  // POSIX seconds
  int64_t not_after = 0;
  enum class Key { none, present, missing } key = Key::none;  // missing: the property names a gone container
  std::string container;                                      // of the key-provider property; empty without one
  std::string source;  // empty for the store's own; else a token or NSS database (QUILLORA_SOURCE_PROP_ID)
};

// Adds the DER certificate to the current user's "MY" store. With a key, the key goes into a new
// container of the software key provider (protected when `passphrase` is not empty) and the
// certificate gets the key-provider property naming it; an equal certificate already there whose
// key is missing gets this one. 0 or a Windows error code, with a sentence for the user in
// *error. A failure leaves neither the certificate nor a key behind; an interruption leaves the
// certificate with its key, or at worst a key alone.
// *installed, when given, describes the certificate as the store now holds it (index 0).
uint32_t install_certificate(const std::vector<uint8_t> &der, EVP_PKEY *key, const std::string &passphrase,
                             std::string *error, StoredCertificate *installed = nullptr);

// The dwKeySpec an installed key gets: AT_SIGNATURE when the certificate's key usage
// forbids key encipherment, else AT_KEYEXCHANGE, as Windows files imported RSA keys.
uint32_t key_spec_for(const std::vector<uint8_t> &der);

// The SHA-1 thumbprint of a DER certificate as 40 uppercase hex digits.
std::string thumbprint_of(const std::vector<uint8_t> &der);

// Every certificate of the store, in enumeration order: the store's own, then those of the
// tokens and NSS databases the settings name. 0 or a Windows error code with *error set.
uint32_t list_certificates(std::vector<StoredCertificate> *certificates, std::string *error);

// Removes the certificate at the 1-based `index`, or the one whose thumbprint starts with
// `thumbprint_prefix` (hex, any case; it must match exactly one), and then its key container
// unless another certificate still names it. The prefix is the selector when it is not empty.
// *removed describes the certificate and *key_removed tells whether its container went too.
// 0, CRYPT_E_NOT_FOUND when nothing or more than one certificate matches, ERROR_ACCESS_DENIED for
// a token's certificate, or another Windows error code, with *error set.
uint32_t remove_certificate(int index, const std::string &thumbprint_prefix, StoredCertificate *removed,
                            bool *key_removed, std::string *error);

}  // namespace certs
