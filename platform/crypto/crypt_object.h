// crypt_object.h - DER decoding and encoding of the structures the system asks for by type (CryptDecodeObject, CryptEncodeObject).
#pragma once

#include "platform/crypto/wincrypt_types.h"

// Structure types given as small integers; each is also reachable by its OID string.
#define X509_NAME ((LPCSTR)7)
#define X509_KEY_USAGE ((LPCSTR)14)
#define PKCS_UTC_TIME ((LPCSTR)17)
#define X509_CHOICE_OF_TIME ((LPCSTR)30)

#ifdef __cplusplus
extern "C" {
#endif

// Decodes pbEncoded into pvStructInfo, a self-contained buffer (pointers inside it point into it):
//   X509_NAME                          -> CERT_NAME_INFO
//   X509_KEY_USAGE or "2.5.29.15"      -> CRYPT_BIT_BLOB
// With pvStructInfo NULL only *pcbStructInfo is set; too small a buffer fails with ERROR_MORE_DATA
// and the size. Bytes that are not one such structure fail with CRYPT_E_ASN1_CORRUPT; an unknown
// type with ERROR_FILE_NOT_FOUND, as on Windows, where no decoder is installed for it.
BOOL CryptDecodeObject(DWORD dwCertEncodingType, LPCSTR lpszStructType, const BYTE *pbEncoded,
                       DWORD cbEncoded, DWORD dwFlags, void *pvStructInfo, DWORD *pcbStructInfo);

// Encodes pvStructInfo:
//   PKCS_UTC_TIME, X509_CHOICE_OF_TIME or "1.2.840.113549.1.9.5" (signing time) <- FILETIME (UTC)
// as UTCTime for the years 1950 to 2049 and GeneralizedTime otherwise, whole seconds (fractions
// are cut). The size contract is that of CryptDecodeObject; an unknown type fails with
// ERROR_FILE_NOT_FOUND, a FILETIME past year 9999 with CRYPT_E_BAD_ENCODE.
BOOL CryptEncodeObject(DWORD dwCertEncodingType, LPCSTR lpszStructType, const void *pvStructInfo,
                       BYTE *pbEncoded, DWORD *pcbEncoded);

#ifdef __cplusplus
}
#endif
