#include "transport/conn_options.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "text/text.h"
#include "transport/connection.h"

namespace {

std::string cut(std::string_view v, size_t max) { return std::string(v.substr(0, max)); }

// First field of each MQCD version, oldest first.
struct VersionStart {
  size_t offset;
  MQLONG version;
};
const VersionStart kVersionStarts[] = {
    {offsetof(MQCD, UserIdentifier), 2},      {offsetof(MQCD, MsgRetryInterval), 3},
    {offsetof(MQCD, HeartbeatInterval), 4},   {offsetof(MQCD, ClusterPtr), 5},
    {offsetof(MQCD, LongMCAUserIdLength), 6}, {offsetof(MQCD, SSLCipherSpec), 7},
    {offsetof(MQCD, HdrCompList), 8},         {offsetof(MQCD, SharingConversations), 9},
    {offsetof(MQCD, BatchDataLimit), 10},     {offsetof(MQCD, CertificateLabel), 11},
    {offsetof(MQCD, SPLProtection), 12},
};

const MQLONG kLengthOfVersion[] = {0,
                                   MQCD_LENGTH_1,
                                   MQCD_LENGTH_2,
                                   MQCD_LENGTH_3,
                                   MQCD_LENGTH_4,
                                   MQCD_LENGTH_5,
                                   MQCD_LENGTH_6,
                                   MQCD_LENGTH_7,
                                   MQCD_LENGTH_8,
                                   MQCD_LENGTH_9,
                                   MQCD_LENGTH_10,
                                   MQCD_LENGTH_11,
                                   MQCD_LENGTH_12};

template <size_t N>
void setCdField(Connection &t, MQCHAR (&field)[N], std::string_view value) {
  kvarn::mqi::setField(field, value.substr(0, N));
  size_t offset = reinterpret_cast<const char *>(&field) - reinterpret_cast<const char *>(&t.channelDef);
  raiseMqcdVersion(t.channelDef, mqcdVersionForOffset(offset));
  t.clientBinding = true;
  t.useChannelDef = true;
}

int numberOf(std::string_view v) { return std::atoi(std::string(v).c_str()); }

}  // namespace

MQLONG mqcdVersionForOffset(size_t offset) {
  MQLONG version = 1;
  for (const auto &s : kVersionStarts)
    if (offset >= s.offset) version = s.version;
  return version;
}

void raiseMqcdVersion(MQCD &cd, MQLONG version) {
  if (cd.Version >= version) return;
  cd.Version = version;
  // StrucLength exists from version 4 on; keep it in step with the version.
  if (version >= 4) cd.StrucLength = kLengthOfVersion[version];
}

bool applyConnOption(Connection &t, std::string_view name, std::string_view value, bool hasValue) {
  MQCD &cd = t.channelDef;
  if (scanEqualsNoCase(name, "qm")) t.targetQmgr = cut(value, 48);
  else if (scanEqualsNoCase(name, "via")) t.viaQmgr = cut(value, 48);
  else if (scanEqualsNoCase(name, "client")) t.clientBinding = true;
  else if (scanEqualsNoCase(name, "ccdturl")) t.ccdtUrl = cut(value, 300);
  else if (scanEqualsNoCase(name, "cmdq")) t.commandQueue = cut(value, 48);
  else if (scanEqualsNoCase(name, "replyq")) t.replyModelQueue = cut(value, 48);
  else if (scanEqualsNoCase(name, "replypfx")) t.replyPrefix = cut(value, 48);
  else if (scanEqualsNoCase(name, "wait")) t.waitSeconds = std::max(1, numberOf(value));
  else if (scanEqualsNoCase(name, "user")) {
    t.userId = std::string(value);
    t.hasUserId = !value.empty();
    if (value.empty()) t.forgetCredentials = true;
  } else if (scanEqualsNoCase(name, "pwd")) {
    t.passwordOption = std::string(value);
    t.hasPasswordOption = !value.empty();
    if (value.empty()) t.forgetCredentials = true;
  } else if (scanEqualsNoCase(name, "channel")) setCdField(t, cd.ChannelName, value);
  else if (scanEqualsNoCase(name, "conname")) setCdField(t, cd.ConnectionName, value);
  else if (scanEqualsNoCase(name, "sslciph")) setCdField(t, cd.SSLCipherSpec, value);
  else if (scanEqualsNoCase(name, "certlabl")) setCdField(t, cd.CertificateLabel, value);
  else if (scanEqualsNoCase(name, "scyexit")) setCdField(t, cd.SecurityExit, value);
  else if (scanEqualsNoCase(name, "scydata")) setCdField(t, cd.SecurityUserData, value);
  else if (scanEqualsNoCase(name, "sendexit")) setCdField(t, cd.SendExit, value);
  else if (scanEqualsNoCase(name, "senddata")) setCdField(t, cd.SendUserData, value);
  else if (scanEqualsNoCase(name, "rcvexit")) setCdField(t, cd.ReceiveExit, value);
  else if (scanEqualsNoCase(name, "rcvdata")) setCdField(t, cd.ReceiveUserData, value);
  else if (scanEqualsNoCase(name, "sharecnv")) {
    cd.SharingConversations = numberOf(value);
    raiseMqcdVersion(cd, 9);
    t.clientBinding = true;
    t.useChannelDef = true;
  } else if (scanEqualsNoCase(name, "comphdr")) {
    if (scanEqualsNoCase(value, "system")) {
      cd.HdrCompList[0] = MQCOMPRESS_SYSTEM;
      raiseMqcdVersion(cd, 8);
      t.useChannelDef = true;
    }
  } else if (scanEqualsNoCase(name, "compmsg")) {
    MQLONG method = scanEqualsNoCase(value, "rle")        ? MQCOMPRESS_RLE
                    : scanEqualsNoCase(value, "zlibfast") ? MQCOMPRESS_ZLIBFAST
                    : scanEqualsNoCase(value, "zlibhigh") ? MQCOMPRESS_ZLIBHIGH
                                                          : -1;
    if (method >= 0) {
      cd.MsgCompList[0] = method;
      raiseMqcdVersion(cd, 8);
      t.useChannelDef = true;
    }
  } else {
    return false;
  }
  (void)hasValue;
  return true;
}
