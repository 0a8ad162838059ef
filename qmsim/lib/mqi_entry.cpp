// The exported MQI: IBM's 25 entry points with C linkage. Each call checks the
// caller's structures, copies the part its version covers into a full structure,
// runs the operation on the connection's backend and copies the result back, so a
// version 1 structure is never written beyond its own length.
#define KVARN_MQI_ENTRY __attribute__((visibility("default")))

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "lib/backend.h"
#include "mqi/mqi.h"

using qmsim::Backend;
using qmsim::Outcome;

namespace {

std::mutex gConnMutex;
std::map<MQHCONN, std::shared_ptr<Backend>> gConnections;
MQHCONN gNextHconn = 0x01000001;

std::shared_ptr<Backend> backendFor(MQHCONN hconn) {
  std::lock_guard lk(gConnMutex);
  auto it = gConnections.find(hconn);
  return it == gConnections.end() ? nullptr : it->second;
}

void report(const Outcome& o, PMQLONG pCompCode, PMQLONG pReason) {
  if (pCompCode) *pCompCode = o.compCode;
  if (pReason) *pReason = o.reason;
}

// Length of a structure version; 0 for a version this library does not know.
size_t odLength(MQLONG v) {
  return v == 1 ? MQOD_LENGTH_1 : v == 2 ? MQOD_LENGTH_2 : v == 3 ? MQOD_LENGTH_3 : v == 4 ? sizeof(MQOD) : 0;
}
size_t mdLength(MQLONG v) { return v == 1 ? MQMD_LENGTH_1 : v == 2 ? sizeof(MQMD) : 0; }
size_t gmoLength(MQLONG v) {
  return v == 1 ? MQGMO_LENGTH_1 : v == 2 ? MQGMO_LENGTH_2 : v == 3 ? MQGMO_LENGTH_3 : v == 4 ? sizeof(MQGMO) : 0;
}
size_t pmoLength(MQLONG v) { return v == 1 ? MQPMO_LENGTH_1 : v == 2 ? MQPMO_LENGTH_2 : v == 3 ? sizeof(MQPMO) : 0; }

// Copies a caller's structure of the given kind into full, over its defaults.
template <typename T>
bool takeStruct(const void* p, const char* strucId, size_t (*lengthOf)(MQLONG), T& full, size_t& length) {
  if (p == nullptr) return false;
  char head[8];
  std::memcpy(head, p, 8);
  MQLONG version;
  std::memcpy(&version, head + 4, 4);
  length = lengthOf(version);
  if (std::memcmp(head, strucId, 4) != 0 || length == 0) return false;
  std::memcpy(&full, p, length);
  return true;
}

template <typename T>
void giveStruct(void* p, const T& full, size_t length) {
  std::memcpy(p, &full, length);
}

std::string qmgrNameArg(const char* p) {
  if (p == nullptr) return "";
  size_t n = 0;
  while (n < 48 && p[n] != '\0') ++n;
  std::string name(p, n);
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (!name.empty() && name.front() == '*') name.erase(0, 1);  // a queue manager group: any of them
  return name;
}

Outcome readCredentials(const MQCNO& cno, qmsim::ConnectRequest& request) {
  if (cno.Version < MQCNO_VERSION_5) return {};
  const MQCSP* csp = cno.SecurityParmsPtr;
  if (csp == nullptr && cno.SecurityParmsOffset > 0)
    csp = reinterpret_cast<const MQCSP*>(reinterpret_cast<const char*>(&cno) + cno.SecurityParmsOffset);
  if (csp == nullptr) return {};
  if (std::memcmp(csp->StrucId, MQCSP_STRUC_ID, 4) != 0 || csp->Version < 1) return Outcome::fail(MQRC_CSP_ERROR);
  if (csp->AuthenticationType != MQCSP_AUTH_USER_ID_AND_PWD) return {};
  auto text = [&](MQPTR ptr, MQLONG offset, MQLONG length) -> std::string {
    if (length <= 0) return "";
    const char* p = static_cast<const char*>(ptr);
    if (p == nullptr && offset > 0) p = reinterpret_cast<const char*>(csp) + offset;
    return p ? std::string(p, static_cast<size_t>(length)) : std::string();
  };
  request.userId = text(csp->CSPUserIdPtr, csp->CSPUserIdOffset, csp->CSPUserIdLength);
  request.password = text(csp->CSPPasswordPtr, csp->CSPPasswordOffset, csp->CSPPasswordLength);
  request.credentials = true;
  return {};
}

}  // namespace

