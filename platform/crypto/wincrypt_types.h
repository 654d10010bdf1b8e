// wincrypt_types.h - the crypt32 structures, constants and error codes the system's certificate code uses.
#pragma once

#include "platform/base/win_types.h"

// A counted byte string; the owner of pbData is stated by each function that hands one out.
typedef struct CRYPTOAPI_BLOB {
  DWORD cbData;
  BYTE *pbData;
} CRYPT_DATA_BLOB, CERT_NAME_BLOB, CERT_RDN_VALUE_BLOB, CRYPT_INTEGER_BLOB, CRYPT_OBJID_BLOB,
    CRYPT_ATTR_BLOB, CRYPT_HASH_BLOB;
typedef CRYPT_ATTR_BLOB *PCRYPT_ATTR_BLOB;
typedef CERT_NAME_BLOB *PCERT_NAME_BLOB;
typedef CERT_RDN_VALUE_BLOB *PCERT_RDN_VALUE_BLOB;

// One attribute of a relative distinguished name. Value holds the decoded form: 8-bit characters
// for the narrow string types, UTF-16 code units in host order for BMP and UTF-8 strings, 32-bit
// code points for universal strings, the content bytes for an octet string, and the whole TLV
// for an encoded blob.
typedef struct CERT_RDN_ATTR {
  LPSTR pszObjId;
  DWORD dwValueType;
  CERT_RDN_VALUE_BLOB Value;
} CERT_RDN_ATTR, *PCERT_RDN_ATTR;

typedef struct CERT_RDN {
  DWORD cRDNAttr;
  PCERT_RDN_ATTR rgRDNAttr;
} CERT_RDN, *PCERT_RDN;

typedef struct CERT_NAME_INFO {
  DWORD cRDN;
  PCERT_RDN rgRDN;
} CERT_NAME_INFO, *PCERT_NAME_INFO;

#define X509_ASN_ENCODING 0x00000001
#define PKCS_7_ASN_ENCODING 0x00010000

// Value types of CERT_RDN_ATTR.
#define CERT_RDN_ANY_TYPE 0
#define CERT_RDN_ENCODED_BLOB 1
#define CERT_RDN_OCTET_STRING 2
#define CERT_RDN_NUMERIC_STRING 3
#define CERT_RDN_PRINTABLE_STRING 4
#define CERT_RDN_TELETEX_STRING 5
#define CERT_RDN_T61_STRING 5
#define CERT_RDN_VIDEOTEX_STRING 6
#define CERT_RDN_IA5_STRING 7
#define CERT_RDN_GRAPHIC_STRING 8
#define CERT_RDN_VISIBLE_STRING 9
#define CERT_RDN_ISO646_STRING 9
#define CERT_RDN_GENERAL_STRING 10
#define CERT_RDN_UNIVERSAL_STRING 11
#define CERT_RDN_INT4_STRING 11
#define CERT_RDN_BMP_STRING 12
#define CERT_RDN_UNICODE_STRING 12
#define CERT_RDN_UTF8_STRING 13
#define CERT_RDN_TYPE_MASK 0x000000FF

// String types and flags of CertNameToStrA / CertStrToNameA.
#define CERT_SIMPLE_NAME_STR 1
#define CERT_OID_NAME_STR 2
#define CERT_X500_NAME_STR 3
#define CERT_NAME_STR_SEMICOLON_FLAG 0x40000000
#define CERT_NAME_STR_NO_PLUS_FLAG 0x20000000
#define CERT_NAME_STR_NO_QUOTING_FLAG 0x10000000
#define CERT_NAME_STR_CRLF_FLAG 0x08000000
#define CERT_NAME_STR_COMMA_FLAG 0x04000000
#define CERT_NAME_STR_REVERSE_FLAG 0x02000000
#define CERT_NAME_STR_FORWARD_FLAG 0x01000000
#define CERT_NAME_STR_DISABLE_IE4_UTF8_FLAG 0x00010000
#define CERT_NAME_STR_ENABLE_T61_UNICODE_FLAG 0x00020000
#define CERT_NAME_STR_ENABLE_UTF8_UNICODE_FLAG 0x00040000

