// Script variables: keys with subscripts, variable records, scopes and the scope stack.
//
// A key is the name as written ('@' included) and, for an array element, '%', the
// subscript count, 0xDD filler to a multiple of 4 bytes and the subscripts as native
// 32-bit integers (expVariableKey). `@a`, `@a[1]` and `@a[1,2]` are unrelated variables
// that share a prefix; an array is the set of keys beginning "<name>%".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "script/lexeme.h"

namespace kvarn::script {

// A 31-character name with four subscripts needs 52 bytes; every legal key fits.
constexpr size_t kMaxVariableKey = 52;
constexpr size_t kMaxVariableName = 31;

struct ParsedKey {
  std::string_view name;  // up to the '%'
  int count = 0;          // subscripts, 0 for a plain variable
  int32_t subscripts[4] = {};
};

// False when the subscript part is malformed.
bool varParseKey(std::string_view key, ParsedKey& out);
// "@a[1,2]" for an element, the name for a plain variable.
std::string varDisplayName(std::string_view key);
// The part before '%' (the array name of an element).
std::string_view varKeyName(std::string_view key);

struct VariableRecord {
  bool hasValue = false;
  Value value;  // strings own their bytes
};

// Byte order of keys. Keys are short (at most 52 bytes), so an inline loop beats a call
// to memcmp on every node of a descent.
struct KeyLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i)
      if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    return a.size() < b.size();
  }
};

// One scope: records ordered by the key bytes.
class Scope {
 public:
  using Map = std::map<std::string, VariableRecord, KeyLess>;
  Map& records() { return records_; }
  const Map& records() const { return records_; }
  VariableRecord* find(std::string_view key);
  // True when some element of array `name` is held here.
  bool holdsArray(std::string_view name) const;
  // The elements of array `name`, in key order.
  std::pair<Map::iterator, Map::iterator> elements(std::string_view name);

 private:
  Map records_;
};

class Variables {
 public:
  Variables();

  // A function call's scope; popping frees its variables. The main scope never pops.
  void pushScope();
  void popScope();
  size_t depth() const { return scopes_.size(); }
  Scope& current() { return *scopes_.back(); }
  Scope& main() { return *scopes_.front(); }

  // The innermost record of exactly this key, or null.
  VariableRecord* find(std::string_view key);
  // The innermost scope holding the key exactly (plain) or any element of its array
  // (element key); null when none does.
  Scope* findScope(std::string_view key);
  // The innermost scope holding any element of array `name`.
  Scope* findArrayScope(std::string_view name);

  // Stores a copy of `value` (nullptr: declared without a value). With `createLocal`
  // always in the current scope; otherwise where the key already lives, else the
  // current scope. False when the key is too long to be stored.
  bool set(std::string_view key, bool createLocal, const Value* value);
  // Current scope only: a plain name removes it and every element of its array; an
  // element key removes that element. Returns the count removed.
  size_t remove(std::string_view key);

 private:
  std::vector<std::unique_ptr<Scope>> scopes_;
};

// Copies `src` into a record's value, reusing the record's storage: strings become PSTR,
// an empty string an empty STR.
void storeValue(Value& dst, const Value& src);

// Reads a numeric text: optional '-' and digits give an INT, digits with one '.' a DBL.
// False for anything else (and for integers that do not fit 64 bits).
bool parseNumberText(std::string_view text, Value& out);

}  // namespace kvarn::script
