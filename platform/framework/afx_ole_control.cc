// afx_ole_control.cc - COleControl: automation through the dispatch map, type information and property exchange.
#include "platform/framework/afx_ole_control.h"

BOOL CPropExchange::ExchangeVersion(DWORD &dwVersionLoaded, DWORD dwVersionDefault, BOOL /*bConvert*/) {
  if (m_bLoading) {
    if (m_dwVersion == 0) m_dwVersion = dwVersionDefault;
    dwVersionLoaded = m_dwVersion;
  } else {
    m_dwVersion = dwVersionDefault;
    dwVersionLoaded = dwVersionDefault;
  }
  return TRUE;
}

namespace {
const AFX_OLEVERB_ENTRY kNoVerbs[] = {{0, 0, nullptr}};
const AFX_EVENTMAP_ENTRY kNoEvents[] = {{nullptr, 0}};
}  // namespace

const CRuntimeClass COleControl::classCOleControl = {"COleControl", nullptr, RUNTIME_CLASS(CCmdTarget)};

COleControl::COleControl() { EnableAutomation(); }

COleControl::~COleControl() = default;

const CRuntimeClass *COleControl::GetRuntimeClass() const { return &classCOleControl; }

void COleControl::DoPropExchange(CPropExchange *) {}

BOOL COleControl::ExchangeVersion(CPropExchange *pPX, DWORD dwVersionDefault, BOOL bConvert) {
  DWORD loaded = 0;
  if (!pPX->ExchangeVersion(loaded, dwVersionDefault, bConvert)) return FALSE;
  m_dwVersionLoaded = loaded;
  return TRUE;
}

void COleControl::InitNew() {
  CPropExchange px(TRUE);
  DoPropExchange(&px);
}

const AFX_OLEVERB_ENTRY *COleControl::GetVerbMap() const { return kNoVerbs; }
const AFX_EVENTMAP_ENTRY *COleControl::GetEventMap() const { return kNoEvents; }

BOOL COleControl::OnProperties() { return FALSE; }

void COleControl::InitializeIIDs(const IID *piidPrimary, const IID *piidEvents) {
  m_piidPrimary = piidPrimary;
  m_piidEvents = piidEvents;
}

HRESULT COleControl::GetDispatchTypeInfo(LCID lcid, ITypeInfo **ppTypeInfo) {
  if (m_piidPrimary == nullptr) return E_NOTIMPL;
  ITypeLib *library = nullptr;
  const HRESULT loaded = GetTypeLib(lcid, &library);
  if (FAILED(loaded)) return loaded;
  const HRESULT found = library->GetTypeInfoOfGuid(*m_piidPrimary, ppTypeInfo);
  library->Release();
  return found;
}
