// The statement compiler: physical lines become commands (continuations joined, ';'
// split, comments and blank lines recorded), commands become command nodes, and blocks
// (if, while, foreach, foritem, func) are compiled whole with their jump links.
#pragma once

#include <string>
#include <string_view>

#include "context/context.h"
#include "script/statement.h"

namespace kvarn::script {

// Where compiled nodes go: the list, the function whose body it is (null for the main
// program), and for text compiled at run time the line all its nodes carry.
struct CompileTarget {
  NodeList* list = nullptr;
  FunctionDef* owner = nullptr;
  uint32_t fixedLine = 0;
  // The statement compiled is run once and freed (a top-level statement of a source read
  // as it runs): an =import at its top level is read as it runs too, not kept whole.
  bool runOnce = false;
};

enum class ParseResult {
  Compiled,    // a statement (with its whole block) was compiled
  EndOfInput,  // nothing more to read
};

// The next command of `src` (continuations joined, ';'-separated commands split),
// recording its physical lines as nodes of `record`; false at end of input.
bool cmdReadNextCommand(ProgramContext& ctx, InputSource& src, NodeList& record, std::string& command,
                        uint32_t fixedLine = 0);

// A command joined from continuation lines is at most this long, as a line is; a longer
// one is reported and skipped whole.
constexpr size_t kMaxStatementLength = size_t{1} << 20;

// The read-line operation of a string source (src.text, from src.textPos).
bool cmdReadStringLine(ProgramContext& ctx, InputSource& src);

// Reads and compiles one top-level command with its whole block; `failed`, when given,
// tells whether it failed to compile (the failure is counted either way).
ParseResult cmdParseCommand(ProgramContext& ctx, InputSource& src, const CompileTarget& target,
                            bool* failed = nullptr);

// Compiles a whole source into `target`; false when a compile error was reported.
bool cmdParseFile(ProgramContext& ctx, InputSource& src, const CompileTarget& target);

// Text run at run time: compiled whole into `target`; false on a compile error.
bool cmdCompileText(ProgramContext& ctx, std::string_view text, const CompileTarget& target);
// The same for text that is one command whatever it holds: no ';' splits it and no line
// ends it (the text of a substitution).
bool cmdCompileCommand(ProgramContext& ctx, std::string_view text, const CompileTarget& target);

// A script statement: the first token is a reserved word or begins with '@' or '_'.
bool cmdIsStatement(std::string_view text);

// Compiles an expression of a statement with the script's functions and resolver.
CompiledExpr cmdCompileExpression(ProgramContext& ctx, std::string_view text, int offset, std::string& error);

// The console's status text while a block or continuation is open.
void cmdWaitingFor(ProgramContext& ctx, std::string_view word);
void cmdWaitingDone(ProgramContext& ctx, std::string_view word);

}  // namespace kvarn::script
