// install_command_test.cc - faults in quillora install and the uninstaller it installs, run as programs: files or keys not where the uninstaller looks, a registration that does not point at the installed copy, browsers' host manifests missing or naming another bridge than the installed one, an earlier installation left behind, and a round trip (install, sign through the installed control, uninstall) that leaves any key, file or host manifest of the control but the folder, or takes another installation's manifest along.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "tests/tools/quillora/quillora_harness.h"
#include "tools/bridge/host_manifests.h"

namespace quillora_test {
namespace {

namespace fs = std::filesystem;

// The sandbox's registry, read from this process.
class install : public testing::Test {
 protected:
  static std::string value(HKEY root, const std::string &key, const char *name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return "<no key>";
    BYTE data[2048] = {};
    DWORD size = sizeof data, type = 0;
    const LSTATUS status = RegQueryValueExA(handle, name, nullptr, &type, data, &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS) return "<no value>";
    if (type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD *>(data));
    return std::string(reinterpret_cast<char *>(data));
  }
  static std::string installed_folder() {
    return value(HKEY_LOCAL_MACHINE, "SOFTWARE\\KESTRAVON\\quillora", "CWD");
  }
  static std::string registered_module() {
    const std::string clsid = value(HKEY_CLASSES_ROOT, "KESTRAVON.Quillora.1\\CLSID", nullptr);
    return value(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32", nullptr);
  }
  // Every key under a root, as "A\B\C", depth first.
  static std::set<std::string> keys(HKEY root, const std::string &path = "") {
    std::set<std::string> found;
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return found;
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD length = sizeof name;
      if (RegEnumKeyExA(handle, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
      const std::string child = path.empty() ? name : path + "\\" + name;
      found.insert(child);
      found.merge(keys(root, child));
    }
    RegCloseKey(handle);
    return found;
  }

  // The program each of this user's host manifests names, by browser: "<none>" for a manifest
  // that is not there.
  static std::map<std::string, std::string> manifest_programs() {
    std::map<std::string, std::string> programs;
    for (const bridge::ManifestPlace &place : bridge::manifest_places(bridge::ManifestScope::kUser)) {
      std::ifstream in(place.path);
      programs[place.browser] = in ? nlohmann::json::parse(in).value("path", "<no path>") : "<none>";
    }
    return programs;
  }
  static std::map<std::string, std::string> every_manifest_naming(const std::string &program) {
    return {{"Chromium", program}, {"Google Chrome", program}, {"Firefox", program}};
  }

  Sandbox sandbox_;
  ScopedEnv data_root_{"QUILLORA_DATA_HOME", sandbox_.data_root().c_str()};
  ScopedEnv ui_{"QUILLORA_UI", "headless"};
  // The browsers' folders of this user, where the manifests go.
  ScopedEnv home_{"HOME", sandbox_.path().c_str()};
  ScopedEnv config_home_{"XDG_CONFIG_HOME", ""};
};

TEST_F(install, puts_files_keys_and_manifests_where_they_are_looked_for_and_replaces_an_earlier_installation) {
  const fs::path first = sandbox_.path() / "first";
  const RunResult r = sandbox_.run({"install", "--dir", first.string()});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(installed_folder(), first.string());
  EXPECT_EQ(registered_module(), (first / "quillora.ocx").string()) << "registered from the installed copy";
  for (const char *program : {"uninstall", "quillora-bridge"}) {
    struct stat st {};
    ASSERT_EQ(stat((first / program).c_str(), &st), 0) << program;
    EXPECT_NE(st.st_mode & S_IXOTH, 0u) << program;
  }
  EXPECT_EQ(manifest_programs(), every_manifest_naming((first / "quillora-bridge").string()));
  const std::string entry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\quillora";
  const std::pair<const char *, std::string> values[] = {
      {"DisplayName", "quillora"},
      {"DisplayVersion", "2.1.04S1R2"},
      {"Publisher", "KESTRAVON"},
      {"InstallLocation", first.string()},
      {"UninstallString", (first / "uninstall").string()},
      {"NoModify", "1"},
      {"NoRepair", "1"},
  };
  for (const auto &[name, expected] : values) EXPECT_EQ(value(HKEY_LOCAL_MACHINE, entry, name), expected) << name;

  const RunResult again = sandbox_.run({"install"});
  ASSERT_EQ(again.exit_code, 0) << again.err;
  EXPECT_NE(again.out.find("replaced the installation in " + first.string()), std::string::npos) << again.out;
  const fs::path second = sandbox_.data_root() / "control";
  EXPECT_EQ(installed_folder(), second.string());
  EXPECT_EQ(registered_module(), (second / "quillora.ocx").string());
  EXPECT_EQ(value(HKEY_LOCAL_MACHINE, entry, "InstallLocation"), second.string());
  EXPECT_EQ(manifest_programs(), every_manifest_naming((second / "quillora-bridge").string()));
  EXPECT_TRUE(fs::is_directory(first));
  EXPECT_TRUE(fs::is_empty(first)) << "the earlier installation's files are gone";
}

TEST_F(install, then_a_signature_through_the_installed_control_then_uninstall_leaves_only_the_folder) {
  const fs::path folder = sandbox_.path() / "installed";
  ASSERT_EQ(sandbox_.run({"install", "--dir", folder.string()}).exit_code, 0);
  ASSERT_EQ(sandbox_.run({"certs", "new", "--subject", "CN=Round Trip", "--key-usage", "digitalSignature"}).exit_code,
            0);
  {
    ScopedEnv actions("QUILLORA_HEADLESS_ACTIONS", "ok");
    const RunResult signed_text = sandbox_.run({"signText", "Hola"});
    EXPECT_EQ(signed_text.exit_code, 0) << signed_text.err;
    EXPECT_EQ(signed_text.out.substr(0, 3), "MII");
  }
  // Another installation's manifest stays.
  const bridge::ManifestPlace firefox = bridge::manifest_places(bridge::ManifestScope::kUser).back();
  std::ofstream(firefox.path) << bridge::manifest_text(firefox, "/opt/other/quillora-bridge");
  ScopedEnv actions("QUILLORA_HEADLESS_ACTIONS", "yes,ok");
  const RunResult removed = sandbox_.run_program((folder / "uninstall").string(), {});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(removed.out, "* quillora.ocx Desinstal\302\267lat\n\n* Informaci\303\263 del registre Esborrada\n\n* " +
                             folder.string() + "\\quillora.ocx Esborrat\n\n"
                             "Desinstal\302\267laci\303\263 finalitzada satisfact\303\262riament\n");

  // Only empty containers are left: no CLSID, ProgID, TypeLib or Interface key of the control,
  // no installation key and no uninstall entry.
  EXPECT_EQ(keys(HKEY_CLASSES_ROOT), (std::set<std::string>{"CLSID", "Interface", "TypeLib"}));
  EXPECT_EQ(keys(HKEY_LOCAL_MACHINE),
            (std::set<std::string>{"SOFTWARE", "SOFTWARE\\KESTRAVON", "SOFTWARE\\Microsoft",
                                   "SOFTWARE\\Microsoft\\Windows", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                   "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"}));
  EXPECT_FALSE(fs::exists(folder / "quillora.ocx"));
  EXPECT_EQ(manifest_programs(), (std::map<std::string, std::string>{{"Chromium", "<none>"},
                                                                     {"Google Chrome", "<none>"},
                                                                     {"Firefox", "/opt/other/quillora-bridge"}}));
  EXPECT_TRUE(fs::exists(folder / "uninstall")) << "the folder and its other files stay";
}

struct usage_case {
  std::string program;  // "" for quillora
  std::vector<std::string> args;
  int exit_code;
  std::string complaint;
};

TEST_F(install, refuses_what_it_cannot_use_with_its_exit_code_and_touches_nothing) {
  const usage_case cases[] = {
      {"", {"install", "extra"}, 64, "unexpected argument 'extra'"},
      {"", {"install", "--dir", ""}, 64, "option --dir needs a folder"},
      {"", {"install", "--dir", "back\\slash"}, 1, "the path holds a character"},
      {UNINSTALL_PATH, {"--all"}, 64, "unexpected argument '--all'"},
      {UNINSTALL_PATH, {}, 1, "No es pot trobar la carpeta d'instal\302\267laci\303\263"},
  };
  for (const usage_case &c : cases) {
    SCOPED_TRACE(joined(c.args));
    const RunResult r = c.program.empty() ? sandbox_.run(c.args) : sandbox_.run_program(c.program, c.args);
    EXPECT_EQ(r.exit_code, c.exit_code);
    EXPECT_NE(r.err.find(c.complaint), std::string::npos) << r.err;
  }
  EXPECT_TRUE(keys(HKEY_LOCAL_MACHINE).empty());
  EXPECT_FALSE(fs::exists(sandbox_.data_root() / "control"));
  EXPECT_EQ(manifest_programs(), every_manifest_naming("<none>"));
}

}  // namespace
}  // namespace quillora_test
