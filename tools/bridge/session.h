// session.h - one connection with the browser: frames in, one request at a time to the control, answers out.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "tools/bridge/messages.h"
#include "tools/bridge/origin_policy.h"

namespace bridge {

// Runs one request to its end (the person may take minutes over the dialog). Returns "" with
// *result set to the control's string, or why the control could not be reached.
using SignFunction = std::function<std::string(const Request &request, std::u16string *result)>;

// Reads frames from in_fd on a thread of its own, so that a frame arriving while a request runs
// is answered at once: a request from a refused origin with kOriginRefused (the control is never
// asked), a second request with kBusy, a broken frame with its error. Requests are run on the
// thread that calls run(), which is the thread the control's dialogs then belong to. Answers are
// written whole to out_fd, one at a time; a reader that has gone away is not an error. Neither
// descriptor is owned.
class Session {
 public:
  Session(int in_fd, int out_fd, OriginPolicy policy, SignFunction sign);

  // Serves until the input ends and the last request is answered. 0 when the input ended between
  // frames; 1 when it ended inside one or with a length past the cap (the error was answered).
  int run();

 private:
  void read_frames();
  void take_frame(std::string_view body);
  void write_answer(const std::string &json_text);

  int in_fd_;
  int out_fd_;
  OriginPolicy policy_;
  SignFunction sign_;

  std::mutex write_mutex_;
  std::mutex state_mutex_;  // guards what follows
  std::condition_variable state_changed_;
  std::optional<Request> pending_;
  bool busy_ = false;  // a request is pending or running
  bool ended_ = false;  // the reader has stopped
  bool broken_ = false;
};

}  // namespace bridge
