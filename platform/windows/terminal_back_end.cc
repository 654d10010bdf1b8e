// terminal_back_end.cc - drawing dialogs and boxes as text and turning terminal keys into window messages.
#include "platform/windows/terminal_back_end.h"

#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"
#include "platform/windows/window_state.h"

namespace winsys {
namespace {

constexpr char kClear[] = "\x1b[H\x1b[2J";
// Dialogs and boxes are drawn on the terminal's alternate screen, so that what the person had on
// the terminal before is there again, untouched, when the last of them closes.
constexpr char kEnterAlternateScreen[] = "\x1b[?1049h";
constexpr char kLeaveAlternateScreen[] = "\x1b[?1049l";
constexpr char kCutMarker[] = "\xBB";  // 1252 right guillemet: the line goes on past the edge

std::string utf8_from_ansi(const std::string &ansi) {
  return codepage::utf8_from_utf16(codepage::utf16_from_ansi(ansi));
}

// One 1252 line fitted to `width` characters, cut with the marker when longer. A tab shows as
// a space; other control characters, and the 1252 bytes the terminal would receive as C1
// controls, as '?': text from a page must not move the cursor or clear the screen under the
// person reading it.
std::string fit(const std::string &line, size_t width) {
  std::string shown = line.size() <= width ? line : line.substr(0, width - 1) + kCutMarker;
  for (char &c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\t')
      c = ' ';
    else if (byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D)
      c = '?';
  }
  return shown;
}

// A text box's lines, CR LF ending each, from its first visible line and column on, each behind
// a margin.
std::string panel(const std::string &text, int first_line, int first_column, size_t width) {
  std::string lines;
  size_t start = 0;
  for (int line = 0; start <= text.size(); ++line) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (line >= first_line) {
      const std::string_view shown(text.data() + start, end - start);
      const size_t column = std::min(shown.size(), static_cast<size_t>(first_column));
      lines += "| " + fit(std::string(shown.substr(column)), width - 2) + "\n";
    }
    start = end + 2;
  }
  return lines;
}

bool is_class(const WindowState &s, const char *name) { return strcasecmp(s.class_name.c_str(), name) == 0; }

std::string buttons_of_box(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return "[OK] [Cancel]";
    case MB_YESNO: return "[Yes] [No]";
    case MB_YESNOCANCEL: return "[Yes] [No] [Cancel]";
    default: return "[OK]";
  }
}

