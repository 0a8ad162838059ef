// The qmsim wire protocol: MQI calls carried over a stream socket (TCP for client
// bindings, a local socket for server bindings). Every request is one frame, every
// reply one frame; a frame is a 4-byte length, a 4-byte code (the operation, or 0
// for a reply) and a body of fixed-layout fields. Both ends are this code on the
// same platform, so MQI structures travel as their bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace qmsim::net {

enum class Op : uint32_t {
  Reply = 0,
  Connect,
  Disconnect,
  Open,
  Close,
  Put,
  Put1,
  Get,
  Inquire,
  Set,
  Commit,
  Backout,
  GetAhead
};

// GetAhead is a Get followed by a limit of messages and of bytes: the reply carries the
// message got and then, each after a non-zero word, further non-persistent messages
// the server took off the queue for the client to hand out (read ahead), ended by a
// zero word.

// Larger than any message a queue manager accepts (100 MB) plus its descriptors.
constexpr size_t kMaxFrame = 100u * 1024 * 1024 + 64 * 1024;

class Writer {
 public:
  void u32(uint32_t v) { raw(&v, 4); }
  void i32(int32_t v) { raw(&v, 4); }
  void raw(const void* p, size_t n) { buf_.append(static_cast<const char*>(p), n); }
  template <typename T>
  void put(const T& s) {
    raw(&s, sizeof s);
  }
  void str(std::string_view s) {
    u32(static_cast<uint32_t>(s.size()));
    buf_.append(s);
  }
  const std::string& data() const { return buf_; }

 private:
  std::string buf_;
};

// Reads fields in order; any overrun leaves ok() false and yields zeros.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  uint32_t u32() {
    uint32_t v = 0;
    raw(&v, 4);
    return v;
  }
  int32_t i32() {
    int32_t v = 0;
    raw(&v, 4);
    return v;
  }
  bool raw(void* p, size_t n) {
    if (!ok_ || n > data_.size() - pos_) {
      ok_ = false;
      std::memset(p, 0, n);
      return false;
    }
    std::memcpy(p, data_.data() + pos_, n);
    pos_ += n;
    return true;
  }
  template <typename T>
  void get(T& s) {
    raw(&s, sizeof s);
  }
  std::string str() {
    uint32_t n = u32();
    if (!ok_ || n > data_.size() - pos_) {
      ok_ = false;
      return {};
    }
    std::string s(data_.substr(pos_, n));
    pos_ += n;
    return s;
  }
  bool ok() const { return ok_; }

 private:
  std::string_view data_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Frame I/O; false when the peer is gone, sent something malformed or fell silent.
// A limit is in milliseconds, negative for none: idleMs bounds every wait for the
// socket to take or give more bytes, firstMs the wait for the first byte of a reply
// (a get may wait on the server's side before it answers).
bool writeFrame(int fd, Op code, const std::string& body, int idleMs = -1);
bool readFrame(int fd, Op& code, std::string& body, int firstMs = -1, int idleMs = -1);

}  // namespace qmsim::net
