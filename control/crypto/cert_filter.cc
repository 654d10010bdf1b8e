// cert_filter.cc - the filters of the filtered requests: issuer normalisation, key-usage names, issuer and serial matching.
#include "control/crypto/crypto_manager.h"

#include <cstring>
#include <vector>

#include "platform/base/last_error.h"
#include "platform/crypto/x500_name.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr int kNameChars = 4096;

struct KeyUsageName {
  const char *pszName;
  BYTE byBit;
};

// Names compare exactly, case included; cRLSign and the cipher-only usages have no name here.
constexpr KeyUsageName kKeyUsageNames[] = {
    {"digitalSignature", CERT_DIGITAL_SIGNATURE_KEY_USAGE}, {"nonRepudiation", CERT_NON_REPUDIATION_KEY_USAGE},
    {"keyEncipherment", CERT_KEY_ENCIPHERMENT_KEY_USAGE},   {"dataEncipherment", CERT_DATA_ENCIPHERMENT_KEY_USAGE},
    {"keyAgreement", CERT_KEY_AGREEMENT_KEY_USAGE},         {"keyCertSign", CERT_KEY_CERT_SIGN_KEY_USAGE},
};

bool IsKeyUsageSeparator(char c) { return c == ',' || c == ' '; }

// Renders a DER name in the canonical issuer form: X.500 string, 4095 characters at most, double
// quotes removed. FALSE when the rendering fails.
BOOL RenderName(CERT_NAME_BLOB *pName, DWORD dwStrType, CString &strText) {
  const DWORD cch = CertNameToStrA(kEncoding, pName, dwStrType, strText.GetBuffer(kNameChars), kNameChars);
  strText.ReleaseBuffer();
  if (cch == 0) return FALSE;
  strText.Remove('"');
  return TRUE;
}

}  // namespace

BOOL CCryptoManager::NormalizeIssuer(CString strIssuer, CString &strNormalized) {
  DWORD cbEncoded = 0;
  if (!CertStrToNameA(kEncoding, strIssuer, CERT_X500_NAME_STR, nullptr, nullptr, &cbEncoded, nullptr)) {
    SetCryptoError(GetLastError());
    return FALSE;
  }
  std::vector<BYTE> encoded(cbEncoded);
  if (!CertStrToNameA(kEncoding, strIssuer, CERT_X500_NAME_STR, nullptr, encoded.data(), &cbEncoded, nullptr)) {
    SetCryptoError(GetLastError());
    return FALSE;
  }
  CERT_NAME_BLOB name = {cbEncoded, encoded.data()};
  // Reversed, so that a filter written most specific first meets issuers encoded country first.
  if (!RenderName(&name, CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG, strNormalized)) {
    SetCryptoError(GetLastError());
    return FALSE;
  }
  return TRUE;
}

BOOL CCryptoManager::MatchesKeyUsage(CString strKeyUsage) {
  if (strKeyUsage.IsEmpty()) return IsSigningCertificate();
  const int nLength = strKeyUsage.GetLength();
  int nPos = 0;
  while (nPos < nLength) {
    while (nPos < nLength && IsKeyUsageSeparator(strKeyUsage[nPos])) ++nPos;
    const int nStart = nPos;
    while (nPos < nLength && !IsKeyUsageSeparator(strKeyUsage[nPos])) ++nPos;
    const CString strToken(strKeyUsage.GetString() + nStart, nPos - nStart);
    for (const KeyUsageName &usage : kKeyUsageNames) {
      if (strToken == usage.pszName && HasKeyUsage(usage.byBit)) return TRUE;
    }
  }
  return FALSE;
}

BOOL CCryptoManager::MatchesIssuerAndSerial(PCCERT_CONTEXT pCert, CString strIssuer, CString strSerial) {
  strSerial.MakeUpper();
  const BOOL bSerialMatches = strSerial.IsEmpty() || SerialToHex(pCert->pCertInfo->SerialNumber) == strSerial;

  BOOL bIssuerMatches = strIssuer.IsEmpty();
  if (!bIssuerMatches) {
    CString strCertIssuer;
    if (RenderName(&pCert->pCertInfo->Issuer, CERT_X500_NAME_STR, strCertIssuer))
      bIssuerMatches = strCertIssuer == strIssuer;
    else
      SetCryptoError(GetLastError());  // kept for the record; the certificate just does not match
  }
  return bSerialMatches && bIssuerMatches;
}

CString SerialToHex(const CRYPT_INTEGER_BLOB &serial) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  CString strHex;
  char *pszHex = strHex.GetBuffer(static_cast<int>(serial.cbData * 2));
  // The blob holds the least significant byte first.
  for (DWORD i = 0; i < serial.cbData; ++i) {
    const BYTE byte = serial.pbData[serial.cbData - 1 - i];
    pszHex[2 * i] = kDigits[byte >> 4];
    pszHex[2 * i + 1] = kDigits[byte & 0x0F];
  }
  strHex.ReleaseBuffer(static_cast<int>(serial.cbData * 2));
  return strHex;
}
