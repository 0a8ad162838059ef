#include "net/protocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace qmsim::net {

namespace {

// Waits until fd is ready for events or limitMs has passed (negative: no limit);
// false on timeout or error.
bool waitFor(int fd, short events, int limitMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(limitMs, 0));
  for (;;) {
    int wait = -1;
    if (limitMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      wait = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
    }
    pollfd p{fd, events, 0};
    int r = ::poll(&p, 1, wait);
    if (r < 0 && errno == EINTR) continue;
    return r > 0;
  }
}

// With no limit at all the calls simply block; with one, every wait goes through poll.
bool writeAll(int fd, const char* p, size_t n, int idleMs) {
  bool bounded = idleMs >= 0;
  while (n > 0) {
    if (bounded && !waitFor(fd, POLLOUT, idleMs)) return false;
    ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL | (bounded ? MSG_DONTWAIT : 0));
    if (w < 0 && (errno == EINTR || (bounded && (errno == EAGAIN || errno == EWOULDBLOCK)))) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

bool readAll(int fd, char* p, size_t n, int firstMs, int idleMs) {
  bool bounded = firstMs >= 0 || idleMs >= 0;
  int limit = firstMs;
  while (n > 0) {
    if (bounded && !waitFor(fd, POLLIN, limit)) return false;
    ssize_t r = ::recv(fd, p, n, bounded ? MSG_DONTWAIT : 0);
    if (r < 0 && (errno == EINTR || (bounded && (errno == EAGAIN || errno == EWOULDBLOCK)))) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    limit = idleMs;
  }
  return true;
}

}  // namespace

bool writeFrame(int fd, Op code, const std::string& body, int idleMs) {
  std::string frame;
  frame.reserve(body.size() + 8);
  uint32_t length = static_cast<uint32_t>(body.size() + 4);
  uint32_t c = static_cast<uint32_t>(code);
  frame.append(reinterpret_cast<const char*>(&length), 4);
  frame.append(reinterpret_cast<const char*>(&c), 4);
  frame += body;
  return writeAll(fd, frame.data(), frame.size(), idleMs);
}

bool readFrame(int fd, Op& code, std::string& body, int firstMs, int idleMs) {
  uint32_t header[2];
  if (!readAll(fd, reinterpret_cast<char*>(header), sizeof header, firstMs, idleMs)) return false;
  if (header[0] < 4 || header[0] > kMaxFrame || header[1] > static_cast<uint32_t>(Op::GetAhead)) return false;
  code = static_cast<Op>(header[1]);
  body.resize(header[0] - 4);
  return body.empty() || readAll(fd, body.data(), body.size(), idleMs, idleMs);
}

}  // namespace qmsim::net
