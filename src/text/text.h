// Small text helpers shared by every room and by qmsim: comparison without regard to
// case, trimming, printf-style formatting into a string, and walking text by its levels
// of quoted strings and brackets.
//
// Header only and free of any other room, so that the qmsim libraries, which must not
// link KVARN's runtime, use this same code.
//
// Case folding is ASCII ('A'-'Z' and 'a'-'z' only): names, keywords and switch values
// are plain ASCII, and the result must not depend on the locale.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace text_detail {
inline char foldLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace text_detail

// ------------------------------------------------------------------ case

inline bool scanEqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (text_detail::foldLower(a[i]) != text_detail::foldLower(b[i])) return false;
  return true;
}

inline bool scanStartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && scanEqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Whether `part` occurs anywhere in `text`; an empty part occurs in every text.
inline bool scanContainsNoCase(std::string_view text, std::string_view part) {
  for (size_t i = 0; i + part.size() <= text.size(); ++i)
    if (scanEqualsNoCase(text.substr(i, part.size()), part)) return true;
  return false;
}

// ------------------------------------------------------------------ white space

// White space in command text: blank, tab, newline and carriage return.
inline constexpr std::string_view kScanSpace = " \t\n\r";

inline bool isScanSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The text without the characters of `chars` at either end (white space unless told).
// The result lies inside `text`; all of it trimmed leaves an empty view at its end.
inline std::string_view scanTrim(std::string_view text, std::string_view chars = kScanSpace) {
  size_t b = 0, e = text.size();
  while (b < e && chars.find(text[b]) != std::string_view::npos) ++b;
  while (e > b && chars.find(text[e - 1]) != std::string_view::npos) --e;
  return text.substr(b, e - b);
}

// ------------------------------------------------------------------ printf

inline std::string vstrFormat(const char *fmt, va_list ap) __attribute__((format(printf, 1, 0)));
inline std::string strFormat(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// printf-style formatting into a std::string, of any length. `ap` is used up.
inline std::string vstrFormat(const char *fmt, va_list ap) {
  char small[512];
  va_list copy;
  va_copy(copy, ap);
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n <= 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
  std::string out(static_cast<size_t>(n), '\0');
  std::vsnprintf(out.data(), out.size() + 1, fmt, ap);
  return out;
}

inline std::string strFormat(const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string out = vstrFormat(fmt, ap);
  va_end(ap);
  return out;
}

// ------------------------------------------------------------------ quotes and brackets

// Walks text one character at a time, keeping its level: how many brackets are open and
// whether it is inside a quoted string. A quoted string runs from a single or double
// quote to the next of the same; the brackets in it do not count.
struct ScanLevel {
  int depth = 0;                  // brackets open
  char quote = 0;                 // the quote of the string the walk is in; 0 outside
  std::string_view opens = "(";   // the characters that open a bracket
  std::string_view closes = ")";  // and those that close one (any closes any)
  // A closing bracket with none open is passed over, unless this is set: then the
  // depth goes below zero, and what follows is not at the outer level until an opening
  // bracket balances it.
  bool strayCloseHidesRest = false;

  // Neither inside brackets nor inside a quoted string.
  bool outside() const { return depth == 0 && quote == 0; }

  // Takes in the next character. True when it is plain text at the outer level: not a
  // quote or a bracket, and neither inside a quoted string nor inside brackets.
  bool step(char c) {
    if (quote) {
      if (c == quote) quote = 0;
      return false;
    }
    if (c == '\'' || c == '"') {
      quote = c;
      return false;
    }
    if (opens.find(c) != std::string_view::npos) {
      ++depth;
      return false;
    }
    if (closes.find(c) != std::string_view::npos) {
      if (depth > 0 || strayCloseHidesRest) --depth;
      return false;
    }
    return depth == 0;
  }
};

// The ')' matching the '(' at `open` (brackets nest, quoted strings are passed over),
// or text.size() when it is never closed.
inline size_t scanClosingBracket(std::string_view text, size_t open) {
  ScanLevel level;
  level.strayCloseHidesRest = true;
  for (size_t i = open; i < text.size(); ++i) {
    level.step(text[i]);
    if (text[i] == ')' && level.outside()) return i;
  }
  return text.size();
}

// As scanClosingBracket, but a quote is a character like any other: for text whose
// values are not quoted, such as a queue manager's responses (DESCR(it's)), local
// command operands and script conditions.
inline size_t scanClosingBracketIgnoringQuotes(std::string_view text, size_t open) {
  int depth = 0;
  for (size_t i = open; i < text.size(); ++i) {
    if (text[i] == '(') ++depth;
    else if (text[i] == ')' && --depth == 0) return i;
  }
  return text.size();
}
