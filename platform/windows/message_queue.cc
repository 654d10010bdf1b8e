// message_queue.cc - each thread's message queue and timers: posting, sending (across threads too), retrieving and dispatching.
#include <sys/eventfd.h>
#include <unistd.h>

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

struct ThreadQueue;

// A call another thread asked the owner of hwnd to make (a sent message, or a window call that
// must run where the window lives); its sender waits until `done`.
struct SentCall {
  HWND hwnd;
  std::function<LRESULT()> call;
  std::shared_ptr<ThreadQueue> sender;
  LRESULT result = 0;
  bool done = false;  // guarded by the sender's queue mutex
};

struct ThreadQueue {
  std::mutex mutex;
  std::condition_variable posted_cv;  // anything queued, or a reply to this thread's own sent call
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentCall>> sent;  // from other threads, delivered before posted messages
  std::vector<Timer> timers;
  bool quit = false;
  int quit_code = 0;
  int wake_fd = -1;  // message_queue_wake_fd: an eventfd, readable while `waiting()`
  bool wake_set = false;

  bool waiting() const { return !posted.empty() || !sent.empty() || quit; }
};

std::mutex g_queues_mutex;
std::map<std::thread::id, std::shared_ptr<ThreadQueue>> g_queues;

std::shared_ptr<ThreadQueue> queue_of(std::thread::id thread) {
  std::lock_guard<std::mutex> lock(g_queues_mutex);
  std::shared_ptr<ThreadQueue> &queue = g_queues[thread];
  if (queue == nullptr) queue = std::make_shared<ThreadQueue>();
  return queue;
}

const std::shared_ptr<ThreadQueue> &own_queue_ptr() {
  thread_local std::shared_ptr<ThreadQueue> queue = queue_of(std::this_thread::get_id());
  return queue;
}

ThreadQueue &own_queue() { return *own_queue_ptr(); }

// With the queue's mutex held, after any change: the wake descriptor follows whether anything
// waits, and a thread blocked in GetMessageA or in a send of its own looks again.
void queue_changed(ThreadQueue &queue) {
  queue.posted_cv.notify_all();
  if (queue.wake_fd < 0 || queue.waiting() == queue.wake_set) return;
  const bool waiting = queue.waiting();
  uint64_t count = 1;
  const ssize_t n = waiting ? write(queue.wake_fd, &count, sizeof count) : read(queue.wake_fd, &count, sizeof count);
  if (n == sizeof count) queue.wake_set = waiting;
}

void complete(SentCall &sent, LRESULT result) {
  std::lock_guard<std::mutex> lock(sent.sender->mutex);
  sent.result = result;
  sent.done = true;
  sent.sender->posted_cv.notify_all();
}

// Runs the calls other threads sent to this one, in order; the queue's lock is not held while a
// call runs, since calls reach window procedures.
void deliver_sent_calls(ThreadQueue &queue) {
  for (;;) {
    std::shared_ptr<SentCall> sent;
    {
      std::lock_guard<std::mutex> lock(queue.mutex);
      if (queue.sent.empty()) return;
      sent = std::move(queue.sent.front());
      queue.sent.pop_front();
      queue_changed(queue);
    }
    complete(*sent, sent->call());
  }
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
  std::vector<std::shared_ptr<SentCall>> abandoned;
  {
    std::lock_guard<std::mutex> queues_lock(g_queues_mutex);
    for (auto &[thread, queue] : g_queues) {
      std::lock_guard<std::mutex> lock(queue->mutex);
      std::erase_if(queue->posted, [&](const MSG &m) { return m.hwnd == hwnd; });
      std::erase_if(queue->timers, [&](const Timer &t) { return t.hwnd == hwnd; });
      std::erase_if(queue->sent, [&](const std::shared_ptr<SentCall> &c) {
        if (c->hwnd == hwnd) abandoned.push_back(c);
        return c->hwnd == hwnd;
      });
      queue_changed(*queue);
    }
  }
  // Their senders stop waiting: the window they called is gone.
  for (const std::shared_ptr<SentCall> &sent : abandoned) complete(*sent, 0);
}

LRESULT call_on_owner_thread(HWND hwnd, std::function<LRESULT()> call) {
  const std::shared_ptr<ThreadQueue> &own = own_queue_ptr();
  std::shared_ptr<SentCall> sent;
  {
    // Queued under the model lock, so that a window destroyed after this lookup finds the call
    // in its owner's queue and abandons it (DestroyWindow forgets a window's messages after
    // taking it out of the model).
    std::lock_guard<std::mutex> model_lock(model_mutex());
    const Window *w = find_window(hwnd);
    if (w == nullptr) return 0;
    if (w->thread != std::this_thread::get_id()) {
      sent = std::make_shared<SentCall>(SentCall{hwnd, std::move(call), own});
      const std::shared_ptr<ThreadQueue> owner = queue_of(w->thread);
      std::lock_guard<std::mutex> lock(owner->mutex);
      owner->sent.push_back(sent);
      queue_changed(*owner);
    }
  }
  if (sent == nullptr) return call();
  // While it waits, this thread still takes the calls others send to it, so two threads
  // sending to each other never wait on each other.
  std::unique_lock<std::mutex> lock(own->mutex);
  while (!sent->done) {
    if (!own->sent.empty()) {
      lock.unlock();
      deliver_sent_calls(*own);
      lock.lock();
      continue;
    }
    own->posted_cv.wait(lock);
  }
  return sent->result;
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

int message_queue_wake_fd() {
  ThreadQueue &queue = own_queue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  if (queue.wake_fd < 0) {
    queue.wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    queue.wake_set = false;
    queue_changed(queue);
  }
  return queue.wake_fd;
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
  // Another thread's window gets the message from its own thread, through that thread's queue;
  // the data lParam points at stays valid, since this thread waits for the reply.
  if (owner != std::this_thread::get_id())
    return winsys::call_on_owner_thread(hWnd, [=] { return SendMessageA(hWnd, Msg, wParam, lParam); });
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
  std::lock_guard<std::mutex> lock(queue->mutex);
  queue->posted.push_back(MSG{hWnd, Msg, wParam, lParam, winsys::tick(), {0, 0}});
  winsys::queue_changed(*queue);
  return TRUE;
}

void PostQuitMessage(int nExitCode) {
  ThreadQueue &queue = winsys::own_queue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.quit = true;
  queue.quit_code = nExitCode;
  winsys::queue_changed(queue);
}

BOOL PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  ThreadQueue &queue = winsys::own_queue();
  // Sent calls are delivered here, as the window system delivers sent messages inside its
  // message retrieval; they are never returned.
  winsys::deliver_sent_calls(queue);
  std::lock_guard<std::mutex> lock(queue.mutex);
  for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
    if (!winsys::matches(*it, hWnd, wMsgFilterMin, wMsgFilterMax)) continue;
    *lpMsg = *it;
    if ((wRemoveMsg & PM_REMOVE) != 0) {
      queue.posted.erase(it);
      winsys::queue_changed(queue);
    }
    return TRUE;
  }
  if (queue.quit) {
    *lpMsg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(queue.quit_code), 0, winsys::tick(), {0, 0}};
    if ((wRemoveMsg & PM_REMOVE) != 0) {
      queue.quit = false;
      winsys::queue_changed(queue);
    }
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
    if (queue.waiting()) continue;
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