// A bit string: cbData bytes, the last cUnusedBits bits of the last byte unused.
typedef struct CRYPT_BIT_BLOB {
  DWORD cbData;
  BYTE *pbData;
  DWORD cUnusedBits;
} CRYPT_BIT_BLOB, *PCRYPT_BIT_BLOB;

typedef struct CRYPT_ALGORITHM_IDENTIFIER {
  LPSTR pszObjId;
  CRYPT_OBJID_BLOB Parameters;  // DER of the parameters; empty when there are none
} CRYPT_ALGORITHM_IDENTIFIER;

typedef struct CERT_PUBLIC_KEY_INFO {
  CRYPT_ALGORITHM_IDENTIFIER Algorithm;
  CRYPT_BIT_BLOB PublicKey;
} CERT_PUBLIC_KEY_INFO;

// One certificate extension; Value holds the DER of the extension's value (the OCTET STRING's content).
typedef struct CERT_EXTENSION {
  LPSTR pszObjId;
  BOOL fCritical;
  CRYPT_OBJID_BLOB Value;
} CERT_EXTENSION, *PCERT_EXTENSION;

#define CERT_V1 0
#define CERT_V2 1
#define CERT_V3 2

// The decoded fields of a certificate. SerialNumber holds the INTEGER's content bytes least
// significant first; Issuer and Subject hold the DER of the names.
typedef struct CERT_INFO {
  DWORD dwVersion;
  CRYPT_INTEGER_BLOB SerialNumber;
  CRYPT_ALGORITHM_IDENTIFIER SignatureAlgorithm;
  CERT_NAME_BLOB Issuer;
  FILETIME NotBefore;
  FILETIME NotAfter;
  CERT_NAME_BLOB Subject;
  CERT_PUBLIC_KEY_INFO SubjectPublicKeyInfo;
  CRYPT_BIT_BLOB IssuerUniqueId;
  CRYPT_BIT_BLOB SubjectUniqueId;
  DWORD cExtension;
  PCERT_EXTENSION rgExtension;
} CERT_INFO, *PCERT_INFO;

typedef void *HCERTSTORE;

// A certificate held by a store (or standing alone when hCertStore is NULL). Everything it points
// to lives until the context's last reference is freed or its store is force-closed.
typedef struct CERT_CONTEXT {
  DWORD dwCertEncodingType;
  BYTE *pbCertEncoded;
  DWORD cbCertEncoded;
  PCERT_INFO pCertInfo;
  HCERTSTORE hCertStore;
} CERT_CONTEXT, *PCERT_CONTEXT;
typedef const CERT_CONTEXT *PCCERT_CONTEXT;
typedef const struct CRL_CONTEXT *PCCRL_CONTEXT;  // CRLs are never used; the type keeps the layout

typedef ULONG_PTR HCRYPTPROV;
typedef ULONG_PTR HCRYPTPROV_LEGACY;

typedef struct CRYPT_KEY_PROV_PARAM {
  DWORD dwParam;
  BYTE *pbData;
  DWORD cbData;
  DWORD dwFlags;
} CRYPT_KEY_PROV_PARAM, *PCRYPT_KEY_PROV_PARAM;

// The key-provider property of a certificate: which provider holds its private key, and where.
typedef struct CRYPT_KEY_PROV_INFO {
  LPWSTR pwszContainerName;
  LPWSTR pwszProvName;
  DWORD dwProvType;
  DWORD dwFlags;
  DWORD cProvParam;
  PCRYPT_KEY_PROV_PARAM rgProvParam;
  DWORD dwKeySpec;
} CRYPT_KEY_PROV_INFO, *PCRYPT_KEY_PROV_INFO;

// The kinds of key (dwKeySpec) of CRYPT_KEY_PROV_INFO.
#define AT_KEYEXCHANGE 1
#define AT_SIGNATURE 2

typedef struct CRYPT_ATTRIBUTE {
  LPSTR pszObjId;
  DWORD cValue;
  PCRYPT_ATTR_BLOB rgValue;  // each value's DER
} CRYPT_ATTRIBUTE, *PCRYPT_ATTRIBUTE;

