// back_end_choice.h - the back end a program's person meets, chosen from the environment: the desktop, the terminal, or the scripted headless user.
#pragma once

#include <string>
#include <string_view>

namespace winsys {

// Chooses as $QUILLORA_UI says: "desktop" (real windows on the display that DISPLAY or
// WAYLAND_DISPLAY names, from the desktop module, which also puts the WebBrowser control on a
// real browser engine and asks passphrases in a dialog), "terminal" (dialogs and boxes drawn on
// the controlling terminal) or "headless" (no person: each dialog is acted on by the
// comma-separated actions of $QUILLORA_HEADLESS_ACTIONS, in order, and each dialog and message box is printed on
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
// Unset or empty: the desktop when its display opens, else the terminal. The calling thread
// becomes the desktop's toolkit thread: the dialogs must be run on it.
//
// `shown` names what would be shown, for the error when there is nowhere to show it.
// Returns "" or the reason no back end can be chosen.
std::string choose_back_end_from_environment(std::string_view program, std::string_view shown);

// Whether the last choice fell on the desktop (whose module has put the WebBrowser control on
// its browser engine; other back ends need the headless stand-in).
bool desktop_chosen();

// What went wrong while the headless actions ran (a select=N beyond the list, after which the
// dialog was cancelled by Escape), or "". A run whose actions failed means nothing.
std::string scripted_user_failure();

}  // namespace winsys
