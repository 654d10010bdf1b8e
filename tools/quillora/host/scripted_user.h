// scripted_user.h - the headless user of a quillora run: dialog actions from the environment, message boxes as lines on stderr.
#pragma once

#include <string>

namespace host {

// Makes the headless user the back end: it acts on the dialog as the comma-separated actions of
// $QUILLORA_HEADLESS_ACTIONS say ("ok", "cancel", "enter", "escape", "close", "select=N") and
// writes each message box as one line on stderr (message_box_line). "" or the usage error.
std::string use_scripted_user();

// What went wrong while the actions ran (an out-of-range select=N), or "". A request whose
// actions failed was cancelled and its result means nothing.
std::string scripted_user_failure();

// One line that says all of a box, for scripts to parse: caption="..." flags=0xXXXXXXXX text="..."
// with the texts in UTF-8 and \\, \", \n, \r, \t and \xHH (other control characters) escaped.
std::string message_box_line(const std::string &caption, unsigned type, const std::string &text);

}  // namespace host
