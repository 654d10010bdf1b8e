// afx_ole_target.cc - CCmdTarget: reference counting, interface lookup through the maps, and IDispatch over the dispatch map.
#include "platform/framework/afx_ole_target.h"

#include "platform/framework/afx_ole_dispatch.h"
#include "platform/framework/afx_ole_module.h"

namespace {

const AFX_INTERFACEMAP_ENTRY kNoInterfaces[] = {{nullptr, nullptr}};
const AFX_INTERFACEMAP kBaseInterfaceMap = {nullptr, kNoInterfaces};
const AFX_DISPMAP_ENTRY kNoMembers[] = {{nullptr, 0, nullptr}};
const AFX_DISPMAP kBaseDispatchMap = {nullptr, kNoMembers};

}  // namespace

const CRuntimeClass CCmdTarget::classCCmdTarget = {"CCmdTarget", nullptr, nullptr};

CCmdTarget::CCmdTarget() = default;

CCmdTarget::~CCmdTarget() {
  if (m_pModuleState != nullptr) --m_pModuleState->m_nObjectCount;
}

const CRuntimeClass *CCmdTarget::GetRuntimeClass() const { return &classCCmdTarget; }

void CCmdTarget::SetModuleLock(AFX_MODULE_STATE *pModuleState) {
  m_pModuleState = pModuleState;
  if (m_pModuleState != nullptr) ++m_pModuleState->m_nObjectCount;
}

const AFX_INTERFACEMAP *CCmdTarget::GetThisInterfaceMap() { return &kBaseInterfaceMap; }
const AFX_INTERFACEMAP *CCmdTarget::GetInterfaceMap() const { return &kBaseInterfaceMap; }
const AFX_DISPMAP *CCmdTarget::GetThisDispatchMap() { return &kBaseDispatchMap; }
const AFX_DISPMAP *CCmdTarget::GetDispatchMap() const { return &kBaseDispatchMap; }

HRESULT CCmdTarget::GetDispatchTypeInfo(LCID, ITypeInfo **) { return E_NOTIMPL; }

void CCmdTarget::OnFinalRelease() { delete this; }

ULONG CCmdTarget::InternalAddRef() { return ++m_dwRef; }

ULONG CCmdTarget::InternalRelease() {
  const ULONG left = --m_dwRef;
  if (left == 0) OnFinalRelease();
  return left;
}

void *CCmdTarget::FindInterface(REFIID riid) {
  if (riid == IID_IUnknown) return &m_xInnerUnknown;
  if (m_bAutomation) {
    const IID *primary = GetDispatchIID();
    if (riid == IID_IDispatch || (primary != nullptr && riid == *primary)) return &m_xDispatch;
  }
  for (const AFX_INTERFACEMAP *map = GetInterfaceMap(); map != nullptr;
       map = map->pfnGetBaseMap != nullptr ? map->pfnGetBaseMap() : nullptr)
    for (const AFX_INTERFACEMAP_ENTRY *entry = map->pEntry; entry->piid != nullptr; ++entry)
      if (*entry->piid == riid) return entry->pfnGetInterface(this);
  return nullptr;
}

HRESULT CCmdTarget::InternalQueryInterface(const void *iid, void **ppvObj) {
  if (ppvObj == nullptr) return E_POINTER;
  void *found = FindInterface(*static_cast<const IID *>(iid));
  *ppvObj = found;
  if (found == nullptr) return E_NOINTERFACE;
  static_cast<IUnknown *>(found)->AddRef();
  return S_OK;
}

ULONG CCmdTarget::ExternalAddRef() {
  return m_pOuterUnknown != nullptr ? m_pOuterUnknown->AddRef() : InternalAddRef();
}

ULONG CCmdTarget::ExternalRelease() {
  return m_pOuterUnknown != nullptr ? m_pOuterUnknown->Release() : InternalRelease();
}

HRESULT CCmdTarget::ExternalQueryInterface(const void *iid, void **ppvObj) {
  if (m_pOuterUnknown != nullptr) return m_pOuterUnknown->QueryInterface(*static_cast<const IID *>(iid), ppvObj);
  return InternalQueryInterface(iid, ppvObj);
}

IUnknown *CCmdTarget::GetControllingUnknown() {
  return m_pOuterUnknown != nullptr ? m_pOuterUnknown : &m_xInnerUnknown;
}

IDispatch *CCmdTarget::GetIDispatch(BOOL bAddRef) {
  if (!m_bAutomation) return nullptr;
  if (bAddRef) m_xDispatch.AddRef();
  return &m_xDispatch;
}

HRESULT CCmdTarget::XDispatch::GetTypeInfoCount(UINT *pctinfo) {
  if (pctinfo == nullptr) return E_POINTER;
  *pctinfo = m_pOuter->GetTypeInfoCount();
  return S_OK;
}

HRESULT CCmdTarget::XDispatch::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) {
  if (ppTInfo == nullptr) return E_POINTER;
  *ppTInfo = nullptr;
  if (iTInfo >= m_pOuter->GetTypeInfoCount()) return DISP_E_BADINDEX;
  return m_pOuter->GetDispatchTypeInfo(lcid, ppTInfo);
}

// Named parameters are not part of the dispatch maps: a second name is never found.
HRESULT CCmdTarget::XDispatch::GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID,
                                             DISPID *rgDispId) {
  if (!(riid == GUID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0) return E_INVALIDARG;
  for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
  if (AfxFindDispatchEntry(m_pOuter->GetDispatchMap(), rgszNames[0], &rgDispId[0]) == nullptr)
    return DISP_E_UNKNOWNNAME;
  return cNames == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT CCmdTarget::XDispatch::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS *pDispParams,
                                      VARIANT *pVarResult, EXCEPINFO *, UINT *puArgErr) {
  if (!(riid == GUID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  // The member runs as its module's code: AfxGetApp() and its resources are the module's own,
  // whatever application the caller has.
  AFX_MANAGE_STATE(m_pOuter->m_pModuleState != nullptr ? m_pOuter->m_pModuleState : AfxGetModuleState());
  if (pDispParams == nullptr) return E_INVALIDARG;
  if (pDispParams->cArgs > 0 && pDispParams->rgvarg == nullptr) return E_INVALIDARG;
  const AFX_DISPMAP_ENTRY *entry = AfxFindDispatchEntry(m_pOuter->GetDispatchMap(), dispIdMember);
  // Every member of the maps is a method; script engines may also ask for a method's value.
  if (entry == nullptr || (wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) return DISP_E_MEMBERNOTFOUND;
  return entry->pfnThunk(m_pOuter, pDispParams, pVarResult, puArgErr);
}
