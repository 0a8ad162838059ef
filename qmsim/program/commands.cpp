#include "program/commands.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "cmdserver/command_server.h"
#include "engine/registry.h"
#include "engine/session.h"
#include "engine/store.h"
#include "lib/backend.h"
#include "net/server.h"

namespace qmsim::program {

namespace {

namespace fs = std::filesystem;
using kvarn::mqi::setField;

int usageError(const char* command, const std::string& why) {
  for (const auto& c : commands())
    if (!std::strcmp(c.name, command))
      std::fprintf(stderr, "qmsim: %s\nusage: qmsim %s %s\n", why.c_str(), c.name, c.usage);
  return kExitUsage;
}

int failure(const std::string& message) {
  std::fprintf(stderr, "qmsim: %s\n", message.c_str());
  return kExitFailed;
}

bool exists(const std::string& name) { return fs::exists(qmgrDir(qmsimHome(), name) / "objects.qms"); }

fs::path pidFile(const std::string& name) { return qmgrDir(qmsimHome(), name) / "qmsim.pid"; }

// The pid and port of the server hosting name, if one is running.
std::optional<std::pair<pid_t, int>> runningServer(const std::string& name) {
  std::ifstream in(pidFile(name));
  long pid = 0;
  int port = 0;
  if (!(in >> pid >> port) || pid <= 0) return std::nullopt;
  if (::kill(static_cast<pid_t>(pid), 0) != 0) return std::nullopt;
  return std::make_pair(static_cast<pid_t>(pid), port);
}

bool parseNumber(const std::string& text, long low, long high, long& value) {
  if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  value = std::stol(text);
  return value >= low && value <= high;
}

// Splits "--name value" options from positional arguments.
struct Parsed {
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  std::string error;
};

Parsed parse(const Args& args, const std::vector<std::string>& valued, const std::vector<std::string>& flags) {
  Parsed p;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a.rfind("--", 0) != 0) {
      p.positional.push_back(a);
      continue;
    }
    std::string name = a.substr(2);
    if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
      p.options[name] = "";
    } else if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
      if (i + 1 >= args.size()) {
        p.error = "option " + a + " needs a value";
        return p;
      }
      p.options[name] = args[++i];
    } else {
      p.error = "unknown option " + a;
      return p;
    }
  }
  return p;
}

// Platform names the create command takes, with the PLATFORM value stored.
std::optional<std::string> platformValue(const std::string& name) {
  if (name == "unix") return "UNIX";
  if (name == "windows") return "WINDOWSNT";
  if (name == "zos") return "ZOS";
  return std::nullopt;
}

int cmdCreate(const Args& args) {
  Parsed p = parse(args, {"platform", "cmdlevel", "qsg", "tolklevel", "authority"}, {"tolk"});
  if (!p.error.empty()) return usageError("create", p.error);
  if (p.positional.empty()) return usageError("create", "no queue manager named");
  Attributes settings;
  if (p.options.count("platform")) {
    auto platform = platformValue(p.options["platform"]);
    if (!platform) return usageError("create", "platform must be unix, windows or zos");
    settings["PLATFORM"] = *platform;
  }
  long level = 0;
  if (p.options.count("cmdlevel")) {
    if (!parseNumber(p.options["cmdlevel"], 100, 999, level))
      return usageError("create", "cmdlevel must be 100 to 999");
    settings["CMDLEVEL"] = std::to_string(level);
  }
  if (p.options.count("qsg")) {
    if (settings["PLATFORM"] != "ZOS") return usageError("create", "a queue-sharing group needs --platform zos");
    if (!validObjectName(p.options["qsg"], 4))
      return usageError("create", "a queue-sharing group name has 1 to 4 characters");
    settings["QSGNAME"] = p.options["qsg"];
  }
  if (p.options.count("tolklevel")) {
    if (!parseNumber(p.options["tolklevel"], 100, 999, level))
      return usageError("create", "tolklevel must be 100 to 999");
    settings["TOLKLEVEL"] = std::to_string(level);
  }
  if (p.options.count("authority")) {
    const std::string& a = p.options["authority"];
    if (a != "on" && a != "off") return usageError("create", "authority must be on or off");
    // Client connections are then checked against the authority records.
    if (a == "on") settings["AUTHCHECK"] = "YES";
  }
  for (const auto& name : p.positional) {
    if (!validObjectName(name)) return failure("'" + name + "' is not a valid queue manager name");
    if (settings["PLATFORM"] == "ZOS" && name.size() > 4)
      return failure("a z/OS queue manager name has 1 to 4 characters");
    if (exists(name)) return failure("queue manager " + name + " already exists");
  }
  for (auto it = settings.begin(); it != settings.end();) it = it->second.empty() ? settings.erase(it) : std::next(it);
  for (const auto& name : p.positional) {
    std::string error;
    auto qm = QueueManager::open(name, qmgrDir(qmsimHome(), name), error);
    if (!qm) return failure(error);
    if (!settings.empty()) qm->alterQMgr(settings);
    if (p.options.count("tolk")) {
      ObjectDef q{ObjectKind::Queue, cmdserver::kTolkCommandQueue, defaultAttributes(ObjectKind::Queue, "QLOCAL")};
      if (Outcome o = qm->define(q, true); !o.ok()) return failure("cannot define " + q.name);
    }
    if (!qm->storageError().empty()) return failure(qm->storageError());
    std::printf("Queue manager %s created.\n", name.c_str());
  }
  return kExitOk;
}

