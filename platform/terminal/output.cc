// output.cc - whole writes to a terminal.
#include "platform/terminal/output.h"

#include <unistd.h>

#include <cerrno>

namespace terminal {

void write_all(int fd, std::string_view bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace terminal
