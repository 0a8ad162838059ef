// The vocabulary's local-command rows offer exactly what the program driver's local
// command table accepts: the same options, the same need for a value, the same values.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "driver/local_table.h"
#include "mqsc/vocab.h"

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The keyword values of an operand: type labels and placeholders are not values.
std::set<std::string> KeywordValues(const LocalOperand& op) {
  std::set<std::string> values;
  for (const LocalValue& v : op.values)
    if (!v.value.empty() && v.value != "!t" && v.value != "<value>" && v.value != "<number>")
      values.insert(Lower(v.value));
  return values;
}

TEST(VocabLocal, OptionsAndValuesAgreeWithTheDriverTable) {
  int commands = 0;
  for (const CommandDef* row = CommandTable(); row->verb; ++row) {
    if (row->mode != kModeAlways) continue;
    ++commands;
    const LocalCommand* local = findLocalCommand(row->verb);
    ASSERT_NE(local, nullptr) << row->verb;
    std::set<std::string> vocabOptions;
    for (const FieldDef* f = row->fields; f && f->keyword; ++f) vocabOptions.insert(f->keyword);
    std::set<std::string> driverOptions;
    for (const LocalOperand& op : local->operands) {
      // The vocabulary marks options it does not offer for completion with a leading ~.
      const std::string name = op.listed ? op.name : "~" + op.name;
      driverOptions.insert(name);
      const FieldDef* f = findFieldInTable(row->fields, name, kFieldExactLength);
      ASSERT_NE(f, nullptr) << row->verb << ' ' << op.name;
      const bool takesValue = std::string(f->commandMask) == "a*";
      EXPECT_EQ(takesValue, !op.values.empty()) << row->verb << ' ' << op.name;
      std::set<std::string> vocabValues;
      for (const ValueDef* v = f->values; v && *v->description; ++v) vocabValues.insert(Lower(v->keyword));
      EXPECT_EQ(vocabValues, KeywordValues(op)) << row->verb << ' ' << op.name;
    }
    EXPECT_EQ(vocabOptions, driverOptions) << row->verb;
  }
  EXPECT_GT(commands, 0);
}

}  // namespace
