// MQI elementary types and structures, laid out as IBM publishes them for 64-bit
// Linux (MQLONG is a 4-byte integer, pointers are 8 bytes, natural alignment).
// Usable from C and C++; both KVARN and qmsim include this one definition.
#ifndef KVARN_MQI_MQ_TYPES_H
#define KVARN_MQI_MQ_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define KVARN_MQI_STATIC_ASSERT static_assert
#else
#define KVARN_MQI_STATIC_ASSERT _Static_assert
#endif

typedef int32_t MQLONG;
typedef uint32_t MQULONG;
typedef int64_t MQINT64;
typedef char MQCHAR;
typedef unsigned char MQBYTE;
typedef MQLONG MQHCONN;
typedef MQLONG MQHOBJ;
typedef MQINT64 MQHMSG;
typedef void* MQPTR;
typedef void* PMQVOID;
typedef MQCHAR* PMQCHAR;
typedef MQLONG* PMQLONG;
typedef MQBYTE* PMQBYTE;
typedef MQHCONN* PMQHCONN;
typedef MQHOBJ* PMQHOBJ;

typedef MQCHAR MQCHAR4[4];
typedef MQCHAR MQCHAR8[8];
typedef MQCHAR MQCHAR12[12];
typedef MQCHAR MQCHAR20[20];
typedef MQCHAR MQCHAR28[28];
typedef MQCHAR MQCHAR32[32];
typedef MQCHAR MQCHAR48[48];
typedef MQCHAR MQCHAR64[64];
typedef MQCHAR MQCHAR128[128];
typedef MQCHAR MQCHAR256[256];
typedef MQCHAR MQCHAR264[264];
typedef MQBYTE MQBYTE16[16];
typedef MQBYTE MQBYTE24[24];
typedef MQBYTE MQBYTE32[32];
typedef MQBYTE MQBYTE40[40];

/* Message descriptor (version 2). */
typedef struct tagMQMD {
  MQCHAR4 StrucId;
  MQLONG Version;
  MQLONG Report;
  MQLONG MsgType;
  MQLONG Expiry;
  MQLONG Feedback;
  MQLONG Encoding;
  MQLONG CodedCharSetId;
  MQCHAR8 Format;
  MQLONG Priority;
  MQLONG Persistence;
  MQBYTE24 MsgId;
  MQBYTE24 CorrelId;
  MQLONG BackoutCount;
  MQCHAR48 ReplyToQ;
  MQCHAR48 ReplyToQMgr;
  MQCHAR12 UserIdentifier;
  MQBYTE32 AccountingToken;
  MQCHAR32 ApplIdentityData;
  MQLONG PutApplType;
  MQCHAR28 PutApplName;
  MQCHAR8 PutDate;
  MQCHAR8 PutTime;
  MQCHAR4 ApplOriginData;
  /* version 2 */
  MQBYTE24 GroupId;
  MQLONG MsgSeqNumber;
  MQLONG Offset;
  MQLONG MsgFlags;
  MQLONG OriginalLength;
} MQMD, *PMQMD;

/* Object descriptor (version 4). */
typedef struct tagMQCHARV {
  MQPTR VSPtr;
  MQLONG VSOffset;
  MQLONG VSBufSize;
  MQLONG VSLength;
  MQLONG VSCCSID;
} MQCHARV;

typedef struct tagMQOD {
  MQCHAR4 StrucId;
  MQLONG Version;
  MQLONG ObjectType;
  MQCHAR48 ObjectName;
  MQCHAR48 ObjectQMgrName;
  MQCHAR48 DynamicQName;
  MQCHAR12 AlternateUserId;
  /* version 2 */
  MQLONG RecsPresent;
  MQLONG KnownDestCount;
  MQLONG UnknownDestCount;
  MQLONG InvalidDestCount;
  MQLONG ObjectRecOffset;
  MQLONG ResponseRecOffset;
  MQPTR ObjectRecPtr;
  MQPTR ResponseRecPtr;
  /* version 3 */
  MQBYTE40 AlternateSecurityId;
  MQCHAR48 ResolvedQName;
  MQCHAR48 ResolvedQMgrName;
  /* version 4 */
  MQCHARV ObjectString;
  MQCHARV SelectionString;
  MQCHARV ResObjectString;
  MQLONG ResolvedType;
} MQOD, *PMQOD;

/* Get-message options (version 4). */
typedef struct tagMQGMO {
  MQCHAR4 StrucId;
  MQLONG Version;
  MQLONG Options;
  MQLONG WaitInterval;
  MQLONG Signal1;
  MQLONG Signal2;
  MQCHAR48 ResolvedQName;
  /* version 2 */
  MQLONG MatchOptions;
  MQCHAR GroupStatus;
  MQCHAR SegmentStatus;
  MQCHAR Segmentation;
  MQCHAR Reserved1;
  /* version 3 */
  MQBYTE16 MsgToken;
  MQLONG ReturnedLength;
  /* version 4 */
  MQLONG Reserved2;
  MQHMSG MsgHandle;
} MQGMO, *PMQGMO;

