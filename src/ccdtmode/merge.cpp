// =merge: copies channels from another table, binary or JSON, into the table of the mode.
#include <memory>

#include "ccdt/binary_table.h"
#include "ccdt/json_table.h"
#include "ccdt/locate.h"
#include "ccdt/status.h"
#include "ccdtmode/ccdt_command.h"
#include "ccdtmode/table_store.h"
#include "context/output.h"
#include "mqsc/prepare_steps.h"
#include "runtime/scan.h"

using namespace kvarn::ccdt;
using namespace kvarn::ccdtmode;

namespace {

enum class SourceOutcome { Read, Failed };

// 1. Every channel of the source table. A name holding ".json" is a JSON table.
SourceOutcome readSource(ProgramContext &ctx, std::string_view name, std::vector<ChannelDefinition> &channels) {
  std::string message;
  if (name.find(".json") != std::string_view::npos) {
    std::string path;
    if (locateJsonTable(name, path, message) != kOk) {
      addError(ctx, message);
      return SourceOutcome::Failed;
    }
    if (!fileStamp(path).exists) {
      addError(ctx, strFormat("Can not find file '%s'", path.c_str()));
      return SourceOutcome::Failed;
    }
    JsonTable table;
    std::vector<std::string> messages;
    int rc = table.read(path, true, messages);
    bool damaged = false;
    for (const std::string &line : messages) {
      if (line.starts_with("At line ") || line.find("does not appear") != std::string::npos) {
        addError(ctx, line);
        damaged = true;
      }
    }
    // Half a table is not merged: the channels the reader skipped would be missing.
    if (rc != kOk || damaged) {
      if (rc != kOk && !messages.empty()) addError(ctx, messages.back());
      return SourceOutcome::Failed;
    }
    for (const JsonChannel &c : table.channels()) channels.push_back(c.def);
    return SourceOutcome::Read;
  }
  std::unique_ptr<BinaryTable> table;
  if (BinaryTable::open(name, BinaryTable::Mode::Read, table, message) != kOk) {
    addError(ctx, message);
    return SourceOutcome::Failed;
  }
  for (;;) {
    ChannelDefinition def;
    int rc = table->readNextChannel(def, message);
    if (rc == kErrEndOfList) break;
    if (rc != kOk) {
      addError(ctx, message);
      return SourceOutcome::Failed;
    }
    channels.push_back(std::move(def));
  }
  return SourceOutcome::Read;
}

}  // namespace

void ccdtMerge(ProgramContext &ctx, std::string_view source, std::string_view channels, bool replace) {
  CcdtModeState &state = ccdtModeOf(ctx);
  std::string pattern = mqscValue(channels);

  // 1. The source is read whole before anything changes.
  std::vector<ChannelDefinition> found;
  try {
    if (readSource(ctx, source, found) != SourceOutcome::Read) return;
  } catch (const std::bad_alloc &) {
    addError(ctx, "Can not allocate channel storage.");
    return;
  }
  std::erase_if(found,
                [&](const ChannelDefinition &d) { return !wildcardMatch(pattern, trimTrailingBlanks(d.channelName)); });

  // 2. The table of the mode must be one that may change.
  std::string message;
  if (prepareChange(ctx, state, message) != kOk) {
    addError(ctx, message);
    return;
  }

  // 3. Each channel is written, or replaces the one of its name.
  int written = 0, replaced = 0, kept = 0;
  for (ChannelDefinition &def : found) {
    std::string name = trimmedName(def.channelName);
    bool present = false;
    size_t position = 0;
    if (state.form == TableForm::Json) {
      present = state.json.countOf(def.channelName) > 0;
      if (present) {
        const auto &all = state.json.channels();
        for (size_t i = 0; i < all.size(); ++i)
          if (all[i].def.channelName == def.channelName) {
            position = i;
            break;
          }
      }
    } else {
      ChannelDefinition existing;
      present = state.binary->readChannel(name, existing, message) == kOk;
    }
    if (present && !replace) {
      ++kept;
      continue;
    }
    int rc = kOk;
    if (state.form == TableForm::Json) {
      // A value a JSON file cannot hold would make the table unreadable afterwards.
      std::string why;
      if (!jsonCanHold(def, why)) {
        addError(ctx, strFormat("Channel '%s' not written: %s", name.c_str(), why.c_str()));
        continue;
      }
      def.version = kMaxRecordVersion;
      if (present) state.json.replace(position, def);
      else state.json.insert(state.json.channels().size(), def);
    } else {
      rc = state.binary->writeChannel(def, state.version, message);
    }
    if (rc != kOk) {
      addError(ctx, message);
      continue;
    }
    state.dirty = true;
    if (present) {
      ++replaced;
      addInfo(ctx, strFormat("Channel '%s' replaced.", name.c_str()));
    } else {
      ++written;
      addInfo(ctx, strFormat("Channel '%s' written.", name.c_str()));
    }
  }
  if (state.dirty && !saveCcdtTable(ctx)) ctx.statusFlags |= kStatusCommandFailed;
  addInfo(ctx, strFormat("CCDT Migration:  Found:%d  Written:%d  Replaced:%d  Not Replaced:%d",
                         static_cast<int>(found.size()), written, replaced, kept));
}

bool ccdtObjectNames(ProgramContext &ctx, std::string_view kind, std::vector<std::string> &names,
                     std::string &message) {
  CcdtModeState &state = ccdtModeOf(ctx);
  if (refreshTable(ctx, state, message) != kOk) return false;
  names.clear();
  if (kind == "channel") {
    std::vector<std::string> problems;
    for (const StoredChannel &c : tableChannels(state, problems)) {
      std::string name = trimmedName(c.def.channelName);
      if (names.empty() || names.back() != name) names.push_back(name);
    }
    return true;
  }
  if (kind == "authinfo" && state.binary) {
    CrlList crl;
    OcspList ocsp;
    if (state.binary->readCrl(crl, message) != kOk || state.binary->readOcsp(ocsp, message) != kOk) return false;
    for (size_t i = 0; i < crl.entries.size(); ++i) names.push_back(strFormat("CRLLDAP%d", static_cast<int>(i + 1)));
    for (size_t i = 0; i < ocsp.urls.size(); ++i) names.push_back(strFormat("OCSP%d", static_cast<int>(i + 1)));
  }
  return true;
}
