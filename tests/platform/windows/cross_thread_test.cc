// cross_thread_test.cc - catches window calls from another thread that fail, race the window's own thread or run outside it, a queue that does not wake its owner, and a caller left waiting forever on a window that went.
#include <poll.h>

#include <optional>
#include <thread>

#include "platform/windows/back_end.h"
#include "platform/windows/dialog_template.h"
#include "tests/platform/windows/headless_fixture.h"

namespace {

constexpr char kProbeClass[] = "CrossThreadProbe";
constexpr int kProbe = 2;
std::optional<std::thread::id> g_text_set_on;

LRESULT probe_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETTEXT) g_text_set_on = std::this_thread::get_id();
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

const DialogItemTemplate kItems[] = {
    {kProbe, kProbeClass, "", WS_CHILD | WS_VISIBLE, 0, 5, 5, 100, 20},
    {IDOK, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | WS_DISABLED | BS_DEFPUSHBUTTON, 0, 5, 30, 50, 14},
};
const DialogTemplate kTemplate = {"Worker", 0, 0, 120, 60, WS_POPUP | WS_CAPTION | DS_SETFONT, 0, "MS Sans Serif", 8,
                                  FW_NORMAL, 0, ANSI_CHARSET, 0, kItems, 2};

// The worker's results, read once it has been joined.
struct WorkerCalls {
  std::thread thread;
  BOOL text_set = FALSE;
  BOOL was_disabled = FALSE;
};
WorkerCalls g_worker;

INT_PTR worker_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  if (message == WM_INITDIALOG) {
    g_worker.thread = std::thread([dialog] {
      g_worker.text_set = SetWindowTextA(GetDlgItem(dialog, kProbe), "from the worker");
      g_worker.was_disabled = EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    });
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wparam) == IDOK) {
    EndDialog(dialog, IDOK);
    return TRUE;
  }
  return FALSE;
}

class CrossThreadTest : public HeadlessTest {
 protected:
  static void SetUpTestSuite() {
    const WNDCLASSA probe{0, probe_proc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, kProbeClass};
    RegisterClassA(&probe);
  }
};

TEST_F(CrossThreadTest, AWorkersWindowCallsRunOnTheWindowsThreadWhileItsModalLoopRuns) {
  user_.then_when([](HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE; },
                  [](HWND dialog) { winsys::HeadlessUser::click(dialog, IDOK); });
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, worker_dialog_proc, 0), IDOK);
  g_worker.thread.join();

  EXPECT_TRUE(g_worker.text_set);
  EXPECT_TRUE(g_worker.was_disabled);
  EXPECT_EQ(g_text_set_on, std::this_thread::get_id());
  const std::vector<winsys::WindowState> &states = user_.closing_states().begin()->second;
  ASSERT_EQ(states.size(), 3u);
  EXPECT_EQ(states[1].text, "from the worker");
}

TEST_F(CrossThreadTest, ACallWaitingForAWindowThatGoesReturnsZeroAndTheQueueWakesItsOwnerMeanwhile) {
  const HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  pollfd queue{winsys::message_queue_wake_fd(), POLLIN, 0};
  EXPECT_EQ(poll(&queue, 1, 0), 0) << "nothing waits yet";
  LRESULT result = -1;
  std::thread sender([&] { result = SendMessageA(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("x")); });
  EXPECT_EQ(poll(&queue, 1, 10000), 1) << "the call waiting in the queue wakes its owner";
  DestroyWindow(window);  // without looking at the queue
  sender.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(poll(&queue, 1, 0), 0) << "the abandoned call is gone from the queue";
}

}  // namespace
