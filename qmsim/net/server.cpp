#include "net/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <mutex>
#include <thread>

#include "engine/session.h"
#include "net/protocol.h"

namespace qmsim {

using net::Op;
using net::Reader;
using net::Writer;

namespace {

constexpr MQLONG kMaxBuffer = 100 * 1024 * 1024;

bool peerGone(int fd) {
  pollfd p{fd, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
}

struct Listener {
  int fd = -1;
  bool tcp = false;
  std::string qmgr;  // local socket: the queue manager it serves
  std::filesystem::path path;
};

}  // namespace

struct Server::Impl {
  Registry& registry;
  std::filesystem::path home;
  ServerOptions options;
  std::vector<Listener> listeners;
  std::vector<std::string> qmgrs;
  int wakePipe[2] = {-1, -1};
  int boundPort = 0;
  std::thread acceptThread;
  std::mutex mu;
  struct Client {
    int fd;
    std::thread thread;
    std::atomic<bool> done{false};
  };
  std::list<Client> clients;
  bool stopped = false;

  Impl(Registry& r, std::filesystem::path h, ServerOptions o)
      : registry(r), home(std::move(h)), options(std::move(o)) {}

  void acceptLoop() {
    std::vector<pollfd> fds;
    for (const auto& l : listeners) fds.push_back({l.fd, POLLIN, 0});
    fds.push_back({wakePipe[0], POLLIN, 0});
    for (;;) {
      if (::poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds.back().revents) return;
      for (size_t i = 0; i < listeners.size(); ++i) {
        if (!(fds[i].revents & POLLIN)) continue;
        int fd = ::accept4(listeners[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        if (listeners[i].tcp) {
          int one = 1;
          ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        std::lock_guard lk(mu);
        reapClients();
        auto& c = clients.emplace_back();
        c.fd = fd;
        c.thread = std::thread([this, &c, l = listeners[i]] {
          serve(c.fd, l);
          ::shutdown(c.fd, SHUT_RDWR);  // the peer sees the end now; the descriptor is closed when reaped
          c.done = true;
        });
      }
    }
  }

  void reapClients() {
    for (auto it = clients.begin(); it != clients.end();) {
      if (it->done) {
        it->thread.join();
        ::close(it->fd);
        it = clients.erase(it);
      } else {
        ++it;
      }
    }
  }

  // Takes up to `count` further messages (`bytes` in all) that are there now and not
  // persistent, for the client to hand out without asking again. A message too large
  // for what is left, or a persistent one, stays on the queue and ends the batch.
  static void sendAhead(Session& session, MQHOBJ hobj, const MQGMO& first, uint32_t count, uint32_t bytes,
                        std::string& data, Writer& out) {
    count = std::min<uint32_t>(count, 1000);
    bytes = std::min<uint32_t>(bytes, 4u << 20);
    // The reply frame must stay within the protocol's limit whatever the first message
    // was: room for each message's descriptors is kept aside as well.
    size_t used = out.data().size() + 65536 + size_t{count} * (sizeof(MQMD) + sizeof(MQGMO) + 16);
    bytes = used >= net::kMaxFrame ? 0 : static_cast<uint32_t>(std::min<size_t>(bytes, net::kMaxFrame - used));
    if (data.size() < bytes) data.resize(bytes);
    for (uint32_t sent = 0; sent < count && bytes > 0; ++sent) {
      MQMD md = kvarn::mqi::defaultMD();
      MQGMO gmo = kvarn::mqi::defaultGMO();
      gmo.Version = first.Version;
      gmo.Options = MQGMO_NO_SYNCPOINT | (first.Options & (MQGMO_FAIL_IF_QUIESCING | MQGMO_CONVERT));
      MQLONG length = 0;
      Outcome o = session.get(hobj, md, gmo, static_cast<MQLONG>(bytes), data.data(), length, {}, true);
      if (o.compCode != MQCC_OK) return;
      out.u32(1);
      out.put(md);
      out.put(gmo);
      out.str(std::string_view(data.data(), static_cast<size_t>(length)));
      bytes -= static_cast<uint32_t>(length);
    }
  }

  static bool reply(int fd, Outcome o, const Writer& body = Writer{}) {
    Writer w;
    w.i32(o.compCode);
    w.i32(o.reason);
    w.raw(body.data().data(), body.data().size());
    return net::writeFrame(fd, Op::Reply, w.data());
  }

  Outcome admit(Reader& r, const Listener& l, const std::string& peer, std::unique_ptr<Session>& session) {
    std::string qmName = r.str(), channel = r.str(), user = r.str(), password = r.str();
    bool credentials = r.u32() != 0;
    ConnectParams params{r.str(), r.str(), channel, ""};
    if (!r.ok()) return Outcome::fail(MQRC_CONNECTION_ERROR);
    std::shared_ptr<QueueManager> qm;
    if (!l.tcp) {
      qm = registry.find(l.qmgr);
      if (!qm || (!qmName.empty() && qmName != l.qmgr)) return Outcome::fail(MQRC_Q_MGR_NOT_AVAILABLE);
    } else {
      std::string name = qmName.empty() && !qmgrs.empty() ? qmgrs.front() : qmName;
      if (std::find(qmgrs.begin(), qmgrs.end(), name) == qmgrs.end()) return Outcome::fail(MQRC_Q_MGR_NAME_ERROR);
      qm = registry.find(name);
      if (!qm) return Outcome::fail(MQRC_Q_MGR_NOT_AVAILABLE);
      auto chl = qm->object(ObjectKind::Channel, channel);
      if (channel.empty() || !chl || chl->get("CHLTYPE") != "SVRCONN") return Outcome::fail(MQRC_UNKNOWN_CHANNEL_NAME);
      admission::ClientHello hello{channel, peer, params.userId, params.applName, std::nullopt};
      if (credentials) hello.credentials = admission::Credentials{user, password};
      // The user file is the queue manager's user repository; without one no password
      // can be checked, so none is accepted.
      auto verify = [this](const std::string& u, const std::string& p) {
        auto it = options.users.find(u);
        return it != options.users.end() && it->second == p;
      };
      if (Outcome o = qm->admitClient(hello, verify, !options.users.empty(), params); !o.ok()) return o;
    }
    return Session::connect(registry, qm, params, session);
  }

  static std::string peerAddress(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return "";
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET)
      ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&addr)->sin_addr, text, sizeof text);
    else if (addr.ss_family == AF_INET6)
      ::inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&addr)->sin6_addr, text, sizeof text);
    return text;
  }

