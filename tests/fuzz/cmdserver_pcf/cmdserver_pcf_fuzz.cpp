// Arbitrary bytes as a request on the command queue: the first byte picks the message
// format and the personality, the rest is the body. Every request must be answered or
// dropped without a crash or hang, and every reply must be a well-formed message.
#include <cstdint>
#include <cstring>
#include <memory>

#include "cmdserver/command_server.h"
#include "cmdserver/pcf.h"

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
  static Target target;  // one queue manager for the run: state built by one input meets the next
  if (size == 0) return 0;
  uint8_t mode = data[0];
  std::string_view body(reinterpret_cast<const char*>(data + 1), size - 1);
  static const char* formats[] = {MQFMT_ADMIN, MQFMT_PCF, MQFMT_STRING, "        "};
  MQMD md = kvarn::mqi::defaultMD();
  md.MsgType = MQMT_REQUEST;
  std::memcpy(md.Format, formats[mode & 3], 8);
  md.Report = (mode & 4) ? MQRO_PASS_CORREL_ID : 0;
  target.qm->alterQMgr({{"PLATFORM", (mode & 8) ? "ZOS" : "UNIX"}});
  auto replies = qmsim::cmdserver::handleRequest(*target.qm, target.state, md, body, (mode & 16) != 0);
  for (const auto& r : replies) {
    if (r.md.MsgType != MQMT_REPLY) __builtin_trap();
    if (std::memcmp(r.md.Format, MQFMT_ADMIN, 8) == 0) {
      auto h = qmsim::cmdserver::peekHeader(r.data);
      if (!h || h->StrucLength != 36) __builtin_trap();
    }
  }
  return 0;
}
