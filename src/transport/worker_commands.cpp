#include "transport/worker_commands.h"

#include <cctype>
#include <chrono>
#include <cstring>

#include "context/context.h"
#include "context/local_command.h"
#include "context/output.h"
#include "text/text.h"
#include "transport/connect.h"
#include "transport/connection.h"
#include "transport/exchange.h"
#include "transport/mq_library.h"

namespace {

bool startsWithWord(std::string_view text, std::string_view word) {
  size_t n = word.size();
  return scanStartsWithNoCase(text, word) && (text.size() == n || text[n] == ' ' || text[n] == '(' || text[n] == '\t');
}

int platformOf(const Connection &conn) { return conn.platform; }

// =clear and qdepth: one PCF request, its reply read into the transport's queue reply.
void queueRequest(ProgramContext &ctx, Connection &conn, const std::string &queue, bool depth) {
  TransportState &t = transportOf(ctx);
  t.queueReply = QueueCommandReply{};
  bool zos = platformOf(conn) == MQPL_ZOS;
  PreparedRequest request;
  request.message = depth ? buildQueueDepthRequest(queue, zos) : buildClearQueueRequest(queue, zos);
  request.handler = depth ? kHandlerQueueDepth : kHandlerClearQueue;
  QueueCommandReply reply;
  // The reply is published by the reader thread before it completes the command: the
  // waiting command thread reads it as soon as it is released, before this worker runs on.
  awaitReply(
      ctx, conn, conn.handedSeq, request,
      [&](const MQMD &md, const uint8_t *data, size_t length) {
        bool last = depth ? handleQueueDepthReply(ctx, reply, md, data, length)
                          : handleClearQueueReply(ctx, reply, md, data, length);
        if (last) t.queueReply = reply;
        return last;
      },
      ctx.fileMode() ? ctx.settings.respwait : ctx.settings.respwaiti);
}

// qempty: gets every message (truncated to nothing) until a get fails.
void emptyQueue(ProgramContext &ctx, Connection &conn, const std::string &queue) {
  TransportState &t = transportOf(ctx);
  MqEntryTable &mq = *conn.entryTable;
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, queue);
  MQHOBJ hobj = kNoHobj;
  MQLONG cc = 0, rc = 0;
  t.emptiedCount = 0;
  mq.MQOPEN(conn.commandHconn, &od, MQOO_INPUT_SHARED | MQOO_READ_AHEAD, &hobj, &cc, &rc);
  if (cc == MQCC_FAILED) {
    t.queueReply.reason = rc;
    return;
  }
  for (;;) {
    MQMD md = kvarn::mqi::defaultMD();
    MQGMO gmo = kvarn::mqi::defaultGMO();
    gmo.Options = MQGMO_NO_SYNCPOINT | MQGMO_ACCEPT_TRUNCATED_MSG;
    MQLONG length = 0;
    mq.MQGET(conn.commandHconn, hobj, &md, &gmo, 0, nullptr, &length, &cc, &rc);
    if (cc == MQCC_FAILED) break;
    ++t.emptiedCount;
  }
  t.queueReply.reason = rc == MQRC_NO_MSG_AVAILABLE ? 0 : rc;
  MQLONG cc2 = 0, rc2 = 0;
  mq.MQCLOSE(conn.commandHconn, &hobj, MQCO_NONE, &cc2, &rc2);
}

void switchToTolk(ProgramContext &ctx, Connection &conn, const ParsedCommand &cmd) {
  TransportState &t = transportOf(ctx);
  if (cmd.has("cmdq") && !cmd.value("cmdq").empty() && cmd.value("cmdq") != t.tolkCommandQueue) {
    t.tolkCommandQueue = cmd.value("cmdq").substr(0, 48);
    if (conn.tolkQueueHobj != kNoHobj) {
      MQLONG cc, rc;
      conn.entryTable->MQCLOSE(conn.commandHconn, &conn.tolkQueueHobj, MQCO_NONE, &cc, &rc);
      conn.tolkQueueHobj = kNoHobj;
    }
  }
  t.tolkMode = true;
  // The mode stays on when the open fails: the next command tries the open again.
  if (!openCommandQueue(ctx, kTolkCommandQueue, conn)) return;
  if (ctx.input == nullptr || ctx.input->echo.resp) addInfo(ctx, "Commands directed to TOLK");
  if (conn.tolkCommandLevel == 0) {
    std::vector<uint8_t> request = buildTolkLevelRequest();
    MQMD md = kvarn::mqi::defaultMD();
    std::memcpy(md.Format, MQFMT_ADMIN, 8);
    putRequest(ctx, conn, kTolkCommandQueue, conn.handedSeq, request.data(), md, request.size(), kHandlerTolkLevel, 0,
               0);
  }
}

void refreshNames(ProgramContext &ctx, Connection &conn, const std::string &text) {
  std::string kind = text.size() > 12 ? text.substr(12) : "";
  kind = std::string(scanTrim(kind, " "));
  const NameListDef *descriptor = findNameList(kind);
  if (!descriptor) return;
  size_t index = 0;
  {
    OwnedMutexGuard guard(ctx.displayLock);
    while (index < conn.nameCaches.size() && conn.nameCaches[index].descriptor != descriptor) ++index;
    if (index == conn.nameCaches.size()) conn.nameCaches.push_back(NameCache{descriptor, 0, 0, {}});
  }
  std::vector<uint8_t> request = buildNameListRequest(*descriptor, conn.platform == MQPL_ZOS);
  MQMD md = kvarn::mqi::defaultMD();
  std::memcpy(md.Format, MQFMT_ADMIN, 8);
  putRequest(ctx, conn, descriptor->fromTolk ? kTolkCommandQueue : kMqCommandQueue, conn.handedSeq, request.data(), md,
             request.size(), kHandlerNameCache, index, 0);
}

}  // namespace

void runWorkerCommand(ProgramContext &ctx, Connection &conn, const std::string &text, bool internal) {
  if (internal) {
    if (startsWithWord(text, "=conn")) connectQmgr(ctx, conn);
    else if (startsWithWord(text, "=disc")) disconnectQmgr(ctx, conn, false);
    else if (startsWithWord(text, "refreshnames")) refreshNames(ctx, conn, text);
    else addError(ctx, "Unrecognised command");
    return;
  }
  // The dispatcher checked the command against its table before handing it on.
  ParsedCommand cmd = parseLocalCommand(text);
  std::string name(cmd.name());
  for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "=conn") connectQmgr(ctx, conn);
  else if (name == "=disc") disconnectQmgr(ctx, conn, true);
  else if (name == "=tolk") switchToTolk(ctx, conn, cmd);
  else if (name == "=mqsc") {
    transportOf(ctx).tolkMode = false;
    if (ctx.input == nullptr || ctx.input->echo.resp) addInfo(ctx, "Commands directed to IBM MQ");
  } else if (name == "=clear") queueRequest(ctx, conn, cmd.value("qlocal"), false);
  else if (name == "qdepth") queueRequest(ctx, conn, cmd.value("qlocal"), true);
  else if (name == "qempty") emptyQueue(ctx, conn, cmd.value("qlocal"));
  else addError(ctx, "Unrecognised command");
}
