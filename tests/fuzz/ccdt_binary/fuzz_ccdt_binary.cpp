// Feeds arbitrary bytes to the binary table as a file: opening, listing, the
// authentication-information records, and a change written back must never crash
// or hang. The same bytes are also decoded as a single channel record.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "ccdt/binary_table.h"
#include "ccdt/channel_record.h"
#include "ccdt/status.h"

using namespace kvarn::ccdt;

namespace {

const std::string &scratchFile() {
  // Memory-backed when possible: the writer syncs every file it saves.
  static const std::string path = std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/kvarn-fuzz-ccdt-" + std::to_string(::getpid()) + ".tab";
  return path;
}

void exercise(const std::string &path, BinaryTable::Mode mode) {
  std::unique_ptr<BinaryTable> table;
  std::string message;
  if (BinaryTable::open(path, mode, table, message) != 0) return;
  ChannelDefinition def;
  int guard = 0;
  for (int rc = 0; rc != kErrEndOfList && guard < 100000; ++guard) rc = table->readNextChannel(def, message);
  CrlList crl;
  table->readCrl(crl, message);
  OcspList ocsp;
  table->readOcsp(ocsp, message);
  if (mode == BinaryTable::Mode::Update) {
    ChannelDefinition fresh = clientConnectionDefaults();
    fresh.channelName = "FUZZ.NEW";
    fresh.connectionName = "h(1)";
    table->writeChannel(fresh, 0, message);
    table->readChannel("FUZZ.NEW", def, message);
    table->writeChannel(def, 3, message);
    table->rewind();
    if (table->readNextChannel(def, message) == 0) table->deleteCurrent(message);
    table->insertCrlEntry(1, CrlEntry{"ldap", 1, "u", "p"}, message);
  }
  table->close(message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string bytes(reinterpret_cast<const char *>(data), size);
  ChannelDefinition def;
  std::string message;
  decodeChannelRecord(bytes, "record", def, message);

  const std::string &path = scratchFile();
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  exercise(path, BinaryTable::Mode::Read);
  exercise(path, BinaryTable::Mode::Update);
  std::remove(path.c_str());
  return 0;
}
