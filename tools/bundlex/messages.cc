// messages.cc - the tool's diagnostics; the one place that words a failure for the user.
#include "tools/bundlex/messages.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "cab_error_text.h"
#include "tools/bundlex/tool_ops.h"

namespace bundlex {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, 0 when there is none.
size_t utf8_sequence_nbytes(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
}

void append_escaped(std::string *out, unsigned char byte) {
  char escape[5];
  snprintf(escape, sizeof escape, "\\x%02x", byte);
  out->append(escape);
}

}  // namespace

std::string open_cause(int error) {
  switch (error) {
    case ELOOP: return "a symbolic link is in the way";
    case ENXIO: return "not a regular file";
    default: return strerror(error);
  }
}

std::string shown(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto lead = static_cast<unsigned char>(text[0]);
    const size_t length = utf8_sequence_nbytes(text);
    // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F.
    const bool control = lead < 0x20 || lead == 0x7F || (length == 2 && lead == 0xC2 && text[1] < '\xA0');
    if (length == 0 || control) {
      for (size_t i = 0; i < (length == 0 ? 1 : length); ++i) append_escaped(&out, static_cast<unsigned char>(text[i]));
      text.remove_prefix(length == 0 ? 1 : length);
    } else {
      out.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return out;
}

std::string shown_name(const std::string &stored, uint16_t attributes) {
  std::string name;
  // A name that is not the UTF-8 it claims is shown as it is stored, its stray bytes escaped.
  return shown(utf8_name(stored.c_str(), attributes, &name) ? name : stored);
}

void walk_trace::follow(int32_t kind, const CabNote &note) {
  switch (kind) {
    case NOTE_COPY:
      file = note.text1;
      file_attributes = note.attributes;
      output_failed = false;
      break;
    case NOTE_CLOSE:
      file.clear();
      break;
    case NOTE_PARTIAL:
      ++skipped_partial;
      previous_cabinet = note.text2;
      break;
    case NOTE_NEXT_CABINET:
      // text3 is the folder the first cabinet was found in; the set's cabinets are all there.
      next_refused = !cab_reader_is_cabinet_name(note.text1);
      next_name = note.text1;
      if (!next_refused) cabinet = std::string(note.text3) + note.text1;
      break;
    default:
      break;
  }
}

void report(std::string_view subject, std::string_view text) {
  const std::string line = "bundlex: " + shown(subject) + ": " + shown(text) + "\n";
  fputs(line.c_str(), stderr);
}

void report_usage_error(std::string_view text) {
  fprintf(stderr, "bundlex: %s\nTry 'bundlex --help' for more information.\n", shown(text).c_str());
}

void report_refused_name(const walk_trace &trace, name_refusal refusal, size_t nbytes, int error) {
  const std::string name = shown_name(trace.file, trace.file_attributes);
  const std::string length = std::to_string(nbytes) + " bytes";
  switch (refusal) {
    case name_refusal::outside: report(name, "refused: the name leads outside the destination folder"); break;
    case name_refusal::not_utf8: report(name, "refused: the name is marked as UTF-8 but is not"); break;
    case name_refusal::part_too_long:
      report(name, "refused: a name in it is too long (" + length + ", at most " +
                       std::to_string(kNamePartMaxNbytes) + ")");
      break;
    case name_refusal::path_too_long:
      report(name, "refused: the path with the destination is too long (" + length + ", at most " +
                       std::to_string(CAB_PATH_NBYTES - 1) + ")");
      break;
    case name_refusal::file_system:
      report(name, std::string("refused by the file system: ") + strerror(error));
      break;
    case name_refusal::none: break;
  }
}

void report_skipped_partial(const walk_trace &trace) {
  if (trace.skipped_partial == 0) return;
  const std::string count = std::to_string(trace.skipped_partial);
  report(trace.cabinet, count + (trace.skipped_partial == 1 ? " file begins" : " files begin") +
                            " in an earlier cabinet of the set and " + (trace.skipped_partial == 1 ? "was" : "were") +
                            " skipped; extracting from the set's first cabinet takes " +
                            (trace.skipped_partial == 1 ? "it" : "them") + " (the previous one is " +
                            trace.previous_cabinet + ")");
}

void report_failure(int code, const walk_trace &trace) {
  const std::string at = trace.file.empty() ? "" : " (at " + shown_name(trace.file, trace.file_attributes) + ")";
  if (code == ERR_ABORTED && trace.output_failed) {
    report(trace.output_path, "cannot create the output file: " + open_cause(trace.create_errno));
  } else if (code == ERR_OUTPUT && io().write_errno != 0) {
    report(trace.output_path, std::string("cannot write the output file: ") + strerror(io().write_errno));
  } else if (code == ERR_OPEN_CABINET && !io().failed_open.empty()) {
    report(io().failed_open, std::string(cab_error_text(code)) + ": " + open_cause(io().open_errno));
  } else if (code == ERR_OPEN_CABINET && trace.cabinet.size() >= CAB_PATH_NBYTES) {
    report(trace.cabinet, std::string(cab_error_text(code)) + ": the path is too long (" +
                              std::to_string(trace.cabinet.size()) + " bytes, at most " +
                              std::to_string(CAB_PATH_NBYTES - 1) + ")");
  } else if (code == ERR_CORRUPT && trace.next_refused && trace.next_name.empty()) {
    report(trace.cabinet, std::string(cab_error_text(code)) + ": the data of " +
                              shown_name(trace.file, trace.file_attributes) + " runs past the last cabinet of the set");
  } else if (code == ERR_CORRUPT && trace.next_refused) {
    report(trace.cabinet, std::string(cab_error_text(code)) + ": the next cabinet's name '" + trace.next_name +
                              "' is not a file name in this folder" + at);
  } else {
    report(trace.cabinet, cab_error_text(code) + at);
  }
}

}  // namespace bundlex
