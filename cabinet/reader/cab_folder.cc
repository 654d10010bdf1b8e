// cab_folder.cc - folders and data blocks: selecting a folder, setting up its method's decoder and
// buffers, reading, checking and decoding its blocks, forward only.
#include <string.h>

#include "cabinet/decoders/lzx_decoder.h"
#include "cabinet/decoders/mszip_decoder.h"
#include "cabinet/decoders/quantum_decoder.h"
#include "cabinet/reader/cab_checksum.h"
#include "cabinet/reader/cab_reader_internal.h"

using namespace cab_format;

namespace {

// The decoder of each compressed method; null for a method this build cannot decode.
const CabDecoder *decoder_for(unsigned method) {
  switch (method) {
    case METHOD_MSZIP: return &cab_mszip_decoder;
    case METHOD_QUANTUM: return &cab_quantum_decoder;
    case METHOD_LZX: return &cab_lzx_decoder;
    default: return nullptr;
  }
}

bool is_decoder_method(unsigned method) {
  return method == METHOD_MSZIP || method == METHOD_QUANTUM || method == METHOD_LZX;
}

// The window parameter a decoder is created with: Quantum takes the exponent, LZX the size.
uint32_t window_parameter(uint16_t method_word) {
  unsigned exponent = window_exponent_of(method_word);
  if (method_of(method_word) == METHOD_LZX) return exponent < 32 ? 1u << exponent : 0;
  if (method_of(method_word) == METHOD_QUANTUM) return exponent;
  return 0;
}

// Zeroed, so that nothing read before a folder has produced it depends on earlier memory.
uint8_t *alloc_zeroed(CabReader *r, uint32_t nbytes) {
  auto *buffer = static_cast<uint8_t *>(r->ops.cab_alloc(nbytes));
  if (buffer != nullptr) memset(buffer, 0, nbytes);
  return buffer;
}

void free_buffers(CabReader *r) {
  if (r->in_buffer != nullptr && r->in_buffer != r->out_buffer) r->ops.cab_free(r->in_buffer);
  if (r->out_buffer != nullptr) r->ops.cab_free(r->out_buffer);
  r->in_buffer = r->out_buffer = nullptr;
  r->in_capacity = 0;
}

int set_up_method(CabReader *r, uint16_t method_word) {
  unsigned method = method_of(method_word);
  if (method == METHOD_UNSET) {
    r->method_word = method_word;
    return 1;
  }
  if (method == METHOD_NONE) {
    // A stored block is read straight into the output buffer: nothing to decode, nothing to copy.
    r->out_buffer = alloc_zeroed(r, CAB_BLOCK_MAX_NBYTES);
    if (r->out_buffer == nullptr) return reader_fail(r, ERR_NO_MEMORY);
    r->in_buffer = r->out_buffer;
    r->in_capacity = CAB_BLOCK_MAX_NBYTES;
    r->method_word = method_word;
    return 1;
  }
  const CabDecoder *decoder = decoder_for(method);
  if (decoder == nullptr) return reader_fail(r, ERR_METHOD);
  uint32_t max_block_nbytes = CAB_BLOCK_MAX_NBYTES;
  uint32_t in_capacity = 0;
  uint32_t window = window_parameter(method_word);
  if (decoder->create(&max_block_nbytes, window, &r->ops, &in_capacity, nullptr) != DEC_OK)
    return reader_fail(r, ERR_DECODE);
  r->in_buffer = alloc_zeroed(r, in_capacity);
  r->out_buffer = r->in_buffer != nullptr ? alloc_zeroed(r, CAB_BLOCK_MAX_NBYTES) : nullptr;
  if (r->out_buffer == nullptr) {
    free_buffers(r);
    return reader_fail(r, ERR_NO_MEMORY);
  }
  r->in_capacity = in_capacity;
  void *handle = nullptr;
  int result = decoder->create(&max_block_nbytes, window, &r->ops, &in_capacity, &handle);
  if (result != DEC_OK) {
    free_buffers(r);
    return reader_fail(r, result == DEC_NO_MEMORY ? ERR_NO_MEMORY : ERR_DECODE);
  }
  r->decoder = decoder;
  r->decoder_handle = handle;
  r->method_word = method_word;
  return 1;
}

int switch_method(CabReader *r, uint16_t method_word) {
  if (method_word == r->method_word) return 1;
  if (!release_method(r)) return 0;
  return set_up_method(r, method_word);
}

struct BlockSum {
  const uint8_t *data;
  uint32_t nbytes;
  uint32_t sum;
};

void sum_block(void *context) {
  auto *block = static_cast<BlockSum *>(context);
  block->sum = cab_checksum(block->data, block->nbytes, 0);
}

// Reads one data block at the data handle into the compressed buffer at `offset`; on success
// `*in_nbytes` is offset plus the block's compressed count. A whole stored block is not copied:
// it stays in the data stream's buffer or mapping, where the held block then points, until the
// next read.
int read_block_at(CabReader *r, uint32_t offset, uint32_t *in_nbytes) {
  uint8_t *header = r->data_header;
  if (!read_exact(&r->data, header, r->data_header_nbytes)) return reader_fail(r, ERR_CORRUPT);
  uint32_t compressed_nbytes = le16(header + kDataCompressedCount);
  if (offset + compressed_nbytes > r->in_capacity) return reader_fail(r, ERR_CORRUPT);
  const bool borrow = offset == 0 && compressed_nbytes > 0 && method_of(r->method_word) == METHOD_NONE &&
                      le16(header + kDataUncompressedCount) != 0;
  const uint8_t *data = nullptr;
  if (borrow) {
    data = stream_take(&r->data, compressed_nbytes);
    if (data == nullptr) return reader_fail(r, ERR_CORRUPT);
  } else {
    if (!read_exact(&r->data, r->in_buffer + offset, compressed_nbytes)) return reader_fail(r, ERR_CORRUPT);
    data = r->in_buffer + offset;
  }
  uint32_t stored = le32(header + kDataChecksum);
  if (stored != 0) {
    BlockSum block{data, compressed_nbytes, 0};
    if (!stream_visit(&r->data, data, compressed_nbytes, sum_block, &block)) return reader_fail(r, ERR_CORRUPT);
    uint32_t sum = cab_checksum(header + kDataCompressedCount, r->data_header_nbytes - kDataCompressedCount, block.sum);
    if (sum != stored) return reader_fail(r, ERR_CORRUPT);
  }
  r->block_data = borrow ? data : r->out_buffer;
  r->block_in_mapping = borrow && stream_is_mapped(&r->data);
  *in_nbytes = offset + compressed_nbytes;
  return 1;
}

int decode_block(CabReader *r, uint32_t in_nbytes, uint32_t out_nbytes) {
  unsigned method = method_of(r->method_word);
  uint32_t produced = 0;
  if (method == METHOD_NONE) {
    produced = in_nbytes;  // the block's bytes are its output
  } else if (is_decoder_method(method)) {
    if (out_nbytes > CAB_BLOCK_MAX_NBYTES) return reader_fail(r, ERR_DECODE);
    // MSZIP stops at the end of its data and says how much it made; the others make what is asked.
    produced = method == METHOD_MSZIP ? CAB_BLOCK_MAX_NBYTES : out_nbytes;
    if (r->decoder->decode(r->decoder_handle, r->in_buffer, in_nbytes, r->out_buffer, &produced) != DEC_OK)
      return reader_fail(r, ERR_DECODE);
    r->block_data = r->out_buffer;
    r->block_in_mapping = false;
  } else {
    return reader_fail(r, ERR_METHOD);
  }
  if (produced != out_nbytes) return reader_fail(r, ERR_DECODE);
  r->block_nbytes = produced;
  return 1;
}

}  // namespace

