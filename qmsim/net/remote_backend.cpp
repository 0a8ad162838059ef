#include "net/remote_backend.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "net/protocol.h"
#include "net/read_ahead.h"

namespace qmsim {

using net::Op;
using net::Reader;
using net::Writer;

namespace {

// A limit in milliseconds from a number of seconds in the environment, or the default.
int limitFromEnv(const char* name, int defaultMs) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return defaultMs;
  char* end = nullptr;
  double seconds = std::strtod(text, &end);
  if (end == text || *end != '\0' || !(seconds > 0) || seconds > 86400) return defaultMs;
  return static_cast<int>(seconds * 1000);
}

// A peer that is no queue manager, or one that froze, must not hold a caller for ever:
// the handshake and every reply (beyond a get's own wait) have a limit, after which
// the connection is broken.
struct Limits {
  int handshakeMs = limitFromEnv("QMSIM_HANDSHAKE_TIMEOUT", 30 * 1000);
  int replyMs = limitFromEnv("QMSIM_REPLY_TIMEOUT", 60 * 1000);
};

// How long the first byte of a get's reply may take: the get's wait interval and the
// reply limit, or no limit for a get that waits without one.
int getReplyLimit(const MQGMO& gmo, int replyMs) {
  if (!(gmo.Options & MQGMO_WAIT)) return replyMs;
  if (gmo.WaitInterval == MQWI_UNLIMITED || gmo.WaitInterval < 0) return -1;
  int64_t total = static_cast<int64_t>(gmo.WaitInterval) + replyMs;
  return total > INT32_MAX ? -1 : static_cast<int>(total);
}

// One connection: calls go one at a time; once the socket fails every call gets 2009.
class RemoteBackend final : public Backend {
 public:
  explicit RemoteBackend(int fd) : fd_(fd) {}
  ~RemoteBackend() override { closeSocket(); }

  // Sends a request and reads the reply body after its completion code and reason.
  // firstMs bounds the wait for the reply to begin (0: the reply limit).
  Outcome call(Op op, const Writer& request, std::string& reply, size_t& bodyAt, int firstMs = 0) {
    if (fd_ < 0) return Outcome::fail(MQRC_CONNECTION_BROKEN);
    Op code;
    int idle = op == Op::Connect ? limits_.handshakeMs : limits_.replyMs;
    if (firstMs == 0) firstMs = idle;
    if (!net::writeFrame(fd_, op, request.data(), idle) || !net::readFrame(fd_, code, reply, firstMs, idle) ||
        code != Op::Reply || reply.size() < 8) {
      closeSocket();
      return Outcome::fail(MQRC_CONNECTION_BROKEN);
    }
    Outcome o;
    std::memcpy(&o.compCode, reply.data(), 4);
    std::memcpy(&o.reason, reply.data() + 4, 4);
    bodyAt = 8;
    return o;
  }

  Outcome connect(const RemoteConnect& r, std::string& qmgrName) {
    std::lock_guard lk(mu_);
    Writer w;
    w.str(r.qmgrName);
    w.str(r.channel);
    w.str(r.userId);
    w.str(r.password);
    w.u32(r.credentials ? 1 : 0);
    w.str(r.applName);
    w.str(r.osUser);
    std::string reply;
    size_t at = 0;
    Outcome o = call(Op::Connect, w, reply, at);
    if (o.ok()) qmgrName = Reader(std::string_view(reply).substr(at)).str();
    return o;
  }

  Outcome open(MQOD& od, MQLONG options, MQHOBJ& hobj) override {
    std::lock_guard lk(mu_);
    Writer w;
    w.put(od);
    w.i32(options);
    std::string reply;
    size_t at = 0;
    Outcome o = call(Op::Open, w, reply, at);
    if (o.ok()) {
      Reader r(std::string_view(reply).substr(at));
      r.get(od);
      hobj = r.i32();
      if (!r.ok()) return broken();
      ahead_.opened(hobj, options);
    }
    return o;
  }