/* Put-message options (version 3). */
typedef struct tagMQPMO {
  MQCHAR4 StrucId;
  MQLONG Version;
  MQLONG Options;
  MQLONG Timeout;
  MQHOBJ Context;
  MQLONG KnownDestCount;
  MQLONG UnknownDestCount;
  MQLONG InvalidDestCount;
  MQCHAR48 ResolvedQName;
  MQCHAR48 ResolvedQMgrName;
  /* version 2 */
  MQLONG RecsPresent;
  MQLONG PutMsgRecFields;
  MQLONG PutMsgRecOffset;
  MQLONG ResponseRecOffset;
  MQPTR PutMsgRecPtr;
  MQPTR ResponseRecPtr;
  /* version 3 */
  MQHMSG OriginalMsgHandle;
  MQHMSG NewMsgHandle;
  MQLONG Action;
  MQLONG PubLevel;
} MQPMO, *PMQPMO;

/* Channel definition (version 12). */
typedef struct tagMQCD {
  MQCHAR20 ChannelName;
  MQLONG Version;
  MQLONG ChannelType;
  MQLONG TransportType;
  MQCHAR64 Desc;
  MQCHAR48 QMgrName;
  MQCHAR48 XmitQName;
  MQCHAR20 ShortConnectionName;
  MQCHAR20 MCAName;
  MQCHAR8 ModeName;
  MQCHAR64 TpName;
  MQLONG BatchSize;
  MQLONG DiscInterval;
  MQLONG ShortRetryCount;
  MQLONG ShortRetryInterval;
  MQLONG LongRetryCount;
  MQLONG LongRetryInterval;
  MQCHAR128 SecurityExit;
  MQCHAR128 MsgExit;
  MQCHAR128 SendExit;
  MQCHAR128 ReceiveExit;
  MQLONG SeqNumberWrap;
  MQLONG MaxMsgLength;
  MQLONG PutAuthority;
  MQLONG DataConversion;
  MQCHAR32 SecurityUserData;
  MQCHAR32 MsgUserData;
  MQCHAR32 SendUserData;
  MQCHAR32 ReceiveUserData;
  /* version 2 */
  MQCHAR12 UserIdentifier;
  MQCHAR12 Password;
  MQCHAR12 MCAUserIdentifier;
  MQLONG MCAType;
  MQCHAR264 ConnectionName;
  MQCHAR12 RemoteUserIdentifier;
  MQCHAR12 RemotePassword;
  MQCHAR128 MsgRetryExit;
  MQCHAR32 MsgRetryUserData;
  MQLONG MsgRetryCount;
  /* version 3 */
  MQLONG MsgRetryInterval;
  /* version 4 */
  MQLONG HeartbeatInterval;
  MQLONG BatchInterval;
  MQLONG NonPersistentMsgSpeed;
  MQLONG StrucLength;
  MQLONG ExitNameLength;
  MQLONG ExitDataLength;
  MQLONG MsgExitsDefined;
  MQLONG SendExitsDefined;
  MQLONG ReceiveExitsDefined;
  MQPTR MsgExitPtr;
  MQPTR MsgUserDataPtr;
  MQPTR SendExitPtr;
  MQPTR SendUserDataPtr;
  MQPTR ReceiveExitPtr;
  MQPTR ReceiveUserDataPtr;
  /* version 5 */
  MQPTR ClusterPtr;
  MQLONG ClustersDefined;
  MQLONG NetworkPriority;
  /* version 6 */
  MQLONG LongMCAUserIdLength;
  MQLONG LongRemoteUserIdLength;
  MQPTR LongMCAUserIdPtr;
  MQPTR LongRemoteUserIdPtr;
  MQBYTE40 MCASecurityId;
  MQBYTE40 RemoteSecurityId;
  /* version 7 */
  MQCHAR32 SSLCipherSpec;
  MQPTR SSLPeerNamePtr;
  MQLONG SSLPeerNameLength;
  MQLONG SSLClientAuth;
  MQLONG KeepAliveInterval;
  MQCHAR48 LocalAddress;
  MQLONG BatchHeartbeat;
  /* version 8 */
  MQLONG HdrCompList[2];
  MQLONG MsgCompList[16];
  MQLONG CLWLChannelRank;
  MQLONG CLWLChannelPriority;
  MQLONG CLWLChannelWeight;
  MQLONG ChannelMonitoring;
  MQLONG ChannelStatistics;
  /* version 9 */
  MQLONG SharingConversations;
  MQLONG PropertyControl;
  MQLONG MaxInstances;
  MQLONG MaxInstancesPerClient;
  MQLONG ClientChannelWeight;
  MQLONG ConnectionAffinity;
  /* version 10 */
  MQLONG BatchDataLimit;
  MQLONG UseDLQ;
  MQLONG DefReconnect;
  /* version 11 */
  MQCHAR64 CertificateLabel;
  /* version 12 */
  MQLONG SPLProtection;
} MQCD, *PMQCD;

