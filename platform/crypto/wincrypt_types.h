// wincrypt_types.h - the crypt32 structures, constants and error codes the system's certificate code uses.
#pragma once

#include "platform/base/win_types.h"

typedef char *LPSTR;

// A counted byte string; the owner of pbData is stated by each function that hands one out.
typedef struct CRYPTOAPI_BLOB {
  DWORD cbData;
  BYTE *pbData;
} CRYPT_DATA_BLOB, CERT_NAME_BLOB, CERT_RDN_VALUE_BLOB, CRYPT_INTEGER_BLOB;
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

// crypt32 failure codes, reported through SetLastError as DWORDs.
#define CRYPT_E_INVALID_NUMERIC_STRING 0x80092020u
#define CRYPT_E_INVALID_PRINTABLE_STRING 0x80092021u
#define CRYPT_E_INVALID_IA5_STRING 0x80092022u
#define CRYPT_E_INVALID_X500_STRING 0x80092023u
#define CRYPT_E_ASN1_CORRUPT 0x80093100u
#define E_INVALIDARG 0x80070057u
