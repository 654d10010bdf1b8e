// cab_reader_fuzz.cc - fuzzes the cabinet reader and its decoders over in-memory cabinet sets.
//
// The input is one or more cabinets joined by the marker "|CAB|"; they become set1.cab, set2.cab,
// ... and the first is copied with a handler that extracts everything to memory, once read and
// once mapped. Both ways must end alike and give the same files.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/cabinet/harness/reader_session.h"

namespace {

constexpr char kMarker[] = "|CAB|";
constexpr size_t kMarkerNbytes = sizeof kMarker - 1;
constexpr int kMaxCabinets = 4;

using Files = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

struct Outcome {
  int result = 0;
  int32_t code = 0;
  Files extracted;  // the files closed, in order

  bool operator==(const Outcome &) const = default;
};

Outcome copy(const Files &cabinets, bool mapped) {
  cabtest::MemoryFiles files;
  for (const auto &[name, bytes] : cabinets) files.add(name, bytes);
  cabtest::ReaderSession session(files);
  Outcome outcome;
  if (session.reader == nullptr) return outcome;
  if (mapped) session.allow_mapping();
  outcome.result = session.copy("set1.cab");
  outcome.code = session.error.code;
  for (const std::string &name : session.closed_files()) outcome.extracted.emplace_back(name, files.written("out/" + name));
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Files cabinets;
  const uint8_t *start = data;
  const uint8_t *end = data + size;
  for (int index = 1; index <= kMaxCabinets; ++index) {
    const uint8_t *cut = end;
    if (index < kMaxCabinets) {
      void *found = memmem(start, static_cast<size_t>(end - start), kMarker, kMarkerNbytes);
      if (found != nullptr) cut = static_cast<const uint8_t *>(found);
    }
    cabinets.emplace_back("set" + std::to_string(index) + ".cab", std::vector<uint8_t>(start, cut));
    if (cut == end) break;
    start = cut + kMarkerNbytes;
  }
  if (copy(cabinets, false) != copy(cabinets, true)) __builtin_trap();
  return 0;
}
