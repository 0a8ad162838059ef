// The compiled-expression cache for texts evaluated again and again outside statements
// (EVAL). Entries are matched on the text and on everything the compilation depended on,
// so that two callers with different tables or resolvers never share a result.
#include <vector>

#include "script/expr.h"

namespace kvarn::script {

namespace {

struct CacheEntry {
  std::string text;
  unsigned flags;
  int positionOffset;
  const OperatorTable* table;
  NameResolver* resolver;
  ScriptFunctionHost* functions;
  const ExprVocabulary* vocabulary;
  Variables* variables;
  uint64_t stamp;
  CompiledExpr expr;
};

std::vector<CacheEntry>& entries() {
  static std::vector<CacheEntry> cache;
  return cache;
}
uint64_t g_stamp = 0;

bool sameInputs(const CacheEntry& e, std::string_view text, const ExprOptions& o) {
  return e.text == text && e.flags == o.flags && e.positionOffset == o.positionOffset && e.table == o.table &&
         e.resolver == o.resolver && e.functions == o.functions && e.vocabulary == o.vocabulary &&
         e.variables == o.variables;
}

}  // namespace

CompiledExpr expCacheFind(std::string_view text, const ExprOptions& options) {
  for (CacheEntry& e : entries())
    if (sameInputs(e, text, options)) {
      e.stamp = ++g_stamp;
      return e.expr;
    }
  return nullptr;
}

void expCacheStore(const CompiledExpr& expr, const ExprOptions& o) {
  CacheEntry entry{expr->text(), o.flags,        o.positionOffset, o.table, o.resolver, o.functions,
                   o.vocabulary,  o.variables, ++g_stamp,        expr};
  auto& cache = entries();
  if (cache.size() < kExprCacheSize) {
    cache.push_back(std::move(entry));
    return;
  }
  // Replace the least recently used; a caller still holding it keeps its own reference.
  CacheEntry* oldest = &cache.front();
  for (CacheEntry& e : cache)
    if (e.stamp < oldest->stamp) oldest = &e;
  *oldest = std::move(entry);
}

void expClearCache() { entries().clear(); }
size_t expCacheEntries() { return entries().size(); }

}  // namespace kvarn::script
