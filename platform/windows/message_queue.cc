// message_queue.cc - each thread's message queue and timers: posting, sending, retrieving and dispatching.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>

#include "platform/base/last_error.h"
#include "platform/windows/back_end.h"
#include "platform/windows/window_model.h"

namespace winsys {
namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
  HWND hwnd;
  UINT_PTR id;
  std::chrono::milliseconds elapse;
  Clock::time_point due;
  TIMERPROC proc;
};

struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable posted_cv;
  std::deque<MSG> posted;
  std::vector<Timer> timers;
  bool quit = false;
  int quit_code = 0;
};

std::mutex g_queues_mutex;
std::map<std::thread::id, std::shared_ptr<ThreadQueue>> g_queues;

std::shared_ptr<ThreadQueue> queue_of(std::thread::id thread) {
  std::lock_guard<std::mutex> lock(g_queues_mutex);
  std::shared_ptr<ThreadQueue> &queue = g_queues[thread];
  if (queue == nullptr) queue = std::make_shared<ThreadQueue>();
  return queue;
}

ThreadQueue &own_queue() {
  thread_local std::shared_ptr<ThreadQueue> queue = queue_of(std::this_thread::get_id());
  return *queue;
}

bool matches(const MSG &msg, HWND hwnd, UINT min, UINT max) {
  if (hwnd != nullptr && msg.hwnd != hwnd) return false;
  return (min == 0 && max == 0) || (msg.message >= min && msg.message <= max);
}

DWORD tick() {
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count());
}

}  // namespace

void forget_window_messages(HWND hwnd) {
  std::lock_guard<std::mutex> queues_lock(g_queues_mutex);
  for (auto &[thread, queue] : g_queues) {
    std::lock_guard<std::mutex> lock(queue->mutex);
    std::erase_if(queue->posted, [&](const MSG &m) { return m.hwnd == hwnd; });
    std::erase_if(queue->timers, [&](const Timer &t) { return t.hwnd == hwnd; });
  }
}

int milliseconds_to_next_timer() {
  ThreadQueue &queue = own_queue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  if (queue.timers.empty()) return -1;
  Clock::time_point next = Clock::time_point::max();
  for (const Timer &t : queue.timers) next = std::min(next, t.due);
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
  return wait > 0 ? static_cast<int>(wait) : 0;
}

}  // namespace winsys

using winsys::ThreadQueue;

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::thread::id owner;
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    const winsys::Window *w = winsys::find_window(hWnd);
    if (w == nullptr) return 0;
    owner = w->thread;
    proc = w->proc;
  }
  if (owner != std::this_thread::get_id()) {
    // Sending across threads would need the owner to be waiting in its queue; nothing in the
    // system does it, so the call fails plainly instead of racing the owner.
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return proc(hWnd, Msg, wParam, lParam);
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::thread::id owner = std::this_thread::get_id();
  if (hWnd != nullptr) {
    std::lock_guard<std::mutex> lock(winsys::model_mutex());
    const winsys::Window *w = winsys::find_window(hWnd);
    if (w == nullptr) return FALSE;
    owner = w->thread;
  }
  std::shared_ptr<ThreadQueue> queue = winsys::queue_of(owner);
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    queue->posted.push_back(MSG{hWnd, Msg, wParam, lParam, winsys::tick(), {0, 0}});
  }
  queue->posted_cv.notify_all();
  // The owner may be waiting for the user in its back end rather than on the queue.
  winsys::notify_message_posted();
  return TRUE;
}

void PostQuitMessage(int nExitCode) {
  ThreadQueue &queue = winsys::own_queue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.quit = true;
  queue.quit_code = nExitCode;
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  ThreadQueue &queue = winsys::own_queue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!winsys::matches(*it, hWnd, wMsgFilterMin, wMsgFilterMax)) continue;
    *lpMsg = *it;
    if ((wRemoveMsg & PM_REMOVE) != 0) queue.posted.erase(it);
    return TRUE;
  }
  if (queue.quit) {
    *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0, winsys::tick(), {0, 0}};
    if ((wRemoveMsg & PM_REMOVE) != 0) queue.quit = false;
    return TRUE;
  }
  // Timer messages are made only when nothing else waits, and one expiry gives one message
  // however late it is collected.
  const auto now = winsys::Clock::now();
  for (winsys::Timer &t : queue.timers) {
    if (t.due > now) continue;
    const MSG msg{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), winsys::tick(), {0, 0}};
    if (!winsys::matches(msg, hWnd, wMsgFilterMin, wMsgFilterMax)) continue;
    *lpMsg = msg;
    if ((wRemoveMsg & PM_REMOVE) != 0) t.due = now + t.elapse;
    return TRUE;
  }
  return FALSE;
}

BOOL GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  ThreadQueue &queue = winsys::own_queue();
  while (!PeekMessageA(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE)) {
    const int wait_ms = winsys::milliseconds_to_next_timer();
    std::unique_lock<std::mutex> lock(queue.mutex);
    if (!queue.posted.empty() || queue.quit) continue;
    if (wait_ms < 0) {
      queue.posted_cv.wait(lock);
    } else {
      queue.posted_cv.wait_for(lock, std::chrono::milliseconds(wait_ms));
    }
  }
  return lpMsg->message != WM_QUIT;
}

BOOL TranslateMessage(const MSG *) { return FALSE; }

LRESULT DispatchMessageA(const MSG *lpMsg) {
  if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
    reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, lpMsg->time);
    return 0;
  }
  if (lpMsg->hwnd == nullptr) return 0;
  return SendMessageA(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

UINT_PTR SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  if (hWnd != nullptr && !IsWindow(hWnd)) return 0;
  ThreadQueue &queue = winsys::own_queue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  static UINT_PTR next_free_id = 0x7FFF0000;
  if (hWnd == nullptr) nIDEvent = ++next_free_id;
  const winsys::Timer timer{hWnd, nIDEvent, std::chrono::milliseconds(uElapse),
                            winsys::Clock::now() + std::chrono::milliseconds(uElapse), lpTimerFunc};
  for (winsys::Timer &t : queue.timers) {
    if (t.hwnd == hWnd && t.id == nIDEvent) {
      t = timer;  // setting an existing timer again restarts it
      return nIDEvent != 0 ? nIDEvent : 1;
    }
  }
  queue.timers.push_back(timer);
  return nIDEvent != 0 ? nIDEvent : 1;
}

BOOL KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  ThreadQueue &queue = winsys::own_queue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  const size_t removed =
      std::erase_if(queue.timers, [&](const winsys::Timer &t) { return t.hwnd == hWnd && t.id == uIDEvent; });
  return removed != 0;
}
