// crypto_manager.cc - CCryptoManager's store, enumeration and key-usage rules.
#include "control/crypto/crypto_manager.h"

#include <vector>

#include "platform/base/last_error.h"
#include "platform/crypto/cert_store.h"
#include "platform/crypto/crypt_object.h"

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

}  // namespace

CCryptoManager::CCryptoManager() : m_hStore(nullptr), m_pCurrentCert(nullptr) {}

CCryptoManager::~CCryptoManager() {
  // The forced close releases the cursor and every duplicate callers keep in their lists.
  if (m_hStore != nullptr) CertCloseStore(m_hStore, CERT_CLOSE_STORE_FORCE_FLAG);
}

BOOL CCryptoManager::OpenStore() {
  m_hStore = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, kEncoding, 0, CERT_SYSTEM_STORE_CURRENT_USER, u"MY");
  if (m_hStore == nullptr) {
    SetCryptoError(GetLastError());
    return FALSE;
  }
  return TRUE;
}

BOOL CCryptoManager::FirstCertificate() {
  if (m_pCurrentCert != nullptr) {
    CertFreeCertificateContext(m_pCurrentCert);
    m_pCurrentCert = nullptr;
  }
  m_pCurrentCert = CertEnumCertificatesInStore(m_hStore, nullptr);
  if (m_pCurrentCert == nullptr) {
    SetCryptoError(GetLastError());
    return FALSE;
  }
  return TRUE;
}

BOOL CCryptoManager::NextCertificate() {
  m_pCurrentCert = CertEnumCertificatesInStore(m_hStore, m_pCurrentCert);
  return m_pCurrentCert != nullptr;
}

BOOL CCryptoManager::IsSigningCertificate() {
  return HasKeyUsage(CERT_DIGITAL_SIGNATURE_KEY_USAGE | CERT_NON_REPUDIATION_KEY_USAGE);
}

BOOL CCryptoManager::HasKeyUsage(BYTE byMask) {
  DWORD cbProvInfo = 0;
  if (!CertGetCertificateContextProperty(m_pCurrentCert, CERT_KEY_PROV_INFO_PROP_ID, nullptr, &cbProvInfo))
    return FALSE;

  const PCERT_INFO pInfo = m_pCurrentCert->pCertInfo;
  if (pInfo->dwVersion < CERT_V3) return TRUE;

  const PCERT_EXTENSION pExtension = CertFindExtension(szOID_KEY_USAGE, pInfo->cExtension, pInfo->rgExtension);
  if (pExtension == nullptr || !pExtension->fCritical) return TRUE;

  DWORD cbDecoded = 0;
  if (!CryptDecodeObject(kEncoding, szOID_KEY_USAGE, pExtension->Value.pbData, pExtension->Value.cbData, 0,
                         nullptr, &cbDecoded))
    return FALSE;
  std::vector<BYTE> decoded(cbDecoded);
  if (!CryptDecodeObject(kEncoding, szOID_KEY_USAGE, pExtension->Value.pbData, pExtension->Value.cbData, 0,
                         decoded.data(), &cbDecoded))
    return FALSE;
  const auto *pBits = reinterpret_cast<const CRYPT_BIT_BLOB *>(decoded.data());
  return pBits->cbData > 0 && (pBits->pbData[0] & byMask) != 0;
}
