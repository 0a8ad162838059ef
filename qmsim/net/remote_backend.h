// The caller's end of a connection to a qmsim server.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "engine/queue_manager.h"
#include "lib/backend.h"

namespace qmsim {

struct RemoteConnect {
  std::string qmgrName;  // empty: whichever queue manager the server hosts first
  std::string channel;   // empty over the local socket
  std::string userId;
  std::string password;
  bool credentials = false;
  std::string applName;
  std::string osUser;
};

// Server bindings to a queue manager a qmsim server hosts. Fails with 2059 when no
// server answers on the socket.
Outcome connectLocalSocket(const std::filesystem::path& socketPath, const std::string& qmgrName,
                           const ConnectParams& params, std::unique_ptr<Backend>& backend);

// Client bindings over TCP to host:port. Fails with 2538 when nothing listens there
// (or the connect is not answered within the handshake limit), and with 2009 when
// the peer does not complete the handshake as a qmsim server would.
Outcome connectTcp(const std::string& host, int port, const RemoteConnect& request, std::unique_ptr<Backend>& backend);

// Splits an MQ connection name "host(port)" (port 1414 when absent).
bool parseConnName(const std::string& connName, std::string& host, int& port);

}  // namespace qmsim
