// signing_request.cc - RunSigningRequest: vetting, the certificate list, the dialog and the result of one request.
#include "control/requests/signing_request.h"

#include "control/crypto/crypto_manager.h"
#include "control/dialogs/request_results.h"
#include "control/dialogs/signature_dlg.h"
#include "control/requests/automation_string.h"
#include "control/requests/permitted_html.h"
#include "control/requests/request_messages.h"
#include "platform/windows/winuser.h"

namespace {

constexpr UINT kRefusalFlags = MB_OK | MB_ICONERROR | MB_SYSTEMMODAL;           // 0x1010
constexpr UINT kInformationFlags = MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL;  // 0x1040
static_assert(kRefusalFlags == 0x1010 && kInformationFlags == 0x1040, "the boxes' flags are fixed values");

bool is_plain_text(SigningMethod method) {
  return method == SigningMethod::kText || method == SigningMethod::kTextWithFilter;
}

bool is_filtered(SigningMethod method) {
  return method == SigningMethod::kTextWithFilter || method == SigningMethod::kHtmlWithFilter;
}

// Runs the dialog on a non-empty list, or says that nothing qualified.
CString ShowDialogOrRefuse(CSignatureDlg &dlg, int nCount, LPCSTR lpszEmptyListText) {
  if (nCount == 0) {
    MessageBoxA(nullptr, lpszEmptyListText, kInformationCaption, kInformationFlags);
    return kResultNoMatchingCert;
  }
  dlg.DoModal();  // its value is not used: m_strResult says how the dialog ended
  return dlg.m_strResult;
}

// The filtered list: the issuer is put into canonical form on a manager of its own first, and a
// failure there ends the request with that manager's error text.
CString RunFilteredList(CSignatureDlg &dlg, LPCSTR issuer, LPCSTR sn, LPCSTR keyUsage) {
  CCryptoManager normalizer;
  CString strIssuer;
  if (!normalizer.NormalizeIssuer(CString(issuer), strIssuer)) {
    MessageBoxA(nullptr, kNoValidCertificateText, kInformationCaption, kInformationFlags);
    return CString(kResultInternalError) + "\n" + normalizer.m_strError;
  }
  return ShowDialogOrRefuse(dlg, dlg.LoadFilteredCertificates(strIssuer, CString(sn), CString(keyUsage)),
                            kNoValidCertificateText);
}

}  // namespace

BSTR RunSigningRequest(SigningMethod method, LPCSTR text, LPCSTR issuer, LPCSTR sn, LPCSTR keyUsage) {
  // The dialog is built first and lives to the end of the call, so its store (and every
  // certificate context of its list) is released on every path, refusals included.
  CSignatureDlg dlg(CString(text), is_plain_text(method) ? TRUE : FALSE);
  CString strResult;
  if (!is_plain_text(method) && !IsPermittedHtml(dlg.m_strText)) {
    // Refused before any certificate is looked at.
    MessageBoxA(nullptr, kHtmlRefusedText, kErrorCaption, kRefusalFlags);
    strResult = kResultInternalError;
  } else if (is_filtered(method)) {
    strResult = RunFilteredList(dlg, issuer, sn, keyUsage);
  } else {
    strResult = ShowDialogOrRefuse(dlg, dlg.LoadCertificates(), kNoCertificateInstalledText);
  }
  return AllocAutomationString(strResult);
}
