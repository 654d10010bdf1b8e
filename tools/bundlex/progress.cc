// progress.cc - the rate-limited progress line.
#include "tools/bundlex/progress.h"

#include <stdio.h>
#include <unistd.h>

namespace bundlex {

progress::progress(uint64_t total_nbytes, size_t total_files)
    : shown_(total_nbytes > kShownAboveNbytes && isatty(STDERR_FILENO) == 1),
      total_nbytes_(total_nbytes),
      total_files_(total_files) {}

void progress::bytes_done(uint64_t nbytes) {
  done_nbytes_ = nbytes;
  draw(false);
}

void progress::file_done() {
  ++done_files_;
  draw(false);
}

void progress::finish() {
  if (!shown_) return;
  draw(true);
  break_line();
  shown_ = false;
}

void progress::break_line() {
  if (!on_screen_) return;
  fputc('\n', stderr);
  on_screen_ = false;
}

void progress::draw(bool even_if_recent) {
  if (!shown_) return;
  auto now = std::chrono::steady_clock::now();
  if (!even_if_recent && now - last_draw_ < kRedrawInterval) return;
  last_draw_ = now;
  // The listing's total can fall short of what is written when a set's later cabinets could not be
  // listed; the line never shows more than 100%.
  uint64_t percent = done_nbytes_ >= total_nbytes_ ? 100 : done_nbytes_ * 100 / total_nbytes_;
  constexpr double kMegabyte = 1024.0 * 1024.0;
  fprintf(stderr, "\r%3u%%  %zu/%zu files  %.1f/%.1f MB", static_cast<unsigned>(percent), done_files_, total_files_,
          static_cast<double>(done_nbytes_) / kMegabyte, static_cast<double>(total_nbytes_) / kMegabyte);
  fflush(stderr);
  on_screen_ = true;
}

}  // namespace bundlex
