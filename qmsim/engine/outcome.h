// The completion code and reason that every MQI operation ends with.
#pragma once

#include "mqi/mqi.h"

namespace qmsim {

struct Outcome {
  MQLONG compCode = MQCC_OK;
  MQLONG reason = MQRC_NONE;

  bool ok() const { return compCode != MQCC_FAILED; }
  static Outcome fail(MQLONG reason) { return {MQCC_FAILED, reason}; }
  static Outcome warn(MQLONG reason) { return {MQCC_WARNING, reason}; }
};

}  // namespace qmsim
