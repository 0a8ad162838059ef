// The growable byte buffer.
#pragma once
#include <cstddef>

struct GrowBuffer {
  size_t capacity = 0;
  size_t length = 0;
  char *data = nullptr;  // from CSGetMem; always NUL-terminated after set
  GrowBuffer() = default;
  GrowBuffer(const GrowBuffer &) = delete;
  GrowBuffer &operator=(const GrowBuffer &) = delete;
  ~GrowBuffer();
};

// Replace the contents. When length + 1 exceeds the capacity the old area is freed and
// a new one of (length + 4096) & ~0xFFF bytes is obtained; on failure the capacity
// becomes 0 and false is returned.
bool bufferSet(GrowBuffer &buf, const void *bytes, size_t length);
