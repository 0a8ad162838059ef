// Values of the script language and of =WHERE: the Lexeme value type, truth, integer
// value, conversion to text, comparison for sorting, the packed LIST form and the
// '*'/'?' pattern matcher shared by the operators.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvarn::script {

// Codes appear in messages ("Unknown lexeme type 0x%X"), so they are fixed.
enum class LexemeType : uint16_t {
  NotSet = 0,
  Int = 1,
  Dbl = 2,
  Var = 4,
  Str = 8,
  Op = 16,
  List = 64,
  PStr = 264,
  EPStr = 520,
};

// No string value grows past this many bytes: an operation that would make a longer one
// fails with a message instead of exhausting the machine's memory.
constexpr size_t kMaxStringValue = size_t{64} << 20;

constexpr bool isStringType(LexemeType t) {
  return t == LexemeType::Str || t == LexemeType::PStr || t == LexemeType::EPStr;
}

// One value. STR views bytes owned elsewhere (expression text, a variable, a response
// record); PSTR, EPSTR and LIST own their bytes. Small strings stay in the std::string
// inline buffer, so most run-time values never touch the heap.
class Value {
 public:
  Value() = default;

  static Value integer(int64_t v) {
    Value r;
    r.setInt(v);
    return r;
  }
  static Value real(double v) {
    Value r;
    r.setDbl(v);
    return r;
  }
  static Value view(std::string_view s) {
    Value r;
    r.setView(s);
    return r;
  }
  static Value owned(std::string s, LexemeType t = LexemeType::PStr) {
    Value r;
    r.setOwned(std::move(s), t);
    return r;
  }
  // Packs entries as a LIST: 16-bit length + bytes per entry, ended by 0xFFFF.
  // Entries longer than 65534 bytes are cut.
  static Value list(const std::vector<std::string_view>& entries);

  LexemeType type() const { return type_; }
  bool isNotSet() const { return type_ == LexemeType::NotSet; }
  bool isString() const { return isStringType(type_); }

  // Only meaningful for the value's own type.
  int64_t asInt() const { return int_; }
  double asDbl() const { return dbl_; }
  // Bytes of a string or LIST.
  std::string_view bytes() const {
    if (owns()) return own_;
    return type_ == LexemeType::Str ? std::string_view(ptr_, len_) : std::string_view();
  }

  void clear() {
    type_ = LexemeType::NotSet;
    own_.clear();
  }
  void setInt(int64_t v) {
    type_ = LexemeType::Int;
    int_ = v;
  }
  void setDbl(double v) {
    type_ = LexemeType::Dbl;
    dbl_ = v;
  }
  void setView(std::string_view s) {
    type_ = LexemeType::Str;
    ptr_ = s.data();
    len_ = static_cast<uint32_t>(s.size() < UINT32_MAX ? s.size() : UINT32_MAX);
  }
  void setOwned(std::string s, LexemeType t = LexemeType::PStr) {
    type_ = t;
    own_ = std::move(s);
  }
  // PSTR a + b, reusing this value's buffer. Neither part may view this value's own bytes.
  void setConcat(std::string_view a, std::string_view b) {
    type_ = LexemeType::PStr;
    size_t size = a.size() + b.size();
    if (own_.capacity() < size) own_.reserve(size);  // one allocation at most, not one per part
    own_.assign(a).append(b);
  }
  // A LIST from bytes already packed by the caller (resolvers reading list attributes).
  void setListBytes(std::string packed) {
    type_ = LexemeType::List;
    own_ = std::move(packed);
  }

  // A copy whose strings own their bytes (a STR becomes a PSTR).
  Value copy() const;

 private:
  bool owns() const { return type_ == LexemeType::PStr || type_ == LexemeType::EPStr || type_ == LexemeType::List; }

  // 48 bytes: the number or the viewed bytes share one word, the owned bytes live in
  // own_ (inline when short).
  LexemeType type_ = LexemeType::NotSet;
  uint32_t len_ = 0;  // STR: bytes viewed
  union {
    int64_t int_ = 0;
    double dbl_;
    const char* ptr_;  // STR
  };
  std::string own_;
};

// Walks the entries of packed LIST bytes; stops safely at a malformed end.
class ListCursor {
 public:
  explicit ListCursor(std::string_view packed) : rest_(packed) {}
  bool next(std::string_view& entry);

 private:
  std::string_view rest_;
};

std::string_view lexemeTypeName(LexemeType t);

// True/false as conditions see it: INT non-zero, DBL non-zero after truncation,
// non-empty string, LIST holding at least one byte. NOTSET is false.
// valueTruth and valueInteger for every type; the inline forms settle INT themselves.
bool valueTruthOf(const Value& v);
inline bool valueTruth(const Value& v) { return v.type() == LexemeType::Int ? v.asInt() != 0 : valueTruthOf(v); }

// The 32-bit number a value stands for in counts and subscripts: INT (low 32 bits),
// DBL truncated (clamped to the 32-bit range), string length, total LIST entry length.
int32_t valueIntegerOf(const Value& v);
inline int32_t valueInteger(const Value& v) {
  return v.type() == LexemeType::Int ? static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v.asInt())))
                                     : valueIntegerOf(v);
}

// Text form; DBL with the given decimals. False, with "Unknown lexeme type 0x%X" in
// error, for types that have no text form.
bool valueToText(const Value& v, int decimals, std::string& out, std::string& error);

// -1/0/1 for sorting. A null pointer is a missing value and sorts first, then NOTSET.
// Returns false with error set for types that cannot be compared.
bool valueCompare(const Value* a, const Value* b, bool caseSensitive, int& result, std::string& error);

// Dump line in the debug format ("INT  : 5\n"), for values that are not tokens.
std::string valueDump(const Value& v);

// Whole-string match of '*' (any run) and '?' (one character); without case
// sensitivity ASCII letters compare folded.
bool patternMatch(std::string_view text, std::string_view pattern, bool caseSensitive);

// Byte comparison of strings with or without case (ASCII folding); the shorter of
// two strings equal over the common length is smaller.
int compareBytes(std::string_view a, std::string_view b, bool caseSensitive);
bool equalBytes(std::string_view a, std::string_view b, bool caseSensitive);

}  // namespace kvarn::script
