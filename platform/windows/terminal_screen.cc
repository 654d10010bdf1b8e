// terminal_screen.cc - laying out a dialog, a box and the passphrase prompt in a terminal's rows.
#include "platform/windows/terminal_screen.h"

#include <strings.h>

#include <algorithm>
#include <string_view>

#include "platform/codepage/code_page_1252.h"
#include "platform/windows/back_end.h"

namespace winsys {
namespace {

constexpr char kCutMarker = '\xBB';  // 1252 right guillemet: the line goes on past the edge
constexpr char kReverse[] = "\x1b[7m";
constexpr char kNoReverse[] = "\x1b[27m";
constexpr char kEraseLine[] = "\x1b[K";
constexpr char kHome[] = "\x1b[H";
constexpr char kEraseBelow[] = "\x1b[J";
constexpr char kMargin[] = "| ";
constexpr size_t kMarginWidth = 2;
constexpr size_t kMinListRows = 3;

bool is_class(const WindowState &s, const char *name) { return strcasecmp(s.class_name.c_str(), name) == 0; }

// A tab shows as a space; other control characters, and the 1252 bytes the terminal would
// receive as C1 controls, as '?': text from a page must not move the cursor or clear the
// screen under the person reading it.
std::string shown(std::string_view text) {
  std::string out(text);
  for (char &c : out) {
    if (c == '\t')
      c = ' ';
    else if (codepage::is_control_1252(c))
      c = '?';
  }
  return out;
}

// A line that is not what is signed (a caption, a list item), cut at the width with a marker.
std::string cut(std::string_view line, size_t width) {
  if (line.size() <= width) return shown(line);
  return shown(line.substr(0, width - 1)) + kCutMarker;
}

// The lines of a label or a box (CR LF, LF or CR end one), each wrapped at the width, after the
// last space that fits when there is one.
std::vector<std::string> wrapped(std::string_view text, size_t width) {
  std::vector<std::string> rows;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    do {
      size_t take = std::min(line.size(), width);
      if (take < line.size()) {
        const size_t space = line.substr(0, width).rfind(' ');
        if (space != std::string_view::npos && space > 0) take = space + 1;
      }
      rows.push_back(shown(line.substr(0, take)));
      line.remove_prefix(take);
    } while (!line.empty());
    if (end == text.size()) break;
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return rows;
}

ScreenRow marked(std::string text, bool mark) {
  const size_t length = text.size();
  return ScreenRow{std::move(text), 0, mark ? length : 0};
}

// The default button in angle brackets, others in square ones, and a disabled one in
// parentheses, as it takes no key.
std::string button_label(const WindowState &s) {
  if (!s.enabled) return "(" + s.text + ")";
  const bool is_default = (s.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
  return (is_default ? "<" : "[") + s.text + (is_default ? ">" : "]");
}

// How many rows a list gets: all its items, or a window of them and a row that says which.
size_t list_rows(const WindowState &s, ScreenSize size) {
  return std::min(s.items.size(), std::max(kMinListRows, size.rows / 4));
}

void add_list(const WindowState &s, bool focused, size_t rows, size_t width, std::vector<ScreenRow> *out) {
  const size_t count = s.items.size();
  const size_t window = rows < count ? rows - 1 : count;
  const size_t selected = s.cur_sel >= 0 ? static_cast<size_t>(s.cur_sel) : 0;
  const size_t first = std::min(selected > window / 2 ? selected - window / 2 : 0, count - window);
  for (size_t i = first; i < first + window; ++i) {
    const bool is_selected = static_cast<int>(i) == s.cur_sel;
    out->push_back(marked(cut((is_selected ? "> " : "  ") + std::to_string(i + 1) + ". " + s.items[i].text, width),
                          focused && is_selected));
  }
  if (window < count)
    out->push_back(marked("  items " + std::to_string(first + 1) + "-" + std::to_string(first + window) + " of " +
                              std::to_string(count),
                          false));
}

// The keys line, naming the part that has the focus and what each key does there. Enter is named
// only while it presses something: a focused button, or the default one while it is enabled.
std::string keys_help(const DialogPart *focused, bool has_list, bool has_text, const std::string &default_name,
                      bool default_enabled) {
  const PartKind kind = focused != nullptr ? focused->kind : PartKind::kButton;
  const bool on_button = kind == PartKind::kButton && focused != nullptr;
  const std::string enter = on_button ? focused->state.text : default_name;
  std::string help;
  if (kind == PartKind::kTextArea) {
    help = "[text] Up/Down PgUp/PgDn Home/End: scroll";
  } else if (kind == PartKind::kList) {
    help = "[list] Up/Down Home/End 1-9: choose";
    if (has_text) help += "  PgUp/PgDn: scroll";
  } else {
    help = "[" + enter + "]";
    if (has_list) help += " Up/Down: choose ";
    if (has_text) help += std::string(has_list ? "" : " Up/Down") + " PgUp/PgDn: scroll";
  }
  return help + "  Tab: next" + (on_button || default_enabled ? "  Enter: " + enter : "") + "  Esc: cancel";
}

}  // namespace

std::vector<DialogPart> dialog_parts(HWND dialog) {
  std::vector<DialogPart> parts;
  const std::optional<WindowState> dlg = window_state(dialog);
  if (!dlg) return parts;
  for (HWND child : dlg->children) {
    std::optional<WindowState> s = window_state(child);
    if (!s || !s->visible) continue;
    PartKind kind;
    if (is_class(*s, "STATIC")) {
      if (s->text.empty()) continue;
      kind = PartKind::kLabel;
    } else if (is_class(*s, "EDIT")) {
      kind = PartKind::kTextArea;
    } else if (is_class(*s, "COMBOBOX")) {
      kind = PartKind::kList;
    } else if (is_class(*s, "BUTTON")) {
      kind = PartKind::kButton;
    } else if (!s->text.empty()) {
      kind = PartKind::kTextArea;  // a hosted control's window: its text is what it shows
    } else {
      continue;
    }
    parts.push_back(DialogPart{kind, std::move(*s)});
  }
  return parts;
}

bool takes_focus(const DialogPart &part) {
  return part.kind != PartKind::kLabel && (part.kind != PartKind::kButton || part.state.enabled);
}

std::vector<ScreenRow> dialog_screen(HWND dialog, HWND focus, ScreenSize size, std::map<HWND, TextView> *views) {
  const std::optional<WindowState> dlg = window_state(dialog);
  if (!dlg) return {};
  // The last column stays free: a full row would leave the cursor waiting to wrap.
  const size_t width = std::max<size_t>(size.columns, kMarginWidth + 2) - 1;
  const std::vector<DialogPart> parts = dialog_parts(dialog);
  const DialogPart *focused = nullptr;
  std::string default_name = "OK";
  bool default_enabled = true, has_list = false, has_buttons = false;
  size_t areas = 0;
  for (const DialogPart &part : parts) {
    if (part.state.hwnd == focus && takes_focus(part)) focused = &part;
    if (part.kind == PartKind::kButton && (part.state.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
      default_name = part.state.text;
      default_enabled = part.state.enabled;
    }
    has_list |= part.kind == PartKind::kList;
    has_buttons |= part.kind == PartKind::kButton;
    areas += part.kind == PartKind::kTextArea;
  }
  const std::vector<std::string> help =
      wrapped(keys_help(focused, has_list, areas > 0, default_name, default_enabled), width);

  // Every part but the text areas takes the rows it needs; the text areas share the rest.
  size_t fixed = 1 + help.size() + (has_buttons ? 1 : 0);
  for (const DialogPart &part : parts) {
    if (part.kind == PartKind::kLabel) fixed += wrapped(part.state.text, width).size();
    if (part.kind == PartKind::kTextArea) ++fixed;  // where the view is
    if (part.kind == PartKind::kList) fixed += list_rows(part.state, size);
  }
  const size_t area_rows = areas == 0 ? 0 : std::max<size_t>(1, (size.rows > fixed ? size.rows - fixed : 0) / areas);

  std::vector<ScreenRow> rows = {marked(cut("== " + shown_caption(dlg->text) + " ==", width), false)};
  ScreenRow buttons;
  size_t buttons_at = 0;
  for (const DialogPart &part : parts) {
    const bool is_focused = &part == focused;
    switch (part.kind) {
      case PartKind::kLabel:
        for (std::string &line : wrapped(part.state.text, width)) rows.push_back(marked(std::move(line), false));
        break;
      case PartKind::kTextArea: {
        TextView &view = (*views)[part.state.hwnd];
        view.show(part.state.text, width - kMarginWidth, area_rows, part.state.first_line);
        for (const std::string &line : view.rows()) rows.push_back(marked(kMargin + shown(line), false));
        // A text that does not fill its rows leaves them to nothing: the rest moves up.
        rows.push_back(marked(cut("  " + view.where(), width), is_focused));
        break;
      }
      case PartKind::kList:
        add_list(part.state, is_focused, list_rows(part.state, size), width, &rows);
        break;
      case PartKind::kButton: {
        // All buttons share one row, where the first of them stands.
        if (buttons.text.empty()) buttons_at = rows.size();
        const std::string label = button_label(part.state);
        if (!buttons.text.empty()) buttons.text += "  ";
        if (is_focused) buttons.mark_begin = buttons.text.size();
        buttons.text += label;
        if (is_focused) buttons.mark_end = buttons.text.size();
        break;
      }
    }
  }
  if (has_buttons) {
    buttons.text = cut(buttons.text, width);
    buttons.mark_begin = std::min(buttons.mark_begin, buttons.text.size());
    buttons.mark_end = std::min(buttons.mark_end, buttons.text.size());
    rows.insert(rows.begin() + static_cast<ptrdiff_t>(buttons_at), std::move(buttons));
  }
  for (const std::string &line : help) rows.push_back(marked(line, false));
  if (rows.size() > size.rows) rows.resize(size.rows);
  return rows;
}

std::vector<ScreenRow> box_screen(const std::string &caption, const std::string &text, UINT type, ScreenSize size) {
  const size_t width = std::max<size_t>(size.columns, 4) - 1;
  std::vector<ScreenRow> rows = {marked(cut("== " + caption + " ==", width), false)};
  std::vector<std::string> lines = wrapped(text, width);
  // The caption, a blank row and the buttons take three rows; a longer text is cut.
  if (size.rows > 3 && lines.size() > size.rows - 3) lines.resize(size.rows - 3);
  for (std::string &line : lines) rows.push_back(marked(std::move(line), false));
  std::string buttons;
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = "[OK] [Cancel]"; break;
    case MB_YESNO: buttons = "[Yes] [No]"; break;
    case MB_YESNOCANCEL: buttons = "[Yes] [No] [Cancel]"; break;
    default: buttons = "[OK]"; break;
  }
  rows.push_back(marked("", false));
  rows.push_back(marked(buttons, false));
  return rows;
}

std::vector<ScreenRow> passphrase_screen(const std::string &what, const std::string &certificate,
                                         const platform_ui::KeeperSecret *keeper, int attempt, ScreenSize size) {
  const size_t width = std::max<size_t>(size.columns, 4) - 1;
  const std::string secret = keeper != nullptr ? keeper->secret : "passphrase";
  const std::string key = certificate.empty() ? (keeper != nullptr ? "The key" : "The key " + what)
                                              : "The private key of the certificate\n  " + certificate + "\n";
  const std::string text = key + (certificate.empty() ? " " : "") +
                           (keeper != nullptr ? "is on " + keeper->keeper + "; give its " + secret + "."
                                              : "is protected by a passphrase.");
  std::vector<ScreenRow> rows = {marked("== " + platform_ui::capitalized(secret) + " ==", false)};
  for (std::string &line : wrapped(text, width)) rows.push_back(marked(std::move(line), false));
  rows.push_back(marked("", false));
  if (attempt > 1) rows.push_back(marked("Wrong " + secret + "; try again.", false));
  rows.push_back(marked("Enter: unlock the key; Escape: cancel", false));
  rows.push_back(marked(platform_ui::capitalized(secret) + ": ", false));
  // The prompt row stays, whatever a small terminal has to lose above it.
  if (rows.size() > size.rows && size.rows > 0) rows.erase(rows.begin(), rows.end() - static_cast<ptrdiff_t>(size.rows));
  return rows;
}

std::string screen_bytes(const std::vector<ScreenRow> &rows) {
  std::string ansi = kHome;
  for (size_t i = 0; i < rows.size(); ++i) {
    const ScreenRow &row = rows[i];
    if (i > 0) ansi += "\r\n";
    if (row.mark_end > row.mark_begin) {
      ansi += row.text.substr(0, row.mark_begin) + kReverse + row.text.substr(row.mark_begin, row.mark_end - row.mark_begin) +
              kNoReverse + row.text.substr(row.mark_end);
    } else {
      ansi += row.text;
    }
    ansi += kEraseLine;
  }
  return codepage::utf8_from_ansi(ansi + kEraseBelow);
}

}  // namespace winsys
