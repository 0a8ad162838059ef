// Arrays: DELVAR, EXISTS, NUMSUBS, MINSUB, MAXSUB, SORT, SORTD. The first argument is the
// variable key of an '@' reference, not its value.
#include <algorithm>
#include <vector>

#include "script/functions.h"
#include "script/lib_support.h"
#include "script/variables.h"

namespace kvarn::script {

namespace {

using namespace lib;

// Sorting allocates one slot per subscript up to the largest; past this the array is
// refused rather than exhausting memory on a sparse array with a huge subscript.
constexpr int64_t kMaxSortSlots = 10'000'000;

bool userVariable(ExprContext& ctx, const Value& key, const char* fn) {
  if (isUserKey(key)) return true;
  ctx.setErrorf("The first parameter to function %s() must be a user variable.", fn);
  return false;
}

Variables* variablesOf(ExprContext& ctx, const char* fn) {
  ProgramContext* p = needProgram(ctx, fn);
  return p ? &scriptState(*p).variables : nullptr;
}

bool delvarFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (ctx.checkMode()) {
    r.setInt(1);
    return true;
  }
  if (!userVariable(ctx, a[0], "delvar")) return false;
  Variables* vars = variablesOf(ctx, "DELVAR");
  if (!vars) return false;
  r.setInt(static_cast<int64_t>(vars->remove(a[0].bytes())));
  return true;
}

bool existsFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (ctx.checkMode()) {
    r.setInt(1);
    return true;
  }
  if (!userVariable(ctx, a[0], "exists")) return false;
  Variables* vars = variablesOf(ctx, "EXISTS");
  if (!vars) return false;
  std::string_view key = a[0].bytes();
  if (VariableRecord* rec = vars->find(key); rec && rec->hasValue) {
    r.setInt(1);
    return true;
  }
  int found = 0;
  if (varKeyName(key).size() == key.size())
    if (ArrayStore* store = vars->findArray(key))
      for (const ArrayElement& e : store->elements())
        if (e.record.hasValue) {
          found = 1;
          break;
        }
  r.setInt(found);
  return true;
}

// Common checks of NUMSUBS, MINSUB and MAXSUB; the innermost elements of the array (or
// null).
bool arrayQuery(ExprContext& ctx, const Value& key, const char* fn, ArrayStore*& store) {
  if (!userVariable(ctx, key, fn)) return false;
  if (varKeyName(key.bytes()).size() != key.bytes().size()) {
    ctx.setErrorf("Parameter to %s() should be array name not an element.", fn);
    return false;
  }
  Variables* vars = variablesOf(ctx, fn);
  if (!vars) return false;
  store = vars->findArray(key.bytes());
  return true;
}

bool numsubsFn(ExprContext& ctx, std::span<Value> a, Value& r) {
  if (ctx.checkMode()) {
    r.setInt(1);
    return true;
  }
  ArrayStore* store = nullptr;
  if (!arrayQuery(ctx, a[0], "numsubs", store)) return false;
  int most = 0;
  if (store)
    for (const ArrayElement& e : store->elements()) most = std::max(most, e.key.count());
  r.setInt(most);
  return true;
}

bool subscriptBound(ExprContext& ctx, std::span<Value> a, Value& r, bool largest) {
  if (a.empty() || a.size() > 2) {
    ctx.setErrorf("Function %s() accepts one or two parameters", largest ? "MAXSUB" : "MINSUB");
    return false;
  }
  if (ctx.checkMode()) {
    r.setInt(1);
    return true;
  }
  ArrayStore* store = nullptr;
  if (!arrayQuery(ctx, a[0], largest ? "maxsub" : "numsubs", store)) return false;
  int64_t n = a.size() == 2 ? intArg(a[1]) : 1;
  int64_t best = 0;
  bool any = false;
  if (store && n >= 1 && n <= 4) {
    for (const ArrayElement& e : store->elements()) {
      if (e.key.count() < n) continue;
      int32_t s = e.key.at[n - 1];
      if (!any || (largest ? s > best : s < best)) best = s;
      any = true;
    }
  }
  r.setInt(best);
  return true;
}
bool minsubFn(ExprContext& ctx, std::span<Value> a, Value& r) { return subscriptBound(ctx, a, r, false); }
bool maxsubFn(ExprContext& ctx, std::span<Value> a, Value& r) { return subscriptBound(ctx, a, r, true); }

