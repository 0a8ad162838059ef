#include "ccdt/channel.h"

#include <utility>

namespace kvarn::ccdt {

void ChannelDefinition::setExitList(ExitList which, std::vector<std::string> entries) {
  std::string first = entries.empty() ? std::string() : std::string(trimTrailingBlanks(entries.front()));
  switch (which) {
  case MsgExits: msgExit = first; break;
  case MsgData: msgUserData = first; break;
  case SendExits: sendExit = first; break;
  case SendData: sendUserData = first; break;
  case ReceiveExits: receiveExit = first; break;
  case ReceiveData: receiveUserData = first; break;
  default: return;
  }
  exitLists[which] = std::move(entries);
}

ChannelDefinition clientConnectionDefaults() { return ChannelDefinition{}; }

std::string channelKey(std::string_view name) {
  std::string key(name.substr(0, kKeyLength));
  key.resize(kKeyLength, ' ');
  return key;
}

std::string_view trimTrailingBlanks(std::string_view text) {
  size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

}  // namespace kvarn::ccdt
