// session.cc - the reader thread, the request loop and the answer writer.
#include "tools/bridge/session.h"

#include <errno.h>
#include <unistd.h>

#include <thread>

#include "tools/bridge/framing.h"

namespace bridge {

Session::Session(int in_fd, int out_fd, OriginPolicy policy, SignFunction sign)
    : in_fd_(in_fd), out_fd_(out_fd), policy_(std::move(policy)), sign_(std::move(sign)) {}

void Session::write_answer(const std::string &json_text) {
  const std::string frame = encode_frame(json_text);
  std::lock_guard<std::mutex> lock(write_mutex_);
  for (size_t written = 0; written < frame.size();) {
    const ssize_t n = write(out_fd_, frame.data() + written, frame.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the browser has gone; nobody is left to answer
    written += static_cast<size_t>(n);
  }
}

void Session::take_frame(std::string_view body) {
  RequestError error;
  std::optional<Request> request = parse_request(body, &error);
  if (!request) {
    write_answer(error_answer(error.id, error.code, error.message));
    return;
  }
  if (const std::string refusal = policy_.refusal(request->origin); !refusal.empty()) {
    write_answer(error_answer(request->id, error_code::kOriginRefused, refusal));
    return;
  }
  std::unique_lock<std::mutex> lock(state_mutex_);
  if (busy_) {
    lock.unlock();
    write_answer(error_answer(request->id, error_code::kBusy, "a signing request is already open"));
    return;
  }
  busy_ = true;
  pending_ = std::move(request);
  state_changed_.notify_all();
}

void Session::read_frames() {
  FrameReader reader;
  bool broken = false;
  uint8_t buffer[64 * 1024];
  while (!broken) {
    const ssize_t n = read(in_fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    reader.feed(buffer, static_cast<size_t>(n));
    std::string body;
    for (FrameReader::Status status; (status = reader.next(&body)) != FrameReader::Status::kNeedMore;) {
      if (status == FrameReader::Status::kTooLarge) {
        write_answer(error_answer(nullptr, error_code::kFrameTooLarge, "the message is larger than the bridge takes"));
        broken = true;
        break;
      }
      take_frame(body);
    }
  }
  if (!broken && reader.holds_partial_frame()) {
    write_answer(error_answer(nullptr, error_code::kTruncatedFrame, "the input ended inside a message"));
    broken = true;
  }
  std::lock_guard<std::mutex> lock(state_mutex_);
  ended_ = true;
  broken_ = broken;
  state_changed_.notify_all();
}

int Session::run() {
  std::thread reader(&Session::read_frames, this);
  std::unique_lock<std::mutex> lock(state_mutex_);
  for (;;) {
    state_changed_.wait(lock, [this] { return pending_.has_value() || ended_; });
    if (!pending_) break;
    const Request request = std::move(*pending_);
    pending_.reset();
    lock.unlock();
    std::u16string result;
    const std::string failure = sign_(request, &result);
    lock.lock();
    // Free before answering, so a request sent as soon as the answer arrives is not refused.
    busy_ = false;
    lock.unlock();
    write_answer(failure.empty() ? result_answer(request.id, result)
                                 : error_answer(request.id, error_code::kControlUnavailable, failure));
    lock.lock();
  }
  lock.unlock();
  reader.join();
  return broken_ ? 1 : 0;
}

}  // namespace bridge
