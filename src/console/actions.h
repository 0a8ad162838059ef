// The console's actions: every keystroke that is not typed text resolves to one of
// these by name. The operations behind them belong to the screen code; this table
// fixes their names and the steps taken around them.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

enum ActionFlags : uint32_t {
  kActionCancelContinuation = 0x01,   // cancel a pending continuation and empty the command area first
  kActionSelecting = 0x08,            // a movement that extends the selection
  kActionMovement = 0x10,             // a movement that drops the selection
  kActionOrdinary = 0x20,
};

struct ActionDef {
  const char *name;
  uint32_t flags;
};

// In table order (the order of the Keys screen).
std::span<const ActionDef> actionTable();
// Without regard to case, also without a leading '!' ("none" finds "!none").
const ActionDef *findAction(std::string_view name);
