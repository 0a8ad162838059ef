// Builds a PCF message as IBM publishes the format: an MQCFH, then MQCFIN, MQCFST and
// MQCFIL structures, in native byte order as on the platform itself. The command
// server's responses and the queue manager's event messages are written with it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mqi/mqi.h"

namespace qmsim {

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

}  // namespace qmsim
