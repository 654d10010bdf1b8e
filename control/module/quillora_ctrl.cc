// quillora_ctrl.cc - the control's identity, its maps, the safety answers, the class factory's registration and the four methods.
#include "control/module/quillora_ctrl.h"

#include "control/module/control_ids.h"
#include "control/requests/signing_request.h"
#include "control/resources/resource.h"
#include "platform/framework/afx_ole_module.h"
#include "platform/framework/afx_ole_register.h"

IMPLEMENT_DYNCREATE(CQuilloraActXCtrl, COleControl)

BEGIN_OLEVERB_MAP(CQuilloraActXCtrl, COleControl)
ON_OLEVERB(AFX_IDS_VERB_PROPERTIES, OnProperties)
END_OLEVERB_MAP()

// Identifiers 1 and 2 follow from the positions; 3 and 4 are given.
BEGIN_DISPATCH_MAP(CQuilloraActXCtrl, COleControl)
DISP_FUNCTION(CQuilloraActXCtrl, "signText", signText, VT_BSTR, VTS_BSTR)
DISP_FUNCTION(CQuilloraActXCtrl, "signHTML", signHTML, VT_BSTR, VTS_BSTR)
DISP_FUNCTION_ID(CQuilloraActXCtrl, "signTextWithFilter", 3, signTextWithFilter, VT_BSTR,
                 VTS_BSTR VTS_BSTR VTS_BSTR VTS_BSTR)
DISP_FUNCTION_ID(CQuilloraActXCtrl, "signHTMLWithFilter", 4, signHTMLWithFilter, VT_BSTR,
                 VTS_BSTR VTS_BSTR VTS_BSTR VTS_BSTR)
END_DISPATCH_MAP()

BEGIN_EVENT_MAP(CQuilloraActXCtrl, COleControl)
END_EVENT_MAP()

BEGIN_INTERFACE_MAP(CQuilloraActXCtrl, COleControl)
INTERFACE_PART(CQuilloraActXCtrl, IID_IObjectSafety, ObjSafe)
END_INTERFACE_MAP()

IMPLEMENT_OLECREATE_EX(CQuilloraActXCtrl, kQuilloraProgID, CLSID_QuilloraActX)
IMPLEMENT_OLETYPELIB(CQuilloraActXCtrl, LIBID_QuilloraActXLib, kQuilloraVerMajor, kQuilloraVerMinor)

namespace {

constexpr DWORD kQuilloraOleMisc = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                   OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
static_assert(kQuilloraOleMisc == 0x20191);

constexpr DWORD kSupportedSafety = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
// Computed once from the supported options: the bits no caller may ask for.
const DWORD kUnsupportedSafety = ~kSupportedSafety;

constexpr DWORD kPersistedVersion = MAKELONG(kQuilloraVerMinor, kQuilloraVerMajor);
static_assert(kPersistedVersion == 0x00020000);

}  // namespace

IMPLEMENT_OLECTLTYPE(CQuilloraActXCtrl, IDS_QUILLORA, kQuilloraOleMisc)

BOOL CQuilloraActXCtrl::CQuilloraActXCtrlFactory::UpdateRegistry(BOOL bRegister) {
  if (!bRegister) return AfxOleUnregisterClass(GetClassID(), GetProgID());
  return AfxOleRegisterControlClass(AfxGetStaticModuleState()->m_hCurrentInstanceHandle, GetClassID(), GetProgID(),
                                    IDS_QUILLORA, kQuilloraToolboxBitmap, afxRegApartmentThreading,
                                    kQuilloraOleMisc, LIBID_QuilloraActXLib, kQuilloraVerMajor, kQuilloraVerMinor);
}

CQuilloraActXCtrl::CQuilloraActXCtrl() { InitializeIIDs(&DIID__DQuilloraActX, &DIID__DQuilloraActXEvents); }

CQuilloraActXCtrl::~CQuilloraActXCtrl() = default;

// The control has no properties of its own; data from an older format is converted on load.
void CQuilloraActXCtrl::DoPropExchange(CPropExchange *pPX) {
  ExchangeVersion(pPX, kPersistedVersion);
  COleControl::DoPropExchange(pPX);
}

HRESULT CQuilloraActXCtrl::XObjSafe::GetInterfaceSafetyOptions(REFIID riid, DWORD *pdwSupportedOptions,
                                                               DWORD *pdwEnabledOptions) {
  METHOD_PROLOGUE(CQuilloraActXCtrl, ObjSafe);
  if (pdwSupportedOptions == nullptr || pdwEnabledOptions == nullptr) return E_POINTER;
  IUnknown *unknown = nullptr;
  if (FAILED(pThis->ExternalQueryInterface(&riid, reinterpret_cast<void **>(&unknown)))) return E_NOINTERFACE;
  unknown->Release();
  *pdwSupportedOptions = kSupportedSafety;
  *pdwEnabledOptions = kSupportedSafety;
  return S_OK;
}

// Either option can be turned on and neither off: a mask bit must be both enabled and supported.
HRESULT CQuilloraActXCtrl::XObjSafe::SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask,
                                                               DWORD dwEnabledOptions) {
  METHOD_PROLOGUE(CQuilloraActXCtrl, ObjSafe);
  IUnknown *unknown = nullptr;
  if (FAILED(pThis->ExternalQueryInterface(&riid, reinterpret_cast<void **>(&unknown)))) return E_NOINTERFACE;
  unknown->Release();
  if ((dwOptionSetMask & kUnsupportedSafety) != 0) return E_FAIL;
  return (dwOptionSetMask & dwEnabledOptions & kSupportedSafety) == dwOptionSetMask ? S_OK : E_FAIL;
}

BSTR CQuilloraActXCtrl::signText(LPCSTR text) {
  return RunSigningRequest(SigningMethod::kText, text, nullptr, nullptr, nullptr);
}

BSTR CQuilloraActXCtrl::signHTML(LPCSTR text) {
  return RunSigningRequest(SigningMethod::kHtml, text, nullptr, nullptr, nullptr);
}

BSTR CQuilloraActXCtrl::signTextWithFilter(LPCSTR text, LPCSTR issuer, LPCSTR sn, LPCSTR keyUsage) {
  return RunSigningRequest(SigningMethod::kTextWithFilter, text, issuer, sn, keyUsage);
}

BSTR CQuilloraActXCtrl::signHTMLWithFilter(LPCSTR text, LPCSTR issuer, LPCSTR sn, LPCSTR keyUsage) {
  return RunSigningRequest(SigningMethod::kHtmlWithFilter, text, issuer, sn, keyUsage);
}
