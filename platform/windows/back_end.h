// back_end.h - what shows windows to the user and brings the user's input back: the interface and the process-wide choice.
#pragma once

#include <string>

#include "platform/windows/winuser.h"

namespace winsys {

// A back end presents the window model; it never owns window state. Every call but
// system_metric and cursor_changed comes from the thread running the modal loop
// or the message box, without the model lock held, so it may use any window call (SendMessageA,
// PostMessageA, window_state...). system_metric is asked with the model lock held and must not
// call into the window system.
class BackEnd {
 public:
  virtual ~BackEnd() = default;

  // Whether dialogs can be created now. False makes DialogBoxIndirectParamA fail with -1.
  virtual bool can_show_dialogs() = 0;
  // The modal loop has shown the dialog, and is about to leave it (the window still exists).
  virtual void dialog_shown(HWND dialog) = 0;
  virtual void dialog_closed(HWND dialog) = 0;
  // The modal loop of `dialog` has nothing queued and no timer due. Wait at most timeout_ms
  // (negative: no timer pending) for the user and turn the input into ordinary window calls.
  // Returning without any input is allowed; the loop asks again.
  virtual void idle(HWND dialog, int timeout_ms) = 0;
  // Shows a box and returns the chosen IDOK..IDNO, or 0 when it cannot be shown. Texts are 1252.
  virtual int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) = 0;
  // GetSystemMetrics. The default is a 1280 x 1024 screen with no task bar and classic frames.
  virtual int system_metric(int index);
  // The dialog base units, in pixels, of a template font (DS_SETFONT): the average width of its
  // letters and its cell height. The default has no fonts to measure and scales 8-point MS Sans
  // Serif at 96 dpi (6 x 13) linearly.
  virtual POINT dialog_base_units(const char *face, int points, int weight, bool italic);
  // SetCursor changed the cursor, on any thread; a back end shows it at once, as the system's
  // cursor is, without waiting for the message loop.
  virtual void cursor_changed(HCURSOR) {}
};

// The back end in use. Default: the terminal when /dev/tty opens, else one that fails to create
// dialogs and answers message boxes with 0.
BackEnd &back_end();

class HeadlessUser;
// Makes `user` (or any back end) the one in use until the next choice; the caller keeps it alive
// until then. Null goes back to the default.
void use_headless_back_end(HeadlessUser *user);
void use_back_end(BackEnd *back_end);
// Chooses the terminal on /dev/tty; false (and the failing back end) when there is none.
bool use_terminal_back_end();

// What the window system tells the back end in use, if one was chosen (none is chosen for it).
void notify_cursor_changed(HCURSOR cursor);

// What every back end shows after the caption of a dialog or a message box, so that the user
// sees on whose behalf it asks (the page bridge sets the requesting site's origin); the windows'
// own texts stay as they are, so nothing that reads them changes. Windows-1252; "" adds nothing.
void set_caption_decoration(std::string decoration);
// The caption as a back end shows it: the caption, then an em dash and the decoration, if any.
std::string shown_caption(const std::string &caption);

// The calling thread's message queue as a descriptor to wait on beside the user's input: it polls
// readable while anything waits in the queue (a posted message, or a call another thread sent,
// as a worker's window updates are). A back end's idle() that waits for its user also waits on
// this and returns as soon as it is readable, so that the modal loop delivers what came at once;
// a desktop toolkit adds it to its main loop as a file-descriptor source. The queue owns the
// descriptor: do not read or close it.
int message_queue_wake_fd();

// The first button of a box type (IDOK for MB_OK and MB_OKCANCEL, IDYES for the yes/no types),
// and the answer that Escape gives (IDCANCEL, IDNO for MB_YESNO, IDOK for MB_OK).
int default_box_answer(UINT type);
int escape_box_answer(UINT type);

}  // namespace winsys
