// Shared helpers: a ProgramContext whose output is captured, and canned replies built the
// way IBM's command server sends them.
#pragma once
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "driver/context.h"
#include "driver/output.h"
#include "mqi/mqi.h"
#include "mqsc/pcf_message.h"

class CaptureSink : public OutputSink {
public:
  CaptureSink() : OutputSink(nullptr) {}
  void addLine(ProgramContext &, std::string_view text, uint32_t style) override {
    lines.emplace_back(std::string(text), style);
  }
  void flush() override {}
  std::vector<std::pair<std::string, uint32_t>> lines;
  std::string joined() const {
    std::string out;
    for (const auto &l : lines) out += l.first + "\n";
    return out;
  }
};

struct TestContext {
  ProgramContext ctx;
  CaptureSink *sink;
  TestContext() {
    ctx.displayLock.create();
    ctx.consoleLock.create();
    ctx.mode |= kModeFile;
    auto s = std::make_unique<CaptureSink>();
    sink = s.get();
    ctx.output = std::move(s);
  }
};

inline MQMD replyMd(const char *format) {
  MQMD md = kvarn::mqi::defaultMD();
  std::memcpy(md.Format, format, 8);
  return md;
}

// A reply header written over a builder's request header.
inline std::vector<uint8_t> asReply(std::vector<uint8_t> bytes, int32_t control = MQCFC_LAST, int32_t compCode = 0,
                                    int32_t reason = 0) {
  MQCFH h;
  std::memcpy(&h, bytes.data(), sizeof h);
  h.Type = MQCFT_RESPONSE;
  h.Control = control;
  h.CompCode = compCode;
  h.Reason = reason;
  std::memcpy(bytes.data(), &h, sizeof h);
  return bytes;
}

inline std::vector<uint8_t> escapeReply(const std::string &text, int32_t control = MQCFC_LAST, int32_t compCode = 0,
                                        int32_t reason = 0) {
  return asReply(PcfBuilder(MQCMD_ESCAPE).addInteger(MQIACF_ESCAPE_TYPE, MQET_MQSC).addString(MQCACF_ESCAPE_TEXT, text).take(),
                 control, compCode, reason);
}

inline MQCFH headerOf(const std::vector<uint8_t> &bytes) {
  MQCFH h;
  std::memcpy(&h, bytes.data(), sizeof h);
  return h;
}
inline int32_t intAt(const std::vector<uint8_t> &bytes, size_t offset) {
  int32_t v;
  std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}
