// back_end.cc - the process-wide back end choice, the default metrics and the back end that shows nothing.
#include "platform/windows/back_end.h"

#include <cmath>
#include <memory>
#include <mutex>

#include "platform/windows/headless_user.h"
#include "platform/windows/terminal_back_end.h"

namespace winsys {
namespace {

// Used when no terminal can be opened: no dialog can be created, no box can be shown.
class NoUserBackEnd : public BackEnd {
 public:
  bool can_show_dialogs() override { return false; }
  void dialog_shown(HWND) override {}
  void dialog_closed(HWND) override {}
  void idle(HWND dialog, int) override { EndDialog(dialog, IDCANCEL); }
  int message_box(HWND, const std::string &, const std::string &, UINT) override { return 0; }
};

std::mutex g_choice_mutex;
BackEnd *g_current = nullptr;
std::unique_ptr<BackEnd> g_owned;  // the terminal or the no-user back end, when chosen
std::string g_caption_decoration;  // guarded by g_choice_mutex

// With g_choice_mutex held.
bool choose_terminal() {
  std::unique_ptr<TerminalBackEnd> terminal = TerminalBackEnd::open_tty();
  if (terminal != nullptr) {
    g_owned = std::move(terminal);
    g_current = g_owned.get();
    return true;
  }
  g_owned = std::make_unique<NoUserBackEnd>();
  g_current = g_owned.get();
  return false;
}

}  // namespace

int BackEnd::system_metric(int index) {
  constexpr int kScreenWidth = 1280, kScreenHeight = 1024, kFrame = 4;
  switch (index) {
    case SM_CXSCREEN: return kScreenWidth;
    case SM_CYSCREEN: return kScreenHeight;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL: return 17;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    // A maximised window's frame hangs off the work area, which is the whole screen here.
    case SM_CXMAXIMIZED: return kScreenWidth + 2 * kFrame;
    case SM_CYMAXIMIZED: return kScreenHeight + 2 * kFrame;
    default: return 0;
  }
}

POINT BackEnd::dialog_base_units(const char *, int points, int, bool) {
  return {static_cast<LONG>(std::lround(6.0 * points / 8)), static_cast<LONG>(std::lround(13.0 * points / 8))};
}

BackEnd &back_end() {
  std::lock_guard<std::mutex> lock(g_choice_mutex);
  if (g_current == nullptr) choose_terminal();
  return *g_current;
}

void use_back_end(BackEnd *chosen) {
  std::lock_guard<std::mutex> lock(g_choice_mutex);
  g_owned.reset();
  g_current = chosen;
}

void use_headless_back_end(HeadlessUser *user) { use_back_end(user); }

bool use_terminal_back_end() {
  std::lock_guard<std::mutex> lock(g_choice_mutex);
  return choose_terminal();
}

void notify_cursor_changed(HCURSOR cursor) {
  std::lock_guard<std::mutex> lock(g_choice_mutex);
  if (g_current != nullptr) g_current->cursor_changed(cursor);
}

void set_caption_decoration(std::string decoration) {
  std::lock_guard<std::mutex> lock(g_choice_mutex);
  g_caption_decoration = std::move(decoration);
}

std::string shown_caption(const std::string &caption) {
  std::lock_guard<std::mutex> lock(g_choice_mutex);
  return g_caption_decoration.empty() ? caption : caption + " \x97 " + g_caption_decoration;
}

int default_box_answer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL: return IDYES;
    default: return IDOK;
  }
}

int escape_box_answer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK: return IDOK;
    case MB_YESNO: return IDNO;
    default: return IDCANCEL;
  }
}

}  // namespace winsys
