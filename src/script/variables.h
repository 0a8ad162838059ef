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

// An element's subscripts: subscripts are at least 1, so the unused ones are 0 and the
// count is the number before the first 0.
struct Subscripts {
  int32_t at[4] = {};
  static Subscripts of(const int32_t* subscripts, size_t count) {
    Subscripts s;
    for (size_t i = 0; i < count && i < 4; ++i) s.at[i] = subscripts[i];
    return s;
  }
  int count() const { return at[0] == 0 ? 0 : at[1] == 0 ? 1 : at[2] == 0 ? 2 : at[3] == 0 ? 3 : 4; }
  bool operator==(const Subscripts& o) const { return std::memcmp(at, o.at, sizeof at) == 0; }
};

struct ArrayElement {
  Subscripts key;
  VariableRecord record;
};

// Elements kept in blocks of a fixed size: an element stays where it is while others are
// added, and millions of them are added without copying any.
class ElementBlocks {
 public:
  static constexpr unsigned kShift = 5;  // 32 elements a block
  static constexpr size_t kBlock = size_t{1} << kShift;

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  ArrayElement& operator[](size_t i) { return blocks_[i >> kShift][i & (kBlock - 1)]; }
  const ArrayElement& operator[](size_t i) const { return blocks_[i >> kShift][i & (kBlock - 1)]; }
  ArrayElement& back() { return (*this)[size_ - 1]; }
  void push_back(ArrayElement element) {
    if ((size_ >> kShift) == blocks_.size()) blocks_.push_back(std::make_unique<ArrayElement[]>(kBlock));
    (*this)[size_++] = std::move(element);
  }
  void pop_back() {
    back() = ArrayElement{};
    if ((--size_ & (kBlock - 1)) == 0) blocks_.pop_back();
  }

  template <class Blocks, class Element>
  class Iter {
   public:
    Iter(Blocks* b, size_t i) : b_(b), i_(i) {}
    Element& operator*() const { return (*b_)[i_]; }
    Element* operator->() const { return &(*b_)[i_]; }
    Iter& operator++() {
      ++i_;
      return *this;
    }
    bool operator!=(const Iter& o) const { return i_ != o.i_; }
    bool operator==(const Iter& o) const { return i_ == o.i_; }

   private:
    Blocks* b_;
    size_t i_;
  };
  using iterator = Iter<ElementBlocks, ArrayElement>;
  using const_iterator = Iter<const ElementBlocks, const ArrayElement>;
  iterator begin() { return {this, 0}; }
  iterator end() { return {this, size_}; }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size_}; }

 private:
  std::vector<std::unique_ptr<ArrayElement[]>> blocks_;
  size_t size_ = 0;
};

// The elements of one array in one scope: a hash index over elements kept in blocks, so
// a record stays where it is until it is erased (erasing moves the last element into
// its place). About 80 bytes an element with a numeric value. The order of the elements
// is the order they were added in, changed only by erasures.
class ArrayStore {
 public:
  size_t size() const { return elements_.size(); }
  bool empty() const { return elements_.empty(); }
  VariableRecord* find(const Subscripts& key) const;
  // The record of `key`, made without a value when missing.
  VariableRecord& obtain(const Subscripts& key);
  bool erase(const Subscripts& key);
  ElementBlocks& elements() { return elements_; }
  const ElementBlocks& elements() const { return elements_; }

 private:
  static uint64_t hash(const Subscripts& key);
  size_t home(uint64_t h) const { return static_cast<size_t>(h >> 32) & (index_.size() - 1); }
  // The index slot holding `key`, or the free slot where it belongs.
  size_t slotOf(const Subscripts& key) const;
  void grow();

  ElementBlocks elements_;
  std::vector<uint32_t> index_;  // element number + 1; 0: free
};

// One scope: its plain variables by name (with a hash index) and its arrays by name.
class Scope {
 public:
  using Map = std::map<std::string, VariableRecord, KeyLess>;
  using Arrays = std::map<std::string, std::unique_ptr<ArrayStore>, std::less<>>;
  Scope() = default;
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  ~Scope();

