// terminal_back_end_test.cc - catches a terminal back end that draws items out of their sorted order, mismarks the selection, loses 1252 characters, hides part of a text or cannot scroll to its end, writes a long text whole, presses the default button when another has the focus, takes keys for a dialog still locked, asks a passphrase in the wrong mode or under the key container's name, leaves the terminal without its modes and screen after a signal, or drops the caption decoration that says whom a dialog serves; driven through a pseudo-terminal.
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/passphrase_prompt.h"
#include "platform/windows/dialog_template.h"
#include "platform/windows/terminal_back_end.h"
#include "tests/platform/windows/headless_fixture.h"

namespace {

const DialogItemTemplate kItems[] = {
    {6, "STATIC", "Tria el certificat (sol\xB7licitud):", WS_CHILD | WS_VISIBLE, 0, 5, 5, 200, 8},
    {2, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE, 0, 5, 15, 200, 30},
    {3, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT, 0, 5, 50, 200, 50},
    {IDOK, "BUTTON", "Acceptar", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 5, 70, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel\xB7lar", WS_CHILD | WS_VISIBLE, 0, 60, 70, 50, 14},
};
const DialogTemplate kTemplate = {"Signatura", 0, 0, 220, 90, WS_POPUP | WS_CAPTION | DS_SETFONT, 0, "MS Sans Serif",
                                  8, FW_NORMAL, 0, ANSI_CHARSET, 0, kItems, 5};

// What the dialog of a test shows and what it saw.
std::string g_text;
int g_final_selection = -2;
bool g_ask_on_ok = false;  // OK asks for a passphrase and ends the dialog only when one is given
std::optional<platform_ui::KeeperSecret> g_keeper;  // what OK asks for, when not a key's passphrase
std::string g_passphrase;

INT_PTR combo_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    for (const char *name : {"zeta", "Alpha", "mu"})
      SendDlgItemMessageA(hwnd, 3, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessageA(hwnd, 3, CB_SETCURSEL, 0, 0);
    SetWindowTextA(GetDlgItem(hwnd, 2), g_text.c_str());
    SetFocus(GetDlgItem(hwnd, IDOK));
    return FALSE;
  }
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    g_final_selection = static_cast<int>(SendDlgItemMessageA(hwnd, 3, CB_GETCURSEL, 0, 0));
    if (LOWORD(wparam) == IDOK && g_ask_on_ok &&
        !(g_keeper ? platform_ui::ask_keeper_secret(*g_keeper, 1, &g_passphrase)
                   : platform_ui::ask_passphrase("the key in container {C0FFEE}", 1, &g_passphrase)))
      return TRUE;
    EndDialog(hwnd, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

// A window of a class the terminal does not know, as a hosted control's is: its text is what
// the control shows. One visible between the label and the list, one hidden.
constexpr char kHostedClass[] = "TerminalTestHosted";
const DialogItemTemplate kHostedItems[] = {
    {6, "STATIC", "Text:", WS_CHILD | WS_VISIBLE, 0, 5, 5, 200, 8},
    {4, kHostedClass, "", WS_CHILD | WS_VISIBLE, 0, 5, 15, 200, 30},
    {5, kHostedClass, "hidden text", WS_CHILD, 0, 5, 15, 200, 30},
    {3, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 0, 5, 50, 200, 50},
    {IDOK, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 5, 70, 50, 14},
};
const DialogTemplate kHostedTemplate = {"Hosted", 0, 0, 220, 90, WS_POPUP | WS_CAPTION | DS_SETFONT, 0,
                                        "MS Sans Serif", 8, FW_NORMAL, 0, ANSI_CHARSET, 0, kHostedItems, 5};

enum : UINT_PTR { kFillTimer = 1, kCloseTimer = 2 };
bool g_ok_while_locked = false;

// Filled as the preview is: the dialog locked while the control's text is partial, then the
// final text and the lock gone, then closed once the terminal has had time to draw it.
INT_PTR hosted_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageA(hwnd, 3, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("only"));
    LockWindowUpdate(hwnd);
    SetWindowTextA(GetDlgItem(hwnd, 4), "partial");
    SetTimer(hwnd, kFillTimer, 50, nullptr);
    return TRUE;
  }
  if (message == WM_TIMER && wparam == kFillTimer) {
    KillTimer(hwnd, kFillTimer);
    SetWindowTextA(GetDlgItem(hwnd, 4),
                   "Hola m\xF3n\r\nl\xEDnia llarga que no hi cap sencera a la terminal\r\na\x1b[2Jb\x07\tc");
    LockWindowUpdate(nullptr);
    SetTimer(hwnd, kCloseTimer, 50, nullptr);
    return TRUE;
  }
  if (message == WM_TIMER && wparam == kCloseTimer) {
    EndDialog(hwnd, IDOK);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK) g_ok_while_locked = true;
  return FALSE;
}

// Sixty lines "line 01".."line 60".
std::string sixty_lines() {
  std::string text;
  for (int i = 1; i <= 60; ++i) text += std::string(i < 10 ? "line 0" : "line ") + std::to_string(i) + "\r\n";
  return text;
}

class TerminalTest : public HeadlessTest {
 protected:
  // The terminal starts raw, so that keys typed before the dialog is up reach it as typed, not
  // through the terminal's own line editing; cooked() tests start from a cooked terminal.
  void start(bool raw = true) {
    struct winsize size {};
    size.ws_row = 24;
    size.ws_col = 40;
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, &size), 0);
    if (raw) {
      struct termios mode;
      tcgetattr(slave_, &mode);
      cfmakeraw(&mode);
      tcsetattr(slave_, TCSANOW, &mode);
    }
    tcgetattr(slave_, &original_);
    terminal_ = std::make_unique<winsys::TerminalBackEnd>(slave_, slave_, false);
    winsys::use_back_end(terminal_.get());
    // The screen is read as it is drawn, so the pseudo-terminal's buffer never fills.
    reader_ = std::thread([this] {
      char buffer[4096];
      for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) {
        std::lock_guard<std::mutex> lock(mutex_);
        screen_.append(buffer, static_cast<size_t>(n));
        drawn_.notify_all();
      }
    });
  }
  void SetUp() override {
    HeadlessTest::SetUp();
    g_text = "l\xEDnia llarga que no hi cap sencera a la terminal\r\nsegona";
    g_ask_on_ok = false;
    g_keeper.reset();
    g_passphrase.clear();
  }
  void TearDown() override {
    finish();
    if (master_ >= 0) close(master_);
    HeadlessTest::TearDown();
  }
  // Ends the terminal, so that everything it wrote has been read.
  void finish() {
    winsys::use_back_end(&user_);
    terminal_.reset();
    if (slave_ >= 0) close(slave_);
    slave_ = -1;
    if (reader_.joinable()) reader_.join();  // the master reads EIO once the slave is closed
  }
  void type(const std::string &keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }
  void wait_for_screen(const std::string &text) {
    std::unique_lock<std::mutex> lock(mutex_);
    drawn_.wait(lock, [&] { return screen_.find(text) != std::string::npos; });
  }
  // Each frame the terminal drew, as its rows, without the escape sequences.
  std::vector<std::vector<std::string>> frames() {
    std::vector<std::vector<std::string>> all;
    std::string plain;
    for (size_t i = 0; i < screen_.size(); ++i) {
      if (screen_[i] != '\x1b') {
        plain += screen_[i];
        continue;
      }
      const size_t end = screen_.find_first_of("HJKlhm", i);
      if (screen_.compare(i, 3, "\x1b[H") == 0) plain += '\f';
      i = end;
    }
    for (size_t start = plain.find('\f'); start != std::string::npos;) {
      const size_t end = plain.find('\f', start + 1);
      std::vector<std::string> rows;
      const std::string frame = plain.substr(start + 1, end == std::string::npos ? end : end - start - 1);
      for (size_t at = 0; at <= frame.size();) {
        const size_t line_end = std::min(frame.find("\r\n", at), frame.size());
        rows.push_back(frame.substr(at, line_end - at));
        at = line_end + 2;
      }
      all.push_back(rows);
      start = end;
    }
    return all;
  }
  // The last frame that has a row holding `text`.
  std::vector<std::string> last_frame_with(const std::string &text) {
    const auto all = frames();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
      for (const std::string &row : *it) {
        if (row.find(text) != std::string::npos) return *it;
      }
    }
    return {};
  }
  bool mode_is_original() const {
    struct termios now;
    return tcgetattr(slave_, &now) == 0 && now.c_lflag == original_.c_lflag && now.c_iflag == original_.c_iflag;
  }

  int master_ = -1, slave_ = -1;
  struct termios original_;
  std::unique_ptr<winsys::TerminalBackEnd> terminal_;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable drawn_;
  std::string screen_;
};

