// The command area's editing: typing, deleting, moving the cursor, the selection and
// clipboard, history recall and undo. Each operation works on the console state and
// leaves messages on its message line.
#pragma once
#include <string>
#include <string_view>

struct ConsoleState;

std::string commandText(const ConsoleState &c);
void setCommandText(ConsoleState &c, std::string_view text);
// Types one character at the cursor (insert or overwrite).
void typeCharacter(ConsoleState &c, char32_t ch);
void insertText(ConsoleState &c, std::string_view text);
void deleteSelection(ConsoleState &c);
void showMessage(ConsoleState &c, std::string_view text);

// Cursor movement; `select` extends the selection.
void moveLeft(ConsoleState &c);
void moveRight(ConsoleState &c);
void moveUp(ConsoleState &c);
void moveDown(ConsoleState &c);
void moveHome(ConsoleState &c);
void moveEnd(ConsoleState &c);

void deleteCharacter(ConsoleState &c);
void backspace(ConsoleState &c);
void clearCommand(ConsoleState &c);

// History: previous (-1 older) or next (+1 newer) command matching the recall key.
void recallCommand(ConsoleState &c, int direction);
void addToHistory(ConsoleState &c, std::string_view command);

// Undo: a snapshot before each keystroke that changed the text.
void snapshotForUndo(ConsoleState &c);
void undoChange(ConsoleState &c);
void redoChange(ConsoleState &c);

void copySelection(ConsoleState &c, bool cut);
void pasteClipboard(ConsoleState &c);
void selectAll(ConsoleState &c);

// Paging: +1 towards the newest output, -1 towards the oldest.
void pageOutput(ConsoleState &c, int direction);
void scrollToTop(ConsoleState &c);
void scrollToBottom(ConsoleState &c);

// A find command ("/text/flags"), and Find Next / Find Previous.
void runFind(ConsoleState &c, std::string_view command);
void findAgain(ConsoleState &c, bool reverse);
