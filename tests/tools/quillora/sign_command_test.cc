// sign_command_test.cc - faults in quillora's signing and registration commands: a result not printed exactly, a wrong exit code for a kind of result, a text converted other than a page's or signed silently changed, a damaged registry or data folder taken for a missing registration, a message box not one parseable line, an out-of-range select=N taken, a registration that does not reach the control, an HTML request whose text the terminal does not show.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/tools/quillora/quillora_harness.h"

namespace quillora_test {
namespace {

// A sandbox with one signing certificate and the control registered, acted on by the headless user.
class signing : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(sandbox_.run({"certs", "new", "--subject", "C=ES, CN=Joan Serra", "--serial", "0A1B",
                            "--key-usage", "digitalSignature"})
                  .exit_code,
              0);
    const RunResult registered = sandbox_.run({"register"});
    ASSERT_EQ(registered.exit_code, 0) << registered.err;
  }

  bool verifies(const std::string &base64_line, const std::string &signed_bytes) {
    return sandbox_.verifies(base64_line, signed_bytes);
  }

  Sandbox sandbox_;
  ScopedEnv ui_{"QUILLORA_UI", "headless"};
};

TEST_F(signing, prints_a_signature_over_the_texts_windows_1252_bytes) {
  ScopedEnv actions("QUILLORA_HEADLESS_ACTIONS", "ok");
  // UTF-8 in; the control receives the page's string and signs its 1252 bytes. Omega is not in
  // 1252 and becomes its best fit, a CJK character has none and becomes the default character.
  const RunResult r = sandbox_.run({"signText", "Hola m\303\263n \342\202\254 \316\251 \344\270\255"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  ASSERT_GT(r.out.size(), 100u);
  EXPECT_EQ(r.out.back(), '\n');
  const std::string line = r.out.substr(0, r.out.size() - 1);
  EXPECT_EQ(line.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
            std::string::npos);
  EXPECT_TRUE(verifies(line, "Hola m\363n \200 O ?"));
  EXPECT_FALSE(verifies(line, "Hola m\303\263n \342\202\254 \316\251 \344\270\255"));
}

TEST_F(signing, reads_the_text_from_a_file_or_standard_input) {
  ScopedEnv actions("QUILLORA_HEADLESS_ACTIONS", "ok");
  // A byte-order mark is no part of the text.
  const std::string text = "\xEF\xBB\xBFl\303\255nia 1\nl\303\255nia 2\n";
  const std::filesystem::path file = sandbox_.write_text("text.txt", text);
  const RunResult from_file = sandbox_.run({"signText", "--file", file.string()});
  ASSERT_EQ(from_file.exit_code, 0) << from_file.err;
  EXPECT_TRUE(verifies(from_file.out.substr(0, from_file.out.size() - 1), "l\355nia 1\nl\355nia 2\n"));
  const RunResult from_stdin = sandbox_.run({"signHTML", "-"}, "<p>l\303\255nia</p>");
  ASSERT_EQ(from_stdin.exit_code, 0) << from_stdin.err;
  EXPECT_TRUE(verifies(from_stdin.out.substr(0, from_stdin.out.size() - 1), "<p>l\355nia</p>"));
}

struct result_case {
  std::string name;
  std::vector<std::string> args;
  std::string actions;
  int exit_code;
  std::string out;  // exactly, or the beginning of it when `prefix`
  bool prefix;
  std::string err;  // what stderr must contain
};

std::ostream &operator<<(std::ostream &os, const result_case &c) { return os << c.name; }

class result_kind : public signing, public testing::WithParamInterface<result_case> {};

// Each kind of result has its own exit code, and the result is printed as the control gave it.
TEST_P(result_kind, has_its_exit_code_and_is_printed_exactly) {
  const result_case &c = GetParam();
  ScopedEnv actions("QUILLORA_HEADLESS_ACTIONS", c.actions.c_str());
  const RunResult r = sandbox_.run(c.args);
  EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
  if (c.prefix)
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out);
  else
    EXPECT_EQ(r.out, c.out);
  EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    requests, result_kind,
    testing::Values(
        result_case{"cancel", {"signText", "x"}, "cancel", 2, "error:userCancel\n", false, ""},
        result_case{"escape", {"signText", "x"}, "escape", 2, "error:userCancel\n", false, ""},
        result_case{"no_matching_certificate",
                    {"signTextWithFilter", "x", "--serial", "FFFF"},
                    "",
                    3,
                    "error:noMatchingCert\n",
                    false,
                    "quillora: message box: caption=\"Quillora\" flags=0x00001040 text=\"No s'ha trobat cap "
                    "certificat v\303\240lid per a realitzar la signatura.\"\n"},
        result_case{"forbidden_tag",
                    {"signHTML", "<p>ok</p><img src=x>"},
                    "",
                    4,
                    "error:internalError\n",
                    false,
                    "quillora: message box: caption=\"Error\" flags=0x00001010 text=\"El text que signar\303\241 "
                    "cont\303\251 comandes HTML\\nno permeses en aquesta aplicaci\303\263.\"\n"},
        result_case{"bad_issuer",
                    {"signHTMLWithFilter", "<b>x</b>", "--issuer", "X=1"},
                    "",
                    4,
                    "error:internalError\nS'ha produ\303\257t un error accedint a les funcions criptogr\303\240fiques.",
                    true,
                    "message box: caption=\"Quillora\""},
        result_case{"select_out_of_range",
                    {"signText", "x"},
                    "select=1,ok",
                    64,
                    "",
                    false,
                    "quillora: signText: QUILLORA_HEADLESS_ACTIONS: select=1 is out of range: the dialog's list "
                    "has 1 entry, counted from 0 in its shown order\n"},
        result_case{"filters_that_match", {"signTextWithFilter", "x", "--issuer", "CN=Joan Serra, C=ES", "--serial",
                    "0a1b", "--key-usage", "nonRepudiation,digitalSignature"}, "ok", 0, "MII", true, ""}),
    [](const testing::TestParamInfo<result_case> &info) { return info.param.name; });

TEST(signing_without_a_registration, says_the_control_is_not_registered) {
  Sandbox sandbox;
  ScopedEnv ui("QUILLORA_UI", "headless");
  const RunResult r = sandbox.run({"signText", "x"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("quillora: signText: the control is not registered (run 'quillora register')"),
            std::string::npos)
      << r.err;
}

// A registry or data folder that cannot be used is named with what to do, not taken for a missing
// registration, and nothing is signed or registered.
TEST(unusable_data, is_named_with_what_to_do) {
  ScopedEnv ui("QUILLORA_UI", "headless");
  const struct {
    const char *what;
    bool damaged_registry;  // else a file takes the data folder's place
    std::vector<std::string> args;
  } cases[] = {{"damaged registry", true, {"signText", "x"}},
               {"damaged registry", true, {"register"}},
               {"file for a data folder", false, {"signText", "x"}},
               {"file for a data folder", false, {"register"}}};
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.what << ": " << joined(c.args));
    Sandbox sandbox;
    std::string complaint;
    if (c.damaged_registry) {
      ASSERT_EQ(sandbox.run({"register"}).exit_code, 0);
      const std::filesystem::path hive = sandbox.data_root() / "registry" / "classes_root";
      sandbox.write_text("garbage", "not a registry");
      std::filesystem::copy_file(sandbox.path() / "garbage", hive, std::filesystem::copy_options::overwrite_existing);
      complaint = "the registry file " + hive.string() + " is damaged; move it away";
    } else {
      std::filesystem::remove_all(sandbox.data_root());
      sandbox.write_text("data", "in the way");
      complaint = "the data folder " + sandbox.data_root().string() + " is not a folder";
    }
    const RunResult r = sandbox.run(c.args);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(complaint), std::string::npos) << r.err;
  }
}

