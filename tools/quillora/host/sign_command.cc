// sign_command.cc - the signing commands: the text from an argument, a file or stdin, the call, the result on stdout.
#include "tools/quillora/host/sign_command.h"

#include <stdio.h>

#include <optional>
#include <string_view>
#include <vector>

#include "platform/codepage/multibyte.h"
#include "platform/windows/back_end_choice.h"
#include "tools/control_host/control_client.h"
#include "tools/control_host/user_interface.h"
#include "tools/quillora/bounded_input.h"
#include "tools/quillora/command_line.h"
#include "tools/quillora/data_folder.h"
#include "tools/quillora/messages.h"
#include "tools/quillora/text_edges.h"

namespace host {

namespace {

using quillora::kExitFailed;
using quillora::kExitOk;
using quillora::kExitUsage;

constexpr quillora::OptionSpec kPlainSpecs[] = {{"--file", true}};
constexpr quillora::OptionSpec kFilterSpecs[] = {
    {"--file", true}, {"--issuer", true}, {"--serial", true}, {"--key-usage", true}};

struct Method {
  std::u16string_view name;
  std::string_view command;
  bool filtered;
};

void print_help(const Method &method) {
  const std::string name(method.command);
  printf("Usage: quillora %s TEXT | --file FILE | -%s\n", name.c_str(),
         method.filtered ? " [--issuer NAME] [--serial HEX] [--key-usage LIST]" : "");
  printf(
      "Asks the signing control for a signature over the text, as a web page does, and prints the\n"
      "control's answer on stdout followed by a line feed: the Base64 signature or an error:... result.\n"
      "The text is UTF-8 (an argument, a file, or standard input with '-'), at most %s; the control\n"
      "receives it as a page's string and signs its Windows-1252 bytes. A leading byte-order mark is\n"
      "dropped; a text that is not valid UTF-8 or holds a NUL byte is refused (exit %d). A text that\n"
      "begins with '-' goes after '--', which ends the options.%s\n"
      "\n"
      "Exit codes:\n"
      "  %2d  signed\n  %2d  the control could not be reached (stderr says why)\n"
      "  %2d  error:userCancel\n  %2d  error:noMatchingCert\n  %2d  error:internalError\n"
      "  %2d  empty result: the dialog could not be shown\n  %2d  usage error\n",
      quillora::size_text(quillora::kMaxTextNbytes).c_str(), kExitUsage,
      method.filtered ? "\nThe filters narrow the certificates: an X.500 issuer name, a serial number in hex,\n"
                        "and key usages separated by commas (digitalSignature, nonRepudiation, ...); 'quillora certs list'\n"
                        "prints each certificate's --issuer and --serial."
                      : "",
      kExitOk, kExitFailed, kExitUserCancel, kExitNoMatchingCert, kExitInternalError, kExitNoDialog, kExitUsage);
}

std::string utf8_of(const std::u16string &wide) {
  if (wide.empty()) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string utf8(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

// The text to sign from the one operand ("-" is standard input) or --file.
std::optional<std::string> read_text(const quillora::ParsedOptions &options, std::string *error) {
  const bool from_file = options.has("--file");
  if (options.operands.size() + (from_file ? 1 : 0) != 1) {
    *error = "give the text as one argument, as --file FILE, or as '-' for standard input";
    return std::nullopt;
  }
  if (!from_file && options.operands.front() != "-") return options.operands.front();
  const std::string path = from_file ? options.value("--file") : "-";
  std::string text, why;
  if (!quillora::read_whole(path, quillora::kMaxTextNbytes, &text, &why)) {
    *error = (from_file ? path : std::string("standard input")) + ": " + why;
    return std::nullopt;
  }
  return text;
}

int exit_code_of(const std::u16string &result) {
  if (result.empty()) return kExitNoDialog;
  if (result == u"error:userCancel") return kExitUserCancel;
  if (result == u"error:noMatchingCert") return kExitNoMatchingCert;
  if (result.starts_with(u"error:internalError")) return kExitInternalError;
  return kExitOk;
}

int run_method(const Method &method, std::span<const std::string> args) {
  const std::string command(method.command);
  std::string error;
  const auto options = method.filtered ? quillora::parse_options(args, kFilterSpecs, &error)
                                       : quillora::parse_options(args, kPlainSpecs, &error);
  if (!options) {
    quillora::report_usage_error(error, command);
    return kExitUsage;
  }
  if (options->help) {
    print_help(method);
    return kExitOk;
  }
  auto text = read_text(*options, &error);
  if (!text) {
    quillora::report_usage_error(error, command);
    return kExitUsage;
  }
  // What is signed must be what the user gave: a text that would reach the control changed is refused.
  if (error = quillora::check_text_to_sign(&*text); !error.empty()) {
    quillora::report(command, error);
    return kExitUsage;
  }
  std::vector<std::optional<std::string>> arguments;
  arguments.push_back(std::move(*text));
  if (method.filtered) {
    for (const char *name : {"--issuer", "--serial", "--key-usage"}) arguments.push_back(options->value(name));
  }

  if (!quillora::data_folder_usable()) return kExitFailed;
  const std::string ui_error = choose_user_interface("quillora");
  if (!ui_error.empty()) {
    quillora::report(command, ui_error);
    return kExitFailed;
  }
  std::u16string result;
  error = call_control_method(method.name, std::move(arguments), &result);
  if (!error.empty()) {
    quillora::report(command, error);
    return kExitFailed;
  }
  if (const std::string failure = winsys::scripted_user_failure(); !failure.empty()) {
    quillora::report(command, "QUILLORA_HEADLESS_ACTIONS: " + failure);
    return kExitUsage;
  }
  const std::string printed = utf8_of(result);
  fwrite(printed.data(), 1, printed.size(), stdout);
  fputc('\n', stdout);
  return exit_code_of(result);
}

}  // namespace

int run_sign_text(std::span<const std::string> args) { return run_method({u"signText", "signText", false}, args); }
int run_sign_html(std::span<const std::string> args) { return run_method({u"signHTML", "signHTML", false}, args); }
int run_sign_text_with_filter(std::span<const std::string> args) {
  return run_method({u"signTextWithFilter", "signTextWithFilter", true}, args);
}
int run_sign_html_with_filter(std::span<const std::string> args) {
  return run_method({u"signHTMLWithFilter", "signHTMLWithFilter", true}, args);
}

}  // namespace host
