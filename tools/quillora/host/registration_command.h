// registration_command.h - quillora register and unregister: the control module's own self-registration exports.
#pragma once

#include <span>
#include <string>

namespace host {

int run_register(std::span<const std::string> args);
int run_unregister(std::span<const std::string> args);

}  // namespace host
