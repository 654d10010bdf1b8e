// afx_event_sink.cc - the lookup behind every event sink map.
#include "platform/framework/afx_event_sink.h"

BOOL afx_event::Dispatch(void *pTarget, const AFX_EVENTSINKMAP_ENTRY *entries, UINT nCtrlId, DISPID dispid,
                         DISPPARAMS *params) {
  for (const AFX_EVENTSINKMAP_ENTRY *entry = entries; entry->pfnInvoke != nullptr; ++entry) {
    if (entry->nCtrlId != nCtrlId || entry->dispid != dispid) continue;
    entry->pfnInvoke(pTarget, params);
    return TRUE;
  }
  return FALSE;
}
