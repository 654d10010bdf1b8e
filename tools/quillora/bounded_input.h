// bounded_input.h - what quillora reads from files and standard input, whole or by the first line, never past a stated maximum: a folder or /dev/zero gives a clear error rather than a crash or exhausted memory.
#pragma once

#include <cstddef>
#include <string>

namespace quillora {

// The largest inputs taken (README, "Limits"). A text is held several times over on its way to
// the signature (the page's UTF-16 string, the control's 8-bit copy, the preview), so its
// maximum keeps that within reach of an ordinary machine; a PKCS #12 file of one certificate, its
// key and its chain takes a few kilobytes; a password is a line typed by a person.
constexpr size_t kMaxTextNbytes = size_t{128} << 20;
constexpr size_t kMaxPkcs12Nbytes = size_t{1} << 20;
constexpr size_t kMaxSecretNbytes = 1024;

// "128 MiB", "1 MiB", "1024 bytes".
std::string size_text(size_t nbytes);

// Reads all of `path` ("-": standard input) into *bytes. False, with *error saying why ("is a
// folder", "is larger than the maximum of 1 MiB", "cannot be read: <the system's reason>"), when
// it cannot.
bool read_whole(const std::string &path, size_t max_nbytes, std::string *bytes, std::string *error);

// Reads the first line of `path` ("-": standard input) without its LF or CR LF; an empty input is
// an empty line. Nothing past the line's end is read, so what follows on standard input is left
// for whoever reads it next. False with *error as above ("the first line is longer than ...").
bool read_first_line(const std::string &path, size_t max_nbytes, std::string *line, std::string *error);

}  // namespace quillora
