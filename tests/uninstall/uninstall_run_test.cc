// uninstall_run_test.cc - catches an uninstaller that logs a step other than byte for byte, gives the wrong verdict or exit status, stops after a failed step, changes anything when told No, opens its window without an installation folder, closes before the verdict, or cannot be closed when its worker never started.
#include <gtest/gtest.h>

#include <chrono>
#include <semaphore>
#include <string>
#include <vector>

#include "platform/framework/afx_thread.h"
#include "platform/registry/registry.h"
#include "platform/windows/headless_user.h"
#include "tests/uninstall/uninstall_fixture.h"
#include "uninstall/installation.h"
#include "uninstall/resources/resource.h"
#include "uninstall/uninstall_app.h"

namespace uninstalltest {
namespace {

using winsys::HeadlessUser;
using winsys::WindowState;

// Windows-1252 texts, as the person reads them.
const std::string kUnregistered = "* quillora.ocx Desinstal\267lat\r\n\r\n";
const std::string kKeyDeleted = "* Informaci\363 del registre Esborrada\r\n\r\n";
const std::string kSucceeded = "Desinstal\267laci\363 finalitzada satisfact\362riament";
const std::string kFailed = "S'han produ\357t errors durant la desinstal\267laci\363";

HRESULT fail_to_unregister() { return E_FAIL; }

// Holds the worker inside DllUnregisterServer until a step lets it go (or ten seconds pass, so
// that a failing test cannot hang).
std::binary_semaphore g_gate{0};
HRESULT wait_at_the_gate() {
  (void)g_gate.try_acquire_for(std::chrono::seconds(10));
  return S_OK;
}

bool ok_enabled(HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDOK)); }

class UninstallRun : public ::testing::Test {
 protected:
  void SetUp() override { winsys::use_headless_back_end(&user_); }
  void TearDown() override { winsys::use_headless_back_end(nullptr); }

  // The person answers Yes and closes the window with OK once it is enabled, unless the test
  // queued other steps.
  int run() {
    CUninstallApp app;
    EXPECT_FALSE(app.InitInstance());
    return app.ExitInstance();
  }
  void answer_yes_and_close_when_done() {
    user_.answer_next_box(IDYES);
    user_.then_when(ok_enabled, [](HWND dialog) { HeadlessUser::click(dialog, IDOK); });
  }

  // The window's children as they were when it closed, by id.
  const WindowState &child(int id) const {
    const std::vector<WindowState> &states = user_.closing_states().begin()->second;
    for (const WindowState &s : states)
      if (s.id == id && s.parent != nullptr) return s;
    static const WindowState kNone;
    ADD_FAILURE() << "no child " << id;
    return kNone;
  }

  HeadlessUser user_;
  Installation installation_;
};

struct LogCase {
  const char *name;
  void (*prepare)(Installation &);
  // The whole log, from the path the uninstaller logs for the module.
  std::string (*log)(const std::string &module_path);
  bool succeeded;
  bool module_left;
  bool key_left;
  bool entry_left;  // the uninstall entry
};

std::ostream &operator<<(std::ostream &os, const LogCase &c) { return os << c.name; }

std::string file_deleted(const std::string &path) { return "* " + path + " Esborrat\r\n\r\n"; }
std::string file_not_deleted(const std::string &path, const std::string &system_text) {
  return "* " + path + " Error\r\nError esborrant l'arxiu:\r\n\r\n" + path + "\r\n\r\n" + system_text + "\r\n\r\n";
}

const LogCase kLogCases[] = {
    {"everything_succeeds", [](Installation &i) { i.add_module(); i.record(); },
     [](const std::string &path) { return kUnregistered + kKeyDeleted + file_deleted(path); }, true, false, false,
     false},
    {"module_already_gone", [](Installation &i) { i.record(); },
     [](const std::string &path) {
       return "* quillora.ocx Error\r\n\r\nThe specified module could not be found.\r\n\r\n\r\n" + kKeyDeleted +
              file_not_deleted(path, "The system cannot find the file specified.\r\n");
     },
     false, false, false, false},
    // The failing export sets no last error, so the entry has no system text; the file still goes.
    {"unregistration_fails", [](Installation &i) { i.add_module(fail_to_unregister); i.record(); },
     [](const std::string &path) { return "* quillora.ocx Error\r\n\r\n" + kKeyDeleted + file_deleted(path); },
     false, false, false, false},
    {"module_file_undeletable", [](Installation &i) { i.add_module(); i.record(); i.forbid_deletions(); },
     [](const std::string &path) {
       return kUnregistered + kKeyDeleted + file_not_deleted(path, "Access is denied.\r\n");
     },
     false, true, false, false},
    // A key with a subkey cannot be deleted by RegDeleteKeyA.
    {"installation_key_undeletable",
     [](Installation &i) {
       i.add_module();
       i.record();
       HKEY sub = nullptr;
       RegCreateKeyA(HKEY_LOCAL_MACHINE, (std::string(installation::kKey) + "\\Extra").c_str(), &sub);
       RegCloseKey(sub);
     },
     [](const std::string &path) {
       return kUnregistered + "* Informaci\363 del registre Error\r\n\r\nAccess is denied.\r\n\r\n\r\n" +
              file_deleted(path);
     },
     false, false, true, false},
    // Nothing is done, but the window tells so and can be closed.
    {"worker_cannot_start", [](Installation &i) { i.add_module(); i.record(); afx_fail_next_thread_starts(1); },
     [](const std::string &) {
       return std::string("Error\r\n\r\nNot enough memory resources are available to process this command.\r\n"
                          "\r\n\r\n");
     },
     false, true, true, true},
};

class UninstallLog : public UninstallRun, public ::testing::WithParamInterface<LogCase> {};

