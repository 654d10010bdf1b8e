// x500_name.h - conversion between encoded X.500 names and their string forms (crypt32's name functions).
#pragma once

#include "platform/crypto/wincrypt_types.h"

#ifdef __cplusplus
extern "C" {
#endif

// Renders the DER name pName as text in the ANSI code page. dwStrType must be CERT_X500_NAME_STR
// plus any CERT_NAME_STR_* flags. Returns the characters needed including the NUL when psz is NULL
// or csz is 0; otherwise writes at most csz-1 characters plus a NUL and returns the characters
// written including the NUL. A name that does not decode renders as "" (and returns 1).
DWORD CertNameToStrA(DWORD dwCertEncodingType, PCERT_NAME_BLOB pName, DWORD dwStrType, LPSTR psz,
                     DWORD csz);

// Parses pszX500 (ANSI code page) and DER-encodes it into pbEncoded. With pbEncoded NULL only
// *pcbEncoded is set. On failure returns FALSE with a CRYPT_E_* last error and, when ppszError is
// not NULL, *ppszError pointing into pszX500 at the offending sequence (NULL when the failure has
// no position). A buffer that is too small gives ERROR_MORE_DATA with the size in *pcbEncoded.
BOOL CertStrToNameA(DWORD dwCertEncodingType, LPCSTR pszX500, DWORD dwStrType, void *pvReserved,
                    BYTE *pbEncoded, DWORD *pcbEncoded, LPCSTR *ppszError);

// Renders one decoded attribute value (see CERT_RDN_ATTR) as text in the ANSI code page, with no
// key and no quoting; the size contract is that of CertNameToStrA.
DWORD CertRDNValueToStrA(DWORD dwValueType, PCERT_RDN_VALUE_BLOB pValue, LPSTR psz, DWORD csz);

// TRUE when every attribute of pRDN matches an attribute in some RDN of the DER name pCertName: a
// NULL pszObjId matches any OID, CERT_RDN_ANY_TYPE any type, a NULL Value.pbData any value;
// otherwise values compare byte for byte in CERT_RDN_ATTR's decoded form (8-bit values, since
// dwFlags must be 0). FALSE with CRYPT_E_NO_MATCH when one does not match, CRYPT_E_ASN1_CORRUPT
// when the name does not decode, E_INVALIDARG for other flags.
BOOL CertIsRDNAttrsInCertificateName(DWORD dwCertEncodingType, DWORD dwFlags, PCERT_NAME_BLOB pCertName,
                                     PCERT_RDN pRDN);

// The first attribute of the decoded name (RDN order, then attribute order) whose OID equals
// pszObjId; a pointer into pName, or NULL.
PCERT_RDN_ATTR CertFindRDNAttr(LPCSTR pszObjId, PCERT_NAME_INFO pName);

#ifdef __cplusplus
}
#endif
