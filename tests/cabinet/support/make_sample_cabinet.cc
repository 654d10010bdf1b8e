// make_sample_cabinet.cc - writes the build's sample cabinet to the path given as its one argument.
#include <cstdio>
#include <fstream>

#include "tests/cabinet/support/cab_writer.h"
#include "tests/cabinet/support/sample_cabinet.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.cab\n", argv[0]);
    return 2;
  }
  const cabtest::Bytes cabinet = cabtest::write_cabinet(cabtest::sample_folders());
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(cabinet.data()), static_cast<std::streamsize>(cabinet.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  return 0;
}
