// list_command.cc - the l command: one aligned line per file entry, a header and a summary.
#include <stdio.h>

#include <string>

#include "tools/bundlex/cabinet_listing.h"
#include "tools/bundlex/commands.h"
#include "tools/bundlex/messages.h"

namespace bundlex {

namespace {

// "stored", "MSZIP", "Quantum:N" or "LZX:N" with N the window's power of two, or "method N".
std::string method_name(int32_t method_word) {
  if (method_word < 0) return "?";
  const unsigned method = method_word & 0x000F;
  const unsigned window_bits = (method_word >> 8) & 0x1F;
  switch (method) {
    case 0: return "stored";
    case 1: return "MSZIP";
    case 2: return "Quantum:" + std::to_string(window_bits);
    case 3: return "LZX:" + std::to_string(window_bits);
    default: return "method " + std::to_string(method);
  }
}

// The letters of the attributes that mean something to a user, "-" for each one not set.
std::string attribute_letters(uint16_t attributes) {
  static constexpr struct {
    uint16_t bit;
    char letter;
  } kLetters[] = {{0x01, 'R'}, {0x02, 'H'}, {0x04, 'S'}, {0x20, 'A'}, {0x40, 'X'}};
  std::string letters;
  for (const auto &l : kLetters) letters += (attributes & l.bit) != 0 ? l.letter : '-';
  return letters;
}

void print_entry(const entry &e) {
  const std::string folder = e.folder >= 0 ? std::to_string(e.folder) : "?";
  // MS-DOS date: years since 1980, month, day; time: hours, minutes, seconds halved.
  printf("%10u  %04u-%02u-%02u %02u:%02u:%02u  %s  %6s  %-10s  %s", e.nbytes, 1980u + (e.date >> 9),
         (e.date >> 5) & 0x0Fu, e.date & 0x1Fu, e.time >> 11u, (e.time >> 5) & 0x3Fu, (e.time & 0x1Fu) * 2,
         attribute_letters(e.attributes).c_str(), folder.c_str(), method_name(e.method_word).c_str(),
         shown_name(e.name, e.attributes).c_str());
  if (e.from_previous()) fputs("  (continued from the previous cabinet)", stdout);
  if (e.into_next()) fputs("  (continues in the next cabinet)", stdout);
  fputc('\n', stdout);
}

}  // namespace

int list_command(const options &opts) {
  cabinet_listing listing;
  if (int code = list_cabinet(opts.cabinet, listing)) {
    report_failure(code, walk_trace{opts.cabinet});
    return code;
  }
  printf("%10s  %-19s  %-5s  %6s  %-10s  %s\n", "Size", "Date       Time", "Attr", "Folder", "Method", "Name");
  uint64_t total_nbytes = 0;
  for (const entry &e : listing.entries) {
    print_entry(e);
    total_nbytes += e.nbytes;
  }
  printf("%zu files, %llu bytes\n", listing.entries.size(), static_cast<unsigned long long>(total_nbytes));
  return 0;
}

}  // namespace bundlex
