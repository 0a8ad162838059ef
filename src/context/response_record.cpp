#include "context/response_record.h"

#include "text/text.h"

const RecordAttribute *ResponseRecord::find(std::string_view keyword, bool bare) const {
  RecordAttribute::Kind wanted = bare ? RecordAttribute::Bare : RecordAttribute::Valued;
  const char *base = text.data();
  for (const RecordAttribute &a : attributes) {
    if (a.kind != wanted || a.keywordLength != keyword.size()) continue;
    if (scanEqualsNoCase(std::string_view(base + a.start, a.keywordLength), keyword)) return &a;
  }
  return nullptr;
}
