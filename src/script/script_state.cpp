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

ScriptState::~ScriptState() { closeAllFiles(); }

ScriptFile* ScriptState::file(int id) {
  for (ScriptFile& f : files)
    if (f.id == id) return &f;
  return nullptr;
}

void ScriptState::closeAllFiles() {
  for (ScriptFile& f : files) {
    if (!f.stream) continue;
    if (!f.printBuffer.empty()) {
      std::fwrite(f.printBuffer.data(), 1, f.printBuffer.size(), f.stream);
      std::fputc('\n', f.stream);
    }
    std::fclose(f.stream);
  }
  files.clear();
}

ScriptState& scriptState(ProgramContext& ctx) {
  if (!ctx.script) ctx.script = std::make_unique<ScriptState>();
  return static_cast<ScriptState&>(*ctx.script);
}

}  // namespace kvarn::script
