// view_text.h - what the desktop back end converts at its edge: Windows-1252 texts to UTF-8 labels and back, and a static's bitmap to a picture.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <string>

#include "platform/base/win_types.h"

namespace winsys::desktop {

std::string utf8_of(const std::string &ansi);
// UTF-8 from the toolkit to 1252; what 1252 lacks becomes '?'.
std::string ansi_of(const char *utf8);
// A control text with Windows mnemonics ("&Yes", "&&" for "&") as a toolkit mnemonic label
// ("_Yes"; a literal '_' doubled).
std::string mnemonic_label(const std::string &ansi);
// An edit box's text: lines end with CR LF only, so each CR LF is a line break; a lone CR or LF
// stays in its line and shows as U+FFFD, as it shows as a box there.
std::string edit_text(const std::string &ansi);
// A message box's text: CR LF, CR and LF each break the line.
std::string message_text(const std::string &ansi);
// The reverse of edit_text, for text a person typed: line breaks become CR LF.
std::string edit_ansi(const char *utf8);
// An uncompressed 24- or 32-bit device-independent bitmap (info header then pixels, bottom-up
// or top-down) as a picture with one reference for the caller; null for any other bitmap or
// one whose sizes do not fit its bytes.
GdkPixbuf *pixbuf_of_dib(const BYTE *dib, size_t dib_nbytes);

}  // namespace winsys::desktop
