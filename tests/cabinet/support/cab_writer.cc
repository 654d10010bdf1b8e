// cab_writer.cc - lays folders out over the cabinets of a set and writes each cabinet's bytes.
#include "tests/cabinet/support/cab_writer.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <stdexcept>

namespace cabtest {
namespace {

constexpr uint16_t kFlagPrevious = 0x0001;
constexpr uint16_t kFlagNext = 0x0002;
constexpr uint16_t kFlagReserve = 0x0004;

template <typename T>
T narrow(size_t value, const char* what) {
  if (value > std::numeric_limits<T>::max()) throw std::invalid_argument(std::string(what) + " overflows its field");
  return static_cast<T>(value);
}

void put8(Bytes& out, uint8_t v) { out.push_back(v); }
void put16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& out, uint32_t v) {
  put16(out, static_cast<uint16_t>(v));
  put16(out, static_cast<uint16_t>(v >> 16));
}
void patch16(Bytes& out, size_t at, uint16_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
}
void patch32(Bytes& out, size_t at, uint32_t v) {
  patch16(out, at, static_cast<uint16_t>(v));
  patch16(out, at + 2, static_cast<uint16_t>(v >> 16));
}
void put_string(Bytes& out, const std::string& s) {
  out.insert(out.end(), s.begin(), s.end());
  out.push_back(0);
}

// Reserve areas are filled with a recognisable, non-zero pattern so that a reader which
// interprets them, or skips the wrong number of bytes, shows it.
Bytes reserve_bytes(size_t nbytes) {
  Bytes bytes(nbytes);
  for (size_t i = 0; i < nbytes; ++i) bytes[i] = static_cast<uint8_t>(0xA5 ^ i);
  return bytes;
}

std::string cabinet_name(const Layout& layout, size_t index) {
  return layout.name_prefix + std::to_string(index + 1) + ".cab";
}
std::string disk_name(size_t index) { return "Disk " + std::to_string(index + 1); }

// One folder with its blocks and its place in the set.
struct PlannedFolder {
  const Folder* source = nullptr;
  std::vector<Block> blocks;
  std::vector<size_t> offsets;  // each file's offset in the folder's uncompressed data, by data index
  std::vector<size_t> listing;  // data indices in entry order
  std::vector<size_t> block_last_cabinet;  // the cabinet that holds each block's last part
  size_t first_cabinet = 0;
  size_t last_cabinet = 0;
};

// A run of one block's compressed bytes written in one cabinet.
struct Part {
  size_t folder;
  size_t block;
  size_t begin;
  size_t end;
  bool last;  // false: the block goes on in the next cabinet, and this header's uncompressed count is 0
};

struct Entry {
  size_t folder;
  size_t file;  // data index
  uint16_t folder_index;
};

struct CabinetPlan {
  std::vector<size_t> folders;  // set-wide folder numbers, in table order
  std::vector<Part> parts;
  std::vector<Entry> entries;
};

PlannedFolder plan_folder(const Folder& folder) {
  PlannedFolder planned{.source = &folder};
  if (folder.blocks) {
    planned.blocks = *folder.blocks;
  } else if ((folder.method_word & 0x000F) == kMethodMszip) {
    planned.blocks = mszip_compress(folder_data(folder), folder.mszip_level);
  } else {
    planned.blocks = stored_blocks(folder_data(folder));
  }
  size_t offset = 0;
  for (const File& file : folder.files) {
    planned.offsets.push_back(offset);
    offset += file.data.size();
  }
  const size_t nfiles = folder.files.size();
  if (folder.listing_order.empty()) {
    planned.listing.resize(nfiles);
    std::iota(planned.listing.begin(), planned.listing.end(), size_t{0});
  } else {
    planned.listing = folder.listing_order;
    std::vector<size_t> sorted = planned.listing;
    std::sort(sorted.begin(), sorted.end());
    bool permutation = sorted.size() == nfiles;
    for (size_t i = 0; permutation && i < nfiles; ++i) permutation = sorted[i] == i;
    if (!permutation) throw std::invalid_argument("listing_order is not a permutation of files");
  }
  return planned;
}

// Deals the blocks of all folders, in order, to cabinets that each take at most the capacity of
// payload bytes. A blockless folder joins the cabinet being filled.
std::vector<CabinetPlan> place_blocks(std::vector<PlannedFolder>& folders, const Layout& layout) {
  std::vector<CabinetPlan> cabinets(1);
  const size_t capacity = layout.cabinet_data_capacity;
  size_t used = 0;
  auto join = [&](size_t f) {
    std::vector<size_t>& list = cabinets.back().folders;
    if (list.empty() || list.back() != f) list.push_back(f);
  };
  for (size_t f = 0; f < folders.size(); ++f) {
    PlannedFolder& folder = folders[f];
    if (folder.blocks.empty()) join(f);
    for (size_t b = 0; b < folder.blocks.size(); ++b) {
      const size_t nbytes = folder.blocks[b].compressed.size();
      size_t begin = 0;
      for (;;) {
        const size_t rest = nbytes - begin;
        const size_t room = capacity == 0 ? rest : capacity - std::min(used, capacity);
        // A block larger than a whole cabinet that may not be split still has to go somewhere.
        if (rest <= room || (used == 0 && !layout.split_blocks)) {
          join(f);
          cabinets.back().parts.push_back(Part{f, b, begin, nbytes, true});
          used += rest;
          break;
        }
        if (layout.split_blocks && room > 0) {
          join(f);
          cabinets.back().parts.push_back(Part{f, b, begin, begin + room, false});
          begin += room;
        }
        cabinets.emplace_back();
        used = 0;
      }
      folder.block_last_cabinet.push_back(cabinets.size() - 1);
    }
  }
  for (size_t c = cabinets.size(); c-- > 0;) {
    for (size_t f : cabinets[c].folders) folders[f].first_cabinet = c;
  }
  for (size_t c = 0; c < cabinets.size(); ++c) {
    for (size_t f : cabinets[c].folders) folders[f].last_cabinet = c;
  }
  return cabinets;
}

// The first listing position whose file is not complete once cabinet `c` has been read: data of a
// split block counts in the cabinet of its last part. Empty files are always complete, so the
// reader never lands on one when it needs to cross into the next cabinet.
size_t first_incomplete(const PlannedFolder& folder, size_t c) {
  size_t complete_nbytes = 0;
  for (size_t b = 0; b < folder.blocks.size(); ++b) {
    if (folder.block_last_cabinet[b] <= c) complete_nbytes += folder.blocks[b].uncompressed_nbytes;
  }
  for (size_t pos = 0; pos < folder.listing.size(); ++pos) {
    const size_t file = folder.listing[pos];
    const size_t nbytes = folder.source->files[file].data.size();
    if (nbytes > 0 && folder.offsets[file] + nbytes > complete_nbytes) return pos;
  }
  return folder.listing.size();
}

// File entries of cabinet `c`. A folder that continues into the next cabinet lists its files
// normally up to the first one the reader must cross the boundary for; from there on the entries
// say 0xFFFE (0xFFFF when they also came from the previous cabinet) and are listed again, in the
// same order, at the start of the next cabinet, which the reader skips past once it has crossed.
void plan_entries(const std::vector<PlannedFolder>& folders, std::vector<CabinetPlan>& cabinets) {
  for (size_t c = 0; c < cabinets.size(); ++c) {
    CabinetPlan& cabinet = cabinets[c];
    for (size_t local = 0; local < cabinet.folders.size(); ++local) {
      const PlannedFolder& folder = folders[cabinet.folders[local]];
      const bool starts_here = folder.first_cabinet == c;
      const size_t nfiles = folder.listing.size();
      const size_t from = starts_here ? 0 : first_incomplete(folder, c - 1);
      const size_t stop = folder.last_cabinet > c ? first_incomplete(folder, c) : nfiles;
      for (size_t pos = from; pos < nfiles; ++pos) {
        uint16_t index;
        if (starts_here) {
          index = pos < stop ? narrow<uint16_t>(local, "folder count") : kIndexContinuesToNext;
        } else {
          index = pos < stop ? kIndexContinuedFromPrev : kIndexPrevAndNext;
        }
        cabinet.entries.push_back(Entry{cabinet.folders[local], folder.listing[pos], index});
      }
    }
  }
}

void put_part(Bytes& out, const PlannedFolder& folder, const Part& part, const Layout& layout,
              const Bytes& data_reserve) {
  const Block& block = folder.blocks[part.block];
  const Bytes data(block.compressed.begin() + part.begin, block.compressed.begin() + part.end);
  const uint16_t uncompressed_nbytes = part.last ? block.uncompressed_nbytes : 0;
  put32(out, layout.checksums ? block_checksum(data, uncompressed_nbytes, data_reserve) : 0);
  put16(out, narrow<uint16_t>(data.size(), "block part"));
  put16(out, uncompressed_nbytes);
  out.insert(out.end(), data_reserve.begin(), data_reserve.end());
  out.insert(out.end(), data.begin(), data.end());
}

Cabinet write_one(const std::vector<PlannedFolder>& folders, const CabinetPlan& plan, size_t c,
                  size_t ncabinets, const Layout& layout) {
  Cabinet cabinet{.name = cabinet_name(layout, c)};
  Bytes& out = cabinet.bytes;
  const bool has_previous = c > 0;
  const bool has_next = c + 1 < ncabinets;
  const uint16_t flags = (has_previous ? kFlagPrevious : 0) | (has_next ? kFlagNext : 0) |
                         (layout.reserve_present ? kFlagReserve : 0);

  out.insert(out.end(), {'M', 'S', 'C', 'F'});
  put32(out, 0);
  put32(out, 0);  // cabinet size, patched below
  put32(out, 0);
  put32(out, 0);  // first file entry, patched below
  put32(out, 0);
  put16(out, layout.version);
  put16(out, narrow<uint16_t>(plan.folders.size(), "folder count"));
  put16(out, narrow<uint16_t>(plan.entries.size(), "file count"));
  put16(out, flags);
  put16(out, layout.set_id);
  put16(out, narrow<uint16_t>(c, "cabinet index"));
  static_assert(kHeaderNbytes == 36);

  if (layout.reserve_present) {
    put16(out, layout.header_reserve);
    put8(out, layout.folder_reserve);
    put8(out, layout.data_reserve);
    const Bytes header_reserve = reserve_bytes(layout.header_reserve);
    out.insert(out.end(), header_reserve.begin(), header_reserve.end());
  }
  if (has_previous) {
    put_string(out, cabinet_name(layout, c - 1));
    put_string(out, disk_name(c - 1));
  }
  if (has_next) {
    put_string(out, cabinet_name(layout, c + 1));
    put_string(out, disk_name(c + 1));
  }

  const Bytes folder_reserve = reserve_bytes(layout.folder_reserve);
  const size_t folder_entry_nbytes = kFolderEntryNbytes + folder_reserve.size();
  cabinet.folder_table = out.size();
  out.resize(out.size() + plan.folders.size() * folder_entry_nbytes);

  cabinet.file_table = out.size();
  for (const Entry& entry : plan.entries) {
    const PlannedFolder& folder = folders[entry.folder];
    const File& file = folder.source->files[entry.file];
    cabinet.file_entries.push_back(out.size());
    put32(out, narrow<uint32_t>(file.data.size(), "file size"));
    put32(out, narrow<uint32_t>(folder.offsets[entry.file], "file offset"));
    put16(out, entry.folder_index);
    put16(out, file.date);
    put16(out, file.time);
    put16(out, file.attributes);
    put_string(out, file.name);
  }

  // Parts come in folder order, so each folder's parts are one run.
  const Bytes data_reserve = reserve_bytes(layout.data_reserve);
  size_t p = 0;
  for (size_t local = 0; local < plan.folders.size(); ++local) {
    const size_t f = plan.folders[local];
    const size_t first_block = out.size();
    size_t nparts = 0;
    for (; p < plan.parts.size() && plan.parts[p].folder == f; ++p, ++nparts) {
      cabinet.blocks.push_back(out.size());
      put_part(out, folders[f], plan.parts[p], layout, data_reserve);
    }
    const size_t entry = cabinet.folder_table + local * folder_entry_nbytes;
    patch32(out, entry, narrow<uint32_t>(first_block, "block offset"));
    patch16(out, entry + 4, narrow<uint16_t>(nparts, "block count"));
    patch16(out, entry + 6, folders[f].source->method_word);
    std::copy(folder_reserve.begin(), folder_reserve.end(), out.begin() + entry + kFolderEntryNbytes);
  }

  patch32(out, 8, narrow<uint32_t>(out.size(), "cabinet size"));
  patch32(out, 16, narrow<uint32_t>(cabinet.file_table, "file table offset"));
  return cabinet;
}

}  // namespace

std::vector<Cabinet> write_cabinet_set(const std::vector<Folder>& folders, const Layout& layout) {
  if (!layout.reserve_present && (layout.header_reserve || layout.folder_reserve || layout.data_reserve)) {
    throw std::invalid_argument("reserve sizes need reserve_present");
  }
  std::vector<PlannedFolder> planned;
  for (const Folder& folder : folders) planned.push_back(plan_folder(folder));
  std::vector<CabinetPlan> plans = place_blocks(planned, layout);
  plan_entries(planned, plans);
  std::vector<Cabinet> cabinets;
  for (size_t c = 0; c < plans.size(); ++c) cabinets.push_back(write_one(planned, plans[c], c, plans.size(), layout));
  return cabinets;
}

Bytes write_cabinet(const std::vector<Folder>& folders, const Layout& layout) {
  std::vector<Cabinet> cabinets = write_cabinet_set(folders, layout);
  if (cabinets.size() != 1) throw std::invalid_argument("the layout makes more than one cabinet");
  return std::move(cabinets.front().bytes);
}

}  // namespace cabtest
