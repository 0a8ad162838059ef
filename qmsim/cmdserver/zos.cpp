#include "cmdserver/zos.h"

#include <cstdio>

#include "cmdserver/command_server.h"
#include "cmdserver/model.h"
#include "cmdserver/mqsc_parser.h"

namespace qmsim::cmdserver {

namespace {

// The z/OS detail message of each distributed display message.
std::string detailId(const ResponseItem& item) {
  if (!item.zosRecordId.empty()) return item.zosRecordId;
  static const std::map<std::string, std::string> ids = {
      {"AMQ8409I", "CSQM401I"}, {"AMQ8414I", "CSQM406I"}, {"AMQ8550I", "CSQM407I"},
      {"AMQ8407I", "CSQM408I"}, {"AMQ8408I", "CSQM409I"}, {"AMQ8566I", "CSQM410I"},
      {"AMQ8633I", "CSQM411I"}, {"AMQ8096I", "CSQM412I"}, {"AMQ8878I", "CSQM448I"}};
  auto it = ids.find(item.messageId);
  return it == ids.end() ? "CSQM401I" : it->second;
}

std::string faultLine(const std::string& prefix, const ResponseItem& item) {
  const std::string& o = item.zosObject;
  switch (item.fault) {
  case Fault::NotFound: return "CSQM094I " + prefix + " CSQMUNQM " + o + " WAS NOT FOUND";
  case Fault::AlreadyExists: return "CSQM095I " + prefix + " CSQMAQLC " + o + " ALREADY EXISTS";
  case Fault::InUse: return "CSQM101I " + prefix + " CSQMUQLC " + o + " IS CURRENTLY IN USE";
  case Fault::NotEmpty: return "CSQM119I " + prefix + " CSQMUQLC " + o + " IS NOT EMPTY";
  case Fault::WrongType: return "CSQM125I " + prefix + " CSQMUQLC " + o + " HAS A DIFFERENT TYPE";
  case Fault::NotAuthorized: return "CSQ9016E " + prefix + " CSQ9SCNG COMMAND REQUEST NOT AUTHORIZED";
  case Fault::NotActive: return "CSQM131I " + prefix + " CSQMSTCH " + o + " IS NOT ACTIVE";
  case Fault::Syntax: {
    std::string seg = item.text;
    size_t nl = seg.find('\n');
    seg = nl == std::string::npos ? "" : seg.substr(nl + 1, seg.find('\n', nl + 1) - nl - 1);
    return "CSQ9010E " + prefix + " CSQ9SCND SYNTAX ERROR AT OR NEAR '" + seg + "'";
  }
  default: return "CSQM131I " + prefix + " CSQMCMDS COMMAND FAILED: " + item.messageId + " " + item.text;
  }
}

std::string commandName(const MqscCommand& cmd) {
  std::string verb = cmd.verb;
  static const std::map<std::string, std::string> full = {
      {"DIS", "DISPLAY"}, {"DEF", "DEFINE"}, {"ALT", "ALTER"}, {"STA", "START"}, {"REF", "REFRESH"}};
  if (auto it = full.find(verb); it != full.end()) verb = it->second;
  std::string object = cmd.object;
  if (const TypeDef* t = findType(object)) object = t->keyword;
  return verb + (object.empty() ? "" : " " + object);
}

// Lines for one queue manager: its records and messages, then the completion line.
std::vector<std::string> linesFor(ExecContext& ctx, const std::string& text, const std::string& name) {
  std::string prefix = "]" + ctx.qm.name();
  MqscResponse resp = executeMqsc(ctx, text);
  std::vector<std::string> lines;
  bool failed = false;
  for (const auto& item : resp.items) {
    if (item.record) {
      std::string line = detailId(item) + " " + prefix;
      for (const auto& a : item.attrs) line += " " + a;
      lines.push_back(line);
    } else if (item.fault == Fault::NotFound && name.rfind("DISPLAY", 0) == 0) {
      std::string obj = name.substr(8);
      lines.push_back("CSQM297I " + prefix + " CSQMDRTS NO " + obj + " FOUND MATCHING REQUEST CRITERIA");
    } else if (item.fault != Fault::None) {
      failed = true;
      lines.push_back(faultLine(prefix, item));
    } else if (item.messageId == "AMQ8415I" || item.messageId == "AMQ8018I" || item.messageId == "AMQ8019I") {
      lines.push_back("CSQM134I " + prefix + " CSQMCMDS " + name + " COMMAND ACCEPTED");
    }
  }
  lines.push_back(failed ? "CSQ9023E " + prefix + " CSQ9SCND ' " + name + "' ABNORMAL COMPLETION"
                         : "CSQ9022I " + prefix + " CSQMDRTS ' " + name + "' NORMAL COMPLETION");
  return lines;
}

std::string countLine(size_t count) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "CSQN205I   COUNT=%8zu, RETURN=00000000, REASON=00000000", count);
  return buf;
}

}  // namespace

std::vector<std::string> answerZos(ExecContext& ctx, const std::string& text) {
  MqscCommand cmd;
  MqscParseError error;
  std::string name = parseMqsc(text, cmd, error) ? commandName(cmd) : "";
  const MqscParam* scope = cmd.find("CMDSCOPE");
  std::vector<std::string> lines;
  if (scope && scope->value() == "*") {
    std::string group = ctx.qm.qmgrObject().get("QSGNAME");
    std::vector<std::shared_ptr<QueueManager>> members;
    for (const auto& qm : Registry::process().hosted())
      if (!qm->stopping() && !group.empty() && qm->qmgrObject().get("QSGNAME") == group && isZos(*qm))
        members.push_back(qm);
    if (members.empty()) members.push_back(nullptr);  // not in a group: just this one
    std::string prefix = "]" + ctx.qm.name();
    lines.push_back("CSQN137I " + prefix + " '" + name + "' command accepted for CMDSCOPE(*), sent to " +
                    std::to_string(members.size()));
    for (const auto& member : members) {
      QueueManager& qm = member ? *member : ctx.qm;
      ExecContext peer{qm, &qm == &ctx.qm ? ctx.state : runtimeStateFor(qm), ctx.userId, true};
      lines.push_back("CSQN121I " + prefix + " '" + name + "' command responses from " + qm.name());
      for (auto& l : linesFor(peer, text, name)) lines.push_back(std::move(l));
    }
    lines.push_back("CSQN122I " + prefix + " '" + name + "' command for CMDSCOPE(*) normal completion");
  } else {
    lines = linesFor(ctx, text, name.empty() ? upper(text.substr(0, 16)) : name);
  }
  lines.insert(lines.begin(), countLine(lines.size() + 1));
  return lines;
}

}  // namespace qmsim::cmdserver