  void serve(int fd, const Listener& l) {
    std::unique_ptr<Session> session;
    std::string body;
    Op op;
    std::string buffer, aheadBuffer;  // the second only grows: messages sent ahead
    while (net::readFrame(fd, op, body)) {
      Reader r(body);
      if (!session) {
        if (op != Op::Connect) break;
        Outcome o = admit(r, l, l.tcp ? peerAddress(fd) : "", session);
        Writer w;
        w.str(session ? session->qmgrName() : "");
        if (!reply(fd, o, w) || !session) break;
        continue;
      }
      Writer out;
      Outcome o;
      switch (op) {
      case Op::Open: {
        MQOD od;
        r.get(od);
        MQLONG options = r.i32();
        MQHOBJ hobj = MQHO_UNUSABLE_HOBJ;
        if (!r.ok()) return;
        o = session->open(od, options, hobj);
        out.put(od);
        out.i32(hobj);
        break;
      }
      case Op::Close: {
        MQHOBJ hobj = r.i32();
        MQLONG options = r.i32();
        if (!r.ok()) return;
        o = session->close(hobj, options);
        break;
      }
      case Op::Put:
      case Op::Put1: {
        MQOD od{};
        MQHOBJ hobj = 0;
        if (op == Op::Put1) r.get(od);
        else hobj = r.i32();
        MQMD md;
        MQPMO pmo;
        r.get(md);
        r.get(pmo);
        std::string data = r.str();
        if (!r.ok()) return;
        o = op == Op::Put ? session->put(hobj, md, pmo, data) : session->put1(od, md, pmo, data);
        if (op == Op::Put1) out.put(od);
        out.put(md);
        out.put(pmo);
        break;
      }
      case Op::Get:
      case Op::GetAhead: {
        MQHOBJ hobj = r.i32();
        MQMD md;
        MQGMO gmo;
        r.get(md);
        r.get(gmo);
        MQLONG bufferLength = r.i32();
        uint32_t aheadCount = op == Op::GetAhead ? r.u32() : 0, aheadBytes = op == Op::GetAhead ? r.u32() : 0;
        if (!r.ok()) return;
        bufferLength = std::clamp<MQLONG>(bufferLength, 0, kMaxBuffer);
        buffer.resize(static_cast<size_t>(bufferLength));
        MQLONG dataLength = 0;
        o = session->get(hobj, md, gmo, bufferLength, buffer.data(), dataLength, [fd] { return peerGone(fd); });
        out.put(md);
        out.put(gmo);
        out.i32(dataLength);
        bool delivered = o.ok();
        out.str(std::string_view(buffer.data(), delivered ? std::min(dataLength, bufferLength) : 0));
        if (op == Op::GetAhead) {
          if (o.compCode == MQCC_OK) sendAhead(*session, hobj, gmo, aheadCount, aheadBytes, aheadBuffer, out);
          out.u32(0);
        }
        break;
      }
      case Op::Inquire:
      case Op::Set: {
        MQHOBJ hobj = r.i32();
        uint32_t count = r.u32();
        if (!r.ok() || count > 256) return;
        std::vector<MQLONG> selectors(count);
        for (auto& s : selectors) s = r.i32();
        uint32_t intCount = r.u32();
        if (!r.ok() || intCount > 256) return;
        if (op == Op::Inquire) {
          uint32_t charLength = r.u32();
          if (!r.ok() || charLength > 1u << 20) return;
          std::vector<MQLONG> ints(intCount, 0);
          std::string chars(charLength, ' ');
          o = session->inquire(hobj, selectors, ints, {chars.data(), chars.size()});
          for (MQLONG v : ints) out.i32(v);
          out.raw(chars.data(), chars.size());
        } else {
          std::vector<MQLONG> ints(intCount);
          for (auto& v : ints) v = r.i32();
          std::string chars = r.str();
          if (!r.ok()) return;
          o = session->set(hobj, selectors, ints, {chars.data(), chars.size()});
        }
        break;
      }
      case Op::Commit: o = session->commit(); break;
      case Op::Backout: o = session->backout(); break;
      case Op::Disconnect:
        session->disconnect();
        reply(fd, o);
        return;
      default: return;
      }
      if (options.latencyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(options.latencyMs));
      if (!reply(fd, o, out)) return;
    }
  }
};

