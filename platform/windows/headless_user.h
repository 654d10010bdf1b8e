// headless_user.h - the scripted user: a back end that acts on dialogs step by step, answers message boxes and records what it saw.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/back_end.h"
#include "platform/windows/window_state.h"

namespace winsys {

// Install with use_headless_back_end(&user). Whenever a modal loop has nothing to do, the user
// runs its next step on that loop's dialog; steps act through ordinary window calls, as a person
// would through the screen. With no step left the dialog is cancelled as by Escape (and, should
// Escape not end it, ended with IDCANCEL), so a test can never hang.
class HeadlessUser : public BackEnd {
 public:
  using Step = std::function<void(HWND dialog)>;
  using Ready = std::function<bool(HWND dialog)>;

  struct Box {
    HWND owner;
    std::string text;  // 1252, as given
    std::string caption;
    UINT type;
    HCURSOR cursor;  // the cursor while the box was up
    int answer;
  };

  // Queues a step; steps run in order, one per idle moment of a modal loop.
  void then(Step step);
  // Queues a step that waits, as a person waits for a button to become enabled, until
  // ready(dialog) holds: until then each idle moment waits for the next message (another
  // thread's window update, a timer) instead of acting. After kPatience without it, the step
  // runs anyway, so a test can never hang.
  void then_when(Ready ready, Step step);
  static constexpr int kPatienceMilliseconds = 30000;
  // The answer to the next box not yet shown; boxes without one get the first button.
  void answer_next_box(int answer);
  void set_metric(int index, int value);

  // Step actions, also usable directly.
  static void click(HWND dialog, int id);            // a mouse click on the button: WM_COMMAND BN_CLICKED
  static void press_key(HWND dialog, int vk);        // a key press on the focus window (the dialog without one)
  static void close_box(HWND dialog);                // the caption's close box: WM_SYSCOMMAND SC_CLOSE
  static void select_combo(HWND dialog, int id, int position);  // CB_SETCURSEL, then CBN_SELCHANGE to the dialog

  const std::vector<Box> &boxes() const { return boxes_; }
  // What happened, in order: "dialog shown: <caption>", "step <n>", "box shown: <caption>",
  // "no step left: Escape", "dialog ended by force", "dialog closed: <caption>"; and "step <n>
  // waits" once for a step that was not ready at its first idle moment. Each caption as shown,
  // with the caption decoration.
  const std::vector<std::string> &events() const { return events_; }
  // Every dialog the user saw, and their states as they were just before each closed.
  const std::vector<HWND> &dialogs_shown() const { return dialogs_shown_; }
  const std::map<HWND, std::vector<WindowState>> &closing_states() const { return closing_states_; }
  size_t steps_left() const { return steps_.size(); }

  bool can_show_dialogs() override { return true; }
  void dialog_shown(HWND dialog) override;
  void dialog_closed(HWND dialog) override;
  void idle(HWND dialog, int timeout_ms) override;
  int message_box(HWND owner, const std::string &text, const std::string &caption, UINT type) override;
  int system_metric(int index) override;

 private:
  // For a step not ready yet: waits for the next message or timer within the patience left and
  // answers true, or false once the patience is spent.
  bool wait_for_readiness(int timeout_ms);

  struct Pending {
    Ready ready;  // null: at once
    Step step;
  };
  std::deque<Pending> steps_;
  std::optional<std::chrono::steady_clock::time_point> waiting_since_;
  std::deque<int> answers_;
  std::map<int, int> metrics_;
  std::vector<Box> boxes_;
  std::vector<std::string> events_;
  std::vector<HWND> dialogs_shown_;
  std::map<HWND, std::vector<WindowState>> closing_states_;
  int steps_run_ = 0;
  int idle_without_steps_ = 0;
};

}  // namespace winsys
