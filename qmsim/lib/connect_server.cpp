// Server bindings library: MQCONNX reaches the named queue manager (or the default).
#include "engine/registry.h"
#include "lib/backend.h"

namespace qmsim {

Outcome connectBackend(const ConnectRequest& request, std::unique_ptr<Backend>& backend) {
  std::string name = request.qmgrName.empty() ? defaultQMgrName() : request.qmgrName;
  return connectServerBindings(name, ConnectParams{currentApplName(), currentUserId(), "", ""}, backend);
}

}  // namespace qmsim
