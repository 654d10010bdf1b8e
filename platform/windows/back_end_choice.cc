// back_end_choice.cc - QUILLORA_UI and QUILLORA_HEADLESS_ACTIONS: the terminal, or a headless user scripted from the environment.
#include "platform/windows/back_end_choice.h"

#include <stdio.h>
#include <stdlib.h>

#include <sstream>

#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"
#include "platform/windows/headless_user.h"

namespace winsys {

namespace {

// The headless user of a program run: it prints every message box on stderr, so that a script
// sees what a person would have read.
class ScriptedUser : public HeadlessUser {
 public:
  void set_program(std::string_view program) { program_ = program; }

  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override {
    const int answer = HeadlessUser::message_box(owner, text, caption, type);
    const std::string shown = codepage::utf8_from_utf16(codepage::utf16_from_ansi(caption + ": " + text));
    fprintf(stderr, "%s: message box %s\n", program_.c_str(), shown.c_str());
    return answer;
  }

 private:
  std::string program_;
};

// A dialog's OK button takes a click once it is enabled; without one there is nothing to wait for.
bool ok_button_ready(HWND dialog) {
  const HWND ok = GetDlgItem(dialog, IDOK);
  return ok == nullptr || IsWindowEnabled(ok);
}

// Moves the selection of the dialog's list, telling the dialog as a click would.
void select_item(HWND dialog, int position) {
  const HWND list = find_descendant(dialog, "COMBOBOX");
  if (list != nullptr) HeadlessUser::select_combo(dialog, GetDlgCtrlID(list), position);
}

bool add_action(ScriptedUser &user, const std::string &action) {
  if (action == "ok") {
    user.then_when(ok_button_ready, [](HWND dialog) { HeadlessUser::click(dialog, IDOK); });
  } else if (action == "enter") {
    user.then_when(ok_button_ready, [](HWND dialog) { HeadlessUser::press_key(dialog, VK_RETURN); });
  } else if (action == "cancel") {
    user.then([](HWND dialog) { HeadlessUser::click(dialog, IDCANCEL); });
  } else if (action == "escape") {
    user.then([](HWND dialog) { HeadlessUser::press_key(dialog, VK_ESCAPE); });
  } else if (action == "close") {
    user.then([](HWND dialog) { HeadlessUser::close_box(dialog); });
  } else if (action == "yes" || action == "no") {
    user.answer_next_box(action == "yes" ? IDYES : IDNO);
  } else if (action.starts_with("select=") && action.size() > 7 &&
             action.find_first_not_of("0123456789", 7) == std::string::npos) {
    const int position = atoi(action.c_str() + 7);
    user.then([position](HWND dialog) { select_item(dialog, position); });
  } else {
    return false;
  }
  return true;
}

std::string use_scripted_user(std::string_view program) {
  static ScriptedUser user;
  user.set_program(program);
  const char *actions = getenv("QUILLORA_HEADLESS_ACTIONS");
  std::istringstream list(actions != nullptr ? actions : "");
  for (std::string action; std::getline(list, action, ',');) {
    if (!add_action(user, action))
      return "unknown action '" + action +
             "' in QUILLORA_HEADLESS_ACTIONS (ok, enter, cancel, escape, close, select=N, yes, no)";
  }
  use_headless_back_end(&user);
  return "";
}

}  // namespace

std::string choose_back_end_from_environment(std::string_view program, std::string_view shown) {
  const char *choice = getenv("QUILLORA_UI");
  const std::string ui = choice != nullptr && *choice != '\0' ? choice : "terminal";
  if (ui == "headless") return use_scripted_user(program);
  if (ui == "terminal") {
    if (use_terminal_back_end()) return "";
    return "there is no terminal to show " + std::string(shown) + " on (QUILLORA_UI=headless runs without one)";
  }
  return "unknown QUILLORA_UI '" + ui + "' (terminal or headless)";
}

}  // namespace winsys
