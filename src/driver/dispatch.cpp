#include "driver/dispatch.h"

#include <strings.h>

#include "driver/context.h"
#include "driver/local_commands.h"
#include "driver/output.h"
#include "driver/reader.h"
#include "runtime/scan.h"

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::string_view firstWord(std::string_view text) {
  text = scanTrim(text);
  size_t end = 0;
  while (end < text.size() && !isScanSpace(text[end]) && text[end] != '(') ++end;
  return text.substr(0, end);
}

void echoCommand(ProgramContext &ctx, std::string_view text) {
  if (ctx.runningBootstrap) return;
  const InputSource *src = ctx.input ? ctx.input : ctx.mainInput.get();
  bool visible = src->echo.input && src->echo.cmds;
  addCommandEcho(ctx, text, visible);
}

} // namespace

void cslIssueCommand(ProgramContext &ctx, std::string_view text) {
  std::string command(scanTrim(text));
  if (command.empty()) return;
  if (runSynonym(ctx, command)) return;
  switch (command[0]) {
  case '/':
    // Find works on the console's output buffer; file mode has nothing to search.
    return;
  case '=':
    cslIssueLocalCommand(ctx, ctx.input, command, IssueFromUser);
    return;
  default: break;
  }
  echoCommand(ctx, command);
  cslIssueMQCommand(ctx, command, MqCommandArgs{});
}

int cslIssueMQCommand(ProgramContext &ctx, std::string_view text, const MqCommandArgs &args) {
  if (ctx.trace.dispatch) std::fprintf(stderr, "cslIssueMQCommand '%.*s'\n", static_cast<int>(text.size()), text.data());
  std::string_view word = firstWord(text);
  if (equalsNoCase(word, "end") || equalsNoCase(word, "quit")) {
    ctx.quit = true;
    return 1;
  }
  if (scanTrim(text).empty()) return 0;
  // No command transport is linked in: every MQSC command finds no connection.
  if (args.issueKind != IssueKindFromStartup) addError(ctx, "Not currently connected.");
  countCommand(ctx, false);
  return 0;
}

void runStringSource(ProgramContext &ctx, const std::string &text, const std::string &name) {
  InputSource src;
  InputSource *parent = ctx.input ? ctx.input : ctx.mainInput.get();
  src.name = name;
  src.isString = true;
  src.text = text;
  src.echo = parent->echo;
  src.echo.blank = false;
  src.stopOnError = parent->stopOnError;
  src.readLine = readStringLine;
  runNestedSource(ctx, src);
}
