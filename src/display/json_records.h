// The JSON objects of a command record (JSON output): one per shown record, with the
// record's attributes typed from the vocabulary, and one per message of the command,
// each naming the queue manager, the command's sequence number and its text. The
// layout decides what is shown, exactly as for text; this says how it is written.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "context/json_lines.h"
#include "mqsc/attribute_tokenizer.h"
#include "mqsc/command_record.h"

struct CommandDef;
struct ModifierState;
struct ProgramContext;

class JsonRecordWriter {
 public:
  JsonRecordWriter(const ProgramContext &ctx, const CommandRecord &record, const ModifierState *modifiers);

  // A record's object; `severalQmgrs` when it came from one of several queue managers of
  // a sharing group. A message line the record carries whole (CSQM134I ...) comes out
  // through `emitLine` as a message of its own after it.
  std::string record(const ResponseRecord &record, bool severalQmgrs,
                     const std::function<void(std::string_view object)> &emitLine) const;
  // A line of the command's output as a message: its kind from the style, the message
  // number it begins with, and for errors the codes of the reply that failed. "" for a
  // blank line.
  // `member`: the fleet member it came from, named as its qmgr, and the reason that
  // member failed with (0: none known).
  std::string message(std::string_view text, uint32_t style, std::string_view member = {},
                      int32_t memberReason = 0) const;
  // A Total (or, for one queue manager of a sharing group, Subtotal) line.
  struct Totals {
    bool total = true;
    std::string_view qsgQmgr;  // the queue manager of a Subtotal
    uint32_t received = 0, matched = 0, shown = 0;
    std::string_view text;
  };
  std::string totals(const Totals &totals) const;

  // Appends the value of one attribute, the `position`th of its record: a number, a
  // list, an ISO 8601 time stamp, or the text.
  void appendValue(std::string &out, const AttributeToken &token, size_t position) const;

 private:
  JsonObject start(const char *kind) const;
  char typeOf(std::string_view keyword) const;
  char typeAt(size_t position, std::string_view keyword) const;
  // Writes a record's attributes object into `out`. Without `repeats` false as soon as a
  // key may come twice; with it, every value of a repeated key is gathered under it.
  bool writeAttributes(const ResponseRecord &record, bool severalQmgrs, bool headerAttributes, bool repeats,
                       std::string &out, std::string_view &objectKeyword, std::string &objectStorage,
                       std::vector<std::string> &wholeLines) const;

  // Keywords are looked up by view, so a known one costs no allocation.
  struct KeywordHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };

  const CommandRecord &record_;
  const CommandDef *command_;
  const ModifierState *modifiers_;
  JsonObject qmgr_, command_text_;  // the same in every object of the command
  mutable std::unordered_map<std::string, char, KeywordHash, std::equal_to<>> types_;  // keyword -> type
  mutable std::vector<std::pair<std::string, char>> typeByPosition_;  // the type last found at each position
  // A record's attributes as they are written, kept from record to record for their storage.
  struct Member {
    size_t hash = 0;
    std::string key;
    std::string value;  // the value's JSON; with `repeated`, an array still open
    bool repeated = false;
  };
  mutable std::vector<Member> members_;
  mutable std::string attributes_;  // the attributes object being written
};
