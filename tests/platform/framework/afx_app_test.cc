// afx_app_test.cc - catches an application object answered for the wrong module when a program loads a module with one of its own, and worker threads that run before they are resumed, run after their object went unresumed, or cannot be waited for.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/base/last_error.h"
#include "platform/framework/afx_app.h"
#include "platform/framework/afx_thread.h"
#include "platform/modules/modules.h"

namespace {

TEST(ApplicationTest, EachModuleAnswersItsOwnApplicationAndTheProgramKeepsItsOwn) {
  CWinApp program_app;
  ASSERT_EQ(AfxGetApp(), &program_app);
  const HMODULE module = LoadLibraryExA(APP_MODULE_PATH, nullptr, 0);
  ASSERT_NE(module, nullptr);
  const auto module_app =
      reinterpret_cast<CWinApp *(*)()>(reinterpret_cast<void (*)()>(GetProcAddress(module, "module_app")));
  ASSERT_NE(module_app, nullptr);
  CWinApp *inside = module_app();
  ASSERT_NE(inside, nullptr);
  EXPECT_NE(inside, &program_app);
  EXPECT_EQ(inside->m_hInstance, module);
  EXPECT_EQ(AfxGetApp(), &program_app) << "a module loaded later does not take over the program's application";
  EXPECT_EQ(AfxGetResourceHandle(), GetModuleHandleA(nullptr)) << "the program's dialogs come from the program";
  FreeLibrary(module);
  EXPECT_EQ(AfxGetApp(), &program_app) << "nor does its unloading take it away";
}

std::atomic<int> g_runs{0};
UINT count_run(LPVOID) {
  ++g_runs;
  return 0;
}

// Started held and kept, as the uninstaller keeps its worker, so that it can be waited for.
CWinThread *start_kept() {
  CWinThread *thread = AfxBeginThread(count_run, nullptr, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (thread != nullptr) thread->m_bAutoDelete = FALSE;
  return thread;
}

TEST(ThreadTest, ASuspendedThreadRunsOnlyOnceResumedAndIsWaitedForUnlessItNeverWas) {
  g_runs = 0;
  CWinThread *kept = start_kept();
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(WaitForSingleObject(kept->m_hThread, 50), WAIT_TIMEOUT);
  EXPECT_EQ(g_runs, 0);
  EXPECT_EQ(kept->ResumeThread(), 1u);
  EXPECT_EQ(WaitForSingleObject(kept->m_hThread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(g_runs, 1);
  delete kept;

  delete start_kept();  // never resumed: its thread ends without running the function
  afx_fail_next_thread_starts(1);
  EXPECT_EQ(AfxBeginThread(count_run, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
  CWinThread *last = start_kept();
  ASSERT_NE(last, nullptr) << "only one start was to fail";
  last->ResumeThread();
  WaitForSingleObject(last->m_hThread, INFINITE);
  delete last;
  EXPECT_EQ(g_runs, 2) << "only the resumed threads ran";
}

}  // namespace