TEST_F(signing, unregistering_makes_the_control_unreachable) {
  const RunResult removed = sandbox_.run({"unregister"});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_NE(removed.out.find("DllUnregisterServer succeeded"), std::string::npos);
  const RunResult r = sandbox_.run({"signText", "x"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("not registered"), std::string::npos) << r.err;
}

// Without a terminal the terminal back end cannot be chosen, and nothing is signed.
TEST_F(signing, the_terminal_interface_needs_a_terminal) {
  ScopedEnv terminal("QUILLORA_UI", "terminal");
  const RunResult r = sandbox_.run({"signText", "x"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("no terminal"), std::string::npos) << r.err;
}

// The person reads the page's text, not its markup, and Enter signs the markup as sent.
TEST_F(signing, an_html_request_on_a_terminal_shows_the_pages_text_and_enter_signs_it) {
  ScopedEnv terminal("QUILLORA_UI", "terminal");
  const RunResult r =
      sandbox_.run_on_terminal({"signHTML", "<p>Hola <b>m\303\263n</b></p><p>&lt;b&gt; &amp; adeu</p>"}, {""});
  ASSERT_EQ(r.exit_code, 0) << r.out;
  const size_t first = r.out.find("\n| Hola m\303\263n\x1b[K");
  ASSERT_NE(first, std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("\n| <b> & adeu\x1b[K", first), r.out.find("\n", first + 1)) << r.out;
  EXPECT_EQ(r.out.find("<p>"), std::string::npos) << "the markup was shown: " << r.out;
  // The dialog is drawn on the alternate screen; the signature is printed after the terminal is
  // back on its own.
  const std::string leave = "\x1b[?1049l";
  const size_t left = r.out.rfind(leave);
  ASSERT_NE(left, std::string::npos) << r.out;
  EXPECT_LT(r.out.find("\x1b[?1049h"), left);
  std::string line = r.out.substr(left + leave.size());
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  EXPECT_TRUE(verifies(line, "<p>Hola <b>m\363n</b></p><p>&lt;b&gt; &amp; adeu</p>")) << line;
}

struct sign_usage_case {
  std::vector<std::string> args;
  std::string complaint;
  std::string input = "";
};

std::ostream &operator<<(std::ostream &os, const sign_usage_case &c) { return os << '[' << joined(c.args) << ']'; }

class sign_usage_error : public testing::TestWithParam<sign_usage_case> {};

TEST_P(sign_usage_error, exits_64_before_reaching_the_control) {
  Sandbox sandbox;
  const RunResult r = sandbox.run(GetParam().args, GetParam().input);
  EXPECT_EQ(r.exit_code, 64);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(GetParam().complaint), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    commands, sign_usage_error,
    testing::Values(sign_usage_case{{"signText"}, "give the text as one argument"},
                    sign_usage_case{{"signText", "a", "b"}, "give the text as one argument"},
                    sign_usage_case{{"signText", "a", "--file", "f"}, "give the text as one argument"},
                    sign_usage_case{{"signText", "--issuer", "CN=x", "a"}, "--issuer"},
                    sign_usage_case{{"signText", "--file", "missing.txt"}, "missing.txt: cannot be read"},
                    sign_usage_case{{"signHTML", "--file", "."}, ".: is a folder"},
                    sign_usage_case{{"register", "--module", ""}, "option --module needs a path"},
                    sign_usage_case{{"signText", "a\nb\xE9"}, "not valid UTF-8: byte 0xE9 at offset 3 (line 2)"},
                    sign_usage_case{{"signHTML", "-"}, "holds a NUL byte at offset 1", std::string("a\0b", 3)},
                    sign_usage_case{{"signText", "-"}, "the text is UTF-16", std::string("\xFF\xFE" "a\0", 4)},
                    sign_usage_case{{"register", "extra"}, "unexpected argument 'extra'"},
                    sign_usage_case{{"unregister", "--module"}, "--module"}));

TEST(sign_help, names_the_usage_and_every_exit_code) {
  Sandbox sandbox;
  const RunResult r = sandbox.run({"signTextWithFilter", "--help"});
  EXPECT_EQ(r.exit_code, 0);
  for (const char *expected : {"Usage: quillora signTextWithFilter", "--issuer", "--serial", "--key-usage",
                               "error:userCancel", "error:noMatchingCert", "error:internalError", "64"})
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected;
}

}  // namespace
}  // namespace quillora_test
