// The keyword clause scanner: finds KEYWORD(value) clauses in command and response
// text at the outer bracket level, and walks comma-separated list values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum KeywordOptions : unsigned {
  kKeyReportErrors = 1,   // syntax errors produce a message
  kKeyRawValue = 2,       // quotes are neither removed nor examined
  kKeyAllowUnclosed = 4,  // a missing ')' is accepted: the value runs to the end
  kKeyKeepBlanks = 8,     // blanks at both ends of the value are kept
  kKeyBare = 16,          // bare keyword: no bracketed value is looked for
};

// The result of a keyword search. Positions are offsets into the searched text.
struct KeywordClause {
  bool found = false;
  size_t keywordPos = 0;
  size_t keywordLength = 0;
  size_t clauseLength = 0;  // keyword through ')' inclusive (the keyword alone when bare)
  size_t valuePos = 0;
  size_t valueLength = 0;
  bool quoted = false;                       // the value was quoted (quotes removed)
  size_t closePos = std::string_view::npos;  // the ')'; npos when it was missing

  std::string_view value(std::string_view text) const { return text.substr(valuePos, valueLength); }
  std::string_view clause(std::string_view text) const { return text.substr(keywordPos, clauseLength); }
};

// Finds `keyword` (any case) in `text`: at the start or after a blank or line feed, outside
// any brackets and quoted strings. An absent keyword is success with clause.found false.
// A syntax error in the value returns false; with kKeyReportErrors `message` (when given)
// receives its text.
bool findKeyword(std::string_view text, std::string_view keyword, unsigned options, KeywordClause &clause,
                 std::string *message = nullptr);

// The second half of findKeyword: parses the value whose '(' stands at `openPos`, for the
// keyword at keywordPos/keywordLength. Fills everything but `found`.
bool parseBracketedValue(std::string_view text, size_t keywordPos, size_t keywordLength, size_t openPos,
                         unsigned options, KeywordClause &clause, std::string *message = nullptr);

// The next comma-separated item of a list value from `cursor`: leading blanks skipped,
// a comma inside quotes or (), [] or {} does not end the item, trailing blanks trimmed.
// Advances past the comma; false when no item is left.
bool nextListItem(std::string_view value, size_t &cursor, std::string_view &item);

// The packed list form of the script's LIST values: each item as a 16-bit little-endian
// length and its bytes, ended by 0xFF 0xFF. False (and `packed` untouched) when an item
// is too long to be described (65,535 bytes or more).
bool splitList(std::string_view value, std::string &packed);
