// A response record: the KEYWORD(value) text of one object in a command's response, as
// the queue manager sent it, read once into the places where its attributes lie. The
// filters, the sort keys, the layout, JSON output and the scripts all read a record's
// attributes through this index, never by searching its text again.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One attribute of a record, as positions in the record's text.
struct RecordAttribute {
  enum Kind : uint8_t {
    Valued,     // KEYWORD(value)
    Bare,       // a keyword standing alone (NOSHARE)
    WholeLine,  // a message line the record carries whole (CSQM134I ...)
  };
  enum Flags : uint8_t {
    kInHeader = 1,  // a word of the header line (a record may begin with its attributes)
    kPaired = 2,    // the keyword has a row in the attribute pairs (NOSHARE, NAMES ...)
    kPlain = 4,     // Valued: shown exactly as it stands (no blank at the value's ends, no line end)
  };
  uint32_t start = 0;   // where the keyword (or the whole line) begins
  uint32_t keywordLength = 0;
  uint32_t valueLength = 0;  // Valued: the raw text between the brackets; WholeLine: the line's length
  Kind kind = Valued;
  uint8_t flags = 0;
  bool inHeader() const { return (flags & kInHeader) != 0; }
};

struct ResponseRecord {
  std::string text;           // header line first, as received
  std::string qmgr;           // the queue-sharing-group member that sent it, or empty
  bool commandFailed = false;  // the command that returned it failed (scripts show no _lastresp)

  // Filled when the record is read (parseResponseRecord, in the MQSC room).
  bool parsed = false;
  uint32_t headerStart = 0, headerEnd = 0;   // the header line within `text`
  std::vector<RecordAttribute> attributes;  // in text order

  ResponseRecord() = default;
  ResponseRecord(std::string text, std::string qmgr = {}, bool commandFailed = false)
      : text(std::move(text)), qmgr(std::move(qmgr)), commandFailed(commandFailed) {}

  std::string_view header() const { return std::string_view(text).substr(headerStart, headerEnd - headerStart); }
  std::string_view keywordOf(const RecordAttribute &a) const {
    return std::string_view(text).substr(a.start, a.keywordLength);
  }
  // The raw value (between the brackets, blanks and line ends as received); the word
  // itself for a bare keyword; the line for a whole line.
  std::string_view valueOf(const RecordAttribute &a) const {
    std::string_view t(text);
    switch (a.kind) {
    case RecordAttribute::Valued: return t.substr(a.start + a.keywordLength + 1, a.valueLength);
    case RecordAttribute::Bare: return t.substr(a.start, a.keywordLength);
    case RecordAttribute::WholeLine: return t.substr(a.start, a.valueLength);
    }
    return {};
  }

  // The first attribute KEYWORD(...) (or with `bare`, the bare word) of that keyword,
  // without regard to case; null when the record has none.
  const RecordAttribute *find(std::string_view keyword, bool bare = false) const;
  bool find(std::string_view keyword, bool bare, std::string_view &value) const {
    const RecordAttribute *a = find(keyword, bare);
    if (a) value = valueOf(*a);
    return a != nullptr;
  }

  // Drops what the index holds beyond its use (a record kept for sorting or a loop).
  void shrink() {
    attributes.shrink_to_fit();
    text.shrink_to_fit();
  }
};
