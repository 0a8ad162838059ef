// The queue manager's error log, written as IBM MQ writes errors/AMQERR01.LOG: an
// entry per message with its inserts, the message, its explanation and the action,
// newest last. Past its size limit the file rolls over to AMQERR02.LOG and then
// AMQERR03.LOG, as IBM's does. Entries are written whole with one append each, so a
// crash never leaves half an entry behind another. A queue manager kept in memory only
// keeps its recent entries; they are there for everyone in either case.
#pragma once

#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace qmsim {

struct LogInserts {
  std::vector<long> numbers;       // IBM's <insert_1> and <insert_2>
  std::vector<std::string> texts;  // <insert_3>, <insert_4> and <insert_5>
};

class ErrorLog {
 public:
  // dir: the queue manager's directory (the log goes to its errors/ folder); empty
  // keeps the entries in memory only.
  ErrorLog(std::filesystem::path dir, std::string qmgrName);

  // Writes the message of the catalogue with this id; an id it does not know is a
  // programming error and writes nothing.
  void write(const std::string& id, const LogInserts& inserts);

  // "AMQ5534E: User ID 'bob' authentication failed" for each recent entry, oldest first.
  std::vector<std::string> recent() const;

  static constexpr size_t kFileLimit = 2 * 1024 * 1024;
  static constexpr size_t kRecentKept = 200;

 private:
  void append(const std::string& entry);

  std::filesystem::path dir_;
  std::string qmgrName_;
  mutable std::mutex mu_;
  std::deque<std::string> recent_;
};

// The text of a catalogue message with its inserts, without the id ("" for an unknown id).
std::string logMessageText(const std::string& id, const LogInserts& inserts);

}  // namespace qmsim