int cmdDelete(const Args& args) {
  Parsed p = parse(args, {}, {});
  if (!p.error.empty()) return usageError("delete", p.error);
  if (p.positional.size() != 1) return usageError("delete", "name one queue manager");
  const std::string& name = p.positional[0];
  if (!validObjectName(name)) return failure("'" + name + "' is not a valid queue manager name");
  if (!exists(name)) return failure("queue manager " + name + " does not exist");
  // Holding its lock proves nobody is using it while it goes.
  std::string error;
  bool busy = false;
  auto qm = Registry::process().host(qmsimHome(), name, false, error, &busy);
  if (!qm) return failure(busy ? "queue manager " + name + " is running; stop it first" : error);
  Registry::process().release(name);
  std::error_code ec;
  fs::remove_all(qmgrDir(qmsimHome(), name), ec);
  if (ec) return failure("cannot delete " + qmgrDir(qmsimHome(), name).string() + ": " + ec.message());
  std::printf("Queue manager %s deleted.\n", name.c_str());
  return kExitOk;
}

int cmdList(const Args& args) {
  if (!args.empty()) return usageError("list", "no arguments expected");
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(qmsimHome(), ec))
    if (fs::exists(entry.path() / "objects.qms")) names.push_back(qmgrNameOfDir(entry.path().filename().string()));
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    auto server = runningServer(name);
    if (server)
      std::printf("%-48s running (pid %d, port %d)\n", name.c_str(), static_cast<int>(server->first), server->second);
    else std::printf("%-48s stopped\n", name.c_str());
  }
  return kExitOk;
}

std::map<std::string, std::string> readUsers(const std::string& path, std::string& error) {
  std::map<std::string, std::string> users;
  std::ifstream in(path);
  if (!in) {
    error = "cannot read user file " + path;
    return users;
  }
  std::string line;
  int lineNo = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (line.empty() || line[0] == '#') continue;
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
      error = path + " line " + std::to_string(lineNo) + ": expected user:password";
      return users;
    }
    users[line.substr(0, colon)] = line.substr(colon + 1);
  }
  if (users.empty()) error = path + " names no users";
  return users;
}

// The command server is started and stopped in a running server through two files
// in the queue manager's directory: the request, read at SIGUSR1, and the status.
constexpr const char* kCmdServerRequest = "cmdserver.request";
constexpr const char* kCmdServerStatus = "cmdserver.status";

void writeCommandServerStatus(const std::string& name) {
  std::string error;
  writeFileAtomically(qmgrDir(qmsimHome(), name) / kCmdServerStatus,
                      cmdserver::isRunning(name) ? "running\n" : "stopped\n", error);
}

