// Programmable Command Format messages as IBM publishes them: reading a request
// (MQCFH and its MQCFIN, MQCFST, MQCFIL and MQCFSL parameters) with every length
// checked, and building responses. Native byte order, as on the platform itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pcf_writer.h"
#include "mqi/mqi.h"

namespace qmsim::cmdserver {

struct PcfParam {
  MQLONG type = 0;
  MQLONG id = 0;
  MQLONG intValue = 0;             // MQCFIN
  std::string text;                // MQCFST, trailing blanks removed
  std::vector<MQLONG> ints;        // MQCFIL
  std::vector<std::string> texts;  // MQCFSL
};

struct PcfRequest {
  MQCFH header{};
  std::vector<PcfParam> params;

  const PcfParam* find(MQLONG id) const;
};

// Parses a whole request. On failure returns the MQRCCF reason IBM's command server
// gives for that fault and names the offending parameter in badParam (0 if none).
MQLONG parsePcf(std::string_view data, PcfRequest& out, MQLONG& badParam);

using qmsim::PcfWriter;

// Header fields of a response, readable without a full parse (tests and fuzzing).
std::optional<MQCFH> peekHeader(std::string_view data);

}  // namespace qmsim::cmdserver
