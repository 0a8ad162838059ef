// Programmable Command Format messages as IBM publishes them: reading a request
// (MQCFH and its MQCFIN, MQCFST, MQCFIL and MQCFSL parameters) with every length
// checked, and building responses. Native byte order, as on the platform itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mqi/mqi.h"

namespace qmsim::cmdserver {

struct PcfParam {
  MQLONG type = 0;
  MQLONG id = 0;
  MQLONG intValue = 0;              // MQCFIN
  std::string text;                 // MQCFST, trailing blanks removed
  std::vector<MQLONG> ints;         // MQCFIL
  std::vector<std::string> texts;   // MQCFSL
};

struct PcfRequest {
  MQCFH header{};
  std::vector<PcfParam> params;

  const PcfParam* find(MQLONG id) const;
};

// Parses a whole request. On failure returns the MQRCCF reason IBM's command server
// gives for that fault and names the offending parameter in badParam (0 if none).
MQLONG parsePcf(std::string_view data, PcfRequest& out, MQLONG& badParam);

// Appends structures to a response message under construction.
class PcfWriter {
 public:
  PcfWriter(MQLONG type, MQLONG version, MQLONG command, MQLONG seq, bool last, MQLONG compCode, MQLONG reason);
  PcfWriter& integer(MQLONG id, MQLONG value);
  // A string parameter; padTo > 0 blank-pads it to that length, as IBM returns names.
  PcfWriter& string(MQLONG id, std::string_view value, size_t padTo = 0);
  PcfWriter& integerList(MQLONG id, const std::vector<MQLONG>& values);
  std::string finish() const;

 private:
  MQCFH header_{};
  std::string body_;
};

// Header fields of a response, readable without a full parse (tests and fuzzing).
std::optional<MQCFH> peekHeader(std::string_view data);

}  // namespace qmsim::cmdserver
