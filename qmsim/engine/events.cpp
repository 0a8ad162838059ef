#include "engine/events.h"

#include "engine/pcf_writer.h"

namespace qmsim::events {

namespace {

PcfWriter event(MQLONG command, MQLONG reason) {
  return PcfWriter(MQCFT_EVENT, MQCFH_VERSION_1, command, 1, true, MQCC_WARNING, reason);
}

// A name in its field of the MQ length: blank-padded, and cut where it is longer.
PcfWriter& name(PcfWriter& w, MQLONG id, const std::string& value, size_t length) {
  return w.string(id, std::string_view(value).substr(0, length), length);
}

PcfWriter& requester(PcfWriter& w, const Requester& who) {
  name(w, MQCACF_USER_IDENTIFIER, who.userId, MQ_USER_ID_LENGTH);
  w.integer(MQIA_APPL_TYPE, MQAT_UNIX);
  return name(w, MQCACF_APPL_NAME, who.applName, MQ_APPL_NAME_LENGTH);
}

}  // namespace

std::string connectNotAuthorized(const std::string& qmgr, MQLONG qualifier, const Requester& who) {
  PcfWriter w = event(MQCMD_Q_MGR_EVENT, MQRC_NOT_AUTHORIZED);
  name(w, MQCA_Q_MGR_NAME, qmgr, MQ_Q_MGR_NAME_LENGTH).integer(MQIACF_REASON_QUALIFIER, qualifier);
  requester(w, who);
  if (!who.channel.empty()) {
    name(w, MQCACH_CHANNEL_NAME, who.channel, MQ_CHANNEL_NAME_LENGTH);
    name(w, MQCACH_CONNECTION_NAME, who.connName, MQ_CONN_NAME_LENGTH);
  }
  if (!who.cspUserId.empty()) w.string(MQCACF_CSP_USER_IDENTIFIER, who.cspUserId);
  return w.finish();
}

std::string openNotAuthorized(const std::string& qmgr, MQLONG options, const Requester& who, const std::string& queue) {
  PcfWriter w = event(MQCMD_Q_MGR_EVENT, MQRC_NOT_AUTHORIZED);
  name(w, MQCA_Q_MGR_NAME, qmgr, MQ_Q_MGR_NAME_LENGTH)
      .integer(MQIACF_REASON_QUALIFIER, MQRQ_OPEN_NOT_AUTHORIZED)
      .integer(MQIACF_OPEN_OPTIONS, options);
  requester(w, who);
  if (!queue.empty()) name(w, MQCA_Q_NAME, queue, MQ_Q_NAME_LENGTH);
  return w.finish();
}

std::string channelBlocked(const std::string& qmgr, MQLONG reason, MQLONG qualifier, const std::string& channel,
                           const std::string& userId, const std::string& connName) {
  PcfWriter w = event(MQCMD_CHANNEL_EVENT, reason);
  name(w, MQCA_Q_MGR_NAME, qmgr, MQ_Q_MGR_NAME_LENGTH).integer(MQIACF_REASON_QUALIFIER, qualifier);
  if (qualifier != MQRQ_CHANNEL_BLOCKED_ADDRESS) name(w, MQCACH_CHANNEL_NAME, channel, MQ_CHANNEL_NAME_LENGTH);
  if (qualifier == MQRQ_CHANNEL_BLOCKED_USERID) name(w, MQCACF_USER_IDENTIFIER, userId, MQ_USER_ID_LENGTH);
  name(w, MQCACH_CONNECTION_NAME, connName, MQ_CONN_NAME_LENGTH);
  return w.finish();
}

}  // namespace qmsim::events
