// desktop.h - the desktop back end of the window system (GTK 3): choosing it, and placing a hosted control's own view in its window.
#pragma once

#include <string>

#include "platform/windows/winuser.h"

typedef struct _GtkWidget GtkWidget;

namespace winsys {

// Opens the display that DISPLAY (or WAYLAND_DISPLAY) names, on the calling thread, and makes
// the desktop the back end in use. That thread becomes the toolkit's: modal loops and message
// boxes must run on it. False, with the choice left as it was, when no display can be opened.
bool use_desktop_back_end();

// A hosted control's own view (the browser's page): shown over the rectangle of its host window
// and following the window's visibility, and laid out at that size at once, even while the
// dialog is hidden or locked, so that the control can measure its content. The back end holds a
// reference until the view is detached or the window is destroyed; the view is never destroyed
// with the dialog. Nothing happens while another back end is in use. Toolkit thread only.
void attach_native_view(HWND host, GtkWidget *view);
void detach_native_view(HWND host);

// Asks for a key's passphrase in a dialog over the active window, as the platform's passphrase
// asker (platform/ui): `what` names the key (UTF-8); an `attempt` above 1 says the last answer
// was wrong. False when the person declines, or when the desktop is not the back end in use on
// this thread.
bool ask_passphrase_on_desktop(const std::string &what, int attempt, std::string *passphrase);

}  // namespace winsys
