#include "console/console_settings.h"

#include <algorithm>

#include "runtime/scan.h"

ConsoleSettings &consoleSettingsOf(ProgramContext &ctx) {
  if (!ctx.consoleSettings) ctx.consoleSettings = std::make_unique<ConsoleSettings>();
  return static_cast<ConsoleSettings &>(*ctx.consoleSettings);
}

const ConsoleSettings &consoleSettingsOf(const ProgramContext &ctx) {
  static const ConsoleSettings kNone;
  return ctx.consoleSettings ? static_cast<const ConsoleSettings &>(*ctx.consoleSettings) : kNone;
}

void addCommandHistory(ProgramContext &ctx, std::string_view command) {
  command = scanTrim(command);
  if (command.empty() || scanEqualsNoCase(command, "end") || scanEqualsNoCase(command, "quit")) return;
  auto &history = consoleSettingsOf(ctx).history;
  std::erase_if(history, [&](const std::string &entry) { return scanEqualsNoCase(entry, command); });
  history.emplace_back(command);
  size_t limit = static_cast<size_t>(std::max<int32_t>(ctx.settings.cmdhist, 1));
  if (history.size() > limit) history.erase(history.begin(), history.end() - static_cast<std::ptrdiff_t>(limit));
}
