// What one MQSC command answers, before it is written out for a platform: a list of
// messages and detail records. The distributed command server writes each as IBM's
// AMQ text; the z/OS one as CSQ message lines.
#pragma once

#include <string>
#include <vector>

namespace qmsim::cmdserver {

// Why a command failed, so each platform can word it its own way.
enum class Fault {
  None,
  Syntax,
  NotFound,
  AlreadyExists,
  WrongType,
  InUse,
  NotEmpty,
  NotAuthorized,
  NotActive,
  NotAllowed,
  Storage
};

struct ResponseItem {
  std::string messageId;           // AMQ8409I ...
  std::string text;                // the message text after "AMQnnnnX: "
  std::vector<std::string> attrs;  // KEYWORD(value) of a detail record, in display order
  std::string zosObject;           // the object a z/OS message names, e.g. QLOCAL(X)
  Fault fault = Fault::None;
  bool record = false;  // a detail record rather than a message
  bool recordKindQueue = false;
  std::string zosRecordId;  // CSQM4xxI for a detail record on z/OS
};

struct MqscResponse {
  std::vector<ResponseItem> items;
  bool failed() const;
  bool noReply = false;  // the command expects none (STOP EV to TOLK)
};

// A detail record from its header ("AMQ8409I: Display Queue details.") and attributes;
// `zosId` is the CSQM4xxI id the record has on z/OS.
ResponseItem detailRecord(const std::string& header, std::vector<std::string> attrs, const std::string& zosId = {});

// A detail record or message as IBM's distributed MQSC shows it: the message, then
// attributes two to a line in 40-column fields.
std::string layoutDistributed(const ResponseItem& item);

}  // namespace qmsim::cmdserver
