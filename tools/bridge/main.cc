// main.cc - quillora-bridge: the native messaging host when a browser starts it, and the commands that place or remove its manifests.
#include <stdio.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/bridge/host_manifests.h"
#include "tools/bridge/serve.h"

namespace {

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 64;

void print_help() {
  printf(
      "Usage: quillora-bridge install-manifests [--system] [--bridge PATH]\n"
      "       quillora-bridge remove-manifests [--system]\n"
      "       quillora-bridge --help | --version\n"
      "The bridge between web pages and the Quillora signing control: a browser extension passes a\n"
      "page's signing request to this program, which asks the control as a page's script would.\n"
      "Browsers start it themselves, with the connection on standard input and output.\n"
      "\n"
      "install-manifests  tell Chromium, Google Chrome and Firefox where the bridge is, for this user\n"
      "                   (or for every user with --system, as root); PATH defaults to this program\n"
      "remove-manifests   take those manifests away again\n"
      "\n"
      "Sites: https pages, and http://localhost and http://127.0.0.1 for development. When the file\n"
      "$QUILLORA_DATA_HOME/bridge/allowed-origins (else under ~/.local/share/quillora) exists, only the\n"
      "origins it lists, one a line, may ask.\n"
      "The dialogs appear in windows when a display opens, else on the terminal; QUILLORA_UI\n"
      "(desktop, terminal, headless) chooses, as for quillora.\n"
      "\n"
      "Exit codes: 0 done, 1 failed (stderr says why), 64 usage error.\n");
}

int usage_error(const std::string &text) {
  fprintf(stderr, "quillora-bridge: %s\nTry 'quillora-bridge --help' for more information.\n", text.c_str());
  return kExitUsage;
}

int run_manifest_command(bool installing, const std::vector<std::string> &args) {
  bool system = false;
  std::string bridge_path;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--system") {
      system = true;
    } else if (installing && args[i] == "--bridge" && i + 1 < args.size()) {
      bridge_path = args[++i];
    } else {
      return usage_error("unexpected argument '" + args[i] + "'");
    }
  }
  if (installing && bridge_path.empty()) {
    std::error_code error;
    bridge_path = std::filesystem::read_symlink("/proc/self/exe", error).string();
  }
  const bridge::ManifestScope scope = system ? bridge::ManifestScope::kSystem : bridge::ManifestScope::kUser;
  const auto outcomes =
      installing ? bridge::place_host_manifests(scope, bridge_path) : bridge::remove_host_manifests(scope);
  int status = kExitOk;
  for (const bridge::ManifestOutcome &outcome : outcomes) {
    if (!outcome.error.empty()) {
      fprintf(stderr, "quillora-bridge: %s: %s\n", outcome.place.path.c_str(), outcome.error.c_str());
      status = kExitFailed;
    } else {
      printf("%s: %s %s\n", outcome.place.browser.c_str(), installing ? "placed" : "removed",
             outcome.place.path.c_str());
    }
  }
  return status;
}

}  // namespace

int main(int argc, char **argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const std::string first = args.empty() ? "" : args.front();
  if (first == "-h" || first == "--help") {
    print_help();
    return kExitOk;
  }
  if (first == "--version") {
    printf("quillora-bridge %s\n", QUILLORA_VERSION);
    return kExitOk;
  }
  if (first == "install-manifests" || first == "remove-manifests")
    return run_manifest_command(first == "install-manifests", std::vector<std::string>(args.begin() + 1, args.end()));
  // Browsers pass their own arguments (the extension's origin, or a manifest path and an id).
  if (isatty(STDIN_FILENO))
    return usage_error("this program is started by a browser, with the connection on standard input");
  return bridge::serve_browser();
}
