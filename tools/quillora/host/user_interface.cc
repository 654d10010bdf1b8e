// user_interface.cc - choose_user_interface: the desktop, the terminal, or the headless user with its actions from the environment.
#include "tools/quillora/host/user_interface.h"

#include <dlfcn.h>
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

// The headless user of a quillora run: it acts on the dialog as $QUILLORA_HEADLESS_ACTIONS says
// and prints every message box on stderr, so that a script sees what a person would have read.
class ScriptedUser : public winsys::HeadlessUser {
 public:
  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override {
    const int answer = HeadlessUser::message_box(owner, text, caption, type);
    const std::string shown = codepage::utf8_from_utf16(codepage::utf16_from_ansi(caption + ": " + text));
    fprintf(stderr, "quillora: message box %s\n", shown.c_str());
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

// The desktop lives in a module of its own (GTK and WebKitGTK are large), loaded here and never
// unloaded. False, with *why set when the module itself is at fault, when it cannot be used.
bool use_desktop(std::string *why) {
  // Without a display named, there is nothing to open: the module is not even loaded.
  if (getenv("DISPLAY") == nullptr && getenv("WAYLAND_DISPLAY") == nullptr) return false;
  void *module = dlopen(QUILLORA_DESKTOP_MODULE, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    *why = dlerror();
    return false;
  }
  const auto open = reinterpret_cast<int (*)()>(dlsym(module, "quillora_use_desktop"));
  if (open == nullptr) *why = QUILLORA_DESKTOP_MODULE " has no quillora_use_desktop";
  return open != nullptr && open() != 0;
}

}  // namespace

std::string choose_user_interface() {
  const char *choice = getenv("QUILLORA_UI");
  const std::string ui = choice != nullptr ? choice : "";
  std::string error, why;
  bool desktop = false;
  if (ui.empty()) {
    // Windows when there is a display, else the terminal.
    desktop = use_desktop(&why);
    if (!desktop && !winsys::use_terminal_back_end())
      error = "there is neither a display nor a terminal to show the signing dialog on (QUILLORA_UI=headless signs "
              "without one)";
  } else if (ui == "desktop") {
    desktop = use_desktop(&why);
    if (!desktop)
      error = why.empty() ? "cannot open the display for the desktop dialog (is DISPLAY or WAYLAND_DISPLAY set?)"
                          : "the desktop is not available: " + why;
  } else if (ui == "headless") {
    error = use_headless_user();
  } else if (ui == "terminal") {
    if (!winsys::use_terminal_back_end())
      error = "there is no terminal to show the signing dialog on (QUILLORA_UI=headless signs without one)";
  } else {
    error = "unknown QUILLORA_UI '" + ui + "' (desktop, terminal or headless)";
  }
  if (!error.empty()) return error;
  // On the desktop its module has put the HTML preview on WebKitGTK; elsewhere the preview shows
  // the page's text.
  if (!desktop) register_headless_browser();
  return "";
}

}  // namespace host
