// Runs arbitrary script text through the real compiler and executor in file mode.
// The input is the command file; lines "--- NAME" start files it may =import (they
// live in a scratch folder). The host is the stand-in of script_host_standin.h: MQSC
// commands recorded with a made-up outcome, canned foreach records, print, fprint,
// wait, substitution and =import as the dispatcher runs them. Every file name is
// mapped into the scratch folder, SYSTEM/FOPEN/WAIT/GETKEY are harmless stand-ins, and
// a statement budget ends scripts that would run for ever.
#include <cstdint>
#include <string>
#include <string_view>

#include "../support/fuzz_standins.h"
#include "../support/script_host_standin.h"
#include "context/context.h"
#include "script/script_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvarn::fuzz::installStandinScriptHost();
  kvarn::fuzz::SplitInput input = kvarn::fuzz::splitInput(std::string_view(reinterpret_cast<const char*>(data), size));
  kvarn::fuzz::clearScratch();
  kvarn::fuzz::writeScratchFiles(input);
  kvarn::fuzz::issuedCommands().clear();
  {
    ProgramContext ctx;
    if (!kvarn::fuzz::prepareFileModeContext(ctx)) return 0;
    kvarn::fuzz::setStatementBudget(ctx);
    kvarn::fuzz::runMainText(ctx, input.main);
    (void)kvarn::script::scriptState(ctx).closeAllFiles();
  }
  return 0;
}