/* Authentication information record (version 1). */
typedef struct tagMQAIR {
  MQCHAR4 StrucId;
  MQLONG Version;
  MQLONG AuthInfoType;
  MQCHAR264 AuthInfoConnName;
  PMQCHAR LDAPUserNamePtr;
  MQLONG LDAPUserNameOffset;
  MQLONG LDAPUserNameLength;
  MQCHAR32 LDAPPassword;
} MQAIR, *PMQAIR;

/* TLS configuration options (version 5). */
typedef struct tagMQSCO {
  MQCHAR4 StrucId;
  MQLONG Version;
  MQCHAR256 KeyRepository;
  MQCHAR256 CryptoHardware;
  MQLONG AuthInfoRecCount;
  MQLONG AuthInfoRecOffset;
  PMQAIR AuthInfoRecPtr;
  /* version 2 */
  MQLONG KeyResetCount;
  MQLONG FipsRequired;
  /* version 3 */
  MQLONG EncryptionPolicySuiteB[4];
  /* version 4 */
  MQLONG CertificateValPolicy;
  /* version 5 */
  MQCHAR64 CertificateLabel;
} MQSCO, *PMQSCO;

/* Security parameters (version 1). */
typedef struct tagMQCSP {
  MQCHAR4 StrucId;
  MQLONG Version;
  MQLONG AuthenticationType;
  MQBYTE Reserved1[4];
  MQPTR CSPUserIdPtr;
  MQLONG CSPUserIdOffset;
  MQLONG CSPUserIdLength;
  MQBYTE Reserved2[8];
  MQPTR CSPPasswordPtr;
  MQLONG CSPPasswordOffset;
  MQLONG CSPPasswordLength;
} MQCSP, *PMQCSP;

/* Connect options (version 6). */
typedef struct tagMQCNO {
  MQCHAR4 StrucId;
  MQLONG Version;
  MQLONG Options;
  /* version 2 */
  MQLONG ClientConnOffset;
  MQPTR ClientConnPtr;
  /* version 3 */
  MQBYTE ConnTag[128];
  /* version 4 */
  PMQSCO SSLConfigPtr;
  MQLONG SSLConfigOffset;
  /* version 5 */
  MQBYTE24 ConnectionId;
  MQLONG SecurityParmsOffset;
  PMQCSP SecurityParmsPtr;
  /* version 6 */
  PMQCHAR CCDTUrlPtr;
  MQLONG CCDTUrlOffset;
  MQLONG CCDTUrlLength;
  MQBYTE Reserved[8];
} MQCNO, *PMQCNO;

/* PCF header and parameter structures. */
typedef struct tagMQCFH {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Version;
  MQLONG Command;
  MQLONG MsgSeqNumber;
  MQLONG Control;
  MQLONG CompCode;
  MQLONG Reason;
  MQLONG ParameterCount;
} MQCFH, *PMQCFH;

typedef struct tagMQCFIN {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Parameter;
  MQLONG Value;
} MQCFIN, *PMQCFIN;

typedef struct tagMQCFIL {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Parameter;
  MQLONG Count;
  MQLONG Values[1];
} MQCFIL, *PMQCFIL;

typedef struct tagMQCFST {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Parameter;
  MQLONG CodedCharSetId;
  MQLONG StringLength;
  MQCHAR String[1];
} MQCFST, *PMQCFST;

typedef struct tagMQCFSL {
  MQLONG Type;
  MQLONG StrucLength;
  MQLONG Parameter;
  MQLONG CodedCharSetId;
  MQLONG Count;
  MQLONG StringLength;
  MQCHAR Strings[1];
} MQCFSL, *PMQCFSL;

