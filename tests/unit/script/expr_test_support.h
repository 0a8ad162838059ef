// Stubs shared by the expression tests: a map-backed resolver, a few function rows and
// a helper that compiles, evaluates and formats.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "script/expr.h"

namespace kvarn::script::test {

class MapResolver : public NameResolver {
 public:
  std::map<std::string, Value> values;  // keyed by expVariableKey
  std::set<std::string> absent;         // names that signal absence
  std::vector<std::string> bound;       // "name|partner" per bind call
  int resolveCalls = 0;
  std::vector<std::string> order;  // names in the order they were resolved

  bool bind(NameBinding& b, ExprContext& ctx) override {
    bound.push_back(std::string(b.ref.name) + "|" + std::string(b.partner));
    if (b.ref.name == "REFUSED") {
      ctx.setError("Unknown variable 'REFUSED'");
      return false;
    }
    if (b.partner == "TYPE" && b.ref.name == "QLOCAL") b.constant = Value::view("QLOCAL");
    return true;
  }

  Resolution resolve(const VarRef& ref, std::span<const int32_t> subs, Value& out, ExprContext& ctx) override {
    ++resolveCalls;
    std::string name(ref.name);
    order.push_back(name);
    if (ref.modifier == IndicatorModifier::Long) name += ".long";
    if (absent.count(name)) return Resolution::Absent;
    for (int32_t s : subs)
      if (s < 1) {
        ctx.setErrorf("Out of bounds array error on variable '%s'", name.c_str());
        return Resolution::Failed;
      }
    auto it = values.find(expVariableKey(name, subs));
    if (it == values.end()) {
      if (!name.empty() && name[0] != '@') {  // attributes missing from the record read as ''
        out.setView({});
        return Resolution::Found;
      }
      ctx.setErrorf("Variable '%s' is not defined in the current scope.", name.c_str());
      return Resolution::Failed;
    }
    out = it->second;
    return Resolution::Found;
  }
};

bool lowerFn(ExprContext&, std::span<Value> args, Value& result);
bool maxFn(ExprContext& ctx, std::span<Value> args, Value& result);
extern CompiledExpr g_reentrant;  // evaluated again by AGAIN()
bool keyFn(ExprContext&, std::span<Value> args, Value& result);
const OperatorTable& testScriptTable();
const OperatorTable& testWhereTable();

struct Runner {
  MapResolver resolver;
  ExprOptions options;
  Runner(unsigned flags = kCaseSensitive | kAllowAt) {
    options.table = &testScriptTable();
    options.resolver = &resolver;
    options.flags = flags;
  }
  ExprRun run(std::string_view text, int decimals = 2) { return expRun(text, options, decimals); }
  std::string text(std::string_view t) {
    ExprRun r = run(t);
    return r.ok ? r.text : "ERROR: " + r.error;
  }
  std::string error(std::string_view t) {
    std::string e;
    CompiledExpr c = expParseExpression(t, options, e);
    if (c) {
      Value v;
      if (expEvaluate(*c, v)) return "(no error)";
      return c->error();
    }
    return e;
  }
};

}  // namespace kvarn::script::test