bool sortArray(ExprContext& ctx, std::span<Value> a, Value& r, bool descending) {
  if (a.empty() || a.size() > 2) {
    ctx.setError("Function sort() accepts one or two parameters");
    return false;
  }
  if (ctx.checkMode()) {
    r.setInt(1);
    return true;
  }
  if (!userVariable(ctx, a[0], "sort")) return false;
  Variables* vars = variablesOf(ctx, "SORT");
  if (!vars) return false;
  std::string name(varKeyName(a[0].bytes()));
  int nameLen = static_cast<int>(name.size());
  ArrayStore* held = vars->findArray(name);
  if (!held) {
    ctx.setErrorf("Array %.*s passed to sort() function has %d subscripts.", nameLen, name.c_str(), 0);
    return false;
  }
  ArrayStore& store = *held;
  int count = -1;
  int64_t rows = 0, cols = 0;
  for (const ArrayElement& e : store.elements()) {
    int n = e.key.count();
    if (count >= 0 && n != count) {
      ctx.setErrorf("Array %.*s has elements with different number of subscripts.", nameLen, name.c_str());
      return false;
    }
    count = n;
    rows = std::max<int64_t>(rows, e.key.at[0]);
    if (n > 1) cols = std::max<int64_t>(cols, e.key.at[1]);
  }
  if (count > 2) {
    ctx.setErrorf("Array %.*s has greater than 2 subscripts.", nameLen, name.c_str());
    return false;
  }
  int64_t keyRow = a.size() == 2 ? intArg(a[1]) : 1;
  if (count == 2 && (keyRow < 1 || keyRow > rows)) {
    ctx.setErrorf("Sort index %lld passed to sort function() beyond bounds of array %.*s.",
                  static_cast<long long>(keyRow), nameLen, name.c_str());
    return false;
  }
  int64_t slots = count == 1 ? rows : cols;
  if (slots > kMaxSortSlots) {
    ctx.setError("Failed to allocate sort array.");
    return false;
  }
  // One sort key per slot (1..slots); a missing one is null and sorts first.
  std::vector<const Value*> keys(static_cast<size_t>(slots), nullptr);
  for (const ArrayElement& e : store.elements()) {
    if (!e.record.hasValue) continue;
    if (count == 1) keys[static_cast<size_t>(e.key.at[0] - 1)] = &e.record.value;
    else if (e.key.at[0] == keyRow) keys[static_cast<size_t>(e.key.at[1] - 1)] = &e.record.value;
  }
  std::vector<int32_t> order(static_cast<size_t>(slots));
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
  std::string error;
  std::stable_sort(order.begin(), order.end(), [&](int32_t x, int32_t y) {
    int c = 0;
    if (!valueCompare(keys[static_cast<size_t>(x)], keys[static_cast<size_t>(y)], false, c, error)) return false;
    return descending ? c > 0 : c < 0;
  });
  // newPlace[old slot] = new slot.
  std::vector<int32_t> newPlace(order.size());
  for (size_t i = 0; i < order.size(); ++i) newPlace[static_cast<size_t>(order[i])] = static_cast<int32_t>(i + 1);
  // The elements keep their records and take their new subscripts; the store's index is
  // rebuilt from them.
  std::vector<ArrayElement> moved;
  moved.reserve(store.size());
  for (ArrayElement& e : store.elements()) {
    ArrayElement m{e.key, std::move(e.record)};
    if (count == 1) m.key.at[0] = newPlace[static_cast<size_t>(e.key.at[0] - 1)];
    else m.key.at[1] = newPlace[static_cast<size_t>(e.key.at[1] - 1)];
    moved.push_back(std::move(m));
  }
  ArrayStore sorted;
  for (ArrayElement& m : moved) sorted.obtain(m.key) = std::move(m.record);
  store = std::move(sorted);
  if (!error.empty()) {
    ctx.setError(std::move(error));
    return false;
  }
  r.setInt(1);
  return true;
}
bool sortFn(ExprContext& ctx, std::span<Value> a, Value& r) { return sortArray(ctx, a, r, false); }
bool sortdFn(ExprContext& ctx, std::span<Value> a, Value& r) { return sortArray(ctx, a, r, true); }

constexpr OperatorDef kRows[] = {
    functionRow("SORT", -1, sortFn, kFirstParamIsVariable),
    functionRow("SORTD", -1, sortdFn, kFirstParamIsVariable),
    functionRow("DELVAR", 1, delvarFn, kFirstParamIsVariable),
    functionRow("EXISTS", 1, existsFn, kFirstParamIsVariable),
    functionRow("NUMSUBS", 1, numsubsFn, kFirstParamIsVariable),
    functionRow("MINSUB", -1, minsubFn, kFirstParamIsVariable),
    functionRow("MAXSUB", -1, maxsubFn, kFirstParamIsVariable),
};

}  // namespace

std::span<const OperatorDef> arrayFunctionRows() { return kRows; }

}  // namespace kvarn::script
