// The output line buffer: every line of output, from every thread, enters through
// OutputBuffer::addLine. Lines belong to a screen (the main MQSC screen, Help,
// Settings, Keys). A line that echoes a command starts a command group; the lines
// after it belong to that group, or to the group their writer names.
//
// In file mode a line is written out as it comes (standard output; trace lines to
// standard error) and nothing is kept. With JSON output (json_lines.h) each line goes
// out as one JSON object instead; a line left open (a print continued, a question and
// its answer) becomes one object when it is complete, and a prompt meant for the person
// at the terminal goes to standard error, so standard output holds nothing but objects. The full-screen console keeps the lines
// (bounded by the history setting) and paints them. Either way, while an =output file
// is open each line is copied to it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/lock.h"
#include "text/text.h"  // strFormat, with which most output lines are made

struct Settings;

enum LineStyle : uint32_t {
  kStyleCommand = 0x01,     // an echoed command: starts a command group
  kStyleStatement = 0x04,   // an echoed language statement: starts a group too
  kStyleInfo = 0x20,        // a message, or response text shown as received
  kStyleAttributes = 0x40,  // a laid-out line of a record's attributes
  kStyleError = 0x80,
  kStyleTotals = 0x100,  // a Total or Subtotal line
  kStyleNote = 0x400,    // an informational note of the layout ("Only 5 of 20 shown ...")
  kStyleDiagnostic = 0x800,
  kStyleRecordHeader = 0x1000,  // the header line of a laid-out record (AMQ8409I: ...)
  kStyleContinues = 0x2000,     // continues the previous line rather than starting one
  kStyleOpen = 0x20000,         // left open: the next text continues it (a prompt, a question)
  kStyleHeading = 0x40000,
  kStylePrint = 0x80000,      // a line of a script's print statement
  kStyleJson = 0x100000,      // JSON output: the text is one object already
  kStyleHidden = 0x10000000,  // not echoed: kept, shown only with =show noecho(yes)
  kStyleNoCopy = 0x20000000,  // shown, but not copied to the =output file (its own echo)
  kStyleTrace = 0x40000000,   // diagnostic trace: standard error in file mode
};
inline constexpr uint32_t kStyleGroupStart = kStyleCommand | kStyleStatement;

enum Screen : int { kScreenMqsc = 0, kScreenHelp = 1, kScreenSettings = 2, kScreenKeys = 3, kScreenCount = 4 };

enum LineFlags : uint32_t {
  kLineDisplayCommand = 1,  // a command group of a DISPLAY or RESET ... QSTATS
  kLineTimestamped = 2,
  kLineFound = 4,  // selected by find
};

// One line, allocated in one block with its text.
struct OutputLine {
  uint32_t style = 0;
  uint32_t flags = 0;
  uint32_t commandNumber = 0;  // the command group it belongs to (0: none yet)
  uint32_t rows = 1;           // screen rows at the buffer's width
  uint64_t rowIndex = 0;       // rows of the buffer before this one
  uint32_t length = 0;
  std::string_view text() const { return {chars(), length}; }
  bool startsGroup() const { return (style & kStyleGroupStart) != 0; }

 private:
  friend struct OutputLineFactory;
  const char *chars() const { return reinterpret_cast<const char *>(this + 1); }
};

struct OutputLineDeleter {
  void operator()(OutputLine *line) const;
};
using OutputLinePtr = std::unique_ptr<OutputLine, OutputLineDeleter>;

// One screen's lines, oldest first, with their row bookkeeping.
class ScreenLines {
 public:
  size_t size() const { return lines_.size(); }
  bool empty() const { return lines_.empty(); }
  const OutputLine &at(size_t i) const { return *lines_[i]; }
  const OutputLine &newest() const { return *lines_.back(); }
  uint64_t rows() const { return rows_; }
  // The echoed command line of a group, or nullptr when it has gone.
  const OutputLine *commandLine(uint32_t commandNumber) const;
  // Index of the first line of a group (or of the first later line), size() if none.
  size_t firstLineOf(uint32_t commandNumber) const;

  void append(OutputLinePtr line);
  void dropOldestAbove(uint64_t maxRows);
  void dropGroupsBefore(uint32_t commandNumber);  // from the oldest end
  void truncate(size_t keep);                     // removes the newest lines from index `keep` on
  void relayout(uint32_t width);
  void clear();

 private:
  std::deque<OutputLinePtr> lines_;
  uint64_t rows_ = 0;
};

class OutputBuffer {
 public:
  // `lock` is the display lock; `out` and `err` the streams of file mode (nullptr:
  // the lines are only kept).
  OutputBuffer(OwnedMutex &lock, FILE *out, FILE *err);
  ~OutputBuffer();
  OutputBuffer(const OutputBuffer &) = delete;
  OutputBuffer &operator=(const OutputBuffer &) = delete;