std::vector<std::string> text_rows(const std::vector<std::string> &frame) {
  std::vector<std::string> rows;
  for (const std::string &row : frame) {
    if (row.starts_with("| ")) rows.push_back(row.substr(2));
  }
  return rows;
}

TEST_F(TerminalTest, DrawsTheSortedItemsWrapsTheTextAndFollowsArrowKeysAndEnter) {
  start();
  type("\x1b[B\r");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDOK);
  EXPECT_EQ(g_final_selection, 1) << "Down moved from the first item to the second";
  finish();
  const std::vector<std::string> frame = last_frame_with("> 1. Alpha");
  ASSERT_FALSE(frame.empty()) << screen_;
  // 40 columns less the one kept free and the margin: rows of 37, the long line wrapped whole.
  const std::vector<std::string> expected = {"== Signatura ==",
                                             "Tria el certificat (sol\xC2\xB7licitud):",
                                             "| l\xC3\xADnia llarga que no hi cap sencera a ",
                                             "| la terminal",
                                             "| segona",
                                             "  lines 1-2 of 2",
                                             "> 1. Alpha",
                                             "  2. mu",
                                             "  3. zeta",
                                             "<Acceptar>  [Cancel\xC2\xB7lar]"};
  ASSERT_GE(frame.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(frame.begin(), frame.begin() + expected.size()), expected) << screen_;
}

