// quillora_ctrl.h - CQuilloraActXCtrl, the signing control as a COM object: identity, maps, safety answers and its four scripting methods.
#pragma once

#include "platform/framework/afx_ole_control.h"

class CQuilloraActXCtrl : public COleControl {
  DECLARE_DYNCREATE(CQuilloraActXCtrl)

 public:
  CQuilloraActXCtrl();
  void DoPropExchange(CPropExchange *pPX) override;

 protected:
  ~CQuilloraActXCtrl() override;

  DECLARE_OLECREATE_EX(CQuilloraActXCtrl)
  DECLARE_OLETYPELIB(CQuilloraActXCtrl)
  DECLARE_OLECTLTYPE(CQuilloraActXCtrl)
  DECLARE_OLEVERB_MAP()
  DECLARE_DISPATCH_MAP()
  DECLARE_EVENT_MAP()
  DECLARE_INTERFACE_MAP()

 protected:
  // The scripting methods: 8-bit arguments in, a new automation string out (never null).
  BSTR signText(LPCSTR text);
  BSTR signHTML(LPCSTR text);
  BSTR signTextWithFilter(LPCSTR text, LPCSTR issuer, LPCSTR sn, LPCSTR keyUsage);
  BSTR signHTMLWithFilter(LPCSTR text, LPCSTR issuer, LPCSTR sn, LPCSTR keyUsage);

  // Safe for scripting and for initialization, answered at run time; no state is kept.
  BEGIN_INTERFACE_PART(ObjSafe, IObjectSafety)
  HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD *pdwSupportedOptions, DWORD *pdwEnabledOptions) override;
  HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD dwOptionSetMask, DWORD dwEnabledOptions) override;
  END_INTERFACE_PART(ObjSafe)
};
