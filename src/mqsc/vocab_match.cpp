#include "mqsc/vocab_match.h"

#include <algorithm>

#include "text/text.h"

namespace vocab {

bool prefixMatches(std::string_view name, std::string_view prefix) {
  if (!prefix.empty() && prefix.front() == '#') return scanContainsNoCase(name, prefix.substr(1));
  return scanStartsWithNoCase(name, prefix);
}

void setMessage(std::string* message, std::string_view format, std::string_view word) {
  if (!message) return;
  constexpr size_t kMessageWidth = 77;
  const size_t room = format.size() < kMessageWidth ? kMessageWidth - format.size() : 0;
  std::string shown(word.substr(0, std::min(word.size(), room)));
  if (word.size() > room) shown += "...";
  const size_t at = format.find("%s");
  if (at == std::string_view::npos) {
    message->assign(format);
    return;
  }
  message->assign(format.substr(0, at));
  message->append(shown);
  message->append(format.substr(at + 2));
}

}  // namespace vocab
