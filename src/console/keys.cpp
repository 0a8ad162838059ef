#include "console/keys.h"

#include "console/console_settings.h"
#include "runtime/scan.h"

namespace {

// Codes are ncurses key codes (KEY_DOWN 0x102, function key n at 0x108 + n).
constexpr KeyDef kKeys[] = {
    {"Enter", 0xa, 0, false, "Enter Command"},
    {"Linefeed", 0xd, 0, false, "Enter Command"},
    {"Insert", 0x14b, 0, false, "Toggle Insert"},
    {"Delete", 0x14a, 0, false, "Delete Character"},
    {"Backspace", 0x8, 0, false, "Backspace"},
    {"Escape", 0x1b, 0, true, "Clear Command Line"},
    {"PageDown", 0x152, 0, true, "Next Page"},
    {"PageUp", 0x153, 0, true, "Previous Page"},
    {"Ctrl-Down", 0x1e1, 2, true, "Cursor Down"},
    {"Ctrl-Up", 0x1e0, 2, true, "Cursor Up"},
    {"Tab", 0x9, 0, true, "Next Value"},
    {"Shift-Tab", 0x9, 1, true, "Previous Value"},
    {"Left", 0x104, 0, false, "Cursor Left"},
    {"Right", 0x105, 0, false, "Cursor Right"},
    {"Up", 0x103, 0, true, "Previous Command"},
    {"Down", 0x102, 0, true, "Next Command"},
    {"Home", 0x106, 0, true, "Cursor Home"},
    {"End", 0x166, 0, true, "Cursor End"},
    {"Shift-Up", 0x223, 1, true, "Select Cursor Up"},
    {"Shift-Down", 0x224, 1, true, "Select Cursor Down"},
    {"Ctrl-Home", 0x1bf, 2, true, "Cursor Top"},
    {"Ctrl-End", 0x1c0, 2, true, "Cursor Bottom"},
    {"Num-A1", 0x1c1, 0, true, "Cursor Home"},
    {"Num-A2", 0x1c2, 0, true, "Cursor Up"},
    {"Num-A3", 0x1c3, 0, true, "Previous Page"},
    {"Num-B1", 0x1c4, 0, true, "Cursor Left"},
    {"Num-B3", 0x1c6, 0, true, "Cursor Right"},
    {"Num-C1", 0x1c7, 0, true, "Cursor End"},
    {"Num-C2", 0x1c8, 0, true, "Cursor Down"},
    {"Num-C3", 0x1c9, 0, true, "Next Page"},
    {"Shift-Left", 0x187, 1, true, "Select Cursor Left"},
    {"Shift-Right", 0x190, 1, true, "Select Cursor Right"},
    {"Shift-Home", 0x184, 1, true, "Select Cursor Home"},
    {"Shift-End", 0x180, 1, true, "Select Cursor End"},
    {"Shift-Ctrl-Home", 0x184, 3, true, "Select Cursor Top"},
    {"Shift-Ctrl-End", 0x180, 3, true, "Select Cursor Bottom"},
    {"Ctrl-a", 0x1, 2, true, "Select All"},
    {"Ctrl-c", 0x3, 2, true, "Copy"},
    {"Ctrl-f", 0x6, 2, true, "Find Next"},
    {"Ctrl-g", 0x7, 2, true, "Find Previous"},
    {"Ctrl-r", 0x12, 2, true, "Refresh"},
    {"Ctrl-v", 0x16, 2, true, "Paste"},
    {"Ctrl-x", 0x18, 2, true, "Cut"},
    {"Ctrl-y", 0x19, 2, true, "Redo Last Change"},
    {"Ctrl-z", 0x1a, 2, true, "Undo Last Change"},
    {"F1", 0x109, 0, true, "Show Help"},
    {"F2", 0x10a, 0, true, "Show MQSC"},
    {"F3", 0x10b, 0, true, "Show Keys"},
    {"F4", 0x10c, 0, true, "Show Settings"},
    {"Num-B2", 0x1c5, 0, true, nullptr},
    {"Ctrl-b", 0x2, 2, true, nullptr},
    {"Ctrl-d", 0x4, 2, true, nullptr},
    {"Ctrl-e", 0x5, 2, true, nullptr},
    {"Ctrl-h", 0x8, 2, true, nullptr},
    {"Ctrl-i", 0x9, 2, true, nullptr},
    {"Ctrl-j", 0xa, 2, true, nullptr},
    {"Ctrl-k", 0xb, 2, true, nullptr},
    {"Ctrl-l", 0xc, 2, true, nullptr},
    {"Ctrl-m", 0xd, 2, true, nullptr},
    {"Ctrl-n", 0xe, 2, true, nullptr},
    {"Ctrl-o", 0xf, 2, true, nullptr},
    {"Ctrl-p", 0x10, 2, true, nullptr},
    {"Ctrl-q", 0x11, 2, true, nullptr},
    {"Ctrl-s", 0x13, 2, true, nullptr},
    {"Ctrl-t", 0x14, 2, true, nullptr},
    {"Ctrl-u", 0x15, 2, true, nullptr},
    {"Ctrl-w", 0x17, 2, true, nullptr},
    {"Alt-0", 0x197, 4, true, nullptr},
    {"Alt-1", 0x198, 4, true, nullptr},
    {"Alt-2", 0x199, 4, true, nullptr},
    {"Alt-3", 0x19a, 4, true, nullptr},
    {"Alt-4", 0x19b, 4, true, nullptr},
    {"Alt-5", 0x19c, 4, true, nullptr},
    {"Alt-6", 0x19d, 4, true, nullptr},
    {"Alt-7", 0x19e, 4, true, nullptr},
    {"Alt-8", 0x19f, 4, true, nullptr},
    {"Alt-9", 0x1a0, 4, true, nullptr},
    {"Alt-a", 0x1a1, 4, true, nullptr},
    {"Alt-b", 0x1a2, 4, true, nullptr},
    {"Alt-c", 0x1a3, 4, true, nullptr},
    {"Alt-d", 0x1a4, 4, true, nullptr},
    {"Alt-e", 0x1a5, 4, true, nullptr},
    {"Alt-f", 0x1a6, 4, true, nullptr},
    {"Alt-g", 0x1a7, 4, true, nullptr},
    {"Alt-h", 0x1a8, 4, true, nullptr},
    {"Alt-i", 0x1a9, 4, true, nullptr},
    {"Alt-j", 0x1aa, 4, true, nullptr},
    {"Alt-k", 0x1ab, 4, true, nullptr},
    {"Alt-l", 0x1ac, 4, true, nullptr},
    {"Alt-m", 0x1ad, 4, true, nullptr},
    {"Alt-n", 0x1ae, 4, true, nullptr},
    {"Alt-o", 0x1af, 4, true, nullptr},
    {"Alt-p", 0x1b0, 4, true, nullptr},
    {"Alt-q", 0x1b1, 4, true, nullptr},
    {"Alt-r", 0x1b2, 4, true, nullptr},
    {"Alt-s", 0x1b3, 4, true, nullptr},
    {"Alt-t", 0x1b4, 4, true, nullptr},
    {"Alt-u", 0x1b5, 4, true, nullptr},
    {"Alt-v", 0x1b6, 4, true, nullptr},
    {"Alt-w", 0x1b7, 4, true, nullptr},
    {"Alt-x", 0x1b8, 4, true, nullptr},
    {"Alt-y", 0x1b9, 4, true, nullptr},
    {"Alt-z", 0x1ba, 4, true, nullptr},
    {"F5", 0x10d, 0, true, nullptr},
    {"F6", 0x10e, 0, true, nullptr},
    {"F7", 0x10f, 0, true, nullptr},
    {"F8", 0x110, 0, true, nullptr},
    {"F9", 0x111, 0, true, nullptr},
    {"F10", 0x112, 0, true, nullptr},
    {"F11", 0x113, 0, true, nullptr},
    {"F12", 0x114, 0, true, nullptr},
    {"F13", 0x115, 1, true, nullptr},
    {"F14", 0x116, 1, true, nullptr},
    {"F15", 0x117, 1, true, nullptr},
    {"F16", 0x118, 1, true, nullptr},
    {"F17", 0x119, 1, true, nullptr},
    {"F18", 0x11a, 1, true, nullptr},
    {"F19", 0x11b, 1, true, nullptr},
    {"F20", 0x11c, 1, true, nullptr},
    {"F21", 0x11d, 1, true, nullptr},
    {"F22", 0x11e, 1, true, nullptr},
    {"F23", 0x11f, 1, true, nullptr},
    {"F24", 0x120, 1, true, nullptr},
    {"Ext-Shift-Left", 0x21c, 1, true, "!noop"},
    {"Ext-Shift-Right", 0x21d, 1, true, "!noop"},
    {"Ext-Ctrl-Left", 0x21e, 2, true, "!noop"},
    {"Ext-Ctrl-Right", 0x21f, 2, true, "!noop"},
    {"Ext-Alt-Left", 0x220, 4, true, "!noop"},
    {"Ext-Alt-Right", 0x221, 4, true, "!noop"},
};

KeyRef builtinRef(const KeyDef &key) {
  return {key.name, KeyStroke{key.code, key.modifiers, {}}, key.redirectable, key.defaultAction, false};
}

KeyRef userRef(const KeyNameEntry &entry) {
  KeyRef ref{entry.name, entry.stroke, true, nullptr, true};
  if (const KeyDef *same = findBuiltinKey(entry.name)) {
    ref.redirectable = same->redirectable;
    ref.defaultAction = same->defaultAction;
  }
  return ref;
}

}  // namespace

std::span<const KeyDef> builtinKeys() { return kKeys; }

const KeyDef *findBuiltinKey(std::string_view name) {
  for (const KeyDef &key : kKeys)
    if (scanEqualsNoCase(key.name, name)) return &key;
  return nullptr;
}

std::optional<KeyRef> findKeyByName(const ProgramContext &ctx, std::string_view name) {
  for (const KeyNameEntry &entry : consoleSettingsOf(ctx).keyNames)
    if (scanEqualsNoCase(entry.name, name)) return userRef(entry);
  if (const KeyDef *key = findBuiltinKey(name)) return builtinRef(*key);
  return std::nullopt;
}

std::optional<KeyRef> findKeyByStroke(const ProgramContext &ctx, const KeyStroke &stroke) {
  for (const KeyNameEntry &entry : consoleSettingsOf(ctx).keyNames)
    if (entry.stroke == stroke) return userRef(entry);
  for (const KeyDef &key : kKeys)
    if (key.code == stroke.code && key.modifiers == stroke.modifiers && stroke.escape.empty()) return builtinRef(key);
  return std::nullopt;
}
