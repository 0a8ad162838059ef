// =repeat: a command issued again and again at the console, each response replacing the
// last, until Escape is pressed.
#include <algorithm>
#include <chrono>
#include <thread>

#include "console/console_settings.h"
#include "context/context.h"
#include "context/output.h"
#include "driver/local_handlers.h"
#include "runtime/scan.h"
#include "runtime/signals.h"
#include "script/compiler.h"
#include "script/executor.h"
#include "script/script_host.h"

namespace {

constexpr int64_t kDefaultDelay = 10;
constexpr int64_t kMaxDelay = 100000;
constexpr int kEscape = 27;

class RepeatRunning {
 public:
  explicit RepeatRunning(ProgramContext &ctx) : ctx_(ctx) { consoleSettingsOf(ctx).view.repeating = true; }
  ~RepeatRunning() {
    consoleSettingsOf(ctx_).view.repeating = false;
    consoleSettingsOf(ctx_).view.message.clear();
  }
  RepeatRunning(const RepeatRunning &) = delete;
  RepeatRunning &operator=(const RepeatRunning &) = delete;

 private:
  ProgramContext &ctx_;
};

bool parseDelay(std::string_view text, int64_t &delay) {
  std::string_view t = scanTrim(text);
  if (t.empty() || t.size() > 12) return false;
  int64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  delay = v;
  return v >= 1 && v <= kMaxDelay;
}

size_t outputLines(ProgramContext &ctx) {
  OwnedMutexGuard guard(ctx.output->lock());
  return ctx.output->screen(kScreenMqsc).size();
}

// Removes what the repetitions wrote since `start`.
void dropOutputSince(ProgramContext &ctx, size_t start) {
  OwnedMutexGuard guard(ctx.output->lock());
  ScreenLines &lines = ctx.output->screen(kScreenMqsc);
  if (lines.size() > start) lines.truncate(start);
  consoleSettingsOf(ctx).view.redrawWanted = true;
}

// Waits until `until`, watching the keyboard; true when Escape was pressed (or the run
// is being stopped).
bool waitWatchingKeys(ProgramContext &ctx, std::chrono::steady_clock::time_point until) {
  const auto &host = kvarn::script::scriptHost();
  for (;;) {
    if (stopRequested()) noteStopSignal(ctx);
    if (ctx.quit) return true;
    auto leftMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
    if (leftMs <= 0) return false;
    int seconds = static_cast<int>(std::min<int64_t>((leftMs + 999) / 1000, 25));
    if (host.consoleKey) {
      if (host.consoleKey(ctx, seconds) == kEscape) return true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
}

std::string repeatingMessage(const std::string &command) {
  if (command.size() > 100) return strFormat("Repeating command '%97.97s...' <press ESC to end>", command.c_str());
  return strFormat("Repeating command '%s' <press ESC to end>", command.c_str());
}

}  // namespace

void cslDoRepeatCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (ctx.fileMode()) return reportIgnoredInFileMode(ctx, cmd.text);
  if (consoleSettingsOf(ctx).view.repeating) return addError(ctx, "You can not nest =REPEAT commands");
  std::string command(scanTrim(cmd.value("cmd")));
  if (!cmd.has("cmd") || command.empty()) return addError(ctx, "Please enter a command to invoke");
  int64_t delay = kDefaultDelay;
  if (cmd.has("delay") && !parseDelay(cmd.value("delay"), delay))
    return addError(ctx, "The value for delay() should be between 1 and 100,000");
  bool clear = cmd.has("clear"), keep = cmd.has("keep"), history = cmd.has("history");

  RepeatRunning running(ctx);
  if (clear) clearScreen(ctx);
  size_t start = outputLines(ctx);
  consoleSettingsOf(ctx).view.message = repeatingMessage(command);
  kvarn::script::NodeList compiled;
  if (!kvarn::script::cmdCompileText(ctx, command, kvarn::script::CompileTarget{&compiled, nullptr, 1})) return;
  for (;;) {
    auto began = std::chrono::steady_clock::now();
    if (!history) dropOutputSince(ctx, start);
    kvarn::script::cmdRunCommands(ctx, compiled.head());
    if (ctx.quit) break;
    if (waitWatchingKeys(ctx, began + std::chrono::seconds(delay))) break;
  }
  if (!keep && !history) dropOutputSince(ctx, start);
  if (clear && !keep && !history) clearScreen(ctx);
}

std::vector<LocalCommand> repeatLocalCommands() {
  return {{"=repeat",
           "Issue a command repeatedly",
           {{"clear", "Clear screen before issuing command", {}},
            {"cmd", "Command to enter", kLocalAnyValue},
            {"delay", "Delay between successive invocations",
             localNumberOf("<delay>", "Number of seconds between invocations")},
            {"keep", "Keep last command response", {}},
            {"history", "Keep history of all responses", {}}},
           {},
           cslDoRepeatCommand}};
}
