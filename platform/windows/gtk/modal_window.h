// modal_window.h - the desktop's own modal windows (message boxes, the passphrase dialog): built over their owner and run until answered.
#pragma once

#include <gtk/gtk.h>

#include <string>

namespace winsys::desktop {

class DesktopBackEnd;

// A window of our style with a caption bar (`caption` in Windows-1252, shown with the caption
// decoration) and a close box, modal over
// `owner`, or, with no owner, centred on the screen and kept above other windows as a
// system-modal box is. It takes the keyboard once it is on the screen.
GtkWidget *new_modal_window(const std::string &caption, GtkWindow *owner);

// Shows `window` and, until *answer is not 0, dispatches the thread's messages (as a box's own
// modal loop does on Windows) and waits on the toolkit. A WM_QUIT is left for the outer loop and
// answers `answer_on_quit`. Destroys the window and returns the answer.
int run_modal_window(DesktopBackEnd &back_end, GtkWidget *window, const int *answer, int answer_on_quit);

}  // namespace winsys::desktop
