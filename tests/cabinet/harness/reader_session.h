// reader_session.h - drives the reader over in-memory cabinets with a recording, scriptable handler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cabinet/include/cab_reader.h"
#include "tests/cabinet/harness/memory_files.h"
#include "tests/cabinet/support/cab_writer.h"

namespace cabtest {

// A notification as the handler saw it, strings copied.
struct NoteRecord {
  int32_t kind;
  int32_t value;
  std::string text1, text2, text3;
  uint16_t date, time, attributes, set_id, cabinet_index, folder_index;
  int32_t error;
  int32_t handle;
};

// Output files land in memory under "out/" + stored name.
class ReaderSession {
 public:
  explicit ReaderSession(MemoryFiles &files);
  ~ReaderSession();
  ReaderSession(const ReaderSession &) = delete;
  ReaderSession &operator=(const ReaderSession &) = delete;

  // Lets the reader map the cabinets through MemoryFiles::map_ops().
  void allow_mapping() { cab_reader_allow_mapping(reader, &MemoryFiles::map_ops()); }

  // Runs one copy; returns the reader's answer (1 or 0).
  int copy(const std::string &cabinet_name, const std::string &cabinet_folder = "");

  // The default answers: NOTE_COPY opens "out/" + name, NOTE_CLOSE closes the handle and answers
  // 1, NOTE_NEXT_CABINET answers 0 on the first request and -1 on a repeat, others 0. Set
  // `answer` to change them; `default_answer` stays available to delegate to.
  std::function<int32_t(int32_t kind, CabNote *note)> answer;
  int32_t default_answer(int32_t kind, CabNote *note);

  // The kinds notified, in order.
  std::vector<int32_t> kinds() const;
  // The names of the files closed (extracted), in order.
  std::vector<std::string> closed_files() const;

  CabReader *reader = nullptr;
  CabError error{};
  std::vector<NoteRecord> notes;

 private:
  static int32_t notify(int32_t kind, CabNote *note);
  MemoryFiles &files_;
};

// Puts every cabinet of a set into `files` under `folder` + its name.
void add_cabinets(MemoryFiles &files, const std::vector<Cabinet> &cabinets, const std::string &folder = "");

}  // namespace cabtest
