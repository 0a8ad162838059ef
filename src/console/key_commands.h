// =keyname and =key: the user's key names and key assignments, held in the program
// context (keyNames, keyBindings) and kept in the configuration file.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "context/local_command.h"

struct ProgramContext;

// The flags of a key command (=key with cmd()).
enum KeyCommandFlags : uint32_t {
  kKeyCommandClear = 0x01,    // empty the command area first
  kKeyCommandNoEnter = 0x02,  // add the text without entering it
  kKeyCommandNoLog = 0x04,    // do not show the entered command in the output
  kKeyCommandBase = 0x20,
};

// =keyname and =key, as rows of the driver's local command table.
std::vector<LocalCommand> consoleLocalCommands();

// seq(#): the console reads the next keystroke and returns its sequence text, or
// nothing when the user cancelled (it says so). Without one, seq(#) is refused.
using KeystrokeCapture = std::function<std::optional<std::string>(ProgramContext &ctx)>;
void setKeystrokeCapture(KeystrokeCapture capture);

// The configuration file's lines, taken as written: a sequence that does not read
// keeps its text (and matches no keystroke); an unknown action keeps its name.
void restoreKeyName(ProgramContext &ctx, const std::string &name, const std::string &seq);
void restoreKeyBinding(ProgramContext &ctx, const std::string &key, const std::string *action,
                       const std::string *command, uint32_t options);
// What the configuration file writes for a binding without an action.
inline constexpr const char *kNoActionName = "none";
