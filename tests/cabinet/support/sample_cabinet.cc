// sample_cabinet.cc - generates the sample cabinet's files from fixed seeds.
#include "tests/cabinet/support/sample_cabinet.h"

#include <array>
#include <cstdio>
#include <string>

namespace cabtest {
namespace {

constexpr uint16_t dos_date(int year, int month, int day) {
  return static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
}
constexpr uint16_t dos_time(int hour, int minute, int second) {
  return static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2);
}

constexpr uint16_t kArchive = 0x20;
constexpr uint16_t kReadOnly = 0x01;

// xorshift64: fixed output for a fixed seed, unlike the standard engines' distributions.
class Noise {
 public:
  explicit Noise(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  size_t below(size_t n) { return static_cast<size_t>(next() % n); }

 private:
  uint64_t state_;
};

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

constexpr std::array<const char*, 24> kWords = {
    "cabinet", "folder",  "block",  "archive", "signature", "certificate", "stream",  "window",
    "history", "offset",  "header", "reserve", "checksum",  "decoder",     "literal", "distance",
    "the",     "and",     "of",     "every",   "each",      "later",       "holds",   "follows"};

std::string sentence(Noise& noise) {
  std::string s;
  const size_t nwords = 6 + noise.below(10);
  for (size_t i = 0; i < nwords; ++i) {
    if (i > 0) s += ' ';
    s += kWords[noise.below(kWords.size())];
  }
  s[0] = static_cast<char>(s[0] - 'a' + 'A');
  return s + ". ";
}

Bytes readme() {
  std::string s =
      "Sample cabinet\r\n==============\r\n\r\n"
      "This cabinet is generated at build time. Its first folder is compressed with MSZIP and its\r\n"
      "second folder is stored. The files hold text, a table and pseudo-random bytes.\r\n\r\n";
  Noise noise(0x5EED0001);
  for (int line = 0; line < 40; ++line) s += sentence(noise) + "\r\n";
  return text(s);
}

Bytes table_csv() {
  std::string s = "id,item,quantity,unit_price,shipped\r\n";
  Noise noise(0x5EED0002);
  char row[96];
  for (int id = 1; id <= 1500; ++id) {
    std::snprintf(row, sizeof row, "%d,%s-%03zu,%zu,%zu.%02zu,2024-%02zu-%02zu\r\n", id,
                  kWords[noise.below(kWords.size())], noise.below(1000), 1 + noise.below(500),
                  noise.below(2000), noise.below(100), 1 + noise.below(12), 1 + noise.below(28));
    s += row;
  }
  return text(s);
}

Bytes guide() {
  std::string s;
  Noise noise(0x5EED0003);
  for (int chapter = 1; chapter <= 12; ++chapter) {
    s += "Chapter " + std::to_string(chapter) + "\r\n\r\n";
    for (int paragraph = 0; paragraph < 4; ++paragraph) {
      for (int i = 0; i < 5; ++i) s += sentence(noise);
      s += "\r\n\r\n";
    }
  }
  return text(s);
}

Bytes noise_bytes(size_t nbytes) {
  Noise noise(0x5EED0004);
  Bytes bytes(nbytes);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(noise.next() >> 24);
  return bytes;
}

Bytes settings_ini() {
  return text(
      "[extract]\r\ndestination=.\r\noverwrite=no\r\n\r\n[log]\r\nlevel=info\r\nfile=changes.log\r\n");
}

Bytes changes_log() {
  std::string s;
  Noise noise(0x5EED0005);
  for (int entry = 0; entry < 120; ++entry) {
    s += "2024-05-" + std::to_string(10 + entry % 20) + " entry " + std::to_string(entry) + ": " +
         sentence(noise) + "\r\n";
  }
  return text(s);
}

}  // namespace

std::vector<Folder> sample_folders() {
  Folder compressed{.method_word = kMethodMszip};
  compressed.files = {
      {"readme.txt", readme(), dos_date(2024, 3, 14), dos_time(9, 26, 52), kArchive},
      {"table.csv", table_csv(), dos_date(2024, 6, 2), dos_time(17, 45, 10), kArchive},
      {"docs\\guide.txt", guide(), dos_date(2023, 11, 30), dos_time(8, 0, 0), kArchive},
  };
  Folder stored{.method_word = kMethodStored};
  stored.files = {
      {"noise.bin", noise_bytes(100 * 1024), dos_date(2024, 1, 5), dos_time(23, 59, 58), kArchive},
      {"settings.ini", settings_ini(), dos_date(2022, 7, 19), dos_time(14, 3, 24), kArchive | kReadOnly},
      {"changes.log", changes_log(), dos_date(2024, 5, 29), dos_time(6, 30, 0), kArchive},
  };
  return {compressed, stored};
}

}  // namespace cabtest
