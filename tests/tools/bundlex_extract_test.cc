// bundlex_extract_test.cc - faults in the x and t commands when things go right: folders of stored
// names not made, bytes wrong, files of a set lost or extracted from the wrong cabinet, an unsafe
// name written outside the destination or stopping the rest, t writing anything or miscounting,
// files skipped at a later cabinet of a set without a word.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <map>

#include "tests/cabinet/support/sample_cabinet.h"
#include "tests/tools/bundlex_harness.h"

namespace bundlex_test {
namespace {

namespace fs = std::filesystem;

// Where a stored name lands under `root`.
fs::path landing(const fs::path &root, std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return root / name;
}

uint64_t total_nbytes(const std::vector<cabtest::File> &files) {
  uint64_t total = 0;
  for (const auto &f : files) total += f.data.size();
  return total;
}

std::vector<cabtest::File> sample_files() {
  std::vector<cabtest::File> files;
  for (const cabtest::Folder &folder : cabtest::sample_folders())
    files.insert(files.end(), folder.files.begin(), folder.files.end());
  return files;
}

struct destination_case {
  std::vector<std::string> option;
  std::string folder;  // where the files must land, relative to the working folder
};

std::ostream &operator<<(std::ostream &os, const destination_case &c) { return os << '[' << joined(c.option) << ']'; }

class extract_into : public testing::TestWithParam<destination_case> {};

TEST_P(extract_into, makes_the_folders_of_stored_names_and_writes_every_byte) {
  scratch_folder dir;
  write_file(dir.path() / "sample.cab", cabtest::write_cabinet(cabtest::sample_folders()));
  std::vector<std::string> args = {"x", "sample.cab"};
  args.insert(args.end(), GetParam().option.begin(), GetParam().option.end());
  run_result r = run_bundlex(dir.path(), args);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  for (const cabtest::File &file : sample_files())
    EXPECT_EQ(read_file(landing(dir.path() / GetParam().folder, file.name)), file.data) << file.name;
}

INSTANTIATE_TEST_SUITE_P(cases, extract_into,
                         testing::Values(destination_case{{}, "."}, destination_case{{"-d", "out"}, "out"},
                                         destination_case{{"-dout/new/deeper"}, "out/new/deeper"},
                                         destination_case{{"-d", "out/"}, "out"}));

class unsafe_name : public testing::TestWithParam<std::string> {};

TEST_P(unsafe_name, is_refused_with_exit_11_nothing_lands_outside_and_the_rest_is_extracted) {
  const std::string &name = GetParam();
  scratch_folder dir;
  cabtest::Folder folder{cabtest::kMethodStored,
                         {{"first.txt", bytes_of("first\n")}, {name, bytes_of("evil\n")},
                          {"last.txt", bytes_of("last\n")}}};
  write_file(dir.path() / "evil.cab", cabtest::write_cabinet({folder}));
  fs::create_directory(dir.path() / "work");
  run_result r = run_bundlex(dir.path() / "work", {"x", "../evil.cab", "-d", "out"});
  EXPECT_EQ(r.exit_code, 11);
  EXPECT_EQ(r.err, "bundlex: " + name + ": refused: the name leads outside the destination folder\n");
  // No folder was made for the refused name; the files before and after it are extracted.
  EXPECT_EQ(tree(dir.path()),
            (std::vector<std::string>{"evil.cab", "work", "work/out", "work/out/first.txt", "work/out/last.txt"}));
}

INSTANTIATE_TEST_SUITE_P(cases, unsafe_name,
                         testing::Values("..\\evil.txt", "../evil.txt", "docs\\..\\..\\evil.txt", "c:evil.txt",
                                         "\\evil.txt", "..\\..\\work\\evil.txt"));

TEST(extract, follows_a_set_and_takes_only_the_files_that_begin_in_the_named_cabinet) {
  struct {
    const char *cabinet;
    std::vector<std::string> names;  // of the files extracted
  } cases[] = {
      {"set1.cab", {"a.txt", "docs\\b.bin", "deep\\er\\c.txt"}},
      // The carried-over files began in set1.cab: set2.cab alone gives only its own.
      {"set2.cab", {"d.txt"}},
  };
  // With the file listed once, only set2.cab names the folder "deep\er": it must be made all the same.
  for (carried_files carried : {carried_files::listed_in_both, carried_files::listed_once}) {
    scratch_folder dir;
    std::vector<cabtest::File> files = write_two_cabinet_set(dir.path(), carried);
    for (const auto &c : cases) {
      const fs::path out = dir.path() / (std::string("out-") + c.cabinet);
      run_result r = run_bundlex(dir.path(), {"x", c.cabinet, "-d", out.filename().string()});
      ASSERT_EQ(r.exit_code, 0) << c.cabinet << ": " << r.err;
      for (const cabtest::File &file : files) {
        const bool wanted = std::find(c.names.begin(), c.names.end(), file.name) != c.names.end();
        EXPECT_EQ(fs::exists(landing(out, file.name)), wanted) << c.cabinet << ": " << file.name;
        if (wanted) {
          EXPECT_EQ(read_file(landing(out, file.name)), file.data) << c.cabinet << ": " << file.name;
        }
      }
    }
  }
}

// Starting at the second cabinet leaves out the files that began in the first: the user is told.
TEST(extract, starting_at_a_later_cabinet_says_what_was_skipped) {
  scratch_folder dir;
  write_two_cabinet_set(dir.path());
  const std::string said =
      "bundlex: set2.cab: 2 files begin in an earlier cabinet of the set and were skipped; extracting from the "
      "set's first cabinet takes them (the previous one is set1.cab)\n";
  for (const char *command : {"x", "t"}) {
    run_result r = run_bundlex(dir.path(), {command, "set2.cab"});
    EXPECT_EQ(r.exit_code, 0) << command << ": " << r.err;
    EXPECT_EQ(r.err, said) << command;
  }
}

TEST(test_command, decodes_everything_writes_nothing_and_counts_right) {
  scratch_folder dir;
  write_file(dir.path() / "sample.cab", cabtest::write_cabinet(cabtest::sample_folders()));
  std::vector<cabtest::File> set_files = write_two_cabinet_set(dir.path());
  set_files.pop_back();  // d.txt begins in set2.cab
  const std::vector<std::string> before = tree(dir.path());
  struct {
    const char *cabinet;
    size_t files;
    uint64_t nbytes;
  } cases[] = {
      {"sample.cab", sample_files().size(), total_nbytes(sample_files())},
      {"set1.cab", set_files.size(), total_nbytes(set_files)},
  };
  for (const auto &c : cases) {
    run_result r = run_bundlex(dir.path(), {"t", c.cabinet});
    EXPECT_EQ(r.exit_code, 0) << c.cabinet << ": " << r.err;
    EXPECT_EQ(r.err, "") << c.cabinet;
    EXPECT_EQ(r.out, "OK: " + std::to_string(c.files) + " files, " + std::to_string(c.nbytes) + " bytes\n");
  }
  EXPECT_EQ(tree(dir.path()), before);
}

std::string sha256_prefix(const cabtest::Bytes &bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int nbytes = 0;
  EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest, &nbytes, EVP_sha256(), nullptr), 1);
  char hex[17];
  for (int i = 0; i < 8; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

// Cabinets made by other people's tools; the hash prefixes are those their README records.
TEST(real_world_cabinets, extract_to_the_known_bytes_and_test_clean) {
  const fs::path fixtures = BUNDLEX_FIXTURES_DIR;
  struct {
    const char *cabinet;
    std::map<std::string, std::string> hashes;  // name: first 16 hex digits of its SHA-256
  } cases[] = {
      {"afl_small_archive_mszip.cab", {{"limerick", "b73f646efdd62a1d"}}},
      {"fwupd_colorhug-als-3.0.2_stored.cab",
       {{"firmware.txt", "a948904f2f0f479b"}, {"firmware.metainfo.xml", "b03cc370f8c736d9"}}},
      {"fwupd_fakedevice123_stored.cab",
       {{"fakedevice123.bin", "d8904fe3bc21e867"},
        {"fakedevice123.jcat", "80c50b2e43fa1428"},
        {"fakedevice123.metainfo.xml", "9155a70e85a3ef39"}}},
  };
  for (const auto &c : cases) {
    scratch_folder dir;
    const std::string cabinet = (fixtures / c.cabinet).string();
    run_result r = run_bundlex(dir.path(), {"x", cabinet, "-d", "out"});
    ASSERT_EQ(r.exit_code, 0) << c.cabinet << ": " << r.err;
    std::vector<std::string> names;
    for (const auto &[name, hash] : c.hashes) {
      EXPECT_EQ(sha256_prefix(read_file(dir.path() / "out" / name)), hash) << c.cabinet << ": " << name;
      names.push_back("out/" + name);
    }
    names.push_back("out");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(tree(dir.path()), names) << c.cabinet;
    r = run_bundlex(dir.path(), {"t", cabinet});
    EXPECT_EQ(r.exit_code, 0) << c.cabinet << ": " << r.err;
    EXPECT_TRUE(r.out.starts_with("OK: " + std::to_string(c.hashes.size()) + " files, ")) << r.out;
  }
}

}  // namespace
}  // namespace bundlex_test
