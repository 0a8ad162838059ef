#include "net/protocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qmsim::net {

namespace {

bool writeAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool readAll(int fd, char* p, size_t n) {
  while (n > 0) {
    ssize_t r = ::recv(fd, p, n, 0);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

}  // namespace

bool writeFrame(int fd, Op code, const std::string& body) {
  std::string frame;
  frame.reserve(body.size() + 8);
  uint32_t length = static_cast<uint32_t>(body.size() + 4);
  uint32_t c = static_cast<uint32_t>(code);
  frame.append(reinterpret_cast<const char*>(&length), 4);
  frame.append(reinterpret_cast<const char*>(&c), 4);
  frame += body;
  return writeAll(fd, frame.data(), frame.size());
}

bool readFrame(int fd, Op& code, std::string& body) {
  uint32_t header[2];
  if (!readAll(fd, reinterpret_cast<char*>(header), sizeof header)) return false;
  if (header[0] < 4 || header[0] > kMaxFrame || header[1] > static_cast<uint32_t>(Op::GetAhead)) return false;
  code = static_cast<Op>(header[1]);
  body.resize(header[0] - 4);
  return body.empty() || readAll(fd, body.data(), body.size());
}

}  // namespace qmsim::net
