// cert_names.h - the line that names a certificate in the signing dialog: subject's short name, then the issuer's in parentheses.
#pragma once

#include "platform/crypto/wincrypt_types.h"
#include "platform/framework/afx_string.h"

// Replaces strName with the certificate's line: the subject's first CN, else O, else OU, else its
// whole X.500 string; then " (", the issuer's short name and ")" unless that is empty. Each short
// name is at most 4095 characters.
void GetCertDisplayName(PCCERT_CONTEXT pCert, CString &strName);

// Writes the text of the name's first attribute with the OID into pszBuffer (cchBuffer characters
// with the NUL). TRUE if there is one and it converted; otherwise FALSE with pszBuffer empty.
BOOL GetNameAttributeText(CERT_NAME_BLOB *pName, LPCSTR pszObjId, LPSTR pszBuffer, DWORD cchBuffer);
