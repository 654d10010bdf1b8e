// crash_safety_test.cc - catches a store that `certs import` or `certs remove`, killed before any one of their changes to the disk, leaves neither as it was nor as it was meant to be: a certificate without its key, a damaged entry, a temporary file that outlives the next use, an import that cannot simply be run again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "tests/tools/quillora/quillora_harness.h"

namespace quillora_test {
namespace {

constexpr char kChanges[] = "write,fchmod,fsync,rename,link,unlink,unlinkat,mkdir,openat";

// A point to kill the program at: before the `ordinal`th call of `syscall`.
struct KillPoint {
  std::string syscall;
  int ordinal;
};

// Every change the command makes to the disk, in order: writes (to files, not to stdout or
// stderr), creations, flushes, renames, links and unlinks.
std::vector<KillPoint> kill_points(const Sandbox &sandbox, const std::vector<std::string> &args,
                                   const std::string &input) {
  const std::string trace = (sandbox.path() / "trace.txt").string();
  const RunResult r = sandbox.run_traced({"-f", "-qq", "-o", trace, "-e", std::string("trace=") + kChanges}, args, input);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  static const std::regex kCall(R"(^\d+ +(\w+)\((.*)$)");
  std::map<std::string, int> calls;
  std::vector<KillPoint> points;
  std::ifstream in(trace);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_match(line, m, kCall)) continue;
    const std::string name = m[1], rest = m[2];
    const int ordinal = ++calls[name];
    const bool change = name == "openat" ? rest.find("O_CREAT") != std::string::npos
                        : name == "write" ? !rest.starts_with("1,") && !rest.starts_with("2,")
                        : name == "mkdir" ? rest.find("EEXIST") == std::string::npos
                                          : true;
    if (change) points.push_back({name, ordinal});
  }
  return points;
}

// The store as `certs list` shows it: each certificate's thumbprint and whether its key is there.
std::vector<std::string> certificates(const Sandbox &sandbox) {
  const RunResult r = sandbox.run({"certs", "list"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  static const std::regex kRow(R"((?:^|\n) *[0-9]+  ([0-9A-F]{40})  (\S+))");
  std::vector<std::string> rows;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), kRow), end; it != end; ++it)
    rows.push_back((*it)[1].str() + " " + (*it)[2].str());
  return rows;
}

bool has_temporary_files(const std::filesystem::path &root) {
  for (const auto &entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.path().filename().string().starts_with(".tmp-")) return true;
  }
  return false;
}

void copy_data(const Sandbox &from, const Sandbox &to) {
  std::filesystem::copy(from.data_root(), to.data_root(),
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
}

TEST(killed_before_a_change, import_and_remove_leave_the_old_state_or_the_new_one) {
  Sandbox base;  // one certificate with its key, and a PKCS #12 file of another
  ASSERT_EQ(base.run({"certs", "new", "--subject", "CN=Kept"}).exit_code, 0);
  base.openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "key.pem", "-out", "cert.pem", "-subj",
                "/CN=Imported", "-days", "30"});
  base.openssl({"pkcs12", "-export", "-in", "cert.pem", "-inkey", "key.pem", "-passout", "pass:pw", "-out", "i.p12"});
  const std::vector<std::string> before = certificates(base);
  ASSERT_EQ(before.size(), 1u);
  const struct {
    bool import;
    std::vector<std::string> args;
    std::string input;
  } operations[] = {
      {true, {"certs", "import", (base.path() / "i.p12").string(), "--password-stdin", "--no-key-passphrase"}, "pw\n"},
      {false, {"certs", "remove", "1"}, ""}};
  for (const auto &operation : operations) {
    Sandbox done;
    copy_data(base, done);
    const std::vector<KillPoint> points = kill_points(done, operation.args, operation.input);
    const std::vector<std::string> after = certificates(done);
    int old_states = 0, new_states = 0;
    for (const KillPoint &point : points) {
      SCOPED_TRACE(testing::Message() << joined(operation.args) << " killed at " << point.syscall << " #"
                                      << point.ordinal);
      Sandbox killed;
      copy_data(base, killed);
      const RunResult r = killed.run_traced({"-f", "-qq", "-o", "/dev/null", "-e", "trace=" + point.syscall, "-e",
                                             "inject=" + point.syscall + ":signal=SIGKILL:when=" +
                                                 std::to_string(point.ordinal)},
                                            operation.args, operation.input);
      EXPECT_NE(r.exit_code, 0) << "not killed";
      // A key left alone by an import killed before its certificate went in is the one thing to
      // mend; a damaged entry would be a fault.
      const RunResult check = killed.run({"certs", "check", "--repair"});
      EXPECT_EQ(check.out.find("Damaged"), std::string::npos) << check.out;
      EXPECT_FALSE(has_temporary_files(killed.data_root()));
      const std::vector<std::string> now = certificates(killed);
      const bool is_old = now == before, is_new = now == after;
      EXPECT_TRUE(is_old || is_new) << testing::PrintToString(now);
      old_states += is_old;
      new_states += is_new;
      if (!operation.import) continue;
      const RunResult again = killed.run(operation.args, operation.input);
      EXPECT_EQ(again.exit_code, is_old ? 0 : 1) << again.err;
      EXPECT_EQ(certificates(killed), after);
    }
    // The kills fell on both sides of the moment the change took effect.
    EXPECT_GT(old_states, 0);
    EXPECT_GT(new_states, 0);
  }
}

}  // namespace
}  // namespace quillora_test
