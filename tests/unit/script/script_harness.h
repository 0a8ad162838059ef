// A program context whose output lines are captured, and helpers that evaluate script
// expressions and statements against it (until the statement executor exists).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "context/context.h"
#include "script/compiler.h"
#include "script/expr.h"
#include "script/print.h"
#include "script/resolver.h"
#include "script/script_state.h"

namespace kvarn::script::test {

inline void makeStringSource(InputSource& src, std::string_view text) {
  src.isString = true;
  src.text.assign(text);
  src.readLine = cmdReadStringLine;
}

class ScriptHarness {
 public:
  ScriptHarness() {
    out_ = open_memstream(&outText_, &outSize_);
    ctx.output = std::make_unique<OutputBuffer>(ctx.displayLock, out_, out_);
    ctx.mode |= kModeFile;
  }
  ~ScriptHarness() {
    ctx.script.reset();
    ctx.output.reset();
    std::fclose(out_);
    std::free(outText_);
  }

  // Everything written so far, and forgets it.
  std::string output() {
    std::fflush(out_);
    std::string text(outText_, outSize_);
    std::fseek(out_, 0, SEEK_SET);
    std::fflush(out_);
    outSize_ = 0;
    return text;
  }

  // The result as text, or "ERROR: message".
  std::string eval(std::string_view text, int decimals = 2) {
    ExprOptions options = scriptExprOptions(ctx, kCopyStrings | kCaseSensitive | kAllowAt | kNoCheck);
    std::string error;
    CompiledExpr e = expParseExpression(text, options, error);
    if (!e) return "ERROR: " + error;
    Value v;
    if (!expEvaluate(*e, v)) return "ERROR: " + e->error();
    last = v.copy();
    std::string out;
    if (!valueToText(v, decimals, out, error)) return "ERROR: " + error;
    return out;
  }
  LexemeType typeOf(std::string_view text) {
    eval(text);
    return last.type();
  }

  // `@name = expression` as the executor will run it.
  std::string assign(std::string_view name, std::string_view expression, std::vector<int32_t> subs = {}) {
    std::string error;
    ExprOptions options = scriptExprOptions(ctx, kCopyStrings | kCaseSensitive | kAllowAt | kNoCheck);
    CompiledExpr e = expParseExpression(expression, options, error);
    if (!e) return error;
    Value v;
    if (!expEvaluate(*e, v)) return e->error();
    if (!scriptAssign(ctx, name, subs, v, error)) return error;
    return "";
  }

  std::string print(std::string_view items) {
    std::string error;
    if (!scriptPrint(ctx, items, error)) return "ERROR: " + error;
    return output();
  }

  ScriptState& state() { return scriptState(ctx); }

  ProgramContext ctx;
  Value last;

 private:
  FILE* out_ = nullptr;
  char* outText_ = nullptr;
  size_t outSize_ = 0;
};

}  // namespace kvarn::script::test
