// cert_names.cc - GetCertDisplayName and GetNameAttributeText over the platform's name functions.
#include "control/crypto/cert_names.h"

#include <vector>

#include "platform/crypto/crypt_object.h"
#include "platform/crypto/x500_name.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr int kNameChars = 4096;

// The preferred attributes of a short name, in order; the whole X.500 string comes last.
const LPCSTR g_shortNameOids[] = {szOID_COMMON_NAME, szOID_ORGANIZATION_NAME, szOID_ORGANIZATIONAL_UNIT_NAME};

void GetShortName(CERT_NAME_BLOB *pName, CString &strText) {
  char *pszText = strText.GetBuffer(kNameChars);
  BOOL bFound = FALSE;
  for (LPCSTR pszObjId : g_shortNameOids) {
    bFound = GetNameAttributeText(pName, pszObjId, pszText, kNameChars);
    if (bFound) break;
  }
  if (!bFound) CertNameToStrA(kEncoding, pName, CERT_X500_NAME_STR, pszText, kNameChars);
  strText.ReleaseBuffer();
}

}  // namespace

BOOL GetNameAttributeText(CERT_NAME_BLOB *pName, LPCSTR pszObjId, LPSTR pszBuffer, DWORD cchBuffer) {
  if (cchBuffer > 0) pszBuffer[0] = '\0';

  CERT_RDN_ATTR anyValue = {const_cast<LPSTR>(pszObjId), CERT_RDN_ANY_TYPE, {0, nullptr}};
  CERT_RDN rdn = {1, &anyValue};
  if (!CertIsRDNAttrsInCertificateName(kEncoding, 0, pName, &rdn)) return FALSE;

  DWORD cbDecoded = 0;
  if (!CryptDecodeObject(kEncoding, X509_NAME, pName->pbData, pName->cbData, 0, nullptr, &cbDecoded)) return FALSE;
  std::vector<BYTE> decoded(cbDecoded);
  if (!CryptDecodeObject(kEncoding, X509_NAME, pName->pbData, pName->cbData, 0, decoded.data(), &cbDecoded))
    return FALSE;

  const PCERT_RDN_ATTR pAttr = CertFindRDNAttr(pszObjId, reinterpret_cast<PCERT_NAME_INFO>(decoded.data()));
  if (pAttr == nullptr) return FALSE;
  // The count includes the NUL, so an empty value still succeeds.
  return CertRDNValueToStrA(pAttr->dwValueType, &pAttr->Value, pszBuffer, cchBuffer) != 0;
}

void GetCertDisplayName(PCCERT_CONTEXT pCert, CString &strName) {
  GetShortName(&pCert->pCertInfo->Subject, strName);
  CString strIssuer;
  GetShortName(&pCert->pCertInfo->Issuer, strIssuer);
  if (!strIssuer.IsEmpty()) {
    strName += " (";
    strName += strIssuer;
    strName += ")";
  }
}
