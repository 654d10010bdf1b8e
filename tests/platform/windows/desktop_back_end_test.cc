// desktop_back_end_test.cc - catches a desktop view that does not follow the window model (window and controls placed or sized otherwise, a hidden control still shown, a locked dialog on the screen), a wait cursor that waits for the loop, and a modal loop that sleeps through a message posted from another thread.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/dialog_template.h"
#include "platform/windows/gtk/desktop.h"
#include "platform/windows/window_state.h"

namespace {

// Before GTK starts: its accessibility bridge keeps a connection to the accessibility bus, where
// one runs, for the life of the process, which the leak checker would report; no test needs it.
[[maybe_unused]] const bool kWithoutAccessibilityBridge = setenv("NO_AT_BRIDGE", "1", 1) == 0;

const DialogItemTemplate kItems[] = {
    {10, "STATIC", "Label", WS_CHILD | WS_VISIBLE, 0, 5, 5, 100, 10},
    {11, "EDIT", "line 1\r\nline 2", WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_READONLY | WS_TABSTOP, 0, 5,
     18, 150, 40},
    {12, "COMBOBOX", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_TABSTOP, 0, 5, 62, 150, 50},
    {IDOK, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 30, 80, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 90, 80, 50, 14},
};
const DialogTemplate kTemplate = {"Desktop view",
                                  0,
                                  0,
                                  160,
                                  100,
                                  WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
                                  0,
                                  "MS Sans Serif",
                                  8,
                                  FW_NORMAL,
                                  0,
                                  ANSI_CHARSET,
                                  0,
                                  kItems,
                                  sizeof kItems / sizeof kItems[0]};

GtkWindow *view_of_dialog() {
  GtkWindow *found = nullptr;
  GList *windows = gtk_window_list_toplevels();
  for (GList *w = windows; w != nullptr; w = w->next)
    if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(w->data)), kTemplate.caption) == 0 &&
        gtk_widget_get_visible(GTK_WIDGET(w->data)))
      found = GTK_WINDOW(w->data);
  g_list_free(windows);
  return found;
}

// The child widgets of the dialog's layout, with their allocations, in the layout's coordinates.
std::vector<GtkAllocation> control_allocations(GtkWindow *window) {
  std::vector<GtkAllocation> allocations;
  gtk_container_foreach(
      GTK_CONTAINER(gtk_bin_get_child(GTK_BIN(window))),
      [](GtkWidget *child, gpointer out) {
        if (!gtk_widget_get_visible(child)) return;
        GtkAllocation a;
        gtk_widget_get_allocation(child, &a);
        static_cast<std::vector<GtkAllocation> *>(out)->push_back(a);
      },
      &allocations);
  return allocations;
}

RECT client_rect_of(HWND dlg, int id) {
  RECT r;
  GetWindowRect(GetDlgItem(dlg, id), &r);
  POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  ScreenToClient(dlg, &corners[0]);
  ScreenToClient(dlg, &corners[1]);
  return {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
}

// The window on the screen, caption included, against the model's window rectangle.
void expect_frame(GtkWindow *window, HWND dlg) {
  RECT model;
  GetWindowRect(dlg, &model);
  GdkRectangle shown;
  gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(window)), &shown);
  EXPECT_EQ(shown.x, model.left);
  EXPECT_EQ(shown.y, model.top);
  EXPECT_EQ(shown.width, model.right - model.left);
  EXPECT_EQ(shown.height, model.bottom - model.top);
}

bool shown_at(const std::vector<GtkAllocation> &allocations, const RECT &r) {
  for (const GtkAllocation &a : allocations)
    if (a.x == r.left && a.y == r.top && a.width == r.right - r.left && a.height == r.bottom - r.top) return true;
  return false;
}

// Checks run inside the modal loop, one per timer tick, with the view synchronised between them.
struct Checks {
  std::vector<std::function<void(HWND)>> steps;
  size_t next = 0;
};
Checks g_checks;

