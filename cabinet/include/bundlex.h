/* bundlex.h - the cabinet library's one export: unpack every file of a cabinet archive into a folder. */
#ifndef BUNDLEX_H
#define BUNDLEX_H

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Extracts the files that begin in the cabinet at `cabinet_path` (and the rest of its last folder,
 * following the next cabinets of its set in the same folder) into `destination`, which may be
 * empty for the current folder. Stored names may hold backslash-separated folders, which must
 * exist; nothing below `destination` is opened through a symbolic link. A stored name that would
 * leave `destination` or cannot be a file name skips its file only. Returns 0 on success,
 * otherwise an error code from 1 to 11:
 *   1 a cabinet cannot be opened      5 out of memory           9 reserve sizes differ in a set
 *   2 not a cabinet                   6 unknown method          10 wrong cabinet of the set
 *   3 unsupported format version      7 data cannot be decoded  11 aborted: an output file cannot be
 *   4 damaged cabinet                 8 an output write failed      created, or names were refused
 * Files extracted before a failure stay. A cabinet larger than 256 KiB is read in place (mapped);
 * the first such call installs a SIGBUS handler for the process, so that a cabinet shortened by
 * another process meanwhile gives 4, and passes every other bus error on to the handler it replaced.
 */
int extract(const char *cabinet_path, const char *destination);

#ifdef __cplusplus
}
#endif

#endif
