// Feeds arbitrary bytes to the binary table as a file: opening, listing, the
// authentication-information records, and a change written back must never crash
// or hang. The same bytes are also decoded as a single channel record.
//
// Then CCDT mode edits the table: the input's command lines (see
// ../support/ccdt_session.h) run against it, and the table the mode writes must read
// back whole.
#include <cstdint>
#include <cstdio>
#include <string>

#include "../support/ccdt_session.h"
#include "ccdt/binary_table.h"
#include "ccdt/channel_record.h"
#include "ccdt/status.h"

using namespace kvarn::ccdt;

namespace {

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
  std::string_view input(reinterpret_cast<const char *>(data), size);
  std::string bytes(kvarn::fuzz::ccdt::splitSession(input).table);
  ChannelDefinition def;
  std::string message;
  decodeChannelRecord(bytes, "record", def, message);

  kvarn::fuzz::clearScratch();
  const std::string path = kvarn::fuzz::ccdt::scratchPath("reader.tab");
  kvarn::fuzz::ccdt::writeFile(path, bytes);
  exercise(path, BinaryTable::Mode::Read);
  exercise(path, BinaryTable::Mode::Update);

  kvarn::fuzz::ccdt::runSession(TableForm::Binary, input);
  return 0;
}
