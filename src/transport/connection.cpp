#include "transport/connection.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "context/context.h"

MQCD Connection::defaultChannelDef() {
  MQCD cd = kvarn::mqi::defaultClientConnCD();
  kvarn::mqi::setField(cd.ChannelName, "SYSTEM.ADMIN.SVRCONN");
  kvarn::mqi::setField(cd.ConnectionName, "localhost");
  return cd;
}

void Connection::copySettingsFrom(const Connection &o) {
  viaQmgr = o.viaQmgr;
  targetQmgr = o.targetQmgr;
  adminQmgr = o.adminQmgr;
  replyModelQueue = o.replyModelQueue;
  replyPrefix = o.replyPrefix;
  commandQueue = o.commandQueue;
  clientBinding = o.clientBinding;
  useChannelDef = o.useChannelDef;
  channelDef = o.channelDef;
  ccdtUrl = o.ccdtUrl;
  userId = o.userId;
  passwordOption = o.passwordOption;
  password = o.password;
  hasUserId = o.hasUserId;
  hasPasswordOption = o.hasPasswordOption;
  ldapUserId = o.ldapUserId;
  ldapPassword = o.ldapPassword;
  crlConnName = o.crlConnName;
  keyRepository = o.keyRepository;
  waitSeconds = o.waitSeconds;
}

void Connection::reset(bool fileMode) {
  Connection fresh;
  copySettingsFrom(fresh);
  forgetCredentials = false;
  waitSeconds = fileMode ? 120 : 20;
  commandLevel = -1;
  platform = -1;
}

TransportState::TransportState() { runStamp = static_cast<uint32_t>(std::time(nullptr)); }

TransportState::~TransportState() {
  for (auto &c : connections) {
    c->closing = true;
    c->requestEvent.set();
    // A thread still blocked inside the MQ library (a reader in MQGET, a worker waiting
    // on a queue manager that stopped answering) cannot be joined; it is left to the
    // end of the process together with its Connection rather than freed under it.
    for (int i = 0; i < 200 && c->workerAlive; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (c->readerRunning || c->workerAlive) {
      if (c->worker.joinable()) c->worker.detach();
      if (c->reader.joinable()) c->reader.detach();
      (void)c.release();
      continue;
    }
    if (c->worker.joinable()) c->worker.join();
    if (c->reader.joinable()) c->reader.join();
  }
}

TransportState &transportOf(ProgramContext &ctx) {
  if (!ctx.transport) {
    auto state = std::make_unique<TransportState>();
    state->connectionTemplate.reset(ctx.fileMode());
    ctx.transport = std::move(state);
  }
  return static_cast<TransportState &>(*ctx.transport);
}

int64_t steadyMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void directCommandsToTable(ProgramContext &ctx, bool toTable) {
  TransportState &t = transportOf(ctx);
  OwnedMutexGuard guard(ctx.consoleLock);
  if (toTable) {
    if (t.current != &t.tableTemplate) {
      t.beforeTable = t.current;
      t.fleetBeforeTable = t.fleetCurrent;
    }
    t.current = &t.tableTemplate;
    t.fleetCurrent = false;
    return;
  }
  if (t.current != &t.tableTemplate) return;
  Connection *back = &t.connectionTemplate;
  for (auto &c : t.connections)
    if (c.get() == t.beforeTable) back = c.get();
  t.current = back;
  t.beforeTable = nullptr;
  t.fleetCurrent = t.fleetBeforeTable && t.fleet;
  t.fleetBeforeTable = false;
}
