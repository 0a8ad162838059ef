// The prompt format: %m, %M, %t, %T and the conditional sections %a %c %C %D %e %i %l %r %n.
#pragma once
#include <ctime>
#include <string>
#include <string_view>

struct PromptState {
  std::string connectedQmgr;  // %m: the queue manager actually connected
  std::string requestedQmgr;  // %M: the qm of =conn
  bool connected = false;
  bool client = false;
  bool tolkMode = false;
  bool ccdtMode = false;
  bool agentLevelKnown = false;
  std::time_t now = 0;  // 0: the current time
};

enum PromptRefresh { kPromptStatic = 0, kPromptEveryMinute = 1, kPromptEverySecond = 2 };

// Expands `format`; `refresh` tells how often the prompt needs redrawing.
std::string expandPrompt(std::string_view format, const PromptState &state, PromptRefresh *refresh = nullptr);
