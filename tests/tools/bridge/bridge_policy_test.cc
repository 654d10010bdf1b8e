// bridge_policy_test.cc - faults in which sites may ask for a signature: an insecure, opaque, look-alike or malformed origin let through, a development origin refused, an allow-list read wrongly (comments, case, a trailing slash, a line that is no origin) or not narrowing what is allowed, an unreadable allow-list leaving every site allowed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"
#include "tools/bridge/origin_policy.h"

namespace {

struct origin_case {
  std::string origin;
  bool allowed;             // with no allow-list
  bool allowed_by_list;     // with the allow-list of the test below
};

std::ostream &operator<<(std::ostream &os, const origin_case &c) { return os << '"' << c.origin << '"'; }

class origin : public testing::TestWithParam<origin_case> {
 protected:
  static bridge::OriginPolicy listed() {
    testsupport::ScratchFolder folder("bridge_policy");
    const std::string path = folder.path() + "/allowed-origins";
    std::ofstream(path) << "# sites that may ask\n"
                           "https://Bank.Example/   # case and a trailing slash do not matter\n"
                           "\n"
                           "http://127.0.0.1:8080\n"
                           "http://intranet.example\n"
                           "https://shop.example:8443\n";
    std::vector<std::string> warnings;
    std::string error;
    const auto policy = bridge::OriginPolicy::load(path, &warnings, &error);
    EXPECT_TRUE(policy.has_value()) << error;
    EXPECT_EQ(warnings, std::vector<std::string>{path + ":5: 'http://intranet.example' is not an https origin nor "
                                                        "http://localhost or http://127.0.0.1; ignored"});
    return policy.value_or(bridge::OriginPolicy(std::vector<std::string>{}));
  }
};

TEST_P(origin, is_allowed_only_when_it_must_be) {
  static const bridge::OriginPolicy open, narrowed = listed();
  const origin_case &c = GetParam();
  EXPECT_EQ(open.refusal(c.origin).empty(), c.allowed);
  EXPECT_EQ(narrowed.refusal(c.origin).empty(), c.allowed_by_list);
}

INSTANTIATE_TEST_SUITE_P(
    origins, origin,
    testing::Values(origin_case{"https://bank.example", true, true}, origin_case{"https://shop.example:8443", true, true},
                    origin_case{"https://shop.example", true, false}, origin_case{"https://xn--mn-mja.example", true, false},
                    origin_case{"https://[::1]:8443", true, false}, origin_case{"http://localhost", true, false},
                    origin_case{"http://localhost:3000", true, false}, origin_case{"http://127.0.0.1:8080", true, true},
                    origin_case{"http://127.0.0.1", true, false}, origin_case{"http://intranet.example", false, false},
                    origin_case{"http://127.0.0.2", false, false}, origin_case{"http://localhost.evil.example", false, false},
                    origin_case{"http://127.0.0.1.evil.example", false, false}, origin_case{"null", false, false},
                    origin_case{"", false, false}, origin_case{"file://", false, false},
                    origin_case{"chrome-extension://abc", false, false}, origin_case{"https://", false, false},
                    origin_case{"https://bank.example/", false, false}, origin_case{"https://user@bank.example", false, false},
                    origin_case{"https://Bank.Example", false, false}, origin_case{"https://bank.example:", false, false},
                    origin_case{"https://bank.example:443443", false, false},
                    origin_case{"https://bank.example\n- forged", false, false},
                    origin_case{"https://bank.example \xE2\x80\x94 https://other.example", false, false}));

// No file: no list. A file that cannot be read is an error, which the bridge turns into refusing every site.
TEST(allow_list, is_absent_without_a_file_and_an_error_when_unreadable) {
  testsupport::ScratchFolder folder("bridge_policy");
  std::vector<std::string> warnings;
  std::string error;
  const auto none = bridge::OriginPolicy::load(folder.path() + "/missing", &warnings, &error);
  ASSERT_TRUE(none.has_value());
  EXPECT_EQ(none->refusal("https://any.example"), "");
  const auto unreadable = bridge::OriginPolicy::load(folder.path(), &warnings, &error);
  EXPECT_FALSE(unreadable.has_value());
  EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
}

}  // namespace
