// user_interface.h - which window back end shows the control's dialogs to the person running quillora.
#pragma once

#include <string>

namespace host {

// Chooses the back end from $QUILLORA_UI: "desktop" (real windows on the display, the HTML
// preview rendered by WebKitGTK), "terminal" (the dialog drawn on the controlling terminal) or
// "headless" (no person: the dialog is acted on by the actions of $QUILLORA_HEADLESS_ACTIONS,
// and every message box is printed on stderr and answered with OK). Unset or empty: the desktop
// when a display can be opened, else the terminal. Returns "" or the reason the choice cannot
// be made.
std::string choose_user_interface();

}  // namespace host
