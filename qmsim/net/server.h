// The qmsim server: serves MQI calls for the queue managers this process hosts,
// over TCP (client bindings, checked against the SVRCONN channel and optionally
// a user and password) and over one local socket per queue manager (server
// bindings of other processes). One thread per connection.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/registry.h"

namespace qmsim {

struct ServerOptions {
  std::string bindAddress = "127.0.0.1";
  int port = 1414;  // 0: any free port
  bool tcp = true;
  // The user repository of the queue managers served: user ids and their passwords.
  // Non-empty: while a queue manager has no connection authentication in force, its
  // client connections must present one of these users with its password.
  std::map<std::string, std::string> users;
  // Each reply to a client is held this long (milliseconds): a queue manager at the far
  // end of a network, for measuring what a client does while it waits.
  int latencyMs = 0;
};

class Server {
 public:
  Server(Registry& registry, std::filesystem::path home, ServerOptions options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Listens for the given hosted queue managers; false and error on failure.
  bool start(const std::vector<std::string>& qmgrs, std::string& error);
  int port() const;
  // Quiesces and stops the queue managers (waiting gets end with 2162), then closes every connection.
  void stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qmsim
