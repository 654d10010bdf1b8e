// make_seeds.cc - writes the reader fuzz target's generated seeds (the real-world cabinets beside
// them are copies of tests/data/cabinets): cabinets and sets joined by "|CAB|" as the target reads them.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/cabinet/harness/test_data.h"
#include "tests/cabinet/support/cab_writer.h"
#include "tests/cabinet/support/lzx_compressor.h"
#include "tests/cabinet/support/quantum_compressor.h"

namespace cabtest {
namespace {

void save(const std::string &folder, const std::string &name, const std::vector<Cabinet> &cabinets) {
  std::ofstream out(folder + "/" + name, std::ios::binary);
  for (size_t i = 0; i < cabinets.size(); ++i) {
    if (i > 0) out.write("|CAB|", 5);
    out.write(reinterpret_cast<const char *>(cabinets[i].bytes.data()),
              static_cast<std::streamsize>(cabinets[i].bytes.size()));
  }
}

void make_seeds(const std::string &folder) {
  save(folder, "stored",
       write_cabinet_set({Folder{kMethodStored, {File{"a", text_data(900, 1)}, File{"b", {}}}},
                          Folder{kMethodStored, {File{"c\\d", random_data(300, 2)}}}}));
  Layout reserved;
  reserved.reserve_present = true;
  reserved.header_reserve = 6;
  reserved.folder_reserve = 2;
  reserved.data_reserve = 3;
  save(folder, "mszip_reserves",
       write_cabinet_set({Folder{kMethodMszip, {File{"t", text_data(3000, 3)}, File{"r", run_data(2000, 4)}}}},
                         reserved));
  Layout split;
  split.cabinet_data_capacity = 1000;
  save(folder, "mszip_set",
       write_cabinet_set({Folder{kMethodMszip, {File{"x", random_data(1200, 5)}, File{"y", text_data(500, 6)}}}},
                         split));
  Layout whole_blocks;
  whole_blocks.cabinet_data_capacity = 600;
  whole_blocks.split_blocks = false;
  save(folder, "stored_set",
       write_cabinet_set({Folder{kMethodStored, {File{"x", random_data(500, 5)}, File{"y", text_data(500, 6)}}},
                          Folder{kMethodStored, {File{"z", text_data(400, 6)}}}},
                         whole_blocks));
  save(folder, "mszip_two_blocks", write_cabinet_set({Folder{kMethodMszip, {File{"big", text_data(40000, 7)}}}}));
  Folder restart{kMethodMszip, {File{"A", text_data(3000, 5)}, File{"B", text_data(2000, 6)}}};
  restart.listing_order = {1, 0};
  save(folder, "mszip_restart", write_cabinet_set({restart}));
  save(folder, "quantum_two_folders",
       write_cabinet_set({quantum_folder(10, {File{"q", text_data(2500, 8)}, File{"r", run_data(900, 9)}}),
                          quantum_folder(21, {File{"s", random_data(400, 10)}})}));
  save(folder, "quantum_set", write_cabinet_set({quantum_folder(15, {File{"t", text_data(4000, 11)}})}, split));
  LzxOptions lzx_small, lzx_large;
  lzx_small.window_bits = 15;
  lzx_small.frame_nbytes = 1500;
  lzx_small.blocks = {{LzxBlockKind::uncompressed, 301}, {LzxBlockKind::aligned, 1200}};
  lzx_large.window_bits = 21;
  lzx_large.translation_nbytes = 12000000;
  save(folder, "lzx_two_folders",
       write_cabinet_set({lzx_folder({File{"l", text_data(3500, 12)}, File{"m", random_data(300, 13)}}, lzx_small),
                          lzx_folder({File{"n", run_data(2000, 14)}}, lzx_large)}));
  save(folder, "lzx_set", write_cabinet_set({lzx_folder({File{"o", text_data(5000, 15)}}, lzx_small)}, split));
}

}  // namespace
}  // namespace cabtest

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 64;
  }
  cabtest::make_seeds(argv[1]);
  return 0;
}
