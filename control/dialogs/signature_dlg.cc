// signature_dlg.cc - CSignatureDlg's certificate lists, its window's handlers and the signing it runs on confirmation.
#include "control/dialogs/signature_dlg.h"

#include <utility>
#include <vector>

#include "control/crypto/cert_names.h"
#include "control/dialogs/request_results.h"
#include "platform/crypto/cert_store.h"
#include "platform/framework/afx_app.h"

BEGIN_MESSAGE_MAP(CSignatureDlg, CDialog)
ON_COMMAND(ID_PREVIEW_FAILED, &CSignatureDlg::OnPreviewFailed)
ON_MESSAGE(WM_TIMER, &CSignatureDlg::OnTimerMessage)
ON_MESSAGE(WM_SYSTIMER, &CSignatureDlg::OnTimerMessage)
END_MESSAGE_MAP()

namespace {

// Keeps the application's wait cursor up for the life of the object, whichever way a handler leaves.
class CWaitCursorScope {
 public:
  CWaitCursorScope() : m_pApp(AfxGetApp()) {
    if (m_pApp != nullptr) m_pApp->BeginWaitCursor();
  }
  ~CWaitCursorScope() {
    if (m_pApp != nullptr) m_pApp->EndWaitCursor();
  }
  CWaitCursorScope(const CWaitCursorScope &) = delete;
  CWaitCursorScope &operator=(const CWaitCursorScope &) = delete;

 private:
  CWinApp *m_pApp;
};

}  // namespace

CSignatureDlg::CSignatureDlg(CString strText, BOOL bPlainText, CWnd *pParent)
    : CDialog(IDD_SIGN_DIALOG, pParent), m_strText(std::move(strText)), m_bPlainText(bPlainText) {}

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

CString CSignatureDlg::DisplayText() const {
  CString strDisplay;
  for (int i = 0; i < m_strText.GetLength(); ++i) {
    if (m_strText[i] == '\n' && (i == 0 || m_strText[i - 1] != '\r')) strDisplay += '\r';
    strDisplay += m_strText[i];
  }
  return strDisplay;
}

BOOL CSignatureDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // Nothing is drawn until the dialog is complete: here for plain text, after the page is
  // sized for HTML.
  LockWindowUpdate();

  // The combo box sorts its items, so each remembers its list index as item data.
  CWnd *pCombo = GetDlgItem(IDC_CERT_COMBO);
  for (int i = 0; i < m_certs.GetSize(); ++i) {
    CString strName;
    GetCertDisplayName(static_cast<PCCERT_CONTEXT>(m_certs[i]), strName);
    const LRESULT nPosition = pCombo->SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(strName.GetString()));
    pCombo->SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(nPosition), i);
  }
  pCombo->SendMessage(CB_SETCURSEL, 0);

  if (m_bPlainText) {
    CWnd *pText = GetDlgItem(IDC_TEXT);
    pText->SetWindowText(DisplayText());
    // Scrolling there and back leaves the view at the top left.
    pText->SendMessage(EM_LINESCROLL, 1, 1);
    pText->SendMessage(EM_LINESCROLL, static_cast<WPARAM>(-1), -1);
    SetWindowPos(&wndTop, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetActiveWindow();
    GetDlgItem(IDOK)->SetFocus();
    UnlockWindowUpdate();
  } else {
    CreatePreview();
  }
  return FALSE;  // the focus is set explicitly
}

void CSignatureDlg::OnOK() {
  const CWaitCursorScope wait;
  const auto nSelected = static_cast<int>(SendDlgItemMessage(IDC_CERT_COMBO, CB_GETCURSEL));
  if (nSelected < 0) return;
  const auto nIndex = static_cast<int>(SendDlgItemMessage(IDC_CERT_COMBO, CB_GETITEMDATA, static_cast<WPARAM>(nSelected)));
  if (!SignWithCertificate(nIndex)) {
    // The user may pick another certificate or cancel; either replaces this result.
    MessageBox(m_crypto.m_strError, "Quillora", MB_ICONERROR);
    m_strResult = kResultInternalError;
    return;
  }
  CDialog::OnOK();
}

void CSignatureDlg::OnCancel() {
  m_strResult = kResultUserCancel;
  CDialog::OnCancel();
}

void CSignatureDlg::OnPreviewFailed() {
  m_strResult = kResultInternalError;
  CDialog::OnCancel();  // not the override, which would report a cancellation
}

LRESULT CSignatureDlg::OnTimerMessage(WPARAM, LPARAM) { return 1; }