// No C++ exception may cross the C interface into the caller: whatever escapes an
// operation becomes a reason code.
#define QMSIM_ENTRY_CATCH(pCompCode, pReason)                                                                          \
  catch (const std::bad_alloc&) {                                                                                      \
    report(Outcome::fail(MQRC_STORAGE_NOT_AVAILABLE), pCompCode, pReason);                                             \
  }                                                                                                                    \
  catch (...) {                                                                                                        \
    report(Outcome::fail(MQRC_UNEXPECTED_ERROR), pCompCode, pReason);                                                  \
  }

extern "C" {

KVARN_MQI_ENTRY void MQCONNX(PMQCHAR pQMgrName, PMQCNO pConnectOpts, PMQHCONN pHconn, PMQLONG pCompCode,
                             PMQLONG pReason) try {
  if (pHconn == nullptr) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  *pHconn = MQHC_UNUSABLE_HCONN;
  qmsim::ConnectRequest request;
  request.qmgrName = qmgrNameArg(pQMgrName);
  if (pConnectOpts) {
    if (std::memcmp(pConnectOpts->StrucId, MQCNO_STRUC_ID, 4) != 0 || pConnectOpts->Version < 1 ||
        pConnectOpts->Version > 8)
      return report(Outcome::fail(MQRC_CNO_ERROR), pCompCode, pReason);
    request.cno = pConnectOpts;
    if (Outcome o = readCredentials(*pConnectOpts, request); !o.ok()) return report(o, pCompCode, pReason);
  }
  std::unique_ptr<Backend> backend;
  Outcome o = qmsim::connectBackend(request, backend);
  if (!o.ok()) return report(o, pCompCode, pReason);
  std::lock_guard lk(gConnMutex);
  MQHCONN hconn = gNextHconn++;
  gConnections[hconn] = std::move(backend);
  *pHconn = hconn;
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQCONN(PMQCHAR pQMgrName, PMQHCONN pHconn, PMQLONG pCompCode, PMQLONG pReason) try {
  MQCONNX(pQMgrName, nullptr, pHconn, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQDISC(PMQHCONN pHconn, PMQLONG pCompCode, PMQLONG pReason) try {
  if (pHconn == nullptr) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  std::shared_ptr<Backend> backend;
  {
    std::lock_guard lk(gConnMutex);
    auto it = gConnections.find(*pHconn);
    if (it == gConnections.end()) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
    backend = std::move(it->second);
    gConnections.erase(it);
  }
  Outcome o = backend->disconnect();
  *pHconn = MQHC_UNUSABLE_HCONN;
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQOPEN(MQHCONN Hconn, PMQVOID pObjDesc, MQLONG Options, PMQHOBJ pHobj, PMQLONG pCompCode,
                            PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  if (!backend) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  if (pHobj == nullptr) return report(Outcome::fail(MQRC_HOBJ_ERROR), pCompCode, pReason);
  MQOD od = kvarn::mqi::defaultOD();
  size_t odLen = 0;
  if (!takeStruct(pObjDesc, MQOD_STRUC_ID, odLength, od, odLen))
    return report(Outcome::fail(MQRC_OD_ERROR), pCompCode, pReason);
  MQHOBJ hobj = MQHO_UNUSABLE_HOBJ;
  Outcome o = backend->open(od, Options, hobj);
  if (o.ok()) giveStruct(pObjDesc, od, odLen);
  *pHobj = o.ok() ? hobj : MQHO_UNUSABLE_HOBJ;
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQCLOSE(MQHCONN Hconn, PMQHOBJ pHobj, MQLONG Options, PMQLONG pCompCode, PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  if (!backend) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  if (pHobj == nullptr) return report(Outcome::fail(MQRC_HOBJ_ERROR), pCompCode, pReason);
  MQHOBJ hobj = *pHobj;
  Outcome o = backend->close(hobj, Options);
  if (o.ok()) *pHobj = MQHO_UNUSABLE_HOBJ;
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

extern "C++" {  // helpers of the entry points, not entry points themselves
namespace {
// The message descriptor, put options and buffer shared by MQPUT and MQPUT1.
Outcome takePutArguments(PMQVOID pMsgDesc, PMQVOID pPutMsgOpts, MQLONG BufferLength, PMQVOID pBuffer, MQMD& md,
                         size_t& mdLen, MQPMO& pmo, size_t& pmoLen, std::string_view& data) {
  if (!takeStruct(pMsgDesc, MQMD_STRUC_ID, mdLength, md, mdLen)) return Outcome::fail(MQRC_MD_ERROR);
  if (!takeStruct(pPutMsgOpts, MQPMO_STRUC_ID, pmoLength, pmo, pmoLen)) return Outcome::fail(MQRC_PMO_ERROR);
  if (BufferLength < 0) return Outcome::fail(MQRC_BUFFER_LENGTH_ERROR);
  if (BufferLength > 0 && pBuffer == nullptr) return Outcome::fail(MQRC_BUFFER_ERROR);
  data = std::string_view(static_cast<const char*>(pBuffer), BufferLength > 0 ? static_cast<size_t>(BufferLength) : 0);
  return Outcome{};
}
}  // namespace
}  // extern "C++"

KVARN_MQI_ENTRY void MQPUT(MQHCONN Hconn, MQHOBJ Hobj, PMQVOID pMsgDesc, PMQVOID pPutMsgOpts, MQLONG BufferLength,
                           PMQVOID pBuffer, PMQLONG pCompCode, PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  if (!backend) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  MQMD md = kvarn::mqi::defaultMD();
  MQPMO pmo = kvarn::mqi::defaultPMO();
  size_t mdLen = 0, pmoLen = 0;
  std::string_view data;
  if (Outcome bad = takePutArguments(pMsgDesc, pPutMsgOpts, BufferLength, pBuffer, md, mdLen, pmo, pmoLen, data);
      !bad.ok())
    return report(bad, pCompCode, pReason);
  Outcome o = backend->put(Hobj, md, pmo, data);
  if (o.ok()) {
    giveStruct(pMsgDesc, md, mdLen);
    giveStruct(pPutMsgOpts, pmo, pmoLen);
  }
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQPUT1(MQHCONN Hconn, PMQVOID pObjDesc, PMQVOID pMsgDesc, PMQVOID pPutMsgOpts, MQLONG BufferLength,
                            PMQVOID pBuffer, PMQLONG pCompCode, PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  if (!backend) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  MQOD od = kvarn::mqi::defaultOD();
  MQMD md = kvarn::mqi::defaultMD();
  MQPMO pmo = kvarn::mqi::defaultPMO();
  size_t odLen = 0, mdLen = 0, pmoLen = 0;
  if (!takeStruct(pObjDesc, MQOD_STRUC_ID, odLength, od, odLen))
    return report(Outcome::fail(MQRC_OD_ERROR), pCompCode, pReason);
  std::string_view data;
  if (Outcome bad = takePutArguments(pMsgDesc, pPutMsgOpts, BufferLength, pBuffer, md, mdLen, pmo, pmoLen, data);
      !bad.ok())
    return report(bad, pCompCode, pReason);
  Outcome o = backend->put1(od, md, pmo, data);
  if (o.ok()) {
    giveStruct(pObjDesc, od, odLen);
    giveStruct(pMsgDesc, md, mdLen);
    giveStruct(pPutMsgOpts, pmo, pmoLen);
  }
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQGET(MQHCONN Hconn, MQHOBJ Hobj, PMQVOID pMsgDesc, PMQVOID pGetMsgOpts, MQLONG BufferLength,
                           PMQVOID pBuffer, PMQLONG pDataLength, PMQLONG pCompCode, PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  if (!backend) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  MQMD md = kvarn::mqi::defaultMD();
  MQGMO gmo = kvarn::mqi::defaultGMO();
  size_t mdLen = 0, gmoLen = 0;
  if (!takeStruct(pMsgDesc, MQMD_STRUC_ID, mdLength, md, mdLen))
    return report(Outcome::fail(MQRC_MD_ERROR), pCompCode, pReason);
  if (!takeStruct(pGetMsgOpts, MQGMO_STRUC_ID, gmoLength, gmo, gmoLen))
    return report(Outcome::fail(MQRC_GMO_ERROR), pCompCode, pReason);
  if (pDataLength == nullptr) return report(Outcome::fail(MQRC_DATA_LENGTH_ERROR), pCompCode, pReason);
  if (BufferLength < 0) return report(Outcome::fail(MQRC_BUFFER_LENGTH_ERROR), pCompCode, pReason);
  if (BufferLength > 0 && pBuffer == nullptr) return report(Outcome::fail(MQRC_BUFFER_ERROR), pCompCode, pReason);
  MQLONG dataLength = 0;
  Outcome o = backend->get(Hobj, md, gmo, BufferLength, static_cast<char*>(pBuffer), dataLength);
  // A 2080 still describes the message, so the caller can size its buffer.
  if (o.ok() || o.reason == MQRC_TRUNCATED_MSG_FAILED) {
    giveStruct(pMsgDesc, md, mdLen);
    giveStruct(pGetMsgOpts, gmo, gmoLen);
    *pDataLength = dataLength;
  }
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

extern "C++" {  // helpers of the entry points, not entry points themselves
namespace {
// The selector and attribute arrays of MQINQ and MQSET, checked as IBM checks them.
Outcome checkAttributeArrays(MQLONG selectorCount, PMQLONG selectors, MQLONG intAttrCount, PMQLONG intAttrs,
                             MQLONG charAttrLength, PMQCHAR charAttrs) {
  if (selectorCount < 0 || selectorCount > 256 || (selectorCount > 0 && selectors == nullptr))
    return Outcome::fail(MQRC_SELECTOR_COUNT_ERROR);
  if (intAttrCount < 0 || (intAttrCount > 0 && intAttrs == nullptr)) return Outcome::fail(MQRC_INT_ATTR_COUNT_ERROR);
  if (charAttrLength < 0 || (charAttrLength > 0 && charAttrs == nullptr))
    return Outcome::fail(MQRC_CHAR_ATTR_LENGTH_ERROR);
  return Outcome{};
}
}  // namespace
}  // extern "C++"

KVARN_MQI_ENTRY void MQINQ(MQHCONN Hconn, MQHOBJ Hobj, MQLONG SelectorCount, PMQLONG pSelectors, MQLONG IntAttrCount,
                           PMQLONG pIntAttrs, MQLONG CharAttrLength, PMQCHAR pCharAttrs, PMQLONG pCompCode,
                           PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  if (!backend) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  if (Outcome bad =
          checkAttributeArrays(SelectorCount, pSelectors, IntAttrCount, pIntAttrs, CharAttrLength, pCharAttrs);
      !bad.ok())
    return report(bad, pCompCode, pReason);
  Outcome o = backend->inquire(Hobj, {pSelectors, static_cast<size_t>(SelectorCount)},
                               {pIntAttrs, static_cast<size_t>(IntAttrCount)},
                               {pCharAttrs, static_cast<size_t>(CharAttrLength)});
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQSET(MQHCONN Hconn, MQHOBJ Hobj, MQLONG SelectorCount, PMQLONG pSelectors, MQLONG IntAttrCount,
                           PMQLONG pIntAttrs, MQLONG CharAttrLength, PMQCHAR pCharAttrs, PMQLONG pCompCode,
                           PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  if (!backend) return report(Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
  if (Outcome bad =
          checkAttributeArrays(SelectorCount, pSelectors, IntAttrCount, pIntAttrs, CharAttrLength, pCharAttrs);
      !bad.ok())
    return report(bad, pCompCode, pReason);
  Outcome o =
      backend->set(Hobj, {pSelectors, static_cast<size_t>(SelectorCount)},
                   {pIntAttrs, static_cast<size_t>(IntAttrCount)}, {pCharAttrs, static_cast<size_t>(CharAttrLength)});
  report(o, pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQCMIT(MQHCONN Hconn, PMQLONG pCompCode, PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  report(backend ? backend->commit() : Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

KVARN_MQI_ENTRY void MQBACK(MQHCONN Hconn, PMQLONG pCompCode, PMQLONG pReason) try {
  auto backend = backendFor(Hconn);
  report(backend ? backend->backout() : Outcome::fail(MQRC_HCONN_ERROR), pCompCode, pReason);
}
QMSIM_ENTRY_CATCH(pCompCode, pReason)

// The rest of the entry table exists so that loaders find every name; none is supported.
#define QMSIM_UNSUPPORTED(name, params)                                                                                \
  KVARN_MQI_ENTRY void name params { report(Outcome::fail(MQRC_FUNCTION_NOT_SUPPORTED), pCompCode, pReason); }
QMSIM_UNSUPPORTED(MQSUB, (MQHCONN, PMQVOID, PMQHOBJ, PMQHOBJ, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQSUBRQ, (MQHCONN, MQHOBJ, MQLONG, PMQVOID, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQCB, (MQHCONN, MQLONG, PMQVOID, MQHOBJ, PMQVOID, PMQVOID, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQCTL, (MQHCONN, MQLONG, PMQVOID, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQCRTMH, (MQHCONN, PMQVOID, PMQHMSG, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQDLTMH, (MQHCONN, PMQHMSG, PMQVOID, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQINQMP, (MQHCONN, MQHMSG, PMQVOID, PMQVOID, PMQVOID, PMQLONG, MQLONG, PMQVOID, PMQLONG,
                            PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQSETMP, (MQHCONN, MQHMSG, PMQVOID, PMQVOID, PMQVOID, MQLONG, MQLONG, PMQVOID, PMQLONG pCompCode,
                            PMQLONG pReason))
QMSIM_UNSUPPORTED(MQDLTMP, (MQHCONN, MQHMSG, PMQVOID, PMQVOID, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQBUFMH,
                  (MQHCONN, MQHMSG, PMQVOID, PMQVOID, MQLONG, PMQVOID, PMQLONG, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQMHBUF, (MQHCONN, MQHMSG, PMQVOID, PMQVOID, PMQVOID, MQLONG, PMQVOID, PMQLONG, PMQLONG pCompCode,
                            PMQLONG pReason))
QMSIM_UNSUPPORTED(MQSTAT, (MQHCONN, MQLONG, PMQVOID, PMQLONG pCompCode, PMQLONG pReason))
QMSIM_UNSUPPORTED(MQXCNVC, (MQHCONN, MQLONG, MQLONG, MQLONG, PMQCHAR, MQLONG, MQLONG, PMQCHAR, PMQLONG,
                            PMQLONG pCompCode, PMQLONG pReason))
#undef QMSIM_UNSUPPORTED

}  // extern "C"
