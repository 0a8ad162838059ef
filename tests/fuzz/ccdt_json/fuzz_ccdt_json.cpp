// Feeds arbitrary bytes to the JSON table reader. Besides not crashing, whatever
// was read must survive being written and read again: the second writing of the
// table equals the first.
//
// Then CCDT mode edits the table: the input's command lines (see
// ../support/ccdt_session.h) run against it, and the table the mode writes must read
// back whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../support/ccdt_session.h"
#include "ccdt/json_table.h"

using namespace kvarn::ccdt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view input(reinterpret_cast<const char *>(data), size);
  std::string text(kvarn::fuzz::ccdt::splitSession(input).table);
  JsonTable table;
  std::vector<std::string> messages;
  table.readText(text, "fuzz.json", 1600000000, messages);
  table.render(JsonFields::All);
  {
    JsonFields fields = JsonFields::Date;
    std::string first = table.render(fields);
    JsonTable again;
    std::vector<std::string> ignored;
    again.readText(first, "fuzz.json", 1600000000, ignored);
    if (again.render(fields) != first) {
      std::FILE *f = std::fopen("/tmp/kvarn-ccdt-json-mismatch", "wb");
      if (f) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
      }
      std::abort();
    }
  }

  kvarn::fuzz::ccdt::runSession(TableForm::Json, input);
  return 0;
}
