#include "mqsc/vocab_match.h"

#include <algorithm>

namespace vocab {

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EqualsNoCaseSameLength(a.data(), b.data(), a.size());
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (EqualsNoCase(text.substr(i, part.size()), part)) return true;
  return false;
}

bool prefixMatches(std::string_view name, std::string_view prefix) {
  if (!prefix.empty() && prefix.front() == '#') return ContainsNoCase(name, prefix.substr(1));
  return StartsWithNoCase(name, prefix);
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
