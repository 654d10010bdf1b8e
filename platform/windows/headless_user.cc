// headless_user.cc - the scripted user's steps, its answers to boxes and its record.
#include "platform/windows/headless_user.h"

#include <poll.h>

#include <algorithm>

namespace winsys {
namespace {

std::string caption_of(HWND hwnd) {
  const std::optional<WindowState> s = window_state(hwnd);
  return s ? shown_caption(s->text) : std::string();
}

// The dialog and every window below it, depth first in z order.
void collect_states(HWND hwnd, std::vector<WindowState> *out) {
  std::optional<WindowState> s = window_state(hwnd);
  if (!s) return;
  const std::vector<HWND> children = s->children;
  out->push_back(std::move(*s));  // not copied: a window's text may be a whole page
  for (HWND child : children) collect_states(child, out);
}

}  // namespace

void HeadlessUser::then(Step step) { steps_.push_back({nullptr, std::move(step)}); }

void HeadlessUser::then_when(Ready ready, Step step) { steps_.push_back({std::move(ready), std::move(step)}); }

void HeadlessUser::answer_next_box(int answer) { answers_.push_back(answer); }

void HeadlessUser::set_metric(int index, int value) { metrics_[index] = value; }

void HeadlessUser::click(HWND dialog, int id) {
  SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void HeadlessUser::press_key(HWND dialog, int vk) {
  const HWND focus = GetFocus();
  PostMessageA(focus != nullptr ? focus : dialog, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
}

void HeadlessUser::close_box(HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }

void HeadlessUser::select_combo(HWND dialog, int id, int position) {
  const HWND combo = GetDlgItem(dialog, id);
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

void HeadlessUser::dialog_shown(HWND dialog) {
  dialogs_shown_.push_back(dialog);
  idle_without_steps_ = 0;
  events_.push_back("dialog shown: " + caption_of(dialog));
}

void HeadlessUser::dialog_closed(HWND dialog) {
  std::vector<WindowState> states;
  collect_states(dialog, &states);
  closing_states_[dialog] = std::move(states);
  events_.push_back("dialog closed: " + caption_of(dialog));
}

void HeadlessUser::idle(HWND dialog, int timeout_ms) {
  if (!steps_.empty()) {
    idle_without_steps_ = 0;
    if (steps_.front().ready != nullptr && !steps_.front().ready(dialog) && wait_for_readiness(timeout_ms)) return;
    waiting_since_.reset();
    Step step = std::move(steps_.front().step);
    steps_.pop_front();
    events_.push_back("step " + std::to_string(++steps_run_));
    step(dialog);
    return;
  }
  // A dialog that ignores Escape is ended by force on the next idle moment.
  if (idle_without_steps_++ == 0) {
    events_.push_back("no step left: Escape");
    press_key(dialog, VK_ESCAPE);
  } else {
    events_.push_back("dialog ended by force");
    EndDialog(dialog, IDCANCEL);
  }
}

bool HeadlessUser::wait_for_readiness(int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  if (!waiting_since_) {
    waiting_since_ = Clock::now();
    events_.push_back("step " + std::to_string(steps_run_ + 1) + " waits");
  }
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *waiting_since_).count();
  const int patience_left_ms = static_cast<int>(std::max<long long>(0, kPatienceMilliseconds - waited));
  if (patience_left_ms == 0) return false;
  pollfd queue{message_queue_wake_fd(), POLLIN, 0};
  poll(&queue, 1, timeout_ms >= 0 ? std::min(timeout_ms, patience_left_ms) : patience_left_ms);
  return true;
}

int HeadlessUser::message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) {
  int answer = default_box_answer(type);
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  boxes_.push_back(Box{owner, text, caption, type, GetCursor(), answer});
  events_.push_back("box shown: " + shown_caption(caption));
  return answer;
}

int HeadlessUser::system_metric(int index) {
  const auto it = metrics_.find(index);
  return it != metrics_.end() ? it->second : BackEnd::system_metric(index);
}

}  // namespace winsys
