// The z/OS command server's answer to a plain-text MQSC command: a CSQN205I count
// line, the CSQM detail and error messages, and CSQ9022I or CSQ9023E; with
// CMDSCOPE(*) one CSQN121I group per queue manager of the queue-sharing group.
#pragma once

#include <string>
#include <vector>

#include "cmdserver/mqsc_exec.h"

namespace qmsim::cmdserver {

// One line per reply message.
std::vector<std::string> answerZos(ExecContext& ctx, const std::string& text);

}  // namespace qmsim::cmdserver
