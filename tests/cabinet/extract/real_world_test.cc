// real_world_test.cc - catches misreading of cabinets made by other people's tools: each fixture's
// files must come out with the recorded sizes and SHA-256 prefixes, and a foreign archive is refused.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cabinet/include/bundlex.h"
#include "cabinet/include/cab_reader.h"
#include "tests/support/scratch_folder.h"

namespace {

namespace fs = std::filesystem;

std::string sha256_hex(const std::vector<unsigned char> &bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  std::string hex;
  static const char kDigits[] = "0123456789abcdef";
  for (unsigned int i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

struct Expected {
  const char *name;
  size_t nbytes;
  const char *sha256_prefix;
};

struct Fixture {
  const char *cabinet;
  std::vector<Expected> files;
};

const Fixture kFixtures[] = {
    {"afl_small_archive_mszip.cab", {{"limerick", 191, "b73f646efdd62a1d"}}},
    {"fwupd_colorhug-als-3.0.2_stored.cab",
     {{"firmware.txt", 12, "a948904f2f0f479b"}, {"firmware.metainfo.xml", 1305, "b03cc370f8c736d9"}}},
    {"fwupd_fakedevice123_stored.cab",
     {{"fakedevice123.bin", 10, "d8904fe3bc21e867"},
      {"fakedevice123.jcat", 2936, "80c50b2e43fa1428"},
      {"fakedevice123.metainfo.xml", 1821, "9155a70e85a3ef39"}}},
};

class RealWorld : public testing::TestWithParam<Fixture> {};

TEST_P(RealWorld, FilesComeOutIntact) {
  testsupport::ScratchFolder scratch("real_world");
  fs::path out = scratch.path();
  std::string cabinet = std::string(FIXTURE_DIR) + "/" + GetParam().cabinet;
  ASSERT_EQ(extract(cabinet.c_str(), out.c_str()), 0);
  size_t count = 0;
  for (const auto &entry : fs::directory_iterator(out)) {
    (void)entry;
    ++count;
  }
  EXPECT_EQ(count, GetParam().files.size());
  for (const Expected &file : GetParam().files) {
    std::ifstream in(out / file.name, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size(), file.nbytes) << file.name;
    EXPECT_EQ(sha256_hex(bytes).substr(0, 16), file.sha256_prefix) << file.name;
  }
  fs::remove_all(out);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealWorld, testing::ValuesIn(kFixtures));

TEST(RealWorldForeign, InstallerArchiveIsNotACabinet) {
  std::string cabinet = std::string(FIXTURE_DIR) + "/mimetype_installshield_NOT_MSCF.cab";
  EXPECT_EQ(extract(cabinet.c_str(), "/nonexistent-destination"), ERR_NOT_CABINET);
}

}  // namespace
