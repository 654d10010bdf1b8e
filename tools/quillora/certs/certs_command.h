// certs_command.h - `quillora certs`: the command family that manages the personal certificate store.
#pragma once

#include <span>
#include <string>

namespace certs {

// Runs `quillora certs ARGS...`; returns the exit code, having reported any failure.
int run_certs_command(std::span<const std::string> args);

}  // namespace certs
