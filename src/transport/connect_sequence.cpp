// The connect sequence, run on the connection's worker thread: load the library,
// connect the command and reply handles, learn the queue manager's name, open the
// queues, ask the command level. Each step either succeeds or reports why and returns
// false; a HalfConnection undoes whatever the steps before it made.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "context/context.h"
#include "context/output.h"
#include "transport/conn_options.h"
#include "transport/connect.h"
#include "transport/connection.h"
#include "transport/exchange.h"
#include "transport/mq_library.h"
#include "transport/request_id.h"

using kvarn::mqi::fieldText;
using kvarn::mqi::setField;

namespace {

// MQCNO with the version 7 application name that the MQI header stops short of.
struct ConnectOptions {
  MQCNO cno;
  MQCHAR ApplName[28];
  MQBYTE Reserved2[4];
};

constexpr MQLONG kAccountingOptions = MQCNO_ACCOUNTING_MQI_DISABLED | MQCNO_ACCOUNTING_Q_DISABLED;

// The MQCNO and the structures it points into, kept together for both MQCONNX calls.
struct ConnectParameters {
  ConnectOptions opts{};
  MQSCO sco{};
  MQAIR air{};
  MQCSP csp = kvarn::mqi::defaultCSP();
  MQLONG version = MQCNO_VERSION_1;  // the lowest MQCNO version the options need
  MQLONG bindingOption = 0;
  MQCHAR48 qmName{};
  std::string name;  // the queue manager connected to (via, or target)

  ConnectParameters() = default;
  ConnectParameters(const ConnectParameters &) = delete;
  ConnectParameters &operator=(const ConnectParameters &) = delete;
};

// A connection being made. Unless committed, leaving its scope disconnects whatever the
// steps made and marks the connect as failed, so a failing step just returns.
class HalfConnection {
 public:
  HalfConnection(ProgramContext &ctx, Connection &conn) : ctx_(ctx), conn_(conn) {}
  ~HalfConnection() {
    if (committed_) return;
    if (conn_.commandHconn != kNoHconn) disconnectQmgr(ctx_, conn_, false);
    failConnect(ctx_, conn_);
  }
  HalfConnection(const HalfConnection &) = delete;
  HalfConnection &operator=(const HalfConnection &) = delete;
  void commit() { committed_ = true; }

