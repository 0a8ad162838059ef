/* A C program written from IBM's published MQI layouts alone (no qmsim or KVARN
 * header): it connects in server bindings to a new queue manager, opens the default
 * model queue for input, reads back the dynamic name, puts a message to it and gets
 * it back by correlation id. Exit code 0 means every step behaved as IBM documents. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int32_t MQLONG;

typedef struct {
  char StrucId[4]; MQLONG Version, ObjectType; char ObjectName[48], ObjectQMgrName[48], DynamicQName[48];
  char AlternateUserId[12];
} MQOD1; /* version 1, 168 bytes */

typedef struct {
  char StrucId[4]; MQLONG Version, Report, MsgType, Expiry, Feedback, Encoding, CodedCharSetId;
  char Format[8]; MQLONG Priority, Persistence; unsigned char MsgId[24], CorrelId[24]; MQLONG BackoutCount;
  char ReplyToQ[48], ReplyToQMgr[48], UserIdentifier[12]; unsigned char AccountingToken[32];
  char ApplIdentityData[32]; MQLONG PutApplType; char PutApplName[28], PutDate[8], PutTime[8], ApplOriginData[4];
} MQMD1; /* version 1, 324 bytes */

typedef struct {
  char StrucId[4]; MQLONG Version, Options, Timeout, Context, KnownDestCount, UnknownDestCount, InvalidDestCount;
  char ResolvedQName[48], ResolvedQMgrName[48];
} MQPMO1; /* version 1, 128 bytes */

typedef struct {
  char StrucId[4]; MQLONG Version, Options, WaitInterval, Signal1, Signal2; char ResolvedQName[48];
} MQGMO1; /* version 1, 72 bytes */

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
  md->MsgType = 8;       /* MQMT_DATAGRAM */
  md->Expiry = -1;       /* MQEI_UNLIMITED */
  md->Encoding = 546;    /* MQENC_NATIVE */
  memcpy(md->Format, "MQSTR   ", 8);
  md->Priority = -1;     /* MQPRI_PRIORITY_AS_Q_DEF */
  md->Persistence = 2;   /* MQPER_PERSISTENCE_AS_Q_DEF */
}

#define CHECK(what, cond)                                     \
  do {                                                        \
    if (!(cond)) {                                            \
      fprintf(stderr, "c_client: %s failed (reason %d)\n", what, (int)reason); \
      return 1;                                               \
    }                                                         \
  } while (0)

int main(void) {
  char home[] = "/tmp/qmsim-c-client-XXXXXX";
  if (!mkdtemp(home)) return 1;
  setenv("KVARN_QMSIM_HOME", home, 1);
  char qmName[48];
  blank(qmName, 48, "CQM");
  MQLONG hconn = 0, cc = -1, reason = -1;
  MQCONN(qmName, &hconn, &cc, &reason);
  CHECK("MQCONN", cc == 0);

  MQOD1 od;
  memset(&od, 0, sizeof od);
  memcpy(od.StrucId, "OD  ", 4);
  od.Version = 1;
  od.ObjectType = 1; /* MQOT_Q */
  blank(od.ObjectName, 48, "SYSTEM.DEFAULT.MODEL.QUEUE");
  blank(od.ObjectQMgrName, 48, "");
  blank(od.DynamicQName, 48, "CAPP.*");
  blank(od.AlternateUserId, 12, "");
  MQLONG input = 0;
  MQOPEN(hconn, &od, 4 /* MQOO_INPUT_EXCLUSIVE */, &input, &cc, &reason);
  CHECK("MQOPEN model", cc == 0 && memcmp(od.ObjectName, "CAPP.", 5) == 0);

  MQOD1 outOd = od; /* the returned ObjectName is the dynamic queue's name */
  blank(outOd.DynamicQName, 48, "");
  MQLONG output = 0;
  MQOPEN(hconn, &outOd, 16 /* MQOO_OUTPUT */, &output, &cc, &reason);
  CHECK("MQOPEN dynamic queue", cc == 0);

  MQPMO1 pmo;
  memset(&pmo, 0, sizeof pmo);
  memcpy(pmo.StrucId, "PMO ", 4);
  pmo.Version = 1;
  pmo.Options = 4; /* MQPMO_NO_SYNCPOINT */
  for (int i = 0; i < 2; ++i) {
    MQMD1 md;
    defaultMD(&md);
    memset(md.CorrelId, i == 0 ? 'X' : 'Y', 24);
    char text[16];
    snprintf(text, sizeof text, "message %c", i == 0 ? 'X' : 'Y');
    MQPUT(hconn, output, &md, &pmo, (MQLONG)strlen(text), text, &cc, &reason);
    CHECK("MQPUT", cc == 0);
  }

  MQMD1 md;
  defaultMD(&md);
  memset(md.CorrelId, 'Y', 24);
  MQGMO1 gmo;
  memset(&gmo, 0, sizeof gmo);
  memcpy(gmo.StrucId, "GMO ", 4);
  gmo.Version = 1;
  gmo.Options = 1 | 4; /* MQGMO_WAIT | MQGMO_NO_SYNCPOINT */
  gmo.WaitInterval = 1000;
  char buffer[64];
  MQLONG length = 0;
  MQGET(hconn, input, &md, &gmo, sizeof buffer, buffer, &length, &cc, &reason);
  CHECK("MQGET by CorrelId", cc == 0 && length == 9 && memcmp(buffer, "message Y", 9) == 0);

  MQCLOSE(hconn, &output, 0, &cc, &reason);
  CHECK("MQCLOSE", cc == 0);
  MQDISC(&hconn, &cc, &reason);
  CHECK("MQDISC", cc == 0);
  char command[128];
  snprintf(command, sizeof command, "rm -rf '%s'", home);
  if (system(command) != 0) return 1;
  puts("c_client: ok");
  return 0;
}
