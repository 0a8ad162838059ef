// Server bindings: the queue manager runs in this process, or in a qmsim server
// that hosts it, reached through its local socket so that both see one state.
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "cmdserver/command_server.h"
#include "engine/registry.h"
#include "engine/session.h"
#include "lib/backend.h"
#include "net/remote_backend.h"

namespace qmsim {

Outcome connectServerBindings(const std::string& name, const ConnectParams& params, std::unique_ptr<Backend>& backend) {
  if (!validObjectName(name)) return Outcome::fail(MQRC_Q_MGR_NAME_ERROR);
  Registry& registry = Registry::process();
  static std::once_flag hooked;
  std::call_once(hooked, [&] { cmdserver::installIn(registry); });  // hosted here: serve its command queue too
  auto home = qmsimHome();
  auto qm = registry.find(home, name);
  if (!qm) {
    Outcome o = connectLocalSocket(qmgrSocketPath(home, name), name, params, backend);
    if (o.ok() || o.reason != MQRC_Q_MGR_NOT_AVAILABLE) return o;
    std::string error;
    std::error_code ec;
    bool isNew = !std::filesystem::exists(qmgrDir(home, name) / "objects.qms", ec);
    qm = registry.host(home, name, true, error);
    if (!qm) return Outcome::fail(MQRC_Q_MGR_NOT_AVAILABLE);
    // Said aloud, so that a mistyped name does not pass for the queue manager meant.
    if (isNew)
      std::fprintf(stderr, "qmsim: created queue manager '%s' under %s (first connection)\n", name.c_str(),
                   qmgrDir(home, name).c_str());
  }
  std::unique_ptr<Session> session;
  Outcome o = Session::connect(registry, qm, params, session);
  if (o.ok()) backend = makeLocalBackend(std::move(session));
  return o;
}

}  // namespace qmsim