Server::Server(Registry& registry, std::filesystem::path home, ServerOptions options)
    : impl_(std::make_unique<Impl>(registry, std::move(home), std::move(options))) {}

Server::~Server() { stop(); }

int Server::port() const { return impl_->boundPort; }

bool Server::start(const std::vector<std::string>& qmgrs, std::string& error) {
  Impl& s = *impl_;
  s.qmgrs = qmgrs;
  if (s.options.tcp) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(s.options.port));
    if (::inet_pton(AF_INET, s.options.bindAddress.c_str(), &addr.sin_addr) != 1) {
      ::close(fd);
      error = "'" + s.options.bindAddress + "' is not an IPv4 address";
      return false;
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
      error = "cannot listen on " + s.options.bindAddress + " port " + std::to_string(s.options.port) + ": " +
              std::strerror(errno);
      ::close(fd);
      return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    s.boundPort = ntohs(addr.sin_port);
    s.listeners.push_back({fd, true, "", {}});
  }
  for (const auto& name : qmgrs) {
    std::filesystem::path path = qmgrSocketPath(s.home, name);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.native().size() >= sizeof addr.sun_path) {
      error = "socket path too long: " + path.string();
      return false;
    }
    std::strcpy(addr.sun_path, path.c_str());
    ::unlink(path.c_str());  // left by a server that died; the queue manager lock proves it is gone
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
      error = "cannot listen on " + path.string() + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    s.listeners.push_back({fd, false, name, path});
  }
  if (::pipe2(s.wakePipe, O_CLOEXEC) != 0) {
    error = std::string("cannot create pipe: ") + std::strerror(errno);
    return false;
  }
  s.acceptThread = std::thread([&s] { s.acceptLoop(); });
  return true;
}

void Server::stop() {
  Impl& s = *impl_;
  {
    std::lock_guard lk(s.mu);
    if (s.stopped) return;
    s.stopped = true;
  }
  if (s.wakePipe[1] >= 0) {
    char c = 1;
    (void)!::write(s.wakePipe[1], &c, 1);
  }
  if (s.acceptThread.joinable()) s.acceptThread.join();
  for (auto& l : s.listeners) {
    ::close(l.fd);
    if (!l.path.empty()) ::unlink(l.path.c_str());
  }
  s.listeners.clear();
  // Waiting gets answer 2162 first; shutting only the read side lets those replies go out.
  for (const auto& name : s.qmgrs)
    if (auto qm = s.registry.find(name)) qm->stop();
  std::lock_guard lk(s.mu);
  for (auto& c : s.clients) ::shutdown(c.fd, SHUT_RD);
  for (auto& c : s.clients) {
    c.thread.join();
    ::close(c.fd);
  }
  s.clients.clear();
  for (int& fd : s.wakePipe)
    if (fd >= 0) ::close(fd), fd = -1;
}

}  // namespace qmsim
