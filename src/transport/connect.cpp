#include "transport/connect.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "driver/context.h"
#include "driver/local_table.h"
#include "driver/output.h"
#include "driver/trace.h"
#include "driver/dispatch.h"
#include "transport/conn_options.h"
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

SavedCredential *findSaved(TransportState &t, const std::string &qmgr) {
  for (auto &s : t.savedCredentials)
    if (s.targetQmgr == qmgr) return &s;
  return nullptr;
}

void forgetSaved(TransportState &t, const std::string &qmgr) {
  std::erase_if(t.savedCredentials, [&](const SavedCredential &s) { return s.targetQmgr == qmgr; });
}

void rememberSaved(TransportState &t, const Connection &c) {
  forgetSaved(t, c.targetQmgr);
  t.savedCredentials.insert(t.savedCredentials.begin(), {c.targetQmgr, c.userId, c.password});
}

std::string readPasswordFromTerminal(const std::string &prompt) {
  std::fputs(prompt.c_str(), stdout);
  std::fflush(stdout);
  termios saved{};
  bool restore = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (restore) {
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  std::string pwd;
  char c;
  while (pwd.size() < 101 && ::read(STDIN_FILENO, &c, 1) == 1) {
    if (c == '\r' || c == '\n') break;
    if (c == '\b' || c == 127) {
      if (!pwd.empty()) {
        pwd.pop_back();
        std::fputs("\b \b", stdout);
      }
    } else {
      pwd += c;
      std::fputc('*', stdout);
    }
    std::fflush(stdout);
  }
  std::fputc('\n', stdout);
  std::fflush(stdout);
  if (restore) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return pwd;
}

std::string promptForPassword(ProgramContext &ctx, const Connection &t) {
  std::string prompt = t.targetQmgr.empty() ? strFormat("User(%s) password > ", t.userId.c_str())
                                            : strFormat("QM(%s) User(%s) password > ", t.targetQmgr.c_str(),
                                                        t.userId.c_str());
  if (!::isatty(STDIN_FILENO)) {
    std::fputs("Password prompt not supported for non-stdin file\n", stdout);
    std::fflush(stdout);
    return "";
  }
  ctx.output->flush();
  return readPasswordFromTerminal(prompt);
}

void trim(std::string &s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\0')) s.pop_back();
}

void failConnect(ProgramContext &ctx, Connection &conn) {
  ctx.statusFlags |= kStatusConnectFailed;
  ctx.mode |= kModeConnectFailed;
  ++ctx.failureEvents;
  conn.closing = true;
  TransportState &t = transportOf(ctx);
  OwnedMutexGuard guard(ctx.consoleLock);
  if (t.current == &conn) t.current = &t.connectionTemplate;
}

void mqDisc(Connection &conn, MQHCONN &h, MQLONG &cc, MQLONG &rc) {
  if (h == kNoHconn) return;
  conn.entryTable->MQDISC(&h, &cc, &rc);
  h = kNoHconn;
}

} // namespace

bool connectionMatches(const Connection &c, const Connection &t) {
  if (c.closing || c.clientBinding != t.clientBinding) return false;
  if (c.viaQmgr != t.viaQmgr && c.connectedQmgr != t.viaQmgr) return false;
  if (c.targetQmgr != t.targetQmgr && c.adminQmgr != t.targetQmgr) return false;
  if (c.commandQueue != t.commandQueue || c.replyModelQueue != t.replyModelQueue || c.ccdtUrl != t.ccdtUrl)
    return false;
  // The first 364 bytes end inside SecurityExit: the connection name is not compared.
  if (std::memcmp(&c.channelDef, &t.channelDef, 364) != 0) return false;
  if (c.hasUserId != t.hasUserId || (c.hasUserId && c.userId != t.userId)) return false;
  if (c.hasPasswordOption != t.hasPasswordOption || (c.hasPasswordOption && c.passwordOption != t.passwordOption))
    return false;
  return true;
}

void pruneEndedConnections(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  OwnedMutexGuard guard(ctx.consoleLock);
  for (auto it = t.connections.begin(); it != t.connections.end();) {
    Connection &c = **it;
    if (c.ended() && t.current != &c) {
      if (c.worker.joinable()) c.worker.join();
      if (c.reader.joinable()) c.reader.join();
      it = t.connections.erase(it);
    } else {
      ++it;
    }
  }
}

