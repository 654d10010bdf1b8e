// bundlex_command_line_test.cc - faults in the command line: a usage error that does not exit 64 or
// talks on stdout, help or version text missing or on the wrong stream, an option taken wrongly.
#include <gtest/gtest.h>

#include "tests/tools/bundlex_harness.h"

namespace bundlex_test {
namespace {

struct usage_case {
  std::vector<std::string> args;
  std::string complaint;  // what stderr must say
};

std::ostream &operator<<(std::ostream &os, const usage_case &c) { return os << '[' << joined(c.args) << ']'; }

class usage_error : public testing::TestWithParam<usage_case> {};

TEST_P(usage_error, exits_64_with_the_cause_on_stderr_only) {
  scratch_folder dir;
  run_result r = run_bundlex(dir.path(), GetParam().args);
  EXPECT_EQ(r.exit_code, 64);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("bundlex: " + GetParam().complaint + "\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  // Nothing was attempted: no folder made for -d, no file touched.
  EXPECT_TRUE(tree(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    cases, usage_error,
    testing::Values(usage_case{{}, "missing command (x, l or t)"}, usage_case{{"x"}, "missing CABINET"},
                    usage_case{{"q", "a.cab"}, "unknown command 'q'"},
                    usage_case{{"x", "a.cab", "--frobnicate"}, "unknown option '--frobnicate'"},
                    usage_case{{"x", "a.cab", "-d"}, "option -d needs a folder"},
                    usage_case{{"x", "a.cab", "-d", "o", "-d", "p"}, "option -d given twice"},
                    usage_case{{"l", "a.cab", "-d", "out"}, "option -d applies to x only"},
                    usage_case{{"t", "-d", "out", "a.cab"}, "option -d applies to x only"},
                    usage_case{{"t", "a.cab", "b.cab"}, "unexpected argument 'b.cab'"}));

TEST(help, lists_commands_options_and_every_exit_code_on_stdout) {
  for (const char *flag : {"--help", "-h"}) {
    scratch_folder dir;
    // --help wins over whatever else the line holds.
    run_result r = run_bundlex(dir.path(), {"l", "missing.cab", flag});
    EXPECT_EQ(r.exit_code, 0) << flag;
    EXPECT_EQ(r.err, "") << flag;
    for (const char *line : {"bundlex x CABINET [-d DIR]", "bundlex l CABINET", "bundlex t CABINET", "-d DIR",
                             "--version", "   0  success", "   1  cannot open the cabinet", "   2  not a cabinet",
                             "   4  damaged cabinet", "   7  data cannot be decoded", "  10  wrong cabinet of the set",
                             "  11  aborted: an output file cannot be created or its name is refused",
                             "  64  usage error",
                             "\nExtracts, lists and tests cabinet (.cab) archives (stored, MSZIP, Quantum and LZX).\n"})
      EXPECT_NE(r.out.find(line), std::string::npos) << flag << " lacks: " << line;
  }
}

TEST(version, names_the_program_on_stdout) {
  scratch_folder dir;
  run_result r = run_bundlex(dir.path(), {"--version"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out.starts_with("bundlex ")) << r.out;
}

TEST(options, double_dash_lets_a_cabinet_name_begin_with_a_dash) {
  scratch_folder dir;
  // Taken as a cabinet, not an option: the failure is the missing file, not a usage error.
  run_result r = run_bundlex(dir.path(), {"l", "--", "-x.cab"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("bundlex: -x.cab: cannot open the cabinet"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace bundlex_test
