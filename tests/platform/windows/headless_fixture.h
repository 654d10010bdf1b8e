// headless_fixture.h - what the window system's tests share: a scripted user installed per test, and rectangle helpers.
#pragma once

#include <gtest/gtest.h>

#include <ostream>

#include "platform/windows/headless_user.h"
#include "platform/windows/window_state.h"
#include "platform/windows/winuser.h"

inline bool operator==(const RECT &a, const RECT &b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline std::ostream &operator<<(std::ostream &os, const RECT &r) {
  return os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

// Each test runs against its own scripted user; windows a test leaves behind are destroyed.
class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override { winsys::use_headless_back_end(&user_); }
  void TearDown() override {
    for (HWND hwnd : winsys::top_level_windows()) DestroyWindow(hwnd);
    LockWindowUpdate(nullptr);
    SetCursor(nullptr);
    winsys::use_headless_back_end(nullptr);
  }

  static RECT window_rect(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
  }

  winsys::HeadlessUser user_;
};
