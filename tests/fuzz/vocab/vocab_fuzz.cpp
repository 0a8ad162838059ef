// Feeds arbitrary text to the vocabulary lookups with every option: the lookups must not
// crash, must answer only with rows of the tables they were given, and Tab cycling must
// come back to its start within the size of the table (no endless or stuck cycle).
//
// Input layout: one option byte, then words separated by '\n':
//   verb, object type, keyword, value, constant name, free text for the field-table lookup.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "mqsc/vocab.h"

namespace {

// Reports the failed condition's line before aborting, so that a crash file explains itself.
#define Check(condition)                                                                                               \
  do {                                                                                                                 \
    if (!(condition)) {                                                                                                \
      std::fprintf(stderr, "vocab_fuzz: check failed at line %d: %s\n", __LINE__, #condition);                         \
      std::abort();                                                                                                    \
    }                                                                                                                  \
  } while (false)

std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  while (words.size() < 6) {
    const size_t end = text.find('\n');
    words.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  words.resize(6);
  return words;
}

bool InTable(const FieldDef* table, const FieldDef* field) {
  for (const FieldDef* f = table; f && f->keyword; ++f)
    if (f == field) return true;
  return false;
}

void CheckMessage(const std::string& message) {
  // Messages hold the typed word cut to fit one line.
  Check(message.size() < 160);
}

CapabilityFlags FlagsFor(uint8_t option) {
  static const int kPlatforms[] = {1, 2, 3, 4, 5, 11, 12, 13, 28};
  static const int kLevels[] = {0, 114, 530, 600, 710, 800, 913, 932, 940, 99999};
  if ((option & 0x0f) == 0x0f) return CapabilityFlags::forCcdt();
  return CapabilityFlags::forQueueManager(kPlatforms[option % 9], kLevels[(option >> 4) % 10], option & 0x80);
}

// Tab through every field candidate of a command row from an empty current word: the
// cycle must return to its first answer within the table's length.
void CycleFields(const VocabContext& ctx, const CommandDef* row, std::string_view prefix, bool inWhere) {
  FieldQuery query;
  query.inWhere = inWhere;
  query.allowCurrent = true;  // a sole candidate cycles to itself
  std::string message;
  bool takesValue = false;
  const FieldDef* first = findField(ctx, row, "", prefix, kNext, &takesValue, &message, query);
  CheckMessage(message);
  if (!first) return;
  Check(InTable(row->fields, first));
  size_t length = 0;
  for (const FieldDef* f = row->fields; f->keyword; ++f) ++length;
  const FieldDef* current = first;
  for (size_t step = 0; step <= length; ++step) {
    current = findField(ctx, row, current->keyword, prefix, kNext, &takesValue, &message, query);
    Check(current && InTable(row->fields, current));
    if (current == first) return;
  }
  Check(false);  // never came back: the cycle is stuck or endless
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InitialiseCommandFields();
  if (size == 0) return 0;
  const uint8_t option = data[0];
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const auto words = SplitWords(text);

  const CapabilityFlags flags = FlagsFor(option);
  VocabContext ctx;
  ctx.flags = (option & 0x40) ? nullptr : &flags;
  ctx.target = (option & 0x0f) == 0x0f ? CommandTarget::Ccdt
               : (option & 0x20)       ? CommandTarget::Tolk
                                       : CommandTarget::QueueManager;
  const int direction = static_cast<int>(option % 3) - 1;
  const bool allowCurrent = option & 0x10;
  std::string message;

  const CommandDef* command = findCommand(ctx, words[0], words[0], direction, allowCurrent, &message);
  CheckMessage(message);
  if (!command) {
    // Still exercise the rest against a row picked by the input.
    int count = 0;
    while (CommandTable()[count].verb) ++count;
    command = &CommandTable()[text.size() % count];
  }
  const CommandDef* object =
      findObjectType(ctx, command, words[1], words[1], direction, allowCurrent, option & 0x08, &message);
  CheckMessage(message);
  const CommandDef* row = object ? object : command;

  FieldQuery query;
  query.inWhere = option & 0x04;
  query.allowCurrent = allowCurrent;
  query.present = {words[3], words[4]};
  bool takesValue = false;
  const FieldDef* field = findField(ctx, row, words[2], words[2], direction, &takesValue, &message, query);
  CheckMessage(message);
  if (field) Check(InTable(row->fields, field));
  if (row->fields) CycleFields(ctx, row, words[2].substr(0, 2), query.inWhere);

  const FieldDef* anyField = field;
  if (!anyField && row->fields && row->fields->keyword) anyField = row->fields;
  const ValueDef* value = findValue(ctx, anyField, words[3], words[3], direction, &message, allowCurrent);
  CheckMessage(message);
  if (value) Check(anyField && anyField->values);
  (void)findValueByKeyword(anyField, words[3]);

  for (unsigned options = 0; options < 4; ++options) {
    bool ambiguous = false;
    const FieldDef* hit = findFieldInTable(row->fields, words[5], options, &ambiguous);
    if (hit) Check(!ambiguous && InTable(row->fields, hit));
    hit = findFieldInTable(messageDescriptorFields(), words[5], options, nullptr);
    if (hit) Check(InTable(messageDescriptorFields(), hit));
  }
  (void)fieldTypeOf(row->fields, words[5]);

  if (auto constant = constantByName(words[4])) Check(constantRowByName(words[4]) != nullptr);
  int32_t code = 0;
  std::memcpy(&code, text.data(), std::min(sizeof code, text.size()));
  Check(reasonText(code) != nullptr);
  Check(parameterText(code) != nullptr);
  (void)findNameList(words[1]);
  return 0;
}
