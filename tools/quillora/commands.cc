// commands.cc - the command table, and the program's help and version texts.
#include "tools/quillora/commands.h"

#include <stdio.h>

#include "tools/quillora/certs/certs_command.h"
#include "tools/quillora/command_line.h"
#include "tools/quillora/host/registration_command.h"
#include "tools/quillora/host/sign_command.h"
#include "tools/quillora/install/install_command.h"

namespace quillora {

namespace {

constexpr Command kCommands[] = {
    {"signText", "ask the control for a signature over a text, shown as plain text", host::run_sign_text},
    {"signHTML", "the same for a text of HTML with the permitted formatting tags, shown rendered", host::run_sign_html},
    {"signTextWithFilter", "signText, offering only certificates that pass issuer, serial and key-usage filters",
     host::run_sign_text_with_filter},
    {"signHTMLWithFilter", "signHTML with the same filters", host::run_sign_html_with_filter},
    {"register", "register the control module (type library, class, ProgID)", host::run_register},
    {"unregister", "remove the control's registration", host::run_unregister},
    {"install", "install the control and its uninstaller for this user, and register it", install::run_install},
    {"certs", "manage the personal certificate store and its private keys", certs::run_certs_command},
};

}  // namespace

std::span<const Command> commands() { return kCommands; }

void print_help() {
  fputs(
      "Usage: quillora COMMAND [ARGUMENTS]\n"
      "       quillora --help | --version\n"
      "The host program of the Quillora signing control.\n"
      "\n"
      "Commands:\n",
      stdout);
  for (const Command &command : kCommands)
    printf("  %-19.*s %.*s\n", static_cast<int>(command.name.size()), command.name.data(),
           static_cast<int>(command.summary.size()), command.summary.data());
  printf(
      "\n"
      "'quillora COMMAND --help' describes a command.\n"
      "\n"
      "Exit codes:\n"
      "  %2d  success\n"
      "  %2d  the operation failed (stderr says why)\n"
      "  %2d  usage error\n",
      kExitOk, kExitFailed, kExitUsage);
}

void print_version() { printf("quillora %s\n", QUILLORA_VERSION); }

}  // namespace quillora
