// terminal_back_end.cc - the terminal's modes and screens, and its keys turned into window messages, around the modal loops.
#include "platform/windows/terminal_back_end.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "platform/terminal/interruption.h"
#include "platform/terminal/keys.h"
#include "platform/terminal/output.h"
#include "platform/terminal/secret_line.h"
#include "platform/windows/terminal_dialog_keys.h"
#include "platform/windows/window_state.h"

namespace winsys {
namespace {

// Dialogs and boxes are drawn on the terminal's alternate screen, so that what the person had on
// the terminal before is there again, untouched, when the last of them closes.
constexpr char kEnterAlternateScreen[] = "\x1b[?1049h\x1b[?25l";  // and hide the cursor
constexpr char kLeaveAlternateScreen[] = "\x1b[?25h\x1b[?1049l";
constexpr char kShowCursor[] = "\x1b[?25h";
constexpr char kHideCursor[] = "\x1b[?25l";
constexpr int kMinWidth = 20;
constexpr int kMinHeight = 8;

}  // namespace

std::unique_ptr<TerminalBackEnd> TerminalBackEnd::open_tty() {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<TerminalBackEnd>(fd, fd, true);
}

TerminalBackEnd::TerminalBackEnd(int in_fd, int out_fd, bool owns, int width, int height)
    : in_fd_(in_fd),
      out_fd_(out_fd),
      owns_(owns),
      fallback_size_{static_cast<size_t>(std::max(height, kMinHeight)), static_cast<size_t>(std::max(width, kMinWidth))} {
  former_asker_ = platform_ui::set_passphrase_asker(
      [this](const std::string &what, int attempt, std::string *passphrase) {
        return ask_passphrase(what, attempt, passphrase);
      });
}

TerminalBackEnd::~TerminalBackEnd() {
  platform_ui::set_passphrase_asker(std::move(former_asker_));
  if (raw_depth_ > 0) {
    raw_depth_ = 1;
    leave_raw_mode();
  }
  if (owns_) {
    close(in_fd_);
    if (out_fd_ != in_fd_) close(out_fd_);
  }
}

void TerminalBackEnd::enter_raw_mode() {
  if (raw_depth_++ > 0) return;
  interruptions_ = std::make_unique<terminal::InterruptionScope>();
  put_back_ = false;
  terminal::write_all(out_fd_, kEnterAlternateScreen);
  saved_valid_ = tcgetattr(in_fd_, &saved_) == 0;
  if (!saved_valid_) return;
  // Keys one by one and no echo; ISIG stays, so Ctrl-C is a signal the scope notes.
  struct termios raw = saved_;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(in_fd_, TCSANOW, &raw);
  terminal::InterruptionScope::restore_on_second_interruption(in_fd_, saved_, kLeaveAlternateScreen);
}

void TerminalBackEnd::put_terminal_back() {
  if (put_back_) return;
  put_back_ = true;
  if (saved_valid_) tcsetattr(in_fd_, TCSANOW, &saved_);
  terminal::write_all(out_fd_, kLeaveAlternateScreen);
  last_screen_.clear();
}

void TerminalBackEnd::leave_raw_mode() {
  if (raw_depth_ == 0 || --raw_depth_ > 0) return;
  put_terminal_back();
  interruptions_.reset();
}

bool TerminalBackEnd::interrupted() {
  if (raw_depth_ == 0 || terminal::InterruptionScope::caught() == 0) return false;
  put_terminal_back();
  return true;
}

void TerminalBackEnd::cancel(HWND dialog) {
  if (cancels_sent_++ == 0) {
    const HWND focus = GetFocus();
    PostMessageA(focus != nullptr ? focus : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
  } else {
    EndDialog(dialog, IDCANCEL);
  }
}

ScreenSize TerminalBackEnd::size() const {
  struct winsize ws {};
  if (ioctl(out_fd_, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0)
    return ScreenSize{std::max<size_t>(ws.ws_row, kMinHeight), std::max<size_t>(ws.ws_col, kMinWidth)};
  return fallback_size_;
}

void TerminalBackEnd::show(const std::vector<ScreenRow> &rows, bool with_cursor) {
  const std::string screen = screen_bytes(rows) + (with_cursor ? kShowCursor : kHideCursor);
  if (screen == last_screen_) return;
  last_screen_ = screen;
  terminal::write_all(out_fd_, screen);
}

void TerminalBackEnd::dialog_shown(HWND dialog) {
  dialogs_.push_back(dialog);
  enter_raw_mode();
  cancels_sent_ = 0;
}

void TerminalBackEnd::dialog_closed(HWND dialog) {
  dialogs_.erase(std::remove(dialogs_.begin(), dialogs_.end(), dialog), dialogs_.end());
  if (dialogs_.empty()) views_.clear();
  last_screen_.clear();  // the dialog underneath, if any, is drawn again
  leave_raw_mode();
}

void TerminalBackEnd::idle(HWND dialog, int timeout_ms) {
  if (interrupted()) {
    cancel(dialog);
    return;
  }
  if (terminal::InterruptionScope::take_resize()) last_screen_.clear();
  const bool locked = update_locked_window() == dialog;
  if (!locked) show(dialog_screen(dialog, GetFocus(), size(), &views_), false);
  terminal::KeyPress press;
  // A message for the dialog (another thread's window update) ends the wait too, so that the
  // modal loop delivers it and the next call draws it at once.
  switch (terminal::read_key(in_fd_, &unread_, timeout_ms, &press, message_queue_wake_fd())) {
    case terminal::ReadStatus::kEnded:
      // No more input can come.
      cancel(dialog);
      return;
    case terminal::ReadStatus::kTimedOut:
    case terminal::ReadStatus::kWoken:
      return;  // the next call acts on what woke it
    case terminal::ReadStatus::kKey:
      // What the person has not seen yet cannot be accepted: a locked dialog takes only Escape.
      if (!locked || press.key == terminal::Key::kEscape) act_on_key(dialog, press, &views_);
      return;
  }
}

int TerminalBackEnd::message_box(HWND, const std::string &text, const std::string &caption, UINT type) {
  enter_raw_mode();
  last_screen_.clear();
  const UINT buttons = type & MB_TYPEMASK;
  const bool yes_no = buttons == MB_YESNO || buttons == MB_YESNOCANCEL;
  int answer = 0;
  while (answer == 0) {
    if (interrupted()) {
      answer = escape_box_answer(type);
      break;
    }
    terminal::InterruptionScope::take_resize();
    show(box_screen(shown_caption(caption), text, type, size()), false);
    terminal::KeyPress press;
    const terminal::ReadStatus status = terminal::read_key(in_fd_, &unread_, -1, &press);
    if (status == terminal::ReadStatus::kEnded) answer = escape_box_answer(type);
    if (status != terminal::ReadStatus::kKey) continue;
    if (press.key == terminal::Key::kEnter) answer = default_box_answer(type);
    if (press.key == terminal::Key::kEscape) answer = escape_box_answer(type);
    if (yes_no && press.key == terminal::Key::kCharacter && (press.byte == 'y' || press.byte == 'Y')) answer = IDYES;
    if (yes_no && press.key == terminal::Key::kCharacter && (press.byte == 'n' || press.byte == 'N')) answer = IDNO;
  }
  last_screen_.clear();  // the dialog underneath is drawn again
  leave_raw_mode();
  return answer;
}

std::string TerminalBackEnd::chosen_item() const {
  if (dialogs_.empty()) return "";
  const std::optional<WindowState> list = window_state(find_descendant(dialogs_.back(), "COMBOBOX"));
  if (!list || list->cur_sel < 0 || static_cast<size_t>(list->cur_sel) >= list->items.size()) return "";
  return list->items[static_cast<size_t>(list->cur_sel)].text;
}

bool TerminalBackEnd::ask_passphrase(const std::string &what, int attempt, std::string *passphrase) {
  // The key asked for is the one of the certificate the person chose: name it as the list does,
  // not by the key container's name.
  const std::string certificate = chosen_item();
  enter_raw_mode();
  bool entered = false;
  if (!interrupted()) {
    last_screen_.clear();
    terminal::InterruptionScope::take_resize();
    show(passphrase_screen(what, certificate, platform_ui::keeper_secret_asked(), attempt, size()), true);
    entered = terminal::read_secret_line(in_fd_, passphrase, &unread_) == terminal::LineEnd::kEntered;
    last_screen_.clear();  // the dialog underneath is drawn again
  }
  leave_raw_mode();
  return entered;
}

}  // namespace winsys
