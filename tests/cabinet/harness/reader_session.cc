// reader_session.cc - the recording handler and the copy driver of reader tests.
#include "tests/cabinet/harness/reader_session.h"

namespace cabtest {

ReaderSession::ReaderSession(MemoryFiles &files) : files_(files) {
  const CabOps &ops = MemoryFiles::ops();
  reader = cab_reader_create(ops.cab_alloc, ops.cab_free, ops.cab_open, ops.cab_read, ops.cab_write, ops.cab_close,
                             ops.cab_seek, &error);
}

ReaderSession::~ReaderSession() {
  if (reader != nullptr) cab_reader_destroy(reader);
}

int ReaderSession::copy(const std::string &cabinet_name, const std::string &cabinet_folder) {
  return cab_reader_copy(reader, cabinet_name.c_str(), cabinet_folder.c_str(), notify, this);
}

int32_t ReaderSession::default_answer(int32_t kind, CabNote *note) {
  switch (kind) {
    case NOTE_COPY: return files_.create_output("out/" + std::string(note->text1));
    case NOTE_CLOSE: MemoryFiles::ops().cab_close(note->handle); return 1;
    case NOTE_NEXT_CABINET: return note->error == 0 ? 0 : -1;
    default: return 0;
  }
}

int32_t ReaderSession::notify(int32_t kind, CabNote *note) {
  auto *self = static_cast<ReaderSession *>(note->user);
  auto text = [](const char *s) { return s != nullptr ? std::string(s) : std::string(); };
  self->notes.push_back(NoteRecord{kind, note->value, text(note->text1), text(note->text2), text(note->text3),
                                   note->date, note->time, note->attributes, note->set_id, note->cabinet_index,
                                   note->folder_index, note->error, note->handle});
  return self->answer ? self->answer(kind, note) : self->default_answer(kind, note);
}

std::vector<int32_t> ReaderSession::kinds() const {
  std::vector<int32_t> result;
  for (const NoteRecord &note : notes) result.push_back(note.kind);
  return result;
}

std::vector<std::string> ReaderSession::closed_files() const {
  std::vector<std::string> result;
  for (const NoteRecord &note : notes)
    if (note.kind == NOTE_CLOSE) result.push_back(note.text1);
  return result;
}

void add_cabinets(MemoryFiles &files, const std::vector<Cabinet> &cabinets, const std::string &folder) {
  for (const Cabinet &cabinet : cabinets) files.add(folder + cabinet.name, cabinet.bytes);
}

}  // namespace cabtest
