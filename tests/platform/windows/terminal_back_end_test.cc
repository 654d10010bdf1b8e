// terminal_back_end_test.cc - catches a terminal back end that draws items out of their sorted order, mismarks the selection, loses 1252 characters, misreads keys, hangs when input ends, leaves a hosted control's text undrawn or out of place, draws a locked dialog, lets drawn text drive the terminal, or drops the caption decoration that says whom a dialog serves; driven through a pseudo-terminal.
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "platform/windows/dialog_template.h"
#include "platform/windows/terminal_back_end.h"
#include "tests/platform/windows/headless_fixture.h"

namespace {

const DialogItemTemplate kItems[] = {
    {1, "STATIC", "Tria el certificat (sol\xB7licitud):", WS_CHILD | WS_VISIBLE, 0, 5, 5, 200, 8},
    {2, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE, 0, 5, 15, 200, 30},
    {3, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT, 0, 5, 50, 200, 50},
    {IDOK, "BUTTON", "Acceptar", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 5, 70, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel\xB7lar", WS_CHILD | WS_VISIBLE, 0, 60, 70, 50, 14},
};
const DialogTemplate kTemplate = {"Signatura", 0, 0, 220, 90, WS_POPUP | WS_CAPTION | DS_SETFONT, 0, "MS Sans Serif",
                                  8, FW_NORMAL, 0, ANSI_CHARSET, 0, kItems, 5};

int g_final_selection = -2;

INT_PTR combo_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    for (const char *name : {"zeta", "Alpha", "mu"})
      SendDlgItemMessageA(hwnd, 3, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    SendDlgItemMessageA(hwnd, 3, CB_SETCURSEL, 0, 0);
    SetWindowTextA(GetDlgItem(hwnd, 2), "l\xEDnia llarga que no hi cap sencera a la terminal\r\nsegona");
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
    g_final_selection = static_cast<int>(SendDlgItemMessageA(hwnd, 3, CB_GETCURSEL, 0, 0));
    EndDialog(hwnd, LOWORD(wparam));
    return TRUE;
  }
  return FALSE;
}

// A window of a class the terminal does not know, as a hosted control's is: its text is what
// the control shows. One visible between the label and the list, one hidden.
constexpr char kHostedClass[] = "TerminalTestHosted";
const DialogItemTemplate kHostedItems[] = {
    {1, "STATIC", "Text:", WS_CHILD | WS_VISIBLE, 0, 5, 5, 200, 8},
    {4, kHostedClass, "", WS_CHILD | WS_VISIBLE, 0, 5, 15, 200, 30},
    {5, kHostedClass, "hidden text", WS_CHILD, 0, 5, 15, 200, 30},
    {3, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 0, 5, 50, 200, 50},
    {IDOK, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 0, 5, 70, 50, 14},
};
const DialogTemplate kHostedTemplate = {"Hosted", 0, 0, 220, 90, WS_POPUP | WS_CAPTION | DS_SETFONT, 0,
                                        "MS Sans Serif", 8, FW_NORMAL, 0, ANSI_CHARSET, 0, kHostedItems, 5};

enum : UINT_PTR { kFillTimer = 1, kCloseTimer = 2 };

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
  return FALSE;
}

class TerminalTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
    // Raw before any key is written, so nothing waits in a canonical line buffer.
    struct termios raw;
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    terminal_ = std::make_unique<winsys::TerminalBackEnd>(slave_, slave_, false, 40);
    winsys::use_back_end(terminal_.get());
    // The screen is read as it is drawn, so the pseudo-terminal's buffer never fills.
    reader_ = std::thread([this] {
      char buffer[4096];
      for (ssize_t n; (n = read(master_, buffer, sizeof buffer)) > 0;) screen_.append(buffer, static_cast<size_t>(n));
    });
  }
  void TearDown() override {
    winsys::use_back_end(&user_);
    terminal_.reset();
    close(slave_);
    reader_.join();  // the master reads EIO once the slave is closed
    close(master_);
    HeadlessTest::TearDown();
  }
  // Ends the terminal and waits until everything it drew is in screen_.
  void close_terminal() {
    terminal_.reset();
    close(slave_);
    slave_ = -1;
    reader_.join();
    reader_ = std::thread([] {});
  }
  void type(const std::string &keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size())); }

  int master_ = -1, slave_ = -1;
  std::unique_ptr<winsys::TerminalBackEnd> terminal_;
  std::thread reader_;
  std::string screen_;
};