// A button as drawn: the default one in angle brackets, others in square ones, and a disabled
// one in parentheses, as it takes no key and no click.
std::string button_label(const WindowState &button) {
  if (!button.enabled) return "(" + button.text + ")";
  const bool is_default = (button.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  return (is_default ? "<" : "[") + button.text + (is_default ? ">" : "]");
}

// The keys that do something in the dialog now: choosing only with a list, Enter only while the
// default button takes it.
std::string key_hints(bool has_list, const std::string *enter_button) {
  std::string hints = has_list ? "Up/Down or a number: choose; " : "";
  if (enter_button != nullptr) hints += "Enter: " + *enter_button + "; ";
  return hints + "Escape: cancel";
}

void post_key(HWND dialog, int vk) {
  const HWND focus = GetFocus();
  PostMessageA(focus != nullptr ? focus : dialog, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
}

// Moves the selection of the dialog's first combo box, telling the dialog as a click would.
void select_item(HWND dialog, int position) {
  const HWND combo = find_descendant(dialog, "COMBOBOX");
  if (combo == nullptr) return;
  const auto count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  if (position < 0 || position >= count) return;
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
  SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

}  // namespace

std::unique_ptr<TerminalBackEnd> TerminalBackEnd::open_tty() {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<TerminalBackEnd>(fd, fd, true);
}

TerminalBackEnd::TerminalBackEnd(int in_fd, int out_fd, bool owns, int width)
    : in_fd_(in_fd), out_fd_(out_fd), owns_(owns), width_(width < 20 ? 20 : width) {}

TerminalBackEnd::~TerminalBackEnd() {
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
  write_text(kEnterAlternateScreen);
  saved_valid_ = tcgetattr(in_fd_, &saved_) == 0;
  if (!saved_valid_) return;
  struct termios raw = saved_;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(in_fd_, TCSANOW, &raw);
}

void TerminalBackEnd::leave_raw_mode() {
  if (raw_depth_ == 0 || --raw_depth_ > 0) return;
  if (saved_valid_) tcsetattr(in_fd_, TCSANOW, &saved_);
  write_text(kLeaveAlternateScreen);
}

void TerminalBackEnd::write_text(const std::string &utf8) {
  for (size_t done = 0; done < utf8.size();) {
    const ssize_t n = write(out_fd_, utf8.data() + done, utf8.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string TerminalBackEnd::read_keys(int timeout_ms, bool wake_on_queue, bool *ended) {
  *ended = false;
  // The queue's descriptor last: with wake_on_queue false, poll looks at the terminal alone.
  pollfd p[2] = {{in_fd_, POLLIN, 0}, {wake_on_queue ? message_queue_wake_fd() : -1, POLLIN, 0}};
  if (poll(p, wake_on_queue ? 2 : 1, timeout_ms) <= 0 || p[0].revents == 0) return "";
  char buffer[64];
  const ssize_t n = read(in_fd_, buffer, sizeof buffer);
  if (n <= 0) {
    *ended = true;
    return "";
  }
  return std::string(buffer, static_cast<size_t>(n));
}

void TerminalBackEnd::draw(HWND dialog) {
  const std::optional<WindowState> dlg = window_state(dialog);
  if (!dlg) return;
  const size_t width = static_cast<size_t>(width_);
  std::string screen = "== " + dlg->text + " ==\n";
  std::string buttons, default_name = "OK";
  bool has_list = false, enter_works = true;
  for (HWND child : dlg->children) {
    const std::optional<WindowState> c = window_state(child);
    if (!c || !c->visible) continue;
    if (is_class(*c, "STATIC")) {
      if (!c->text.empty()) screen += fit(c->text, width) + "\n";
    } else if (is_class(*c, "EDIT")) {
      screen += panel(c->text, c->first_line, c->first_column, width);
    } else if (is_class(*c, "COMBOBOX")) {
      has_list = true;
      for (size_t i = 0; i < c->items.size(); ++i) {
        const std::string mark = static_cast<int>(i) == c->cur_sel ? "> " : "  ";
        screen += fit(mark + std::to_string(i + 1) + ". " + c->items[i].text, width) + "\n";
      }
    } else if (is_class(*c, "BUTTON")) {
      buttons += button_label(*c) + "  ";
      if ((c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
        default_name = c->text;
        enter_works = c->enabled;
      }
    } else if (!c->text.empty()) {
      // A window the terminal knows nothing of, such as a hosted control's: its text is what
      // it shows.
      screen += panel(c->text, 0, 0, width);
    }
  }
  screen += buttons + "\n" + key_hints(has_list, enter_works ? &default_name : nullptr) + "\n";
  if (screen == last_screen_) return;
  last_screen_ = screen;
  write_text(kClear + utf8_from_ansi(screen));
}

void TerminalBackEnd::dialog_shown(HWND) {
  enter_raw_mode();
  ends_seen_ = 0;
}

void TerminalBackEnd::dialog_closed(HWND) {
  write_text(kClear);
  last_screen_.clear();
  leave_raw_mode();
}

void TerminalBackEnd::idle(HWND dialog, int timeout_ms) {
  if (update_locked_window() != dialog) draw(dialog);
  bool ended;
  // A message for the dialog (a worker's update) ends the wait, so that it is shown at once.
  const std::string keys = read_keys(timeout_ms, true, &ended);
  if (ended) {
    // No more input can come: cancel, and end the dialog if it ignored that.
    if (ends_seen_++ == 0) {
      post_key(dialog, VK_ESCAPE);
    } else {
      EndDialog(dialog, IDCANCEL);
    }
    return;
  }
  for (size_t i = 0; i < keys.size(); ++i) {
    const char c = keys[i];
    if (c == '\r' || c == '\n') {
      post_key(dialog, VK_RETURN);
    } else if (c == '\x1b' && i + 2 < keys.size() && keys[i + 1] == '[') {
      const HWND combo = find_descendant(dialog, "COMBOBOX");
      const int current = combo != nullptr ? static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0)) : -1;
      if (keys[i + 2] == 'A') select_item(dialog, current - 1);
      if (keys[i + 2] == 'B') select_item(dialog, current + 1);
      i += 2;
    } else if (c == '\x1b') {
      post_key(dialog, VK_ESCAPE);
    } else if (c >= '1' && c <= '9') {
      select_item(dialog, c - '1');
    }
  }
}

int TerminalBackEnd::message_box(HWND, const std::string &text, const std::string &caption, UINT type) {
  enter_raw_mode();
  last_screen_.clear();
  write_text(kClear + utf8_from_ansi("== " + caption + " ==\n" + text + "\n\n" + buttons_of_box(type) + "\n"));
  int answer = 0;
  while (answer == 0) {
    bool ended;
    const std::string keys = read_keys(-1, false, &ended);
    if (ended) answer = escape_box_answer(type);
    for (char c : keys) {
      if (c == '\r' || c == '\n') answer = default_box_answer(type);
      if (c == '\x1b') answer = escape_box_answer(type);
      const UINT buttons = type & MB_TYPEMASK;
      if ((buttons == MB_YESNO || buttons == MB_YESNOCANCEL) && (c == 'y' || c == 'Y')) answer = IDYES;
      if ((buttons == MB_YESNO || buttons == MB_YESNOCANCEL) && (c == 'n' || c == 'N')) answer = IDNO;
      if (answer != 0) break;
    }
  }
  write_text(kClear);
  last_screen_.clear();  // the dialog underneath is drawn again
  leave_raw_mode();
  return answer;
}

}  // namespace winsys
