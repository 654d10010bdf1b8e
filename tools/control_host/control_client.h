// control_client.h - reaching the signing control as a page does: activation by ProgID, then calls through IDispatch.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace host {

// The ProgID a page names the control by.
inline constexpr char16_t kControlProgId[] = u"KESTRAVON.Quillora.1";

// Activates the control through the registry, calls `method` by name with string arguments
// given in UTF-8 (nullopt is a null automation string) and releases the control. Each argument is
// freed as soon as it is an automation string, so that a large text is not held twice during the
// call. On success *result is the method's string and the return value is empty; otherwise it
// says what failed.
std::string call_control_method(std::u16string_view method, std::vector<std::optional<std::string>> arguments,
                                std::u16string *result);

// The same with the arguments in UTF-16, as a page's strings arrive.
std::string call_control_method(std::u16string_view method, std::span<const std::optional<std::u16string>> arguments,
                                std::u16string *result);

}  // namespace host
