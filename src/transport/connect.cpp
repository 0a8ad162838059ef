#include "transport/connect.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "context/context.h"
#include "context/local_command.h"
#include "context/output.h"
#include "context/trace.h"
#include "transport/conn_options.h"
#include "transport/connection.h"
#include "transport/exchange.h"
#include "transport/mq_library.h"
#include "transport/request_id.h"
#include "transport/transport_host.h"

using kvarn::mqi::fieldText;
using kvarn::mqi::setField;

namespace {

SavedCredential *findSaved(TransportState &t, const std::string &qmgr) {
  for (auto &s : t.savedCredentials)
    if (s.targetQmgr == qmgr) return &s;
  return nullptr;
}

// The prompt and the end of its line are output lines; the stars are the terminal's
// echo of what is typed, written straight to it like any typed character.
std::string readPasswordFromTerminal(ProgramContext &ctx, const std::string &prompt) {
  ctx.output->addLine(prompt, kStyleInfo | kStyleOpen | kStyleNoCopy);
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
  ctx.output->addLine("", kStyleInfo | kStyleContinues | kStyleNoCopy);
  if (restore) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return pwd;
}

std::string promptForPassword(ProgramContext &ctx, const Connection &t) {
  std::string prompt = t.targetQmgr.empty()
                           ? strFormat("User(%s) password > ", t.userId.c_str())
                           : strFormat("QM(%s) User(%s) password > ", t.targetQmgr.c_str(), t.userId.c_str());
  if (const TransportHost &host = transportHost(); host.readPassword)
    if (std::optional<std::string> typed = host.readPassword(ctx, prompt)) return *typed;
  if (!::isatty(STDIN_FILENO)) {
    addError(ctx, "Password prompt not supported for non-stdin file");
    return "";
  }
  return readPasswordFromTerminal(ctx, prompt);
}

void mqDisc(Connection &conn, MQHCONN &h, MQLONG &cc, MQLONG &rc) {
  if (h == kNoHconn) return;
  conn.entryTable->MQDISC(&h, &cc, &rc);
  h = kNoHconn;
}

}  // namespace

void forgetSavedCredentials(TransportState &t, const std::string &qmgr) {
  std::erase_if(t.savedCredentials, [&](const SavedCredential &s) { return s.targetQmgr == qmgr; });
}

void rememberCredentials(TransportState &t, const Connection &c) {
  forgetSavedCredentials(t, c.targetQmgr);
  t.savedCredentials.insert(t.savedCredentials.begin(), {c.targetQmgr, c.userId, c.password});
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
    if (c.ended() && t.current != &c && !c.fleetMember) {
      if (c.worker.joinable()) c.worker.join();
      if (c.reader.joinable()) c.reader.join();
      it = t.connections.erase(it);
    } else {
      ++it;
    }
  }
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

bool readyConnectTemplate(ProgramContext &ctx, const ParsedCommand &cmd, IssueSource source) {
  TransportState &t = transportOf(ctx);
  if (source == IssueFromStartup && !ctx.implicitConnect) return false;
  Connection &templ = t.connectionTemplate;
  if (cmd.items.size() > 1) {
    templ.reset(ctx.fileMode());
    int applied = 0;
    for (size_t i = 1; i < cmd.items.size() && applied < kMaxConnOptions; ++i, ++applied)
      applyConnOption(templ, cmd.items[i].name, cmd.items[i].value, cmd.items[i].hasValue);
  }
  if (ctx.startupState & kStartupInProgress) {
    ctx.startupState |= kStartupConnectPending;
    return false;
  }
  // The user's own =conn replaces the start-up connection still waiting for the first
  // command; left pending, it would connect later and take the commands elsewhere.
  if (source != IssueFromStartup) ctx.startupState &= ~kStartupConnectPending;
  if (templ.forgetCredentials) {
    forgetSavedCredentials(t, templ.targetQmgr);
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
  return true;
}
