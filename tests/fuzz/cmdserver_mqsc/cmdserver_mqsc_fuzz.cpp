// Arbitrary text as MQSC for the command server, on a distributed queue manager and
// as TOLK: never a crash or hang, and always at least one answer unless the command
// expects none.
#include <cstdint>
#include <memory>

#include "cmdserver/mqsc_exec.h"

namespace {

struct Target {
  std::shared_ptr<qmsim::QueueManager> qm;
  qmsim::cmdserver::RuntimeState state;
  Target() {
    std::string error;
    qm = qmsim::QueueManager::open("FUZZ", "", error);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Target target;
  std::string text(reinterpret_cast<const char*>(data), size);
  qmsim::cmdserver::ExecContext ctx{*target.qm, target.state, "fuzzer", false};
  auto r = qmsim::cmdserver::executeMqsc(ctx, text);
  if (r.items.empty()) __builtin_trap();
  auto t = qmsim::cmdserver::executeTolk(ctx, text);
  if (t.items.empty() && !t.noReply) __builtin_trap();
  return 0;
}
