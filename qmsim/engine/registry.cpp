#include "engine/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qmsim {

std::filesystem::path qmsimHome() {
  if (const char* home = std::getenv("KVARN_QMSIM_HOME"); home && *home) return home;
  const char* user = std::getenv("HOME");
  return std::filesystem::path(user && *user ? user : "/tmp") / ".kvarn" / "qmsim";
}

std::string defaultQMgrName() {
  if (const char* name = std::getenv("KVARN_QMSIM_DEFAULT"); name && *name) return name;
  return "QM1";
}

std::string qmgrDirName(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    if (c == '.') c = '!';
    else if (c == '/') c = '&';
  }
  return out;
}

std::string qmgrNameOfDir(const std::string& dirName) {
  std::string out = dirName;
  for (char& c : out) {
    if (c == '!') c = '.';
    else if (c == '&') c = '/';
  }
  return out;
}

std::filesystem::path qmgrDir(const std::filesystem::path& home, const std::string& name) {
  std::filesystem::path dir = home / qmgrDirName(name);
  // Earlier versions stored a name with '.' (never '/') under the name itself; such a
  // queue manager keeps its directory until it is created anew. "." and ".." never
  // name a directory of their own.
  if (name.find('.') != std::string::npos && name.find('/') == std::string::npos && name != "." && name != ".." &&
      !name.empty()) {
    std::error_code ec;
    std::filesystem::path legacy = home / name;
    if (!std::filesystem::exists(dir, ec) && std::filesystem::exists(legacy / "objects.qms", ec)) return legacy;
  }
  return dir;
}

std::filesystem::path qmgrSocketPath(const std::filesystem::path& home, const std::string& name) {
  return qmgrDir(home, name) / "qmsim.sock";
}

Registry& Registry::process() {
  static Registry* registry = new Registry;  // lives until exit; queue managers stop with the process
  return *registry;
}

Registry::~Registry() { stopAll(); }

std::shared_ptr<QueueManager> Registry::host(const std::filesystem::path& home, const std::string& name, bool create,
                                             std::string& error, bool* busy) {
  if (busy) *busy = false;
  std::function<void(const std::shared_ptr<QueueManager>&)> listener;
  auto qm = hostLocked(home, name, create, error, busy, listener);
  if (qm && listener) listener(qm);
  return qm;
}

std::shared_ptr<QueueManager>
Registry::hostLocked(const std::filesystem::path& home, const std::string& name, bool create, std::string& error,
                     bool* busy, std::function<void(const std::shared_ptr<QueueManager>&)>& listener) {
  std::filesystem::path dir = qmgrDir(home, name);
  std::lock_guard lk(mu_);
  for (const auto& e : entries_)
    if (e.dir == dir && !e.qm->stopping()) return e.qm;
  if (!validObjectName(name)) {
    error = "'" + name + "' is not a valid queue manager name";
    return nullptr;
  }
  std::error_code ec;
  if (!std::filesystem::exists(dir / "objects.qms", ec)) {
    if (!create) {
      error = "queue manager " + name + " does not exist";
      return nullptr;
    }
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      error = "cannot create " + dir.string() + ": " + ec.message();
      return nullptr;
    }
  }
  int fd = ::open((dir / "qmgr.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = "cannot open " + (dir / "qmgr.lock").string() + ": " + std::strerror(errno);
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    error = "queue manager " + name + " is in use by another process";
    if (busy) *busy = true;
    return nullptr;
  }
  auto qm = QueueManager::open(name, dir, error);
  if (!qm) {
    ::close(fd);
    return nullptr;
  }
  entries_.push_back({dir, qm, fd});
  listener = listener_;
  return qm;
}

void Registry::setHostListener(std::function<void(const std::shared_ptr<QueueManager>&)> listener) {
  std::lock_guard lk(mu_);
  listener_ = std::move(listener);
}

std::shared_ptr<QueueManager> Registry::find(const std::string& name) const {
  std::lock_guard lk(mu_);
  for (const auto& e : entries_)
    if (e.qm->name() == name && !e.qm->stopping()) return e.qm;
  return nullptr;
}

std::shared_ptr<QueueManager> Registry::find(const std::filesystem::path& home, const std::string& name) const {
  std::filesystem::path dir = qmgrDir(home, name);
  std::lock_guard lk(mu_);
  for (const auto& e : entries_)
    if (e.dir == dir && !e.qm->stopping()) return e.qm;
  return nullptr;
}

std::vector<std::shared_ptr<QueueManager>> Registry::hosted() const {
  std::lock_guard lk(mu_);
  std::vector<std::shared_ptr<QueueManager>> out;
  for (const auto& e : entries_) out.push_back(e.qm);
  return out;
}

void Registry::release(const std::string& name) {
  std::vector<Entry> gone;
  {
    std::lock_guard lk(mu_);
    for (auto it = entries_.begin(); it != entries_.end();) {
      if (it->qm->name() == name) {
        gone.push_back(std::move(*it));
        it = entries_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& e : gone) {
    e.qm->stop();
    if (e.lockFd >= 0) ::close(e.lockFd);
  }
}

void Registry::stopAll() {
  std::vector<Entry> gone;
  {
    std::lock_guard lk(mu_);
    gone.swap(entries_);
  }
  for (auto& e : gone) {
    e.qm->stop();
    if (e.lockFd >= 0) ::close(e.lockFd);
  }
}

}  // namespace qmsim
