// cabinet_listing.cc - the listing pass: a reader walk whose handler records every file entry and
// answers 0 to NOTE_COPY, so nothing is decoded or written.
#include "tools/bundlex/cabinet_listing.h"

#include <map>
#include <set>
#include <tuple>

#include "cab_reader.h"
#include "extract_job.h"
#include "tools/bundlex/tool_ops.h"

namespace bundlex {

namespace {

// The state of one listing walk, the notes' user value.
struct listing_walk {
  CabReader *reader;
  cabinet_listing *out;
  // Per folder index as the entries give it (0xFFFE and the like included), read once: the folder
  // that holds the file, and its method word; -1 when the entry cannot be read.
  std::map<uint16_t, std::pair<int32_t, int32_t>> folders;
};

std::pair<int32_t, int32_t> holding_folder(listing_walk &walk, uint16_t folder_index) {
  auto known = walk.folders.find(folder_index);
  if (known != walk.folders.end()) return known->second;
  // A folder entry that cannot be read records ERR_CORRUPT, which only matters if the walk fails
  // as well, and then its own failure is recorded after it.
  CabFolderInfo info;
  std::pair<int32_t, int32_t> folder{-1, -1};
  if (cab_reader_folder_info(walk.reader, folder_index, &info) == 1) folder = {info.folder_index, info.method_word};
  walk.folders.emplace(folder_index, folder);
  return folder;
}

void record(listing_walk &walk, const CabNote &note) {
  entry e;
  e.name = note.text1;
  e.nbytes = static_cast<uint32_t>(note.value);
  e.date = note.date;
  e.time = note.time;
  e.attributes = note.attributes;
  e.folder_index = note.folder_index;
  std::tie(e.folder, e.method_word) = holding_folder(walk, note.folder_index);
  walk.out->entries.push_back(std::move(e));
}

int32_t on_note(int32_t kind, CabNote *note) {
  auto &walk = *static_cast<listing_walk *>(note->user);
  switch (kind) {
    case NOTE_CABINET:
      walk.out->next_cabinet = note->text1;
      return 0;
    case NOTE_PARTIAL:
    case NOTE_COPY:
      record(walk, *note);
      return 0;  // skips the file
    case NOTE_LIST_POSITION:
      return 0;
    default:
      // NOTE_CLOSE and NOTE_NEXT_CABINET only follow an extraction, and none is started.
      return -1;
  }
}

}  // namespace

std::pair<std::string, std::string> split_cabinet_path(const std::string &path) {
  size_t name_start = cabinet_name_start(path.c_str());
  return {path.substr(0, name_start), path.substr(name_start)};
}

int list_cabinet(const std::string &path, cabinet_listing &out) {
  io() = io_log{};
  const CabOps &ops = tool_ops();
  CabError error{};
  CabReader *reader = cab_reader_create(ops.cab_alloc, ops.cab_free, ops.cab_open, ops.cab_read, ops.cab_write,
                                        ops.cab_close, ops.cab_seek, &error);
  if (reader == nullptr) return error.code;
  auto [folder, name] = split_cabinet_path(path);
  listing_walk walk{reader, &out};
  int ok = cab_reader_copy(reader, name.c_str(), folder.c_str(), on_note, &walk);
  cab_reader_destroy(reader);
  return ok ? 0 : error.code;
}

int list_extraction(const std::string &path, std::vector<entry> &out) {
  cabinet_listing first;
  if (int code = list_cabinet(path, first)) return code;
  size_t running_on = 0;  // files that continue into the next cabinet
  for (entry &e : first.entries) {
    if (e.from_previous()) continue;  // the reader skips these
    running_on += e.into_next();
    out.push_back(std::move(e));
  }
  // The reader follows a folder into the next cabinet, skips the entries there that repeat the
  // files already in hand, and extracts the entries after them that continue the folder.
  const std::string folder = split_cabinet_path(path).first;
  std::string next = first.next_cabinet;
  std::set<std::string> seen{split_cabinet_path(path).second};
  // Only where the extraction goes: plain names in the first cabinet's folder, each once.
  while (running_on > 0 && cab_reader_is_cabinet_name(next.c_str()) && seen.insert(next).second) {
    cabinet_listing later;
    if (list_cabinet(folder + next, later) != 0) break;
    size_t repeated = running_on;
    running_on = 0;
    for (entry &e : later.entries) {
      if (!e.from_previous()) break;
      running_on += e.into_next();
      if (repeated > 0) {
        --repeated;
        continue;
      }
      out.push_back(std::move(e));
    }
    next = later.next_cabinet;
  }
  return 0;
}

}  // namespace bundlex
