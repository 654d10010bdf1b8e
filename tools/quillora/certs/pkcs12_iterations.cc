// pkcs12_iterations.cc - reads the iteration counts of a PKCS #12 file's password-based algorithms (PKCS #12 PBE, PBES2 with PBKDF2 or scrypt) and refuses counts above the maximum.
#include "tools/quillora/certs/pkcs12_iterations.h"

#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>

#include "platform/crypto/openssl_ptr.h"

namespace certs {

namespace {

// Bags inside bags are followed this deep; a legitimate file nests none.
constexpr int kMaxBagDepth = 8;

// An algorithm's parameters decoded as `item` says, freed with `Free` when they go.
template <typename T, void (*Free)(T *)>
std::unique_ptr<T, void (*)(T *)> unpack(const ASN1_ITEM *item, const ASN1_TYPE *parameters) {
  return {static_cast<T *>(ASN1_TYPE_unpack_sequence(item, parameters)), Free};
}

using Bags = platform::SafeBagsPtr;
using Safes = platform::Pkcs7StackPtr;

// A count as a number; one that does not fit a long counts as too many.
long count_of(const ASN1_INTEGER *count) {
  if (count == nullptr) return 1;  // the DER default
  const long value = ASN1_INTEGER_get(count);
  return value < 0 ? kMaxPkcs12Iterations + 1 : value;
}

// The work the algorithm asks for: PBKDF2's or PKCS #12 PBE's iterations, scrypt's cost; 0 when
// it is not password-based or its parameters cannot be read (its own decoding then fails).
long work_of(const X509_ALGOR *algorithm) {
  if (algorithm == nullptr) return 0;
  if (OBJ_obj2nid(algorithm->algorithm) != NID_pbes2) {
    const auto pbe = unpack<PBEPARAM, PBEPARAM_free>(ASN1_ITEM_rptr(PBEPARAM), algorithm->parameter);
    return pbe ? count_of(pbe->iter) : 0;
  }
  const auto pbe2 = unpack<PBE2PARAM, PBE2PARAM_free>(ASN1_ITEM_rptr(PBE2PARAM), algorithm->parameter);
  if (!pbe2 || pbe2->keyfunc == nullptr) return 0;
  const ASN1_TYPE *parameters = pbe2->keyfunc->parameter;
  switch (OBJ_obj2nid(pbe2->keyfunc->algorithm)) {
    case NID_id_pbkdf2: {
      const auto kdf = unpack<PBKDF2PARAM, PBKDF2PARAM_free>(ASN1_ITEM_rptr(PBKDF2PARAM), parameters);
      return kdf ? count_of(kdf->iter) : 0;
    }
    case NID_id_scrypt: {
      const auto kdf = unpack<SCRYPT_PARAMS, SCRYPT_PARAMS_free>(ASN1_ITEM_rptr(SCRYPT_PARAMS), parameters);
      return kdf ? count_of(kdf->costParameter) : 0;
    }
    default:
      return 0;
  }
}

bool count_within_limit(long work, const char *part, std::string *error) {
  if (work <= kMaxPkcs12Iterations) return true;
  *error = std::string(part) + " asks for " + std::to_string(work) + " iterations of key derivation, more than the " +
           std::to_string(kMaxPkcs12Iterations) + " taken";
  return false;
}

bool within_limit(const X509_ALGOR *algorithm, const char *part, std::string *error) {
  const long work = work_of(algorithm);
  ERR_clear_error();
  return count_within_limit(work, part, error);
}

// The encrypted keys among the bags, and in the bags they hold.
bool bags_within_limit(const STACK_OF(PKCS12_SAFEBAG) * bags, int depth, std::string *error) {
  for (int i = 0; i < sk_PKCS12_SAFEBAG_num(bags); ++i) {
    const PKCS12_SAFEBAG *bag = sk_PKCS12_SAFEBAG_value(bags, i);
    const int type = PKCS12_SAFEBAG_get_nid(bag);
    if (type == NID_pkcs8ShroudedKeyBag) {
      const X509_ALGOR *algorithm = nullptr;
      X509_SIG_get0(PKCS12_SAFEBAG_get0_pkcs8(bag), &algorithm, nullptr);
      if (!within_limit(algorithm, "its encrypted key", error)) return false;
    } else if (type == NID_safeContentsBag && depth < kMaxBagDepth &&
               !bags_within_limit(PKCS12_SAFEBAG_get0_safes(bag), depth + 1, error)) {
      return false;
    }
  }
  return true;
}

const X509_ALGOR *encryption_of(const PKCS7 *safe) {
  const PKCS7_ENCRYPT *encrypted = safe->d.encrypted;
  return encrypted != nullptr && encrypted->enc_data != nullptr ? encrypted->enc_data->algorithm : nullptr;
}

}  // namespace

bool iterations_before_password(const PKCS12 *p12, std::string *error) {
  const X509_ALGOR *mac_algorithm = nullptr;
  const ASN1_INTEGER *mac_iterations = nullptr;
  PKCS12_get0_mac(nullptr, &mac_algorithm, nullptr, &mac_iterations, p12);
  if (mac_algorithm != nullptr && !count_within_limit(count_of(mac_iterations), "its integrity check", error))
    return false;
  Safes safes(PKCS12_unpack_authsafes(p12));
  for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7 *safe = sk_PKCS7_value(safes.get(), i);
    const int type = OBJ_obj2nid(safe->type);
    if (type == NID_pkcs7_encrypted && !within_limit(encryption_of(safe), "an encrypted part", error)) return false;
    if (type != NID_pkcs7_data) continue;
    Bags bags(PKCS12_unpack_p7data(safe));
    if (bags && !bags_within_limit(bags.get(), 0, error)) return false;
  }
  ERR_clear_error();
  return true;
}

bool iterations_inside(const PKCS12 *p12, const std::string &password, std::string *error) {
  Safes safes(PKCS12_unpack_authsafes(p12));
  for (int i = 0; safes && i < sk_PKCS7_num(safes.get()); ++i) {
    PKCS7 *safe = sk_PKCS7_value(safes.get(), i);
    if (OBJ_obj2nid(safe->type) != NID_pkcs7_encrypted) continue;
    Bags bags(PKCS12_unpack_p7encdata(safe, password.c_str(), static_cast<int>(password.size())));
    if (bags && !bags_within_limit(bags.get(), 0, error)) return false;
  }
  ERR_clear_error();
  return true;
}

}  // namespace certs
