// certs_store_test.cc - faults in `quillora certs list` and `remove`: an order that is not the
// order of addition, fields shown wrongly (names, not UTF-8 in and out, serial bytes, validity, key state), the wrong
// certificate removed, a key container left behind or removed with a miss; damaged entries and
// orphaned keys that `certs check` does not list or its repair does not remove.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <regex>

#include "tests/tools/quillora/quillora_harness.h"

namespace quillora_test {
namespace {

// Installs a certificate made by `certs new` and returns its thumbprint as the program printed it.
std::string add(const Sandbox &sandbox, std::vector<std::string> options) {
  std::vector<std::string> args = {"certs", "new"};
  args.insert(args.end(), options.begin(), options.end());
  RunResult r = sandbox.run(args);
  EXPECT_EQ(r.exit_code, 0) << joined(args) << ": " << r.err;
  std::smatch match;
  if (!std::regex_search(r.out, match, std::regex("Installed certificate ([0-9A-F]{40})\n"))) {
    ADD_FAILURE() << "no thumbprint in: " << r.out;
    return "";
  }
  return match[1];
}

// The rows of the listing: index, thumbprint and key state, then subject, issuer and serial, and
// the filter options that pick the certificate.
struct Row {
  int index;
  std::string thumbprint, key, not_before, not_after, subject, issuer, serial, filter;
};

std::vector<Row> rows(const Sandbox &sandbox) {
  RunResult r = sandbox.run({"certs", "list"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  static const std::regex kRow(
      " *([0-9]+)  ([0-9A-F]{40})  (yes|no|missing) +([0-9-]{10})  ([0-9-]{10})\n"
      "     Subject: ([^\n]*)\n     Issuer:  ([^\n]*)\n     Serial:  ([0-9A-F]*)\n     Source:  [^\n]*\n"
      "     Filter:  ([^\n]*)\n");
  std::vector<Row> found;
  for (std::sregex_iterator it(r.out.begin(), r.out.end(), kRow), end; it != end; ++it) {
    const std::smatch &m = *it;
    found.push_back({std::stoi(m[1]), m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9]});
  }
  return found;
}

TEST(list, of_an_empty_store_says_so) {
  Sandbox sandbox;
  RunResult r = sandbox.run({"certs", "list"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "The certificate store is empty.\n");
}

TEST(list, shows_certificates_in_the_order_they_were_added) {
  Sandbox sandbox;
  const std::vector<std::string> names = {"CN=Zulu", "CN=Alpha", "CN=Mike", "CN=Bravo"};
  std::vector<std::string> thumbprints;
  for (const std::string &name : names) thumbprints.push_back(add(sandbox, {"--subject", name, "--no-key"}));
  const std::vector<Row> listed = rows(sandbox);
  ASSERT_EQ(listed.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(listed[i].index, static_cast<int>(i) + 1);
    EXPECT_EQ(listed[i].subject, names[i]);
    EXPECT_EQ(listed[i].thumbprint, thumbprints[i]);
  }
}

TEST(list, shows_names_serial_validity_and_key_state) {
  Sandbox sandbox;
  add(sandbox, {"--subject", "C=ES, O=Test Org, CN=Jordi N\303\272\303\261ez", "--issuer", "C=ES, O=Test's Org, CN=Test CA",
                "--serial", "00A1FF", "--not-before", "2020-01-02", "--not-after", "2030-03-04"});
  add(sandbox, {"--subject", "CN=Keyless", "--serial", "7F", "--no-key"});
  const std::vector<std::string> kept = sandbox.key_files();
  add(sandbox, {"--subject", "CN=Lost key", "--serial", "FF01"});
  for (const std::string &key : sandbox.key_files()) {
    if (std::find(kept.begin(), kept.end(), key) == kept.end())
      std::filesystem::remove(sandbox.data_root() / "keys" / key);
  }

  const std::vector<Row> listed = rows(sandbox);
  ASSERT_EQ(listed.size(), 3u);
  EXPECT_EQ(listed[0].subject, "C=ES, O=Test Org, CN=Jordi N\303\272\303\261ez");
  EXPECT_EQ(listed[0].issuer, "C=ES, O=Test's Org, CN=Test CA");
  EXPECT_EQ(listed[0].serial, "00A1FF");
  // Ready to paste into a shell: the issuer most specific first, as the filter takes it.
  EXPECT_EQ(listed[0].filter, "--issuer 'CN=Test CA, O=Test'\\''s Org, C=ES' --serial 00A1FF");
  EXPECT_EQ(listed[0].not_before, "2020-01-02");
  EXPECT_EQ(listed[0].not_after, "2030-03-04");
  EXPECT_EQ(listed[0].key, "yes");
  EXPECT_EQ(listed[1].issuer, "CN=Keyless");
  EXPECT_EQ(listed[1].serial, "7F");
  EXPECT_EQ(listed[1].key, "no");
  EXPECT_EQ(listed[2].serial, "FF01");
  EXPECT_EQ(listed[2].key, "missing");
}

struct remove_case {
  const char *name;
  // The selector for the second of three certificates, from their thumbprints.
  std::string (*selector)(const std::vector<std::string> &thumbprints);
};

std::ostream &operator<<(std::ostream &os, const remove_case &c) { return os << c.name; }

class remove_selector : public testing::TestWithParam<remove_case> {};

TEST_P(remove_selector, removes_that_certificate_and_its_key_only) {
  Sandbox sandbox;
  std::vector<std::string> thumbprints;
  std::vector<std::vector<std::string>> keys_after_each;
  for (const char *name : {"CN=One", "CN=Two", "CN=Three"}) {
    thumbprints.push_back(add(sandbox, {"--subject", name}));
    keys_after_each.push_back(sandbox.key_files());
  }
  ASSERT_EQ(keys_after_each.back().size(), 3u);
  // The container that appeared with the second certificate.
  std::vector<std::string> second_key;
  std::set_difference(keys_after_each[1].begin(), keys_after_each[1].end(), keys_after_each[0].begin(),
                      keys_after_each[0].end(), std::back_inserter(second_key));
  ASSERT_EQ(second_key.size(), 1u);

  RunResult r = sandbox.run({"certs", "remove", GetParam().selector(thumbprints)});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("Removed certificate 2: " + thumbprints[1]), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Removed its private key"), std::string::npos) << r.out;

  const std::vector<Row> listed = rows(sandbox);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].thumbprint, thumbprints[0]);
  EXPECT_EQ(listed[1].thumbprint, thumbprints[2]);
  EXPECT_EQ(listed[1].index, 2);
  EXPECT_EQ(listed[0].key, "yes");
  EXPECT_EQ(listed[1].key, "yes");
  const std::vector<std::string> keys = sandbox.key_files();
  EXPECT_EQ(keys.size(), 2u);
  EXPECT_EQ(std::find(keys.begin(), keys.end(), second_key[0]), keys.end()) << "the key file is still there";
}

std::string lower(std::string text) {
  for (char &c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return text;
}

INSTANTIATE_TEST_SUITE_P(
    cases, remove_selector,
    testing::Values(remove_case{"index", [](const std::vector<std::string> &) { return std::string("2"); }},
                    remove_case{"thumbprint", [](const std::vector<std::string> &t) { return t[1]; }},
                    remove_case{"lowercase_thumbprint", [](const std::vector<std::string> &t) { return lower(t[1]); }},
                    remove_case{"prefix", [](const std::vector<std::string> &t) { return t[1].substr(0, 8); }}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(remove, of_a_certificate_without_key_leaves_the_other_keys) {
  Sandbox sandbox;
  add(sandbox, {"--subject", "CN=With key"});
  add(sandbox, {"--subject", "CN=Without key", "--no-key"});
  const std::vector<std::string> keys = sandbox.key_files();
  RunResult r = sandbox.run({"certs", "remove", "2"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out.find("private key"), std::string::npos) << r.out;
  EXPECT_EQ(sandbox.key_files(), keys);
  EXPECT_EQ(rows(sandbox).size(), 1u);
}

TEST(remove, that_matches_nothing_fails_and_changes_nothing) {
  Sandbox sandbox;
  const std::string thumbprint = add(sandbox, {"--subject", "CN=Kept"});
  // A prefix that differs from the thumbprint in its first digit.
  std::string other = thumbprint.substr(0, 8);
  other[0] = other[0] == 'A' ? 'B' : 'A';
  const struct {
    std::string selector, complaint;
  } cases[] = {{"2", "there is no certificate 2 in the store"},
               {other, "no certificate's thumbprint starts with " + other}};
  for (const auto &c : cases) {
    RunResult r = sandbox.run({"certs", "remove", c.selector});
    EXPECT_EQ(r.exit_code, 1) << c.selector;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "quillora: " + c.complaint + "\n");
    EXPECT_EQ(rows(sandbox).size(), 1u);
    EXPECT_EQ(sandbox.key_files().size(), 1u);
  }
}

// What the store skips over is listed by `certs check` (exit 1) and removed with --repair; a key
// named only by a damaged certificate counts as orphaned, a key still named is kept.
TEST(check, lists_damaged_entries_and_orphaned_keys_and_repairs_them) {
  Sandbox sandbox;
  for (const char *name : {"CN=Sound", "CN=Damaged certificate", "CN=Damaged properties"}) add(sandbox, {"--subject", name});
  const std::filesystem::path store = sandbox.data_root() / "certificates" / "MY";
  const std::filesystem::path keys = sandbox.data_root() / "keys";
  sandbox.write_text("junk", "junk");
  std::filesystem::copy_file(sandbox.path() / "junk", store / "00000002.cer", std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(sandbox.path() / "junk", store / "00000003.props", std::filesystem::copy_options::overwrite_existing);
  std::filesystem::copy_file(sandbox.path() / "junk", keys / "{00000000-0000-4000-8000-000000000000}.p8");
  const RunResult found = sandbox.run({"certs", "check"});
  EXPECT_EQ(found.exit_code, 1);
  EXPECT_NE(found.out.find("Damaged certificate file (the store skips it): " + (store / "00000002.cer").string()),
            std::string::npos)
      << found.out;
  EXPECT_NE(found.out.find("Damaged property file (its certificate has lost the link to its key): " +
                           (store / "00000003.props").string()),
            std::string::npos);
  EXPECT_NE(found.out.find("{00000000-0000-4000-8000-000000000000}.p8"), std::string::npos);
  EXPECT_NE(found.out.find("5 problem(s); 'quillora certs check --repair' removes the files named."),
            std::string::npos)
      << "the keys of both damaged entries count as orphaned: " << found.out;

  const RunResult repaired = sandbox.run({"certs", "check", "--repair"});
  EXPECT_EQ(repaired.exit_code, 0) << repaired.err;
  EXPECT_NE(repaired.out.find("Removed 5 damaged or orphaned file(s)."), std::string::npos) << repaired.out;
  EXPECT_EQ(sandbox.run({"certs", "check"}).out, "The certificate store and its private keys are sound.\n");
  const std::vector<Row> listed = rows(sandbox);
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed[0].key, "yes");
  EXPECT_EQ(listed[1].subject, "CN=Damaged properties");
  EXPECT_EQ(listed[1].key, "no");
  EXPECT_EQ(sandbox.key_files().size(), 1u);
}

}  // namespace
}  // namespace quillora_test
