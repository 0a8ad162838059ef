// Client bindings: the channel comes, in IBM's order, from the MQCD in MQCNO, a
// channel table named by MQCNO's CCDT URL, MQSERVER ("CHANNEL/TCP/host(port)"), a
// channel table named by MQCCDTURL, or one named by MQCHLLIB and MQCHLTAB; a
// connection name may list several addresses. A channel table is JSON or IBM's
// binary format, told apart by its content.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "lib/backend.h"
#include "lib/ccdt_binary.h"
#include "net/ccdt_json.h"
#include "net/remote_backend.h"

namespace qmsim {

using kvarn::mqi::fieldText;

namespace {

struct ChannelChoice {
  std::string channel;
  std::string connName;
  std::string userId;
  std::string password;
};

bool fromCD(const MQCNO& cno, ChannelChoice& choice) {
  if (cno.Version < MQCNO_VERSION_2) return false;
  const MQCD* cd = static_cast<const MQCD*>(cno.ClientConnPtr);
  if (cd == nullptr && cno.ClientConnOffset > 0)
    cd = reinterpret_cast<const MQCD*>(reinterpret_cast<const char*>(&cno) + cno.ClientConnOffset);
  if (cd == nullptr) return false;
  choice.channel = fieldText(cd->ChannelName);
  choice.connName = cd->Version >= MQCD_VERSION_2 ? fieldText(cd->ConnectionName) : fieldText(cd->ShortConnectionName);
  if (cd->Version >= MQCD_VERSION_2) {
    choice.userId = fieldText(cd->UserIdentifier);
    choice.password = fieldText(cd->Password);
  }
  return true;
}

bool fromMQSERVER(ChannelChoice& choice) {
  const char* env = std::getenv("MQSERVER");
  if (env == nullptr || *env == '\0') return false;
  std::string text = env;
  size_t a = text.find('/');
  size_t b = a == std::string::npos ? a : text.find('/', a + 1);
  if (b == std::string::npos) return false;
  choice.channel = text.substr(0, a);
  choice.connName = text.substr(b + 1);
  return true;
}

// Reads a channel table whole. A table that is missing or may not be read gives
// 2600; one that is not a regular file (a directory, a device, a pipe) or is larger
// than any real table gives 2539, without reading it.
Outcome readTableFile(const std::string& path, std::string& text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return Outcome::fail(errno == ENOENT || errno == EACCES || errno == ENOTDIR || errno == ENAMETOOLONG
                             ? MQRC_CCDT_URL_ERROR
                             : MQRC_CHANNEL_CONFIG_ERROR);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(kMaxCcdtBytes)) {
    ::close(fd);
    return Outcome::fail(MQRC_CHANNEL_CONFIG_ERROR);
  }
  text.clear();
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || text.size() + static_cast<size_t>(n) > kMaxCcdtBytes) {  // a file still growing counts too
      ::close(fd);
      return Outcome::fail(MQRC_CHANNEL_CONFIG_ERROR);
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return {};
}

// Picks the first client channel for qmgrName (any channel when it is empty) from
// a JSON or binary table.
Outcome fromCcdtFile(const std::string& path, const std::string& qmgrName, ChannelChoice& choice) {
  std::string text;
  if (Outcome o = readTableFile(path, text); !o.ok()) return o;
  std::vector<CcdtChannel> channels;
  if (looksLikeBinaryCcdt(text)) {
    if (Outcome o = readBinaryCcdt(path, channels); !o.ok()) return o;
  } else {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos || text[first] != '{') return Outcome::fail(MQRC_CHANNEL_CONFIG_ERROR);
    std::string error;
    if (!parseJsonCcdt(text, channels, error)) return Outcome::fail(MQRC_CHANNEL_CONFIG_ERROR);
  }
  for (const auto& ch : channels) {
    if (!qmgrName.empty() && ch.queueManager != qmgrName) continue;
    choice.channel = ch.name;
    choice.connName = ch.connName;
    return {};
  }
  return Outcome::fail(MQRC_Q_MGR_NAME_ERROR);
}

