// serve.cc - serve_browser: stdout kept for frames alone, the back end chosen, the allow-list read, requests taken to the control.
#include "tools/bridge/serve.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

#include "platform/windows/back_end.h"
#include "tools/bridge/session.h"
#include "tools/control_host/control_client.h"
#include "tools/control_host/user_interface.h"

namespace bridge {

namespace {

constexpr char kProgram[] = "quillora-bridge";

void report(const std::string &text) { fprintf(stderr, "%s: %s\n", kProgram, text.c_str()); }

// The frames get stdin and stdout to themselves: both move to descriptors of their own, stdin
// then reads /dev/null and stdout writes to stderr, so that nothing printed by any part of the
// process can corrupt a frame. False when the descriptors cannot be moved.
bool take_frame_descriptors(int *in_fd, int *out_fd) {
  *in_fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
  *out_fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  const int nothing = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (*in_fd < 0 || *out_fd < 0 || nothing < 0) return false;
  fflush(stdout);
  const bool moved = dup2(nothing, STDIN_FILENO) >= 0 && dup2(STDERR_FILENO, STDOUT_FILENO) >= 0;
  close(nothing);
  return moved;
}

}  // namespace

int serve_browser() {
  int in_fd = -1, out_fd = -1;
  if (!take_frame_descriptors(&in_fd, &out_fd)) {
    report("cannot set up its input and output");
    return 1;
  }
  // A browser that has gone away is seen as a failed write, not as a signal.
  signal(SIGPIPE, SIG_IGN);

  std::vector<std::string> warnings;
  std::string error;
  std::optional<OriginPolicy> policy = OriginPolicy::load(allow_list_path(), &warnings, &error);
  for (const std::string &warning : warnings) report(warning);
  if (!policy) {
    // An allow-list that cannot be read must not leave every site allowed.
    report(error + "; every site is refused");
    policy = OriginPolicy(std::vector<std::string>{});
  }

  const std::string ui_error = host::choose_user_interface(kProgram);
  if (!ui_error.empty()) report(ui_error);
  SignFunction sign = [&ui_error](const Request &request, std::u16string *result) -> std::string {
    if (!ui_error.empty()) return "the signing dialog cannot be shown: " + ui_error;
    // The person sees which site asks, in the caption of every window the request shows.
    winsys::set_caption_decoration(request.origin);
    const std::u16string method(request.method.begin(), request.method.end());
    std::string failure = host::call_control_method(method, request.args, result);
    winsys::set_caption_decoration("");
    if (!failure.empty()) report(request.method + ": " + failure);
    return failure;
  };
  Session session(in_fd, out_fd, std::move(*policy), std::move(sign));
  const int status = session.run();
  close(in_fd);
  close(out_fd);
  return status;
}

}  // namespace bridge