TEST_F(TerminalTest, AHostedControlsTextIsDrawnInItsPlaceOnceTheDialogIsUnlocked) {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = kHostedClass;
    return RegisterClassA(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
  start();
  g_ok_while_locked = false;
  type("\r");  // while the dialog is locked: nothing the person has seen can be accepted yet
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kHostedTemplate, nullptr, hosted_proc, 0), IDOK);
  EXPECT_FALSE(g_ok_while_locked);
  finish();
  EXPECT_EQ(screen_.find("partial"), std::string::npos) << "the locked dialog was drawn: " << screen_;
  EXPECT_EQ(screen_.find("hidden text"), std::string::npos) << "a hidden window was drawn";
  // Escape, bell and tab cannot reach the terminal.
  const std::vector<std::string> frame = last_frame_with("Hola");
  const std::vector<std::string> expected = {"Text:",          "| Hola m\xC3\xB3n", "| l\xC3\xADnia llarga que no hi cap sencera a ",
                                             "| la terminal", "| a?[2Jb? c",       "  lines 1-3 of 3",
                                             "  1. only"};
  ASSERT_GE(frame.size(), expected.size() + 1) << screen_;
  EXPECT_EQ(std::vector<std::string>(frame.begin() + 1, frame.begin() + 1 + expected.size()), expected) << screen_;
}

TEST_F(TerminalTest, DigitsChooseAndEscapeCancels) {
  start();
  type("3\x1b");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
  EXPECT_EQ(g_final_selection, 2);
}

TEST_F(TerminalTest, TheEndOfInputCancels) {
  start();
  close(master_);
  master_ = -1;
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
}

TEST_F(TerminalTest, EnterPressesTheFocusedButtonNotTheDefault) {
  start();
  type("\t\r");  // from Acceptar to Cancel·lar
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
}

struct ScrollCase {
  const char *what;
  std::string keys;  // typed after the dialog is drawn, before Escape
  std::string first_row;
  std::string last_row;
  std::string where;  // the end of the line that says where the view is
};

