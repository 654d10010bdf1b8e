// ole_embedding.h - the OLE embedding interfaces through which a container and a control it hosts find each other: IOleWindow, IOleClientSite, IOleObject.
#pragma once

#include "platform/com/com_types.h"

// The window system's handle, declared again so that COM does not depend on the window system.
typedef struct HWND__ *HWND;

extern const IID IID_IOleWindow;
extern const IID IID_IOleClientSite;
extern const IID IID_IOleObject;

// Types named in these signatures that no caller of ours uses: only pointers to them pass.
struct IMoniker;
struct IOleContainer;
struct IDataObject;
struct IEnumOLEVERB;
struct IAdviseSink;
struct IEnumSTATDATA;
struct tagMSG;
struct tagSIZEL;
struct tagLOGPALETTE;
struct RECT;

struct IOleWindow : IUnknown {
  // The window the object lives in: for a container's site, the control's host window.
  virtual HRESULT GetWindow(HWND *phwnd) = 0;
  virtual HRESULT ContextSensitiveHelp(BOOL fEnterMode) = 0;
};

// What a container gives each object it embeds; the object reaches its container through it.
struct IOleClientSite : IUnknown {
  virtual HRESULT SaveObject() = 0;
  virtual HRESULT GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker **ppmk) = 0;
  virtual HRESULT GetContainer(IOleContainer **ppContainer) = 0;
  virtual HRESULT ShowObject() = 0;
  virtual HRESULT OnShowWindow(BOOL fShow) = 0;
  virtual HRESULT RequestNewObjectLayout() = 0;
};

struct IOleObject : IUnknown {
  // The object keeps one reference to the site until it is given another site or null; a
  // container passes null before it releases the object, which breaks the cycle.
  virtual HRESULT SetClientSite(IOleClientSite *pClientSite) = 0;
  virtual HRESULT GetClientSite(IOleClientSite **ppClientSite) = 0;
  virtual HRESULT SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) = 0;
  virtual HRESULT Close(DWORD dwSaveOption) = 0;
  virtual HRESULT SetMoniker(DWORD dwWhichMoniker, IMoniker *pmk) = 0;
  virtual HRESULT GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker **ppmk) = 0;
  virtual HRESULT InitFromData(IDataObject *pDataObject, BOOL fCreation, DWORD dwReserved) = 0;
  virtual HRESULT GetClipboardData(DWORD dwReserved, IDataObject **ppDataObject) = 0;
  virtual HRESULT DoVerb(LONG iVerb, tagMSG *lpmsg, IOleClientSite *pActiveSite, LONG lindex, HWND hwndParent,
                         const RECT *lprcPosRect) = 0;
  virtual HRESULT EnumVerbs(IEnumOLEVERB **ppEnumOleVerb) = 0;
  virtual HRESULT Update() = 0;
  virtual HRESULT IsUpToDate() = 0;
  virtual HRESULT GetUserClassID(CLSID *pClsid) = 0;
  virtual HRESULT GetUserType(DWORD dwFormOfType, LPOLESTR *pszUserType) = 0;
  virtual HRESULT SetExtent(DWORD dwDrawAspect, tagSIZEL *psizel) = 0;
  virtual HRESULT GetExtent(DWORD dwDrawAspect, tagSIZEL *psizel) = 0;
  virtual HRESULT Advise(IAdviseSink *pAdvSink, DWORD *pdwConnection) = 0;
  virtual HRESULT Unadvise(DWORD dwConnection) = 0;
  virtual HRESULT EnumAdvise(IEnumSTATDATA **ppenumAdvise) = 0;
  virtual HRESULT GetMiscStatus(DWORD dwAspect, DWORD *pdwStatus) = 0;
  virtual HRESULT SetColorScheme(tagLOGPALETTE *pLogpal) = 0;
};
