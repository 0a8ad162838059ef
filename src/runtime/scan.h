// Text scanners: split command text into tokens while respecting quotes and brackets.
// White space is blank, tab, newline and carriage return. Positions are offsets into
// the text; npos means not found. The small helpers they build on (case, trimming,
// levels of quotes and brackets) are in text/text.h, which every includer gets.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

// The IBM MQ message number a line begins with: three capitals, a capital or a digit,
// three digits and an optional severity letter, ended by ':', a blank or the end
// ("AMQ8006I", "AMQ8409", "CSQM401I", "CSQ9022I"); "" when the line begins with none.
std::string_view scanMessageId(std::string_view text);
// "a , b,c " -> "a,b,c"
std::string scanNormaliseList(std::string_view list);
// `c` outside quotes (single or double), parentheses and square brackets.
size_t scanFindAtLevel0(std::string_view text, char c, size_t from = 0);
// the first ';' outside quotes and parentheses
size_t scanFindStatementEnd(std::string_view text, size_t from = 0);
// the first ',' outside quotes, parentheses and square brackets
size_t scanFindComma(std::string_view text, size_t from = 0);
// the pieces between commas found by scanFindComma (one piece for a text without one)
std::vector<std::string_view> scanSplitCommas(std::string_view text);
// the '(' of the outermost bracket group still open at `at` (exclusive), or npos
size_t scanOpenBracket(std::string_view text, size_t at);

// The text with the value of every pwd(...) clause (the connection password of =conn
// and -d) replaced by "********". Every copy of a command text that leaves the program's
// hands (echo, =output file, JSON output, trace, history) goes through this; the text
// sent on is never changed. A clause whose bracket is never closed is masked to the end.
std::string scanMaskPasswords(std::string_view text);

struct ScanToken {
  size_t start = 0;
  size_t length = 0;
  bool exhausted = false;  // no token was found: the text is used up
  std::string_view view(std::string_view text) const { return text.substr(start, length); }
};

enum class TokenSet {
  Operators,     // "()[]!|&<>-+*/=,;"
  GenericNames,  // "()[]!|&<>-+/=,;" : '*' stands in names
};

// Next token from `pos`: quoted text is one token up to its closing quote; an operator
// character is a token by itself, except the pairs <>, !=, >=, <= and == ; anything
// else runs to white space or an operator character. Advances `pos` past the token.
ScanToken scanNextToken(std::string_view text, size_t &pos, TokenSet set = TokenSet::Operators);

// Next definition token (CCDT command parser): as scanNextToken with GenericNames;
// a line whose first non-blank is ';' or '#' is a comment to its end; tokens are limited
// to 500 characters; unquoted tokens are upper-cased, quoted ones lose their quotes.
struct DefToken {
  std::string text;
  bool quoted = false;
  bool exhausted = false;
  bool tooLong = false;        // longer than kDefTokenLimit: `text` holds the first part
  bool unclosedQuote = false;  // a quoted token ran to the end of the text
  size_t start = 0;            // where the token begins in the text
};
inline constexpr size_t kDefTokenLimit = 500;
// Inside a quoted definition token a doubled quote ('It''s') stands for one quote, as
// in MQSC.
DefToken scanNextDefinitionToken(std::string_view text, size_t &pos);
