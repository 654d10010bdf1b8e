// user_interface.cc - choose_user_interface: the back end the environment asks for, with a browser control on it.
#include "tools/control_host/user_interface.h"

#include "platform/browser/headless_browser.h"
#include "platform/windows/back_end_choice.h"

namespace host {

std::string choose_user_interface(std::string_view program) {
  const std::string error = winsys::choose_back_end_from_environment(program, "the signing dialog");
  // On the desktop its module has put the HTML preview on WebKitGTK; elsewhere the stand-in shows
  // the page's text.
  if (error.empty() && !winsys::desktop_chosen()) register_headless_browser();
  return error;
}

}  // namespace host
