// main.cc - uninstall, the program that removes the signing control from this machine: its command line, its back end, its one application object.
#include <stdio.h>
#include <string.h>

#include <string>

#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"
#include "platform/windows/back_end_choice.h"
#include "uninstall/uninstall_app.h"

CUninstallApp theApp;

namespace {

constexpr int kExitUsage = 64;

void print_help() {
  printf(
      "Usage: uninstall\n"
      "       uninstall --help | --version\n"
      "Removes the Quillora signing control from this machine: asks for confirmation, then\n"
      "unregisters the control, deletes its registry keys and its module file from the folder\n"
      "the installation recorded, and shows each step in its window; then removes the browsers'\n"
      "host manifests that name the installation's page bridge. The folder itself and any other\n"
      "file in it stay.\n"
      "\n"
      "The window appears as $QUILLORA_UI says: 'desktop' (the default when a display opens),\n"
      "'terminal' (the default without one) or 'headless', acted on by $QUILLORA_HEADLESS_ACTIONS:\n"
      "'yes' or 'no' answers the question, 'ok' closes the window once the work is done.\n"
      "Once the window has closed, its log and verdict are printed on stdout.\n"
      "\n"
      "Exit codes:\n"
      "   0  every step succeeded\n"
      "   1  a step failed, or the installation could not be found or shown\n"
      "   2  the question was answered No; nothing was changed\n"
      "  64  usage error\n");
}

}  // namespace

int main(int argc, char **argv) {
  if (argc > 1) {
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
      print_help();
      return kUninstallDone;
    }
    if (strcmp(argv[1], "--version") == 0) {
      printf("uninstall %s\n", QUILLORA_VERSION);
      return kUninstallDone;
    }
    fprintf(stderr, "uninstall: unexpected argument '%s'\nTry 'uninstall --help' for more information.\n", argv[1]);
    return kExitUsage;
  }
  const std::string error = winsys::choose_back_end_from_environment("uninstall", "the uninstaller");
  if (!error.empty()) {
    fprintf(stderr, "uninstall: %s\n", error.c_str());
    return kUninstallFailed;
  }
  // As the framework runs an application: InitInstance, which answers FALSE once the work is
  // done, so no message loop of the application's own runs; ExitInstance gives the exit status.
  theApp.InitInstance();
  // The window is gone from the screen once closed; its record stays on the output.
  std::string record = codepage::utf8_from_utf16(codepage::utf16_from_ansi(theApp.GetRecord().GetString()));
  std::erase(record, '\r');
  fputs(record.c_str(), stdout);
  const int status = theApp.ExitInstance();
  if (const std::string failure = winsys::scripted_user_failure(); !failure.empty()) {
    fprintf(stderr, "uninstall: QUILLORA_HEADLESS_ACTIONS: %s\n", failure.c_str());
    return kExitUsage;
  }
  return status;
}
