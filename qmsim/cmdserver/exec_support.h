// Small helpers the MQSC command handlers share: messages, the syntax error and
// the not-found answer.
#pragma once

#include <cstdio>
#include <string>

#include "cmdserver/mqsc_parser.h"
#include "cmdserver/response.h"

namespace qmsim::cmdserver {

inline ResponseItem message(const std::string& id, const std::string& text, Fault fault = Fault::None,
                            const std::string& zosObject = "") {
  ResponseItem m;
  m.messageId = id;
  m.text = text;
  m.fault = fault;
  m.zosObject = zosObject;
  return m;
}

inline MqscResponse single(ResponseItem item) {
  MqscResponse r;
  r.items.push_back(std::move(item));
  return r;
}

// AMQ8101S, what MQSC answers for a reason code that has no message of its own; the
// reason is shown in hexadecimal, as IBM's is.
inline MqscResponse unexpectedError(long reason, const std::string& zosObject = "", Fault fault = Fault::Storage) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%lX", reason);
  return single(message("AMQ8101S", std::string("IBM MQ error (") + hex + ") has occurred.", fault, zosObject));
}

inline MqscResponse notFound(const std::string& name, const std::string& zosObject) {
  return single(message("AMQ8147E", "IBM MQ object " + name + " not found.", Fault::NotFound, zosObject));
}

// The AMQ8405 syntax error with the segment, followed where the command is known
// by AMQ8427 and the command's valid syntax.
inline MqscResponse syntaxError(const std::string& segment, const std::string& syntax) {
  std::string text = "Syntax error detected at or near end of command segment below:-\n" + segment;
  if (!syntax.empty()) text += "\n\nAMQ8427I: Valid syntax for the MQSC command:\n\n" + syntax;
  return single(message("AMQ8405I", text, Fault::Syntax));
}

inline std::string segmentUpTo(const MqscCommand& cmd, const std::string& keyword) {
  std::string upperText = upper(cmd.text);
  size_t at = keyword.empty() ? std::string::npos : upperText.find(keyword);
  if (at == std::string::npos) return cmd.text;
  size_t end = at + keyword.size();
  if (end < cmd.text.size() && cmd.text[end] == '(') {
    size_t close = cmd.text.find(')', end);
    end = close == std::string::npos ? cmd.text.size() : close + 1;
  }
  return cmd.text.substr(0, end);
}

}  // namespace qmsim::cmdserver
