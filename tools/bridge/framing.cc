// framing.cc - FrameReader and encode_frame.
#include "tools/bridge/framing.h"

#include <cstring>

namespace bridge {

FrameReader::Status FrameReader::next(std::string *frame) {
  if (too_large_) return Status::kTooLarge;
  const size_t held = buffer_.size() - consumed_;
  if (held < kLengthBytes) return Status::kNeedMore;
  uint32_t length = 0;
  memcpy(&length, buffer_.data() + consumed_, kLengthBytes);
  if (length > max_frame_bytes_) {
    too_large_ = true;
    return Status::kTooLarge;
  }
  if (held - kLengthBytes < length) return Status::kNeedMore;
  frame->assign(buffer_, consumed_ + kLengthBytes, length);
  consumed_ += kLengthBytes + length;
  // Drop what was handed out once it is most of the buffer, so a long session stays small
  // without moving bytes on every frame.
  if (consumed_ * 2 >= buffer_.size()) {
    buffer_.erase(0, consumed_);
    consumed_ = 0;
  }
  return Status::kFrame;
}

std::string encode_frame(std::string_view body) {
  const auto length = static_cast<uint32_t>(body.size());
  std::string frame(kLengthBytes, '\0');
  memcpy(frame.data(), &length, kLengthBytes);
  frame.append(body);
  return frame;
}

}  // namespace bridge
