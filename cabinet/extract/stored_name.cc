// stored_name.cc - refuses stored names that would leave the destination folder.
#include "cabinet/include/stored_name.h"

#include <ctype.h>
#include <string.h>

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool is_contained_name(const char *name) {
  if (name[0] == '\0' || is_separator(name[0])) return false;
  if (isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') return false;
  const char *part = name;
  for (;;) {
    size_t length = 0;
    while (part[length] != '\0' && !is_separator(part[length])) ++length;
    if (length == 2 && part[0] == '.' && part[1] == '.') return false;
    if (part[length] == '\0') return true;
    part += length + 1;
  }
}
