// Read ahead on the client side of a connection: for a queue opened with
// MQOO_READ_AHEAD, a plain get (no browse, no syncpoint, no matching) asks the server
// for the message and whatever further non-persistent messages are waiting, and later
// gets are answered from what came ahead without a round trip. Messages that came
// ahead are no longer on the queue: closing the queue discards those not yet got, as
// IBM MQ's read ahead does.
#pragma once

#include <deque>
#include <map>
#include <string>

#include "engine/outcome.h"
#include "mqi/mqi.h"

namespace qmsim::net {

class ReadAheadCache {
 public:
  static constexpr uint32_t kBatchMessages = 256;
  static constexpr uint32_t kBatchBytes = 1u << 20;

  void opened(MQHOBJ hobj, MQLONG options);
  void closed(MQHOBJ hobj) { handles_.erase(hobj); }
  void clear() { handles_.clear(); }

  // True when this get may fetch a batch ahead.
  bool mayFetchAhead(MQHOBJ hobj, const MQMD& md, const MQGMO& gmo) const;
  // Answers a get from the messages that came ahead; false when none of them fits it.
  bool take(MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer, MQLONG& dataLength, Outcome& o);
  void add(MQHOBJ hobj, const MQMD& md, const MQGMO& gmo, std::string data);
  size_t waiting(MQHOBJ hobj) const;

 private:
  struct Ahead {
    MQMD md;
    MQGMO gmo;
    std::string data;
  };
  std::map<MQHOBJ, std::deque<Ahead>> handles_;  // only handles opened for read ahead
};

}  // namespace qmsim::net
