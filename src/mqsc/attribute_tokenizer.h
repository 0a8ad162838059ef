// Reading response records: which lines start a record, the attribute tokenizer through
// which every other module reads a record's KEYWORD(value) attributes, time stamps shown
// in local time, and the attribute check mode.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "context/response_record.h"
#include "mqsc/command_record.h"
#include "mqsc/vocab.h"

// True when a response line starts a record (an object-details message, a z/OS details
// message, a handle record of DISPLAY QSTATUS or a RESET QSTATS record). Diagnostic flag
// 256 makes AMQ8407 and CSQM408I ordinary lines.
bool isRecordHeader(std::string_view line, uint32_t diagnosticFlags = 0);

// How list attributes (NAMES, MSGEXIT ...) are returned: `listval` peritem or one.
enum class ListValueMode { PerItem = 0, One = 1 };

struct AttributeToken {
  AttributeToken() = default;
  AttributeToken(const AttributeToken &) = delete;  // the views may point into `storage`
  AttributeToken &operator=(const AttributeToken &) = delete;

  std::string_view text;     // the whole token: "CURDEPTH(0)", "NOSHARE", "NAMES(A", the header line
  std::string_view keyword;  // view into `text`
  std::string_view value;    // view into `text`: inside the brackets, or the bare keyword
  std::string_view column;   // the column keyword (NOSHARE shows in column SHARE)
  bool isHeader = false;
  bool isBare = false;
  bool isWholeLine = false;  // a message line returned whole (CSQM134I ...)
  bool isPseudo = false;     // QSGQM(name)
  bool isList = false;       // a list attribute of the attribute pairs (NAMES, MSGEXIT ...)
  bool hidden = false;       // among the attributes the user asked to hide (set by the display)
  // A token the record's text does not hold as it is shown (blanks changed, a list cut
  // into items) is made here; any other views the record.
  std::string storage;
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

// Reads a record once: where its header line lies and where each attribute's keyword
// and value lie in its text (ResponseRecord). The header line's words are indexed too
// (a record may begin with its attributes); after it, blanks and line ends separate the
// attributes, text in square brackets is passed over, and the message lines a record
// carries whole (CSQM134I ...) are taken whole. `fields` as for attributeValueEnd.
void parseResponseRecord(ResponseRecord &record, const FieldDef *fields);
ResponseRecord parsedRecord(std::string text, std::string qmgr = {}, const FieldDef *fields = nullptr);

// Finds an attribute in a record's text by keyword (any case), as the index of a parsed
// record does: KEYWORD(value), `value` receiving the raw text between the brackets, or
// with `bare` the keyword standing alone (NOSHARE), `value` receiving the word. False
// when the record has none.
bool findRecordAttribute(std::string_view record, std::string_view keyword, const FieldDef *fields, bool bare,
                         std::string_view &value);

// Yields a record's tokens: the header line, QSGQM(name) when the record came from one
// of several queue managers, then each attribute as it is shown: line ends inside a
// value read as blanks and blanks at its ends dropped, a blank value shown as "( )", a
// list attribute split item by item (`listval` peritem) or made one token with the
// blanks before its commas removed.
class AttributeTokenizer {
 public:
  // `headerAttributes`: the header line's words come as attributes too (for a record
  // that begins with its attributes).
  AttributeTokenizer(const ResponseRecord &record, ListValueMode mode = ListValueMode::PerItem,
                     bool severalQmgrs = false, bool headerAttributes = false);
  // A record given as text, read here; `fields` is the field table of the command that
  // returned it, when known (see attributeValueEnd).
  AttributeTokenizer(std::string_view record, ListValueMode mode = ListValueMode::PerItem, bool severalQmgrs = false,
                     std::string_view qmgr = {}, const FieldDef *fields = nullptr);
  AttributeTokenizer(const AttributeTokenizer &) = delete;
  AttributeTokenizer &operator=(const AttributeTokenizer &) = delete;
  bool next(AttributeToken &token);

 private:
  bool nextListItem(AttributeToken &token);
  ResponseRecord owned_;  // a record given as text
  const ResponseRecord *record_;
  ListValueMode mode_;
  bool several_;
  bool headerAttributes_ = false;
  size_t index_ = 0;  // the next attribute
  int stage_ = 0;     // 0 header, 1 pseudo attribute, 2 attributes
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

// The attribute check mode: every attribute token of a record is looked up in the
// command's field table by its exact keyword; each one missing gives the line
// "  Unhandled attribute KEYWORD". Returns the lines; `count` is raised by their number.
std::vector<std::string> uncheckedAttributes(const ResponseRecord &record, const CommandDef *command,
                                             uint32_t &count);
