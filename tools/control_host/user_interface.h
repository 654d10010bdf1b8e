// user_interface.h - which window back end shows the control's dialogs to the person a host program serves.
#pragma once

#include <string>
#include <string_view>

namespace host {

// Chooses the back end from $QUILLORA_UI: "terminal" (the default; the dialog drawn on the
// controlling terminal) or "headless" (no person: the dialog is acted on by the actions of
// $QUILLORA_HEADLESS_ACTIONS; every dialog's caption as shown and every message box is printed on
// stderr, behind "<program>: ", and boxes are answered with OK).
// Returns "" or the reason the choice cannot be made.
std::string choose_user_interface(std::string_view program);

}  // namespace host