INT_PTR checking_proc(HWND dlg, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    // Locked as the signing dialog locks itself until it is complete.
    LockWindowUpdate(dlg);
    SetTimer(dlg, 1, 100, nullptr);
    return TRUE;
  }
  if (message == WM_TIMER) {
    if (g_checks.next < g_checks.steps.size()) g_checks.steps[g_checks.next++](dlg);
    if (g_checks.next == g_checks.steps.size()) EndDialog(dlg, IDOK);
    return TRUE;
  }
  if (message == WM_COMMAND) {
    EndDialog(dlg, -1);  // nothing here presses a button
    return TRUE;
  }
  return FALSE;
}

class DesktopBackEndTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { s_desktop = winsys::use_desktop_back_end(); }
  void SetUp() override {
    if (s_desktop) return;
    const char *why = "no display: run under Xvfb with DISPLAY set (./dev test starts one)";
    if (getenv("QUILLORA_REQUIRE_DISPLAY") != nullptr) FAIL() << why;
    GTEST_SKIP() << why;
  }
  void TearDown() override { g_checks = Checks(); }
  static bool s_desktop;
};
bool DesktopBackEndTest::s_desktop = false;

TEST_F(DesktopBackEndTest, TheViewFollowsTheModel) {
  g_checks.steps = {
      [](HWND) {
        EXPECT_EQ(view_of_dialog(), nullptr) << "a dialog was shown while locked";
        LockWindowUpdate(nullptr);
      },
      [](HWND dlg) {
        GtkWindow *window = view_of_dialog();
        ASSERT_NE(window, nullptr) << "the unlocked dialog is not shown";
        expect_frame(window, dlg);
        const std::vector<GtkAllocation> shown = control_allocations(window);
        for (int id : {10, 11, 12, IDOK, IDCANCEL}) EXPECT_TRUE(shown_at(shown, client_rect_of(dlg, id))) << id;
        // Changes to the model; the next tick sees the view follow.
        SetWindowPos(GetDlgItem(dlg, IDOK), nullptr, 3, 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        ShowWindow(GetDlgItem(dlg, 11), SW_HIDE);
        RECT frame;
        GetWindowRect(dlg, &frame);
        SetWindowPos(dlg, nullptr, frame.left - 20, frame.top, frame.right - frame.left + 40, frame.bottom - frame.top,
                     SWP_NOZORDER);
        // The wait cursor shows at once, while this handler still runs.
        GdkWindow *surface = gtk_widget_get_window(GTK_WIDGET(window));
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        EXPECT_NE(gdk_window_get_cursor(surface), nullptr);
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        EXPECT_EQ(gdk_window_get_cursor(surface), nullptr);
      },
      [](HWND dlg) {
        GtkWindow *window = view_of_dialog();
        ASSERT_NE(window, nullptr);
        const std::vector<GtkAllocation> shown = control_allocations(window);
        EXPECT_TRUE(shown_at(shown, client_rect_of(dlg, IDOK)));
        EXPECT_FALSE(shown_at(shown, client_rect_of(dlg, 11))) << "the hidden edit box is still shown";
        expect_frame(window, dlg);
      },
  };
  EXPECT_EQ(DialogBoxIndirectParamA(nullptr, &kTemplate, nullptr, checking_proc, 0), IDOK);
  EXPECT_EQ(g_checks.next, g_checks.steps.size());
}

// The uninstaller's worker reaches its dialog only through the queue: the loop, waiting on the
// toolkit, must wake for a message posted from another thread.
TEST_F(DesktopBackEndTest, AMessagePostedFromAnotherThreadWakesTheLoop) {
  const auto start = std::chrono::steady_clock::now();
  std::thread worker;
  const INT_PTR result = DialogBoxIndirectParamA(
      nullptr, &kTemplate, nullptr,
      [](HWND dlg, UINT message, WPARAM wparam, LPARAM lparam) -> INT_PTR {
        auto *worker = reinterpret_cast<std::thread *>(lparam);
        if (message == WM_INITDIALOG) {
          *worker = std::thread([dlg] {
            // After the loop has gone to wait: nothing else would wake it for 30 seconds.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
          });
          SetTimer(dlg, 2, 30000, nullptr);
          return TRUE;
        }
        if (message == WM_COMMAND) EndDialog(dlg, LOWORD(wparam));
        if (message == WM_TIMER) EndDialog(dlg, -2);
        return message == WM_COMMAND || message == WM_TIMER;
      },
      reinterpret_cast<LPARAM>(&worker));
  worker.join();
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

}  // namespace
