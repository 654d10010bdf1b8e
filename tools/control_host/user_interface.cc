// user_interface.cc - choose_user_interface: the back end the environment asks for, with the browser control's stand-in.
#include "tools/control_host/user_interface.h"

#include "platform/browser/headless_browser.h"
#include "platform/windows/back_end_choice.h"

namespace host {

std::string choose_user_interface(std::string_view program) {
  const std::string error = winsys::choose_back_end_from_environment(program, "the signing dialog");
  // The browser control of both back ends: the stand-in, which shows a page as plain text.
  if (error.empty()) register_headless_browser();
  return error;
}

}  // namespace host
