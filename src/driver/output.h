// The program's output: every message, echoed command and response line goes through
// here. In file mode lines are written to standard output; the full-screen console
// plugs in as a sink of its own. While an =output file is open every line is copied
// to it as well.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

struct ProgramContext;

enum LineStyle : uint32_t {
  kStyleCommand = 0x01,        // an echoed command: starts a command group
  kStyleStatement = 0x04,
  kStyleInfo = 0x20,
  kStyleError = 0x80,
  kStyleDiagnostic = 0x800,
  kStyleHidden = 0x10000000,   // not echoed: kept, shown only with =show noecho(yes)
  kStyleNoCopy = 0x20000000,   // shown, but not copied to the =output file (its own echo)
};

class OutputSink {
public:
  explicit OutputSink(FILE *stream) : stream_(stream) {}
  virtual ~OutputSink();

  // Adds one line (without its newline).
  virtual void addLine(ProgramContext &ctx, std::string_view text, uint32_t style);
  virtual void flush();

  bool openCopyFile(const std::string &path, bool append);
  void closeCopyFile();
  bool copyFileOpen() const { return copy_ != nullptr; }
  // A write to the output stream or the copy file has failed (reported once each).
  bool writeFailed() const { return streamFailed_ || copyFailed_; }

  bool showHidden = false;

protected:
  void copyLine(std::string_view text);
  void writeToStream(std::string_view text);
  void streamFailure(int error);
  void copyFailure(int error);
  FILE *stream_;
  FILE *copy_ = nullptr;
  std::string copyPath_;
  bool streamFailed_ = false;
  bool copyFailed_ = false;
};

void addInfo(ProgramContext &ctx, std::string_view text);
void addError(ProgramContext &ctx, std::string_view text);
void addDiagnostic(ProgramContext &ctx, std::string_view text);
// An echoed command line, prefixed with the time when time stamps are on. `noCopy`
// keeps it out of the =output file (the echo of =output itself).
void addCommandEcho(ProgramContext &ctx, std::string_view text, bool visible, bool noCopy = false);

// printf-style formatting into a std::string.
std::string strFormat(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
