#include "driver/prompt.h"

#include <vector>

namespace {

// Whether the section opened by `letter` shows its contents.
bool sectionVisible(char letter, const PromptState &s) {
  bool local = s.connected && !s.client && s.connectedQmgr == s.requestedQmgr;
  switch (letter) {
  case 'a': return s.agentLevelKnown && !s.tolkMode;
  case 'c': return s.connected && s.client;
  case 'C': return s.connected;
  case 'D': return !s.connected;
  case 'e': return s.tolkMode;
  case 'i': return !s.tolkMode;
  case 'l': return local;
  case 'r': return s.connected && !local;
  case 'n': return s.ccdtMode;
  default: return true;
  }
}

bool isSectionLetter(char c) {
  return c == 'a' || c == 'c' || c == 'C' || c == 'D' || c == 'e' || c == 'i' || c == 'l' || c == 'r' || c == 'n';
}

}  // namespace

std::string expandPrompt(std::string_view format, const PromptState &state, PromptRefresh *refresh) {
  std::string out;
  std::vector<char> open;  // sections currently open, innermost last
  int hiddenDepth = 0;     // open sections that hide their contents
  std::vector<bool> hides;
  if (refresh) *refresh = kPromptStatic;
  auto emit = [&](std::string_view text) {
    if (hiddenDepth == 0) out.append(text);
  };
  for (size_t i = 0; i < format.size(); ++i) {
    char c = format[i];
    if (c != '%') {
      emit(std::string_view(&format[i], 1));
      continue;
    }
    if (++i >= format.size()) break;  // a lone % at the end is dropped
    char letter = format[i];
    if (isSectionLetter(letter)) {
      // The first occurrence opens a section, the next one closes it.
      size_t found = open.size();
      for (size_t k = open.size(); k-- > 0;)
        if (open[k] == letter) {
          found = k;
          break;
        }
      if (found == open.size()) {
        bool hide = !sectionVisible(letter, state);
        open.push_back(letter);
        hides.push_back(hide);
        if (hide) ++hiddenDepth;
      } else {
        // Close it, and any sections opened inside it and left open.
        while (open.size() > found) {
          if (hides.back()) --hiddenDepth;
          open.pop_back();
          hides.pop_back();
        }
      }
      continue;
    }
    switch (letter) {
    case '%': emit("%"); break;
    case 'm': emit(state.connectedQmgr); break;
    case 'M': emit(state.requestedQmgr); break;
    case 't':
    case 'T': {
      std::time_t now = state.now ? state.now : std::time(nullptr);
      std::tm tm{};
      localtime_r(&now, &tm);
      char buf[16];
      std::strftime(buf, sizeof buf, letter == 't' ? "%H:%M" : "%H:%M:%S", &tm);
      emit(buf);
      if (refresh) {
        PromptRefresh want = letter == 't' ? kPromptEveryMinute : kPromptEverySecond;
        if (want > *refresh) *refresh = want;
      }
      break;
    }
    default: break;  // any other escape is dropped with its character
    }
  }
  return out;
}
