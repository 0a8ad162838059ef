// The 25 MQI entry points of the MQ entry table, with IBM's C signatures, and a
// pointer type for each so that callers can fetch them with dlsym.
#ifndef KVARN_MQI_MQ_ENTRY_H
#define KVARN_MQI_MQ_ENTRY_H

#include "mqi/mq_types.h"

typedef MQHMSG* PMQHMSG;

#ifndef KVARN_MQI_ENTRY
#define KVARN_MQI_ENTRY
#endif

#define KVARN_MQI_ENTRY_POINTS(X)                                                                                      \
  X(MQBACK, (MQHCONN Hconn, PMQLONG pCompCode, PMQLONG pReason))                                                       \
  X(MQCLOSE, (MQHCONN Hconn, PMQHOBJ pHobj, MQLONG Options, PMQLONG pCompCode, PMQLONG pReason))                       \
  X(MQCMIT, (MQHCONN Hconn, PMQLONG pCompCode, PMQLONG pReason))                                                       \
  X(MQCONN, (PMQCHAR pQMgrName, PMQHCONN pHconn, PMQLONG pCompCode, PMQLONG pReason))                                  \
  X(MQCONNX, (PMQCHAR pQMgrName, PMQCNO pConnectOpts, PMQHCONN pHconn, PMQLONG pCompCode, PMQLONG pReason))            \
  X(MQDISC, (PMQHCONN pHconn, PMQLONG pCompCode, PMQLONG pReason))                                                     \
  X(MQGET, (MQHCONN Hconn, MQHOBJ Hobj, PMQVOID pMsgDesc, PMQVOID pGetMsgOpts, MQLONG BufferLength, PMQVOID pBuffer,   \
            PMQLONG pDataLength, PMQLONG pCompCode, PMQLONG pReason))                                                  \
  X(MQINQ, (MQHCONN Hconn, MQHOBJ Hobj, MQLONG SelectorCount, PMQLONG pSelectors, MQLONG IntAttrCount,                 \
            PMQLONG pIntAttrs, MQLONG CharAttrLength, PMQCHAR pCharAttrs, PMQLONG pCompCode, PMQLONG pReason))         \
  X(MQOPEN, (MQHCONN Hconn, PMQVOID pObjDesc, MQLONG Options, PMQHOBJ pHobj, PMQLONG pCompCode, PMQLONG pReason))      \
  X(MQPUT, (MQHCONN Hconn, MQHOBJ Hobj, PMQVOID pMsgDesc, PMQVOID pPutMsgOpts, MQLONG BufferLength, PMQVOID pBuffer,   \
            PMQLONG pCompCode, PMQLONG pReason))                                                                       \
  X(MQPUT1, (MQHCONN Hconn, PMQVOID pObjDesc, PMQVOID pMsgDesc, PMQVOID pPutMsgOpts, MQLONG BufferLength,              \
             PMQVOID pBuffer, PMQLONG pCompCode, PMQLONG pReason))                                                     \
  X(MQSET, (MQHCONN Hconn, MQHOBJ Hobj, MQLONG SelectorCount, PMQLONG pSelectors, MQLONG IntAttrCount,                 \
            PMQLONG pIntAttrs, MQLONG CharAttrLength, PMQCHAR pCharAttrs, PMQLONG pCompCode, PMQLONG pReason))         \
  X(MQSUB, (MQHCONN Hconn, PMQVOID pSubDesc, PMQHOBJ pHobj, PMQHOBJ pHsub, PMQLONG pCompCode, PMQLONG pReason))        \
  X(MQSUBRQ, (MQHCONN Hconn, MQHOBJ Hsub, MQLONG Action, PMQVOID pSubRqOpts, PMQLONG pCompCode, PMQLONG pReason))      \
  X(MQCB, (MQHCONN Hconn, MQLONG Operation, PMQVOID pCallbackDesc, MQHOBJ Hobj, PMQVOID pMsgDesc, PMQVOID pGetMsgOpts, \
           PMQLONG pCompCode, PMQLONG pReason))                                                                        \
  X(MQCTL, (MQHCONN Hconn, MQLONG Operation, PMQVOID pControlOpts, PMQLONG pCompCode, PMQLONG pReason))                \
  X(MQCRTMH, (MQHCONN Hconn, PMQVOID pCrtMsgHOpts, PMQHMSG pHmsg, PMQLONG pCompCode, PMQLONG pReason))                 \
  X(MQDLTMH, (MQHCONN Hconn, PMQHMSG pHmsg, PMQVOID pDltMsgHOpts, PMQLONG pCompCode, PMQLONG pReason))                 \
  X(MQINQMP, (MQHCONN Hconn, MQHMSG Hmsg, PMQVOID pInqPropOpts, PMQVOID pName, PMQVOID pPropDesc, PMQLONG pType,       \
              MQLONG ValueLength, PMQVOID pValue, PMQLONG pDataLength, PMQLONG pCompCode, PMQLONG pReason))            \
  X(MQSETMP, (MQHCONN Hconn, MQHMSG Hmsg, PMQVOID pSetPropOpts, PMQVOID pName, PMQVOID pPropDesc, MQLONG Type,         \
              MQLONG ValueLength, PMQVOID pValue, PMQLONG pCompCode, PMQLONG pReason))                                 \
  X(MQDLTMP, (MQHCONN Hconn, MQHMSG Hmsg, PMQVOID pDltPropOpts, PMQVOID pName, PMQLONG pCompCode, PMQLONG pReason))    \
  X(MQBUFMH, (MQHCONN Hconn, MQHMSG Hmsg, PMQVOID pBufMsgHOpts, PMQVOID pMsgDesc, MQLONG BufferLength,                 \
              PMQVOID pBuffer, PMQLONG pDataLength, PMQLONG pCompCode, PMQLONG pReason))                               \
  X(MQMHBUF, (MQHCONN Hconn, MQHMSG Hmsg, PMQVOID pMsgHBufOpts, PMQVOID pName, PMQVOID pMsgDesc, MQLONG BufferLength,  \
              PMQVOID pBuffer, PMQLONG pDataLength, PMQLONG pCompCode, PMQLONG pReason))                               \
  X(MQSTAT, (MQHCONN Hconn, MQLONG Type, PMQVOID pStatus, PMQLONG pCompCode, PMQLONG pReason))                         \
  X(MQXCNVC, (MQHCONN Hconn, MQLONG Options, MQLONG SourceCCSID, MQLONG SourceLength, PMQCHAR pSourceBuffer,           \
              MQLONG TargetCCSID, MQLONG TargetLength, PMQCHAR pTargetBuffer, PMQLONG pDataLength, PMQLONG pCompCode,  \
              PMQLONG pReason))

#ifdef __cplusplus
extern "C" {
#endif

/* Prototypes, and a pointer type named PFN_<entry> for each entry. */
#define KVARN_MQI_DECLARE(name, params)                                                                                \
  KVARN_MQI_ENTRY void name params;                                                                                    \
  typedef void(*PFN_##name) params;
KVARN_MQI_ENTRY_POINTS(KVARN_MQI_DECLARE)
#undef KVARN_MQI_DECLARE

#ifdef __cplusplus
}
#endif

#endif