int findOrCreateConnection(ProgramContext &ctx) {
  TransportState &t = transportOf(ctx);
  pruneEndedConnections(ctx);
  OwnedMutexGuard guard(ctx.consoleLock);
  for (auto &owned : t.connections) {
    Connection &c = *owned;
    if (!c.workerAlive || !connectionMatches(c, t.connectionTemplate)) continue;
    if (t.current == &c) {
      if (!c.connectedQmgr.empty()) addInfo(ctx, strFormat("Already using connection to '%s'", c.connectedQmgr.c_str()));
    } else {
      t.current = &c;
      addInfo(ctx, strFormat("Switching to '%s'", c.connectedQmgr.c_str()));
    }
    t.connectionTemplate.reset(ctx.fileMode());
    return 0;
  }
  auto conn = std::make_unique<Connection>();
  conn->copySettingsFrom(t.connectionTemplate);
  conn->owner = &ctx;
  t.connectionTemplate.reset(ctx.fileMode());
  Connection &c = *conn;
  t.connections.push_front(std::move(conn));
  try {
    startWorker(ctx, c);
  } catch (const std::system_error &) {
    t.connections.pop_front();
    t.current = &t.connectionTemplate;
    return MQRC_UNEXPECTED_ERROR;
  }
  t.current = &c;
  return 0;
}

int selectConnection(ProgramContext &ctx, Connection &conn) {
  TransportState &t = transportOf(ctx);
  OwnedMutexGuard guard(ctx.consoleLock);
  for (auto &c : t.connections) {
    if (c.get() != &conn || !conn.connected() || conn.disconnectPending) continue;
    if (t.current != &conn) addInfo(ctx, strFormat("Switching to '%s'", conn.connectedQmgr.c_str()));
    t.current = &conn;
    return 1;
  }
  return 0;
}

int disconnectQmgr(ProgramContext &ctx, Connection &conn, bool report) {
  TransportState &t = transportOf(ctx);
  if (conn.commandHconn == kNoHconn) {
    if (report) addError(ctx, "Not currently connected.");
    return 0;
  }
  conn.closing = true;
  if (conn.readerRunning && conn.replyOutputHobj != kNoHobj) {
    // An empty message wakes the reader's unlimited get; its CorrelId has no run stamp.
    MQMD md = kvarn::mqi::defaultMD();
    std::memcpy(md.Format, MQFMT_STRING, 8);
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = MQPMO_NO_SYNCPOINT;
    MQLONG cc = 0, rc = 0;
    conn.entryTable->MQPUT(conn.commandHconn, conn.replyOutputHobj, &md, &pmo, 0, nullptr, &cc, &rc);
    int64_t deadline = steadyMs() + 5000;
    while (cc == MQCC_OK && conn.readerRunning && steadyMs() < deadline)
      conn.readerEnded.wait(static_cast<long>(std::max<int64_t>(1, deadline - steadyMs())));
  }
  MQLONG cc = MQCC_OK, rc = MQRC_NONE, cc2 = MQCC_OK, rc2 = MQRC_NONE;
  // The reader owns the reply connection while it runs; only a reader that has
  // ended leaves it to us.
  if (!conn.readerRunning) mqDisc(conn, conn.replyHconn, cc2, rc2);
  mqDisc(conn, conn.commandHconn, cc, rc);
  conn.commandQueueHobj = conn.tolkQueueHobj = conn.replyOutputHobj = kNoHobj;
  {
    OwnedMutexGuard guard(ctx.consoleLock);
    if (t.current == &conn) t.current = &t.connectionTemplate;
  }
  if (cc == MQCC_OK) {
    t.lastReason = 6124;
  } else if (rc != MQRC_CONNECTION_BROKEN && rc != MQRC_Q_MGR_QUIESCING && rc != MQRC_Q_MGR_STOPPING) {
    addError(ctx, strFormat("Disconnect failed. RC(%d) %s", static_cast<int>(rc), reasonName(rc)));
  }
  if (report) addInfo(ctx, strFormat("Disconnected from '%s'", conn.connectedQmgr.c_str()));
  return 1;
}