  // The plain variables.
  const Map& records() const { return records_; }
  VariableRecord* findPlain(std::string_view key, uint64_t hash) const { return index_.find(key, hash); }
  // The elements of array `name` held here, or null (an array is held while it has an
  // element).
  ArrayStore* array(std::string_view name) const;
  // The store of array `name`, made when missing.
  ArrayStore& obtainArray(std::string_view name);
  // The record of `key` (a name or an element key), made without a value when missing.
  VariableRecord& obtain(std::string_view key);
  // Removes every element of array `name`; returns how many.
  size_t eraseArray(std::string_view name);
  // Removes the record of `key` (a name or an element key); false when it is not held.
  bool erase(std::string_view key);

 private:
  VariableRecord& obtainPlain(std::string_view key);

  Map records_;
  KeyIndex index_;
  Arrays arrays_;
};

// Where a variable reference was last found, valid while no record has been added or
// removed and no scope pushed or popped anywhere (variablesStamp() unchanged).
class Variables;
// For an element reference, `array` is the store of its array when that array is held
// in one scope only (where every element is read and made), else null.
struct VariableMemo {
  uint64_t stamp = 0;
  const Variables* owner = nullptr;
  VariableRecord* record = nullptr;
  ArrayStore* array = nullptr;
};

// Changes whenever any variable store adds or removes a plain variable, an array or a
// scope (adding or removing an element of an array that is held already does not).
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
  VariableRecord* find(std::string_view key, VariableMemo& memo) {
    if (memo.stamp == variablesStamp() && memo.owner == this) return memo.record;
    return findAndNote(key, memo);
  }
  // Element `subscripts` of array `name` (a valid name, subscripts checked): the
  // innermost record, or null. `memo` may be null.
  VariableRecord* findElement(std::string_view name, const Subscripts& subscripts, VariableMemo* memo);
  // Stores a copy of `value` in element `subscripts` of array `name`, where the array
  // is held, else in the current scope.
  void setElement(std::string_view name, const Subscripts& subscripts, const Value& value, VariableMemo* memo);
  // The elements of array `name` in the innermost scope holding any; null when none does.
  ArrayStore* findArray(std::string_view name);
  // The store every element of array `name` is read from and made in when only one
  // scope holds the array (null otherwise, or when none does), noted in `memo`.
  ArrayStore* soleArray(std::string_view name, VariableMemo& memo) {
    if (memo.stamp == variablesStamp() && memo.owner == this) return memo.array;
    return soleArrayNoted(name, memo);
  }

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
  VariableRecord* findAndNote(std::string_view key, VariableMemo& memo);
  void assignAndNote(std::string_view key, const Value& value, VariableMemo& memo);
  // `name` is varKeyName(key).
  VariableRecord* place(std::string_view key, std::string_view name);
  ArrayStore* soleArrayNoted(std::string_view name, VariableMemo& memo);
  // The store every element of array `name` is read from and made in when only one
  // scope holds the array (null otherwise, or when none does), noted in `memo`.

  std::vector<std::unique_ptr<Scope>> scopes_;
};

// Copies `src` into a record's value, reusing the record's storage: strings become PSTR,
// an empty string an empty STR. Numbers are set in place.
void storeOtherValue(Value& dst, const Value& src);
inline void storeValue(Value& dst, const Value& src) {
  switch (src.type()) {
  case LexemeType::Int: dst.setInt(src.asInt()); return;
  case LexemeType::Dbl: dst.setDbl(src.asDbl()); return;
  default: storeOtherValue(dst, src); return;
  }
}

inline void Variables::assignPlain(std::string_view key, const Value& value, VariableMemo& memo) {
  VariableRecord* rec = memo.record;
  if (!rec || memo.stamp != variablesStamp() || memo.owner != this) return assignAndNote(key, value, memo);
  storeValue(rec->value, value);
  rec->hasValue = true;
}

// Reads a numeric text: optional '-' and digits give an INT, digits with one '.' a DBL.
// False for anything else (and for integers that do not fit 64 bits).
bool parseNumberText(std::string_view text, Value& out);

}  // namespace kvarn::script
