// The event product TOLK as a queue manager hosting it answers: its event processor
// (EV), the queues it watches (EVQ), its emitters and streams. Records are written in
// the MQSC style of the queue manager's own displays.
#include <algorithm>

#include "cmdserver/exec_support.h"
#include "cmdserver/mqsc_exec.h"
#include "cmdserver/mqsc_parser.h"

namespace qmsim::cmdserver {

namespace {

std::string canonical(const std::string& verb) {
  if (verb == "DIS") return "DISPLAY";
  if (verb == "DEF") return "DEFINE";
  if (verb == "ALT") return "ALTER";
  return verb;
}

const std::string kSyntax =
    "  ADD | REMOVE | SUSPEND | RESUME EVQ( name )\n  DEFINE | ALTER | DELETE | DISPLAY EVEMIT | EVSTREAM( name )\n"
    "  DISPLAY EV | EVQ | EVQMGR | EVEMIT | EVSTREAM | EVSTRMST\n  RENAME EVSTREAM( name ) TO( name )\n"
    "  RESET EV\n  STOP EV";

std::map<std::string, std::string> keywordValues(const MqscCommand& cmd, std::initializer_list<const char*> skip) {
  std::map<std::string, std::string> out;
  for (const auto& p : cmd.params) {
    if (std::find_if(skip.begin(), skip.end(), [&](const char* s) { return p.keyword == s; }) != skip.end()) continue;
    out[p.keyword] = p.hasValue ? p.value() : "YES";
  }
  return out;
}

MqscResponse named(ExecContext& ctx, const MqscCommand& cmd, const std::string& verb,
                   std::map<std::string, std::map<std::string, std::string>>& table, const std::string& what) {
  if (!cmd.objectParam || cmd.objectParam->items.size() != 1 || cmd.objectParam->items[0].empty())
    return syntaxError(cmd.text, kSyntax);
  std::string name = cmd.objectParam->items[0];
  std::string zo = cmd.object + "(" + name + ")";
  if (verb == "DISPLAY") {
    MqscResponse r;
    for (const auto& [n, attrs] : table) {
      if (!genericMatch(name, n)) continue;
      std::vector<std::string> a = {cmd.object + "(" + n + ")"};
      for (const auto& [k, v] : attrs) a.push_back(k + "(" + (v.empty() ? " " : v) + ")");
      r.items.push_back(detailRecord("AMQ8409I: Display TOLK " + what + " details.", std::move(a)));
    }
    if (r.items.empty()) return notFound(name, zo);
    return r;
  }
  auto it = table.find(name);
  if (verb == "DEFINE") {
    if (it != table.end() && !cmd.find("REPLACE"))
      return single(message("AMQ8150E", "IBM MQ object already exists.", Fault::AlreadyExists, zo));
    table[name] = keywordValues(cmd, {"REPLACE", "NOREPLACE"});
    return single(message("AMQ8006I", "TOLK " + what + " created."));
  }
  if (it == table.end()) return notFound(name, zo);
  if (verb == "ALTER") {
    for (auto& [k, v] : keywordValues(cmd, {})) it->second[k] = v;
    return single(message("AMQ8008I", "TOLK " + what + " changed."));
  }
  if (verb == "DELETE") {
    table.erase(it);
    return single(message("AMQ8007I", "TOLK " + what + " deleted."));
  }
  // RENAME EVSTREAM(old) TO(new)
  const MqscParam* to = cmd.find("TO");
  if (!to || to->items.size() != 1 || to->items[0].empty()) return syntaxError(cmd.text, kSyntax);
  if (table.count(to->items[0]))
    return single(message("AMQ8150E", "IBM MQ object already exists.", Fault::AlreadyExists, zo));
  auto attrs = it->second;
  table.erase(it);
  table[to->items[0]] = attrs;
  return single(message("AMQ8008I", "TOLK " + what + " renamed."));
}

}  // namespace

MqscResponse executeTolk(ExecContext& ctx, const std::string& text) {
  MqscCommand cmd;
  MqscParseError error;
  if (!parseMqsc(text, cmd, error)) return syntaxError(error.segment, kSyntax);
  std::string verb = canonical(cmd.verb);
  const std::string& obj = cmd.object;
  RuntimeState& st = ctx.state;
  std::lock_guard lk(st.mu);
  if (obj == "EV" && !cmd.objectParam) {
    if (verb == "STOP") {
      st.tolkRunning = false;
      MqscResponse r;
      r.noReply = true;  // the event processor ends without answering
      return r;
    }
    if (verb == "RESET") return single(message("AMQ8008I", "TOLK event processor reset."));
    if (verb == "DISPLAY")
      return single(detailRecord("AMQ8408I: Display TOLK event processor details.",
                                 {"EV(TOLK)", "QMNAME(" + ctx.qm.name() + ")",
                                  std::string("STATUS(") + (st.tolkRunning ? "RUNNING" : "STOPPED") + ")",
                                  "CMDLEVEL(" + std::to_string(ctx.qm.qmgrObject().getInt("TOLKLEVEL", 922)) + ")",
                                  "EVQCOUNT(" + std::to_string(st.tolkQueues.size()) + ")",
                                  "STARTDA(" + mqscDate(st.started) + ")", "STARTTI(" + mqscTime(st.started) + ")"}));
  }
  if (obj == "EVQ") {
    if (!cmd.objectParam || cmd.objectParam->items.size() != 1 || cmd.objectParam->items[0].empty())
      return syntaxError(cmd.text, kSyntax);
    std::string name = cmd.objectParam->items[0];
    std::string zo = "EVQ(" + name + ")";
    if (verb == "ADD") {
      if (!ctx.qm.object(ObjectKind::Queue, name)) return notFound(name, zo);
      if (!st.tolkQueues.insert(name).second)
        return single(message("AMQ8150E", "IBM MQ object already exists.", Fault::AlreadyExists, zo));
      st.tolkEmitters.size();  // keeps no other state
      return single(message("AMQ8006I", "TOLK event queue added."));
    }
    if (verb == "DISPLAY") {
      MqscResponse r;
      for (const auto& q : st.tolkQueues)
        if (genericMatch(name, q)) {
          bool suspended = st.tolkStreams.count("\x01suspended:" + q) > 0;
          r.items.push_back(
              detailRecord("AMQ8409I: Display TOLK event queue details.",
                           {"EVQ(" + q + ")", std::string("STATUS(") + (suspended ? "SUSPENDED" : "ACTIVE") + ")"}));
        }
      if (r.items.empty()) return notFound(name, zo);
      return r;
    }
    if (!st.tolkQueues.count(name)) return notFound(name, zo);
    if (verb == "REMOVE") {
      st.tolkQueues.erase(name);
      st.tolkStreams.erase("\x01suspended:" + name);
      return single(message("AMQ8007I", "TOLK event queue removed."));
    }
    if (verb == "SUSPEND" || verb == "RESUME") {
      if (verb == "SUSPEND") st.tolkStreams["\x01suspended:" + name] = {};
      else st.tolkStreams.erase("\x01suspended:" + name);
      return single(message("AMQ8008I", "TOLK event queue changed."));
    }
  }
  if (obj == "EVEMIT" && (verb == "DEFINE" || verb == "ALTER" || verb == "DELETE" || verb == "DISPLAY"))
    return named(ctx, cmd, verb, st.tolkEmitters, "event emitter");
  if (obj == "EVSTREAM" &&
      (verb == "DEFINE" || verb == "ALTER" || verb == "DELETE" || verb == "DISPLAY" || verb == "RENAME")) {
    // Suspension marks share the table but are never shown.
    auto visible = st.tolkStreams;
    for (auto it = visible.begin(); it != visible.end();)
      it = it->first[0] == '\x01' ? visible.erase(it) : std::next(it);
    auto hidden = st.tolkStreams;
    for (auto it = hidden.begin(); it != hidden.end();) it = it->first[0] != '\x01' ? hidden.erase(it) : std::next(it);
    MqscResponse r = named(ctx, cmd, verb, visible, "event stream");
    visible.insert(hidden.begin(), hidden.end());
    st.tolkStreams = std::move(visible);
    return r;
  }
  if (verb == "DISPLAY" && obj == "EVQMGR") {
    std::string pattern = cmd.objectParam && cmd.objectParam->items.size() == 1 ? cmd.objectParam->items[0] : "*";
    if (!genericMatch(pattern, ctx.qm.name())) return notFound(pattern, "EVQMGR(" + pattern + ")");
    return single(detailRecord("AMQ8408I: Display TOLK queue manager details.",
                               {"EVQMGR(" + ctx.qm.name() + ")", "STATUS(CONNECTED)"}));
  }
  if (verb == "DISPLAY" && (obj == "EVSTRMST" || obj == "EVENTS" || obj == "STATQ" || obj == "ACCTQ" ||
                            obj == "STATMQI" || obj == "STATCHL" || obj == "ACCTMQI" || obj == "EVALERT")) {
    std::string pattern = cmd.objectParam && cmd.objectParam->items.size() == 1 ? cmd.objectParam->items[0] : "*";
    return notFound(pattern, obj + "(" + pattern + ")");  // nothing recorded yet
  }
  return syntaxError(cmd.text, kSyntax);
}

}  // namespace qmsim::cmdserver
