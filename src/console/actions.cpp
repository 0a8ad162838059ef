#include "console/actions.h"

#include "runtime/scan.h"

namespace {

constexpr ActionDef kActions[] = {
    {"Enter Command", kActionOrdinary},
    {"Toggle Insert", kActionOrdinary},
    {"Delete Character", kActionOrdinary},
    {"Backspace", kActionOrdinary},
    {"Clear Command Line", kActionMovement | kActionCancelContinuation},
    {"Next Page", kActionMovement},
    {"Previous Page", kActionMovement},
    {"Previous Command", kActionMovement},
    {"Next Command", kActionMovement},
    {"Next Value", kActionMovement},
    {"Previous Value", kActionMovement},
    {"Undo Last Change", kActionMovement},
    {"Redo Last Change", kActionMovement},
    {"Cursor Up", kActionMovement},
    {"Cursor Down", kActionMovement},
    {"Cursor Left", kActionMovement},
    {"Cursor Right", kActionMovement},
    {"Cursor Home", kActionMovement},
    {"Cursor End", kActionMovement},
    {"Cursor Top", kActionMovement},
    {"Cursor Bottom", kActionMovement},
    {"Select Cursor Up", kActionSelecting},
    {"Select Cursor Down", kActionSelecting},
    {"Select Cursor Left", kActionSelecting},
    {"Select Cursor Right", kActionSelecting},
    {"Select Cursor Home", kActionSelecting},
    {"Select Cursor End", kActionSelecting},
    {"Select Cursor Top", kActionSelecting},
    {"Select Cursor Bottom", kActionSelecting},
    {"Select All", kActionMovement},
    {"Copy", kActionOrdinary},
    {"Cut", kActionOrdinary},
    {"Paste", kActionOrdinary},
    {"Refresh", kActionOrdinary},
    {"Find Next", kActionOrdinary},
    {"Find Previous", kActionOrdinary},
    {"Show Help", kActionOrdinary},
    {"Show MQSC", kActionOrdinary},
    {"Show Keys", kActionOrdinary},
    {"Show Settings", kActionOrdinary},
    {"!none", kActionOrdinary},   // the key is ignored silently
    {"!noop", kActionOrdinary},   // does nothing
};

} // namespace

std::span<const ActionDef> actionTable() { return kActions; }

const ActionDef *findAction(std::string_view name) {
  for (const ActionDef &action : kActions) {
    std::string_view own = action.name;
    if (scanEqualsNoCase(own, name) || (own[0] == '!' && scanEqualsNoCase(own.substr(1), name))) return &action;
  }
  return nullptr;
}
