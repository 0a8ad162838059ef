// The command area's editing: typing, deleting, moving the cursor, the selection and
// clipboard, and undo. Each operation works on the console state and
// leaves messages on its message line.
#pragma once
#include <string>
#include <string_view>

struct ConsoleState;

// The command area holds characters; the program's text is UTF-8.
std::u32string commandChars(std::string_view text);
std::string commandUtf8(const std::u32string &text);

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

// Undo: a snapshot before each keystroke that changed the text.
void snapshotForUndo(ConsoleState &c);
void undoChange(ConsoleState &c);
void redoChange(ConsoleState &c);

void copySelection(ConsoleState &c, bool cut);
void pasteClipboard(ConsoleState &c);
void selectAll(ConsoleState &c);
