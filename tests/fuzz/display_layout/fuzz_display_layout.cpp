// Arbitrary response text through the display as it arrives: record assembly, the one
// reading of each record, the output modifiers, the layout's holding and streaming, and
// JSON Lines records. The first two bytes choose the settings and the command (and so
// its =WHERE, =SORT, =MAXRESP, =FIND and attribute selection); the rest is response
// text, one reply per piece between 0x01 bytes, sent as PCF escape replies or, for a
// z/OS queue manager, as command-server text lines.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../../unit/mqsc_commands/test_support.h"
#include "context/context.h"
#include "context/output.h"
#include "context/settings.h"
#include "display/layout.h"
#include "display/modifiers.h"
#include "mqsc/mqsc_host.h"
#include "mqsc/pcf_message.h"
#include "mqsc/request.h"
#include "mqsc/response.h"
#include "script/resolver.h"

namespace {

constexpr const char *kCommands[] = {
    "DIS QL(*)",
    "DIS QL(*) =WHERE(CURDEPTH > 0 AND DESCR LK 'A*')",
    "DIS QL(*) =SORTD(MAXDEPTH) =MAXRESP(3)",
    "DIS Q(*) -ALL +DESCR,CURDEPTH =FIND(A)",
    "DIS CHS(*) =SORT(CHANNEL) =WHERE(NETTIME.long > 1 OR STATUS EQ RUNNING)",
    "DIS QL(A*B*) NAMES",
    "DIS QSTATUS(*) TYPE(HANDLE)",
    "DIS QMGR ALL",
};

void installDisplay() {
  static const bool done = [] {
    mqscSetHost(displayMqscHost());
    setModifierVariableResolver(&kvarn::script::ScriptResolver::instance());
    InitialiseCommandFields();
    return true;
  }();
  (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  installDisplay();
  uint8_t settings = data[0], choice = data[1];
  std::string_view text(reinterpret_cast<const char *>(data + 2), size - 2);

  ProgramContext ctx;
  ctx.displayLock.create();
  ctx.consoleLock.create();
  ctx.mode |= kModeFile;
  ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, nullptr, nullptr);
  ctx.settings.colstyle = settings & 3 ? (settings & 3) - 1 : 0;
  if (settings & 4) ctx.settings.outformat = kOutputJson;
  if (settings & 8) ctx.settings.options |= kOptWrap;
  ctx.settings.listval = (settings & 16) ? 1 : 0;
  if (settings & 32) ctx.settings.options |= kOptDisTotals;
  ctx.outputWidth = 20 + (choice >> 4) * 10;
  bool zos = (settings & 64) != 0;

  MqscTarget target;
  target.platform = zos ? MQPL_ZOS : MQPL_UNIX;
  target.commandLevel = 940;
  CommandRecord record;
  record.kind = (settings & 128) ? RecordKind::ScriptCommand : RecordKind::UserCommand;
  record.keepRecords = (settings & 128) != 0;
  std::string command = kCommands[choice % std::size(kCommands)];
  record.commandText = command;
  PrepareResult prepared = prepareMqscCommand(ctx, target, record, command, nullptr);
  if (prepared.outcome != PrepareOutcome::Send) return 0;

  MQMD md = kvarn::mqi::defaultMD();
  std::memcpy(md.Format, zos ? MQFMT_COMMAND_1 : MQFMT_ADMIN, 8);
  size_t pos = 0;
  while (pos <= text.size() && !record.complete()) {
    size_t end = text.find('\x01', pos);
    bool last = end == std::string_view::npos;
    std::string_view piece = text.substr(pos, last ? std::string_view::npos : end - pos);
    std::vector<uint8_t> reply = zos ? std::vector<uint8_t>(piece.begin(), piece.end()) : escapeReply(std::string(piece), last ? MQCFC_LAST : MQCFC_NOT_LAST);
    handleMqscResponse(ctx, record, target, md, reply.data(), reply.size());
    if (last) break;
    pos = end + 1;
  }
  completeCommandRecord(ctx, record);
  for (const ResponseRecord &kept : record.keptRecords) kept.find("QUEUE");
  return 0;
}
