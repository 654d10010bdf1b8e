// user_interface.cc - choose_user_interface: the terminal back end, or the headless user with its actions from the environment.
#include "tools/quillora/host/user_interface.h"

#include <stdlib.h>

#include "platform/browser/headless_browser.h"
#include "platform/windows/back_end.h"
#include "tools/quillora/host/scripted_user.h"

namespace host {

std::string choose_user_interface() {
  const char *choice = getenv("QUILLORA_UI");
  const std::string ui = choice != nullptr && *choice != '\0' ? choice : "terminal";
  std::string error;
  if (ui == "headless") {
    error = use_scripted_user();
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
