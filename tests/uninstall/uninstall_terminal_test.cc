// uninstall_terminal_test.cc - catches a terminal that does not show the worker's log and verdict as they are written, shows OK as usable before it is, or cannot close the window afterwards; driven through a pseudo-terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows/terminal_back_end.h"
#include "tests/uninstall/uninstall_fixture.h"
#include "uninstall/uninstall_app.h"

namespace uninstalltest {
namespace {

// Where each drawing starts: the top left of the screen.
constexpr char kHome[] = "\x1b[H";
// UTF-8, as the terminal receives the 1252 texts.
constexpr char kVerdict[] = "Desinstal\302\267laci\303\263 finalitzada satisfact\303\262riament";

TEST(UninstallTerminal, DrawsTheLogAndTheVerdictAsTheWorkerWritesThem) {
  Installation installation;
  installation.add_module();
  installation.record();
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios raw;
  tcgetattr(slave, &raw);
  cfmakeraw(&raw);
  tcsetattr(slave, TCSANOW, &raw);
  auto terminal = std::make_unique<winsys::TerminalBackEnd>(slave, slave, false, 100);
  winsys::use_back_end(terminal.get());

  // The person answers the question with y, reads the screen, and presses Enter once the
  // verdict shows with OK usable; a screen silent for ten seconds gets an Enter anyway, so that a terminal that
  // never shows the verdict fails the test instead of hanging it. Reading all along keeps the
  // pseudo-terminal's buffer from filling.
  std::string screen;
  bool pressed_unseen = false;
  std::thread person([&] {
    bool entered = write(master, "y", 1) != 1;
    for (;;) {
      pollfd fd{master, POLLIN, 0};
      if (poll(&fd, 1, 10000) == 0) {
        pressed_unseen = true;
        if (write(master, "\r", 1) != 1) return;
        continue;
      }
      char buffer[4096];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n <= 0) return;
      screen.append(buffer, static_cast<size_t>(n));
      const size_t verdict = screen.find(kVerdict);
      if (!entered && verdict != std::string::npos && screen.find("<D'acord>", verdict) != std::string::npos)
        entered = write(master, "\r", 1) == 1;
    }
  });
  CUninstallApp app;
  app.InitInstance();
  const int status = app.ExitInstance();
  winsys::use_back_end(nullptr);
  terminal.reset();
  close(slave);
  person.join();  // the master reads EIO once the slave is closed
  close(master);

  EXPECT_EQ(status, kUninstallDone);
  EXPECT_FALSE(pressed_unseen) << "the screen stood still before the verdict";
  // Each drawing starts from the top left of the screen.
  std::vector<std::string> frames;
  for (size_t at = screen.find(kHome); at != std::string::npos;) {
    const size_t next = screen.find(kHome, at + 1);
    frames.push_back(screen.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next;
  }
  const std::string first_entry = "| * quillora.ocx Desinstal\302\267lat";
  const std::string last_entry = installation.logged_module_path() + " Esborrat";
  const auto shows = [](const std::string &frame, const std::string &text) {
    return frame.find(text) != std::string::npos;
  };
  bool working = false, partial = false, finished = false;
  for (const std::string &frame : frames) {
    working |= shows(frame, "Desinstal\302\267laci\303\263 en progr\303\251s") && shows(frame, "(D'acord)") &&
               !shows(frame, "Enter:");
    partial |= shows(frame, first_entry) && !shows(frame, last_entry);
    finished |= shows(frame, first_entry) && shows(frame, last_entry) && shows(frame, kVerdict) &&
                shows(frame, "<D'acord>");
  }
  EXPECT_TRUE(working) << "OK is drawn disabled, and Enter not offered, while the work goes on: " << screen;
  EXPECT_TRUE(partial) << "each entry is drawn as it is written: " << screen;
  EXPECT_TRUE(finished) << "the whole log, the verdict and a usable OK: " << screen;
}

}  // namespace
}  // namespace uninstalltest
