// terminal_back_end.h - dialogs, message boxes and passphrase prompts drawn as text on a terminal, driven by its keys.
#pragma once

#include <termios.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/passphrase_prompt.h"
#include "platform/windows/back_end.h"
#include "platform/windows/terminal_screen.h"
#include "platform/windows/terminal_text_view.h"

namespace terminal {
class InterruptionScope;
}

namespace winsys {

// Draws the dialog of the innermost modal loop on the terminal's alternate screen, fitted to the
// terminal's size and redrawn when it changes (terminal_screen.h): only the rows in view are ever
// written, however long the text, and it is drawn again as soon as another thread changed it
// through the queue. Keys act as terminal_dialog_keys.h says; the end of input counts as Escape.
// A box shows caption, text and its buttons and waits for Enter (first button) or Escape. A
// dialog locked by LockWindowUpdate is not drawn, and takes no key but Escape, until the lock
// goes. Output is UTF-8, converted from the model's 1252 texts.
//
// While it exists it is also the process's passphrase asker: the prompt is drawn in place of the
// dialog, names the certificate chosen in the dialog's list, and reads the passphrase without
// echo (Enter ends it, Escape declines).
//
// Ctrl-C, SIGTERM or SIGHUP while a dialog, a box or a prompt is up put the terminal back at once
// (its modes and the normal screen) and end everything up as cancelled: a prompt declines, boxes
// answer as Escape does, and the dialog gets Escape (and is ended with IDCANCEL should it ignore it).
//
// Without a terminal there is no TerminalBackEnd: the process falls back to a back end on which
// dialogs fail to be created (DoModal returns -1) and MessageBoxA returns 0.
class TerminalBackEnd : public BackEnd {
 public:
  // The controlling terminal, or null when /dev/tty cannot be opened.
  static std::unique_ptr<TerminalBackEnd> open_tty();
  // A terminal on the given descriptors (a pseudo-terminal in tests); owns them when `owns`.
  // The size is the terminal's own; width and height stand in when it cannot tell.
  TerminalBackEnd(int in_fd, int out_fd, bool owns, int width = 80, int height = 24);
  ~TerminalBackEnd() override;
  TerminalBackEnd(const TerminalBackEnd &) = delete;
  TerminalBackEnd &operator=(const TerminalBackEnd &) = delete;

  bool can_show_dialogs() override { return true; }
  void dialog_shown(HWND dialog) override;
  void dialog_closed(HWND dialog) override;
  void idle(HWND dialog, int timeout_ms) override;
  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override;

 private:
  // Keys one by one, no echo, on the alternate screen; nested, put back when the last user goes.
  void enter_raw_mode();
  void leave_raw_mode();
  void put_terminal_back();
  // True once an interruption was caught; the terminal is put back the first time.
  bool interrupted();
  // Ends the dialog as Escape does, or by force the second time.
  void cancel(HWND dialog);
  ScreenSize size() const;
  void show(const std::vector<ScreenRow> &rows, bool with_cursor);
  bool ask_passphrase(const std::string &what, int attempt, std::string *passphrase);
  // The line of the item chosen in the innermost dialog's list, or "".
  std::string chosen_item() const;

  int in_fd_;
  int out_fd_;
  bool owns_;
  ScreenSize fallback_size_;
  int raw_depth_ = 0;
  bool saved_valid_ = false;
  struct termios saved_ {};
  bool put_back_ = false;  // the terminal was put back before the last user left
  std::unique_ptr<terminal::InterruptionScope> interruptions_;
  int cancels_sent_ = 0;
  std::string unread_;       // keys read from the terminal and not acted on yet
  std::string last_screen_;  // what is on the terminal now, so an unchanged screen is not redrawn
  std::vector<HWND> dialogs_;  // shown, innermost last
  std::map<HWND, TextView> views_;
  platform_ui::PassphraseAsker former_asker_;
};

}  // namespace winsys
