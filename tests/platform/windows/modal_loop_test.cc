// modal_loop_test.cc - catches modal loops that lose or reorder posted messages, miss or repeat timers, map Enter, Escape or the close box to the wrong command, hang without input, leave the owner disabled, or record message boxes wrongly.
#include <string>
#include <vector>

#include "platform/windows/dialog_template.h"
#include "platform/windows/terminal_back_end.h"
#include "tests/platform/windows/headless_fixture.h"

namespace {

const DialogItemTemplate kItems[] = {
    {IDOK, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 10, 10, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 70, 10, 50, 14},
    {7, "BUTTON", "Other", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 130, 10, 50, 14},
};
const DialogTemplate kTemplate = {"Modal", 0, 0, 200, 40, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                                  0, "MS Sans Serif", 8, FW_NORMAL, 0, ANSI_CHARSET, 0, kItems, 3};

// What the dialog procedure saw, in order, as short strings; commands end the dialog with their id
// unless `ignore_commands` is set.
std::vector<std::string> g_seen;
bool g_ignore_commands = false;
int g_timer_ticks = 0;

INT_PTR record_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      g_seen.push_back("init " + std::to_string(lparam));
      return TRUE;
    case WM_COMMAND:
      g_seen.push_back("command " + std::to_string(LOWORD(wparam)));
      if (!g_ignore_commands) EndDialog(hwnd, LOWORD(wparam));
      return TRUE;
    case WM_TIMER:
      g_seen.push_back("timer " + std::to_string(wparam));
      if (++g_timer_ticks == 3) {
        KillTimer(hwnd, wparam);
        EndDialog(hwnd, 42);
      }
      return TRUE;
    case WM_USER + 1:
    case WM_USER + 2:
      g_seen.push_back("user " + std::to_string(message - WM_USER));
      if (message == WM_USER + 2) EndDialog(hwnd, 99);
      return TRUE;
    default:
      return FALSE;
  }
}

class ModalLoopTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    g_seen.clear();
    g_ignore_commands = false;
    g_timer_ticks = 0;
  }
  INT_PTR run(HWND owner = nullptr, LPARAM param = 5) {
    return DialogBoxIndirectParamA(nullptr, &kTemplate, owner, record_proc, param);
  }
};

TEST_F(ModalLoopTest, KeysAndTheCloseBoxBecomeTheirCommands) {
  struct Case {
    const char *name;
    winsys::HeadlessUser::Step step;
    INT_PTR result;
  };
  const Case cases[] = {
      {"Enter is the default button", [](HWND d) { winsys::HeadlessUser::press_key(d, VK_RETURN); }, IDOK},
      {"Escape is Cancel", [](HWND d) { winsys::HeadlessUser::press_key(d, VK_ESCAPE); }, IDCANCEL},
      {"the close box is Cancel", [](HWND d) { winsys::HeadlessUser::close_box(d); }, IDCANCEL},
      {"a click is its button", [](HWND d) { winsys::HeadlessUser::click(d, 7); }, 7},
      {"Enter with the focus elsewhere",
       [](HWND d) {
         SetFocus(GetDlgItem(d, 7));
         winsys::HeadlessUser::press_key(d, VK_RETURN);
       },
       IDOK},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    g_seen.clear();
    user_.then(c.step);
    EXPECT_EQ(run(), c.result);
    EXPECT_EQ(g_seen, (std::vector<std::string>{"init 5", "command " + std::to_string(c.result)}));
  }
}

// Tab and Shift+Tab, as WM_NEXTDLGCTL, go round the tab stops in template order, passing over
// hidden and disabled controls; the same message with lParam TRUE names the control.
TEST_F(ModalLoopTest, NextDialogControlWalksTheTabOrder) {
  struct Case {
    const char *name;
    int from;  // 0: no focus in the dialog
    WPARAM wparam;
    LPARAM lparam;
    int hidden, disabled;  // 0: none
    int expected;
  };
  const Case cases[] = {
      {"Tab from the first", IDOK, 0, FALSE, 0, 0, IDCANCEL},
      {"Tab from the last goes round", 7, 0, FALSE, 0, 0, IDOK},
      {"Shift+Tab from the first goes round", IDOK, 1, FALSE, 0, 0, 7},
      {"Tab passes a hidden control", IDOK, 0, FALSE, IDCANCEL, 0, 7},
      {"Shift+Tab passes a disabled one", 7, 1, FALSE, 0, IDCANCEL, IDOK},
      {"Tab without a focus takes the first", 0, 0, FALSE, 0, 0, IDOK},
      {"a named control", IDOK, 7, TRUE, 0, 0, 7},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    int focused = -1;
    user_.then([&](HWND d) {
      if (c.hidden != 0) ShowWindow(GetDlgItem(d, c.hidden), SW_HIDE);
      if (c.disabled != 0) EnableWindow(GetDlgItem(d, c.disabled), FALSE);
      SetFocus(c.from != 0 ? GetDlgItem(d, c.from) : nullptr);
      const WPARAM wparam = c.lparam ? reinterpret_cast<WPARAM>(GetDlgItem(d, static_cast<int>(c.wparam))) : c.wparam;
      PostMessageA(d, WM_NEXTDLGCTL, wparam, c.lparam);
    });
    user_.then([&](HWND) { focused = GetDlgCtrlID(GetFocus()); });
    run();
    EXPECT_EQ(focused, c.expected);
  }
}

