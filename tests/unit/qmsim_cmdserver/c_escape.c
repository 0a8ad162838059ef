/* Written from IBM's published MQI and PCF layouts alone (no qmsim or KVARN header):
 * connects in server bindings to a new queue manager, sends the escape request
 * "DISPLAY QMGR" with a dynamic reply queue, and reads back a record holding QMNAME
 * with the queue manager's name, on a reply with MQCFC_LAST set. Exit code 0: as IBM documents. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int32_t MQLONG;

typedef struct {
  char StrucId[4]; MQLONG Version, ObjectType; char ObjectName[48], ObjectQMgrName[48], DynamicQName[48];
  char AlternateUserId[12];
} MQOD1;

typedef struct {
  char StrucId[4]; MQLONG Version, Report, MsgType, Expiry, Feedback, Encoding, CodedCharSetId;
  char Format[8]; MQLONG Priority, Persistence; unsigned char MsgId[24], CorrelId[24]; MQLONG BackoutCount;
  char ReplyToQ[48], ReplyToQMgr[48], UserIdentifier[12]; unsigned char AccountingToken[32];
  char ApplIdentityData[32]; MQLONG PutApplType; char PutApplName[28], PutDate[8], PutTime[8], ApplOriginData[4];
} MQMD1;

typedef struct {
  char StrucId[4]; MQLONG Version, Options, Timeout, Context, KnownDestCount, UnknownDestCount, InvalidDestCount;
  char ResolvedQName[48], ResolvedQMgrName[48];
} MQPMO1;

typedef struct {
  char StrucId[4]; MQLONG Version, Options, WaitInterval, Signal1, Signal2; char ResolvedQName[48];
} MQGMO1;

/* PCF: MQCFH, MQCFIN, and the fixed part of MQCFST. */
typedef struct { MQLONG Type, StrucLength, Version, Command, MsgSeqNumber, Control, CompCode, Reason, ParameterCount; } MQCFH;
typedef struct { MQLONG Type, StrucLength, Parameter, Value; } MQCFIN;
typedef struct { MQLONG Type, StrucLength, Parameter, CodedCharSetId, StringLength; } MQCFST;

void MQCONN(char*, MQLONG*, MQLONG*, MQLONG*);
void MQDISC(MQLONG*, MQLONG*, MQLONG*);
void MQOPEN(MQLONG, void*, MQLONG, MQLONG*, MQLONG*, MQLONG*);
void MQCLOSE(MQLONG, MQLONG*, MQLONG, MQLONG*, MQLONG*);
void MQPUT(MQLONG, MQLONG, void*, void*, MQLONG, void*, MQLONG*, MQLONG*);
void MQGET(MQLONG, MQLONG, void*, void*, MQLONG, void*, MQLONG*, MQLONG*, MQLONG*);

static void blank(char* field, size_t size, const char* text) {
  memset(field, ' ', size);
  memcpy(field, text, strlen(text));
}

static void defaultMD(MQMD1* md) {
  memset(md, 0, sizeof *md);
  memcpy(md->StrucId, "MD  ", 4);
  md->Version = 1;
  md->MsgType = 8;
  md->Expiry = -1;
  md->Encoding = 546;
  memcpy(md->Format, "MQSTR   ", 8);
  md->Priority = -1;
  md->Persistence = 2;
}

static MQLONG openQueue(MQLONG hconn, const char* name, const char* dynamic, MQLONG options, char* resolved,
                        MQLONG* reason) {
  MQOD1 od;
  memset(&od, 0, sizeof od);
  memcpy(od.StrucId, "OD  ", 4);
  od.Version = 1;
  od.ObjectType = 1; /* MQOT_Q */
  blank(od.ObjectName, 48, name);
  blank(od.ObjectQMgrName, 48, "");
  blank(od.DynamicQName, 48, dynamic);
  blank(od.AlternateUserId, 12, "");
  MQLONG hobj = 0, cc = -1;
  MQOPEN(hconn, &od, options, &hobj, &cc, reason);
  if (resolved) memcpy(resolved, od.ObjectName, 48);
  return cc == 0 ? hobj : -1;
}

#define CHECK(what, cond)                                                            \
  do {                                                                               \
    if (!(cond)) {                                                                   \
      fprintf(stderr, "c_escape: %s failed (reason %d)\n", what, (int)reason);       \
      return 1;                                                                      \
    }                                                                                \
  } while (0)

