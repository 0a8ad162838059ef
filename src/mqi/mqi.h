// Room mqi (the bottom, shared with qmsim): IBM's MQI constants, structures and entry
// points. May include: mqi/ only.
//
// The MQI as KVARN and qmsim use it: IBM's constants, structures and entry points,
// plus C++ helpers for default-initialised structures and blank-padded fields.
#ifndef KVARN_MQI_MQI_H
#define KVARN_MQI_MQI_H

#include "mqi/mq_constants.h"
#include "mqi/mq_entry.h"
#include "mqi/mq_types.h"

#ifdef __cplusplus
#include <cstring>
#include <string>
#include <string_view>

namespace kvarn::mqi {

// Copies text into a fixed MQ character field, padding with blanks as MQ expects.
template <size_t N>
inline void setField(MQCHAR (&field)[N], std::string_view text) {
  size_t n = text.size() < N ? text.size() : N;
  std::memcpy(field, text.data(), n);
  std::memset(field + n, ' ', N - n);
}

// The text of a fixed MQ character field without trailing blanks or NULs.
inline std::string fieldText(const char* field, size_t size) {
  size_t n = 0;
  while (n < size && field[n] != '\0') ++n;
  while (n > 0 && field[n - 1] == ' ') --n;
  return std::string(field, n);
}
template <size_t N>
inline std::string fieldText(const MQCHAR (&field)[N]) {
  return fieldText(field, N);
}

inline MQMD defaultMD() {
  MQMD md{};
  std::memcpy(md.StrucId, MQMD_STRUC_ID, 4);
  md.Version = MQMD_VERSION_1;
  md.Report = MQRO_NONE;
  md.MsgType = MQMT_DATAGRAM;
  md.Expiry = MQEI_UNLIMITED;
  md.Feedback = MQFB_NONE;
  md.Encoding = MQENC_NATIVE;
  md.CodedCharSetId = MQCCSI_Q_MGR;
  std::memcpy(md.Format, MQFMT_NONE, 8);
  md.Priority = MQPRI_PRIORITY_AS_Q_DEF;
  md.Persistence = MQPER_PERSISTENCE_AS_Q_DEF;
  setField(md.ReplyToQ, "");
  setField(md.ReplyToQMgr, "");
  setField(md.UserIdentifier, "");
  setField(md.ApplIdentityData, "");
  setField(md.PutApplName, "");
  setField(md.PutDate, "");
  setField(md.PutTime, "");
  setField(md.ApplOriginData, "");
  md.MsgSeqNumber = 1;
  md.MsgFlags = MQMF_NONE;
  md.OriginalLength = MQOL_UNDEFINED;
  return md;
}

inline MQOD defaultOD() {
  MQOD od{};
  std::memcpy(od.StrucId, MQOD_STRUC_ID, 4);
  od.Version = MQOD_VERSION_1;
  od.ObjectType = MQOT_Q;
  setField(od.ObjectName, "");
  setField(od.ObjectQMgrName, "");
  setField(od.DynamicQName, "AMQ.*");
  setField(od.AlternateUserId, "");
  setField(od.ResolvedQName, "");
  setField(od.ResolvedQMgrName, "");
  od.ResolvedType = MQOT_NONE;
  return od;
}

inline MQGMO defaultGMO() {
  MQGMO gmo{};
  std::memcpy(gmo.StrucId, MQGMO_STRUC_ID, 4);
  gmo.Version = MQGMO_VERSION_1;
  gmo.Options = MQGMO_NO_WAIT;
  gmo.WaitInterval = 0;
  setField(gmo.ResolvedQName, "");
  gmo.MatchOptions = MQMO_MATCH_MSG_ID | MQMO_MATCH_CORREL_ID;
  gmo.GroupStatus = MQGS_NOT_IN_GROUP;
  gmo.SegmentStatus = MQSS_NOT_A_SEGMENT;
  gmo.Segmentation = MQSEG_INHIBITED;
  gmo.Reserved1 = ' ';
  gmo.ReturnedLength = MQRL_UNDEFINED;
  gmo.MsgHandle = MQHM_NONE;
  return gmo;
}

inline MQPMO defaultPMO() {
  MQPMO pmo{};
  std::memcpy(pmo.StrucId, MQPMO_STRUC_ID, 4);
  pmo.Version = MQPMO_VERSION_1;
  pmo.Options = MQPMO_NONE;
  setField(pmo.ResolvedQName, "");
  setField(pmo.ResolvedQMgrName, "");
  pmo.PutMsgRecFields = MQPMRF_NONE;
  pmo.OriginalMsgHandle = MQHM_NONE;
  pmo.NewMsgHandle = MQHM_NONE;
  pmo.Action = MQACTP_NEW;
  pmo.PubLevel = 9;
  return pmo;
}

inline MQCNO defaultCNO() {
  MQCNO cno{};
  std::memcpy(cno.StrucId, MQCNO_STRUC_ID, 4);
  cno.Version = MQCNO_VERSION_1;
  cno.Options = MQCNO_NONE;
  return cno;
}

inline MQCSP defaultCSP() {
  MQCSP csp{};
  std::memcpy(csp.StrucId, MQCSP_STRUC_ID, 4);
  csp.Version = MQCSP_VERSION_1;
  csp.AuthenticationType = MQCSP_AUTH_NONE;
  return csp;
}

// A client-connection channel definition as IBM's MQCD_CLIENT_CONN_DEFAULT gives it.
inline MQCD defaultClientConnCD() {
  MQCD cd{};
  setField(cd.ChannelName, "");
  cd.Version = MQCD_VERSION_6;
  cd.ChannelType = MQCHT_CLNTCONN;
  cd.TransportType = MQXPT_TCP;
  setField(cd.Desc, "");
  setField(cd.QMgrName, "");
  setField(cd.XmitQName, "");
  setField(cd.ShortConnectionName, "");
  setField(cd.MCAName, "");
  setField(cd.ModeName, "");
  setField(cd.TpName, "");
  cd.BatchSize = 50;
  cd.DiscInterval = 6000;
  cd.ShortRetryCount = 10;
  cd.ShortRetryInterval = 60;
  cd.LongRetryCount = 999999999;
  cd.LongRetryInterval = 1200;
  setField(cd.SecurityExit, "");
  setField(cd.MsgExit, "");
  setField(cd.SendExit, "");
  setField(cd.ReceiveExit, "");
  cd.SeqNumberWrap = 999999999;
  cd.MaxMsgLength = 4194304;
  cd.PutAuthority = MQPA_DEFAULT;
  cd.DataConversion = MQCDC_NO_SENDER_CONVERSION;
  setField(cd.SecurityUserData, "");
  setField(cd.MsgUserData, "");
  setField(cd.SendUserData, "");
  setField(cd.ReceiveUserData, "");
  setField(cd.UserIdentifier, "");
  setField(cd.Password, "");
  setField(cd.MCAUserIdentifier, "");
  cd.MCAType = MQMCAT_PROCESS;
  setField(cd.ConnectionName, "");
  setField(cd.RemoteUserIdentifier, "");
  setField(cd.RemotePassword, "");
  setField(cd.MsgRetryExit, "");
  setField(cd.MsgRetryUserData, "");
  cd.MsgRetryCount = 10;
  cd.MsgRetryInterval = 1000;
  cd.HeartbeatInterval = 300;
  cd.BatchInterval = 0;
  cd.NonPersistentMsgSpeed = MQNPMS_FAST;
  cd.StrucLength = MQCD_LENGTH_6;
  cd.KeepAliveInterval = MQKAI_AUTO;
  setField(cd.SSLCipherSpec, "");
  setField(cd.LocalAddress, "");
  cd.SharingConversations = 10;
  cd.MaxInstances = 999999999;
  cd.MaxInstancesPerClient = 999999999;
  cd.ConnectionAffinity = MQCAFTY_PREFERRED;
  setField(cd.CertificateLabel, "");
  return cd;
}

}  // namespace kvarn::mqi
#endif

#endif
