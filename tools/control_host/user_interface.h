// user_interface.h - which window back end shows the control's dialogs to the person a host program serves.
#pragma once

#include <string>
#include <string_view>

namespace host {

// Chooses the back end from $QUILLORA_UI and $QUILLORA_HEADLESS_ACTIONS
// (winsys::choose_back_end_from_environment; `program` begins the headless user's lines) and
// makes the browser control available on it.
// Returns "" or the reason the choice cannot be made.
std::string choose_user_interface(std::string_view program);

}  // namespace host
