// terminal_dialog_keys.h - what a key typed on the terminal does to the dialog shown there.
#pragma once

#include <map>

#include "platform/terminal/keys.h"
#include "platform/windows/terminal_text_view.h"
#include "platform/windows/winuser.h"

namespace winsys {

// Acts on `dialog` as the key says, through ordinary window calls, as a person would through the
// screen. Tab and Shift-Tab move the focus among the text areas, the list and the buttons; Enter
// presses the focused button, else the default one; Escape is Cancel. Up and Down scroll the text
// when it has the focus and choose in the list otherwise; Page Up and Page Down scroll the text
// whatever has the focus; Home and End go to either end of the list when it has the focus, else of
// the text; a digit chooses that item of the list; Left and Right move between buttons. Text
// areas scroll in *views, where the drawing keeps their views.
void act_on_key(HWND dialog, const terminal::KeyPress &press, std::map<HWND, TextView> *views);

}  // namespace winsys
