// output.h - writing to a terminal.
#pragma once

#include <string_view>

namespace terminal {

// Writes all of `bytes` to `fd`, retrying short writes and interrupted calls; stops quietly at an
// error, as a terminal that has gone away cannot be told anything anyway.
void write_all(int fd, std::string_view bytes);

}  // namespace terminal
