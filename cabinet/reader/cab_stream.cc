// cab_stream.cc - buffered reading of one cabinet handle.
#include "cabinet/reader/cab_stream.h"

#include <string.h>

namespace {

// Reads at `offset` straight into `out`, moving the handle first when it is elsewhere.
int32_t read_at(CabStream *s, int64_t offset, uint8_t *out, uint32_t nbytes) {
  if (s->handle_position != offset) {
    if (s->ops->cab_seek(s->handle, offset, 0) != offset) {
      s->handle_position = -1;
      return -1;
    }
    s->handle_position = offset;
  }
  int32_t got = s->ops->cab_read(s->handle, out, nbytes);
  if (got < 0) {
    s->handle_position = -1;
    return -1;
  }
  s->handle_position += got;
  return got;
}

// Bytes of the buffer from the position on.
uint32_t buffered_ahead(const CabStream *s) {
  int64_t start = s->position - s->buffer_offset;
  if (start < 0 || start >= s->buffered) return 0;
  return s->buffered - static_cast<uint32_t>(start);
}

// Refills the buffer from the position on, keeping the bytes already there; false on a failed read.
bool refill(CabStream *s) {
  uint32_t ahead = buffered_ahead(s);
  if (ahead > 0) memmove(s->buffer, s->buffer + (s->position - s->buffer_offset), ahead);
  s->buffer_offset = s->position;
  s->buffered = ahead;
  int32_t got = read_at(s, s->position + ahead, s->buffer + ahead, s->capacity - ahead);
  if (got < 0) return false;
  s->buffered += static_cast<uint32_t>(got);
  return true;
}

struct MappedCopy {
  void *out;
  const uint8_t *from;
  uint32_t nbytes;
};

void copy_mapped(void *context) {
  const auto *copy = static_cast<const MappedCopy *>(context);
  memcpy(copy->out, copy->from, copy->nbytes);
}

int32_t read_mapped(CabStream *s, void *out, uint32_t nbytes) {
  const uint64_t position = static_cast<uint64_t>(s->position);
  const uint64_t left = position < s->mapped_nbytes ? s->mapped_nbytes - position : 0;
  const uint32_t count = left < nbytes ? static_cast<uint32_t>(left) : nbytes;
  if (count == 0) return 0;
  MappedCopy copy{out, s->mapped + position, count};
  if (!s->map_ops->cab_read_mapped(copy.from, count, copy_mapped, &copy)) return -1;
  s->position += count;
  return static_cast<int32_t>(count);
}

}  // namespace

void stream_attach(CabStream *s, const CabOps *ops, int32_t handle, uint8_t *buffer, uint32_t capacity) {
  s->ops = ops;
  s->handle = handle;
  s->buffer = buffer;
  s->capacity = capacity;
  s->buffer_offset = 0;
  s->buffered = 0;
  s->position = 0;
  s->handle_position = 0;
  s->map_ops = nullptr;
  s->mapped = nullptr;
  s->mapped_nbytes = 0;
}

void stream_map(CabStream *s, const CabMapOps *map_ops) {
  uint64_t nbytes = 0;
  const void *bytes = map_ops->cab_map(s->handle, uint64_t{s->capacity} + 1, &nbytes);
  if (bytes == nullptr) return;
  s->map_ops = map_ops;
  s->mapped = static_cast<const uint8_t *>(bytes);
  s->mapped_nbytes = nbytes;
}

void stream_unmap(CabStream *s) {
  if (s->mapped != nullptr) s->map_ops->cab_unmap(s->mapped, s->mapped_nbytes);
  s->mapped = nullptr;
  s->mapped_nbytes = 0;
}

bool stream_is_mapped(const CabStream *s) { return s->mapped != nullptr; }

int32_t stream_read(CabStream *s, void *out, uint32_t nbytes) {
  if (s->mapped != nullptr) return read_mapped(s, out, nbytes);
  auto *bytes = static_cast<uint8_t *>(out);
  uint32_t done = 0;
  while (done < nbytes) {
    uint32_t ahead = buffered_ahead(s);
    if (ahead == 0) {
      // A read as large as the buffer gains nothing from it.
      if (nbytes - done >= s->capacity) {
        int32_t got = read_at(s, s->position, bytes + done, nbytes - done);
        if (got < 0) return -1;
        s->position += got;
        return static_cast<int32_t>(done) + got;
      }
      if (!refill(s)) return -1;
      ahead = buffered_ahead(s);
      if (ahead == 0) break;  // end of file
    }
    uint32_t chunk = nbytes - done < ahead ? nbytes - done : ahead;
    memcpy(bytes + done, s->buffer + (s->position - s->buffer_offset), chunk);
    s->position += chunk;
    done += chunk;
  }
  return static_cast<int32_t>(done);
}

const uint8_t *stream_take(CabStream *s, uint32_t nbytes) {
  if (nbytes > s->capacity) return nullptr;
  if (s->mapped != nullptr) {
    const auto position = static_cast<uint64_t>(s->position);
    if (position > s->mapped_nbytes || s->mapped_nbytes - position < nbytes) return nullptr;
    s->position += nbytes;
    return s->mapped + position;
  }
  if (buffered_ahead(s) < nbytes) {
    if (!refill(s) || s->buffered < nbytes) return nullptr;
  }
  const uint8_t *data = s->buffer + (s->position - s->buffer_offset);
  s->position += nbytes;
  return data;
}

bool stream_visit(const CabStream *s, const uint8_t *bytes, uint32_t nbytes, void (*visit)(void *context),
                  void *context) {
  if (s->mapped == nullptr) {
    visit(context);
    return true;
  }
  return s->map_ops->cab_read_mapped(bytes, nbytes, visit, context) != 0;
}

bool stream_still_whole(const CabStream *s) {
  if (s->mapped == nullptr) return true;
  struct LastByte {
    const volatile uint8_t *at;
  } last{s->mapped + s->mapped_nbytes - 1};
  return s->map_ops->cab_read_mapped(s->mapped + s->mapped_nbytes - 1, 1, [](void *context) {
    (void)*static_cast<LastByte *>(context)->at;
  }, &last) != 0;
}

bool stream_seek(CabStream *s, int64_t offset) {
  if (offset < 0) return false;
  s->position = offset;
  return true;
}

void stream_handle_moved(CabStream *s) { s->handle_position = -1; }