  Outcome close(MQHOBJ& hobj, MQLONG options) override {
    std::lock_guard lk(mu_);
    Writer w;
    w.i32(hobj);
    w.i32(options);
    std::string reply;
    size_t at = 0;
    Outcome o = call(Op::Close, w, reply, at);
    if (o.ok()) {
      ahead_.closed(hobj);
      hobj = MQHO_UNUSABLE_HOBJ;
    }
    return o;
  }

  Outcome put(MQHOBJ hobj, MQMD& md, MQPMO& pmo, std::string_view data) override {
    std::lock_guard lk(mu_);
    Writer w;
    w.i32(hobj);
    w.put(md);
    w.put(pmo);
    w.str(data);
    return putReply(Op::Put, w, nullptr, md, pmo);
  }

  Outcome put1(MQOD& od, MQMD& md, MQPMO& pmo, std::string_view data) override {
    std::lock_guard lk(mu_);
    Writer w;
    w.put(od);
    w.put(md);
    w.put(pmo);
    w.str(data);
    return putReply(Op::Put1, w, &od, md, pmo);
  }

  Outcome get(MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer, MQLONG& dataLength) override {
    std::lock_guard lk(mu_);
    Outcome o;
    if (fd_ >= 0 && ahead_.take(hobj, md, gmo, bufferLength, buffer, dataLength, o)) return o;
    bool fetchAhead = ahead_.mayFetchAhead(hobj, md, gmo);
    Writer w;
    w.i32(hobj);
    w.put(md);
    w.put(gmo);
    w.i32(bufferLength);
    if (fetchAhead) {
      w.u32(net::ReadAheadCache::kBatchMessages);
      w.u32(net::ReadAheadCache::kBatchBytes);
    }
    std::string& reply = getFrame_;  // kept: a batch read ahead can be a megabyte
    size_t at = 0;
    o = call(fetchAhead ? Op::GetAhead : Op::Get, w, reply, at, getReplyLimit(gmo, limits_.replyMs));
    bool answered = o.ok() || o.reason == MQRC_TRUNCATED_MSG_FAILED;
    if (answered || fetchAhead) {
      Reader r(std::string_view(reply).substr(at));
      MQMD gotMd;
      MQGMO gotGmo;
      r.get(gotMd);
      r.get(gotGmo);
      MQLONG gotLength = r.i32();
      std::string data = r.str();
      if (!r.ok() || data.size() > static_cast<size_t>(std::max<MQLONG>(bufferLength, 0))) return broken();
      if (answered) {
        md = gotMd;
        gmo = gotGmo;
        dataLength = gotLength;
        if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
      }
      while (fetchAhead && r.u32() != 0) {
        MQMD aheadMd;
        MQGMO aheadGmo;
        r.get(aheadMd);
        r.get(aheadGmo);
        std::string aheadData = r.str();
        if (!r.ok()) return broken();
        ahead_.add(hobj, aheadMd, aheadGmo, std::move(aheadData));
      }
      if (!r.ok()) return broken();
    }
    return o;
  }

  Outcome inquire(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<MQLONG> intAttrs,
                  std::span<char> charAttrs) override {
    std::lock_guard lk(mu_);
    Writer w;
    w.i32(hobj);
    w.u32(static_cast<uint32_t>(selectors.size()));
    for (MQLONG s : selectors) w.i32(s);
    w.u32(static_cast<uint32_t>(intAttrs.size()));
    w.u32(static_cast<uint32_t>(charAttrs.size()));
    std::string reply;
    size_t at = 0;
    Outcome o = call(Op::Inquire, w, reply, at);
    if (o.ok()) {
      Reader r(std::string_view(reply).substr(at));
      for (auto& v : intAttrs) v = r.i32();
      if (!charAttrs.empty()) r.raw(charAttrs.data(), charAttrs.size());
      if (!r.ok()) return broken();
    }
    return o;
  }

  Outcome set(MQHOBJ hobj, std::span<const MQLONG> selectors, std::span<const MQLONG> intAttrs,
              std::span<const char> charAttrs) override {
    std::lock_guard lk(mu_);
    Writer w;
    w.i32(hobj);
    w.u32(static_cast<uint32_t>(selectors.size()));
    for (MQLONG s : selectors) w.i32(s);
    w.u32(static_cast<uint32_t>(intAttrs.size()));
    for (MQLONG v : intAttrs) w.i32(v);
    w.str(std::string_view(charAttrs.data(), charAttrs.size()));
    std::string reply;
    size_t at = 0;
    return call(Op::Set, w, reply, at);
  }