 private:
  ProgramContext &ctx_;
  Connection &conn_;
  bool committed_ = false;
};

bool loadLibrary(ProgramContext &ctx, Connection &conn) {
  MqBinding binding = conn.clientBinding ? MqBinding::Client : MqBinding::Server;
  MqLoadResult loaded = loadMqLibrary(binding, conn.entryTable, &ctx);
  if (loaded.error == 0) return true;
  transportOf(ctx).lastReason = 2589;
  if (loaded.error == ENOENT && loaded.path.empty())
    addError(ctx, conn.clientBinding ? "Can not find IBM MQ Client on this machine"
                                     : "Can not find IBM MQ Server on this machine");
  else addError(ctx, strFormat("Can not load IBM MQ library '%s' - %s", loaded.path.c_str(), loaded.reason.c_str()));
  return false;
}

void addSecurityParameters(Connection &conn, ConnectParameters &p) {
  std::string certLabel = conn.channelDef.Version >= 11 ? fieldText(conn.channelDef.CertificateLabel) : "";
  bool ldap = !conn.crlConnName.empty() || !conn.ldapUserId.empty() || !conn.ldapPassword.empty();
  if (conn.keyRepository.empty() && certLabel.empty() && !ldap) return;
  p.version = std::max<MQLONG>(p.version, MQCNO_VERSION_4);
  MQSCO &sco = p.sco;
  std::memcpy(sco.StrucId, MQSCO_STRUC_ID, 4);
  sco.Version = MQSCO_VERSION_1;
  setField(sco.KeyRepository, conn.keyRepository);
  setField(sco.CryptoHardware, "");
  if (!certLabel.empty()) {
    sco.Version = MQSCO_VERSION_5;
    setField(sco.CertificateLabel, certLabel);
  }
  if (ldap) {
    MQAIR &air = p.air;
    std::memcpy(air.StrucId, MQAIR_STRUC_ID, 4);
    air.Version = MQAIR_VERSION_1;
    air.AuthInfoType = MQAIT_CRL_LDAP;
    setField(air.AuthInfoConnName, conn.crlConnName);
    air.LDAPUserNamePtr = conn.ldapUserId.data();
    air.LDAPUserNameLength = static_cast<MQLONG>(conn.ldapUserId.size());
    setField(air.LDAPPassword, conn.ldapPassword);
    sco.AuthInfoRecCount = 1;
    sco.AuthInfoRecPtr = &air;
  }
  p.opts.cno.SSLConfigPtr = &sco;
}

void buildParameters(Connection &conn, ConnectParameters &p) {
  p.name = conn.viaQmgr.empty() ? conn.targetQmgr : conn.viaQmgr;
  setField(p.qmName, p.name);
  MQCNO &cno = p.opts.cno;
  cno = kvarn::mqi::defaultCNO();
  p.bindingOption = conn.clientBinding ? MQCNO_CLIENT_BINDING : MQCNO_LOCAL_BINDING;
  cno.Options = MQCNO_HANDLE_SHARE_BLOCK | p.bindingOption | kAccountingOptions;
  if (conn.useChannelDef) {
    p.version = std::max<MQLONG>(p.version, MQCNO_VERSION_2);
    cno.ClientConnPtr = &conn.channelDef;
  }
  if (!conn.ccdtUrl.empty()) {
    p.version = std::max<MQLONG>(p.version, MQCNO_VERSION_6);
    cno.CCDTUrlPtr = conn.ccdtUrl.data();
    cno.CCDTUrlLength = static_cast<MQLONG>(conn.ccdtUrl.size());
  }
  if ((conn.channelDef.HdrCompList[0] != 0 || conn.channelDef.MsgCompList[0] != 0) && conn.channelDef.Version < 8)
    raiseMqcdVersion(conn.channelDef, 8);
  addSecurityParameters(conn, p);
  if (!conn.userId.empty() || !conn.password.empty()) {
    p.version = std::max<MQLONG>(p.version, MQCNO_VERSION_5);
    p.csp.AuthenticationType = MQCSP_AUTH_USER_ID_AND_PWD;
    p.csp.CSPUserIdPtr = conn.userId.data();
    p.csp.CSPUserIdLength = static_cast<MQLONG>(conn.userId.size());
    p.csp.CSPPasswordPtr = conn.password.data();
    p.csp.CSPPasswordLength = static_cast<MQLONG>(conn.password.size());
    cno.SecurityParmsPtr = &p.csp;
  }
  cno.Version = std::max<MQLONG>(p.version, 7);
  setField(p.opts.ApplName, "Virko Software KVARN");
}

void reportConnectFailure(ProgramContext &ctx, Connection &conn, const ConnectParameters &p, MQLONG rc) {
  TransportState &t = transportOf(ctx);
  t.lastReason = rc;
  if (rc == MQRC_NOT_AUTHORIZED) forgetSavedCredentials(t, conn.targetQmgr);
  if (rc == MQRC_CNO_ERROR) {
    addError(ctx, !conn.ccdtUrl.empty() ? "A CCDT URL requires an MQ v9 Client or later"
                  : (!conn.userId.empty() || !conn.password.empty())
                      ? "An explicit client userid/password requires an MQ v6 Client or later"
                      : "A local client definition requires an MQ v5.1 Client or later");
    return;
  }
  if (rc == MQRC_CONNECTION_NOT_AVAILABLE) addError(ctx, "Check whether client or server bindings is set correctly");
  addError(ctx, strFormat("Connect to '%s' failed. RC(%d) %s", p.name.c_str(), static_cast<int>(rc), reasonName(rc)));
}

// The command handle, dropping options an older library refuses one at a time.
bool connectCommandHandle(ProgramContext &ctx, Connection &conn, ConnectParameters &p) {
  MqEntryTable &mq = *conn.entryTable;
  bool applName = true;
  MQLONG cc = 0, rc = 0;
  showStatus(ctx, strFormat("Connecting to '%s'...", p.name.c_str()), 2);
  for (;;) {
    mq.MQCONNX(p.qmName, &p.opts.cno, &conn.commandHconn, &cc, &rc);
    showStatus(ctx, "");
    if (cc != MQCC_FAILED) break;
    conn.commandHconn = kNoHconn;
    if (rc == MQRC_OPTIONS_ERROR && (p.opts.cno.Options & kAccountingOptions)) {
      p.opts.cno.Options &= ~kAccountingOptions;
    } else if (rc == MQRC_OPTIONS_ERROR && (p.opts.cno.Options & p.bindingOption)) {
      p.opts.cno.Options &= ~p.bindingOption;
    } else if (rc == MQRC_CNO_ERROR && applName) {
      applName = false;
      p.opts.cno.Version = p.version;
    } else {
      reportConnectFailure(ctx, conn, p, rc);
      return false;
    }
  }
  if (!conn.userId.empty()) rememberCredentials(transportOf(ctx), conn);
  return true;
}

// The reply connection is the reader's own, so that its unlimited get never holds up
// the worker's puts.
bool connectReplyHandle(ProgramContext &ctx, Connection &conn, ConnectParameters &p) {
  MQLONG cc = 0, rc = 0;
  conn.entryTable->MQCONNX(p.qmName, &p.opts.cno, &conn.replyHconn, &cc, &rc);
  if (cc != MQCC_FAILED) return true;
  conn.replyHconn = kNoHconn;
  reportConnectFailure(ctx, conn, p, rc);
  return false;
}

bool mqCallFailed(ProgramContext &ctx, const std::string &text) {
  addError(ctx, text);
  ctx.statusFlags |= kStatusMqCallFailed;
  return false;
}

// The name of the queue manager actually reached.
bool inquireQueueManagerName(ProgramContext &ctx, Connection &conn, const std::string &name) {
  MqEntryTable &mq = *conn.entryTable;
  MQOD od = kvarn::mqi::defaultOD();
  od.ObjectType = MQOT_Q_MGR;
  MQHOBJ qmObj = kNoHobj;
  MQLONG cc = 0, rc = 0;
  mq.MQOPEN(conn.commandHconn, &od, MQOO_INQUIRE, &qmObj, &cc, &rc);
  if (cc == MQCC_FAILED)
    return mqCallFailed(ctx, strFormat("Failed to open Queue Manager object '%s' RC(%d) %s", name.c_str(),
                                       static_cast<int>(rc), reasonName(rc)));
  MQLONG selector = MQCA_Q_MGR_NAME;
  char qmgrName[48];
  mq.MQINQ(conn.commandHconn, qmObj, 1, &selector, 0, nullptr, 48, qmgrName, &cc, &rc);
  MQLONG cc2 = 0, rc2 = 0;
  mq.MQCLOSE(conn.commandHconn, &qmObj, MQCO_NONE, &cc2, &rc2);
  if (cc == MQCC_FAILED)
    return mqCallFailed(ctx, strFormat("MQINQ failed on Queue Manager '%s' RC(%d) %s", name.c_str(),
                                       static_cast<int>(rc), reasonName(rc)));
  std::string reached(qmgrName, 48);
  conn.connectedQmgr = reached.substr(0, reached.find_first_of(" \0", 0, 2));
  conn.adminQmgr = conn.targetQmgr.empty() ? conn.connectedQmgr : conn.targetQmgr;
  return true;
}

std::string trimmedName(const MQCHAR48 &field) {
  std::string s(field, 48);
  s = s.substr(0, s.find('\0'));
  s.erase(s.find_last_not_of(" \t\n") + 1);
  return s;
}

// The dynamic reply queue: read on the reply connection, written to on the command
// connection when a disconnect wakes the reader.
bool openReplyQueue(ProgramContext &ctx, Connection &conn) {
  MqEntryTable &mq = *conn.entryTable;
  MQOD rod = kvarn::mqi::defaultOD();
  setField(rod.ObjectName, conn.replyModelQueue);
  setField(rod.ObjectQMgrName, conn.connectedQmgr);
  expandReplyPrefix(conn.replyPrefix, rod.DynamicQName);
  MQLONG cc = 0, rc = 0;
  showStatus(ctx,
             strFormat("Opening reply queue '%s/%s' on '%s'", conn.connectedQmgr.c_str(), conn.replyModelQueue.c_str(),
                       conn.connectedQmgr.c_str()),
             2);
  auto failed = [&] {
    showStatus(ctx, "");
    return mqCallFailed(ctx, strFormat("Error opening reply queue '%s/%s' on '%s' RC(%ld) %s",
                                       conn.connectedQmgr.c_str(), conn.replyModelQueue.c_str(),
                                       conn.connectedQmgr.c_str(), static_cast<long>(rc), reasonName(rc)));
  };
  mq.MQOPEN(conn.replyHconn, &rod, MQOO_INPUT_EXCLUSIVE | MQOO_READ_AHEAD, &conn.replyInputHobj, &cc, &rc);
  if (cc == MQCC_FAILED && rc == MQRC_OPTIONS_ERROR)
    mq.MQOPEN(conn.replyHconn, &rod, MQOO_INPUT_EXCLUSIVE, &conn.replyInputHobj, &cc, &rc);
  if (cc == MQCC_FAILED) {
    conn.replyInputHobj = kNoHobj;
    return failed();
  }
  conn.replyQueue = trimmedName(rod.ObjectName);
  MQOD wod = kvarn::mqi::defaultOD();
  setField(wod.ObjectName, conn.replyQueue);
  mq.MQOPEN(conn.commandHconn, &wod, MQOO_OUTPUT, &conn.replyOutputHobj, &cc, &rc);
  if (cc == MQCC_FAILED) {
    conn.replyOutputHobj = kNoHobj;
    return failed();
  }
  showStatus(ctx, "");
  return true;
}

// Command level and platform: first as a version 3 request, then as version 1.
bool queryCommandLevel(ProgramContext &ctx, Connection &conn) {
  TransportState &t = transportOf(ctx);
  conn.platform = 0;
  for (int headerVersion : {3, 1}) {
    if (conn.commandLevel != 0) break;
    std::vector<uint8_t> request = buildCommandLevelRequest(headerVersion);
    MQMD md = kvarn::mqi::defaultMD();
    std::memcpy(md.Format, MQFMT_ADMIN, 8);
    uint32_t seq = ++t.issuedSeq;
    if (!putRequest(ctx, conn, kMqCommandQueue, seq, request.data(), md, request.size(), kHandlerQmgrLevel, 0,
                    conn.waitSeconds))
      break;
  }
  if (conn.commandLevel != 0) return true;
  addError(ctx, strFormat("Can not query Queue Manager '%s' command level", conn.adminQmgr.c_str()));
  return false;
}

void announceConnection(ProgramContext &ctx, const Connection &conn) {
  // Nobody should take the simulator for a production queue manager.
  const char *simulated = conn.entryTable->bundled ? " (simulated queue manager)" : "";
  if (conn.connectedQmgr != conn.adminQmgr)
    addInfo(ctx, strFormat("Connected to '%s' - Administering '%s'%s", conn.connectedQmgr.c_str(),
                           conn.adminQmgr.c_str(), simulated));
  else addInfo(ctx, strFormat("Connected to '%s'%s", conn.connectedQmgr.c_str(), simulated));
}

}  // namespace

