// The queue managers hosted by this process, each opened once from its directory
// under the qmsim home and locked there so that no second process hosts it too.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/queue_manager.h"

namespace qmsim {

// $KVARN_QMSIM_HOME, or ~/.kvarn/qmsim.
std::filesystem::path qmsimHome();
// The name an empty queue manager name means: $KVARN_QMSIM_DEFAULT, or QM1.
std::string defaultQMgrName();
// A queue manager's directory under home. Its name is mapped as IBM MQ maps it
// ('.' to '!', '/' to '&'), so no name reaches outside home.
std::filesystem::path qmgrDir(const std::filesystem::path& home, const std::string& name);
std::string qmgrDirName(const std::string& name);
// The queue manager name a directory under home stands for (the mapping reversed).
std::string qmgrNameOfDir(const std::string& dirName);
// The local socket a qmsim server serves a queue manager's server bindings on.
std::filesystem::path qmgrSocketPath(const std::filesystem::path& home, const std::string& name);

class Registry {
 public:
  static Registry& process();
  ~Registry();

  // The hosted queue manager of that name under home, opening (and, if create is set,
  // creating) it on first use. Null with error set when it cannot be hosted; busy is
  // set when another process holds it.
  std::shared_ptr<QueueManager> host(const std::filesystem::path& home, const std::string& name, bool create,
                                     std::string& error, bool* busy = nullptr);
  // A queue manager this process already hosts, by name (any home), or null.
  std::shared_ptr<QueueManager> find(const std::string& name) const;
  // The queue manager of that name under home, if this process hosts it.
  std::shared_ptr<QueueManager> find(const std::filesystem::path& home, const std::string& name) const;
  std::vector<std::shared_ptr<QueueManager>> hosted() const;
  // Stops and forgets one queue manager; its lock is released.
  void release(const std::string& name);
  void stopAll();
  // Called with every queue manager this registry opens from now on (the command
  // server starts this way), outside the registry's lock.
  void setHostListener(std::function<void(const std::shared_ptr<QueueManager>&)> listener);

 private:
  std::shared_ptr<QueueManager> hostLocked(const std::filesystem::path& home, const std::string& name, bool create,
                                           std::string& error, bool* busy,
                                           std::function<void(const std::shared_ptr<QueueManager>&)>& listener);
  struct Entry {
    std::filesystem::path dir;
    std::shared_ptr<QueueManager> qm;
    int lockFd = -1;
  };
  mutable std::mutex mu_;
  std::vector<Entry> entries_;
  std::function<void(const std::shared_ptr<QueueManager>&)> listener_;
};

}  // namespace qmsim
