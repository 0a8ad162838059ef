// IBM MQ constant names: lookup by name for CONST. expressions, and by value for reason texts.
#include <algorithm>
#include <cstring>

#include "mqsc/vocab.h"
#include "mqsc/vocab_data.h"
#include "mqsc/vocab_match.h"
#include "text/text.h"

namespace {

// Longest constant name IBM defines is well under this; longer names cannot match.
constexpr size_t kMaxConstantName = 128;

const char* DescriptionByValue(const ConstNameDef* table, int64_t value) {
  // Values are compared as 32-bit, as IBM's MQLONG.
  for (const ConstNameDef* row = table; row->name; ++row)
    if (static_cast<int32_t>(row->value) == static_cast<int32_t>(value)) return row->description;
  return nullptr;
}

}  // namespace

std::optional<int64_t> constantByName(std::string_view name) {
  // The generated index holds each name once (the first in search order wins), upper case
  // and sorted: fold the name once, then binary search with plain comparisons.
  if (name.empty() || name.size() >= kMaxConstantName) return std::nullopt;
  char folded[kMaxConstantName];
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\0') return std::nullopt;
    folded[i] = vocab::FoldUpper(name[i]);
  }
  folded[name.size()] = '\0';
  const ConstIndexEntry* first = kConstantIndex;
  const ConstIndexEntry* last = kConstantIndex + kConstantIndexCount;
  const ConstIndexEntry* it = std::lower_bound(
      first, last, folded, [](const ConstIndexEntry& e, const char* n) { return std::strcmp(e.name, n) < 0; });
  if (it != last && std::strcmp(it->name, folded) == 0) return it->value;
  return std::nullopt;
}

const ConstNameDef* constantRowByName(std::string_view name) {
  for (const ConstNameDef* const* table = kConstantSearchOrder; *table; ++table)
    for (const ConstNameDef* row = *table; row->name; ++row)
      if (scanEqualsNoCase(row->name, name)) return row;
  return nullptr;
}

const char* reasonText(int64_t code) {
  if (const char* text = DescriptionByValue(kReasonCodeTable, code)) return text;
  if (const char* text = DescriptionByValue(kFeedbackTable, code)) return text;
  return "";
}

const char* parameterText(int64_t parameter) {
  const char* text = DescriptionByValue(kParameterTable, parameter);
  return text ? text : "";
}
