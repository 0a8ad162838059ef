// The statement executor: runs compiled command nodes - conditions, loops (while,
// foreach over DISPLAY records, foritem over a list), script function calls with their
// own scopes, imports, text produced at run time - and reports run-time errors with
// where they happened. And the command loop that compiles and runs a source statement
// by statement.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "context/context.h"
#include "script/statement.h"

namespace kvarn::script {

// Compiles and runs `src` one top-level statement at a time until its input ends, the
// program quits or stop-on-error fires. The source is current while it runs.
void cmdRunSource(ProgramContext& ctx, InputSource& src);

// Runs nodes from `node` to the end of their list or block: 1 to go on, 0 to stop the
// caller (an error, leave, quit).
int cmdRunCommands(ProgramContext& ctx, CommandNode* node);

// Compiles text at run time and runs it. Text an Exec statement produced may hold several
// ';'-separated commands; text a substitution produced is one command whatever it holds,
// so that a value can never add a command of its own.
enum class RunTextAs { Statements, OneCommand };
int cmdRunText(ProgramContext& ctx, std::string_view text, RunTextAs as = RunTextAs::Statements);

// Runs an Import node: parameters into @_Parm, the file's statements, then the
// definitions it made take effect.
int cmdRunImport(ProgramContext& ctx, CommandNode& node);

// `<@var>` and `<_var>` groups replaced by their values' text. In an MQSC or local
// command a value that stands inside a quoted string has its quotes doubled, so that it
// stays one value; an expression (a foritem header, print items) takes values as they are.
enum class Substitution { Unchanged, Replaced, Dropped };
enum class SubstituteInto { Command, Expression };
Substitution cmdSubstitute(ProgramContext& ctx, std::string_view text, std::string& out,
                           SubstituteInto into = SubstituteInto::Command);

// A command holding `<@var>` groups, replaced and run in the command's place as one
// command: a ';' a value brings is a character of it, never a separator. Text that came
// from a substitution is not substituted again, so a value holding "<@x>" cannot make a
// command run itself for ever. False when there is nothing to substitute: the caller
// runs the command as it is.
bool cmdRunSubstituted(ProgramContext& ctx, const std::string& command);

// "Runtime error: ..." with the location chain; sets the error flag.
void cmdRuntimeError(ProgramContext& ctx, std::string_view statement, std::string_view message);

// Calls script function `name`; `result` receives the return value (NOTSET without one,
// INT 0 when the body stopped on an error). False when there is no such function.
bool cmdCallFunction(ProgramContext& ctx, std::string_view name, std::span<Value> args, Value* result,
                     CommandNode* callNode, std::string& error);

// The print, fprint and wait statements, handed over by the dispatcher.
void cmdRunPrint(ProgramContext& ctx, std::string_view text, bool toFile);
void cmdRunWait(ProgramContext& ctx, std::string_view text);

// True inside a script function or text run by a running statement.
bool cmdInFunctionOrRunTimeText(const ProgramContext& ctx);
// True inside text an Exec statement runs (not a substituted command).
bool cmdInRunTimeText(const ProgramContext& ctx);

// The script functions as expressions see them.
ScriptFunctionHost& scriptFunctionHost(ProgramContext& ctx);

constexpr int kMaxCallDepth = 10000;
constexpr size_t kStackReserve = 1024 * 1024;  // stack kept free below the deepest call
constexpr int kMaxTextNesting = 20;            // run-time text and wait statements inside each other
constexpr int kMaxImportDepth = 100;           // files importing files
constexpr size_t kMaxSubstitutedText = 51200;

}  // namespace kvarn::script
