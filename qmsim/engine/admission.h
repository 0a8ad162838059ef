// Admission of a client channel, as a queue manager decides it when a SVRCONN channel
// starts: the channel authentication records (CHLAUTH) block addresses and users and
// map the connection to the user id it runs under, and connection authentication
// (CONNAUTH with CHCKCLNT) demands and checks a user id and password. The OAM's
// CONNECT check follows in the queue manager's connect.
//
// The order is IBM's: BLOCKADDR before anything else; then the one mapping record
// that matches best (the most specific channel profile, a USERMAP before an
// ADDRESSMAP, the most specific address); then the password check and, with
// ADOPTCTX(YES), the adoption of the authenticated user id; then the BLOCKUSER record
// of the most specific profile against the user id the channel will run under.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/error_log.h"
#include "engine/objects.h"
#include "mqi/mqi.h"

namespace qmsim::admission {

struct Credentials {
  std::string user, password;
};

// What a client presents when its channel starts.
struct ClientHello {
  std::string channel;
  std::string address;       // the partner's IP address
  std::string assertedUser;  // the user id the client's own system runs it under
  std::string applName;
  std::optional<Credentials> credentials;  // an MQCSP, when the application gave one
};

// Whether the queue manager's user repository accepts this user id and password.
using PasswordCheck = std::function<bool(const std::string& user, const std::string& password)>;
// Whether a user id is privileged (an administrator: *MQADMIN, CHCKCLNT(REQDADM)).
using PrivilegeCheck = std::function<bool(const std::string& user)>;

enum class CheckClient { None, Optional, RequiredForAdmin, Required };
CheckClient checkClientFrom(const std::string& mqsc);  // NONE, OPTIONAL, REQDADM, REQUIRED
std::string checkClientName(CheckClient c);

struct Policy {
  bool channelRules = false;     // CHLAUTH records are enforced
  std::vector<ObjectDef> rules;  // the channel authentication records
  std::string channelMcaUser;    // MCAUSER of the SVRCONN channel
  bool connAuthInForce = false;  // CONNAUTH names user id and password information
  CheckClient checkClient = CheckClient::None;
  bool adoptContext = false;
  std::string authInfo;  // the authentication information's name, for messages
  // The server was started with a user file: while connection authentication is not in
  // force, every client must present one of its users with the password.
  bool demandCredentials = false;
};

struct LogLine {
  std::string id;
  LogInserts inserts;
};

struct BlockedEvent {
  MQLONG reason = MQRC_CHANNEL_BLOCKED;  // or MQRC_CHANNEL_BLOCKED_WARNING
  MQLONG qualifier = 0;                  // MQRQ_CHANNEL_BLOCKED_*
  std::string user;
};

struct Verdict {
  MQLONG reason = MQRC_NONE;  // what the client's MQCONN gets when refused
  std::string userId;         // the user id the connection runs under
  std::vector<LogLine> log;   // error log entries, in order
  std::vector<BlockedEvent> blocked;
  bool credentialsRefused = false;  // refused for its user id and password
  bool refused() const { return reason != MQRC_NONE; }
};

Verdict admit(const ClientHello& hello, const Policy& policy, const PasswordCheck& verify,
              const PrivilegeCheck& privileged);

// The mapping record (ADDRESSMAP or USERMAP) a connection of this channel, address and
// client user would meet, or null: what DISPLAY CHLAUTH MATCH(RUNCHECK) shows.
const ObjectDef* mappingRecord(const ClientHello& hello, const std::vector<ObjectDef>& rules);

// CHLAUTH patterns: a channel profile with '*' anywhere, and a generic IP address
// ("*", "192.168.*", "10.1.2.1-20") or host name.
bool channelProfileMatches(std::string_view profile, std::string_view channel);
bool addressMatches(std::string_view pattern, std::string_view address);

}  // namespace qmsim::admission
