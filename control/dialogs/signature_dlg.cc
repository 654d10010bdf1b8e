// signature_dlg.cc - CSignatureDlg's certificate lists and the signing it runs on confirmation.
#include "control/dialogs/signature_dlg.h"

#include <vector>

#include "platform/crypto/cert_store.h"

CSignatureDlg::CSignatureDlg(const CString &strText, BOOL bPlainText) : m_strText(strText), m_bPlainText(bPlainText) {}

int CSignatureDlg::LoadCertificates() { return LoadList(FALSE, CString(), CString(), CString()); }

int CSignatureDlg::LoadFilteredCertificates(CString strIssuer, CString strSerial, CString strKeyUsage) {
  return LoadList(TRUE, strIssuer, strSerial, strKeyUsage);
}

int CSignatureDlg::LoadList(BOOL bFiltered, const CString &strIssuer, const CString &strSerial,
                            const CString &strKeyUsage) {
  if (!m_crypto.OpenStore()) return 0;
  if (!m_crypto.FirstCertificate()) return m_certs.GetSize();
  do {
    // The key-usage test comes first; the issuer and serial are looked at only if it holds.
    const BOOL bAccepted = bFiltered ? m_crypto.MatchesKeyUsage(strKeyUsage) &&
                                           m_crypto.MatchesIssuerAndSerial(m_crypto.CurrentCertificate(),
                                                                           strIssuer, strSerial)
                                     : m_crypto.IsSigningCertificate();
    if (bAccepted)
      m_certs.Add(const_cast<CERT_CONTEXT *>(CertDuplicateCertificateContext(m_crypto.CurrentCertificate())));
  } while (m_crypto.NextCertificate());
  return m_certs.GetSize();
}

BOOL CSignatureDlg::SignWithCertificate(int nIndex) {
  const auto pCert = static_cast<PCCERT_CONTEXT>(m_certs[nIndex]);
  m_crypto.PrepareProvider(pCert);

  const auto *pbText = reinterpret_cast<const BYTE *>(m_strText.GetString());
  const auto cbText = static_cast<DWORD>(m_strText.GetLength());
  DWORD cbSignature = 0;
  if (!m_crypto.SignDetached(pCert, pbText, cbText, nullptr, &cbSignature)) return FALSE;
  std::vector<BYTE> signature(cbSignature);
  if (!m_crypto.SignDetached(pCert, pbText, cbText, signature.data(), &cbSignature)) return FALSE;

  Base64Encode(m_strResult.GetBuffer(static_cast<int>((4 * cbSignature + 16) / 3)), signature.data(), cbSignature);
  m_strResult.ReleaseBuffer();
  return TRUE;
}
