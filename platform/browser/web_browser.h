// web_browser.h - the browser control's published identifiers: its class, its document and event interfaces, and the dispatch ids the system calls.
#pragma once

#include "platform/com/com_types.h"

// Defined here rather than in a library so that a host of the control needs only this header.
inline constexpr CLSID CLSID_WebBrowser = {0x8856F961, 0x340A, 0x11D0, {0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2}};
inline constexpr IID IID_IHTMLDocument2 = {0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
inline constexpr IID DIID_DWebBrowserEvents2 = {0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};

// IWebBrowser2
#define DISPID_WEBBROWSER_NAVIGATE 104  // method: URL BSTR, then flags, frame, post data, headers as VARIANT*
#define DISPID_WEBBROWSER_DOCUMENT 203  // property get: IDispatch of the loaded document
// IHTMLDocument2
#define DISPID_HTMLDOCUMENT_BODY 1004  // property get: IDispatch of the body element
// IHTMLElement
#define DISPID_HTMLELEMENT_INSERTADJACENTHTML ((DISPID)0x80010406)  // method: where BSTR, html BSTR
#define DISPID_HTMLELEMENT_GETATTRIBUTE ((DISPID)0x800101F6)        // method: name BSTR, flags I4 -> VARIANT
// DWebBrowserEvents2
#define DISPID_DOCUMENTCOMPLETE 259  // pDisp VT_DISPATCH, URL VT_VARIANT | VT_BYREF