/* The layouts must match IBM's byte for byte: the libraries on either side may be IBM's. */
KVARN_MQI_STATIC_ASSERT(sizeof(MQMD) == 364, "MQMD size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQMD, MsgId) == 48, "MQMD.MsgId");
KVARN_MQI_STATIC_ASSERT(offsetof(MQMD, CorrelId) == 72, "MQMD.CorrelId");
KVARN_MQI_STATIC_ASSERT(offsetof(MQMD, ReplyToQ) == 100, "MQMD.ReplyToQ");
KVARN_MQI_STATIC_ASSERT(offsetof(MQMD, PutDate) == 304, "MQMD.PutDate");
KVARN_MQI_STATIC_ASSERT(offsetof(MQMD, GroupId) == 324, "MQMD.GroupId");
KVARN_MQI_STATIC_ASSERT(sizeof(MQOD) == 424, "MQOD size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQOD, DynamicQName) == 108, "MQOD.DynamicQName");
KVARN_MQI_STATIC_ASSERT(offsetof(MQOD, ObjectRecPtr) == 192, "MQOD.ObjectRecPtr");
KVARN_MQI_STATIC_ASSERT(offsetof(MQOD, ResolvedQName) == 248, "MQOD.ResolvedQName");
KVARN_MQI_STATIC_ASSERT(offsetof(MQOD, ObjectString) == 344, "MQOD.ObjectString");
KVARN_MQI_STATIC_ASSERT(offsetof(MQOD, ResolvedType) == 416, "MQOD.ResolvedType");
KVARN_MQI_STATIC_ASSERT(sizeof(MQGMO) == 112, "MQGMO size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQGMO, MatchOptions) == 72, "MQGMO.MatchOptions");
KVARN_MQI_STATIC_ASSERT(offsetof(MQGMO, ReturnedLength) == 96, "MQGMO.ReturnedLength");
KVARN_MQI_STATIC_ASSERT(offsetof(MQGMO, MsgHandle) == 104, "MQGMO.MsgHandle");
KVARN_MQI_STATIC_ASSERT(sizeof(MQPMO) == 184, "MQPMO size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQPMO, ResolvedQMgrName) == 80, "MQPMO.ResolvedQMgrName");
KVARN_MQI_STATIC_ASSERT(offsetof(MQPMO, PutMsgRecPtr) == 144, "MQPMO.PutMsgRecPtr");
KVARN_MQI_STATIC_ASSERT(offsetof(MQPMO, OriginalMsgHandle) == 160, "MQPMO.OriginalMsgHandle");
KVARN_MQI_STATIC_ASSERT(sizeof(MQCD) == 1992, "MQCD size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, UserIdentifier) == 984, "MQCD.UserIdentifier");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, ConnectionName) == 1024, "MQCD.ConnectionName");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, MsgRetryInterval) == 1476, "MQCD.MsgRetryInterval");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, MsgExitPtr) == 1520, "MQCD.MsgExitPtr");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, ClusterPtr) == 1568, "MQCD.ClusterPtr");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, LongMCAUserIdLength) == 1584, "MQCD.LongMCAUserIdLength");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, SSLCipherSpec) == 1688, "MQCD.SSLCipherSpec");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, HdrCompList) == 1792, "MQCD.HdrCompList");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, SharingConversations) == 1884, "MQCD.SharingConversations");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, BatchDataLimit) == 1908, "MQCD.BatchDataLimit");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, CertificateLabel) == 1920, "MQCD.CertificateLabel");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCD, SPLProtection) == 1984, "MQCD.SPLProtection");
KVARN_MQI_STATIC_ASSERT(sizeof(MQAIR) == 328, "MQAIR size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQAIR, LDAPUserNamePtr) == 280, "MQAIR.LDAPUserNamePtr");
KVARN_MQI_STATIC_ASSERT(sizeof(MQSCO) == 632, "MQSCO size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQSCO, AuthInfoRecPtr) == 528, "MQSCO.AuthInfoRecPtr");
KVARN_MQI_STATIC_ASSERT(offsetof(MQSCO, CertificateLabel) == 564, "MQSCO.CertificateLabel");
KVARN_MQI_STATIC_ASSERT(sizeof(MQCSP) == 56, "MQCSP size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCSP, CSPPasswordPtr) == 40, "MQCSP.CSPPasswordPtr");
KVARN_MQI_STATIC_ASSERT(sizeof(MQCNO) == 224, "MQCNO size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCNO, ClientConnPtr) == 16, "MQCNO.ClientConnPtr");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCNO, SSLConfigPtr) == 152, "MQCNO.SSLConfigPtr");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCNO, SecurityParmsPtr) == 192, "MQCNO.SecurityParmsPtr");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCNO, CCDTUrlPtr) == 200, "MQCNO.CCDTUrlPtr");
KVARN_MQI_STATIC_ASSERT(sizeof(MQCFH) == 36, "MQCFH size");
KVARN_MQI_STATIC_ASSERT(sizeof(MQCFIN) == 16, "MQCFIN size");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCFIL, Values) == 16, "MQCFIL.Values");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCFST, String) == 20, "MQCFST.String");
KVARN_MQI_STATIC_ASSERT(offsetof(MQCFSL, Strings) == 24, "MQCFSL.Strings");

#endif
