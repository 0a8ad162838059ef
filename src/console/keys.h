// Keys: the built-in table of named keys with their default actions, and the lookups
// the console and =key use, which look at the user's key names (=keyname) first.
#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "console/console_settings.h"
#include "context/context.h"

enum KeyModifiers : uint32_t { kModShift = 1, kModCtrl = 2, kModAlt = 4 };

struct KeyDef {
  const char *name;
  uint32_t code;  // the curses key code
  uint32_t modifiers;
  bool redirectable;          // =key may change it
  const char *defaultAction;  // nullptr: none
};

// In table order: the order of the Keys screen and of every search.
std::span<const KeyDef> builtinKeys();
const KeyDef *findBuiltinKey(std::string_view name);

// A key as the lookups find it: a user key name, or a built-in key. A user key that
// has a built-in key's name keeps that key's redirectable flag and default action.
struct KeyRef {
  std::string name;
  KeyStroke stroke;
  bool redirectable = true;
  const char *defaultAction = nullptr;
  bool user = false;
};

// Both compare names without regard to case and look at user key names first.
std::optional<KeyRef> findKeyByName(const ProgramContext &ctx, std::string_view name);
std::optional<KeyRef> findKeyByStroke(const ProgramContext &ctx, const KeyStroke &stroke);