int connectQmgr(ProgramContext &ctx, Connection &conn) {
  TransportState &t = transportOf(ctx);
  t.lastReason = MQRC_CALL_IN_PROGRESS;
  if (conn.commandHconn != kNoHconn) disconnectQmgr(ctx, conn, false);
  conn.commandQueueHobj = conn.tolkQueueHobj = kNoHobj;
  conn.closing = false;
  conn.commandLevel = 0;
  conn.adminQmgr = conn.targetQmgr;

  HalfConnection attempt(ctx, conn);
  if (!loadLibrary(ctx, conn)) return 0;
  ConnectParameters params;
  buildParameters(conn, params);
  if (!connectCommandHandle(ctx, conn, params) || !connectReplyHandle(ctx, conn, params)) return 0;
  if (!inquireQueueManagerName(ctx, conn, params.name)) return 0;
  if (!openCommandQueue(ctx, kMqCommandQueue, conn) || !openReplyQueue(ctx, conn)) return 0;
  if (!queryCommandLevel(ctx, conn)) return 0;
  conn.capabilities =
      CapabilityFlags::forQueueManager(conn.platform, conn.commandLevel, ctx.settings.on(kOptWeakCipher));
  startReader(ctx, conn);
  attempt.commit();
  announceConnection(ctx, conn);
  return 1;
}
