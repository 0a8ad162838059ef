#include "console/key_commands.h"

#include <strings.h>

#include <algorithm>

#include "console/actions.h"
#include "console/console_settings.h"
#include "console/key_sequence.h"
#include "console/keys.h"
#include "context/context.h"
#include "context/output.h"
#include "runtime/scan.h"

namespace {

KeystrokeCapture &keystrokeCapture() {
  static KeystrokeCapture capture;
  return capture;
}

// Key names in order without regard to case; key bindings in byte order of the key.
void storeKeyName(ProgramContext &ctx, KeyNameEntry entry) {
  auto &names = consoleSettingsOf(ctx).keyNames;
  std::erase_if(names, [&](const KeyNameEntry &k) { return scanEqualsNoCase(k.name, entry.name); });
  auto at = std::find_if(names.begin(), names.end(),
                         [&](const KeyNameEntry &k) { return strcasecmp(k.name.c_str(), entry.name.c_str()) > 0; });
  names.insert(at, std::move(entry));
}

void eraseBinding(ProgramContext &ctx, const std::string &key) {
  std::erase_if(consoleSettingsOf(ctx).keyBindings,
                [&](const KeyBindingEntry &b) { return scanEqualsNoCase(b.key, key); });
}

void storeBinding(ProgramContext &ctx, KeyBindingEntry binding) {
  eraseBinding(ctx, binding.key);
  auto &list = consoleSettingsOf(ctx).keyBindings;
  auto at = std::find_if(list.begin(), list.end(), [&](const KeyBindingEntry &b) { return b.key > binding.key; });
  list.insert(at, std::move(binding));
}

// The name of another key that already reads as `stroke`, user key names first.
std::optional<std::string> keystrokeOwner(const ProgramContext &ctx, const KeyStroke &stroke,
                                          const std::string &except) {
  for (const KeyNameEntry &k : consoleSettingsOf(ctx).keyNames)
    if (k.stroke == stroke && !scanEqualsNoCase(k.name, except)) return k.name;
  for (const KeyDef &k : builtinKeys())
    if (KeyStroke{k.code, k.modifiers, {}} == stroke && !scanEqualsNoCase(k.name, except)) return std::string(k.name);
  return std::nullopt;
}

void removeKeyName(ProgramContext &ctx, const std::string &name) {
  std::erase_if(consoleSettingsOf(ctx).keyNames, [&](const KeyNameEntry &k) { return scanEqualsNoCase(k.name, name); });
  // A built-in key of that name takes its place, with the assignment it had.
  if (!findBuiltinKey(name)) eraseBinding(ctx, name);
}

// seq(#): the keystroke the user presses next, read by the console.
std::optional<std::string> capturedSequence(ProgramContext &ctx, const ParsedCommand &cmd) {
  if (ctx.fileMode() || !keystrokeCapture()) {
    reportIgnoredInFileMode(ctx, cmd.text);
    return std::nullopt;
  }
  return keystrokeCapture()(ctx);
}

void cslDoKeyNameCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  const std::string &name = cmd.items[0].value;
  if (name.empty()) return addError(ctx, "Please enter a key name");
  if (!cmd.has("seq")) return addError(ctx, "Please specify a seq() parameter");
  if (std::string error = checkLocalName(name); !error.empty()) return addError(ctx, error);
  std::string text = cmd.value("seq");
  if (scanTrim(text) == "#") {
    std::optional<std::string> captured = capturedSequence(ctx, cmd);
    if (!captured) return;
    text = *captured;
  }
  KeyStroke stroke;
  if (!parseKeySequence(text, stroke)) return addError(ctx, "Sequence contains non-hexdecimal values");
  if (stroke.empty()) {
    removeKeyName(ctx, name);
  } else {
    std::string seq = formatKeySequence(stroke);
    if (std::optional<std::string> owner = keystrokeOwner(ctx, stroke, name))
      return addError(ctx, strFormat("Supplied keystroke '(%s)' already has name '%s'", seq.c_str(), owner->c_str()));
    storeKeyName(ctx, KeyNameEntry{name, seq, stroke});
  }
  ctx.settingsChanged = true;
}

