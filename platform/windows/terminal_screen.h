// terminal_screen.h - what the terminal back end draws: a dialog's parts laid out in the terminal's rows, a box, a passphrase prompt.
#pragma once

#include "platform/ui/passphrase_prompt.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "platform/windows/terminal_text_view.h"
#include "platform/windows/window_state.h"

namespace winsys {

// The parts of a dialog as the terminal sees them, in z order.
enum class PartKind {
  kLabel,     // a static text
  kTextArea,  // an edit box, or a window of a class the terminal does not know (a hosted control's), whose text is what it shows
  kList,      // a combo box's items
  kButton,
};
struct DialogPart {
  PartKind kind;
  WindowState state;
};
// The visible children of `dialog` that show something, in z order.
std::vector<DialogPart> dialog_parts(HWND dialog);
// Whether Tab stops at the part: text areas, lists and enabled buttons.
bool takes_focus(const DialogPart &part);

struct ScreenSize {
  size_t rows = 24;
  size_t columns = 80;
};

// One row: 1252 text that fits the width, and the columns [mark_begin, mark_end) drawn in
// reverse video to show the focus.
struct ScreenRow {
  std::string text;
  size_t mark_begin = 0;
  size_t mark_end = 0;
};

// A dialog in at most size.rows rows: caption, labels, each text area's rows in view with where
// the view is, the list (a window of it around the selection when long), the buttons, and the
// keys. Text areas keep their view in *views between frames; focus is the part that has it.
std::vector<ScreenRow> dialog_screen(HWND dialog, HWND focus, ScreenSize size, std::map<HWND, TextView> *views);
// A message box: caption, text (wrapped) and buttons.
std::vector<ScreenRow> box_screen(const std::string &caption, const std::string &text, UINT type, ScreenSize size);
// The prompt for the passphrase of the key of `what`, named by `certificate` (the list's line)
// when known; for a keeper's secret (see platform_ui::ask_keeper_secret) the keeper is named as
// well. The prompt itself is the last row, where the cursor waits.
std::vector<ScreenRow> passphrase_screen(const std::string &what, const std::string &certificate,
                                         const platform_ui::KeeperSecret *keeper, int attempt, ScreenSize size);

// The bytes that draw `rows` from the top left of the screen and clear the rest, in UTF-8.
std::string screen_bytes(const std::vector<ScreenRow> &rows);

}  // namespace winsys