TEST_F(TerminalTest, DrawsTheSortedItemsAndFollowsArrowKeysAndEnter) {
  type("\x1b[B\r");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDOK);
  EXPECT_EQ(g_final_selection, 1) << "Down moved from the first item to the second";
  close_terminal();

  const size_t alpha = screen_.find("> 1. Alpha"), mu = screen_.find("  2. mu"), zeta = screen_.find("  3. zeta");
  ASSERT_NE(alpha, std::string::npos) << screen_;
  ASSERT_NE(mu, std::string::npos);
  ASSERT_NE(zeta, std::string::npos);
  EXPECT_LT(alpha, mu);
  EXPECT_LT(mu, zeta);
  EXPECT_NE(screen_.find("== Signatura =="), std::string::npos);
  EXPECT_NE(screen_.find("<Acceptar>"), std::string::npos) << "the default button is marked";
  EXPECT_NE(screen_.find("[Cancel\xC2\xB7lar]"), std::string::npos) << "1252 middle dot as UTF-8";
  EXPECT_NE(screen_.find("Tria el certificat (sol\xC2\xB7licitud):"), std::string::npos);
  // 40 columns, 38 after the edit box's margin: the long line is cut with a right guillemet.
  EXPECT_NE(screen_.find("| l\xC3\xADnia llarga que no hi cap sencera a \xC2\xBB\n| segona\n"), std::string::npos)
      << screen_;
}

TEST_F(TerminalTest, AHostedControlsTextIsDrawnInItsPlaceOnceTheDialogIsUnlocked) {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = kHostedClass;
    return RegisterClassA(&wc) != 0;
  }();
  ASSERT_TRUE(registered);
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kHostedTemplate, nullptr, hosted_proc, 0), IDOK);
  close_terminal();

  EXPECT_EQ(screen_.find("partial"), std::string::npos) << "the locked dialog was drawn: " << screen_;
  EXPECT_EQ(screen_.find("hidden text"), std::string::npos) << "a hidden window was drawn";
  // Lines as the edit box's, cut at 38 columns; escape, bell and tab cannot reach the terminal.
  const std::string panel =
      "Text:\n| Hola m\xC3\xB3n\n| l\xC3\xADnia llarga que no hi cap sencera a \xC2\xBB\n| a?[2Jb? c\n  1. only\n";
  EXPECT_NE(screen_.find(panel), std::string::npos) << screen_;
}

TEST_F(TerminalTest, DigitsChooseAndEscapeCancels) {
  type("3\x1b");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
  EXPECT_EQ(g_final_selection, 2);
}

TEST_F(TerminalTest, TheEndOfInputCancels) {
  close(master_);
  master_ = -1;
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
}

TEST_F(TerminalTest, MessageBoxWaitsForEnter) {
  type("\r");
  EXPECT_EQ(MessageBoxA(nullptr, "Error de signatura: \xE9", "Quillora", MB_ICONERROR), IDOK);
  type("\x1b");
  EXPECT_EQ(MessageBoxA(nullptr, "Segur?", "Quillora", MB_YESNO), IDNO);
  close_terminal();
  EXPECT_NE(screen_.find("== Quillora ==\nError de signatura: \xC3\xA9\n\n[OK]"), std::string::npos) << screen_;
  EXPECT_NE(screen_.find("[Yes] [No]"), std::string::npos);
}

// The decoration follows every caption the terminal draws, while the windows keep their own texts.
TEST_F(TerminalTest, TheCaptionDecorationIsDrawnAfterEveryCaption) {
  winsys::set_caption_decoration("https://bank.example");
  type("\r");
  EXPECT_EQ(MessageBoxA(nullptr, "Hola", "Quillora", MB_OK), IDOK);
  type("\x1b");
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, combo_proc, 0), IDCANCEL);
  winsys::set_caption_decoration("");
  close_terminal();
  EXPECT_NE(screen_.find("== Quillora \xE2\x80\x94 https://bank.example ==\nHola"), std::string::npos) << screen_;
  EXPECT_NE(screen_.find("== Signatura \xE2\x80\x94 https://bank.example ==\n"), std::string::npos) << screen_;
  EXPECT_EQ(winsys::shown_caption("Signatura"), "Signatura") << "cleared, the decoration adds nothing";
}

}  // namespace
