#include "script/import.h"

#include <cstring>
#include <sys/stat.h>
#include <unordered_set>

#include "context/output.h"
#include "runtime/path.h"
#include "runtime/scan.h"
#include "script/executor.h"
#include "script/parameters.h"
#include "script/resolver.h"
#include "script/script_host.h"
#include "script/script_state.h"

namespace kvarn::script {

namespace {

// A relative name imported from a file is taken from that file's directory, one typed
// or read from standard input from the default file path.
std::string completeImportName(const ProgramContext& ctx, const std::string& file, const InputSource* from) {
  if (file.empty() || isAbsolutePath(file) || file[0] == '~') return expandHome(file);
  if (from && !from->name.empty() && !from->isString) return joinPath(directoryOf(from->name), file);
  return joinPath(ctx.defaultFilePath, file);
}

bool importRecursion(ProgramContext& ctx, const std::string& path, const InputSource* from) {
  bool found = false;
  for (const InputSource* s = from; s && !found; s = s->parent) found = !s->isString && s->name == path;
  if (!found) return false;
  addError(ctx, "Import file recursion detected");
  std::vector<const InputSource*> chain;
  for (const InputSource* s = from; s; s = s->parent)
    if (!s->isString && !s->name.empty()) chain.push_back(s);
  for (size_t i = chain.size(); i-- > 1;)
    addError(ctx, strFormat("'%s' imports file '%s' on line %u", chain[i]->name.c_str(), chain[i - 1]->name.c_str(),
                            chain[i]->lineNumber));
  if (!chain.empty())
    addError(ctx, strFormat("'%s' imports file '%s' on line %u", chain[0]->name.c_str(), path.c_str(),
                            chain[0]->lineNumber));
  return true;
}

// Every file open in the chain holds a descriptor and a level of the stack: a chain of
// distinct files importing each other ends at a fixed depth.
bool importTooDeep(ProgramContext& ctx, const InputSource* from) {
  int depth = 0;
  for (const InputSource* s = from; s; s = s->parent)
    if (!s->isString && !s->name.empty()) ++depth;
  if (depth < kMaxImportDepth) return false;
  addError(ctx, strFormat("Import files are nested more than %d deep", kMaxImportDepth));
  return true;
}

// Opens a regular file (or a pipe) for reading; a directory is refused like a missing file.
FILE* openImportFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return nullptr;
  return std::fopen(path.c_str(), "r");
}

std::unordered_set<const FunctionDef*> pendingDefinitions(ScriptState& state) {
  std::unordered_set<const FunctionDef*> pending;
  for (const auto& [name, def] : state.functions.all())
    if (def->pendingBody) pending.insert(def.get());
  return pending;
}

// The input source an import reads its file from.
std::unique_ptr<InputSource> importSource(ProgramContext& ctx, const ImportRequest& request, const std::string& path,
                                          FILE* stream, InputSource* from, bool keepHistory) {
  auto source = std::make_unique<InputSource>();
  source->name = path;
  source->stream = stream;
  source->ownsStream = true;
  source->parent = from;
  source->echo = from ? from->echo : ctx.mainInput->echo;
  source->echo.blank = false;
  if (request.quiet) source->echo.input = false;
  source->stopOnError = request.stopOnFailure;
  source->readLine = scriptHost().readFileLine;
  if (keepHistory) {
    // cmdhist: the file's command lines go into the command history as they are read.
    source->readLine = [read = source->readLine](ProgramContext& c, InputSource& s) {
      if (!read || !read(c, s)) return false;
      std::string_view line = scanTrim(s.line);
      if (!line.empty() && line[0] != '*' && scriptHost().addHistory) scriptHost().addHistory(c, line);
      return true;
    };
  }
  return source;
}

// A file can be read as its import runs when the import's statement runs once and is
// freed, nothing keeps the statements to list or stop at them, and the file can be read
// a second time (a regular file).
bool readAsItRuns(const ScriptState& state, const CompileTarget& target, FILE* stream) {
  if (!target.runOnce || state.keepMainNodes || state.statementHook) return false;
  struct stat st {};
  return ::fstat(fileno(stream), &st) == 0 && S_ISREG(st.st_mode);
}

// Compiles the file statement by statement, keeping none of them (definitions are kept
// pending, as when compiled whole): the check made before a file is read as it runs.
bool checkImportFile(ProgramContext& ctx, InputSource& src, FunctionDef* owner) {
  ScriptState& state = scriptState(ctx);
  uint32_t stmtNo = state.mainStmtNo;  // the run numbers the statements again
  bool ok = true;
  for (;;) {
    NodeList statement;
    bool failed = false;
    ParseResult r = cmdParseCommand(ctx, src, CompileTarget{&statement, owner, 0, true}, &failed);
    if (failed) ok = false;
    if (!ok || r == ParseResult::EndOfInput || ctx.quit) break;
  }
  state.mainStmtNo = stmtNo;
  return ok;
}

// The file is compiled into an Import node appended to target.list: whole, between the
// Import and its EndImport, or, when it can be read as it runs, checked and rewound for
// the run. A failed compile leaves the node invalid (it never runs) and the definitions
// it made unused.
CommandNode* compileImportFile(ProgramContext& ctx, const ImportRequest& request, const CompileTarget& target,
                               uint32_t line, const std::string& path, FILE* stream, InputSource* from) {
  ScriptState& state = scriptState(ctx);
  CommandNode* node = target.list->append(CommandType::Import, "=import", line, 0);
  node->owner = target.owner;
  auto data = std::make_unique<ImportData>();
  data->streamed = readAsItRuns(state, target, stream);
  auto source = importSource(ctx, request, path, stream, from, request.keepHistory && !data->streamed);
  data->body = std::make_unique<NodeList>();
  data->hasParms = request.hasParms;
  data->parms = request.parms;
  data->quiet = request.quiet;

  auto before = pendingDefinitions(state);
  ++state.importsCompiling;
  bool ok = data->streamed ? checkImportFile(ctx, *source, target.owner)
                           : cmdParseFile(ctx, *source, CompileTarget{data->body.get(), target.owner, 0});
  --state.importsCompiling;
  uint32_t lastLine = source->lineNumber;
  if (data->streamed && ok && std::fseek(stream, 0, SEEK_SET) == 0) {
    source->stream = nullptr;  // handed to the source the run reads
    source = importSource(ctx, request, path, stream, nullptr, request.keepHistory);
  } else {
    if (data->streamed) ok = false;
    if (source->stream) std::fclose(source->stream);
    source->stream = nullptr;
    source->ownsStream = false;
  }
  source->parent = nullptr;
  CommandNode* end = data->body->append(CommandType::EndImport, "", lastLine, 0);
  end->owner = target.owner;
  node->link = end;
  end->link = node;
  data->source = std::move(source);
  node->import = std::move(data);
  if (!ok) {
    node->flags |= kNodeInvalid;
    for (const auto& [name, def] : state.functions.all())
      if (def->pendingBody && !before.count(def.get())) def->pendingFailed = true;
    // A definition whose body holds this =import is still being compiled: the commit at
    // its end drops what failed here, and must find the definition still there.
    if (state.importsCompiling == 0 && state.importsRunning == 0 && state.definitionsCompiling == 0)
      state.functions.commit(true);
  }
  return node;
}

}  // namespace

