#include "driver/unhandled_check.h"
#include "ccdtmode/ccdt_mode.h"

#include <string>
#include <string_view>

#include "context/context.h"
#include "context/output.h"
#include "driver/dispatch.h"
#include "mqsc/vocab.h"
#include "transport/connection.h"

namespace {

struct CheckCommand {
  const char *objectType;
  const char *command;
  bool distributedOnly;
};

// In the order they are issued.
constexpr CheckCommand kChecks[] = {
    {"AUTHINFO", "DISPLAY AUTHINFO(*) ALL", false},
    {"AUTHSERV", "DISPLAY AUTHSERV ALL", false},
    {"CHANNEL", "DISPLAY CHANNEL(SYSTEM.DEF.CLUSRCVR) ALL", false},
    {"CHANNEL", "DISPLAY CHANNEL(SYSTEM.DEF.CLUSSDR) ALL", false},
    {"CHANNEL", "DISPLAY CHANNEL(SYSTEM.DEF.RECEIVER) ALL", false},
    {"CHANNEL", "DISPLAY CHANNEL(SYSTEM.DEF.REQUESTER) ALL", false},
    {"CHANNEL", "DISPLAY CHANNEL(SYSTEM.DEF.SENDER) ALL", false},
    {"CHANNEL", "DISPLAY CHANNEL(SYSTEM.DEF.SERVER) ALL", false},
    {"CHANNEL", "DISPLAY CHANNEL(SYSTEM.DEF.SVRCONN) ALL", false},
    {"CHANNEL", "DISPLAY CHANNEL(SYSTEM.DEF.CLNTCONN) ALL", false},
    {"CHLAUTH", "DISPLAY CHLAUTH(*) ALL", false},
    {"CHSTATUS", "DISPLAY CHSTATUS(*) ALL", false},
    {"CLUSQMGR", "DISPLAY CLUSQMGR(*) ALL", false},
    {"COMMINFO", "DISPLAY COMMINFO(SYSTEM.DEFAULT.COMMINFO.MULTICAST) ALL", false},
    {"CONN", "DISPLAY CONN(*) ALL", false},
    {"NAMELIST", "DISPLAY NAMELIST(SYSTEM.DEFAULT.NAMELIST) ALL", false},
    {"PROCESS", "DISPLAY PROCESS(*) ALL", false},
    {"PUBSUB", "DISPLAY PUBSUB ALL", false},
    {"QUEUE", "DISPLAY QUEUE(SYSTEM.DEFAULT.ALIAS.QUEUE) ALL", false},
    {"QUEUE", "DISPLAY QUEUE(SYSTEM.DEFAULT.LOCAL.QUEUE) ALL", false},
    {"QUEUE", "DISPLAY QUEUE(SYSTEM.DEFAULT.MODEL.QUEUE) ALL", false},
    {"QUEUE", "DISPLAY QUEUE(SYSTEM.DEFAULT.REMOTE.QUEUE) ALL", false},
    {"QCLUSTER", "DISPLAY QCLUSTER(*) ALL", false},
    {"QMGR", "DISPLAY QMGR ALL", false},
    {"QSTATUS", "DISPLAY QSTATUS(*) ALL", false},
    {"QMSTATUS", "DISPLAY QMSTATUS ALL", true},
    {"LISTENER", "DISPLAY LISTENER(*) ALL", true},
    {"LSSTATUS", "DISPLAY LSSTATUS(*) ALL", true},
    {"SBSTATUS", "DISPLAY SBSTATUS(*) ALL", true},
    {"SERVICE", "DISPLAY SERVICE(*) ALL", true},
    {"SVSTATUS", "DISPLAY SVSTATUS(*) ALL", true},
    {"SUB", "DISPLAY SUB(*) ALL", false},
    {"TCLUSTER", "DISPLAY TCLUSTER(*) ALL", false},
    {"TOPIC", "DISPLAY TOPIC(SYSTEM.DEFAULT.TOPIC) ALL", false},
    {"TPSTATUS", "DISPLAY TPSTATUS('') ALL", false},
};

// The platform of the queue manager the commands go to. The connection is made by the
// first command of the check when it is still pending, so this is asked before each one.
bool currentQmgrIsZos(ProgramContext &ctx) {
  if (!ctx.transport) return false;
  const Connection &conn = *transportOf(ctx).current;
  return conn.connected() && conn.platform == MQPL_ZOS;
}

bool vocabularyHasDisplay(const VocabContext &vctx, const char *objectType) {
  const CommandDef *display = findCommand(vctx, "", "DISPLAY", kExact, false, nullptr);
  return display && findObjectType(vctx, display, "", objectType, kExact, false, true, nullptr) != nullptr;
}

}  // namespace

void runUnhandledAttributeCheck(ProgramContext &ctx) {
  ctx.countingUnhandled = true;
  ctx.unhandledAttributes = 0;
  VocabContext vctx;
  vctx.target = inCcdtMode(ctx) ? CommandTarget::Ccdt : CommandTarget::QueueManager;
  if (inCcdtMode(ctx)) {
    cslIssueCommand(ctx, "DISPLAY CHANNEL(*) ALL");
  } else {
    for (const auto &check : kChecks) {
      if (check.distributedOnly && currentQmgrIsZos(ctx)) continue;
      if (vocabularyHasDisplay(vctx, check.objectType)) cslIssueCommand(ctx, check.command);
    }
  }
  ctx.countingUnhandled = false;
  if (ctx.unhandledAttributes != 0)
    addError(ctx, strFormat("There are %d unhandled attributes.", static_cast<int>(ctx.unhandledAttributes)));
  else addInfo(ctx, "All attributes appear to be handled");
}
