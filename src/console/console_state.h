// The console's state: the screen geometry, the four screens' scroll positions, the
// command area being edited with its undo snapshots and history recall, the message and
// status lines, find, selection and the clipboard. One per program, kept in the
// program context; only the console thread reads or changes it, except the pending
// message and the wake-up, which other threads post under the display lock.
#pragma once
#include <atomic>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "context/context.h"
#include "context/output.h"
#include "mqsc/vocab.h"

struct ActionDef;

inline constexpr size_t kMaxCommandArea = 32000;  // characters of the command area
inline constexpr size_t kMaxUndoSnapshots = 1000;
inline constexpr size_t kMaxMessage = 199;

struct UndoSnapshot {
  std::u32string text;
  size_t cursor = 0;
};

// What the console asks of the rooms above it (filled in by the driver's wiring).
struct ConsoleHost {
  // The local commands for the Help screen: name and description, in listing order.
  std::function<std::vector<std::pair<std::string, std::string>>()> localCommands;
  // "KVARN Version ..." for the Help screen.
  std::function<std::string()> versionLine;
  // The machine details at the end of the Help screen.
  std::function<std::vector<std::string>(ProgramContext &)> machineDetails;
  // The expanded prompt of the command area.
  std::function<std::string(ProgramContext &)> prompt;
  // Completion: which keywords and values the connection offers, and the names of its
  // objects of one kind (false with a message when they cannot be had).
  std::function<VocabContext(ProgramContext &)> vocabulary;
  std::function<bool(ProgramContext &, const NameListDef *kind, std::vector<std::string> &names, std::string &message)>
      objectNames;
};

struct ConsoleState : ContextPart {
  ProgramContext *ctx = nullptr;
  ConsoleHost host;
  int columns = 80, rows = 25;
  Screen screen = kScreenMqsc;
  uint64_t scroll[kScreenCount] = {};  // rows scrolled back from the newest output

  // The command area.
  std::string prompt;
  std::u32string text;
  size_t cursor = 0;  // character offset in `text`
  bool insertMode = true;
  bool passwordMode = false;    // typed characters are painted as '*'
  bool cursorInOutput = false;  // moved up out of the command area
  int outputRow = 0, outputColumn = 0;

  // Selection: from the anchor to the cursor, inside the command area.
  bool selecting = false;
  size_t anchor = 0;
  bool anchorInOutput = false;  // the selection began in the output: a screen position
  int anchorRow = 0, anchorColumn = 0;
  std::string clipboard;

  // History recall.
  bool recalling = false;
  int recallIndex = -1;  // index into the history (newest last); -1 none yet
  std::string recallKey;
  bool recallContains = false;

  // Undo.
  std::deque<UndoSnapshot> undo;  // newest first
  size_t undoPos = 0;
  bool undoStepped = false;  // the keystroke before was an undo or redo

  bool completing = false;
  std::string completionCandidate;  // the word the last press put in
  std::string completionPrefix;     // what was typed before the first press
  bool entered = false;
  bool enteredUnlogged = false;  // entered by a command key with nolog             // Enter Command ran: the command area's text is submitted

  // Message and status lines.
  std::string message;
  std::string status;
  std::time_t statusExpires = 0;
  std::string pendingMessage;   // posted by another thread, under the display lock
  std::time_t waitStarted = 0;  // the command thread is waiting for replies since then
  // A status posted by a worker thread (under the display lock), shown from a time on.
  std::string postedStatus;
  std::time_t postedStatusFrom = 0;
  bool statusPosted = false;
  std::time_t statusFrom = 0;  // the status line is shown from then on

  // Find.
  std::string findText;
  bool findCase = false, findSingle = false, findBack = false;
  size_t findLine = SIZE_MAX;  // the line of the last hit
  size_t findOffset = 0;

  // Painting.
  bool fullRepaint = true;
  bool dirty = true;
  bool rebuildInfoScreens = true;
  std::atomic<bool> outputAdded{false};
  bool resized = false;
  int wakePipe[2] = {-1, -1};
  // Standard error while the console runs: what the MQ library or anything else writes
  // there becomes output lines instead of text thrown over the screen.
  int savedStderr = -1;
  int stderrPipe = -1;
  std::thread stderrReader;
  std::thread::id consoleThread;
  bool failed = false;
  bool colours = false;
  bool terminalOpen = false;
  uint32_t paintedOptions = 0;  // the settings the screen was last painted with
  int32_t keptHistory = 0;
  std::vector<int16_t> paintedColours;  // curses runs on the terminal (the clipboard may be sent to it)
};

ConsoleState *consoleOf(ProgramContext &ctx);
