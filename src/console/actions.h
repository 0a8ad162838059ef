// The console's actions: every keystroke that is not typed text resolves to one of
// these by name. Each row holds its name, the steps taken around it and its handler.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

enum ActionFlags : uint32_t {
  kActionCancelContinuation = 0x01,  // cancel a pending continuation and empty the command area first
  kActionSelecting = 0x08,           // a movement that extends the selection
  kActionMovement = 0x10,            // a movement that drops the selection
  kActionOrdinary = 0x20,
};

struct ConsoleState;

// What an action does in the console; none for !none (the key is ignored). Enter
// Command returns through the console's `entered` flag.
using ActionHandler = void (*)(ConsoleState &console);

struct ActionDef {
  const char *name;
  uint32_t flags;
  ActionHandler handler;
};

// In table order (the order of the Keys screen).
std::span<const ActionDef> actionTable();
// Without regard to case, also without a leading '!' ("none" finds "!none").
const ActionDef *findAction(std::string_view name);
