// The MQI entry points of a library loaded with dlopen, for benchmarks that drive a
// queue manager directly (without KVARN's transport).
#pragma once
#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "mqi/mqi.h"

namespace bench {

struct MqApi {
#define BENCH_ENTRY(name, params) PFN_##name name = nullptr;
  KVARN_MQI_ENTRY_POINTS(BENCH_ENTRY)
#undef BENCH_ENTRY
  explicit MqApi(const std::string& path) {
    void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) throw std::runtime_error(::dlerror());
#define BENCH_ENTRY(name, params) name = reinterpret_cast<PFN_##name>(::dlsym(h, #name));
    KVARN_MQI_ENTRY_POINTS(BENCH_ENTRY)
#undef BENCH_ENTRY
  }
};

inline void check(const char* what, MQLONG cc, MQLONG rc) {
  if (cc == MQCC_FAILED) throw std::runtime_error(std::string(what) + " failed with reason " + std::to_string(rc));
}

// Opens a queue; for a model queue, dynamicName receives the name of the queue made.
inline MQHOBJ openQueue(MqApi& api, MQHCONN h, const std::string& queue, MQLONG options,
                        std::string* dynamicName = nullptr) {
  MQOD od = kvarn::mqi::defaultOD();
  kvarn::mqi::setField(od.ObjectName, queue);
  kvarn::mqi::setField(od.DynamicQName, "BENCH.*");
  MQHOBJ hobj;
  MQLONG cc, rc;
  api.MQOPEN(h, &od, options, &hobj, &cc, &rc);
  check("MQOPEN", cc, rc);
  if (dynamicName) *dynamicName = kvarn::mqi::fieldText(od.ObjectName);
  return hobj;
}

}  // namespace bench
