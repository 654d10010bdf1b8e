// framing.h - the native messaging frame: a 32-bit length in the machine's byte order, then that many bytes of UTF-8 JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace bridge {

// The browser refuses a message of more than 1 MiB from a host, so every answer stays below.
constexpr size_t kMaxAnswerBytes = 1024 * 1024;
// A request carries at most 1 Mi UTF-16 units of text and filters (the page API refuses more);
// escaped as JSON that is at most 6 bytes a unit, so 8 MiB leaves room for the rest.
constexpr size_t kMaxRequestBytes = 8 * 1024 * 1024;
constexpr size_t kLengthBytes = 4;

// Cuts a byte stream into frames. Bytes arrive in pieces of any size; a frame is handed out as
// soon as it is whole. A length past the cap ends the stream: what follows cannot be trusted to
// start a frame, so the reader takes no more.
class FrameReader {
 public:
  enum class Status { kFrame, kNeedMore, kTooLarge };

  explicit FrameReader(size_t max_frame_bytes = kMaxRequestBytes) : max_frame_bytes_(max_frame_bytes) {}

  void feed(const uint8_t *bytes, size_t nbytes) { buffer_.append(reinterpret_cast<const char *>(bytes), nbytes); }
  // kFrame with *frame set to the next whole frame's body; kNeedMore when none is whole yet;
  // kTooLarge (and from then on always) when the next length passes the cap.
  Status next(std::string *frame);
  // Bytes of an unfinished frame (or length) held: at the end of the stream, a truncated frame.
  bool holds_partial_frame() const { return buffer_.size() > consumed_; }

 private:
  size_t max_frame_bytes_;
  std::string buffer_;
  size_t consumed_ = 0;  // bytes of buffer_ already handed out
  bool too_large_ = false;
};

// The frame for `body`: its length in the machine's byte order, then the body.
std::string encode_frame(std::string_view body);

}  // namespace bridge
