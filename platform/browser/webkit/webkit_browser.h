// webkit_browser.h - the browser control on WebKitGTK: its registration as the process's WebBrowser.
#pragma once

// Puts CLSID_WebBrowser in the process's class table, served by WebKitGTK: the page is rendered
// and laid out by the engine, shown in the control's host window by the desktop back end (which
// must be the back end in use), and inert (web_page.h). Toolkit thread only; calling it again
// does nothing.
void register_webkit_browser();
