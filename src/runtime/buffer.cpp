// The growable byte buffer.
#include "runtime/buffer.h"

#include "runtime/memory.h"

#include <cstdint>
#include <cstring>

GrowBuffer::~GrowBuffer() { CSFreeMem(data); }

bool bufferSet(GrowBuffer &buf, const void *bytes, size_t length) {
  if (length >= SIZE_MAX - 4096) {
    buf.length = 0;
    if (buf.data) buf.data[0] = '\0';
    return false;
  }
  if (length + 1 > buf.capacity) {
    // The new area is taken before the old one goes, so `bytes` may point into the
    // buffer itself.
    size_t capacity = (length + 4096) & ~static_cast<size_t>(0xFFF);
    char *area = static_cast<char *>(CSGetMem(capacity));
    if (area && length) std::memcpy(area, bytes, length);
    CSFreeMem(buf.data);
    buf.data = area;
    buf.capacity = area ? capacity : 0;
    buf.length = 0;
    if (!area) return false;
  } else if (length) {
    std::memmove(buf.data, bytes, length);
  }
  buf.length = length;
  buf.data[length] = '\0';
  return true;
}
