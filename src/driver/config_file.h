// The configuration file kvarn.cfg: settings, colours, key bindings, synonyms and
// command history, read at start-up and rewritten at the end of a run.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ProgramContext;

struct ConfigResult {
  bool ok = true;
  std::string text;  // the file used (load) or the error text
};

// The configuration directory: $KVARNCFG (a value with a dot names a file, whose
// directory is used), else $XDG_CONFIG_HOME/kvarn, else ~/.config/kvarn.
ConfigResult configDirectory();

ConfigResult loadConfiguration(ProgramContext &ctx);
// Writes only when ctx.saveWanted is set, and clears it.
ConfigResult saveConfiguration(ProgramContext &ctx);

using ConfigAssignments = std::vector<std::pair<std::string, std::string>>;
// One line of blank-separated name=value assignments; values may be in double
// quotes with ~ making the next character literal. Items without '=' are skipped.
ConfigAssignments parseConfigLine(std::string_view line);
// Applies one parsed line to the context.
// `optmask` carries the mask read so far to the options value that follows it.
void applyConfigLine(ProgramContext &ctx, const ConfigAssignments &line, uint32_t &optmask);
// "name=value" with the quoting rules, without separator.
std::string formatConfigValue(std::string_view name, std::string_view value);
