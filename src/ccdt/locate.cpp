#include "ccdt/locate.h"

#include "runtime/trace_sink.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ccdt/status.h"
#include "ccdt/trace.h"
#include "text/text.h"

namespace kvarn::ccdt {

namespace {

// An environment variable, traced when asked; unset and empty are the same.
std::string environmentValue(const char *name) {
  const char *value = std::getenv(name);
  if (traceEnabled(kTraceFiles)) traceWritef("DBG:%s = '%s'\n", name, value ? value : "");
  return value ? std::string(value) : std::string();
}

std::string expandHome(std::string_view name) {
  if (name.substr(0, 2) == "~/") {
    const char *home = std::getenv("HOME");
    if (home && *home) return std::string(home) + std::string(name.substr(1));
  }
  return std::string(name);
}

std::string tableDirectory() {
  std::string directory = environmentValue("MQCHLLIB");
  if (directory.empty()) directory = kDefaultTableDirectory;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

int joinTablePath(const std::string &directory, const std::string &file, std::string &path, std::string &message) {
  if (directory.size() + file.size() + 10 > kMaxTablePath) {
    message = "Channel File name too large";
    return kErrGeneral;
  }
  path = directory == "/" ? "/" + file : directory + "/" + file;
  if (traceEnabled(kTraceFiles)) traceWritef("DBG:Opening channel file '%s'\n", path.c_str());
  return kOk;
}

std::vector<std::string_view> splitAt(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return parts;
}

}  // namespace

int locateBinaryTable(std::string_view name, std::string &path, bool &useMqserver, std::string &message) {
  useMqserver = false;
  if (name.size() >= kMaxTablePath) {
    message = "Channel File name too large";
    return kErrGeneral;
  }
  if (!name.empty() && name.front() == '!' && !environmentValue("MQSERVER").empty()) {
    useMqserver = true;
    path.clear();
    return kOk;
  }
  std::string given = expandHome(name);
  std::string directory;
  std::string file;
  if (given.find('/') != std::string::npos) {
    if (given != "*" && given.back() != '/') {
      if (given.size() + 10 > kMaxTablePath) {
        message = "Channel File name too large";
        return kErrGeneral;
      }
      path = given;
      if (traceEnabled(kTraceFiles)) traceWritef("DBG:Opening channel file '%s'\n", path.c_str());
      return kOk;
    }
    directory = given;
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  } else {
    directory = tableDirectory();
    if (!given.empty() && given != "*") file = given;
  }
  if (file.empty()) {
    file = environmentValue("MQCHLTAB");
    if (file.empty()) file = kDefaultBinaryTableName;
  }
  return joinTablePath(directory, file, path, message);
}

int locateJsonTable(std::string_view name, std::string &path, std::string &message) {
  if (name.size() >= kMaxTablePath) {
    message = "Channel File name too large";
    return kErrGeneral;
  }
  std::string given = expandHome(name);
  std::string directory;
  std::string file = given;
  if (auto slash = given.find_last_of('/'); slash != std::string::npos) {
    directory = slash == 0 ? "/" : given.substr(0, slash);
    file = given.substr(slash + 1);
  } else {
    directory = tableDirectory();
  }
  if (file.empty() || file == "*") {
    file = environmentValue("MQCHLTAB");
    if (file.empty()) file = kDefaultJsonTableName;
  }
  if (file.find(".json") == std::string::npos) file += ".json";
  return joinTablePath(directory, file, path, message);
}

int parseMqserver(std::string_view value, ChannelDefinition &def, std::string &message) {
  std::string text(value);
  auto malformed = [&] {
    message = strFormat("Invalid MQSERVER Environment variable '%s'", text.c_str());
    return kErrMqserver;
  };
  if (value.size() > 100) return malformed();
  auto parts = splitAt(value, '/');
  if (parts.size() < 3 || trimTrailingBlanks(parts[0]).empty() || parts[1].empty()) return malformed();
  std::string transport(parts[1]);
  ChannelDefinition result = clientConnectionDefaults();
  result.channelName = std::string(parts[0].substr(0, kKeyLength));
  result.qmgrName = "*";
  std::string_view rest = value.substr(parts[0].size() + parts[1].size() + 2);
  if (scanEqualsNoCase(transport, "TCP")) {
    result.transportType = kTransportTcp;
  } else if (scanEqualsNoCase(transport, "NETBIOS")) {
    result.transportType = kTransportNetbios;
  } else if (scanEqualsNoCase(transport, "SPX")) {
    result.transportType = kTransportSpx;
  } else if (scanEqualsNoCase(transport, "LU62")) {
    result.transportType = kTransportLu62;
    if (parts.size() != 5 || parts[3].size() > 8 || parts[4].size() > 64) return malformed();
    result.modeName = std::string(parts[3]);
    result.tpName = std::string(parts[4]);
    rest = parts[2];
  } else {
    message = strFormat("Invalid MQSERVER Environment variable protocol '%s'", transport.c_str());
    return kErrMqserver;
  }
  if (rest.empty() || rest.size() > 264) return malformed();
  result.connectionName = std::string(rest);
  def = std::move(result);
  return kOk;
}

int channelFromMqserver(ChannelDefinition &def, std::string &message) {
  std::string value = environmentValue("MQSERVER");
  if (value.empty()) {
    message = "MQSERVER Environment variable not set";
    return kErrEndOfList;
  }
  return parseMqserver(value, def, message);
}

}  // namespace kvarn::ccdt
