// bridge_session_test.cc - faults in the bridge's session with the browser: a broken frame (cut short, past the cap, not UTF-8, not JSON) answered other than with its error or not at all, frames that share a write or are split across writes misread, a request the control should not see reaching it (unknown method, refused origin, a second one while one runs), a null argument turned into a string.
#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "platform/codepage/utf8.h"
#include "tools/bridge/framing.h"
#include "tools/bridge/session.h"

namespace {

using nlohmann::json;

std::string frame(const std::string &body) { return bridge::encode_frame(body); }

std::string length_only(uint32_t length) {
  std::string bytes(sizeof length, '\0');
  memcpy(bytes.data(), &length, sizeof length);
  return bytes;
}

std::string request(int id, const std::string &method, const json &args, const std::string &origin = "https://a.example") {
  return frame(json{{"id", id}, {"method", method}, {"args", args}, {"origin", origin}}.dump());
}

struct session_case {
  std::string name;
  std::vector<std::string> writes;  // each written to the session's input in one call
  std::vector<json> answers;        // {"id", "result"} or {"id", "code"}, in the order written
  int status;
  std::vector<std::string> signed_texts;  // what reached the control
  size_t release_after = 0;  // a text "wait" blocks the control until this many answers were read
};

std::ostream &operator<<(std::ostream &os, const session_case &c) { return os << c.name; }

// The fake control signs "signed:" + text; "unreachable" cannot be reached; "wait" waits for
// the test's word.
class Control {
 public:
  std::string sign(const bridge::Request &request, std::u16string *result) {
    const std::string text = request.args[0] ? codepage::utf8_from_utf16(*request.args[0]) : "<null>";
    {
      std::unique_lock<std::mutex> lock(mutex_);
      texts_.push_back(text);
      if (text == "wait") released_.wait(lock, [this] { return released_flag_; });
    }
    if (text == "unreachable") return "the control is not registered";
    const std::string answer = "signed:" + text;
    codepage::utf16_from_utf8(reinterpret_cast<const uint8_t *>(answer.data()), answer.size(), result);
    return "";
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_flag_ = true;
    released_.notify_all();
  }
  std::vector<std::string> texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool released_flag_ = false;
  std::vector<std::string> texts_;
};

// Reads the answers' frames until the session closes its output; releases the control after `release_after`.
std::vector<json> read_answers(int fd, size_t release_after, Control *control) {
  bridge::FrameReader reader(bridge::kMaxAnswerBytes);
  std::vector<json> answers;
  uint8_t buffer[4096];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
    reader.feed(buffer, static_cast<size_t>(n));
    for (std::string body; reader.next(&body) == bridge::FrameReader::Status::kFrame;) {
      const json answer = json::parse(body);
      answers.push_back(answer.contains("error") ? json{{"id", answer["id"]}, {"code", answer["error"]["code"]}}
                                                 : json{{"id", answer["id"]}, {"result", answer["result"]}});
      if (answers.size() == release_after) control->release();
    }
  }
  EXPECT_FALSE(reader.holds_partial_frame()) << "an answer was cut short";
  return answers;
}

class session : public testing::TestWithParam<session_case> {};

TEST_P(session, answers_each_frame_as_it_must) {
  const session_case &c = GetParam();
  int input[2], output[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(pipe(output), 0);
  Control control;
  if (c.release_after == 0) control.release();
  int status = -1;
  std::thread server([&] {
    bridge::Session s(input[0], output[1], bridge::OriginPolicy(),
                      [&](const bridge::Request &r, std::u16string *result) { return control.sign(r, result); });
    status = s.run();
    close(output[1]);
  });
  std::thread writer([&] {
    for (const std::string &bytes : c.writes) {
      for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = write(input[1], bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
    }
    close(input[1]);
  });
  const std::vector<json> answers = read_answers(output[0], c.release_after, &control);
  writer.join();
  server.join();
  close(input[0]);
  close(output[0]);
  EXPECT_EQ(json(answers), json(c.answers));
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(control.texts(), c.signed_texts);
}

const std::string kSigned = request(1, "signText", {"Hola m\xC3\xB3n"});
const std::string kWhole = request(7, "signText", {"whole"});

INSTANTIATE_TEST_SUITE_P(
    frames, session,
    testing::Values(
        session_case{"signed", {kSigned}, {{{"id", 1}, {"result", "signed:Hola m\xC3\xB3n"}}}, 0, {"Hola m\xC3\xB3n"}},
        session_case{"a_null_argument_stays_null", {request(2, "signTextWithFilter", {nullptr, "CN=x", nullptr, ""})},
                     {{{"id", 2}, {"result", "signed:<null>"}}}, 0, {"<null>"}},
        session_case{"control_unreachable", {request(3, "signHTML", {"unreachable"})},
                     {{{"id", 3}, {"code", "control-unavailable"}}}, 0, {"unreachable"}},
        // Answered at once, while the request before it still runs.
        session_case{"truncated_length", {request(1, "signText", {"wait"}), std::string("\x05\x00\x00", 3)},
                     {{{"id", nullptr}, {"code", "truncated-frame"}}, {{"id", 1}, {"result", "signed:wait"}}},
                     1, {"wait"}, 1},
        session_case{"truncated_body", {kSigned.substr(0, kSigned.size() - 1)},
                     {{{"id", nullptr}, {"code", "truncated-frame"}}}, 1, {}},
        // Nothing after a length past the cap is read: it may be the rest of that frame.
        session_case{"length_past_the_cap", {length_only(bridge::kMaxRequestBytes + 1) + kSigned},
                     {{{"id", nullptr}, {"code", "frame-too-large"}}}, 1, {}},
        session_case{"length_at_the_cap_is_read", {length_only(bridge::kMaxRequestBytes) +
                                                   std::string(bridge::kMaxRequestBytes, ' ')},
                     {{{"id", nullptr}, {"code", "not-json"}}}, 0, {}},
        // A broken body leaves the stream in step: the next frame is served.
        session_case{"invalid_utf8",
                     {frame("{\"id\":4,\"method\":\"signText\",\"args\":[\"\xC3\x28\"],\"origin\":\"https://a.example\"}"),
                      kWhole},
                     {{{"id", nullptr}, {"code", "not-utf8"}}, {{"id", 7}, {"result", "signed:whole"}}}, 0, {"whole"}},
        session_case{"invalid_json", {frame("{\"id\":5,"), frame("[1]"), kWhole},
                     {{{"id", nullptr}, {"code", "not-json"}}, {{"id", nullptr}, {"code", "not-json"}},
                      {{"id", 7}, {"result", "signed:whole"}}}, 0, {"whole"}},
        session_case{"two_frames_in_one_write_and_one_frame_in_three",
                     {request(8, "eval", {"x"}) + request(9, "signText", {"a", "b"}), kWhole.substr(0, 2),
                      kWhole.substr(2, 9), kWhole.substr(11)},
                     {{{"id", 8}, {"code", "unknown-method"}}, {{"id", 9}, {"code", "bad-request"}},
                      {{"id", 7}, {"result", "signed:whole"}}}, 0, {"whole"}},
        session_case{"refused_origin", {request(10, "signText", {"x"}, "http://a.example")},
                     {{{"id", 10}, {"code", "origin-refused"}}}, 0, {}},
        session_case{"a_second_request_while_one_runs", {request(11, "signText", {"wait"}), request(12, "signText", {"x"})},
                     {{{"id", 12}, {"code", "busy"}}, {{"id", 11}, {"result", "signed:wait"}}}, 0, {"wait"}, 1}),
    [](const testing::TestParamInfo<session_case> &info) { return info.param.name; });

}  // namespace
