// afx_thread.cc - CWinThread over std::thread: suspended starts, self-deletion, and waiting for the end.
#include "platform/framework/afx_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/base/last_error.h"

namespace afx_detail {

// Shared by the object and its thread, so that either may go first. The handle of a CWinThread
// points here.
struct ThreadState {
  std::mutex mutex;
  std::condition_variable changed;
  bool resumed = false;
  bool cancelled = false;    // the object went before the thread was ever resumed
  bool auto_delete = false;  // the object's m_bAutoDelete when it was resumed
  bool ended = false;
  std::thread::id id;
  std::thread thread;  // joined by the first waiter, else detached when the state goes

  ~ThreadState() {
    if (thread.joinable()) thread.detach();
  }
};

}  // namespace afx_detail

namespace {

using afx_detail::ThreadState;

std::atomic<int> g_failing_starts{0};

bool start_fails_by_injection() {
  for (int left = g_failing_starts; left > 0;)
    if (g_failing_starts.compare_exchange_weak(left, left - 1)) return true;
  return false;
}

}  // namespace

CWinThread::CWinThread() : m_pState(std::make_shared<ThreadState>()) { m_hThread = m_pState.get(); }

CWinThread::~CWinThread() {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  if (m_pState->resumed) return;
  m_pState->cancelled = true;
  m_pState->resumed = true;
  m_pState->changed.notify_all();
}

bool CWinThread::CreateHeld(AFX_THREADPROC pfnThreadProc, LPVOID pParam) {
  if (start_fails_by_injection()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  // The thread holds the state, not the object: an auto-deleting object is gone before the
  // thread has finished.
  std::shared_ptr<ThreadState> state = m_pState;
  try {
    state->thread = std::thread([this, state, pfnThreadProc, pParam] {
      {
        std::unique_lock<std::mutex> lock(state->mutex);
        state->changed.wait(lock, [&] { return state->resumed; });
        if (state->cancelled) return;
      }
      pfnThreadProc(pParam);
      if (state->auto_delete) delete this;
      std::lock_guard<std::mutex> lock(state->mutex);
      state->ended = true;
      state->changed.notify_all();
    });
  } catch (const std::system_error &) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  state->id = state->thread.get_id();
  m_nThreadID = static_cast<DWORD>(std::hash<std::thread::id>{}(state->id));
  return true;
}

DWORD CWinThread::ResumeThread() {
  std::lock_guard<std::mutex> lock(m_pState->mutex);
  if (m_pState->resumed) return 0;
  m_pState->resumed = true;
  m_pState->auto_delete = m_bAutoDelete;
  m_pState->changed.notify_all();
  return 1;
}

CWinThread *AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int, UINT, DWORD dwCreateFlags,
                           LPSECURITY_ATTRIBUTES) {
  auto *pThread = new CWinThread;
  // Held until the object is complete, so that an auto-deleting thread cannot end (and delete
  // it) while it is still being filled in.
  if (!pThread->CreateHeld(pfnThreadProc, pParam)) {
    const DWORD error = GetLastError();
    delete pThread;
    SetLastError(error);
    return nullptr;
  }
  if ((dwCreateFlags & CREATE_SUSPENDED) == 0) pThread->ResumeThread();
  return pThread;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto *state = static_cast<ThreadState *>(hHandle);
  if (state == nullptr || state->id == std::this_thread::get_id()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::thread finished;
  {
    std::unique_lock<std::mutex> lock(state->mutex);
    const auto ended = [&] { return state->ended; };
    if (dwMilliseconds == INFINITE) {
      state->changed.wait(lock, ended);
    } else if (!state->changed.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), ended)) {
      return WAIT_TIMEOUT;
    }
    finished = std::move(state->thread);
  }
  // Joined, so that the thread has truly finished when the wait says so.
  if (finished.joinable()) finished.join();
  return WAIT_OBJECT_0;
}

void afx_fail_next_thread_starts(int count) { g_failing_starts = count; }
