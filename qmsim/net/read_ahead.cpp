#include "net/read_ahead.h"

#include <algorithm>
#include <cstring>

namespace qmsim::net {

namespace {

constexpr MQLONG kNotPlain = MQGMO_BROWSE_FIRST | MQGMO_BROWSE_NEXT | MQGMO_BROWSE_MSG_UNDER_CURSOR |
                             MQGMO_MSG_UNDER_CURSOR | MQGMO_SYNCPOINT | MQGMO_SYNCPOINT_IF_PERSISTENT | MQGMO_LOCK |
                             MQGMO_UNLOCK | MQGMO_MARK_SKIP_BACKOUT | MQGMO_SET_SIGNAL;

bool noId(const MQBYTE24& id) {
  return std::all_of(std::begin(id), std::end(id), [](MQBYTE b) { return b == 0; });
}

bool matchesMsgId(const MQMD& md, const MQGMO& gmo) {
  return !noId(md.MsgId) && (gmo.Version < MQGMO_VERSION_2 || (gmo.MatchOptions & MQMO_MATCH_MSG_ID));
}

bool matchesCorrelId(const MQMD& md, const MQGMO& gmo) {
  return !noId(md.CorrelId) && (gmo.Version < MQGMO_VERSION_2 || (gmo.MatchOptions & MQMO_MATCH_CORREL_ID));
}

}  // namespace

void ReadAheadCache::opened(MQHOBJ hobj, MQLONG options) {
  constexpr MQLONG input = MQOO_INPUT_AS_Q_DEF | MQOO_INPUT_SHARED | MQOO_INPUT_EXCLUSIVE;
  if ((options & MQOO_READ_AHEAD) && (options & input)) handles_[hobj];
}

bool ReadAheadCache::mayFetchAhead(MQHOBJ hobj, const MQMD& md, const MQGMO& gmo) const {
  return handles_.count(hobj) && !(gmo.Options & kNotPlain) && !matchesMsgId(md, gmo) && !matchesCorrelId(md, gmo);
}

size_t ReadAheadCache::waiting(MQHOBJ hobj) const {
  auto it = handles_.find(hobj);
  return it == handles_.end() ? 0 : it->second.size();
}

void ReadAheadCache::add(MQHOBJ hobj, const MQMD& md, const MQGMO& gmo, std::string data) {
  auto it = handles_.find(hobj);
  if (it != handles_.end()) it->second.push_back({md, gmo, std::move(data)});
}

bool ReadAheadCache::take(MQHOBJ hobj, MQMD& md, MQGMO& gmo, MQLONG bufferLength, char* buffer, MQLONG& dataLength,
                          Outcome& o) {
  auto h = handles_.find(hobj);
  if (h == handles_.end() || h->second.empty() || (gmo.Options & kNotPlain)) return false;
  // A malformed call goes to the server, which answers it with the right reason.
  if (std::memcmp(gmo.StrucId, MQGMO_STRUC_ID, 4) != 0 || gmo.Version < MQGMO_VERSION_1 ||
      gmo.Version > MQGMO_VERSION_4 || std::memcmp(md.StrucId, MQMD_STRUC_ID, 4) != 0 || bufferLength < 0 ||
      (bufferLength > 0 && buffer == nullptr))
    return false;
  bool byMsgId = matchesMsgId(md, gmo), byCorrelId = matchesCorrelId(md, gmo);
  auto it = std::find_if(h->second.begin(), h->second.end(), [&](const Ahead& a) {
    return (!byMsgId || std::memcmp(a.md.MsgId, md.MsgId, 24) == 0) &&
           (!byCorrelId || std::memcmp(a.md.CorrelId, md.CorrelId, 24) == 0);
  });
  if (it == h->second.end()) return false;
  MQLONG length = static_cast<MQLONG>(it->data.size());
  dataLength = length;
  md = it->md;
  std::memcpy(gmo.ResolvedQName, it->gmo.ResolvedQName, sizeof gmo.ResolvedQName);
  if (gmo.Version >= MQGMO_VERSION_3) gmo.ReturnedLength = std::min(length, bufferLength);
  bool truncated = length > bufferLength;
  if (truncated && !(gmo.Options & MQGMO_ACCEPT_TRUNCATED_MSG)) {
    o = Outcome::fail(MQRC_TRUNCATED_MSG_FAILED);  // the message stays for a larger buffer
    return true;
  }
  if (bufferLength > 0) std::memcpy(buffer, it->data.data(), static_cast<size_t>(std::min(length, bufferLength)));
  h->second.erase(it);
  o = truncated ? Outcome::warn(MQRC_TRUNCATED_MSG_ACCEPTED) : Outcome{};
  return true;
}

}  // namespace qmsim::net
