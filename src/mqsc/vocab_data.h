// Private to the vocabulary module: the generated tables (vocab_tables.cpp).
#pragma once

#include "mqsc/vocab.h"

struct FieldTableInfo {
  const char* name;
  const FieldDef* table;
};
struct ValueTableInfo {
  const char* name;
  const ValueDef* table;
};
struct ConstIndexEntry {
  const char* name;  // upper case
  int64_t value;
};

extern const CommandDef kCommandTable[];
extern const int kCommandCount;
extern const FieldDef kMessageDescriptorFields[];
extern const NameListDef kNameLists[];
extern const int kNameListCount;
extern const FieldTableInfo kFieldTables[];
extern const ValueTableInfo kValueTables[];
extern const ConstNameDef* const kConstantSearchOrder[];
extern const ConstNameDef* const kReasonCodeTable;
extern const ConstNameDef* const kFeedbackTable;
extern const ConstNameDef* const kParameterTable;
extern const ConstIndexEntry kConstantIndex[];
extern const int kConstantIndexCount;