void applyCommandServerRequest(const std::string& name) {
  fs::path request = qmgrDir(qmsimHome(), name) / kCmdServerRequest;
  std::ifstream in(request);
  std::string what;
  if (!(in >> what)) return;
  in.close();
  ::unlink(request.c_str());
  if (what == "start" || what == "stop") cmdserver::setRunning(name, what == "start");
  writeCommandServerStatus(name);
}

std::string readCommandServerStatus(const std::string& name) {
  std::ifstream in(qmgrDir(qmsimHome(), name) / kCmdServerStatus);
  std::string status;
  in >> status;
  return status;
}

// Runs the server until SIGTERM or SIGINT. ready receives one line: "OK port" or an error.
int serve(const std::vector<std::string>& names, const ServerOptions& options, int readyFd) {
  auto tell = [readyFd](const std::string& line) {
    if (readyFd >= 0) {
      (void)!::write(readyFd, line.data(), line.size());
      ::close(readyFd);
    }
  };
  ::signal(SIGPIPE, SIG_IGN);  // a closed stdout or socket must not end the server
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGUSR1);                   // qmsim cmdserver start/stop
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // before any thread exists, so all inherit it

  Registry& registry = Registry::process();
  cmdserver::installIn(registry);
  for (const auto& name : names) {
    std::string error;
    bool busy = false;
    if (!registry.host(qmsimHome(), name, false, error, &busy)) {
      std::string why = busy ? "queue manager " + name + " is already running" : error;
      tell("ERR " + why + "\n");
      return failure(why);
    }
  }
  Server server(registry, qmsimHome(), options);
  std::string error;
  if (!server.start(names, error)) {
    tell("ERR " + error + "\n");
    return failure(error);
  }
  for (const auto& name : names) { std::ofstream(pidFile(name)) << ::getpid() << " " << server.port() << "\n"; }
  std::string where = options.tcp ? options.bindAddress + " port " + std::to_string(server.port()) : "local sockets";
  for (const auto& name : names) std::printf("Queue manager %s running on %s.\n", name.c_str(), where.c_str());
  std::fflush(stdout);
  tell("OK " + std::to_string(server.port()) + "\n");
  for (const auto& name : names) writeCommandServerStatus(name);
  int sig = 0;
  while (sigwait(&stopSignals, &sig) == 0 && sig == SIGUSR1)
    for (const auto& name : names) applyCommandServerRequest(name);
  for (const auto& name : names)
    if (auto qm = registry.find(name)) qm->quiesce();
  server.stop();
  for (const auto& name : names) {
    ::unlink(pidFile(name).c_str());
    ::unlink((qmgrDir(qmsimHome(), name) / kCmdServerStatus).c_str());
    registry.release(name);
  }
  for (const auto& name : names) std::printf("Queue manager %s ended.\n", name.c_str());
  return kExitOk;
}