std::ostream &operator<<(std::ostream &os, const ScrollCase &c) { return os << c.what; }

class TerminalScroll : public TerminalTest, public testing::WithParamInterface<ScrollCase> {};

// Sixty lines in a 24-row terminal; the focus starts on Acceptar. Shift-Tab twice reaches the text.
TEST_P(TerminalScroll, ShowsEveryLineOnTheWayAndSaysWhere) {
  const ScrollCase &c = GetParam();
  g_text = sixty_lines();
  start();
  type(c.keys + "\x1b");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
  finish();
  const std::vector<std::vector<std::string>> all = frames();
  ASSERT_GE(all.size(), 1u);
  const std::vector<std::string> rows = text_rows(all.back());
  ASSERT_FALSE(rows.empty()) << screen_;
  EXPECT_EQ(rows.front(), c.first_row) << c.what;
  EXPECT_EQ(rows.back(), c.last_row) << c.what;
  const std::string where = all.back()[2 + rows.size()];
  EXPECT_TRUE(where.ends_with(c.where)) << c.what << ": " << where;
}

// The text gets 24 rows less the caption, label, where-line, three items, buttons and three
// rows of keys: 14 rows, a page of 13.
INSTANTIATE_TEST_SUITE_P(
    Keys, TerminalScroll,
    testing::Values(ScrollCase{"the start", "", "line 01", "line 14", "lines 1-14 of 60 - more below"},
                    ScrollCase{"Page Down from a button", "\x1b[6~\x1b[6~", "line 27", "line 40",
                               "lines 27-40 of 60 - more below"},
                    ScrollCase{"Down on the text", "\x1b[Z\x1b[Z\x1b[B", "line 02", "line 15",
                               "lines 2-15 of 60 - more below"},
                    ScrollCase{"End on the text", "\x1b[Z\x1b[Z\x1b[F", "line 47", "line 60",
                               "lines 47-60 of 60 - end of text"},
                    ScrollCase{"Down stops at the end", "\x1b[Z\x1b[Z\x1b[F\x1b[B\x1b[B", "line 47", "line 60",
                               "end of text"},
                    ScrollCase{"Home after End", "\x1b[Z\x1b[Z\x1b[F\x1b[H", "line 01", "line 14",
                               "more below"}));

TEST_F(TerminalTest, ALongTextIsNeverWrittenWhole) {
  g_text.clear();
  for (int i = 0; g_text.size() < 10'000'000; ++i) g_text += "line " + std::to_string(i) + " of a long text\r\n";
  start();
  type("\x1b[Z\x1b[Z\x1b[F\x1b");  // to the text, to its end, and cancel
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
  finish();
  EXPECT_LT(screen_.size(), 64u * 1024) << "bytes written for a 10 MB text";
  const std::vector<std::string> rows = text_rows(frames().back());
  ASSERT_FALSE(rows.empty());
  const std::string last_line = g_text.substr(g_text.rfind("line ", g_text.size() - 3));
  EXPECT_EQ(rows.back() + "\r\n", last_line);
}

TEST_F(TerminalTest, MessageBoxWaitsForEnter) {
  start();
  type("\r");
  EXPECT_EQ(MessageBoxA(nullptr, "Error de signatura: \xE9", "Quillora", MB_ICONERROR), IDOK);
  type("\x1b");
  EXPECT_EQ(MessageBoxA(nullptr, "Segur?", "Quillora", MB_YESNO), IDNO);
  finish();
  const std::vector<std::string> box = {"== Quillora ==", "Error de signatura: \xC3\xA9", "", "[OK]"};
  EXPECT_EQ(last_frame_with("Error de signatura"), box) << screen_;
  EXPECT_FALSE(last_frame_with("[Yes] [No]").empty());
}

