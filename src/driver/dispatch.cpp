#include "driver/dispatch.h"

#include "context/context.h"
#include "context/echo.h"
#include "driver/local_commands.h"
#include "context/output.h"
#include "driver/reader.h"
#include "transport/issue.h"
#include "driver/unhandled_check.h"
#include "runtime/scan.h"

void cslIssueCommand(ProgramContext &ctx, std::string_view text) {
  std::string command(scanTrim(text));
  if (command.empty()) return;
  if (runSynonym(ctx, command)) return;
  if (command == "!unhandled!") {
    runUnhandledAttributeCheck(ctx);
    return;
  }
  switch (command[0]) {
  case '/':
    // Find works on the console's output buffer; file mode has nothing to search.
    return;
  case '=':
    cslIssueLocalCommand(ctx, ctx.input, command, IssueFromUser);
    return;
  default: break;
  }
  echoCommandLine(ctx, nullptr, command, IssueFromUser);
  cslIssueMQCommand(ctx, command, MqCommandArgs{});
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
