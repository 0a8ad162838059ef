// Feeds arbitrary text to the script debugger's prompt as its standard input while a
// fixed script (a function with a loop inside, called from an expression in a loop, and
// a print) runs under it in file mode. Every command the prompt knows can thus meet any
// operand, at a stop in the main program, inside a loop and inside a function, and the
// input ends anywhere. The debugger's own messages go to /dev/null; a statement budget
// ends runs that would go on for ever.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "../support/fuzz_standins.h"
#include "context/context.h"
#include "debugger/debugger.h"
#include "driver/host_wiring.h"
#include "driver/input_lines.h"
#include "runtime/scan.h"
#include "script/executor.h"
#include "script/script_host.h"
#include "script/script_state.h"

using namespace kvarn::script;

namespace {

constexpr std::string_view kScript = "func add(x, y)\n"
                                     "  @s = @x + @y\n"
                                     "  foritem('a,b')\n"
                                     "    @t = @s\n"
                                     "  endfor\n"
                                     "  return @s\n"
                                     "endfunc\n"
                                     "@a = 1\n"
                                     "@i = 0\n"
                                     "while (@i < 3)\n"
                                     "  @i = @i + 1\n"
                                     "  @a = add(@a, @i)\n"
                                     "endwhile\n"
                                     "print 'a is', @a\n";

void issueCommand(ProgramContext& ctx, std::string_view text) {
  std::string command(scanTrim(text));
  size_t end = 0;
  while (end < command.size() && !isScanSpace(command[end])) ++end;
  std::string_view word(command.data(), end);
  if (scanEqualsNoCase(word, "print") || scanEqualsNoCase(word, "fprint")) cmdRunPrint(ctx, command, word.size() == 6);
}

void installHost() {
  static const bool done = [] {
    ProgramContext scratch;
    wireRooms(scratch);
    ScriptHost host = scriptHost();
    host.issueCommand = issueCommand;
    host.collectRecords = nullptr;
    host.ensureConnected = nullptr;
    scriptSetHost(std::move(host));
    kvarn::fuzz::neuterScriptFunctions();
    return true;
  }();
  (void)done;
}

// Swaps a standard stream for the life of a run.
struct StreamSwap {
  StreamSwap(FILE*& stream, FILE* replacement) : stream_(stream), saved_(stream) { stream = replacement; }
  ~StreamSwap() {
    if (stream_ && stream_ != saved_) std::fclose(stream_);
    stream_ = saved_;
  }
  StreamSwap(const StreamSwap&) = delete;
  StreamSwap& operator=(const StreamSwap&) = delete;
  FILE*& stream_;
  FILE* saved_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  installHost();
  std::string commands(reinterpret_cast<const char*>(data), size);
  std::string script(kScript);
  FILE* typed = fmemopen(commands.data(), commands.size() ? commands.size() : 1, "r");
  FILE* quiet = std::fopen("/dev/null", "w");
  if (!typed || !quiet) {
    if (typed) std::fclose(typed);
    if (quiet) std::fclose(quiet);
    return 0;
  }
  if (commands.empty()) std::fgetc(typed);  // an empty stream: at its end at once
  StreamSwap input(stdin, typed);
  StreamSwap errors(stderr, quiet);
  {
    ProgramContext ctx;
    if (!kvarn::fuzz::prepareFileModeContext(ctx)) return 0;
    InputSource& main = *ctx.mainInput;
    ctx.input = &main;
    kvarn::debugger::debuggerStart(ctx);
    ScriptState& state = scriptState(ctx);
    state.statementHook = [left = kvarn::fuzz::kStatementBudget](ProgramContext& c, CommandNode& node,
                                                                 HookEvent event) mutable {
      if (event == HookEvent::Statement && --left <= 0) c.quit = true;
      else kvarn::debugger::debuggerHook(c, node, event);
    };
    main.stream = fmemopen(script.data(), script.size(), "r");
    if (!main.stream) return 0;
    main.ownsStream = true;
    main.readLine = readFileLine;
    cmdRunSource(ctx, main);
    (void)state.closeAllFiles();
  }
  return 0;
}
