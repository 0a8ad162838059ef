// Arbitrary text to the keyword clause scanner, the list walkers, the generic-name
// rewrite and the namelist rebuild. The first byte holds the scanner options.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mqsc/attribute_tokenizer.h"
#include "mqsc/clause_scanner.h"
#include "mqsc/command_words.h"
#include "mqsc/prepare_steps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  unsigned options = data[0] & 31u;
  std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
  std::string_view view(text);

  static const char *keywords[] = {"Q", "QL", "DESCR", "NAMES", "=ADD", "=RMV", "WHERE", "SHARE", "("};
  for (const char *k : keywords) {
    KeywordClause clause;
    std::string message;
    if (findKeyword(view, k, options, clause, &message) && clause.found) {
      if (clause.keywordPos + clause.clauseLength > text.size() || clause.valuePos + clause.valueLength > text.size())
        __builtin_trap();
      std::string_view value = clause.value(view);
      size_t cursor = 0;
      std::string_view item;
      while (nextListItem(value, cursor, item)) {
        if (item.data() < value.data() || item.data() + item.size() > value.data() + value.size()) __builtin_trap();
      }
      std::string packed;
      splitList(value, packed);
    }
  }
  commandWord(view, 0);
  commandWord(view, 1);
  commandWord(view, 5);

  std::string rewritten = text;
  CommandRecord record;
  std::string message;
  rewriteGenericNames(rewritten, (data[0] & 32) != 0, record, message);
  ResponseRecord response = parsedRecord(std::string(view), "QM1");
  for (const auto &filter : record.filters) filter(response);

  std::string rebuilt;
  rebuildNamelistAlter(view, {"'A'", "'B'"}, rebuilt, message);
  return 0;
}
