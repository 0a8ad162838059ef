// Script variables: keys with subscripts, variable records, scopes and the scope stack.
//
// A key is the name as written ('@' included) and, for an array element, '%', the
// subscript count, 0xDD filler to a multiple of 4 bytes and the subscripts as native
// 32-bit integers (expVariableKey). `@a`, `@a[1]` and `@a[1,2]` are unrelated variables
// that share a prefix; an array is the set of keys beginning "<name>%".
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
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
// Writes the key of `name` (at most kMaxVariableName bytes) with up to four subscripts
// into `buf` and returns it.
std::string_view varMakeKey(char (&buf)[kMaxVariableKey], std::string_view name, const int32_t* subscripts,
                            size_t count);
// "@a[1,2]" for an element, the name for a plain variable.
std::string varDisplayName(std::string_view key);
// The part before '%' (the array name of an element).
std::string_view varKeyName(std::string_view key);

struct VariableRecord {
  bool hasValue = false;
  Value value;  // strings own their bytes
};

// Byte order of keys. Keys are short (at most 52 bytes) and elements of one array share
// their first bytes, so eight bytes are compared at a time, inline.
struct KeyLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    size_t n = a.size() < b.size() ? a.size() : b.size();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t x, y;
      std::memcpy(&x, a.data() + i, 8);
      std::memcpy(&y, b.data() + i, 8);
      if (x == y) continue;
      if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(x) < __builtin_bswap64(y);
      else return x < y;
    }
    for (; i < n; ++i)
      if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    return a.size() < b.size();
  }
};

// The plain variables of a scope by exact key: open addressing over the map's own keys,
// so a lookup is one hash and, mostly, one key comparison.
class KeyIndex {
 public:
  static uint64_t hash(std::string_view key);
  VariableRecord* find(std::string_view key, uint64_t h) const;
  // `key` is the map node's key: it stays where it is until the record is erased.
  void insert(const std::string* key, VariableRecord* rec, uint64_t h);
  void erase(std::string_view key, uint64_t h);

 private:
  struct Slot {
    uint64_t hash = 0;
    const std::string* key = nullptr;  // null: free
    VariableRecord* rec = nullptr;
  };
  size_t home(uint64_t h) const { return static_cast<size_t>(h) & (slots_.size() - 1); }
  void grow();

  std::vector<Slot> slots_;
  size_t used_ = 0;
};

// One scope: records ordered by the key bytes. Plain variables are found through a hash
// index as well; elements of arrays, which may be many, through the ordered map alone,
// where one descent also tells whether the array has other elements here.
class Scope {
 public:
  using Map = std::map<std::string, VariableRecord, KeyLess>;
  using Range = std::pair<Map::iterator, Map::iterator>;
  Scope() = default;
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  ~Scope();

  const Map& records() const { return records_; }
  // The record of exactly this key, or null.
  VariableRecord* find(std::string_view key);
  VariableRecord* findPlain(std::string_view key, uint64_t hash) const { return index_.find(key, hash); }
  // Element `key` of array `name`: its record, or null with `holds` telling whether any
  // other element of the array is here. `hint` is where the key belongs.
  VariableRecord* findElement(std::string_view key, std::string_view name, bool& holds, Map::iterator& hint);
  // True when some element of array `name` is held here.
  bool holdsArray(std::string_view name) const;
  // The elements of array `name`, in key order. Their values may be changed in place.
  Range elements(std::string_view name);
  // The record of `key`, made without a value when it is not held yet.
  VariableRecord& obtain(std::string_view key);
  // Adds `key`, not held yet, at `hint` (from findElement or lower_bound).
  VariableRecord& insertAt(Map::iterator hint, std::string_view key);
  // Removes the records of `range` (from elements()); returns how many.
  size_t erase(Range range);
  // Removes the record of `key`; false when it is not held.
  bool erase(std::string_view key);

 private:
  Map records_;
  KeyIndex index_;  // plain variables
};

// Where a variable reference was last found, valid while no record has been added or
// removed and no scope pushed or popped anywhere (variablesStamp() unchanged).
class Variables;
struct VariableMemo {
  uint64_t stamp = 0;
  const Variables* owner = nullptr;
  VariableRecord* record = nullptr;
};

// Changes whenever any variable store adds or removes a record or a scope.
inline std::atomic<uint64_t> variablesStampCounter{1};
inline uint64_t variablesStamp() { return variablesStampCounter.load(std::memory_order_relaxed); }

class Variables {
 public:
  Variables();
  Variables(const Variables&) = delete;
  Variables& operator=(const Variables&) = delete;

  // A function call's scope; popping frees its variables. The main scope never pops.
  void pushScope();
  void popScope();
  size_t depth() const { return scopes_.size(); }
  // Sets the scopes above the first `depth` aside, so that names are found as an outer
  // frame sees them (the debugger), and puts them back. Both count as a change of scope.
  std::vector<std::unique_ptr<Scope>> setAsideScopes(size_t depth);
  void restoreScopes(std::vector<std::unique_ptr<Scope>> scopes);
  Scope& current() { return *scopes_.back(); }
  Scope& main() { return *scopes_.front(); }

  // The innermost record of exactly this key, or null.
  VariableRecord* find(std::string_view key);
  // find() for a reference that keeps `memo` between lookups of the same key.
  VariableRecord* find(std::string_view key, VariableMemo& memo);
  // The innermost scope holding the key exactly (plain) or any element of its array
  // (element key); null when none does.
  Scope* findScope(std::string_view key);
  // The innermost scope holding any element of array `name`.
  Scope* findArrayScope(std::string_view name);

  // Stores a copy of `value` (nullptr: declared without a value). With `createLocal`
  // always in the current scope; otherwise where the key already lives, else the
  // current scope. False when the key is too long to be stored.
  bool set(std::string_view key, bool createLocal, const Value* value);
  // set(key, false, &value) for a plain name of a valid length, for a statement that
  // keeps `memo` between assignments of the same name.
  void assignPlain(std::string_view key, const Value& value, VariableMemo& memo);
  // Current scope only: a plain name removes it and every element of its array; an
  // element key removes that element. Returns the count removed.
  size_t remove(std::string_view key);

 private:
  // `name` is varKeyName(key).
  VariableRecord* place(std::string_view key, std::string_view name);

  std::vector<std::unique_ptr<Scope>> scopes_;
};

// Copies `src` into a record's value, reusing the record's storage: strings become PSTR,
// an empty string an empty STR.
void storeValue(Value& dst, const Value& src);

// Reads a numeric text: optional '-' and digits give an INT, digits with one '.' a DBL.
// False for anything else (and for integers that do not fit 64 bits).
bool parseNumberText(std::string_view text, Value& out);

}  // namespace kvarn::script
