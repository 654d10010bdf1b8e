// html_preview.cc - CSignatureDlg's HTML preview: the browser control in place of the text box, the request's text inserted into its page, and the dialog grown to fit it.
#include "control/dialogs/signature_dlg.h"

#include <algorithm>

#include "platform/browser/web_browser.h"
#include "platform/com/variant.h"
#include "platform/framework/afx_ctrl_container.h"

BEGIN_EVENTSINK_MAP(CSignatureDlg, CDialog)
ON_EVENT(CSignatureDlg, IDC_BROWSER, DISPID_DOCUMENTCOMPLETE, OnDocumentComplete, VTS_DISPATCH VTS_PVARIANT)
END_EVENTSINK_MAP()

namespace {

// The text goes into the page in pieces of at most this many bytes, cut at fixed offsets.
constexpr int kInsertPieceBytes = 4096;

// The controls that follow the content: pushed right by half the growth in width (the logo by
// all of it) and down by the growth in height. The request label and the text box stay put.
constexpr int kFollowingControls[] = {IDOK, IDCANCEL, IDC_CERT_LABEL, IDC_CERT_COMBO};

// The failure signal: queued, so that it is handled after the current handler has returned.
void PostPreviewFailed(CWnd &dlg) { dlg.PostMessage(WM_COMMAND, ID_PREVIEW_FAILED, 0); }

// Moves a control from wherever it is now, keeping its size and z order.
void MoveControl(CWnd &dlg, int nID, int dx, int dy) {
  CWnd *pControl = dlg.GetDlgItem(nID);
  RECT rect;
  pControl->GetWindowRect(&rect);
  dlg.ScreenToClient(&rect);
  pControl->SetWindowPos(nullptr, rect.left + dx, rect.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// How much one dimension grows: nothing when the content fits the browser; otherwise the excess,
// cut back so that the dialog stays within a maximised window less two caption heights. The cut
// may come out negative for a dialog already beyond that limit; it is used as it is.
bool Growth(LONG content, LONG browserExtent, LONG dialogExtent, int nMaximizedMetric, int *pGrowth) {
  const long long excess = static_cast<long long>(content) - browserExtent;
  *pGrowth = 0;
  if (excess <= 0) return false;
  const long long limit = GetSystemMetrics(nMaximizedMetric) - 2LL * GetSystemMetrics(SM_CYCAPTION);
  *pGrowth = static_cast<int>(dialogExtent + excess > limit ? limit - dialogExtent : excess);
  return true;
}

// Grows the browser to the content's measured size and the dialog with it, moves the controls
// below and beside the browser along, and centres the dialog. Both rectangles are taken before
// anything moves; each control move starts from the control's current place.
void FitToContent(CWnd &dlg, CWnd &browser, LONG nWidth, LONG nHeight) {
  RECT dialogRect, browserRect;
  dlg.GetWindowRect(&dialogRect);
  browser.GetWindowRect(&browserRect);
  const LONG browserWidth = browserRect.right - browserRect.left, browserHeight = browserRect.bottom - browserRect.top;
  const LONG dialogWidth = dialogRect.right - dialogRect.left, dialogHeight = dialogRect.bottom - dialogRect.top;

  int dx = 0, dy = 0;
  if (Growth(nWidth, browserWidth, dialogWidth, SM_CXMAXIMIZED, &dx)) {
    for (int nID : kFollowingControls) MoveControl(dlg, nID, dx / 2, 0);
    MoveControl(dlg, IDC_LOGO, dx, 0);
  }
  if (Growth(nHeight, browserHeight, dialogHeight, SM_CYMAXIMIZED, &dy))
    for (int nID : kFollowingControls) MoveControl(dlg, nID, 0, dy);

  browser.SetWindowPos(nullptr, 0, 0, browserWidth + dx, browserHeight + dy, SWP_NOMOVE | SWP_NOZORDER);
  dlg.SetWindowPos(nullptr, 0, 0, dialogWidth + dx, dialogHeight + dy, SWP_NOMOVE | SWP_NOZORDER);
  dlg.CenterWindow();
}

// Appends the text to the body piece by piece; each piece is parsed by the browser on its own.
HRESULT InsertText(COleDispatchDriver &body, const CString &strText) {
  static const BYTE params[] = VTS_BSTR VTS_BSTR;
  for (int nOffset = 0; nOffset < strText.GetLength(); nOffset += kInsertPieceBytes) {
    const CString strPiece(strText.GetString() + nOffset, std::min(kInsertPieceBytes, strText.GetLength() - nOffset));
    const HRESULT hr = body.InvokeHelper(DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, VT_EMPTY, nullptr,
                                         params, "beforeEnd", strPiece.GetString());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT GetAttribute(COleDispatchDriver &element, LPCSTR pszName, VARIANT *pResult) {
  static const BYTE params[] = VTS_BSTR VTS_I4;
  return element.InvokeHelper(DISPID_HTMLELEMENT_GETATTRIBUTE, DISPATCH_METHOD, VT_VARIANT, pResult, params, pszName,
                              static_cast<LONG>(0));
}

}  // namespace

void CSignatureDlg::CreatePreview() {
  CWnd *pText = GetDlgItem(IDC_TEXT);
  pText->ShowWindow(SW_HIDE);
  RECT rect;
  pText->GetWindowRect(&rect);
  ScreenToClient(&rect);

  if (!m_wndBrowser.CreateControl(CLSID_WebBrowser, nullptr, WS_CHILD | WS_VISIBLE, rect, this, IDC_BROWSER)) {
    // Without the control no DocumentComplete ever comes, and the dialog would stay locked.
    PostPreviewFailed(*this);
    return;
  }

  // Navigate goes through a driver rather than CWnd::InvokeHelper so that its failure is seen:
  // a page that never starts loading never completes either.
  void *pBrowser = nullptr;
  m_wndBrowser.GetControlUnknown()->QueryInterface(IID_IDispatch, &pBrowser);
  COleDispatchDriver browser(static_cast<LPDISPATCH>(pBrowser));
  VARIANT varEmpty;
  VariantInit(&varEmpty);
  static const BYTE params[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
  const HRESULT hr = browser.InvokeHelper(DISPID_WEBBROWSER_NAVIGATE, DISPATCH_METHOD, VT_EMPTY, nullptr, params,
                                         "about:blank", &varEmpty, &varEmpty, &varEmpty, &varEmpty);
  // The browser takes the hidden text box's place in z order, and so in tab order.
  m_wndBrowser.SetWindowPos(pText, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
  VariantClear(&varEmpty);
  if (FAILED(hr)) PostPreviewFailed(*this);
  // The update lock stays until OnDocumentComplete has filled and sized the page.
}

void CSignatureDlg::OnDocumentComplete(LPDISPATCH /*pDisp*/, VARIANT * /*URL*/) {
  LPDISPATCH pDocument = nullptr;
  m_wndBrowser.InvokeHelper(DISPID_WEBBROWSER_DOCUMENT, DISPATCH_PROPERTYGET, VT_DISPATCH, &pDocument, nullptr);
  if (pDocument == nullptr) return PostPreviewFailed(*this);

  void *pHtmlDocument = nullptr;
  const HRESULT hr = pDocument->QueryInterface(IID_IHTMLDocument2, &pHtmlDocument);
  pDocument->Release();
  if (FAILED(hr)) return PostPreviewFailed(*this);
  COleDispatchDriver document(static_cast<LPDISPATCH>(pHtmlDocument));

  LPDISPATCH pBody = nullptr;
  document.GetProperty(DISPID_HTMLDOCUMENT_BODY, VT_DISPATCH, &pBody);
  if (pBody == nullptr) return PostPreviewFailed(*this);
  COleDispatchDriver body(pBody);

  // A failing call here would leave a half-filled page in a locked dialog: end the request instead.
  VARIANT varWidth, varHeight;
  VariantInit(&varWidth);
  VariantInit(&varHeight);
  if (FAILED(InsertText(body, m_strText)) || FAILED(GetAttribute(body, "scrollWidth", &varWidth)) ||
      FAILED(GetAttribute(body, "scrollHeight", &varHeight))) {
    VariantClear(&varWidth);
    VariantClear(&varHeight);
    return PostPreviewFailed(*this);
  }
  // A size that is not a number leaves the dialog as it is, but it is still shown.
  if (SUCCEEDED(VariantChangeType(&varWidth, &varWidth, 0, VT_I4)) &&
      SUCCEEDED(VariantChangeType(&varHeight, &varHeight, 0, VT_I4)))
    FitToContent(*this, m_wndBrowser, varWidth.lVal, varHeight.lVal);
  VariantClear(&varWidth);
  VariantClear(&varHeight);

  SetWindowPos(&wndTop, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetActiveWindow();
  GetDlgItem(IDOK)->SetFocus();
  InvalidateRect(nullptr, TRUE);
  UnlockWindowUpdate();
  // The document and the body are released by their drivers.
}
