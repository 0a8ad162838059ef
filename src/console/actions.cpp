#include "console/actions.h"

#include "console/completion.h"
#include "console/console_state.h"
#include "console/editing.h"
#include "console/find.h"
#include "console/history.h"
#include "console/info_screens.h"
#include "console/scrolling.h"
#include "runtime/scan.h"

namespace {

void enterCommand(ConsoleState &c) { c.entered = true; }
void toggleInsert(ConsoleState &c) {
  c.insertMode = !c.insertMode;
  c.dirty = true;
}
void nextPage(ConsoleState &c) { pageOutput(c, +1); }
void previousPage(ConsoleState &c) { pageOutput(c, -1); }
void previousCommand(ConsoleState &c) { recallCommand(c, -1); }
void nextCommand(ConsoleState &c) { recallCommand(c, +1); }

void nextValue(ConsoleState &c) { completeAtCursor(c, +1); }
void previousValue(ConsoleState &c) { completeAtCursor(c, -1); }

void copy(ConsoleState &c) { copySelection(c, false); }
void cut(ConsoleState &c) { copySelection(c, true); }
void refreshScreen(ConsoleState &c) {
  c.fullRepaint = true;
  c.dirty = true;
}
void findNext(ConsoleState &c) { findAgain(c, false); }
void findPrevious(ConsoleState &c) { findAgain(c, true); }
void showHelp(ConsoleState &c) { switchScreen(c, kScreenHelp); }
void showMqsc(ConsoleState &c) { switchScreen(c, kScreenMqsc); }
void showKeys(ConsoleState &c) { switchScreen(c, kScreenKeys); }
void showSettings(ConsoleState &c) { switchScreen(c, kScreenSettings); }
void noop(ConsoleState &) {}

constexpr ActionDef kActions[] = {
    {"Enter Command", kActionOrdinary, enterCommand},
    {"Toggle Insert", kActionOrdinary, toggleInsert},
    {"Delete Character", kActionOrdinary, deleteCharacter},
    {"Backspace", kActionOrdinary, backspace},
    {"Clear Command Line", kActionMovement | kActionCancelContinuation, clearCommand},
    {"Next Page", kActionMovement, nextPage},
    {"Previous Page", kActionMovement, previousPage},
    {"Previous Command", kActionMovement, previousCommand},
    {"Next Command", kActionMovement, nextCommand},
    {"Next Value", kActionMovement, nextValue},
    {"Previous Value", kActionMovement, previousValue},
    {"Undo Last Change", kActionMovement, undoChange},
    {"Redo Last Change", kActionMovement, redoChange},
    {"Cursor Up", kActionMovement, moveUp},
    {"Cursor Down", kActionMovement, moveDown},
    {"Cursor Left", kActionMovement, moveLeft},
    {"Cursor Right", kActionMovement, moveRight},
    {"Cursor Home", kActionMovement, moveHome},
    {"Cursor End", kActionMovement, moveEnd},
    {"Cursor Top", kActionMovement, scrollToTop},
    {"Cursor Bottom", kActionMovement, scrollToBottom},
    {"Select Cursor Up", kActionSelecting, moveUp},
    {"Select Cursor Down", kActionSelecting, moveDown},
    {"Select Cursor Left", kActionSelecting, moveLeft},
    {"Select Cursor Right", kActionSelecting, moveRight},
    {"Select Cursor Home", kActionSelecting, moveHome},
    {"Select Cursor End", kActionSelecting, moveEnd},
    {"Select Cursor Top", kActionSelecting, scrollToTop},
    {"Select Cursor Bottom", kActionSelecting, scrollToBottom},
    {"Select All", kActionMovement, selectAll},
    {"Copy", kActionOrdinary, copy},
    {"Cut", kActionOrdinary, cut},
    {"Paste", kActionOrdinary, pasteClipboard},
    {"Refresh", kActionOrdinary, refreshScreen},
    {"Find Next", kActionOrdinary, findNext},
    {"Find Previous", kActionOrdinary, findPrevious},
    {"Show Help", kActionOrdinary, showHelp},
    {"Show MQSC", kActionOrdinary, showMqsc},
    {"Show Keys", kActionOrdinary, showKeys},
    {"Show Settings", kActionOrdinary, showSettings},
    {"!none", kActionOrdinary, nullptr},  // the key is ignored silently
    {"!noop", kActionOrdinary, noop},     // does nothing
};

}  // namespace

std::span<const ActionDef> actionTable() { return kActions; }

const ActionDef *findAction(std::string_view name) {
  for (const ActionDef &action : kActions) {
    std::string_view own = action.name;
    if (scanEqualsNoCase(own, name) || (own[0] == '!' && scanEqualsNoCase(own.substr(1), name))) return &action;
  }
  return nullptr;
}