typedef struct CRYPT_SIGN_MESSAGE_PARA {
  DWORD cbSize;
  DWORD dwMsgEncodingType;
  PCCERT_CONTEXT pSigningCert;
  CRYPT_ALGORITHM_IDENTIFIER HashAlgorithm;
  void *pvHashAuxInfo;
  DWORD cMsgCert;
  PCCERT_CONTEXT *rgpMsgCert;
  DWORD cMsgCrl;
  PCCRL_CONTEXT *rgpMsgCrl;
  DWORD cAuthAttr;
  PCRYPT_ATTRIBUTE rgAuthAttr;
  DWORD cUnauthAttr;
  PCRYPT_ATTRIBUTE rgUnauthAttr;
  DWORD dwFlags;
  DWORD dwInnerContentType;
} CRYPT_SIGN_MESSAGE_PARA, *PCRYPT_SIGN_MESSAGE_PARA;

// Object identifiers the system names.
#define szOID_COMMON_NAME "2.5.4.3"
#define szOID_ORGANIZATION_NAME "2.5.4.10"
#define szOID_ORGANIZATIONAL_UNIT_NAME "2.5.4.11"
#define szOID_KEY_USAGE "2.5.29.15"
#define szOID_RSA_signingTime "1.2.840.113549.1.9.5"
#define szOID_OIWSEC_sha1 "1.3.14.3.2.26"

// Key usage bits of the first byte of the decoded bit string.
#define CERT_DIGITAL_SIGNATURE_KEY_USAGE 0x80
#define CERT_NON_REPUDIATION_KEY_USAGE 0x40
#define CERT_KEY_ENCIPHERMENT_KEY_USAGE 0x20
#define CERT_DATA_ENCIPHERMENT_KEY_USAGE 0x10
#define CERT_KEY_AGREEMENT_KEY_USAGE 0x08
#define CERT_KEY_CERT_SIGN_KEY_USAGE 0x04

// crypt32 and provider failure codes, reported through SetLastError as DWORDs.
#define NTE_BAD_KEY 0x80090003u
#define NTE_BAD_DATA 0x80090005u
#define NTE_BAD_ALGID 0x80090008u
#define NTE_BAD_FLAGS 0x80090009u
#define NTE_BAD_TYPE 0x8009000Au
#define NTE_BAD_KEY_STATE 0x8009000Bu
#define NTE_NO_KEY 0x8009000Du
#define NTE_NO_MEMORY 0x8009000Eu
#define NTE_PERM 0x80090010u
#define NTE_BAD_UID 0x80090001u
#define NTE_BAD_KEYSET 0x80090016u
#define NTE_PROV_TYPE_NO_MATCH 0x8009001Bu
#define NTE_KEYSET_NOT_DEF 0x80090019u
#define NTE_FAIL 0x80090020u
#define CRYPT_E_MSG_ERROR 0x80091001u
#define CRYPT_E_UNKNOWN_ALGO 0x80091002u
#define CRYPT_E_BAD_ENCODE 0x80092002u
#define CRYPT_E_FILE_ERROR 0x80092003u
#define CRYPT_E_NOT_FOUND 0x80092004u
#define CRYPT_E_EXISTS 0x80092005u
#define CRYPT_E_NO_MATCH 0x80092009u
#define CRYPT_E_NO_KEY_PROPERTY 0x8009200Bu
#define CRYPT_E_INVALID_NUMERIC_STRING 0x80092020u
#define CRYPT_E_INVALID_PRINTABLE_STRING 0x80092021u
#define CRYPT_E_INVALID_IA5_STRING 0x80092022u
#define CRYPT_E_INVALID_X500_STRING 0x80092023u
#define CRYPT_E_ASN1_CORRUPT 0x80093100u
// Also defined, as an HRESULT, by the COM types; either definition has the same value.
#ifndef E_INVALIDARG
#define E_INVALIDARG 0x80070057u
#endif
// The user declined a prompt: ERROR_CANCELLED as an HRESULT.
#define HRESULT_ERROR_CANCELLED 0x800704C7u
