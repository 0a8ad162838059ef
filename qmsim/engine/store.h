// Files of a stored queue manager: object definitions (text) and persistent
// messages (binary with a checksum). Each save writes a new file, flushes it and
// renames it into place, so a crash leaves either the old or the new file. A file
// that does not read back cleanly is reported and never overwritten.
//
// Object definitions are a snapshot plus a journal: a change appends one checked line
// to the journal and flushes it, so it costs the same however many objects there are.
// Once the journal outgrows the snapshot, the two are folded into a new snapshot.
// Replaying a journal is idempotent, so a crash between writing the new snapshot and
// emptying the journal loses nothing; a torn last line (a crash mid-append) is
// dropped on load.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "engine/objects.h"
#include "mqi/mqi.h"

namespace qmsim {

struct StoredMessage {
  std::string queue;
  MQMD md;
  std::string data;
};

class Store {
 public:
  explicit Store(std::filesystem::path dir);  // empty: nothing is stored
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
  bool enabled() const { return !dir_.empty(); }
  const std::filesystem::path& dir() const { return dir_; }
  bool hasObjects() const;

  // The snapshot with the journal replayed onto it.
  bool loadObjects(ObjectDef& qmgr, std::vector<ObjectDef>& objects, std::string& error);
  // A new snapshot of every object; empties the journal.
  bool saveObjects(const ObjectDef& qmgr, const std::vector<ObjectDef>& objects, std::string& error);
  // One change, appended to the journal (the queue manager object included).
  bool appendObject(const ObjectDef& def, std::string& error);
  bool appendRemoval(ObjectKind kind, const std::string& name, std::string& error);
  // True when the journal should be folded into a new snapshot: it has outgrown the
  // snapshot, it was found non-empty on load, or a failed append left it unusable.
  bool wantsSnapshot() const;
  bool loadMessages(std::vector<StoredMessage>& messages, std::string& error) const;
  bool saveMessages(const std::vector<StoredMessage>& messages, std::string& error);

  static constexpr const char* kObjectsFile = "objects.qms";
  static constexpr const char* kMessagesFile = "messages.qms";
  static constexpr const char* kJournalFile = "objects.jnl";

 private:
  bool loadSnapshot(ObjectDef& qmgr, std::vector<ObjectDef>& objects, std::string& error);
  bool appendLine(std::string line, std::string& error);
  bool resetJournal(std::string& error);

  std::filesystem::path dir_;
  int journalFd_ = -1;
  size_t journalBytes_ = 0, snapshotBytes_ = 0;
  bool journalReplayed_ = false;
  bool journalBroken_ = false;  // a failed append could not be cut off
};

// Writes data to path through a temporary file and a rename; false and error on failure.
bool writeFileAtomically(const std::filesystem::path& path, const std::string& data, std::string& error);

}  // namespace qmsim
