#include "script/script_state.h"

#include "script/script_host.h"

namespace kvarn::script {

namespace {
ScriptHost& hostSlot() {
  static ScriptHost host;
  return host;
}
}  // namespace

void scriptSetHost(ScriptHost host) { hostSlot() = std::move(host); }
const ScriptHost& scriptHost() { return hostSlot(); }

ScriptState::ScriptState() = default;
ScriptState::~ScriptState() { closeAllFiles(); }

ScriptFile* ScriptState::file(int id) {
  for (ScriptFile& f : files)
    if (f.id == id) return &f;
  return nullptr;
}

bool ScriptFile::close() {
  if (!stream) return true;
  bool ok = true;
  if (!printBuffer.empty() || lineOpen) {
    ok = std::fwrite(printBuffer.data(), 1, printBuffer.size(), stream) == printBuffer.size();
    ok = std::fputc('\n', stream) != EOF && ok;
  }
  ok = std::fclose(stream) == 0 && ok;
  stream = nullptr;
  printBuffer.clear();
  lineOpen = false;
  return ok;
}

void ScriptState::closeAllFiles() {
  for (ScriptFile& f : files) f.close();
  files.clear();
}

ScriptState& scriptState(ProgramContext& ctx) {
  if (!ctx.script) ctx.script = std::make_unique<ScriptState>();
  return static_cast<ScriptState&>(*ctx.script);
}

}  // namespace kvarn::script
