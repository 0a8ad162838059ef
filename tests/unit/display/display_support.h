// Commands prepared with the display installed and fed canned replies, the way the
// command server sends them; the laid-out output is read back from the capture.
#pragma once
#include <string>
#include <vector>

#include "../mqsc_commands/test_support.h"
#include "display/layout.h"
#include "display/modifiers.h"
#include "mqsc/request.h"
#include "mqsc/response.h"
#include "script/resolver.h"

inline MqscTarget distributedTarget() {
  MqscTarget t;
  t.platform = MQPL_UNIX;
  t.commandLevel = 940;
  return t;
}
inline MqscTarget zosTarget() {
  MqscTarget t;
  t.platform = MQPL_ZOS;
  t.commandLevel = 940;
  return t;
}

struct DisplayTest : TestContext {
  DisplayTest() {
    mqscSetHost(displayMqscHost());
    setModifierVariableResolver(&kvarn::script::ScriptResolver::instance());
    InitialiseCommandFields();
  }
  ~DisplayTest() { mqscSetHost({}); }
  // Prepares `command`; true when it is to be sent. `sent` receives the text sent.
  bool prepare(CommandRecord &rec, const std::string &command, std::string *sent = nullptr) {
    rec.commandText = command;
    std::string text = command;
    PrepareResult r = prepareMqscCommand(ctx, distributedTarget(), rec, text, nullptr);
    if (sent) *sent = text;
    return r.outcome == PrepareOutcome::Send;
  }
  // Feeds distributed records (each "KEY(v) KEY(v)") and completes the command.
  void reply(CommandRecord &rec, const std::vector<std::string> &records,
             const std::string &header = "AMQ8409I: Display Queue details.") {
    MQMD md = replyMd(MQFMT_ADMIN);
    for (size_t i = 0; i < records.size(); ++i) {
      auto bytes = escapeReply(header + "\n   " + records[i], i + 1 == records.size() ? MQCFC_LAST : 0);
      handleMqscResponse(ctx, rec, distributedTarget(), md, bytes.data(), bytes.size());
    }
    if (records.empty()) completeCommandRecord(ctx, rec);
  }
  void zosReply(CommandRecord &rec, const std::vector<std::string> &lines) {
    MQMD md = replyMd(MQFMT_COMMAND_1);
    for (const std::string &line : lines) {
      std::vector<uint8_t> bytes(line.begin(), line.end());
      handleMqscResponse(ctx, rec, zosTarget(), md, bytes.data(), bytes.size());
    }
  }
  std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (const auto &l : captured.lines) out.push_back(l.first);
    return out;
  }
  std::string output() { return captured.text(); }
  bool has(const std::string &part) { return output().find(part) != std::string::npos; }
};
