// The JSON client channel definition table.
//
// The file is an object whose `channel` member is an array of client-connection
// channels. Several channels may share a name; each carries its 1-based index in
// its name group, and the file order is kept. Reading is lenient: every problem is
// reported with its line number and reading goes on. Saving writes "<file>_tmp",
// keeps the file as it was before the first change of the run in "<file>_bak",
// and renames the new file into place.
//
// Text values are written with the JSON escapes for quotes, backslashes and control
// bytes; other bytes, UTF-8 included, go as they are. The reader takes every JSON
// escape, \uXXXX and surrogate pairs as UTF-8; a backslash that starts no escape
// stays in the text, and such a file is reported with a warning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ccdt/channel.h"

namespace kvarn::ccdt {

// The `jsonfields` setting: which members the writer puts in the file.
enum class JsonFields : int {
  All = 1,   // every member, defaults included, and the altered time
  Min = 2,   // members that differ from their defaults
  Date = 3,  // as Min, plus the altered time
};

struct JsonChannel {
  ChannelDefinition def;
  int index = 1;  // within the group of channels of the same name
};

class JsonTable {
 public:
  // Loads `path`, replacing the channels held. Warnings and the summary line are
  // appended to `messages`. A missing file gives an empty table (reported when
  // `reportMissing`). Returns 0, or 10005 when storage ran out.
  int read(const std::string &path, bool reportMissing, std::vector<std::string> &messages);
  // The same from text in memory; `fileTime` stands in for the file's last-write time.
  int readText(std::string_view text, const std::string &path, int64_t fileTime, std::vector<std::string> &messages);

  // The file text for the channels held.
  std::string render(JsonFields fields) const;
  // Writes the file when the channels changed since reading. Returns 0 or 10002.
  int save(JsonFields fields, std::string &message);

  const std::vector<JsonChannel> &channels() const { return channels_; }
  void insert(size_t position, ChannelDefinition def);  // position past the end appends
  void replace(size_t position, ChannelDefinition def);
  void erase(size_t position);
  void move(size_t from, size_t to);
  bool changed() const { return changed_; }
  // How many channels carry `name`.
  int countOf(const std::string &name) const;
  const std::string &path() const { return path_; }

 private:
  void renumber();

  std::string path_;
  std::vector<JsonChannel> channels_;
  std::unordered_map<std::string, int> groupSizes_;  // channels per name, kept by renumber()
  bool changed_ = false;
  bool backupTaken_ = false;
};

// Whether a file can hold every value of `def` so that the reader takes it back: a
// number written as such (no keyword stands for it) has at most nine digits, and exit
// entries hold neither of the bytes that separate them in a binary record and fit the
// reader's list length. False with `message` naming the first that does not fit.
bool jsonCanHold(const ChannelDefinition &def, std::string &message);

// Values shown in JSON mode with KVARN_SHOW_ESCAPE_CHAR set: every backslash and
// double quote preceded by a backslash, as the file would hold them.
bool showEscapeChars();
std::string escapeForDisplay(std::string_view value);

// The altered times a file holds: the reader refuses earlier ones, and the text has a
// four-digit year (the last second of 9999 at most).
inline constexpr int64_t kMinAlteredTime = 1000;
inline constexpr int64_t kMaxAlteredTime = 253402300799;

// Parses the altered-time text (ISO 8601 with milliseconds, "Z" or an offset).
// Returns false for a malformed text.
bool parseAlteredTime(std::string_view text, int64_t &seconds);
std::string formatAlteredTime(int64_t seconds);

}  // namespace kvarn::ccdt
