// user_interface.cc - choose_user_interface: the terminal back end, or the headless user with its actions from the environment.
#include "tools/control_host/user_interface.h"

#include <stdio.h>
#include <stdlib.h>

#include <sstream>

#include "control/resources/resource.h"
#include "platform/browser/headless_browser.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"
#include "platform/windows/headless_user.h"

namespace host {

namespace {

std::string g_program;

void print_seen(const char *what, const std::string &text_1252) {
  const std::string shown = codepage::utf8_from_utf16(codepage::utf16_from_ansi(text_1252));
  fprintf(stderr, "%s: %s %s\n", g_program.c_str(), what, shown.c_str());
}

// The headless user of a host program's run: it acts on the dialog as $QUILLORA_HEADLESS_ACTIONS
// says and prints every caption and box on stderr, so that a script sees what a person would have read.
class ScriptedUser : public winsys::HeadlessUser {
 public:
  void dialog_shown(HWND dialog) override {
    HeadlessUser::dialog_shown(dialog);
    char caption[512] = {};
    GetWindowTextA(dialog, caption, sizeof caption);
    print_seen("dialog shown:", winsys::shown_caption(caption));
  }
  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override {
    const int answer = HeadlessUser::message_box(owner, text, caption, type);
    print_seen("message box", winsys::shown_caption(caption) + ": " + text);
    return answer;
  }
};

// One action of the list: "ok", "cancel", "enter", "escape", "close" or "select=N" (the Nth item
// of the certificate list, in its sorted order, from 0).
bool add_action(ScriptedUser &user, const std::string &action) {
  using winsys::HeadlessUser;
  if (action == "ok") {
    user.then([](HWND dialog) { HeadlessUser::click(dialog, IDOK); });
  } else if (action == "cancel") {
    user.then([](HWND dialog) { HeadlessUser::click(dialog, IDCANCEL); });
  } else if (action == "enter") {
    user.then([](HWND dialog) { HeadlessUser::press_key(dialog, VK_RETURN); });
  } else if (action == "escape") {
    user.then([](HWND dialog) { HeadlessUser::press_key(dialog, VK_ESCAPE); });
  } else if (action == "close") {
    user.then([](HWND dialog) { HeadlessUser::close_box(dialog); });
  } else if (action.starts_with("select=") && action.size() > 7 &&
             action.find_first_not_of("0123456789", 7) == std::string::npos) {
    const int position = atoi(action.c_str() + 7);
    user.then([position](HWND dialog) { HeadlessUser::select_combo(dialog, IDC_CERT_COMBO, position); });
  } else {
    return false;
  }
  return true;
}

std::string use_headless_user() {
  static ScriptedUser user;
  const char *actions = getenv("QUILLORA_HEADLESS_ACTIONS");
  std::istringstream list(actions != nullptr ? actions : "");
  for (std::string action; std::getline(list, action, ',');) {
    if (!add_action(user, action))
      return "unknown action '" + action + "' in QUILLORA_HEADLESS_ACTIONS (ok, cancel, enter, escape, close, select=N)";
  }
  winsys::use_headless_back_end(&user);
  return "";
}

}  // namespace

std::string choose_user_interface(std::string_view program) {
  g_program = program;
  const char *choice = getenv("QUILLORA_UI");
  const std::string ui = choice != nullptr && *choice != '\0' ? choice : "terminal";
  std::string error;
  if (ui == "headless") {
    error = use_headless_user();
  } else if (ui == "terminal") {
    if (!winsys::use_terminal_back_end())
      error = "there is no terminal to show the signing dialog on (QUILLORA_UI=headless signs without one)";
  } else {
    error = "unknown QUILLORA_UI '" + ui + "' (terminal or headless)";
  }
  // The browser control of both back ends: the stand-in, which shows a page as plain text.
  if (error.empty()) register_headless_browser();
  return error;
}

}  // namespace host
