// messages.cc - the program's diagnostics on stderr.
#include "tools/quillora/messages.h"

#include <stdio.h>

namespace quillora {

namespace {

int length(std::string_view text) { return static_cast<int>(text.size()); }

}  // namespace

void report(std::string_view subject, std::string_view text) {
  fprintf(stderr, "quillora: %.*s: %.*s\n", length(subject), subject.data(), length(text), text.data());
}

void report(std::string_view text) { fprintf(stderr, "quillora: %.*s\n", length(text), text.data()); }

void report_usage_error(std::string_view text, std::string_view help_command) {
  fprintf(stderr, "quillora: %.*s\nTry 'quillora %.*s%s--help' for more information.\n", length(text), text.data(),
          length(help_command), help_command.data(), help_command.empty() ? "" : " ");
}

}  // namespace quillora
