// Room script: the expression engine (and the script language built on it). May
// include: script/, runtime/.
//
// The expression engine's entry points: compile a text into a postfix expression with a
// chosen operator table, resolver and flags; evaluate it; run text-in, text-out.
//
//   std::string error;
//   CompiledExpr e = expParseExpression("CURDEPTH > 0 AND DESCR LK 'PAY*'", options, error);
//   Value v;
//   if (e && expEvaluate(*e, v) && !e->absentSignalled() && valueTruth(v)) ...
//
// A result may view bytes of the compiled expression or of the resolver's data; keep it
// beyond those with Value::copy().
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "script/exp_context.h"
#include "script/lexeme.h"

namespace kvarn::script {

using CompiledExpr = std::shared_ptr<ExprContext>;

// Compiles `text`; on failure returns null and sets `error` (positions already include
// options.positionOffset). With kUseCache the result may be shared with earlier callers.
CompiledExpr expParseExpression(std::string_view text, const ExprOptions& options, std::string& error);

// Evaluates a compiled expression. On failure the message is in expr.error(). When a
// resolver signalled an absent value that no '|'/OR absorbed, the result is INT 0, the
// call succeeds and expr.absentSignalled() is true.
bool expEvaluate(ExprContext& expr, Value& result);

// Compile, evaluate and format in one step (tests, benchmarks, the debugger's eval).
struct ExprRun {
  bool ok = false;
  Value value;       // owned copy of the result
  std::string text;  // the result as text (DBL with `decimals` places)
  std::string error;
};
ExprRun expRun(std::string_view text, const ExprOptions& options, int decimals = 2);

// Diagnostic switches (the -D letters): 4 dumps token and postfix lists, 64 traces
// calls; both to standard error.
void expSetDebugFlags(unsigned flags);

// The compiled-expression cache (kUseCache): at most this many entries, the least
// recently used one replaced.
constexpr size_t kExprCacheSize = 30;
void expClearCache();
size_t expCacheEntries();

// Limits: arguments per function, subscripts per array, nesting of the expression.
constexpr int kMaxFunctionParams = 20;
constexpr int kMaxSubscripts = 4;
constexpr int kMaxNestingDepth = 1000;
constexpr size_t kMaxExpressionTerms = 65536;  // tokens of one expression

}  // namespace kvarn::script
