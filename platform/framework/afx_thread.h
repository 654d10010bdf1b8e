// afx_thread.h - worker threads: CWinThread and AfxBeginThread over std::thread, and waiting for a thread's end.
#pragma once

#include <memory>

#include "platform/base/win_types.h"

typedef void *LPVOID;
typedef struct _SECURITY_ATTRIBUTES *LPSECURITY_ATTRIBUTES;
typedef UINT (*AFX_THREADPROC)(LPVOID pParam);

#define THREAD_PRIORITY_NORMAL 0
#define CREATE_SUSPENDED 0x00000004u
#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

namespace afx_detail {
struct ThreadState;
}

// One worker thread. With m_bAutoDelete TRUE (the default) the object deletes itself when the
// thread function returns, so the caller must not touch it after starting the thread; a caller
// that wants to wait for the end starts the thread suspended, clears m_bAutoDelete, resumes it,
// and deletes the object itself once done with it (deleting it never waits for the thread).
class CWinThread {
 public:
  CWinThread();
  // A thread that was never resumed ends without running its function.
  virtual ~CWinThread();
  CWinThread(const CWinThread &) = delete;
  CWinThread &operator=(const CWinThread &) = delete;

  // Lets a thread started with CREATE_SUSPENDED run, deleting itself at its end if
  // m_bAutoDelete is TRUE now; returns the previous suspend count (1), or 0 when it was running.
  DWORD ResumeThread();

  // Waitable with WaitForSingleObject for as long as this object lives.
  HANDLE m_hThread = nullptr;
  DWORD m_nThreadID = 0;
  BOOL m_bAutoDelete = TRUE;

 private:
  friend CWinThread *AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD, LPSECURITY_ATTRIBUTES);
  // Creates the thread held before its function; false, with the last error set, when it cannot.
  bool CreateHeld(AFX_THREADPROC pfnThreadProc, LPVOID pParam);

  std::shared_ptr<afx_detail::ThreadState> m_pState;
};

// Starts pfnThreadProc(pParam) on a new thread. The priority, the stack size and the security
// attributes are accepted and ignored (std::thread has none of them). Returns NULL, with nothing
// started, when the system cannot give a thread.
CWinThread *AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority = THREAD_PRIORITY_NORMAL,
                           UINT nStackSize = 0, DWORD dwCreateFlags = 0,
                           LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

// Waits until the thread of a CWinThread's m_hThread has ended (WAIT_OBJECT_0) or dwMilliseconds
// have passed (WAIT_TIMEOUT); WAIT_FAILED for a null handle or the calling thread's own.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);

// Fault injection for tests: the next `count` thread starts fail as when the system has no thread to give.
void afx_fail_next_thread_starts(int count);
