// Compiles and evaluates arbitrary text. The first byte picks the option flags and the
// table; names resolve to a value of a type chosen from the name, so every operator
// meets every type, absence and failure included.
#include <cstdint>
#include <string>

#include "script/expr.h"
#include "script/variables.h"

using namespace kvarn::script;

namespace {

class FuzzResolver : public NameResolver {
 public:
  bool bind(NameBinding& b, ExprContext& ctx) override {
    if (b.ref.name == "BADNAME") {
      ctx.setError("refused");
      return false;
    }
    if (b.ref.name == "K" && !b.partner.empty()) b.constant = Value::view("K");
    b.ref.slot = static_cast<int32_t>(b.ref.name.size());
    return true;
  }
  Resolution resolve(const VarRef& ref, std::span<const int32_t> subs, Value& out, ExprContext& ctx) override {
    unsigned h = static_cast<unsigned>(ref.name.size());
    for (char c : ref.name) h = h * 31 + static_cast<unsigned char>(c);
    for (int32_t s : subs) h += static_cast<unsigned>(s);
    switch (h % 9) {
    case 0: out.setInt(static_cast<int64_t>(h) - 1000); break;
    case 1: out.setDbl(static_cast<double>(h % 7) / 4.0); break;
    case 2: out.setView(ref.name); break;
    case 3: out = Value::list({"A", ref.name, ""}); break;
    case 4: out.clear(); break;
    case 5: return Resolution::Absent;
    case 6: ctx.setError("no such name"); return Resolution::Failed;
    case 7:
      out.setListBytes(std::string("\x05\x00"
                                   "ab",
                                   4));
      break;  // malformed list
    default: out.setInt(0); break;
    }
    return Resolution::Found;
  }
};

// '@' names read from a real variable store, which the evaluator also reads directly:
// plain names and elements, some held, some missing.
class StoreResolver : public NameResolver {
 public:
  explicit StoreResolver(Variables& vars) : vars_(vars) {}
  Resolution resolve(const VarRef& ref, std::span<const int32_t> subs, Value& out, ExprContext& ctx) override {
    if (ref.name.empty() || ref.name[0] != '@' || ref.name.size() > kMaxVariableName || subs.size() > 4) {
      ctx.setError("not a stored name");
      return Resolution::Failed;
    }
    for (int32_t s : subs)
      if (s < 1) {
        ctx.setError("subscript out of bounds");
        return Resolution::Failed;
      }
    VariableRecord* rec = subs.empty() ? vars_.find(ref.name, *ref.memo)
                                       : vars_.findElement(ref.name, Subscripts::of(subs.data(), subs.size()), ref.memo);
    if (!rec || !rec->hasValue) {
      ctx.setError("not defined");
      return Resolution::Failed;
    }
    storeValue(out, rec->value);
    return Resolution::Found;
  }

 private:
  Variables& vars_;
};

void fillStore(Variables& vars) {
  Value i = Value::integer(7), d = Value::real(2.5), s = Value::view("abc"), n = Value::view("42");
  vars.set("@a", false, &i);
  vars.set("@b", false, &d);
  vars.set("@s", false, &s);
  vars.set("@n", false, &n);
  for (int32_t k = 1; k <= 3; ++k) {
    Value v = Value::integer(k * 10);
    vars.setElement("@arr", Subscripts::of(&k, 1), v, nullptr);
  }
}

bool lowerFn(ExprContext&, std::span<Value> args, Value& result) {
  result.setOwned(std::string(args[0].bytes()));
  return true;
}
bool maxFn(ExprContext& ctx, std::span<Value> args, Value& result) {
  if (args.empty()) {
    ctx.setError("needs parameters");
    return false;
  }
  result.setDbl(static_cast<double>(valueInteger(args.back())));
  return true;
}
bool keyFn(ExprContext&, std::span<Value> args, Value& result) {
  result = args[0].copy();
  return true;
}

const OperatorDef kFunctions[] = {
    functionRow("LOWER", 1, lowerFn),
    functionRow("MAX", -1, maxFn),
    functionRow("KEY", 2, keyFn, kFirstParamIsVariable | kSecondParamIsVariable),
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const OperatorTable script = OperatorTable::build(kFunctions, true);
  static const OperatorTable where = OperatorTable::build(kFunctions, false);
  static FuzzResolver resolver;
  ExprOptions options;
  options.flags = data[0] & 0x3F;
  options.table = (data[0] & 0x40) ? &where : &script;
  options.resolver = (data[0] & 0x80) ? nullptr : &resolver;
  options.positionOffset = data[0];
  // With both high bits set, '@' names come from a variable store the evaluator reads
  // directly; between the two evaluations the store changes under the compiled
  // references (a name added, one removed, an element removed).
  Variables vars;
  StoreResolver storeResolver(vars);
  const bool stored = (data[0] & 0xC0) == 0xC0;
  if (stored) {
    fillStore(vars);
    options.table = &script;
    options.resolver = &storeResolver;
    options.variables = &vars;
  }
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string error;
  CompiledExpr expr = expParseExpression(text, options, error);
  if (!expr) {
    if (error.empty()) __builtin_trap();  // every refusal must say why
    return 0;
  }
  (void)expr->dumpPostfix();
  Value first, second;
  if (expEvaluate(*expr, first)) {
    Value kept = first.copy();
    std::string out, err;
    (void)valueToText(kept, data[0] % 12, out, err);
    (void)valueDump(kept);
    (void)valueTruth(kept);
    (void)valueInteger(kept);
    if (stored) {
      Value v = Value::view("new");
      vars.set("@c", false, &v);
      vars.remove("@a");
      int32_t two = 2;
      vars.remove(expVariableKey("@arr", std::span<const int32_t>(&two, 1)));
    }
    if (expEvaluate(*expr, second)) {
      int order = 0;
      (void)valueCompare(&kept, &second, data[0] & 1, order, err);
    }
  } else if (expr->error().empty()) {
    __builtin_trap();
  }
  return 0;
}
