// sign_message.cc - CryptSignMessage: PKCS #7 signedData built with OpenSSL's PKCS7 objects, signed last.
#include "platform/crypto/sign_message.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/crypto/der.h"
#include "platform/crypto/name_codec.h"
#include "platform/crypto/openssl_ptr.h"
#include "platform/crypto/signer_key.h"

/*
 * The message is built once, with the signer's public key, and signed last: the size query
 * puts a placeholder of the key's signature size where the signature goes and never reads the
 * private key, so a passphrase is asked once per signature, in the call that signs. The
 * authenticated attributes (contentType, the caller's, messageDigest) are added here rather than
 * by PKCS7_dataFinal, which would add a signingTime of its own when the caller gives none.
 */
namespace {

using Pkcs7 = platform::Pkcs7Ptr;
using platform::X509Ptr;
using Attribute = platform::X509AttributePtr;
using AsnType = platform::Asn1TypePtr;

constexpr char kOidContentType[] = "1.2.840.113549.1.9.3";
constexpr char kOidMessageDigest[] = "1.2.840.113549.1.9.4";

// SHA-1 and the SHA-2 family, the hashes a PKCS #7 v1.5 signer is expected to take.
const EVP_MD *hash_for(LPCSTR oid) {
  if (oid == nullptr) return nullptr;
  static constexpr struct {
    const char *oid;
    const EVP_MD *(*md)();
  } kHashes[] = {
      {szOID_OIWSEC_sha1, EVP_sha1},          {"2.16.840.1.101.3.4.2.4", EVP_sha224},
      {"2.16.840.1.101.3.4.2.1", EVP_sha256}, {"2.16.840.1.101.3.4.2.2", EVP_sha384},
      {"2.16.840.1.101.3.4.2.3", EVP_sha512},
  };
  for (const auto &hash : kHashes) {
    if (std::strcmp(oid, hash.oid) == 0) return hash.md();
  }
  return nullptr;
}

X509Ptr certificate_of(PCCERT_CONTEXT context) {
  if (context == nullptr) return nullptr;
  const unsigned char *p = context->pbCertEncoded;
  return X509Ptr(d2i_X509(nullptr, &p, context->cbCertEncoded));
}

bool is_der_value(const CRYPT_ATTR_BLOB &value) {
  if (value.pbData == nullptr || value.cbData == 0) return false;
  const unsigned char *p = value.pbData;
  AsnType type(d2i_ASN1_TYPE(nullptr, &p, value.cbData));
  if (!type || p != value.pbData + value.cbData) return false;
  // Values go into the message byte for byte: one that re-encodes differently is not DER.
  unsigned char *again = nullptr;
  const int nbytes = i2d_ASN1_TYPE(type.get(), &again);
  const bool same = nbytes == static_cast<int>(value.cbData) && std::memcmp(again, value.pbData, nbytes) == 0;
  OPENSSL_free(again);
  return same;
}

// The caller's attribute as OpenSSL's, built from its DER (SEQUENCE { OID, SET OF values }) so
// that every value keeps its bytes; NULL when it is malformed or one the signer adds itself.
Attribute attribute_of(const CRYPT_ATTRIBUTE &attr) {
  if (attr.pszObjId == nullptr || attr.cValue == 0 || attr.rgValue == nullptr ||
      std::strcmp(attr.pszObjId, kOidContentType) == 0 || std::strcmp(attr.pszObjId, kOidMessageDigest) == 0)
    return nullptr;
  std::optional<std::vector<BYTE>> content = x500::oid_to_der(attr.pszObjId);
  if (!content) return nullptr;
  std::vector<BYTE> values;
  for (DWORD i = 0; i < attr.cValue; ++i) {
    if (!is_der_value(attr.rgValue[i])) return nullptr;
    values.insert(values.end(), attr.rgValue[i].pbData, attr.rgValue[i].pbData + attr.rgValue[i].cbData);
  }
  der::put_tlv(&*content, der::kTagSet, values);
  std::vector<BYTE> encoded;
  der::put_tlv(&encoded, der::kTagSequence, *content);
  const unsigned char *p = encoded.data();
  return Attribute(d2i_X509_ATTRIBUTE(nullptr, &p, static_cast<long>(encoded.size())));
}

struct Request {
  const EVP_MD *md;
  bool detached;
  std::vector<BYTE> content;
  X509Ptr signer;
};

// The message, complete but for the signature, whose place holds zeros of the key's size.
DWORD build_message(const CRYPT_SIGN_MESSAGE_PARA &para, const Request &request, Pkcs7 *out,
                    PKCS7_SIGNER_INFO **signer_info) {
  Pkcs7 p7(PKCS7_new());
  if (!p7 || !PKCS7_set_type(p7.get(), NID_pkcs7_signed) || !PKCS7_content_new(p7.get(), NID_pkcs7_data))
    return NTE_NO_MEMORY;
  EVP_PKEY *public_key = X509_get0_pubkey(request.signer.get());
  if (public_key == nullptr) return NTE_BAD_KEY;
  PKCS7_SIGNER_INFO *si = PKCS7_add_signature(p7.get(), request.signer.get(), public_key, request.md);
  if (si == nullptr) return NTE_BAD_KEY;
  if (para.cAuthAttr != 0) {
    BYTE digest[EVP_MAX_MD_SIZE];
    unsigned int digest_nbytes = 0;
    if (!PKCS7_add_attrib_content_type(si, nullptr)) return NTE_NO_MEMORY;
    for (DWORD i = 0; i < para.cAuthAttr; ++i) {
      Attribute attr = attribute_of(para.rgAuthAttr[i]);
      if (!attr) return E_INVALIDARG;
      if (!X509at_add1_attr(&si->auth_attr, attr.get())) return NTE_NO_MEMORY;
    }
    if (!EVP_Digest(request.content.data(), request.content.size(), digest, &digest_nbytes, request.md, nullptr) ||
        !PKCS7_add1_attrib_digest(si, digest, static_cast<int>(digest_nbytes)))
      return NTE_NO_MEMORY;
  }
  for (DWORD i = 0; i < para.cMsgCert; ++i) {
    X509Ptr cert = certificate_of(para.rgpMsgCert[i]);
    if (!cert) return E_INVALIDARG;
    if (!PKCS7_add_certificate(p7.get(), cert.get())) return NTE_NO_MEMORY;
  }
  if (request.detached) {
    if (!PKCS7_set_detached(p7.get(), 1)) return NTE_NO_MEMORY;
  } else if (!ASN1_OCTET_STRING_set(p7->d.sign->contents->d.data, request.content.data(),
                                    static_cast<int>(request.content.size()))) {
    return NTE_NO_MEMORY;
  }
  const std::vector<BYTE> placeholder(EVP_PKEY_get_size(public_key), 0);
  if (!ASN1_STRING_set(si->enc_digest, placeholder.data(), static_cast<int>(placeholder.size())))
    return NTE_NO_MEMORY;
  *out = std::move(p7);
  *signer_info = si;
  return 0;
}

// Signs what PKCS #7 signs: the DER SET of the authenticated attributes, or the content itself
// when there are none.
DWORD sign(PKCS7_SIGNER_INFO *si, const Request &request, const signerkey::KeyLocation &key) {
  unsigned char *attrs = nullptr;
  int attrs_nbytes = 0;
  if (si->auth_attr != nullptr && sk_X509_ATTRIBUTE_num(si->auth_attr) > 0) {
    attrs_nbytes = ASN1_item_i2d(reinterpret_cast<ASN1_VALUE *>(si->auth_attr), &attrs, ASN1_ITEM_rptr(PKCS7_ATTR_SIGN));
    if (attrs_nbytes <= 0) return NTE_NO_MEMORY;
  }
  const BYTE *data = attrs != nullptr ? attrs : request.content.data();
  const size_t data_nbytes = attrs != nullptr ? static_cast<size_t>(attrs_nbytes) : request.content.size();
  std::vector<BYTE> signature;
  DWORD error = signerkey::sign_with_key(key, request.signer.get(), request.md, data, data_nbytes, &signature);
  if (error == 0 && !ASN1_STRING_set(si->enc_digest, signature.data(), static_cast<int>(signature.size())))
    error = NTE_NO_MEMORY;
  OPENSSL_free(attrs);
  return error;
}

std::vector<BYTE> encode(PKCS7 *p7) {
  unsigned char *der = nullptr;
  const int nbytes = i2d_PKCS7(p7, &der);
  if (nbytes <= 0) return {};
  std::vector<BYTE> out(der, der + nbytes);
  OPENSSL_free(der);
  return out;
}

bool valid_para(const CRYPT_SIGN_MESSAGE_PARA *para) {
  return para != nullptr && para->cbSize >= offsetof(CRYPT_SIGN_MESSAGE_PARA, dwInnerContentType) + sizeof(DWORD) &&
         (para->dwMsgEncodingType & PKCS_7_ASN_ENCODING) && para->pSigningCert != nullptr &&
         (para->cMsgCert == 0 || para->rgpMsgCert != nullptr) && (para->cAuthAttr == 0 || para->rgAuthAttr != nullptr) &&
         para->cMsgCrl == 0 && para->cUnauthAttr == 0 && para->dwFlags == 0 && para->dwInnerContentType == 0;
}

DWORD sign_message(const CRYPT_SIGN_MESSAGE_PARA *para, BOOL detached, DWORD count, const BYTE *pieces[],
                   DWORD piece_nbytes[], BYTE *out, DWORD *out_nbytes) {
  if (!valid_para(para) || out_nbytes == nullptr || (!detached && count != 1) ||
      (count != 0 && (pieces == nullptr || piece_nbytes == nullptr)))
    return E_INVALIDARG;
  Request request{hash_for(para->HashAlgorithm.pszObjId), detached != FALSE, {}, certificate_of(para->pSigningCert)};
  if (request.md == nullptr) return CRYPT_E_UNKNOWN_ALGO;
  if (!request.signer) return E_INVALIDARG;
  for (DWORD i = 0; i < count; ++i) {
    if (pieces[i] == nullptr && piece_nbytes[i] != 0) return E_INVALIDARG;
    if (piece_nbytes[i] != 0) request.content.insert(request.content.end(), pieces[i], pieces[i] + piece_nbytes[i]);
  }
  signerkey::KeyLocation key;
  if (DWORD error = signerkey::find_key(para->pSigningCert, &key)) return error;

  Pkcs7 p7;
  PKCS7_SIGNER_INFO *si = nullptr;
  if (DWORD error = build_message(*para, request, &p7, &si)) return error;
  const std::vector<BYTE> sized = encode(p7.get());
  if (sized.empty()) return NTE_NO_MEMORY;
  const DWORD available = *out_nbytes;
  *out_nbytes = static_cast<DWORD>(sized.size());
  if (out == nullptr) return 0;
  if (available < sized.size()) return ERROR_MORE_DATA;

  if (DWORD error = sign(si, request, key)) return error;
  const std::vector<BYTE> signed_message = encode(p7.get());
  // An RSA signature always has the key's size; a shorter one (ECDSA) only shrinks the message.
  if (signed_message.empty() || signed_message.size() > sized.size()) return NTE_BAD_KEY;
  std::memcpy(out, signed_message.data(), signed_message.size());
  *out_nbytes = static_cast<DWORD>(signed_message.size());
  return 0;
}

}  // namespace

BOOL CryptSignMessage(PCRYPT_SIGN_MESSAGE_PARA pSignPara, BOOL fDetachedSignature, DWORD cToBeSigned,
                      const BYTE *rgpbToBeSigned[], DWORD rgcbToBeSigned[], BYTE *pbSignedBlob, DWORD *pcbSignedBlob) {
  const DWORD error = sign_message(pSignPara, fDetachedSignature, cToBeSigned, rgpbToBeSigned, rgcbToBeSigned,
                                   pbSignedBlob, pcbSignedBlob);
  ERR_clear_error();
  if (error == 0) return TRUE;
  SetLastError(error);
  return FALSE;
}
