// progress.h - the progress line on stderr for long extractions and tests.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <chrono>

namespace bundlex {

// One line rewritten in place with "\r": percent of bytes done, files done, megabytes. It is shown
// only when stderr is a terminal and the job writes more than `kShownAboveNbytes`, and is
// redrawn at most every `kRedrawInterval`, so small jobs and logs stay clean.
class progress {
 public:
  static constexpr uint64_t kShownAboveNbytes = 16u << 20;
  static constexpr std::chrono::milliseconds kRedrawInterval{100};

  progress(uint64_t total_nbytes, size_t total_files);
  progress(const progress &) = delete;
  progress &operator=(const progress &) = delete;
  ~progress() { finish(); }

  void bytes_done(uint64_t nbytes);
  void file_done();
  // Draws the last state and ends the line, before anything else is written to stderr.
  void finish();
  // Ends the line as it stands, so that a message can follow; the next draw starts a new one.
  void break_line();

 private:
  void draw(bool even_if_recent);

  bool shown_;
  bool on_screen_ = false;  // a line has been drawn and not ended
  uint64_t total_nbytes_;
  size_t total_files_;
  uint64_t done_nbytes_ = 0;
  size_t done_files_ = 0;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace bundlex
