// terminal_back_end.h - dialogs and message boxes drawn as text on a terminal, driven by its keys.
#pragma once

#include <termios.h>

#include <memory>
#include <string>

#include "platform/windows/back_end.h"

namespace winsys {

// Draws the dialog of the innermost modal loop: caption, static texts, the edit box's text (lines
// past the width cut with a marker), each combo box's items in their display order as a numbered
// list with the selection marked, the buttons (a disabled one in parentheses), and the text of any
// other visible child (a hosted control's window, whose control keeps there what it shows) drawn
// as the edit box's is, where it stands in z order. Control characters in these texts show as
// '?'. The dialog is drawn again whenever it changed, also when another thread changed it through
// the queue. Keys: Up/Down or a digit choose the combo item, Enter is the default button, Escape
// is Cancel; the end of input counts as Escape. A box shows caption, text and its buttons and
// waits for Enter (first button) or Escape. Output is UTF-8, converted from the model's 1252
// texts. A dialog locked by LockWindowUpdate is not drawn until the lock goes.
//
// Without a terminal there is no TerminalBackEnd: the process falls back to a back end on which
// dialogs fail to be created (DoModal returns -1) and MessageBoxA returns 0.
class TerminalBackEnd : public BackEnd {
 public:
  // The controlling terminal, or null when /dev/tty cannot be opened.
  static std::unique_ptr<TerminalBackEnd> open_tty();
  // A terminal on the given descriptors (a pseudo-terminal in tests); owns them when `owns`.
  TerminalBackEnd(int in_fd, int out_fd, bool owns, int width = 80);
  ~TerminalBackEnd() override;
  TerminalBackEnd(const TerminalBackEnd &) = delete;
  TerminalBackEnd &operator=(const TerminalBackEnd &) = delete;

  bool can_show_dialogs() override { return true; }
  void dialog_shown(HWND dialog) override;
  void dialog_closed(HWND dialog) override;
  void idle(HWND dialog, int timeout_ms) override;
  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override;

 private:
  // Raw keys in, no echo; restored when the last dialog or box is gone.
  void enter_raw_mode();
  void leave_raw_mode();
  void draw(HWND dialog);
  void write_text(const std::string &utf8);
  // Reads the keys waiting, waiting at most timeout_ms (negative: no limit), and with
  // wake_on_queue no longer than until the thread's queue has something; *ended at the end of input.
  std::string read_keys(int timeout_ms, bool wake_on_queue, bool *ended);

  int in_fd_;
  int out_fd_;
  bool owns_;
  int width_;
  int raw_depth_ = 0;
  bool saved_valid_ = false;
  struct termios saved_ {};
  int ends_seen_ = 0;
  std::string last_screen_;  // what is on the terminal now, so an unchanged dialog is not redrawn
};

}  // namespace winsys