void cmdCompileImport(ProgramContext& ctx, const ImportRequest& request, const CompileTarget& target,
                      CommandNode& origin, InputSource* from) {
  std::string file(scanTrim(request.file));
  if (file.empty()) return;
  std::string path = completeImportName(ctx, file, from);
  if (importRecursion(ctx, path, from) || importTooDeep(ctx, from)) {
    origin.flags |= kNodeImportDone;
    scriptState(ctx).errorFlag = true;
    return;
  }
  FILE* stream = openImportFile(path);
  if (!stream) return;  // reported when the command runs
  origin.flags |= kNodeImportDone;
  compileImportFile(ctx, request, target, origin.line, path, stream, from);
}

void cmdImportCommand(ProgramContext& ctx, const ImportRequest& request) {
  ScriptState& state = scriptState(ctx);
  if (state.current && state.current->has(kNodeImportDone)) return;
  setScriptParameters(ctx, request.hasParms ? splitParameters(request.parms) : std::vector<std::string>());
  if (cmdInFunctionOrRunTimeText(ctx)) {
    addError(ctx, "You can not call =import from within a function.");
    state.errorFlag = true;
    return;
  }
  std::string file(scanTrim(request.file));
  if (file.empty()) {
    addError(ctx, "Please specify a file name.");
    return;
  }
  InputSource* from = ctx.input ? ctx.input : ctx.mainInput.get();
  std::string path = completeImportName(ctx, file, from);
  if (importRecursion(ctx, path, from) || importTooDeep(ctx, from)) {
    state.errorFlag = true;
    return;
  }
  FILE* stream = openImportFile(path);
  if (!stream) {
    addError(ctx, strFormat("Can not open file '%s'", path.c_str()));
    return;
  }
  NodeList list;
  CommandNode* node = compileImportFile(ctx, request, CompileTarget{&list, nullptr, 0, true}, from ? from->runLine : 0,
                                        path, stream, from);
  if (!node->has(kNodeInvalid)) cmdRunImport(ctx, *node);
}

}  // namespace kvarn::script
