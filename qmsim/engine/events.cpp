#include "engine/events.h"

#include <cstring>

namespace qmsim::events {

namespace {
void appendLong(std::string& out, MQLONG v) { out.append(reinterpret_cast<const char*>(&v), sizeof v); }
}  // namespace

EventMessage::EventMessage(MQLONG command, MQLONG reason) : command_(command), reason_(reason) {}

EventMessage& EventMessage::integer(MQLONG id, MQLONG value) {
  appendLong(body_, MQCFT_INTEGER);
  appendLong(body_, MQCFIN_STRUC_LENGTH);
  appendLong(body_, id);
  appendLong(body_, value);
  ++count_;
  return *this;
}

EventMessage& EventMessage::string(MQLONG id, std::string_view value, size_t padTo) {
  std::string text(value.substr(0, padTo));
  text.resize(padTo, ' ');
  size_t length = (MQCFST_STRUC_LENGTH_FIXED + text.size() + 3) / 4 * 4;
  appendLong(body_, MQCFT_STRING);
  appendLong(body_, static_cast<MQLONG>(length));
  appendLong(body_, id);
  appendLong(body_, MQCCSI_DEFAULT);
  appendLong(body_, static_cast<MQLONG>(text.size()));
  body_ += text;
  body_.append(length - MQCFST_STRUC_LENGTH_FIXED - text.size(), '\0');
  ++count_;
  return *this;
}

std::string EventMessage::bytes() const {
  MQCFH h{};
  h.Type = MQCFT_EVENT;
  h.StrucLength = MQCFH_STRUC_LENGTH;
  h.Version = MQCFH_VERSION_1;
  h.Command = command_;
  h.MsgSeqNumber = 1;
  h.Control = MQCFC_LAST;
  h.CompCode = MQCC_WARNING;
  h.Reason = reason_;
  h.ParameterCount = count_;
  std::string out(reinterpret_cast<const char*>(&h), sizeof h);
  return out + body_;
}

namespace {
EventMessage& requester(EventMessage& m, const Requester& who) {
  m.string(MQCACF_USER_IDENTIFIER, who.userId, MQ_USER_ID_LENGTH)
      .integer(MQIA_APPL_TYPE, MQAT_UNIX)
      .string(MQCACF_APPL_NAME, who.applName, MQ_APPL_NAME_LENGTH);
  return m;
}
}  // namespace

std::string connectNotAuthorized(const std::string& qmgr, MQLONG qualifier, const Requester& who) {
  EventMessage m(MQCMD_Q_MGR_EVENT, MQRC_NOT_AUTHORIZED);
  m.string(MQCA_Q_MGR_NAME, qmgr, MQ_Q_MGR_NAME_LENGTH).integer(MQIACF_REASON_QUALIFIER, qualifier);
  requester(m, who);
  if (!who.channel.empty())
    m.string(MQCACH_CHANNEL_NAME, who.channel, MQ_CHANNEL_NAME_LENGTH)
        .string(MQCACH_CONNECTION_NAME, who.connName, MQ_CONN_NAME_LENGTH);
  if (!who.cspUserId.empty()) m.string(MQCACF_CSP_USER_IDENTIFIER, who.cspUserId, who.cspUserId.size());
  return m.bytes();
}

std::string openNotAuthorized(const std::string& qmgr, MQLONG options, const Requester& who,
                              const std::string& queue) {
  EventMessage m(MQCMD_Q_MGR_EVENT, MQRC_NOT_AUTHORIZED);
  m.string(MQCA_Q_MGR_NAME, qmgr, MQ_Q_MGR_NAME_LENGTH)
      .integer(MQIACF_REASON_QUALIFIER, MQRQ_OPEN_NOT_AUTHORIZED)
      .integer(MQIACF_OPEN_OPTIONS, options);
  requester(m, who);
  if (!queue.empty()) m.string(MQCA_Q_NAME, queue, MQ_Q_NAME_LENGTH);
  return m.bytes();
}

std::string channelBlocked(const std::string& qmgr, MQLONG reason, MQLONG qualifier, const std::string& channel,
                           const std::string& userId, const std::string& connName) {
  EventMessage m(MQCMD_CHANNEL_EVENT, reason);
  m.string(MQCA_Q_MGR_NAME, qmgr, MQ_Q_MGR_NAME_LENGTH).integer(MQIACF_REASON_QUALIFIER, qualifier);
  if (qualifier != MQRQ_CHANNEL_BLOCKED_ADDRESS) m.string(MQCACH_CHANNEL_NAME, channel, MQ_CHANNEL_NAME_LENGTH);
  if (qualifier == MQRQ_CHANNEL_BLOCKED_USERID) m.string(MQCACF_USER_IDENTIFIER, userId, MQ_USER_ID_LENGTH);
  m.string(MQCACH_CONNECTION_NAME, connName, MQ_CONN_NAME_LENGTH);
  return m.bytes();
}

}  // namespace qmsim::events
