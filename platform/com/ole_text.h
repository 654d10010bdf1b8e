// ole_text.h - conversions between OLE text (UTF-16) and the 8-bit strings of the registry, resources and file paths.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/com_types.h"

namespace com {

// 8-bit text in the ANSI code page <-> UTF-16. Characters the code page lacks become its default
// character. A null pointer gives the empty string.
std::string ole_to_ansi(LPCOLESTR text, size_t length);
std::string ole_to_ansi(LPCOLESTR text);
std::u16string ansi_to_ole(std::string_view text);
// A new BSTR (never NULL for a non-null result) or NULL when memory is exhausted.
BSTR bstr_from_ansi(std::string_view text);

// File paths cross between OLE and 8-bit text as UTF-8, the file system's own encoding, so that
// any path survives the round trip.
std::string ole_path_to_utf8(LPCOLESTR path);
std::u16string utf8_path_to_ole(std::string_view path);

// Member and type names are ASCII and match without regard to case.
bool ole_name_equals(LPCOLESTR name, std::string_view ascii);

}  // namespace com