int release_method(CabReader *r) {
  unsigned method = method_of(r->method_word);
  int ok = 1;
  if (is_decoder_method(method) && r->decoder_handle != nullptr) {
    if (r->decoder->destroy(r->decoder_handle) != DEC_OK) ok = reader_fail(r, ERR_DECODE);
  }
  r->decoder = nullptr;
  r->decoder_handle = nullptr;
  free_buffers(r);
  r->method_word = METHOD_UNSET;
  return ok;
}

int reset_decoder(CabReader *r) {
  unsigned method = method_of(r->method_word);
  if (!is_decoder_method(method)) return 1;
  if (r->decoder->reset(r->decoder_handle) != DEC_OK) return reader_fail(r, ERR_DECODE);
  return 1;
}

uint32_t resolve_folder_index(const CabReader *r, uint16_t folder_index) {
  uint16_t folder_count = le16(r->header + kHeaderFolderCount);
  if (folder_count == 0) return kNoFolder;
  if (folder_index == kFolderContinuedFromPrevious) return 0;
  if (folder_index == kFolderContinuedToNext || folder_index == kFolderContinuedBoth) return folder_count - 1u;
  return folder_index < folder_count ? folder_index : kNoFolder;
}

int read_folder_entry(CabReader *r, uint32_t folder_index) {
  r->folder_index = folder_index;
  int64_t entry_offset = r->folder_table_offset + static_cast<int64_t>(folder_index) * r->folder_entry_nbytes;
  if (!stream_seek(&r->data, entry_offset) || !read_exact(&r->data, r->folder_entry, r->folder_entry_nbytes))
    return reader_fail(r, ERR_CORRUPT);
  stream_seek(&r->data, le32(r->folder_entry + kFolderFirstBlock));
  r->blocks_left = le16(r->folder_entry + kFolderBlockCount);
  return switch_method(r, le16(r->folder_entry + kFolderMethodWord));
}