int connectQmgr(ProgramContext &ctx, Connection &conn) {
  TransportState &t = transportOf(ctx);
  t.lastReason = MQRC_CALL_IN_PROGRESS;
  if (conn.commandHconn != kNoHconn) disconnectQmgr(ctx, conn, false);
  conn.commandQueueHobj = conn.tolkQueueHobj = kNoHobj;
  conn.closing = false;
  conn.commandLevel = 0;

  MqBinding binding = conn.clientBinding ? MqBinding::Client : MqBinding::Server;
  if (loadMqLibrary(binding, conn.entryTable) != 0) {
    t.lastReason = 2589;
    addError(ctx, conn.clientBinding ? "Can not find IBM MQ Client on this machine"
                                     : "Can not find IBM MQ Server on this machine");
    failConnect(ctx, conn);
    return 0;
  }
  MqEntryTable &mq = *conn.entryTable;
  std::string name = conn.viaQmgr.empty() ? conn.targetQmgr : conn.viaQmgr;
  conn.adminQmgr = conn.targetQmgr;

  ConnectOptions opts{};
  opts.cno = kvarn::mqi::defaultCNO();
  MQLONG bindingOption = conn.clientBinding ? MQCNO_CLIENT_BINDING : MQCNO_LOCAL_BINDING;
  opts.cno.Options = MQCNO_HANDLE_SHARE_BLOCK | bindingOption | kAccountingOptions;
  MQLONG version = MQCNO_VERSION_1;
  if (conn.useChannelDef) {
    version = std::max<MQLONG>(version, MQCNO_VERSION_2);
    opts.cno.ClientConnPtr = &conn.channelDef;
  }
  if (!conn.ccdtUrl.empty()) {
    version = std::max<MQLONG>(version, MQCNO_VERSION_6);
    opts.cno.CCDTUrlPtr = conn.ccdtUrl.data();
    opts.cno.CCDTUrlLength = static_cast<MQLONG>(conn.ccdtUrl.size());
  }
  if ((conn.channelDef.HdrCompList[0] != 0 || conn.channelDef.MsgCompList[0] != 0) && conn.channelDef.Version < 8)
    raiseMqcdVersion(conn.channelDef, 8);
  MQSCO sco{};
  MQAIR air{};
  std::string certLabel = conn.channelDef.Version >= 11 ? fieldText(conn.channelDef.CertificateLabel) : "";
  if (!conn.keyRepository.empty() || !certLabel.empty() || !conn.crlConnName.empty() || !conn.ldapUserId.empty() ||
      !conn.ldapPassword.empty()) {
    version = std::max<MQLONG>(version, MQCNO_VERSION_4);
    std::memcpy(sco.StrucId, MQSCO_STRUC_ID, 4);
    sco.Version = MQSCO_VERSION_1;
    setField(sco.KeyRepository, conn.keyRepository);
    setField(sco.CryptoHardware, "");
    if (!certLabel.empty()) {
      sco.Version = MQSCO_VERSION_5;
      setField(sco.CertificateLabel, certLabel);
    }
    if (!conn.crlConnName.empty() || !conn.ldapUserId.empty() || !conn.ldapPassword.empty()) {
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
    opts.cno.SSLConfigPtr = &sco;
  }
  MQCSP csp = kvarn::mqi::defaultCSP();
  if (!conn.userId.empty() || !conn.password.empty()) {
    version = std::max<MQLONG>(version, MQCNO_VERSION_5);
    csp.AuthenticationType = MQCSP_AUTH_USER_ID_AND_PWD;
    csp.CSPUserIdPtr = conn.userId.data();
    csp.CSPUserIdLength = static_cast<MQLONG>(conn.userId.size());
    csp.CSPPasswordPtr = conn.password.data();
    csp.CSPPasswordLength = static_cast<MQLONG>(conn.password.size());
    opts.cno.SecurityParmsPtr = &csp;
  }
  bool applName = true;
  opts.cno.Version = std::max<MQLONG>(version, 7);
  setField(opts.ApplName, "Virko Software KVARN");

  MQCHAR48 qmName;
  setField(qmName, name);
  MQLONG cc = 0, rc = 0;
  for (;;) {
    mq.MQCONNX(qmName, &opts.cno, &conn.commandHconn, &cc, &rc);
    if (cc != MQCC_FAILED) break;
    conn.commandHconn = kNoHconn;
    if (rc == MQRC_OPTIONS_ERROR && (opts.cno.Options & kAccountingOptions)) {
      opts.cno.Options &= ~kAccountingOptions;
      continue;
    }
    if (rc == MQRC_OPTIONS_ERROR && (opts.cno.Options & bindingOption)) {
      opts.cno.Options &= ~bindingOption;
      continue;
    }
    if (rc == MQRC_CNO_ERROR && applName) {
      applName = false;
      opts.cno.Version = version;
      continue;
    }
    break;
  }
  if (cc == MQCC_FAILED) {
    t.lastReason = rc;
    if (rc == MQRC_NOT_AUTHORIZED) forgetSaved(t, conn.targetQmgr);
    if (rc == MQRC_CNO_ERROR) {
      addError(ctx, !conn.ccdtUrl.empty() ? "A CCDT URL requires an MQ v9 Client or later"
                    : (!conn.userId.empty() || !conn.password.empty())
                        ? "An explicit client userid/password requires an MQ v6 Client or later"
                        : "A local client definition requires an MQ v5.1 Client or later");
    } else {
      if (rc == MQRC_CONNECTION_NOT_AVAILABLE) addError(ctx, "Check whether client or server bindings is set correctly");
      addError(ctx, strFormat("Connect to '%s' failed. RC(%d) %s", name.c_str(), static_cast<int>(rc), reasonName(rc)));
    }
    failConnect(ctx, conn);
    return 0;
  }
  if (!conn.userId.empty()) rememberSaved(t, conn);

  mq.MQCONNX(qmName, &opts.cno, &conn.replyHconn, &cc, &rc);
  if (cc == MQCC_FAILED) {
    conn.replyHconn = kNoHconn;
    t.lastReason = rc;
    if (rc == MQRC_NOT_AUTHORIZED) forgetSaved(t, conn.targetQmgr);
    addError(ctx, strFormat("Connect to '%s' failed. RC(%d) %s", name.c_str(), static_cast<int>(rc), reasonName(rc)));
    disconnectQmgr(ctx, conn, false);
    failConnect(ctx, conn);
    return 0;
  }

  // The name of the queue manager actually reached.
  MQOD od = kvarn::mqi::defaultOD();
  od.ObjectType = MQOT_Q_MGR;
  MQHOBJ qmObj = kNoHobj;
  mq.MQOPEN(conn.commandHconn, &od, MQOO_INQUIRE, &qmObj, &cc, &rc);
  if (cc == MQCC_FAILED) {
    addError(ctx, strFormat("Failed to open Queue Manager object '%s' RC(%d) %s", name.c_str(), static_cast<int>(rc),
                            reasonName(rc)));
    ctx.statusFlags |= kStatusMqCallFailed;
    disconnectQmgr(ctx, conn, false);
    failConnect(ctx, conn);
    return 0;
  }
  MQLONG selector = MQCA_Q_MGR_NAME;
  char qmgrName[48];
  mq.MQINQ(conn.commandHconn, qmObj, 1, &selector, 0, nullptr, 48, qmgrName, &cc, &rc);
  MQLONG cc2 = 0, rc2 = 0;
  mq.MQCLOSE(conn.commandHconn, &qmObj, MQCO_NONE, &cc2, &rc2);
  if (cc == MQCC_FAILED) {
    addError(ctx, strFormat("MQINQ failed on Queue Manager '%s' RC(%d) %s", name.c_str(), static_cast<int>(rc),
                            reasonName(rc)));
    ctx.statusFlags |= kStatusMqCallFailed;
    disconnectQmgr(ctx, conn, false);
    failConnect(ctx, conn);
    return 0;
  }
  std::string reached(qmgrName, 48);
  conn.connectedQmgr = reached.substr(0, reached.find_first_of(" \0", 0, 2));
  conn.adminQmgr = conn.targetQmgr.empty() ? conn.connectedQmgr : conn.targetQmgr;

  if (!openCommandQueue(ctx, kMqCommandQueue, conn)) {
    disconnectQmgr(ctx, conn, false);
    failConnect(ctx, conn);
    return 0;
  }

  // The dynamic reply queue: read on the reply connection, written to on the command
  // connection when a disconnect wakes the reader.
  MQOD rod = kvarn::mqi::defaultOD();
  setField(rod.ObjectName, conn.replyModelQueue);
  setField(rod.ObjectQMgrName, conn.connectedQmgr);
  expandReplyPrefix(conn.replyPrefix, rod.DynamicQName);
  mq.MQOPEN(conn.replyHconn, &rod, MQOO_INPUT_EXCLUSIVE | MQOO_READ_AHEAD, &conn.replyInputHobj, &cc, &rc);
  if (cc == MQCC_FAILED && rc == MQRC_OPTIONS_ERROR)
    mq.MQOPEN(conn.replyHconn, &rod, MQOO_INPUT_EXCLUSIVE, &conn.replyInputHobj, &cc, &rc);
  auto replyOpenFailed = [&] {
    addError(ctx, strFormat("Error opening reply queue '%s/%s' on '%s' RC(%ld) %s", conn.connectedQmgr.c_str(),
                            conn.replyModelQueue.c_str(), conn.connectedQmgr.c_str(), static_cast<long>(rc),
                            reasonName(rc)));
    ctx.statusFlags |= kStatusMqCallFailed;
    disconnectQmgr(ctx, conn, false);
    failConnect(ctx, conn);
    return 0;
  };
  if (cc == MQCC_FAILED) {
    conn.replyInputHobj = kNoHobj;
    return replyOpenFailed();
  }
  conn.replyQueue = std::string(rod.ObjectName, 48);
  trim(conn.replyQueue);
  conn.replyQueue = conn.replyQueue.substr(0, conn.replyQueue.find('\0'));
  trim(conn.replyQueue);
  MQOD wod = kvarn::mqi::defaultOD();
  setField(wod.ObjectName, conn.replyQueue);
  mq.MQOPEN(conn.commandHconn, &wod, MQOO_OUTPUT, &conn.replyOutputHobj, &cc, &rc);
  if (cc == MQCC_FAILED) {
    conn.replyOutputHobj = kNoHobj;
    return replyOpenFailed();
  }

  // Command level and platform: first as a version 3 request, then as version 1.
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
  if (conn.commandLevel == 0) {
    addError(ctx, strFormat("Can not query Queue Manager '%s' command level", conn.adminQmgr.c_str()));
    disconnectQmgr(ctx, conn, false);
    failConnect(ctx, conn);
    return 0;
  }
  conn.capabilities = CapabilityFlags::ForQueueManager(conn.platform, conn.commandLevel,
                                                       ctx.settings.on(kOptWeakCipher));
  startReader(ctx, conn);
  if (conn.connectedQmgr != conn.adminQmgr)
    addInfo(ctx, strFormat("Connected to '%s' - Administering '%s'", conn.connectedQmgr.c_str(), conn.adminQmgr.c_str()));
  else
    addInfo(ctx, strFormat("Connected to '%s'", conn.connectedQmgr.c_str()));
  return 1;
}

void cslDoConnectCommand(ProgramContext &ctx, const ParsedCommand &cmd, int issueKind) {
  TraceScope trace(ctx, "cslDoConnectCommand", "", false);
  TransportState &t = transportOf(ctx);
  if (issueKind == IssueKindFromStartup && !ctx.implicitConnect) return;
  Connection &templ = t.connectionTemplate;
  if (cmd.items.size() > 1) {
    templ.reset(ctx.fileMode());
    int applied = 0;
    for (size_t i = 1; i < cmd.items.size() && applied < kMaxConnOptions; ++i, ++applied)
      applyConnOption(templ, cmd.items[i].name, cmd.items[i].value, cmd.items[i].hasValue);
  }
  if (ctx.startupState & kStartupInProgress) {
    ctx.startupState |= kStartupConnectPending;
    return;
  }
  // The user's own =conn replaces the start-up connection still waiting for the first
  // command; left pending, it would connect later and take the commands elsewhere.
  if (issueKind != IssueKindFromStartup) ctx.startupState &= ~kStartupConnectPending;
  if (templ.forgetCredentials) {
    forgetSaved(t, templ.targetQmgr);
  } else if (SavedCredential *saved = findSaved(t, templ.targetQmgr)) {
    bool sameUser = !templ.hasUserId || templ.userId == saved->userId;
    if (sameUser) {
      if (!templ.hasUserId) {
        templ.userId = saved->userId;
        templ.hasUserId = !saved->userId.empty();
      }
      if (!templ.hasPasswordOption || templ.passwordOption == "*") {
        // An empty saved password leaves no password and no prompt.
        templ.passwordOption = saved->password;
        templ.hasPasswordOption = true;
        templ.password = saved->password;
      }
    }
  }
  templ.forgetCredentials = false;
  if (templ.userId.empty()) templ.password.clear();
  else if (!templ.hasPasswordOption || templ.passwordOption.empty()) templ.password.clear();
  else if (templ.passwordOption == "*") templ.password = promptForPassword(ctx, templ);
  else templ.password = templ.passwordOption;

  MqCommandArgs args;
  args.issueKind = issueKind;
  args.connect = true;
  args.waitSeconds = templ.waitSeconds;
  cslIssueMQCommand(ctx, cmd.text, args);
}
