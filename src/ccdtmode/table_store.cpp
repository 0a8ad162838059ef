#include "ccdtmode/table_store.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "ccdt/locate.h"
#include "ccdt/status.h"
#include "context/output.h"
#include "runtime/scan.h"

namespace kvarn::ccdtmode {

using namespace kvarn::ccdt;

namespace {

constexpr int64_t kSaveIntervalMs = 1000;

// Reader messages that mean the file was not taken whole: writing it back would lose
// what the reader skipped.
bool isReadProblem(const std::string &line) {
  return line.starts_with("At line ") || line.find("does not appear to") != std::string::npos ||
         line.starts_with("No storage");
}

int loadBinary(CcdtModeState &state, std::string &message) {
  state.binary.reset();
  if (state.path.empty()) {
    bool useMqserver = false;
    if (int rc = locateBinaryTable(state.tableName, state.path, useMqserver, message); rc != kOk) return rc;
  }
  // A table that does not exist yet is created by the first change, not by a display.
  FileStamp stamp = fileStamp(state.path);
  if (!stamp.exists && !(state.tableName.starts_with("!") && std::getenv("MQSERVER"))) {
    state.stamp = stamp;
    return kOk;
  }
  std::unique_ptr<BinaryTable> table;
  if (int rc = BinaryTable::open(state.tableName, BinaryTable::Mode::Update, table, message); rc != kOk) return rc;
  state.stamp = fileStamp(state.path);
  state.binary = std::move(table);
  return kOk;
}

int loadJson(ProgramContext &ctx, CcdtModeState &state, std::string &message) {
  if (state.path.empty()) {
    if (int rc = locateJsonTable(state.tableName, state.path, message); rc != kOk) return rc;
  }
  std::vector<std::string> messages;
  state.stamp = fileStamp(state.path);
  int rc = state.json.read(state.path, false, messages);
  for (const std::string &line : messages) {
    if (isReadProblem(line)) {
      addError(ctx, line);
      if (state.damage.empty()) state.damage = line;
    }
  }
  if (rc != kOk) {
    message = messages.empty() ? strFormat("Error accessing file '%s'", state.path.c_str()) : messages.back();
    return rc;
  }
  return kOk;
}

}  // namespace

int64_t nowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void dropTable(CcdtModeState &state) {
  // What was not written by now is not written behind the caller's back.
  if (state.binary) state.binary->discardChanges();
  state.binary.reset();
  state.json = JsonTable{};
  state.loaded = false;
  state.dirty = false;
  state.damage.clear();
  state.stamp = FileStamp{};
}

int refreshTable(ProgramContext &ctx, CcdtModeState &state, std::string &message) {
  message.clear();
  if (state.loaded) {
    // Another program's change is read again unless changes made here are pending
    // (writing them then finds the conflict and keeps both).
    if (state.dirty || fileStamp(state.path) == state.stamp) return kOk;
    dropTable(state);
  }
  state.damage.clear();
  int rc = state.form == TableForm::Json ? loadJson(ctx, state, message) : loadBinary(state, message);
  state.loaded = rc == kOk;
  return rc;
}

std::vector<StoredChannel> tableChannels(CcdtModeState &state, std::vector<std::string> &problems) {
  std::vector<StoredChannel> out;
  if (state.form == TableForm::Json) {
    out.reserve(state.json.channels().size());
    size_t position = 0;
    for (const JsonChannel &c : state.json.channels()) out.push_back({c.def, c.index, ++position});
    return out;
  }
  if (!state.binary) return out;
  state.binary->rewind();
  std::string message;
  for (size_t position = 1;; ++position) {
    StoredChannel c;
    int rc = state.binary->readNextChannel(c.def, message);
    if (rc == kErrEndOfList) break;
    if (rc != kOk) {
      problems.push_back(message);
      continue;
    }
    c.position = position;
    out.push_back(std::move(c));
  }
  return out;
}

int prepareChange(ProgramContext &ctx, CcdtModeState &state, std::string &message) {
  if (int rc = refreshTable(ctx, state, message); rc != kOk) return rc;
  if (!state.damage.empty()) {
    message = strFormat("CCDT file '%s' was not read without errors, so it is not changed", state.path.c_str());
    return kErrFormat;
  }
  // Checked once per batch of changes: a file that turns read-only meanwhile is found
  // when the batch is written, and the changes are kept beside it then.
  if (int err = state.dirty ? 0 : checkReplaceable(state.path); err != 0) {
    message = strFormat("Error accessing file '%s' RC[%d] %s", state.path.c_str(), err, std::strerror(err));
    return kErrAccess;
  }
  if (state.form == TableForm::Binary && !state.binary) {
    std::unique_ptr<BinaryTable> table;
    if (int rc = BinaryTable::open(state.tableName, BinaryTable::Mode::Update, table, message); rc != kOk) return rc;
    state.binary = std::move(table);
    state.stamp = fileStamp(state.path);
  }
  return kOk;
}

void noteChange(ProgramContext &ctx, CcdtModeState &state) {
  state.dirty = true;
  if (nowMs() - state.lastSaveMs < kSaveIntervalMs) return;
  std::string message;
  if (writeTable(ctx, state, message) != kOk) addError(ctx, message);
}

std::string keepChangesAside(ProgramContext &ctx, CcdtModeState &state, std::string &aside) {
  aside = state.path + ".unsaved";
  int rc = kOk;
  std::string copyMessage;
  if (state.form == TableForm::Json) {
    std::string text = state.json.render(static_cast<JsonFields>(ctx.settings.jsonfields));
    if (int err = replaceFile(aside, text); err != 0) rc = reportStorageError(err, aside, "", copyMessage);
  } else if (state.binary) {
    rc = state.binary->saveCopy(aside, copyMessage);
  }
  if (rc == kOk) return strFormat("The changes made here are in '%s'", aside.c_str());
  return "The changes made here could not be kept: " + copyMessage;
}

int writeTable(ProgramContext &ctx, CcdtModeState &state, std::string &message) {
  message.clear();
  state.lastSaveMs = nowMs();
  if (!state.dirty) return kOk;

  // 1. A file another program changed since it was read is not written over: what was
  //    changed here goes beside it, and the table is read again as it now is.
  if (fileStamp(state.path) != state.stamp) {
    std::string aside;
    message = strFormat("CCDT file '%s' was changed by another program since it was read; it is not written over. ",
                        state.path.c_str());
    message += keepChangesAside(ctx, state, aside);
    ctx.statusFlags |= kStatusInternalFailure;
    dropTable(state);
    return kErrAccess;
  }

  // 2. The new table is written beside the old one and renamed over it.
  int rc = kOk;
  if (state.form == TableForm::Json) rc = state.json.save(static_cast<JsonFields>(ctx.settings.jsonfields), message);
  else if (state.binary) rc = state.binary->save(message);
  if (rc != kOk) {
    ctx.statusFlags |= kStatusInternalFailure;
    return rc;
  }
  state.dirty = false;
  state.stamp = fileStamp(state.path);
  return kOk;
}

}  // namespace kvarn::ccdtmode
