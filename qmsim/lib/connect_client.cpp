// Client bindings: the channel comes from the MQCD in MQCNO, a channel table named
// by MQCNO's CCDT URL, MQSERVER ("CHANNEL/TCP/host(port)"), or a channel table
// named by MQCHLLIB and MQCHLTAB; a connection name may list several addresses.
// A channel table is JSON or IBM's binary format, told apart by its content.
#include <cstdlib>
#include <cstring>
#include <fstream>
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

// Picks the first client channel for qmgrName (any channel when it is empty) from
// a JSON or binary table.
Outcome fromCcdtFile(const std::string& path, const std::string& qmgrName, ChannelChoice& choice) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Outcome::fail(MQRC_CCDT_URL_ERROR);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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

std::string ccdtPathFromUrl(const MQCNO& cno) {
  if (cno.Version < MQCNO_VERSION_6 || cno.CCDTUrlLength <= 0) return "";
  const char* p = cno.CCDTUrlPtr;
  if (p == nullptr && cno.CCDTUrlOffset > 0) p = reinterpret_cast<const char*>(&cno) + cno.CCDTUrlOffset;
  if (p == nullptr) return "";
  std::string url(p, static_cast<size_t>(cno.CCDTUrlLength));
  if (url.rfind("file://", 0) == 0) url.erase(0, 7);
  return url;
}

}  // namespace

Outcome connectBackend(const ConnectRequest& request, std::unique_ptr<Backend>& backend) {
  ChannelChoice choice;
  bool haveChannel = request.cno && fromCD(*request.cno, choice);
  if (!haveChannel && request.cno) {
    std::string path = ccdtPathFromUrl(*request.cno);
    if (!path.empty()) {
      if (Outcome o = fromCcdtFile(path, request.qmgrName, choice); !o.ok()) return o;
      haveChannel = true;
    }
  }
  if (!haveChannel) haveChannel = fromMQSERVER(choice);
  if (!haveChannel) {
    const char* lib = std::getenv("MQCHLLIB");
    const char* tab = std::getenv("MQCHLTAB");
    if ((lib && *lib) || (tab && *tab)) {
      std::string path = std::string(lib && *lib ? lib : ".") + "/" + (tab && *tab ? tab : "AMQCLCHL.TAB");
      if (Outcome o = fromCcdtFile(path, request.qmgrName, choice); !o.ok()) return o;
      haveChannel = true;
    }
  }
  if (!haveChannel) return Outcome::fail(MQRC_Q_MGR_NAME_ERROR);
  if (choice.channel.empty() || choice.channel.size() > 20) return Outcome::fail(MQRC_UNKNOWN_CHANNEL_NAME);
  RemoteConnect rc{request.qmgrName, choice.channel, choice.userId, choice.password, false, currentApplName(),
                   currentUserId()};
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
