// install_command.h - quillora install: puts the control and its uninstaller in an installation folder and records them.
#pragma once

#include <span>
#include <string>

namespace install {

int run_install(std::span<const std::string> args);

}  // namespace install
