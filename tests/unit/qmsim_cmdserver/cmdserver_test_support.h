// Helpers for the command server tests: a queue manager in memory, requests built
// as KVARN builds them, and replies read back into texts.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cmdserver/command_server.h"
#include "cmdserver/pcf.h"

namespace cmdserver_test {

using namespace qmsim;
using namespace qmsim::cmdserver;

struct Answer {
  MQCFH header{};
  std::vector<PcfParam> params;
  std::string format;
  MQMD md{};
  std::string text() const {  // the escape text, if any
    for (const auto& p : params)
      if (p.id == MQCACF_ESCAPE_TEXT) return p.text;
    return "";
  }
  const PcfParam* find(MQLONG id) const {
    for (const auto& p : params)
      if (p.id == id) return &p;
    return nullptr;
  }
};

// Reads a response message; the parser is the request parser with the type check relaxed.
inline Answer readReply(const Reply& r) {
  Answer a;
  a.md = r.md;
  a.format = kvarn::mqi::fieldText(r.md.Format, 8);
  if (r.data.size() < sizeof(MQCFH)) return a;
  std::string copy = r.data;
  MQCFH h;
  std::memcpy(&h, copy.data(), sizeof h);
  a.header = h;
  MQCFH asCommand = h;
  asCommand.Type = MQCFT_COMMAND;
  asCommand.MsgSeqNumber = 1;
  asCommand.Control = MQCFC_LAST;
  std::memcpy(copy.data(), &asCommand, sizeof asCommand);
  PcfRequest parsed;
  MQLONG bad = 0;
  if (parsePcf(copy, parsed, bad) == 0) a.params = parsed.params;
  return a;
}

class Fixture {
 public:
  explicit Fixture(const std::string& name = "QM1") {
    std::string error;
    qm = QueueManager::open(name, "", error);
  }
  ~Fixture() {
    if (qm) qm->stop();
  }

  std::vector<Answer> send(std::string_view body, const char* format = MQFMT_ADMIN, bool tolk = false,
                           const std::string& user = "tester") {
    MQMD md = kvarn::mqi::defaultMD();
    md.MsgType = MQMT_REQUEST;
    std::memcpy(md.Format, format, 8);
    std::memset(md.MsgId, 0, 24);
    std::memcpy(md.MsgId, "REQUEST-ID-0001", 15);
    kvarn::mqi::setField(md.ReplyToQ, "REPLY");
    kvarn::mqi::setField(md.UserIdentifier, user);
    std::vector<Answer> out;
    for (const auto& r : handleRequest(*qm, state, md, body, tolk)) out.push_back(readReply(r));
    return out;
  }

  // The texts of an escape request's replies.
  std::vector<std::string> mqsc(const std::string& text) {
    std::vector<std::string> texts;
    for (const auto& a : send(escapeRequest(text))) texts.push_back(a.text());
    return texts;
  }
  std::string first(const std::string& text) {
    auto t = mqsc(text);
    return t.empty() ? "" : t[0];
  }

  static std::string escapeRequest(const std::string& text, MQLONG type = MQCFT_COMMAND, MQLONG version = 1) {
    return command(MQCMD_ESCAPE, type, version)
        .integer(MQIACF_ESCAPE_TYPE, MQET_MQSC)
        .string(MQCACF_ESCAPE_TEXT, text)
        .finish();
  }
  static PcfWriter command(MQLONG cmd, MQLONG type = MQCFT_COMMAND, MQLONG version = 1) {
    PcfWriter w(type, version, cmd, 1, true, 0, 0);
    return w;
  }

  std::shared_ptr<QueueManager> qm;
  RuntimeState state;
};

}  // namespace cmdserver_test
