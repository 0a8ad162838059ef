#include "mqsc/mqsc_host.h"

#include <mutex>

namespace {

std::mutex hostMutex;
MqscHost &hostSlot() {
  static MqscHost host;
  return host;
}

}  // namespace

void mqscSetHost(MqscHost host) {
  std::lock_guard<std::mutex> lock(hostMutex);
  hostSlot() = std::move(host);
}

MqscHost mqscHost() {
  std::lock_guard<std::mutex> lock(hostMutex);
  return hostSlot();
}
