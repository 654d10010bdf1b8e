// permitted_html.h - the check that an HTML request uses only the permitted formatting tags.
#pragma once

#include "platform/base/win_types.h"

// The permitted tag names in capitals, closed by an empty string that ends the search.
extern const char *const g_permittedTags[28];

// TRUE when every tag of the text has a permitted name. Only names are examined: attributes, the
// text between tags and character references never are, and tags need not be balanced. A "<"
// that does not open a permitted tag closed by ">" refuses the text. NULL counts as the empty
// text. No side effects, no state kept between calls.
BOOL IsPermittedHtml(LPCSTR lpszText);
