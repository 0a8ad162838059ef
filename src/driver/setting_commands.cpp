// =set, =colour and =cache: the settings table's operands, applied by name.
#include "context/context.h"
#include "context/output.h"
#include "context/settings.h"
#include "driver/local_handlers.h"
#include "runtime/path.h"
#include "runtime/scan.h"
#include "transport/connection_commands.h"

namespace {

bool applyOperands(ProgramContext &ctx, ParsedCommand &cmd, const char *group) {
  bool any = false;
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    SetResult r = applySetting(ctx.settings, group, item.name, item.value);
    if (r.error) {
      addError(ctx, r.message);
      continue;
    }
    if (!r.changed) continue;
    any = true;
    ctx.settingsChanged = true;
    addInfo(ctx, r.message);
    if (scanEqualsNoCase(item.name, "filepath")) ctx.defaultFilePath = tidyDirectory(ctx.settings.filepath);
  }
  return any;
}

void doSet(ProgramContext &ctx, ParsedCommand &cmd, int) { applyOperands(ctx, cmd, "set"); }

void doColour(ProgramContext &ctx, ParsedCommand &cmd, int) {
  if (ctx.fileMode()) {
    reportIgnoredInFileMode(ctx, cmd.text);
    return;
  }
  applyOperands(ctx, cmd, "colour");
}

void doCache(ProgramContext &ctx, ParsedCommand &cmd, int) {
  for (size_t i = 1; i < cmd.items.size(); ++i) {
    const ParsedItem &item = cmd.items[i];
    if (scanEqualsNoCase(item.name, "purge")) {
      markNameCachesStale(ctx);
      addInfo(ctx, "Object cache purged");
      continue;
    }
    SetResult r = applySetting(ctx.settings, "cache", item.name, item.value);
    if (r.error) addError(ctx, r.message);
    else if (r.changed) {
      ctx.settingsChanged = true;
      addInfo(ctx, r.message);
    }
  }
}

// =set and =colour offer a settings group's rows as they stand in the settings table.
std::vector<LocalValue> settingValues(const SettingRow &row) {
  switch (row.type) {
  case SettingType::Switch:
  case SettingType::ColourSwitch: return kLocalOnOff;
  case SettingType::Number: return kLocalNumber;
  case SettingType::Choice: {
    std::vector<LocalValue> v;
    for (const ChoiceValue *c = row.choices; c->name; ++c) v.push_back({c->name, ""});
    return v;
  }
  default: return kLocalAnyValue;
  }
}

std::vector<LocalOperand> settingOperands(std::string_view group) {
  std::vector<LocalOperand> ops;
  for (const auto &row : settingTable())
    if (row.type != SettingType::Heading && group == row.group)
      ops.push_back({row.name, row.description ? row.description : "", settingValues(row)});
  return ops;
}

// =cache names its ages in its own order and shows their range in seconds; the
// description and the range are the settings table's.
LocalOperand cacheAgeOperand(std::string_view name) {
  for (const auto &row : settingTable())
    if (row.group && std::string_view(row.group) == "cache" && name == row.name)
      return {row.name, row.description,
              localNumberOf("<age>", strFormat("  Valid values between %d and %d seconds", row.min, row.max))};
  return {std::string(name), "", kLocalNumber};
}

// ---- =import --------------------------------------------------------------------------------

}  // namespace

std::vector<LocalCommand> settingLocalCommands() {
  return {
      {"=cache",
       "Change the object cache settings",
       {cacheAgeOperand("maxager"), cacheAgeOperand("maxagel"), {"purge", "Discard the current cache contents", {}}},
       {},
       doCache},
      {"=colour", "Change colour settings", settingOperands("colour"), {}, doColour},
      {"=set", "Change various program settings", settingOperands("set"), {}, doSet},
  };
}