int main(void) {
  char home[] = "/tmp/qmsim-c-escape-XXXXXX";
  if (!mkdtemp(home)) return 1;
  setenv("KVARN_QMSIM_HOME", home, 1);
  char qmName[48];
  blank(qmName, 48, "CQM1");
  MQLONG hconn = 0, cc = -1, reason = -1;
  MQCONN(qmName, &hconn, &cc, &reason);
  CHECK("MQCONN", cc == 0);

  char replyQ[48];
  MQLONG reply = openQueue(hconn, "SYSTEM.DEFAULT.MODEL.QUEUE", "CESCAPE.*", 4 /* MQOO_INPUT_EXCLUSIVE */, replyQ, &reason);
  CHECK("MQOPEN reply queue", reply >= 0);
  MQLONG command = openQueue(hconn, "SYSTEM.ADMIN.COMMAND.QUEUE", "", 16 /* MQOO_OUTPUT */, NULL, &reason);
  CHECK("MQOPEN command queue", command >= 0);

  /* MQCMD_ESCAPE (38): MQIACF_ESCAPE_TYPE (1017) = MQET_MQSC (1), MQCACF_ESCAPE_TEXT (3014). */
  const char* text = "DISPLAY QMGR";
  MQLONG textLength = (MQLONG)strlen(text);
  MQCFH cfh = {1 /* MQCFT_COMMAND */, 36, 1, 38, 1, 1 /* MQCFC_LAST */, 0, 0, 2};
  MQCFIN type = {3 /* MQCFT_INTEGER */, 16, 1017, 1};
  MQCFST str = {4 /* MQCFT_STRING */, (20 + textLength + 3) / 4 * 4, 3014, 0, textLength};
  unsigned char request[256];
  memset(request, 0, sizeof request);
  memcpy(request, &cfh, sizeof cfh);
  memcpy(request + 36, &type, sizeof type);
  memcpy(request + 52, &str, sizeof str);
  memcpy(request + 72, text, (size_t)textLength);

  MQMD1 md;
  defaultMD(&md);
  md.MsgType = 1; /* MQMT_REQUEST */
  memcpy(md.Format, "MQADMIN ", 8);
  memcpy(md.ReplyToQ, replyQ, 48);
  blank(md.ReplyToQMgr, 48, "");
  MQPMO1 pmo;
  memset(&pmo, 0, sizeof pmo);
  memcpy(pmo.StrucId, "PMO ", 4);
  pmo.Version = 1;
  pmo.Options = 0x0004 | 0x0040; /* MQPMO_NO_SYNCPOINT | MQPMO_NEW_MSG_ID */
  MQPUT(hconn, command, &md, &pmo, 52 + str.StrucLength, request, &cc, &reason);
  CHECK("MQPUT request", cc == 0);

  MQMD1 answer;
  defaultMD(&answer);
  memcpy(answer.CorrelId, md.MsgId, 24); /* version 1 GMO: match on the CorrelId given */
  MQGMO1 gmo;
  memset(&gmo, 0, sizeof gmo);
  memcpy(gmo.StrucId, "GMO ", 4);
  gmo.Version = 1;
  gmo.Options = 0x0001 | 0x0004; /* MQGMO_WAIT | MQGMO_NO_SYNCPOINT */
  gmo.WaitInterval = 10000;
  static char buffer[65536];
  MQLONG length = 0;
  MQGET(hconn, reply, &answer, &gmo, sizeof buffer - 1, buffer, &length, &cc, &reason);
  CHECK("MQGET reply", cc == 0);
  buffer[length] = '\0';

  MQCFH rh;
  memcpy(&rh, buffer, sizeof rh);
  reason = rh.Reason;
  CHECK("response header", rh.Type == 2 /* MQCFT_RESPONSE */ && (rh.Control & 1) && rh.CompCode == 0);
  int found = 0;
  long pos = 36;
  for (MQLONG i = 0; i < rh.ParameterCount && pos + 20 <= length; ++i) {
    MQCFST p;
    memcpy(&p, buffer + pos, sizeof p);
    if (p.Type == 4 && p.Parameter == 3014 && p.StringLength <= length - pos - 20) {
      char saved = buffer[pos + 20 + p.StringLength];
      buffer[pos + 20 + p.StringLength] = '\0';
      found = strstr(buffer + pos + 20, "QMNAME(CQM1)") != NULL;
      buffer[pos + 20 + p.StringLength] = saved;
    }
    if (p.StrucLength <= 0) break;
    pos += p.StrucLength;
  }
  CHECK("QMNAME(CQM1) in the record", found);
  MQCLOSE(hconn, &reply, 0, &cc, &reason);
  MQCLOSE(hconn, &command, 0, &cc, &reason);
  MQDISC(&hconn, &cc, &reason);
  char cmd[128];
  snprintf(cmd, sizeof cmd, "rm -rf '%s'", home);
  if (system(cmd) != 0) return 1;
  printf("DISPLAY QMGR answered with QMNAME(CQM1), MQCFC_LAST set\n");
  return 0;
}
