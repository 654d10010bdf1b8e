// bridge_fuzz.cc - fuzzes the bridge's input: a byte stream cut into frames, and each frame's body read as a request.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/codepage/utf8.h"
#include "tools/bridge/framing.h"
#include "tools/bridge/messages.h"

/*
 * The input is the stream from the browser. It is cut into frames twice: fed whole, and fed in
 * pieces whose sizes come from the first byte; both must give the same frames and the same end.
 * Every frame is read as a request: one that is taken must name a method with its count of
 * arguments, and its answer must fit the browser's cap, parse back and echo the id; one that is
 * refused must name a pinned code, and its error answer must fit and parse back too.
 */
namespace {

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "bridge_fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char *what) {
  if (!ok) fail(what);
}

// A small cap, so that inputs of a few kilobytes reach the refusal of a length past it.
constexpr size_t kCap = 4096;

struct Cut {
  std::vector<std::string> frames;
  bridge::FrameReader::Status end;
  bool partial;
};

Cut cut(const uint8_t *data, size_t size, size_t piece) {
  bridge::FrameReader reader(kCap);
  Cut result{{}, bridge::FrameReader::Status::kNeedMore, false};
  for (size_t at = 0; at < size || at == 0; at += piece) {
    if (size > 0) reader.feed(data + at, std::min(piece, size - at));
    std::string body;
    while ((result.end = reader.next(&body)) == bridge::FrameReader::Status::kFrame) result.frames.push_back(body);
    if (result.end == bridge::FrameReader::Status::kTooLarge || size == 0) break;
  }
  result.partial = reader.holds_partial_frame();
  return result;
}

nlohmann::json parsed_answer(const std::string &text) {
  check(text.size() <= bridge::kMaxAnswerBytes, "an answer is past the browser's cap");
  nlohmann::json answer = nlohmann::json::parse(text, nullptr, false);
  check(answer.is_object(), "an answer is not a JSON object");
  return answer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const Cut whole = cut(data, size, size == 0 ? 1 : size);
  const Cut pieces = cut(data, size, size == 0 ? 1 : data[0] % 7 + 1);
  check(whole.frames == pieces.frames && whole.end == pieces.end, "frames depend on how the stream was cut");
  if (whole.end != bridge::FrameReader::Status::kTooLarge) check(whole.partial == pieces.partial, "partial frames differ");

  for (const std::string &body : whole.frames) {
    check(body.size() <= kCap, "a frame is past the cap");
    bridge::RequestError error;
    const auto request = bridge::parse_request(body, &error);
    if (!request) {
      const nlohmann::json answer = parsed_answer(bridge::error_answer(error.id, error.code, error.message));
      check(answer["id"] == error.id && answer["error"]["code"] == error.code, "an error answer lost its id or code");
      continue;
    }
    const size_t expected = request->method.ends_with("WithFilter") ? 4 : 1;
    check(request->args.size() == expected, "a request has the wrong count of arguments");
    const std::u16string result = request->args[0].value_or(u"");
    const nlohmann::json answer = parsed_answer(bridge::result_answer(request->id, result));
    check(answer["id"] == request->id, "an answer lost the request's id");
    check(answer["result"] == codepage::utf8_from_utf16(result), "a result did not come back unchanged");
  }
  return 0;
}