uint32_t keyCommandFlags(const ParsedCommand &cmd) {
  uint32_t flags = kKeyCommandBase;
  if (cmd.has("clear")) flags |= kKeyCommandClear;
  if (cmd.has("noenter")) flags |= kKeyCommandNoEnter;
  if (cmd.has("nolog")) flags |= kKeyCommandNoLog;
  return flags;
}

// Only what differs from the key's default is kept: a command, or another action
// (an empty cmd() leaves the key with no action at all).
void cslDoKeyCommand(ProgramContext &ctx, ParsedCommand &cmd, int) {
  std::string name = cmd.items[0].hasValue ? cmd.items[0].value : cmd.value("name");
  if (name.empty()) return addError(ctx, "Please enter a key name");
  std::optional<KeyRef> key = findKeyByName(ctx, name);
  if (!key) return addError(ctx, strFormat("Unrecognised keyname '%s'", name.c_str()));
  if (!key->redirectable) return addError(ctx, strFormat("Sorry, key '%s' is not redirectable", key->name.c_str()));
  bool hasAction = cmd.has("action"), hasCommand = cmd.has("cmd");
  if (hasAction && hasCommand) return addError(ctx, "Please specify only one of ACTION or CMD");
  const ActionDef *action = hasAction ? findAction(cmd.value("action")) : nullptr;
  if (hasAction && !action) return addError(ctx, strFormat("Unrecognised action '%s'", cmd.value("action").c_str()));
  if (!hasAction && !hasCommand) return addError(ctx, "Please specify either a cmd() or action() parameter");

  KeyBindingEntry binding{key->name, action ? action->name : "", "", 0, false};
  if (std::string text = cmd.value("cmd"); !text.empty()) {
    binding.command = text;
    binding.options = keyCommandFlags(cmd);
    binding.isCommand = true;
  }
  std::string defaultAction = key->defaultAction ? key->defaultAction : "";
  if (binding.isCommand || binding.action != defaultAction) storeBinding(ctx, std::move(binding));
  else eraseBinding(ctx, key->name);
  ctx.settingsChanged = true;
}

}  // namespace

std::vector<LocalCommand> consoleLocalCommands() {
  return {
      {"=key",
       "Set or clear a key action or command",
       {{"cmd", "Command to be issued by the key", kLocalAnyValue},
        {"action", "Action to be performed by the key", kLocalAnyValue},
        {"clear", "Clear the command line before the command is added", {}},
        {"name", "Key name (instead of the command's own value)", kLocalAnyValue},
        {"noenter", "Add the command to the command line without entering it", {}},
        {"nolog", "Do not show the entered command in the output", {}}},
       {{"!t", "<Key>"}, {"<value>", ""}},
       cslDoKeyCommand},
      {"=keyname",
       "Define or delete a key name",
       {{"seq", "Key sequence: 0x<code> [0x<modifiers>], hexadecimal bytes, # to capture, empty to delete",
         kLocalAnyValue}},
       {{"!t", "<Key name>"}, {"<value>", ""}},
       cslDoKeyNameCommand},
  };
}

void setKeystrokeCapture(KeystrokeCapture capture) { keystrokeCapture() = std::move(capture); }

void restoreKeyName(ProgramContext &ctx, const std::string &name, const std::string &seq) {
  KeyNameEntry entry{name, seq, {}};
  if (!parseKeySequence(seq, entry.stroke)) entry.stroke = KeyStroke{};
  storeKeyName(ctx, std::move(entry));
}

void restoreKeyBinding(ProgramContext &ctx, const std::string &key, const std::string *action,
                       const std::string *command, uint32_t options) {
  KeyBindingEntry binding{key, "", "", options, false};
  if (action) {
    const ActionDef *known = findAction(*action);
    if (!scanEqualsNoCase(*action, kNoActionName)) binding.action = known ? known->name : *action;
  } else if (command) {
    binding.command = *command;
    binding.isCommand = true;
  }
  storeBinding(ctx, std::move(binding));
}
