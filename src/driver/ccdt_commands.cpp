// =ccdt, =ccdtj and =merge: entering CCDT mode and merging channel tables.
#include "ccdt/versions.h"
#include "ccdtmode/ccdt_mode.h"
#include "context/context.h"
#include "context/output.h"
#include "driver/local_handlers.h"
#include "runtime/scan.h"

namespace {

std::vector<LocalValue> ccdtVersionValues() {
  std::vector<LocalValue> v;
  const auto &table = ccdtVersionTable();
  for (auto it = table.rbegin(); it != table.rend(); ++it) {
    v.push_back({it->release, std::string("MQ ") + it->release + " Version", it->listed});
    if (std::string_view(it->release) == "5.2") break;
  }
  return v;
}

std::vector<LocalOperand> ccdtOperands() {
  return {{"file", "CCDT file name", kLocalAnyValue}, {"version", "CCDT version", ccdtVersionValues()}};
}

// =ccdt and =ccdtj: the version is checked as -V checks it, and a bad one ends the
// command; a file name holding ".json" always means the JSON form.
void doCcdt(ProgramContext &ctx, ParsedCommand &cmd, int) {
  std::optional<int> version;
  if (cmd.has("version")) {
    int value = 0;
    switch (parseCcdtVersion(cmd.value("version"), value)) {
    case CcdtVersionParse::Ok: version = value; break;
    case CcdtVersionParse::UnknownName:
      addError(ctx, ccdtVersionListMessage());
      addError(ctx, scanTrim(ccdtVersionRangeMessage()));
      return;
    case CcdtVersionParse::OutOfRange: addError(ctx, scanTrim(ccdtVersionRangeMessage())); return;
    }
  }
  std::optional<std::string> file;
  if (cmd.has("file")) file = std::string(scanTrim(cmd.value("file")));
  bool json = scanEqualsNoCase(cmd.name(), "=ccdtj") || (file && file->find(".json") != std::string::npos);
  enterCcdtMode(ctx, json ? TableForm::Json : TableForm::Binary, file, version);
}

void doMerge(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (!inCcdtMode(ctx)) return addError(ctx, "The merge command should be issued while in CCDT mode");
  if (!cmd.has("ccdt")) return addError(ctx, "Please enter a CCDT parameter");
  if (!cmd.has("channel")) return addError(ctx, "Please enter a CHANNEL parameter");
  if (scanTrim(cmd.value("channel")).empty()) return addError(ctx, "The CHANNEL parameter should not be empty");
  bool replace = scanEqualsNoCase(cmd.value("replace", "no"), "yes");
  ccdtMerge(ctx, scanTrim(cmd.value("ccdt")), cmd.value("channel"), replace);
}

}  // namespace

std::vector<LocalCommand> ccdtLocalCommands() {
  return {
      {"=ccdt", "Go into local CCDT edit mode (Binary)", ccdtOperands(), {}, doCcdt},
      {"=ccdtj", "Go into local CCDT edit mode (JSON)", ccdtOperands(), {}, doCcdt},
      {"=merge",
       "Merge CCDT files",
       {{"ccdt", "CCDT file name", kLocalAnyValue},
        {"channel", "Channels to copy", kLocalAnyValue},
        {"replace", "Whether to replace same named channels", kLocalYesNo}},
       {},
       doMerge},
  };
}
