// Shared helpers: a ProgramContext whose output is captured, and canned replies built the
// way IBM's command server sends them.
#pragma once
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../support/captured_output.h"
#include "context/context.h"
#include "context/output.h"
#include "mqi/mqi.h"
#include "mqsc/pcf_message.h"

struct TestContext {
  ProgramContext ctx;
  CapturedOutput captured;
  CapturedOutput *sink = &captured;
  TestContext() {
    ctx.displayLock.create();
    ctx.consoleLock.create();
    ctx.mode |= kModeFile;
    captured.attach(ctx);
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
  return asReply(
      PcfBuilder(MQCMD_ESCAPE).addInteger(MQIACF_ESCAPE_TYPE, MQET_MQSC).addString(MQCACF_ESCAPE_TEXT, text).take(),
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