int cmdStart(const Args& args) {
  Parsed p = parse(args, {"port", "bind", "auth", "latency"}, {"background", "no-tcp"});
  if (!p.error.empty()) return usageError("start", p.error);
  if (p.positional.empty()) return usageError("start", "no queue manager named");
  ServerOptions options;
  if (p.options.count("port")) {
    long port = 0;
    if (!parseNumber(p.options["port"], 0, 65535, port)) return usageError("start", "port must be 0 to 65535");
    options.port = static_cast<int>(port);
  }
  if (p.options.count("bind")) options.bindAddress = p.options["bind"];
  if (p.options.count("latency")) {
    long ms = 0;
    if (!parseNumber(p.options["latency"], 0, 10000, ms)) return usageError("start", "latency must be 0 to 10000 ms");
    options.latencyMs = static_cast<int>(ms);
  }
  if (p.options.count("no-tcp")) options.tcp = false;
  if (p.options.count("auth")) {
    std::string error;
    options.users = readUsers(p.options["auth"], error);
    if (!error.empty()) return failure(error);
  }
  for (const auto& name : p.positional) {
    if (!validObjectName(name)) return failure("'" + name + "' is not a valid queue manager name");
    if (!exists(name))
      return failure("queue manager " + name + " does not exist; create it with 'qmsim create " + name + "'");
  }
  if (!p.options.count("background")) return serve(p.positional, options, -1);

  int ready[2];
  if (::pipe(ready) != 0) return failure(std::string("cannot create pipe: ") + std::strerror(errno));
  pid_t child = ::fork();
  if (child < 0) return failure(std::string("cannot fork: ") + std::strerror(errno));
  if (child == 0) {
    ::close(ready[0]);
    ::setsid();
    int devnull = ::open("/dev/null", O_RDWR);
    std::string log = (qmsimHome() / "qmsim.log").string();
    int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    ::dup2(devnull, 0);
    ::dup2(logFd >= 0 ? logFd : devnull, 1);
    ::dup2(logFd >= 0 ? logFd : devnull, 2);
    _exit(serve(p.positional, options, ready[1]));
  }
  ::close(ready[1]);
  std::string line;
  char c;
  while (::read(ready[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(ready[0]);
  if (line.rfind("OK ", 0) == 0) {
    for (const auto& name : p.positional)
      std::printf("Queue manager %s started (pid %d, port %s).\n", name.c_str(), static_cast<int>(child),
                  line.substr(3).c_str());
    return kExitOk;
  }
  ::waitpid(child, nullptr, 0);
  return failure(line.rfind("ERR ", 0) == 0 ? line.substr(4) : "the server ended before it was ready");
}

int cmdStop(const Args& args) {
  Parsed p = parse(args, {}, {});
  if (!p.error.empty()) return usageError("stop", p.error);
  if (p.positional.size() != 1) return usageError("stop", "name one queue manager");
  const std::string& name = p.positional[0];
  if (!validObjectName(name)) return failure("'" + name + "' is not a valid queue manager name");
  auto server = runningServer(name);
  if (!server) return failure("queue manager " + name + " is not running");
  ::kill(server->first, SIGTERM);
  for (int i = 0; i < 200; ++i) {
    if (::kill(server->first, 0) != 0) {
      std::printf("Queue manager %s stopped.\n", name.c_str());
      return kExitOk;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return failure("queue manager " + name + " did not stop within 10 seconds");
}

int cmdCmdserver(const Args& args) {
  Parsed p = parse(args, {}, {});
  if (!p.error.empty()) return usageError("cmdserver", p.error);
  if (p.positional.size() != 2) return usageError("cmdserver", "name an action and one queue manager");
  const std::string& action = p.positional[0];
  const std::string& name = p.positional[1];
  if (action != "start" && action != "stop" && action != "status")
    return usageError("cmdserver", "the action is start, stop or status");
  if (!validObjectName(name)) return failure("'" + name + "' is not a valid queue manager name");
  auto server = runningServer(name);
  if (!server) return failure("queue manager " + name + " is not running");
  if (action == "status") {
    std::string status = readCommandServerStatus(name);
    std::printf("Command server of queue manager %s is %s.\n", name.c_str(),
                status.empty() ? "unknown" : status.c_str());
    return kExitOk;
  }
  std::string wanted = action == "start" ? "running" : "stopped";
  std::string error;
  if (!writeFileAtomically(qmgrDir(qmsimHome(), name) / kCmdServerRequest, action + "\n", error)) return failure(error);
  ::kill(server->first, SIGUSR1);
  for (int i = 0; i < 200; ++i) {
    if (readCommandServerStatus(name) == wanted && !fs::exists(qmgrDir(qmsimHome(), name) / kCmdServerRequest)) {
      std::printf("Command server of queue manager %s %s.\n", name.c_str(), action == "start" ? "started" : "stopped");
      return kExitOk;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return failure("the server of queue manager " + name + " did not answer within 10 seconds");
}

// Connects in server bindings for put and depth: through a running server or in this process.
Outcome connectFor(const std::string& name, std::unique_ptr<Backend>& backend) {
  if (!exists(name)) return Outcome::fail(MQRC_Q_MGR_NOT_AVAILABLE);
  return connectServerBindings(name, ConnectParams{"qmsim", currentUserId(), "", ""}, backend);
}

int mqFailure(const std::string& what, const Outcome& o) {
  return failure(what + " failed: completion code " + std::to_string(o.compCode) + ", reason " +
                 std::to_string(o.reason));
}

int cmdPut(const Args& args) {
  Parsed p = parse(args, {"count", "text"}, {"persistent"});
  if (!p.error.empty()) return usageError("put", p.error);
  if (p.positional.size() != 2) return usageError("put", "name a queue manager and a queue");
  long count = 1;
  if (p.options.count("count") && !parseNumber(p.options["count"], 1, 1000000, count))
    return usageError("put", "count must be 1 to 1000000");
  std::unique_ptr<Backend> backend;
  if (Outcome o = connectFor(p.positional[0], backend); !o.ok())
    return o.reason == MQRC_Q_MGR_NOT_AVAILABLE ? failure("queue manager " + p.positional[0] + " is not available")
                                                : mqFailure("connect", o);
  MQOD od = kvarn::mqi::defaultOD();
  setField(od.ObjectName, p.positional[1]);
  MQHOBJ hobj = MQHO_NONE;
  if (Outcome o = backend->open(od, MQOO_OUTPUT, hobj); !o.ok()) return mqFailure("open " + p.positional[1], o);
  std::string text = p.options.count("text") ? p.options["text"] : "qmsim test message";
  for (long i = 1; i <= count; ++i) {
    MQMD md = kvarn::mqi::defaultMD();
    std::memcpy(md.Format, MQFMT_STRING, 8);
    if (p.options.count("persistent")) md.Persistence = MQPER_PERSISTENT;
    MQPMO pmo = kvarn::mqi::defaultPMO();
    pmo.Options = MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID;
    std::string body = count > 1 ? text + " " + std::to_string(i) : text;
    if (Outcome o = backend->put(hobj, md, pmo, body); !o.ok())
      return mqFailure("put of message " + std::to_string(i), o);
  }
  backend->close(hobj, MQCO_NONE);
  backend->disconnect();
  std::printf("%ld message%s put to %s.\n", count, count == 1 ? "" : "s", p.positional[1].c_str());
  return kExitOk;
}

int cmdDepth(const Args& args) {
  Parsed p = parse(args, {}, {});
  if (!p.error.empty()) return usageError("depth", p.error);
  if (p.positional.size() < 2) return usageError("depth", "name a queue manager and at least one queue");
  std::unique_ptr<Backend> backend;
  if (Outcome o = connectFor(p.positional[0], backend); !o.ok())
    return o.reason == MQRC_Q_MGR_NOT_AVAILABLE ? failure("queue manager " + p.positional[0] + " is not available")
                                                : mqFailure("connect", o);
  int rc = kExitOk;
  for (size_t i = 1; i < p.positional.size(); ++i) {
    MQOD od = kvarn::mqi::defaultOD();
    setField(od.ObjectName, p.positional[i]);
    MQHOBJ hobj = MQHO_NONE;
    Outcome o = backend->open(od, MQOO_INQUIRE, hobj);
    MQLONG selector = MQIA_CURRENT_Q_DEPTH, depth = 0;
    if (o.ok()) o = backend->inquire(hobj, {&selector, 1}, {&depth, 1}, {});
    if (o.ok()) {
      std::printf("%-48s %d\n", p.positional[i].c_str(), depth);
      backend->close(hobj, MQCO_NONE);
    } else {
      std::fprintf(stderr, "qmsim: %s: reason %d\n", p.positional[i].c_str(), o.reason);
      rc = kExitFailed;
    }
  }
  backend->disconnect();
  return rc;
}

}  // namespace

const std::vector<Command>& commands() {
  static const std::vector<Command> table = {
      {"create",
       "QMGR... [--platform unix|windows|zos] [--cmdlevel N] [--qsg NAME] [--tolk] [--tolklevel N]"
       " [--authority on|off]",
       cmdCreate},
      {"delete", "QMGR", cmdDelete},
      {"start", "QMGR... [--port N] [--bind ADDRESS] [--auth USERFILE] [--latency MS] [--no-tcp] [--background]",
       cmdStart},
      {"stop", "QMGR", cmdStop},
      {"list", "", cmdList},
      {"put", "QMGR QUEUE [--count N] [--text TEXT] [--persistent]", cmdPut},
      {"depth", "QMGR QUEUE...", cmdDepth},
      {"cmdserver", "start|stop|status QMGR", cmdCmdserver},
  };
  return table;
}

}  // namespace qmsim::program
