// passphrase_prompt_test.cc - catches an asker that is not called or not restored, and a default that blocks or answers when there is no terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/ui/passphrase_prompt.h"

namespace {

TEST(PassphrasePrompt, InstalledAskerAnswersUntilRemoved) {
  std::string seen_what;
  int seen_attempt = 0;
  platform_ui::set_passphrase_asker([&](const std::string &what, int attempt, std::string *passphrase) {
    seen_what = what;
    seen_attempt = attempt;
    *passphrase = "answer";
    return true;
  });
  std::string passphrase;
  EXPECT_TRUE(platform_ui::ask_passphrase("the key", 2, &passphrase));
  EXPECT_EQ(passphrase, "answer");
  EXPECT_EQ(seen_what, "the key");
  EXPECT_EQ(seen_attempt, 2);
  platform_ui::set_passphrase_asker(nullptr);
  // The default takes over again: in a process without a terminal it declines at once.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    setsid();  // no controlling terminal from here on
    std::string ignored;
    _exit(platform_ui::ask_passphrase("the key", 1, &ignored) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the default asker answered without a terminal";
}

}  // namespace
