#include "lib/ccdt_binary.h"

#include <memory>

#include "ccdt/binary_table.h"
#include "ccdt/status.h"

namespace qmsim {

namespace ccdt = kvarn::ccdt;

bool looksLikeBinaryCcdt(const std::string& content) { return content.rfind(kBinaryCcdtMagic, 0) == 0; }

namespace {

// The table reader treats a name without '/' as relative to MQCHLLIB and a leading
// '!' as "use MQSERVER"; the path here is already resolved, so keep it literal.
std::string literalPath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  return "./" + path;
}

Outcome fromCcdtCode(int code) {
  switch (code) {
  case ccdt::kErrNoFile:
  case ccdt::kErrAccess: return Outcome::fail(MQRC_CCDT_URL_ERROR);
  default: return Outcome::fail(MQRC_CHANNEL_CONFIG_ERROR);
  }
}

}  // namespace

Outcome readBinaryCcdt(const std::string& path, std::vector<CcdtChannel>& channels) {
  std::unique_ptr<ccdt::BinaryTable> table;
  std::string message;
  if (int rc = ccdt::BinaryTable::open(literalPath(path), ccdt::BinaryTable::Mode::Read, table, message); rc != 0)
    return fromCcdtCode(rc);
  ccdt::ChannelDefinition def;
  for (;;) {
    int rc = table->readNextChannel(def, message);
    if (rc == ccdt::kErrEndOfList) break;
    // A damaged record is not skipped: picking another channel behind the user's back
    // would connect somewhere they did not ask for.
    if (rc != 0) return fromCcdtCode(rc);
    if (def.channelType != ccdt::kChannelTypeClientConnection || def.transportType != ccdt::kTransportTcp) continue;
    std::string connName = def.connectionName.empty() ? def.shortConnectionName : def.connectionName;
    channels.push_back({def.channelName, def.qmgrName, connName});
  }
  table->close(message);
  return {};
}

}  // namespace qmsim
