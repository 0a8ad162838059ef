#include "script/script_state.h"

#include <cerrno>
#include <cstring>

#include "script/lexeme.h"

#include "script/script_host.h"
#include "text/text.h"

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
// The expression cache holds expressions bound to this state's variables, functions and
// program: none of them may be found by a later state that happens to get the same
// addresses.
ScriptState::~ScriptState() {
  closeAllFiles();
  expClearCache();
}

ScriptFile* ScriptState::file(int id) {
  for (ScriptFile& f : files)
    if (f.id == id) return &f;
  return nullptr;
}

int ScriptState::addFile(FILE* stream, std::string name) {
  ScriptFile& f = files.emplace_back();
  f.id = nextFileId++;
  f.stream = stream;
  f.name = std::move(name);
  return f.id;
}

int ScriptFile::close() {
  if (!stream) return 0;
  int error = 0;
  auto failed = [&error] {
    if (error == 0) error = errno != 0 ? errno : EIO;
  };
  if (!printBuffer.empty() || lineOpen) {
    errno = 0;
    if (std::fwrite(printBuffer.data(), 1, printBuffer.size(), stream) != printBuffer.size()) failed();
    if (std::fputc('\n', stream) == EOF) failed();
  }
  // The buffered text reaches the file only here: a full disk shows up now, or was
  // recorded in the stream's error flag when an earlier fprint filled the buffer.
  errno = 0;
  if (std::fflush(stream) != 0) failed();
  if (std::ferror(stream) && error == 0) error = EIO;
  errno = 0;
  if (std::fclose(stream) != 0) failed();
  stream = nullptr;
  printBuffer.clear();
  lineOpen = false;
  return error;
}

std::string fileCloseFailure(const ScriptFile& file, int error) {
  return strFormat("fclose() could not write file '%s' (fileid %d) - %s", file.name.c_str(), file.id,
                   std::strerror(error));
}

std::vector<std::string> ScriptState::closeAllFiles() {
  std::vector<std::string> failures;
  for (ScriptFile& f : files)
    if (int error = f.close()) failures.push_back(fileCloseFailure(f, error));
  files.clear();
  return failures;
}

ScriptState& scriptState(ProgramContext& ctx) {
  if (!ctx.script) ctx.script = std::make_unique<ScriptState>();
  return static_cast<ScriptState&>(*ctx.script);
}

}  // namespace kvarn::script
