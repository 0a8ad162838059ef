// IBM MQ constant names: lookup by name for CONST. expressions, and by value for reason texts.
#include <algorithm>
#include <cctype>

#include "mqsc/vocab.h"
#include "mqsc/vocab_data.h"
#include "mqsc/vocab_match.h"

namespace {

// Compares an upper-case index name with a name in any case.
int CompareUpper(const char* indexName, std::string_view name) {
  size_t i = 0;
  for (; indexName[i] && i < name.size(); ++i) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    if (indexName[i] != c) return indexName[i] < c ? -1 : 1;
  }
  if (indexName[i]) return 1;
  return i < name.size() ? -1 : 0;
}

const char* DescriptionByValue(const ConstNameDef* table, int64_t value) {
  // Values are compared as 32-bit, as IBM's MQLONG.
  for (const ConstNameDef* row = table; row->name; ++row)
    if (static_cast<int32_t>(row->value) == static_cast<int32_t>(value)) return row->description;
  return nullptr;
}

}  // namespace

std::optional<int64_t> ConstantByName(std::string_view name) {
  // The generated index holds each name once (the first in search order wins), sorted.
  const ConstIndexEntry* first = kConstantIndex;
  const ConstIndexEntry* last = kConstantIndex + kConstantIndexCount;
  const ConstIndexEntry* it = std::lower_bound(
      first, last, name, [](const ConstIndexEntry& e, std::string_view n) { return CompareUpper(e.name, n) < 0; });
  if (it != last && CompareUpper(it->name, name) == 0) return it->value;
  return std::nullopt;
}

const ConstNameDef* ConstantRowByName(std::string_view name) {
  for (const ConstNameDef* const* table = kConstantSearchOrder; *table; ++table)
    for (const ConstNameDef* row = *table; row->name; ++row)
      if (vocab::EqualsNoCase(row->name, name)) return row;
  return nullptr;
}

const char* ReasonText(int64_t code) {
  if (const char* text = DescriptionByValue(kReasonCodeTable, code)) return text;
  if (const char* text = DescriptionByValue(kFeedbackTable, code)) return text;
  return "";
}

const char* ParameterText(int64_t parameter) {
  const char* text = DescriptionByValue(kParameterTable, parameter);
  return text ? text : "";
}
