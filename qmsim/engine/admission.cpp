#include "engine/admission.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <tuple>

#include "text/text.h"

namespace qmsim::admission {

namespace {

bool glob(std::string_view p, std::string_view s) {
  if (p.empty()) return s.empty();
  if (p[0] == '*') {
    for (size_t i = 0; i <= s.size(); ++i)
      if (glob(p.substr(1), s.substr(i))) return true;
    return false;
  }
  return !s.empty() && p[0] == s[0] && glob(p.substr(1), s.substr(1));
}

std::vector<std::string_view> split(std::string_view s, char sep) {
  std::vector<std::string_view> out;
  for (size_t start = 0;;) {
    size_t at = s.find(sep, start);
    out.push_back(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return out;
    start = at + 1;
  }
}

bool number(std::string_view s, long& v) {
  if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string_view::npos) return false;
  v = std::strtol(std::string(s).c_str(), nullptr, 10);
  return true;
}

// One part of a generic IPv4 address: a number, a range "lo-hi", or a pattern with '*'.
bool addressPartMatches(std::string_view pattern, std::string_view part) {
  size_t dash = pattern.find('-');
  long lo = 0, hi = 0, v = 0;
  if (dash != std::string_view::npos && number(pattern.substr(0, dash), lo) && number(pattern.substr(dash + 1), hi))
    return number(part, v) && v >= lo && v <= hi;
  return glob(pattern, part);
}

// Records count as more specific the more fixed characters they name.
int specificity(std::string_view pattern) {
  if (pattern.find('*') == std::string_view::npos) return 1 << 20;
  return static_cast<int>(std::count_if(pattern.begin(), pattern.end(), [](char c) { return c != '*'; }));
}

std::vector<std::string> listItems(const std::string& list) {
  std::vector<std::string> out;
  std::istringstream in(list);
  for (std::string item; std::getline(in, item, ',');) {
    item = std::string(scanTrim(item, " "));
    if (!item.empty()) out.push_back(item);
  }
  return out;
}

bool warns(const ObjectDef& rule) { return rule.get("WARN") == "YES"; }

}  // namespace

const ObjectDef* mappingRecord(const ClientHello& hello, const std::vector<ObjectDef>& rules) {
  const ObjectDef* best = nullptr;
  std::tuple<int, int, int> bestRank{};
  for (const auto& r : rules) {
    std::string type = r.get("TYPE");
    if (!channelProfileMatches(r.get("PROFILE"), hello.channel)) continue;
    std::string address = r.get("ADDRESS");
    int typeRank = 0;
    if (type == "USERMAP") {
      if (r.get("CLNTUSER") != hello.assertedUser) continue;
      if (!address.empty() && !addressMatches(address, hello.address)) continue;
      typeRank = 2;
    } else if (type == "ADDRESSMAP") {
      if (!addressMatches(address, hello.address)) continue;
      typeRank = 1;
    } else {
      continue;  // SSLPEERMAP needs TLS, QMGRMAP a queue manager at the other end
    }
    std::tuple<int, int, int> rank{specificity(r.get("PROFILE")), typeRank, address.empty() ? 0 : specificity(address)};
    if (!best || rank > bestRank) {
      best = &r;
      bestRank = rank;
    }
  }
  return best;
}

namespace {

// The BLOCKUSER record of the most specific profile that matches the channel.
const ObjectDef* blockUserRecord(const std::string& channel, const std::vector<ObjectDef>& rules) {
  const ObjectDef* best = nullptr;
  for (const auto& r : rules) {
    if (r.get("TYPE") != "BLOCKUSER" || !channelProfileMatches(r.get("PROFILE"), channel)) continue;
    if (!best || specificity(r.get("PROFILE")) > specificity(best->get("PROFILE"))) best = &r;
  }
  return best;
}

std::string activeValues(const ClientHello& hello, const std::string& user) {
  std::string v = "CLNTUSER(" + hello.assertedUser + ") ADDRESS(" + hello.address + ")";
  return user.empty() ? v : "MCAUSER(" + user + ") " + v;
}

}  // namespace

CheckClient checkClientFrom(const std::string& mqsc) {
  if (mqsc == "OPTIONAL") return CheckClient::Optional;
  if (mqsc == "REQDADM") return CheckClient::RequiredForAdmin;
  if (mqsc == "REQUIRED") return CheckClient::Required;
  return CheckClient::None;
}

std::string checkClientName(CheckClient c) {
  switch (c) {
  case CheckClient::Optional: return "OPTIONAL";
  case CheckClient::RequiredForAdmin: return "REQDADM";
  case CheckClient::Required: return "REQUIRED";
  default: return "NONE";
  }
}

bool channelProfileMatches(std::string_view profile, std::string_view channel) {
  return !profile.empty() && glob(profile, channel);
}

bool addressMatches(std::string_view pattern, std::string_view address) {
  if (pattern == "*") return true;
  if (pattern.empty() || address.empty()) return false;
  auto want = split(pattern, '.');
  auto have = split(address, '.');
  bool numeric = std::all_of(have.begin(), have.end(), [](std::string_view p) {
    long v = 0;
    return number(p, v);
  });
  if (!numeric || have.size() != 4) return glob(pattern, address);  // a host name
  for (size_t i = 0; i < want.size(); ++i) {
    if (want[i] == "*" && i + 1 == want.size()) return true;  // "10.1.*" takes the rest
    if (i >= have.size() || !addressPartMatches(want[i], have[i])) return false;
  }
  return want.size() == have.size();
}

Verdict admit(const ClientHello& hello, const Policy& policy, const PasswordCheck& verify,
              const PrivilegeCheck& privileged) {
  Verdict v;
  const auto& cred = hello.credentials;
  auto refuse = [&](MQLONG reason) {
    v.reason = reason;
    return v;
  };

  if (policy.demandCredentials && !policy.connAuthInForce && (!cred || !verify || !verify(cred->user, cred->password)))
    return refuse(MQRC_NOT_AUTHORIZED);

  // The user id before any record maps it: the channel's MCAUSER, else the client's
  // own. Without connection authentication in force a user id given with a password
  // is taken as the client's, as this simulation always has.
  std::string user = policy.channelMcaUser;
  if (user.empty()) user = !policy.connAuthInForce && cred && !cred->user.empty() ? cred->user : hello.assertedUser;

  CheckClient ruleCheck = CheckClient::None;
  if (policy.channelRules) {
    for (const auto& r : policy.rules) {
      if (r.get("TYPE") != "BLOCKADDR") continue;
      for (const auto& pattern : listItems(r.get("ADDRLIST"))) {
        if (!addressMatches(pattern, hello.address)) continue;
        v.blocked.push_back(
            {warns(r) ? MQRC_CHANNEL_BLOCKED_WARNING : MQRC_CHANNEL_BLOCKED, MQRQ_CHANNEL_BLOCKED_ADDRESS, ""});
        if (!warns(r)) return refuse(MQRC_Q_MGR_NOT_AVAILABLE);  // the listener drops the connection
        break;
      }
    }
    if (const ObjectDef* map = mappingRecord(hello, policy.rules)) {
      std::string source = map->get("USERSRC", "MAP");
      if (source == "NOACCESS") {
        v.blocked.push_back(
            {warns(*map) ? MQRC_CHANNEL_BLOCKED_WARNING : MQRC_CHANNEL_BLOCKED, MQRQ_CHANNEL_BLOCKED_NOACCESS, ""});
        if (!warns(*map)) {
          v.log.push_back({"AMQ9777E", {{}, {hello.channel, activeValues(hello, ""), hello.address}}});
          return refuse(MQRC_NOT_AUTHORIZED);
        }
      } else if (source == "MAP") {
        user = map->get("MCAUSER");
      }
      std::string check = map->get("CHCKCLNT", "ASQMGR");
      if (check == "REQUIRED") ruleCheck = CheckClient::Required;
      if (check == "REQDADM") ruleCheck = CheckClient::RequiredForAdmin;
    }
  }

  if (policy.connAuthInForce && policy.checkClient != CheckClient::None) {
    CheckClient check = std::max(policy.checkClient, ruleCheck);
    std::string setting = "CHCKCLNT(" + checkClientName(check) + ")";
    bool required = check == CheckClient::Required || (check == CheckClient::RequiredForAdmin && privileged(user));
    if (!cred && required) {
      v.credentialsRefused = true;
      if (ruleCheck > policy.checkClient) {
        v.log.push_back({"AMQ9791E", {{}, {hello.channel, setting, hello.address}}});
      } else {
        v.log.push_back({"AMQ5540E", {{}, {hello.applName}}});
        v.log.push_back({"AMQ5541E", {{}, {user, policy.authInfo, setting}}});
      }
      return refuse(MQRC_NOT_AUTHORIZED);
    }
    if (cred) {
      // A user id and password given are checked whatever the setting: an empty password fails.
      if (!verify || !verify(cred->user, cred->password)) {
        v.credentialsRefused = true;
        v.log.push_back({"AMQ5534E", {{}, {cred->user, hello.applName}}});
        v.log.push_back({"AMQ5542I", {{}, {cred->user, policy.authInfo, setting}}});
        return refuse(MQRC_NOT_AUTHORIZED);
      }
      if (policy.adoptContext) user = cred->user;
    }
  }

  if (policy.channelRules) {
    if (const ObjectDef* block = blockUserRecord(hello.channel, policy.rules)) {
      bool listed = false;
      for (const auto& name : listItems(block->get("USERLIST")))
        listed |= name == user || (name == "*MQADMIN" && privileged(user));
      if (listed) {
        v.blocked.push_back(
            {warns(*block) ? MQRC_CHANNEL_BLOCKED_WARNING : MQRC_CHANNEL_BLOCKED, MQRQ_CHANNEL_BLOCKED_USERID, user});
        if (!warns(*block)) {
          v.log.push_back({"AMQ9776E", {{}, {hello.channel, activeValues(hello, user), hello.address}}});
          return refuse(MQRC_NOT_AUTHORIZED);
        }
      }
    }
  }
  v.userId = user;
  return v;
}

}  // namespace qmsim::admission
