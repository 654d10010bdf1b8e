/* extract_cabinet.c - a program of another project: extracts a cabinet through the installed libbundlex.so. */
#include <bundlex.h>
#include <stdio.h>

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: extract_cabinet CABINET FOLDER\n");
    return 64;
  }
  const int code = extract(argv[1], argv[2]);
  if (code != 0) fprintf(stderr, "extract_cabinet: extract gave %d\n", code);
  return code;
}
