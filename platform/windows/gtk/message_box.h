// message_box.h - MessageBoxA on the desktop: a message dialog with caption, icon, text and buttons, modal to its owner.
#pragma once

#include <gtk/gtk.h>

#include <string>

#include "platform/windows/winuser.h"

namespace winsys::desktop {

class DesktopBackEnd;

// Shows the box (texts in 1252) over `owner` (null: centred on the screen and kept above other
// windows, as a system-modal box is) and returns the button chosen: Enter gives the focused
// button (the first one at first), Escape and the close box give escape_box_answer, Y and N
// answer a Yes/No box. Until then the thread's messages are dispatched, as a box's own modal
// loop does on Windows.
int run_message_box(DesktopBackEnd &back_end, GtkWindow *owner, const std::string &text, const std::string &caption,
                    UINT type);

}  // namespace winsys::desktop
