// scripted_user.cc - the headless user of a quillora run: its actions, its failures and its message-box lines.
#include "tools/quillora/host/scripted_user.h"

#include <stdio.h>
#include <stdlib.h>

#include <sstream>

#include "control/resources/resource.h"
#include "platform/codepage/code_page_1252.h"
#include "platform/windows/headless_user.h"

namespace host {

namespace {

// The user prints every message box on stderr, so that a script sees what a person would have read.
class ScriptedUser : public winsys::HeadlessUser {
 public:
  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override {
    const int answer = HeadlessUser::message_box(owner, text, caption, type);
    fprintf(stderr, "quillora: message box: %s\n", message_box_line(caption, type, text).c_str());
    return answer;
  }

  std::string failure;
};

ScriptedUser &scripted_user() {
  static ScriptedUser user;
  return user;
}

// The Nth item of the certificate list in its sorted order, from 0; a list that has no Nth item
// fails the run, and the dialog is cancelled so that nothing is signed with another certificate.
void select_item(HWND dialog, int position) {
  const auto count = static_cast<int>(SendDlgItemMessageA(dialog, IDC_CERT_COMBO, CB_GETCOUNT, 0, 0));
  if (position < count) {
    winsys::HeadlessUser::select_combo(dialog, IDC_CERT_COMBO, position);
    return;
  }
  scripted_user().failure = "select=" + std::to_string(position) + " is out of range: the certificate list has " +
                            std::to_string(count) + (count == 1 ? " entry" : " entries") +
                            ", counted from 0 in its sorted order";
  winsys::HeadlessUser::press_key(dialog, VK_ESCAPE);
}

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
  } else if (action.starts_with("select=") && action.size() > 7 && action.size() <= 7 + 6 &&
             action.find_first_not_of("0123456789", 7) == std::string::npos) {
    const int position = atoi(action.c_str() + 7);
    user.then([position](HWND dialog) { select_item(dialog, position); });
  } else {
    return false;
  }
  return true;
}

// One 1252 text in double quotes, escaped, as UTF-8. The C1 controls that 1252 leaves undefined
// are escaped as the controls they are.
std::string quoted(const std::string &ansi) {
  std::string escaped = "\"";
  for (char c : ansi) {
    switch (c) {
      case '\\': escaped += "\\\\"; break;
      case '"': escaped += "\\\""; break;
      case '\n': escaped += "\\n"; break;
      case '\r': escaped += "\\r"; break;
      case '\t': escaped += "\\t"; break;
      default:
        if (codepage::is_control_1252(c)) {
          char hex[8];
          snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
          escaped += hex;
        } else {
          escaped += c;
        }
    }
  }
  return codepage::utf8_from_ansi(escaped + "\"");
}

}  // namespace

std::string message_box_line(const std::string &caption, unsigned type, const std::string &text) {
  char flags[16];
  snprintf(flags, sizeof flags, "0x%08X", type);
  return "caption=" + quoted(caption) + " flags=" + flags + " text=" + quoted(text);
}

std::string use_scripted_user() {
  ScriptedUser &user = scripted_user();
  const char *actions = getenv("QUILLORA_HEADLESS_ACTIONS");
  std::istringstream list(actions != nullptr ? actions : "");
  for (std::string action; std::getline(list, action, ',');) {
    if (!add_action(user, action))
      return "unknown action '" + action + "' in QUILLORA_HEADLESS_ACTIONS (ok, cancel, enter, escape, close, select=N)";
  }
  winsys::use_headless_back_end(&user);
  return "";
}

std::string scripted_user_failure() { return scripted_user().failure; }

}  // namespace host