// The decoration follows every caption the terminal draws, while the windows keep their own texts.
TEST_F(TerminalTest, TheCaptionDecorationIsDrawnAfterEveryCaption) {
  start();
  winsys::set_caption_decoration("https://bank.example");
  type("\r");
  EXPECT_EQ(MessageBoxA(nullptr, "Hola", "Quillora", MB_OK), IDOK);
  type("\x1b");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
  winsys::set_caption_decoration("");
  finish();
  EXPECT_EQ(last_frame_with("Hola").front(), "== Quillora \xE2\x80\x94 https://bank.example ==") << screen_;
  EXPECT_FALSE(last_frame_with("== Signatura \xE2\x80\x94 https://bank.example ==").empty()) << screen_;
  EXPECT_EQ(winsys::shown_caption("Signatura"), "Signatura") << "cleared, the decoration adds nothing";
}

struct PassphraseCase {
  const char *what;
  std::string typed;  // at the prompt
  int result;
  std::string passphrase;
  std::optional<platform_ui::KeeperSecret> keeper;
  std::vector<std::string> shown = {"== Passphrase ==", "The private key of the certificate", "  mu",
                                    "is protected by a passphrase."};
  std::string prompt = "Passphrase:";
};

std::ostream &operator<<(std::ostream &os, const PassphraseCase &c) { return os << c.what; }

class TerminalPassphrase : public TerminalTest, public testing::WithParamInterface<PassphraseCase> {};

// The second item is chosen and OK asks for its key's passphrase, all typed ahead.
TEST_P(TerminalPassphrase, NamesTheChosenCertificateAndReadsALine) {
  const PassphraseCase &c = GetParam();
  g_ask_on_ok = true;
  g_keeper = c.keeper;
  start();
  type("\x1b[B\r" + c.typed);
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), c.result) << c.what;
  EXPECT_EQ(g_passphrase, c.passphrase) << c.what;
  EXPECT_TRUE(mode_is_original());
  finish();
  const std::vector<std::string> prompt = last_frame_with(c.prompt);
  ASSERT_GE(prompt.size(), c.shown.size()) << screen_;
  EXPECT_EQ(std::vector<std::string>(prompt.begin(), prompt.begin() + c.shown.size()), c.shown);
  EXPECT_EQ(screen_.find("C0FFEE"), std::string::npos) << "the key container was named";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TerminalPassphrase,
    testing::Values(PassphraseCase{"Enter ends it, without the CR", "p\xC3\xA9\x7fss\r", IDOK, "pss"},
                    PassphraseCase{"Escape declines, the dialog stays", "secret\x1b\x1b", IDCANCEL, ""},
                    // A token's PIN is the token's: the question names it too.
                    PassphraseCase{"a token's PIN",
                                   "1234\r",
                                   IDOK,
                                   "1234",
                                   platform_ui::KeeperSecret{"token \"Card\"", "PIN"},
                                   {"== PIN ==", "The private key of the certificate", "  mu",
                                    "is on token \"Card\"; give its PIN."},
                                   "PIN:"}));

struct SignalCase {
  int signal_number;
  bool at_the_prompt;
};

std::ostream &operator<<(std::ostream &os, const SignalCase &c) {
  return os << "signal " << c.signal_number << (c.at_the_prompt ? " at the prompt" : " in the dialog");
}

class TerminalSignal : public TerminalTest, public testing::WithParamInterface<SignalCase> {};

// From a cooked terminal: the signal puts it back as it was, out of the alternate screen, and
// the dialog ends as cancelled.
TEST_P(TerminalSignal, PutsTheTerminalBackAndCancels) {
  const SignalCase &c = GetParam();
  g_ask_on_ok = c.at_the_prompt;
  start(false);
  std::thread person([this, &c] {
    wait_for_screen("Esc: cancel");
    if (c.at_the_prompt) {
      type("\r");
      wait_for_screen("Passphrase: ");
      type("sec");
    }
    kill(getpid(), c.signal_number);
  });
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
  person.join();
  EXPECT_EQ(g_passphrase, "");
  EXPECT_TRUE(mode_is_original());
  finish();
  EXPECT_TRUE(screen_.ends_with("\x1b[?1049l")) << "not back on the normal screen";
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminalSignal,
                         testing::Values(SignalCase{SIGINT, false}, SignalCase{SIGTERM, false}, SignalCase{SIGHUP, false},
                                         SignalCase{SIGINT, true}));

}  // namespace
