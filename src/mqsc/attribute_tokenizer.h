// Reading response records: which lines start a record, the attribute tokenizer through
// which every other module reads a record's KEYWORD(value) attributes, time stamps shown
// in local time, and the attribute check mode.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "mqsc/command_record.h"
#include "mqsc/vocab.h"

// True when a response line starts a record (an object-details message, a z/OS details
// message, a handle record of DISPLAY QSTATUS or a RESET QSTATS record). Diagnostic flag
// 256 makes AMQ8407 and CSQM408I ordinary lines.
bool isRecordHeader(std::string_view line, uint32_t diagnosticFlags = 0);

// How list attributes (NAMES, MSGEXIT ...) are returned: `listval` peritem or one.
enum class ListValueMode { PerItem = 0, One = 1 };

struct AttributeToken {
  std::string text;          // the whole token: "CURDEPTH(0)", "NOSHARE", "NAMES(A", the header line
  std::string_view keyword;  // view into `text`
  std::string_view value;    // view into `text`: inside the brackets, or the bare keyword
  std::string_view column;   // the column keyword (NOSHARE shows in column SHARE)
  bool isHeader = false;
  bool isBare = false;
  bool isWholeLine = false;  // a message line returned whole (CSQM134I ...)
  bool isPseudo = false;     // QSGQM(name)
  bool hidden = false;       // among the attributes the user asked to hide (set by the display)
};

// IBM MQ returns values unquoted, so a value holding an unbalanced bracket (a DESCR of
// "x(y" or "a)b") cannot be cut by the matching bracket alone. Where the matching
// bracket would run a value through a following attribute the reply can hold, or end it
// just before a lone ')', the value ends instead at the first ')' that is followed by
// blanks and then the end of the record or such an attribute, so that every attribute
// the reply holds stays whole. The attributes a reply can hold are those of the
// command's field table (`fields`), and the attribute pairs; with no table, every
// keyword of the vocabulary.

// Where the bracketed value whose '(' stands at `open` ends: the position of its ')', or
// text.size() when it is never closed.
size_t attributeValueEnd(std::string_view text, size_t open, const FieldDef *fields = nullptr);

// Finds an attribute of a record by keyword (any case), walking the record as the
// tokenizer does: KEYWORD(value), `value` receiving the raw text between the brackets,
// or with `bare` the keyword standing alone (NOSHARE), `value` receiving the word. False
// when the record has none.
bool findRecordAttribute(std::string_view record, std::string_view keyword, const FieldDef *fields, bool bare,
                         std::string_view &value);

class AttributeTokenizer {
 public:
  // `record` is the record's text (header line first); `qmgr` is its group's queue
  // manager, shown as QSGQM(...) when `severalQmgrs`. `fields` is the field table of the
  // command that returned the record, when known (see attributeValueEnd).
  AttributeTokenizer(std::string_view record, ListValueMode mode = ListValueMode::PerItem, bool severalQmgrs = false,
                     std::string_view qmgr = {}, const FieldDef *fields = nullptr);
  bool next(AttributeToken &token);

 private:
  void setToken(AttributeToken &token, std::string text, size_t keywordLength, size_t valueStart, size_t valueLength);
  bool nextListItem(AttributeToken &token);
  std::string_view text_;
  ListValueMode mode_;
  bool several_;
  std::string_view qmgr_;
  const FieldDef *fields_;
  size_t pos_ = 0;
  int stage_ = 0;  // 0 header, 1 pseudo attribute, 2 attributes
  // a list being returned item by item
  std::string listKeyword_;
  std::vector<std::string> listItems_;
  size_t listIndex_ = 0;
};

// The column keyword of a bare attribute ("NOSHARE" -> "SHARE"); the keyword itself when
// the attribute pairs table has no row for it.
std::string_view attributeColumn(std::string_view keyword);
bool isListAttribute(std::string_view keyword);

// A time-stamp attribute (EVTIME, CONNTI ...) holding UTC "YYYY-MM-DD HH:MM:SS" turned
// to local time: "KEY(2026-12-06 15:04:05 (Local))"; "KEY(?)" when the value is not a
// valid time. Other attributes are returned unchanged.
bool isTimeStampAttribute(std::string_view keyword);
std::string localTimeStamp(std::string_view token);
// Reads a time-stamp value ("YYYY-MM-DD HH:MM:SS", '.' also taken between the time's
// parts) into its UTC fields; false when it is not a valid time.
bool parseTimeStampValue(std::string_view value, std::tm &utc);

// The attribute check mode: every attribute token of every record is looked up in the
// command's field table by its exact keyword; each one missing gives the line
// "  Unhandled attribute KEYWORD". Returns the lines; `count` is raised by their number.
std::vector<std::string> uncheckedAttributes(const CommandRecord &record, const CommandDef *command, uint32_t &count);
