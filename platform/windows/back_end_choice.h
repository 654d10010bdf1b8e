// back_end_choice.h - the back end a program's person meets, chosen from the environment: the terminal, or the scripted headless user.
#pragma once

#include <string>
#include <string_view>

namespace winsys {

// Chooses as $QUILLORA_UI says: "terminal" (the default; dialogs and boxes drawn on the
// controlling terminal) or "headless" (no person: each dialog is acted on by the comma-separated
// actions of $QUILLORA_HEADLESS_ACTIONS, in order, and each dialog and message box is printed on
// stderr as one line for scripts to parse: "<program>: dialog shown: <caption>" and "<program>:
// message box: caption="..." flags=0xXXXXXXXX text="..."", the quoted texts with \\, \", \n, \r,
// \t and \xHH (other control characters) escaped; all of it UTF-8, each caption as shown, with
// the caption decoration).
//
// Actions: "ok" and "enter" (once the OK button, if there is one, is enabled: the person waits
// for it), "cancel", "escape", "close" (the close box), "select=N" (the Nth item, from 0, of the
// dialog's list in its shown order), and "yes" or "no", the answer to the next question box
// (boxes without one get their first button).
//
// `shown` names what the terminal would show, for the error when there is no terminal.
// Returns "" or the reason no back end can be chosen.
std::string choose_back_end_from_environment(std::string_view program, std::string_view shown);

// What went wrong while the headless actions ran (a select=N beyond the list, after which the
// dialog was cancelled by Escape), or "". A run whose actions failed means nothing.
std::string scripted_user_failure();

}  // namespace winsys
