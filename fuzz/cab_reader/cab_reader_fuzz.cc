// cab_reader_fuzz.cc - fuzzes the cabinet reader and its decoders over in-memory cabinet sets.
//
// The input is one or more cabinets joined by the marker "|CAB|"; they become set1.cab, set2.cab,
// ... and the first is copied with a handler that extracts everything to memory.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "tests/cabinet/harness/reader_session.h"

namespace {

constexpr char kMarker[] = "|CAB|";
constexpr size_t kMarkerNbytes = sizeof kMarker - 1;
constexpr int kMaxCabinets = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  cabtest::MemoryFiles files;
  const uint8_t *start = data;
  const uint8_t *end = data + size;
  for (int index = 1; index <= kMaxCabinets; ++index) {
    const uint8_t *cut = end;
    if (index < kMaxCabinets) {
      void *found = memmem(start, static_cast<size_t>(end - start), kMarker, kMarkerNbytes);
      if (found != nullptr) cut = static_cast<const uint8_t *>(found);
    }
    files.add("set" + std::to_string(index) + ".cab", std::vector<uint8_t>(start, cut));
    if (cut == end) break;
    start = cut + kMarkerNbytes;
  }
  cabtest::ReaderSession session(files);
  if (session.reader == nullptr) return 0;
  session.copy("set1.cab");
  return 0;
}
