// dialog_template.h - a dialog template as data: the dialog's frame, font and controls in dialog units.
#pragma once

#include <cstddef>

#include "platform/base/win_types.h"

// A module stores its templates in its resource table as RT_DIALOG entries whose data points to
// a DialogTemplate; the template and everything it points to must live as long as the module.

struct DialogItemTemplate {
  WORD id;
  LPCSTR class_name;  // "STATIC", "EDIT", "COMBOBOX", "BUTTON" or a registered class
  // The text, or MAKEINTRESOURCEA(id) naming a resource: a SS_BITMAP static's bitmap.
  LPCSTR text;
  DWORD style;
  DWORD exstyle;
  short x, y, cx, cy;  // dialog units, relative to the dialog's client area
};

struct DialogTemplate {
  LPCSTR caption;
  short x, y, cx, cy;  // dialog units; cx and cy give the client area
  DWORD style;
  DWORD exstyle;
  // The font that fixes the dialog base units (see MapDialogRect in dialog_manager.cc).
  LPCSTR font_name;
  WORD font_points;
  WORD font_weight;
  BYTE font_italic;
  BYTE font_charset;
  WORD language;
  const DialogItemTemplate *items;  // template order: creation, z and tab order
  size_t item_count;
};

#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define FW_NORMAL 400
