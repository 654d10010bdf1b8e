// make_seeds.cc - writes the reader fuzz target's generated seeds (the real-world cabinets beside
// them are copies of tests/data/cabinets): cabinets and sets joined by "|CAB|" as the target reads them.
#include <cstdio>
#include <fstream>
#include <string>

#include "tests/cabinet/harness/test_data.h"
#include "tests/cabinet/support/cab_writer.h"

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
