// =import: a file compiled whole into an Import node and run. An =import without
// variables is carried out while its statement is compiled; the bootstrap file and an
// import whose file could not be opened then are imported when the command runs.
#pragma once

#include <string>

#include "context/context.h"
#include "script/compiler.h"

namespace kvarn::script {

struct ImportRequest {
  std::string file;
  bool hasParms = false;
  std::string parms;
  bool quiet = false;  // the file's commands are not echoed
  bool stopOnFailure = false;
  bool keepHistory = false;
};

// Compiles the file after `origin` (the =import command node) into target.list and
// marks `origin` done. Says nothing when the file cannot be opened: the command
// reports that when it runs. `from` is the source being compiled.
void cmdCompileImport(ProgramContext& ctx, const ImportRequest& request, const CompileTarget& target,
                      CommandNode& origin, InputSource* from);

// The =import command when it runs (its operands already checked).
void cmdImportCommand(ProgramContext& ctx, const ImportRequest& request);

}  // namespace kvarn::script