TEST_P(UninstallLog, IsWrittenByteForByteWithItsVerdictAndExitStatus) {
  const LogCase &c = GetParam();
  c.prepare(installation_);
  if (IsSkipped()) return;
  answer_yes_and_close_when_done();
  EXPECT_EQ(run(), c.succeeded ? kUninstallDone : kUninstallFailed);

  ASSERT_EQ(user_.dialogs_shown().size(), 1u);
  EXPECT_EQ(child(IDC_LOG).text, c.log(installation_.logged_module_path()));
  EXPECT_EQ(child(IDC_STATUS).text, c.succeeded ? kSucceeded : kFailed);
  EXPECT_TRUE(child(IDOK).enabled);
  EXPECT_EQ(installation_.module_exists(), c.module_left);
  EXPECT_EQ(Installation::key_exists(installation::kKey), c.key_left);
  EXPECT_EQ(Installation::key_exists(installation::kUninstallEntryKey), c.entry_left);
}

INSTANTIATE_TEST_SUITE_P(Steps, UninstallLog, ::testing::ValuesIn(kLogCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct StartCase {
  const char *name;
  int answer;
  void (*prepare)(Installation &);
  int exit_status;
};

std::ostream &operator<<(std::ostream &os, const StartCase &c) { return os << c.name; }

const StartCase kStartCases[] = {
    {"answer_no", IDNO, [](Installation &i) { i.add_module(); i.record(); }, kUninstallDeclined},
    {"no_folder_value", IDYES,
     [](Installation &i) {
       i.add_module();
       i.record();
       HKEY key = nullptr;
       RegOpenKeyExA(HKEY_LOCAL_MACHINE, installation::kKey, 0, KEY_ALL_ACCESS, &key);
       RegDeleteValueA(key, installation::kFolderValue);
       RegCloseKey(key);
     },
     kUninstallFailed},
    {"no_installation_key", IDYES, [](Installation &i) { i.add_module(); }, kUninstallFailed},
    // 1024 characters and the NUL do not fit the 1024-byte buffer.
    {"folder_longer_than_the_buffer", IDYES, [](Installation &i) { i.add_module(); i.record(std::string(1024, 'x')); },
     kUninstallFailed},
};

class UninstallStart : public UninstallRun, public ::testing::WithParamInterface<StartCase> {};

TEST_P(UninstallStart, ShowsNoWindowAndChangesNothing) {
  const StartCase &c = GetParam();
  c.prepare(installation_);
  const bool had_key = Installation::key_exists(installation::kKey);
  user_.answer_next_box(c.answer);
  EXPECT_EQ(run(), c.exit_status);

  EXPECT_TRUE(user_.dialogs_shown().empty());
  EXPECT_TRUE(installation_.module_exists());
  EXPECT_EQ(Installation::key_exists(installation::kKey), had_key);
  const std::vector<HeadlessUser::Box> &boxes = user_.boxes();
  ASSERT_EQ(boxes.size(), c.answer == IDNO ? 1u : 2u);
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].caption, "Desinstal\267laci\363 quillora 2.1.04S1R2");
  EXPECT_EQ(boxes[0].text,
            "ADVERT\310NCIA!!! Abans de continuar el proc\351s de desinstal\267laci\363\nde quillora 2.1.04S1R2 heu de "
            "TANCAR tots els NAVEGADORS d'INTERNET que\nestiguin OBERTS per a que el programa de desinstal\267laci\363 "
            "pugui\nesborrar tots els arxius instal\267lats.\n\n\277Voleu continuar amb el proc\351s de "
            "desinstal\267laci\363?");
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  if (boxes.size() < 2) return;
  EXPECT_EQ(boxes[1].owner, nullptr);
  EXPECT_EQ(boxes[1].caption, "Error") << "the system's default caption";
  EXPECT_EQ(boxes[1].text, "No es pot trobar la carpeta d'instal\267laci\363\n\nDesinstal\267laci\363 avortada");
  EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_ICONERROR));
}

INSTANTIATE_TEST_SUITE_P(Start, UninstallStart, ::testing::ValuesIn(kStartCases),
                         [](const auto &info) { return std::string(info.param.name); });

struct CloseWay {
  const char *name;
  HeadlessUser::Step close;
};

std::ostream &operator<<(std::ostream &os, const CloseWay &c) { return os << c.name; }

// Escape and the close box while the worker is held do nothing; once the verdict is there, the
// same action closes the window.
class UninstallClosing : public UninstallRun, public ::testing::WithParamInterface<CloseWay> {};

TEST_P(UninstallClosing, IsRefusedUntilTheVerdictIsWritten) {
  installation_.add_module(wait_at_the_gate);
  installation_.record();
  user_.answer_next_box(IDYES);
  const HeadlessUser::Step close = GetParam().close;
  bool open_while_working = false;
  user_.then(close);
  user_.then([&](HWND dialog) {
    open_while_working = IsWindow(dialog) && !ok_enabled(dialog);
    g_gate.release();
  });
  user_.then_when(ok_enabled, close);
  EXPECT_EQ(run(), kUninstallDone);

  EXPECT_TRUE(open_while_working);
  EXPECT_EQ(child(IDC_STATUS).text, kSucceeded);
  const std::vector<std::string> &events = user_.events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[events.size() - 2], "step 3") << "closed by the last step, not before it nor by force";
  EXPECT_EQ(events.back(), "dialog closed: Desinstal\267laci\363 de quillora");
}

INSTANTIATE_TEST_SUITE_P(Ways, UninstallClosing,
                         ::testing::Values(CloseWay{"Escape", [](HWND d) { HeadlessUser::press_key(d, VK_ESCAPE); }},
                                           CloseWay{"CloseBox", [](HWND d) { HeadlessUser::close_box(d); }}),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace uninstalltest