  // The one entry for every line of output. `group` names the command group the line
  // belongs to (0: the screen's current group). Returns the line's command number.
  uint32_t addLine(Screen screen, std::string_view text, uint32_t style, uint32_t group = 0);
  uint32_t addLine(std::string_view text, uint32_t style) { return addLine(kScreenMqsc, text, style); }

  // The console paints the lines: nothing more goes to the file-mode streams.
  void detachStreams();
  // Keeping lines (the console): up to `maxRows` rows of the MQSC screen, laid out at
  // `width` columns.
  void keepLines(bool keep, uint64_t maxRows = 20000);
  void setWidth(uint32_t width);
  uint32_t width() const { return width_; }
  // Called under the display lock for every line added (the console marks rows dirty).
  void setListener(std::function<void(Screen, const OutputLine &)> listener);

  // The lines kept; read under the display lock.
  OwnedMutex &lock() { return lock_; }
  const ScreenLines &screen(Screen s) const { return screens_[s]; }
  ScreenLines &screen(Screen s) { return screens_[s]; }
  uint32_t currentCommandNumber() const { return currentGroup_; }
  // Lines are kept or watched (the console): hidden lines may be shown later.
  bool keepsLines() const { return keep_ || listener_; }

  // =purge: drops the MQSC screen's lines of every command group older than
  // `commandNumber` and recounts the rows of the rest.
  void purgeBefore(uint32_t commandNumber);

  // JSON output follows the settings' `outformat` from now on.
  void followSettings(const Settings &settings);

  // Ends a JSON line left open and writes out everything buffered.
  void flush();
  // Writes out the lines written so far; a JSON line still open stays open.
  void flushStream();
  // The open line (a prompt, a question) was ended by the terminal echoing the user's
  // Enter: nothing more is written for it on the screen.
  void closeOpenLine();

  bool openCopyFile(const std::string &path, bool append);
  void closeCopyFile();
  bool copyFileOpen() const { return copy_ != nullptr; }
  // A write to the output stream or the copy file has failed (each reported once).
  bool writeFailed() const { return streamFailed_ || copyFailed_; }

  bool showHidden = false;

 private:
  bool jsonOutput() const;
  void writeOut(std::string_view text, uint32_t style);
  void writeLine(std::string_view text, uint32_t style, bool hidden);
  void addJsonLine(std::string_view text, uint32_t style, bool hidden);
  void endJsonLine();
  void writePrompt(std::string_view text, uint32_t style);
  void copyLine(std::string_view text, uint32_t style);
  void streamFailure(int error);
  void copyFailure(int error);

  OwnedMutex &lock_;
  FILE *out_;
  FILE *err_;
  FILE *copy_ = nullptr;
  std::string copyPath_;
  bool streamFailed_ = false;
  bool copyFailed_ = false;
  bool outOpen_ = false;   // the last line written out was left open
  bool copyOpen_ = false;  // the same in the copy file
  bool keep_ = false;
  const Settings *settings_ = nullptr;
  // JSON output: the text of a line still open, with the style and visibility of its start.
  std::string jsonPending_;
  uint32_t jsonPendingStyle_ = 0;
  bool jsonPendingHidden_ = false;
  bool jsonOpen_ = false;
  bool jsonPendingLine_ = false;
  uint64_t maxRows_ = 20000;
  uint32_t width_ = 80;
  uint32_t commandCounter_ = 0;
  uint32_t currentGroup_ = 0;
  ScreenLines screens_[kScreenCount];
  std::function<void(Screen, const OutputLine &)> listener_;
};

struct ProgramContext;

void addInfo(ProgramContext &ctx, std::string_view text);
void addError(ProgramContext &ctx, std::string_view text);
// Messages kept aside, each as "I" or "E" followed by the text.
struct CapturedMessages {
  std::mutex mutex;
  std::vector<std::string> lines;
  std::vector<std::string> take() {
    std::lock_guard<std::mutex> lock(mutex);
    return std::exchange(lines, {});
  }
};
// While set (null ends it), addInfo and addError on the calling thread keep their lines
// in `into` instead: a thread working for one of several queue managers at once has its
// messages shown in order with the others'.
void captureMessagesOnThisThread(CapturedMessages *into);
void addDiagnostic(ProgramContext &ctx, std::string_view text);
// A line of diagnostic trace (-D): standard error in file mode.
void addTrace(ProgramContext &ctx, std::string_view text);
// The length of the "[hh:mm:ss] " in front of an echoed command; 0 when there is none.
size_t commandTimeStampLength(std::string_view text);
// An echoed command line, prefixed with the time when time stamps are on. Returns its
// command number. `noCopy` keeps it out of the =output file (the echo of =output).
uint32_t addCommandEcho(ProgramContext &ctx, std::string_view text, bool visible, bool noCopy = false);

// The summary line at the end of a run; with JSON output the summary object with the
// run's counts.
void addSummaryLine(ProgramContext &ctx, std::string_view text);
