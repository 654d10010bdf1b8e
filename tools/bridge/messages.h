// messages.h - the bridge's requests and answers as JSON: what the extension sends, what goes back, and the pinned error codes.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bridge {

// One signing request. `args` holds the text and, for the filtered methods, issuer, serial and
// key usages; a null argument is a null automation string, as a page's null would be.
struct Request {
  nlohmann::json id;  // echoed in the answer; null when the request named none
  std::string method;  // one of the control's four methods
  std::vector<std::optional<std::u16string>> args;
  std::string origin;  // stamped by the extension from what the browser says of the page
};

// The codes of a bridge error: pinned, since the extension and pages act on them.
namespace error_code {
inline constexpr char kFrameTooLarge[] = "frame-too-large";
inline constexpr char kTruncatedFrame[] = "truncated-frame";
inline constexpr char kNotUtf8[] = "not-utf8";
inline constexpr char kNotJson[] = "not-json";
inline constexpr char kBadRequest[] = "bad-request";
inline constexpr char kUnknownMethod[] = "unknown-method";
inline constexpr char kOriginRefused[] = "origin-refused";
inline constexpr char kBusy[] = "busy";
inline constexpr char kControlUnavailable[] = "control-unavailable";
inline constexpr char kAnswerTooLarge[] = "answer-too-large";
}  // namespace error_code

struct RequestError {
  nlohmann::json id;  // the request's id when it could be read, else null
  const char *code;
  std::string message;
};

// Reads one frame's body. Nothing (and *error set) for a body that is not UTF-8, not a JSON
// object, names no known method, has the wrong number of arguments, an argument that is neither
// a string nor null, no origin string, or an id that is neither a number nor a short string.
std::optional<Request> parse_request(std::string_view body, RequestError *error);

// The answers' JSON texts; each is below the browser's cap (a result that would not be is
// answered with kAnswerTooLarge instead).
std::string result_answer(const nlohmann::json &id, std::u16string_view result);
std::string error_answer(const nlohmann::json &id, std::string_view code, std::string_view message);

}  // namespace bridge
