// Client bindings: the channel comes from the MQCD in MQCNO, or from MQSERVER
// ("CHANNEL/TCP/host(port)"); the connection name may list several addresses.
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "lib/backend.h"
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

}  // namespace

Outcome connectBackend(const ConnectRequest& request, std::unique_ptr<Backend>& backend) {
  ChannelChoice choice;
  bool haveChannel = request.cno && fromCD(*request.cno, choice);
  if (!haveChannel) haveChannel = fromMQSERVER(choice);
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
