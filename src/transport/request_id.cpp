#include "transport/request_id.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

const std::string &loginName() {
  static const std::string name = [] {
    if (const passwd *pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name) return std::string(pw->pw_name);
    if (const char *u = std::getenv("USER"); u && *u) return std::string(u);
    return std::string("Unknown");
  }();
  return name;
}

void expandReplyPrefix(std::string_view pattern, MQCHAR48 &dynamicQName) {
  std::string source(pattern);
  if (source.empty()) {
    const char *env = std::getenv("KVARN_REPLY_PREFIX");
    source = env ? env : "KVARN.%U.*";
  }
  std::string out;
  for (size_t i = 0; i < source.size() && out.size() < 48; ++i) {
    char c = source[i];
    if (c != '%') {
      out += c;
      continue;
    }
    if (++i >= source.size()) break;
    if (source[i] == 'U') {
      for (char n : loginName()) out += static_cast<char>(std::toupper(static_cast<unsigned char>(n)));
    } else if (source[i] == 'u') {
      out += loginName();
    } else {
      out += source[i];
    }
  }
  if (out.size() > 48) out.resize(48);
  std::memset(dynamicQName, 0, 48);
  std::memcpy(dynamicQName, out.data(), out.size());
}

void encodeRequestId(const RequestId &id, MQBYTE24 &msgId) {
  std::memset(msgId, 0, 24);
  std::memcpy(msgId, &id.runStamp, 4);
  std::memcpy(msgId + 4, &id.sequence, 4);
  std::memcpy(msgId + 8, &id.context, 8);
  std::memcpy(msgId + 16, &id.handler, 2);
}

RequestId decodeRequestId(const MQBYTE24 &correlId) {
  RequestId id;
  std::memcpy(&id.runStamp, correlId, 4);
  std::memcpy(&id.sequence, correlId + 4, 4);
  std::memcpy(&id.context, correlId + 8, 8);
  std::memcpy(&id.handler, correlId + 16, 2);
  if (id.handler >= kHandlerSlots) id.handler = 0;
  return id;
}

bool isOwnReply(const MQBYTE24 &correlId, uint32_t runStamp) { return std::memcmp(correlId, &runStamp, 4) == 0; }
