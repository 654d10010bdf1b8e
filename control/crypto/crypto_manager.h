// crypto_manager.h - CCryptoManager: the personal store, its enumeration, the qualification and filter rules, signing and the text of crypto failures.
#pragma once

#include "platform/crypto/wincrypt_types.h"
#include "platform/framework/afx_string.h"

// One request's window on the user's personal certificate store. Not copied. Contexts handed out
// through the cursor and duplicated by callers live until the destructor force-closes the store,
// which releases them all at once.
class CCryptoManager {
 public:
  CCryptoManager();
  ~CCryptoManager();
  CCryptoManager(const CCryptoManager &) = delete;
  CCryptoManager &operator=(const CCryptoManager &) = delete;

  // Opens the current user's "MY" store; on failure composes m_strError.
  BOOL OpenStore();
  // Moves the cursor to the store's first certificate; an empty store composes m_strError from
  // the enumeration's error (CRYPT_E_NOT_FOUND).
  BOOL FirstCertificate();
  // Moves the cursor on; FALSE at the end, without an error text.
  BOOL NextCertificate();
  PCCERT_CONTEXT CurrentCertificate() const { return m_pCurrentCert; }

  // The default rule for the cursor: a private key, and a version 1 or 2 certificate, or no
  // critical key usage, or one that allows digitalSignature or nonRepudiation.
  BOOL IsSigningCertificate();
  // The same rule with the key usage test being "any bit of byMask".
  BOOL HasKeyUsage(BYTE byMask);
  // The key-usage filter for the cursor: tokens separated by runs of commas and spaces, any one
  // known name whose bit HasKeyUsage grants passes; empty falls back to IsSigningCertificate.
  BOOL MatchesKeyUsage(CString strKeyUsage);
  // Both conditions of the issuer (canonical text, empty: any) and serial (hex, empty: any) filter.
  BOOL MatchesIssuerAndSerial(PCCERT_CONTEXT pCert, CString strIssuer, CString strSerial);
  // Re-renders an issuer filter as the certificates' issuers are rendered, reversed and without
  // double quotes; on failure composes m_strError.
  BOOL NormalizeIssuer(CString strIssuer, CString &strNormalized);

  // Sends the provider parameter 6969 to the certificate's key container. Sets no error text;
  // callers ignore the result.
  BOOL PrepareProvider(PCCERT_CONTEXT pCert);
  // A detached PKCS #7 signature of the content with SHA-1 and a signing time. With pbSignature
  // NULL only *pcbSignature is set. On failure composes m_strError.
  BOOL SignDetached(PCCERT_CONTEXT pCert, const BYTE *pbContent, DWORD cbContent, BYTE *pbSignature,
                    DWORD *pcbSignature);

  // Replaces m_strError with the Catalan text for the error code.
  void SetCryptoError(DWORD dwError);

  CString m_strError;

 private:
  HCERTSTORE m_hStore;
  PCCERT_CONTEXT m_pCurrentCert;
};

// The serial number as uppercase hex, most significant byte first, every byte kept.
CString SerialToHex(const CRYPT_INTEGER_BLOB &serial);

// Writes the Base64 text of the n bytes, then a NUL; pszDest holds at least 4 * ceil(n / 3) + 1.
void Base64Encode(char *pszDest, const BYTE *pbSource, DWORD cbSource);
