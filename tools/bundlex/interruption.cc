// interruption.cc - Ctrl-C during a walk: a flag set by the signal, and the signal's own ending.
#include "tools/bundlex/interruption.h"

#include <signal.h>

namespace bundlex {

namespace {

volatile sig_atomic_t g_signal = 0;
constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP};

void on_signal(int signal_number) { g_signal = signal_number; }

}  // namespace

void catch_interruptions() {
  struct sigaction action = {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a write waiting on the terminal returns, so the walk reaches its next step.
  for (const int signal_number : kCaught) sigaction(signal_number, &action, nullptr);
}

int interruption() { return g_signal; }

void end_if_interrupted() {
  const int signal_number = g_signal;
  if (signal_number == 0) return;
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

}  // namespace bundlex
