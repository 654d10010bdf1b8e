// openssl_ptr.h - owning pointers to OpenSSL's objects, each released with the object's own free function.
#pragma once

#include <openssl/asn1.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>

#include <memory>

namespace platform {

// The deleter that releases an object with `Free`; empty, so the pointers stay one word.
template <auto Free>
struct OpenSslFree {
  template <typename T>
  void operator()(T *object) const {
    Free(object);
  }
};

template <typename T, auto Free>
using OpenSslPtr = std::unique_ptr<T, OpenSslFree<Free>>;

using Asn1BitStringPtr = OpenSslPtr<ASN1_BIT_STRING, ASN1_BIT_STRING_free>;
using Asn1IntegerPtr = OpenSslPtr<ASN1_INTEGER, ASN1_INTEGER_free>;
using Asn1ObjectPtr = OpenSslPtr<ASN1_OBJECT, ASN1_OBJECT_free>;
using Asn1TypePtr = OpenSslPtr<ASN1_TYPE, ASN1_TYPE_free>;
using EvpPkeyPtr = OpenSslPtr<EVP_PKEY, EVP_PKEY_free>;
using Pkcs12Ptr = OpenSslPtr<PKCS12, PKCS12_free>;
using Pkcs7Ptr = OpenSslPtr<PKCS7, PKCS7_free>;
using Pkcs8Ptr = OpenSslPtr<PKCS8_PRIV_KEY_INFO, PKCS8_PRIV_KEY_INFO_free>;
using X509AttributePtr = OpenSslPtr<X509_ATTRIBUTE, X509_ATTRIBUTE_free>;
using X509NamePtr = OpenSslPtr<X509_NAME, X509_NAME_free>;
using X509Ptr = OpenSslPtr<X509, X509_free>;
using X509SigPtr = OpenSslPtr<X509_SIG, X509_SIG_free>;

// A chain owns its certificates: they go with the stack.
inline void free_x509_chain(STACK_OF(X509) *chain) { sk_X509_pop_free(chain, X509_free); }
using X509ChainPtr = OpenSslPtr<STACK_OF(X509), free_x509_chain>;

// A PKCS #12 file's contents, each stack with what it holds.
inline void free_pkcs7_stack(STACK_OF(PKCS7) *safes) { sk_PKCS7_pop_free(safes, PKCS7_free); }
inline void free_safe_bags(STACK_OF(PKCS12_SAFEBAG) *bags) { sk_PKCS12_SAFEBAG_pop_free(bags, PKCS12_SAFEBAG_free); }
using Pkcs7StackPtr = OpenSslPtr<STACK_OF(PKCS7), free_pkcs7_stack>;
using SafeBagsPtr = OpenSslPtr<STACK_OF(PKCS12_SAFEBAG), free_safe_bags>;

}  // namespace platform