int select_folder(CabReader *r, uint16_t file_folder_index) {
  if (r->continuation) return 1;
  uint32_t folder_index = resolve_folder_index(r, file_folder_index);
  if (folder_index == kNoFolder) return reader_fail(r, ERR_CORRUPT);
  if (folder_index == r->folder_index) return 1;
  if (!reset_decoder(r) || !read_folder_entry(r, folder_index)) return 0;
  r->block_nbytes = 0;
  if (!read_next_block(r)) return 0;
  r->block_folder_offset = 0;
  return 1;
}

// Counts off one block of the folder in this cabinet; a folder part that claims none is damaged.
int take_block(CabReader *r) {
  if (r->blocks_left == 0) return reader_fail(r, ERR_CORRUPT);
  --r->blocks_left;
  return 1;
}

int read_next_block(CabReader *r) {
  r->block_folder_offset += r->block_nbytes;
  r->block_nbytes = 0;
  if (method_of(r->method_word) == METHOD_UNSET) return reader_fail(r, ERR_METHOD);
  if (r->blocks_left == 0 && !move_to_next_cabinet(r)) return 0;
  uint32_t in_nbytes = 0;
  if (!take_block(r) || !read_block_at(r, 0, &in_nbytes)) return 0;
  uint32_t out_nbytes = le16(r->data_header + kDataUncompressedCount);
  if (out_nbytes == 0) {
    // A block split across cabinets: its rest opens the folder's part in the next cabinet.
    if (!move_to_next_cabinet(r) || !take_block(r) || !read_block_at(r, in_nbytes, &in_nbytes)) return 0;
    out_nbytes = le16(r->data_header + kDataUncompressedCount);
    // A block that yields nothing brings the walk no further.
    if (out_nbytes == 0) return reader_fail(r, ERR_CORRUPT);
  }
  return decode_block(r, in_nbytes, out_nbytes);
}
