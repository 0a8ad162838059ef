// Files of a stored queue manager: object definitions (text) and persistent
// messages (binary with a checksum). Each save writes a new file, flushes it and
// renames it into place, so a crash leaves either the old or the new file. A file
// that does not read back cleanly is reported and never overwritten.
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
  bool enabled() const { return !dir_.empty(); }
  const std::filesystem::path& dir() const { return dir_; }
  bool hasObjects() const;

  bool loadObjects(ObjectDef& qmgr, std::vector<ObjectDef>& objects, std::string& error) const;
  bool saveObjects(const ObjectDef& qmgr, const std::vector<ObjectDef>& objects, std::string& error);
  bool loadMessages(std::vector<StoredMessage>& messages, std::string& error) const;
  bool saveMessages(const std::vector<StoredMessage>& messages, std::string& error);

  static constexpr const char* kObjectsFile = "objects.qms";
  static constexpr const char* kMessagesFile = "messages.qms";

 private:
  std::filesystem::path dir_;
};

// Writes data to path through a temporary file and a rename; false and error on failure.
bool writeFileAtomically(const std::filesystem::path& path, const std::string& data, std::string& error);

}  // namespace qmsim
