// cert_info.cc - CERT_INFO from DER: OpenSSL checks and splits the certificate, a DER walk gives the serial's exact bytes.
#include "platform/crypto/cert_info.h"

#include <openssl/x509.h>

#include <climits>
#include <ctime>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/crypto/der.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/files/file_time.h"

namespace certinfo {
namespace {

// The INTEGER content of TBSCertificate's serialNumber, exactly as encoded (OpenSSL's own form
// drops the sign byte), found by walking Certificate ::= SEQUENCE { TBSCertificate ::= SEQUENCE
// { [0] version OPTIONAL, serialNumber INTEGER, ... } ... }.
std::optional<der::Tlv> serial_tlv(const BYTE *cert, size_t cert_nbytes) {
  const std::optional<der::Tlv> outer = der::read_whole(cert, cert + cert_nbytes, der::kTagSequence);
  if (!outer) return std::nullopt;
  const std::optional<der::Tlv> tbs = der::read_tlv(outer->content, outer->end);
  if (!tbs || tbs->tag != der::kTagSequence) return std::nullopt;
  std::optional<der::Tlv> field = der::read_tlv(tbs->content, tbs->end);
  if (field && field->tag == der::kTagContext0) field = der::read_tlv(field->end, tbs->end);
  if (!field || field->tag != der::kTagInteger || field->content_nbytes == 0) return std::nullopt;
  return field;
}

// Fills the CRYPTOAPI_BLOB at `field` with a copy of the bytes.
void put_blob(flat::Builder *out, size_t field, const BYTE *data, size_t nbytes) {
  out->put(field + offsetof(CRYPTOAPI_BLOB, cbData), static_cast<DWORD>(nbytes));
  if (nbytes != 0) out->link(field + offsetof(CRYPTOAPI_BLOB, pbData), out->add(data, nbytes, 1));
}

void put_bits(flat::Builder *out, size_t field, const ASN1_BIT_STRING *bits) {
  if (bits == nullptr) return;
  const BYTE *data = ASN1_STRING_get0_data(bits);
  const int nbytes = ASN1_STRING_length(bits);
  out->put(field + offsetof(CRYPT_BIT_BLOB, cbData), static_cast<DWORD>(nbytes));
  if (nbytes > 0) out->link(field + offsetof(CRYPT_BIT_BLOB, pbData), out->add(data, nbytes, 1));
  // OpenSSL keeps the count of unused bits only when the string was read with one.
  const DWORD unused = (bits->flags & ASN1_STRING_FLAG_BITS_LEFT) ? (bits->flags & 0x07) : 0;
  out->put(field + offsetof(CRYPT_BIT_BLOB, cUnusedBits), unused);
}

bool put_oid(flat::Builder *out, size_t field, const ASN1_OBJECT *obj) {
  const std::optional<std::string> text = der::oid_text(obj);
  if (!text) return false;
  out->link(field, out->add(text->c_str(), text->size() + 1, 1));
  return true;
}

// The algorithm's OID and the DER of its parameters (empty when absent).
bool put_algorithm(flat::Builder *out, size_t field, const X509_ALGOR *alg) {
  const ASN1_OBJECT *obj;
  int param_type;
  const void *param;
  X509_ALGOR_get0(&obj, &param_type, &param, alg);
  if (!put_oid(out, field + offsetof(CRYPT_ALGORITHM_IDENTIFIER, pszObjId), obj)) return false;
  if (param_type == V_ASN1_UNDEF) return true;
  unsigned char *params = nullptr;
  const int nbytes = i2d_ASN1_TYPE(alg->parameter, &params);
  if (nbytes <= 0) return false;
  put_blob(out, field + offsetof(CRYPT_ALGORITHM_IDENTIFIER, Parameters), params, nbytes);
  OPENSSL_free(params);
  return true;
}

bool put_name(flat::Builder *out, size_t field, const X509_NAME *name) {
  const unsigned char *der;
  size_t nbytes;
  if (X509_NAME_get0_der(name, &der, &nbytes) != 1) return false;
  put_blob(out, field, der, nbytes);
  return true;
}

bool put_time(flat::Builder *out, size_t field, const ASN1_TIME *time) {
  struct tm fields = {};
  if (ASN1_TIME_to_tm(time, &fields) != 1) return false;
  const struct timespec instant = {timegm(&fields), 0};
  FILETIME file_time;
  if (!platform::filetime_from_timespec(instant, &file_time)) return false;
  out->put(field, file_time);
  return true;
}

bool put_public_key(flat::Builder *out, size_t field, X509_PUBKEY *key) {
  ASN1_OBJECT *unused_obj;
  const unsigned char *bits;
  int bits_nbytes;
  X509_ALGOR *alg;
  if (X509_PUBKEY_get0_param(&unused_obj, &bits, &bits_nbytes, &alg, key) != 1) return false;
  if (!put_algorithm(out, field + offsetof(CERT_PUBLIC_KEY_INFO, Algorithm), alg)) return false;
  // A subject key is whole bytes: OpenSSL hands out the content after the unused-bits count.
  const size_t blob = field + offsetof(CERT_PUBLIC_KEY_INFO, PublicKey);
  out->put(blob + offsetof(CRYPT_BIT_BLOB, cbData), static_cast<DWORD>(bits_nbytes));
  if (bits_nbytes > 0) out->link(blob + offsetof(CRYPT_BIT_BLOB, pbData), out->add(bits, bits_nbytes, 1));
  return true;
}

bool put_extensions(flat::Builder *out, size_t info, const X509 *x) {
  const int count = X509_get_ext_count(x);
  if (count <= 0) return true;
  const size_t array = out->reserve(sizeof(CERT_EXTENSION) * count, alignof(CERT_EXTENSION));
  out->put(info + offsetof(CERT_INFO, cExtension), static_cast<DWORD>(count));
  out->link(info + offsetof(CERT_INFO, rgExtension), array);
  for (int i = 0; i < count; ++i) {
    X509_EXTENSION *ext = X509_get_ext(x, i);
    const size_t entry = array + sizeof(CERT_EXTENSION) * i;
    if (!put_oid(out, entry + offsetof(CERT_EXTENSION, pszObjId), X509_EXTENSION_get_object(ext)))
      return false;
    out->put(entry + offsetof(CERT_EXTENSION, fCritical), static_cast<BOOL>(X509_EXTENSION_get_critical(ext) > 0));
    const ASN1_OCTET_STRING *value = X509_EXTENSION_get_data(ext);
    put_blob(out, entry + offsetof(CERT_EXTENSION, Value), ASN1_STRING_get0_data(value),
             ASN1_STRING_length(value));
  }
  return true;
}

}  // namespace

std::optional<flat::Builder> decode_certificate(const BYTE *der, size_t der_nbytes) {
  if (der == nullptr || der_nbytes == 0 || der_nbytes > LONG_MAX) return std::nullopt;
  const std::optional<der::Tlv> serial = serial_tlv(der, der_nbytes);
  if (!serial) return std::nullopt;
  const unsigned char *p = der;
  platform::X509Ptr x(d2i_X509(nullptr, &p, static_cast<long>(der_nbytes)));
  if (!x || p != der + der_nbytes) return std::nullopt;

  flat::Builder out;
  const size_t info = out.reserve(sizeof(CERT_INFO), alignof(CERT_INFO));
  out.put(info + offsetof(CERT_INFO, dwVersion), static_cast<DWORD>(X509_get_version(x.get())));
  const std::vector<BYTE> reversed(std::make_reverse_iterator(serial->end),
                                  std::make_reverse_iterator(serial->content));
  put_blob(&out, info + offsetof(CERT_INFO, SerialNumber), reversed.data(), reversed.size());
  const ASN1_BIT_STRING *issuer_uid = nullptr, *subject_uid = nullptr;
  X509_get0_uids(x.get(), &issuer_uid, &subject_uid);
  put_bits(&out, info + offsetof(CERT_INFO, IssuerUniqueId), issuer_uid);
  put_bits(&out, info + offsetof(CERT_INFO, SubjectUniqueId), subject_uid);
  const bool ok =
      put_algorithm(&out, info + offsetof(CERT_INFO, SignatureAlgorithm), X509_get0_tbs_sigalg(x.get())) &&
      put_name(&out, info + offsetof(CERT_INFO, Issuer), X509_get_issuer_name(x.get())) &&
      put_name(&out, info + offsetof(CERT_INFO, Subject), X509_get_subject_name(x.get())) &&
      put_time(&out, info + offsetof(CERT_INFO, NotBefore), X509_get0_notBefore(x.get())) &&
      put_time(&out, info + offsetof(CERT_INFO, NotAfter), X509_get0_notAfter(x.get())) &&
      put_public_key(&out, info + offsetof(CERT_INFO, SubjectPublicKeyInfo), X509_get_X509_PUBKEY(x.get())) &&
      put_extensions(&out, info, x.get());
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace certinfo