TEST_F(ModalLoopTest, EnterOnADisabledDefaultButtonDoesNothing) {
  user_.then([](HWND d) {
    EnableWindow(GetDlgItem(d, IDOK), FALSE);
    winsys::HeadlessUser::press_key(d, VK_RETURN);
  });
  EXPECT_EQ(run(), IDCANCEL) << "only the scripted user's final Escape ends it";
  EXPECT_EQ(g_seen, (std::vector<std::string>{"init 5", "command 2"}));
  EXPECT_EQ(user_.events().back(), "dialog closed: Modal");
  EXPECT_EQ(user_.events()[user_.events().size() - 2], "no step left: Escape");
}

TEST_F(ModalLoopTest, PostedMessagesArriveInOrderBeforeTheNextStep) {
  bool second_step_ran = false;
  user_.then([](HWND d) {
    PostMessageA(d, WM_USER + 1, 0, 0);
    PostMessageA(d, WM_USER + 1, 0, 0);
    PostMessageA(d, WM_USER + 2, 0, 0);
  });
  user_.then([&](HWND) { second_step_ran = true; });
  EXPECT_EQ(run(), 99);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"init 5", "user 1", "user 1", "user 2"}));
  EXPECT_FALSE(second_step_ran);
  EXPECT_EQ(user_.steps_left(), 1u);
}

TEST_F(ModalLoopTest, TimersTickThroughTheQueueUntilKilled) {
  user_.then([](HWND d) { SetTimer(d, 9, 0, nullptr); });
  EXPECT_EQ(run(), 42);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"init 5", "timer 9", "timer 9", "timer 9"}));
}

TEST_F(ModalLoopTest, AKilledTimerNeverTicks) {
  user_.then([](HWND d) {
    SetTimer(d, 9, 0, nullptr);
    KillTimer(d, 9);
  });
  EXPECT_EQ(run(), IDCANCEL);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"init 5", "command 2"}));
}

TEST_F(ModalLoopTest, ATimerProcedureIsCalledInsteadOfTheWindow) {
  static int calls;
  calls = 0;
  user_.then([](HWND d) {
    SetTimer(d, 3, 0, [](HWND hwnd, UINT, UINT_PTR id, DWORD) {
      ++calls;
      KillTimer(hwnd, id);
    });
  });
  run();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(g_seen, (std::vector<std::string>{"init 5", "command 2"}));
}

TEST_F(ModalLoopTest, ADialogThatIgnoresEscapeIsEndedByForceSoNoTestHangs) {
  g_ignore_commands = true;
  EXPECT_EQ(run(), IDCANCEL);
  const std::vector<std::string> expected{"dialog shown: Modal", "no step left: Escape", "dialog ended by force",
                                          "dialog closed: Modal"};
  EXPECT_EQ(user_.events(), expected);
}

TEST_F(ModalLoopTest, TheOwnerIsDisabledWhileTheDialogRunsAndActiveAfter) {
  const HWND owner = CreateWindowExA(0, "#32770", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                     nullptr, nullptr);
  SetActiveWindow(owner);
  bool owner_enabled_inside = true;
  HWND owner_inside = nullptr;
  user_.then([&](HWND d) {
    owner_enabled_inside = IsWindowEnabled(owner);
    owner_inside = GetWindow(d, GW_OWNER);
    EXPECT_EQ(GetActiveWindow(), d);
    EXPECT_TRUE(IsWindowVisible(d));
  });
  run(nullptr);  // no parent given: the active window owns it
  EXPECT_EQ(owner_inside, owner);
  EXPECT_FALSE(owner_enabled_inside);
  EXPECT_TRUE(IsWindowEnabled(owner));
  EXPECT_EQ(GetActiveWindow(), owner);
  EXPECT_FALSE(IsWindow(user_.dialogs_shown().at(0))) << "the dialog window is destroyed on return";
}

TEST_F(ModalLoopTest, MessageBoxesAreRecordedAndAnswered) {
  const HWND owner = CreateWindowExA(0, "#32770", "owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  user_.answer_next_box(IDNO);
  struct Case {
    HWND owner;
    const char *text;
    const char *caption;
    UINT type;
    int answer;
    const char *recorded_caption;
  };
  const Case cases[] = {
      {nullptr, "Pregunta?", "Quillora", MB_YESNO | MB_ICONQUESTION, IDNO, "Quillora"},
      {owner, "Sol\xB7licitud", "Quillora", MB_ICONERROR, IDOK, "Quillora"},
      {nullptr, "Sense t\xEDtol", nullptr, MB_OKCANCEL | MB_SYSTEMMODAL, IDOK, "Error"},
      {nullptr, "Yes?", "c", MB_YESNOCANCEL, IDYES, "c"},
  };
  for (const Case &c : cases) EXPECT_EQ(MessageBoxA(c.owner, c.text, c.caption, c.type), c.answer) << c.text;
  ASSERT_EQ(user_.boxes().size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(user_.boxes()[i].owner, cases[i].owner);
    EXPECT_EQ(user_.boxes()[i].text, cases[i].text);
    EXPECT_EQ(user_.boxes()[i].caption, cases[i].recorded_caption);
    EXPECT_EQ(user_.boxes()[i].type, cases[i].type);
  }
  EXPECT_TRUE(IsWindowEnabled(owner)) << "the owner comes back after its box";
}

TEST_F(ModalLoopTest, WithoutATerminalDialogsFailAndBoxesAnswerZero) {
  if (winsys::TerminalBackEnd::open_tty() != nullptr) GTEST_SKIP() << "this process has a terminal";
  EXPECT_FALSE(winsys::use_terminal_back_end());
  EXPECT_EQ(run(), -1);
  EXPECT_TRUE(g_seen.empty()) << "the dialog procedure never ran";
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OK), 0);
}

TEST_F(ModalLoopTest, WithoutATemplateTheDialogFails) {
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, nullptr, nullptr, record_proc, 0), -1);
  EXPECT_TRUE(user_.events().empty());
}

}  // namespace