  Outcome commit() override { return simple(Op::Commit); }
  Outcome backout() override { return simple(Op::Backout); }
  Outcome disconnect() override {
    Outcome o = simple(Op::Disconnect);
    std::lock_guard lk(mu_);
    closeSocket();
    return o;
  }

 private:
  Outcome simple(Op op) {
    std::lock_guard lk(mu_);
    std::string reply;
    size_t at = 0;
    return call(op, Writer{}, reply, at);
  }

  Outcome putReply(Op op, const Writer& w, MQOD* od, MQMD& md, MQPMO& pmo) {
    std::string reply;
    size_t at = 0;
    Outcome o = call(op, w, reply, at);
    if (o.ok()) {
      Reader r(std::string_view(reply).substr(at));
      if (od) r.get(*od);
      r.get(md);
      r.get(pmo);
      if (!r.ok()) return broken();
    }
    return o;
  }

  Outcome broken() {
    closeSocket();
    return Outcome::fail(MQRC_CONNECTION_BROKEN);
  }

  void closeSocket() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ahead_.clear();
  }

  std::mutex mu_;
  int fd_;
  Limits limits_;
  net::ReadAheadCache ahead_;
  std::string getFrame_;
};

Outcome finishConnect(int fd, const RemoteConnect& request, std::unique_ptr<Backend>& backend) {
  auto remote = std::make_unique<RemoteBackend>(fd);
  std::string name;
  Outcome o = remote->connect(request, name);
  if (o.ok()) backend = std::move(remote);
  return o;
}

// A TCP connect that gives up after limitMs, as a host that drops the attempt
// would otherwise hold the caller for minutes.
bool connectWithin(int fd, const sockaddr* addr, socklen_t length, int limitMs) {
  int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  if (::connect(fd, addr, length) != 0) {
    if (errno != EINPROGRESS) return false;
    pollfd p{fd, POLLOUT, 0};
    int r;
    do r = ::poll(&p, 1, limitMs);
    while (r < 0 && errno == EINTR);
    int error = 0;
    socklen_t size = sizeof error;
    if (r <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return false;
  }
  return ::fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

Outcome connectLocalSocket(const std::filesystem::path& socketPath, const std::string& qmgrName,
                           const ConnectParams& params, std::unique_ptr<Backend>& backend) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (socketPath.native().size() >= sizeof addr.sun_path) return Outcome::fail(MQRC_Q_MGR_NOT_AVAILABLE);
  std::strcpy(addr.sun_path, socketPath.c_str());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Outcome::fail(MQRC_RESOURCE_PROBLEM);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return Outcome::fail(MQRC_Q_MGR_NOT_AVAILABLE);
  }
  RemoteConnect request{qmgrName, "", "", "", false, params.applName, params.userId};
  return finishConnect(fd, request, backend);
}

Outcome connectTcp(const std::string& host, int port, const RemoteConnect& request, std::unique_ptr<Backend>& backend) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) return Outcome::fail(MQRC_HOST_NOT_AVAILABLE);
  int fd = -1;
  int limitMs = Limits{}.handshakeMs;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd >= 0 && !connectWithin(fd, a->ai_addr, a->ai_addrlen, limitMs)) {
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(found);
  if (fd < 0) return Outcome::fail(MQRC_HOST_NOT_AVAILABLE);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return finishConnect(fd, request, backend);
}

bool parseConnName(const std::string& connName, std::string& host, int& port) {
  std::string text = connName;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  size_t open = text.find('(');
  port = 1414;
  if (open == std::string::npos) {
    host = text;
    return !host.empty();
  }
  if (text.back() != ')') return false;
  host = text.substr(0, open);
  std::string digits = text.substr(open + 1, text.size() - open - 2);
  if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos) return false;
  port = std::stoi(digits);
  return !host.empty() && port > 0 && port < 65536;
}

}  // namespace qmsim
