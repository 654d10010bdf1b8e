// messages.cc - parsing requests and writing answers, without exceptions: the JSON library is used in its non-throwing forms.
#include "tools/bridge/messages.h"

#include <array>

#include "platform/codepage/utf8.h"
#include "tools/bridge/framing.h"

namespace bridge {

namespace {

using nlohmann::json;

constexpr size_t kMaxIdBytes = 256;

struct MethodShape {
  std::string_view name;
  size_t nargs;
};
constexpr std::array<MethodShape, 4> kMethods = {{
    {"signText", 1}, {"signHTML", 1}, {"signTextWithFilter", 4}, {"signHTMLWithFilter", 4}}};

const MethodShape *find_method(std::string_view name) {
  for (const MethodShape &m : kMethods) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

std::optional<Request> refuse(RequestError *error, json id, const char *code, std::string message) {
  *error = RequestError{std::move(id), code, std::move(message)};
  return std::nullopt;
}

// dump() with replacement cannot throw on our strings, which are UTF-8 by construction.
std::string text_of(const json &answer) { return answer.dump(-1, ' ', false, json::error_handler_t::replace); }

}  // namespace

std::optional<Request> parse_request(std::string_view body, RequestError *error) {
  std::u16string ignored;
  if (!codepage::utf16_from_utf8(reinterpret_cast<const uint8_t *>(body.data()), body.size(), &ignored))
    return refuse(error, nullptr, error_code::kNotUtf8, "the message is not UTF-8");
  json message = json::parse(body, nullptr, /*allow_exceptions=*/false);
  if (message.is_discarded() || !message.is_object())
    return refuse(error, nullptr, error_code::kNotJson, "the message is not a JSON object");

  Request request;
  if (const auto id = message.find("id"); id != message.end()) {
    // Echoed in every answer, so it must stay small enough for any answer to fit.
    if (!id->is_number() && !(id->is_string() && id->get_ref<const std::string &>().size() <= kMaxIdBytes))
      return refuse(error, nullptr, error_code::kBadRequest, "the id is neither a number nor a short string");
    request.id = *id;
  }
  const auto method = message.find("method");
  if (method == message.end() || !method->is_string())
    return refuse(error, request.id, error_code::kBadRequest, "the message names no method");
  const MethodShape *shape = find_method(method->get_ref<const std::string &>());
  if (shape == nullptr)
    return refuse(error, request.id, error_code::kUnknownMethod, "the control has no such method");
  request.method = shape->name;

  const auto args = message.find("args");
  if (args == message.end() || !args->is_array() || args->size() != shape->nargs)
    return refuse(error, request.id, error_code::kBadRequest,
                  request.method + " takes " + std::to_string(shape->nargs) + " arguments");
  for (const json &arg : *args) {
    if (arg.is_null()) {
      request.args.emplace_back(std::nullopt);
    } else if (arg.is_string()) {
      const std::string &utf8 = arg.get_ref<const std::string &>();
      std::u16string wide;
      codepage::utf16_from_utf8(reinterpret_cast<const uint8_t *>(utf8.data()), utf8.size(), &wide);
      request.args.emplace_back(std::move(wide));
    } else {
      return refuse(error, request.id, error_code::kBadRequest, "an argument is neither a string nor null");
    }
  }

  const auto origin = message.find("origin");
  if (origin == message.end() || !origin->is_string())
    return refuse(error, request.id, error_code::kBadRequest, "the message names no origin");
  request.origin = origin->get_ref<const std::string &>();
  return request;
}

std::string result_answer(const json &id, std::u16string_view result) {
  std::string text = text_of(json{{"id", id}, {"result", codepage::utf8_from_utf16(result)}});
  if (text.size() > kMaxAnswerBytes)
    return error_answer(id, error_code::kAnswerTooLarge, "the control's answer is too large for the browser");
  return text;
}

std::string error_answer(const json &id, std::string_view code, std::string_view message) {
  return text_of(json{{"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

}  // namespace bridge
