// back_end_choice.cc - QUILLORA_UI and QUILLORA_HEADLESS_ACTIONS: the desktop module, the terminal, or a headless user scripted from the environment.
#include "platform/windows/back_end_choice.h"

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <sstream>

#include "platform/codepage/code_page_1252.h"
#include "platform/windows/headless_user.h"

namespace winsys {

namespace {

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

// One line that says all of a box: caption="..." flags=0xXXXXXXXX text="...".
std::string message_box_line(const std::string &caption, unsigned type, const std::string &text) {
  char flags[16];
  snprintf(flags, sizeof flags, "0x%08X", type);
  return "caption=" + quoted(caption) + " flags=" + flags + " text=" + quoted(text);
}

// The headless user of a program run: it prints every dialog's caption and every message box on
// stderr, both as shown (with the caption decoration), so that a script sees what a person would
// have read, and keeps what went wrong with its actions.
class ScriptedUser : public HeadlessUser {
 public:
  void set_program(std::string_view program) { program_ = program; }

  // The record's "dialog shown: <caption as shown>", as UTF-8.
  void dialog_shown(HWND dialog) override {
    HeadlessUser::dialog_shown(dialog);
    fprintf(stderr, "%s: %s\n", program_.c_str(), codepage::utf8_from_ansi(events().back()).c_str());
  }

  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override {
    const int answer = HeadlessUser::message_box(owner, text, caption, type);
    fprintf(stderr, "%s: message box: %s\n", program_.c_str(),
            message_box_line(shown_caption(caption), type, text).c_str());
    return answer;
  }

  std::string failure;

 private:
  std::string program_;
};

ScriptedUser &scripted_user() {
  static ScriptedUser user;
  return user;
}

// A dialog's OK button takes a click once it is enabled; without one there is nothing to wait for.
bool ok_button_ready(HWND dialog) {
  const HWND ok = GetDlgItem(dialog, IDOK);
  return ok == nullptr || IsWindowEnabled(ok);
}

// Moves the selection of the dialog's list, telling the dialog as a click would. A list that has
// no Nth item fails the run, and the dialog is cancelled so that nothing goes on with another item.
void select_item(HWND dialog, int position) {
  const HWND list = find_descendant(dialog, "COMBOBOX");
  const auto count = list != nullptr ? static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0)) : 0;
  if (position < count) {
    HeadlessUser::select_combo(dialog, GetDlgCtrlID(list), position);
    return;
  }
  scripted_user().failure = "select=" + std::to_string(position) + " is out of range: the dialog's list has " +
                            std::to_string(count) + (count == 1 ? " entry" : " entries") +
                            ", counted from 0 in its shown order";
  HeadlessUser::press_key(dialog, VK_ESCAPE);
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
  } else if (action.starts_with("select=") && action.size() > 7 && action.size() <= 7 + 6 &&
             action.find_first_not_of("0123456789", 7) == std::string::npos) {
    const int position = atoi(action.c_str() + 7);
    user.then([position](HWND dialog) { select_item(dialog, position); });
  } else {
    return false;
  }
  return true;
}

std::string use_scripted_user(std::string_view program) {
  ScriptedUser &user = scripted_user();
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

bool g_desktop_chosen = false;

// The desktop (GTK, WebKitGTK) lives in a module of its own, loaded only when windows are to be
// shown and never unloaded, so that no program links it and none needs it installed to run
// elsewhere. False, with *why set when the module itself is at fault, when it cannot be used.
bool use_desktop(std::string *why) {
  // Without a display named there is nothing to open: the module is not even loaded.
  if (getenv("DISPLAY") == nullptr && getenv("WAYLAND_DISPLAY") == nullptr) return false;
  // The module sits beside this library, in the build tree as where it is installed, so every
  // program and every copy of one (the installed uninstaller) finds the one that fits it.
  Dl_info self{};
  std::string path = QUILLORA_DESKTOP_MODULE_NAME;
  if (dladdr(reinterpret_cast<void *>(&use_desktop), &self) != 0 && self.dli_fname != nullptr) {
    const std::string library = self.dli_fname;
    path = library.substr(0, library.rfind('/') + 1) + path;
  }
  void *module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    *why = dlerror();
    return false;
  }
  const auto open = reinterpret_cast<int (*)()>(dlsym(module, "quillora_use_desktop"));
  if (open == nullptr) *why = path + " has no quillora_use_desktop";
  return open != nullptr && open() != 0;
}

}  // namespace

std::string choose_back_end_from_environment(std::string_view program, std::string_view shown) {
  const char *choice = getenv("QUILLORA_UI");
  const std::string ui = choice != nullptr ? choice : "";
  g_desktop_chosen = false;
  if (ui == "headless") return use_scripted_user(program);
  if (!ui.empty() && ui != "desktop" && ui != "terminal")
    return "unknown QUILLORA_UI '" + ui + "' (desktop, terminal or headless)";
  // Unset: windows when there is a display, else the terminal.
  std::string why;
  if (ui != "terminal" && (g_desktop_chosen = use_desktop(&why))) return "";
  if (ui == "desktop")
    return why.empty()
               ? "cannot open a display to show " + std::string(shown) + " on (is DISPLAY or WAYLAND_DISPLAY set?)"
               : "the desktop is not available: " + why;
  if (use_terminal_back_end()) return "";
  return std::string(ui.empty() ? "there is neither a display nor a terminal" : "there is no terminal") + " to show " +
         std::string(shown) + " on (QUILLORA_UI=headless runs without one)";
}

bool desktop_chosen() { return g_desktop_chosen; }

std::string scripted_user_failure() { return scripted_user().failure; }

}  // namespace winsys