// The table a CCDT URL names: a file:// URL or a plain path. Other schemes (ftp,
// http) are not fetched here and give 2600, as an unusable URL does.
Outcome pathFromUrl(std::string url, std::string& path) {
  if (url.rfind("file://", 0) == 0) {
    url.erase(0, 7);
    if (url.rfind("localhost/", 0) == 0) url.erase(0, 9);
    if (url.empty()) return Outcome::fail(MQRC_CCDT_URL_ERROR);
  } else if (url.find("://") != std::string::npos) {
    return Outcome::fail(MQRC_CCDT_URL_ERROR);
  }
  path = url;
  return {};
}

std::string ccdtUrlFromCno(const MQCNO& cno) {
  if (cno.Version < MQCNO_VERSION_6 || cno.CCDTUrlLength <= 0) return "";
  const char* p = cno.CCDTUrlPtr;
  if (p == nullptr && cno.CCDTUrlOffset > 0) p = reinterpret_cast<const char*>(&cno) + cno.CCDTUrlOffset;
  if (p == nullptr) return "";
  std::string url(p, strnlen(p, static_cast<size_t>(cno.CCDTUrlLength)));
  while (!url.empty() && url.back() == ' ') url.pop_back();
  return url;
}

// Reads the channel from the table a URL names; false when url is empty.
bool fromCcdtUrl(const std::string& url, const std::string& qmgrName, ChannelChoice& choice, Outcome& o) {
  if (url.empty()) return false;
  std::string path;
  o = pathFromUrl(url, path);
  if (o.ok()) o = fromCcdtFile(path, qmgrName, choice);
  return true;
}

}  // namespace

Outcome connectBackend(const ConnectRequest& request, std::unique_ptr<Backend>& backend) {
  ChannelChoice choice;
  bool haveChannel = request.cno && fromCD(*request.cno, choice);
  Outcome fromTable;
  if (!haveChannel && request.cno)
    haveChannel = fromCcdtUrl(ccdtUrlFromCno(*request.cno), request.qmgrName, choice, fromTable);
  if (!haveChannel) haveChannel = fromMQSERVER(choice);
  if (!haveChannel) {
    const char* env = std::getenv("MQCCDTURL");
    haveChannel = fromCcdtUrl(env ? env : "", request.qmgrName, choice, fromTable);
  }
  if (!haveChannel) {
    const char* lib = std::getenv("MQCHLLIB");
    const char* tab = std::getenv("MQCHLTAB");
    if ((lib && *lib) || (tab && *tab)) {
      std::string dir = lib && *lib ? lib : ".";
      std::string url = dir + "/" + (tab && *tab ? tab : "AMQCLCHL.TAB");
      haveChannel = fromCcdtUrl(url, request.qmgrName, choice, fromTable);
    }
  }
  if (!fromTable.ok()) return fromTable;
  if (!haveChannel) return Outcome::fail(MQRC_Q_MGR_NAME_ERROR);
  if (choice.channel.empty() || choice.channel.size() > 20) return Outcome::fail(MQRC_UNKNOWN_CHANNEL_NAME);
  RemoteConnect rc{request.qmgrName,  choice.channel, choice.userId, choice.password, false,
                   currentApplName(), currentUserId()};
  if (request.credentials) {
    rc.userId = request.userId;
    rc.password = request.password;
    rc.credentials = true;
  } else if (!rc.userId.empty()) {
    rc.credentials = true;
  }
  Outcome last = Outcome::fail(MQRC_HOST_NOT_AVAILABLE);
  std::stringstream names(choice.connName);
  std::string one;
  while (std::getline(names, one, ',')) {
    while (!one.empty() && one.front() == ' ') one.erase(0, 1);
    std::string host;
    int port = 0;
    if (!parseConnName(one, host, port)) {
      last = Outcome::fail(MQRC_HOST_NOT_AVAILABLE);
      continue;
    }
    last = connectTcp(host, port, rc, backend);
    if (last.ok() || last.reason != MQRC_HOST_NOT_AVAILABLE) return last;
  }
  return last;
}

}  // namespace qmsim
