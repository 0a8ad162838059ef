// Cost of the lookups the display and the expression engine make per attribute:
// a field by name in the queue table and a constant by name over the whole search order.
// The reference is a std::unordered_map lookup of the same names, measured in the same run.
#include <chrono>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "mqsc/vocab.h"

namespace {

template <class F>
double NanosPerCall(int iterations, F f) {
  const auto start = std::chrono::steady_clock::now();
  long sink = 0;
  for (int i = 0; i < iterations; ++i) sink += f(i);
  const auto end = std::chrono::steady_clock::now();
  if (sink == 42) std::puts("");  // keep the work observable
  return std::chrono::duration<double, std::nano>(end - start).count() / iterations;
}

}  // namespace

int main() {
  const int kIterations = 2'000'000;
  const FieldDef* queue = fieldTableByName("queue");
  std::vector<std::string> fields;
  for (const FieldDef* f = queue; f->keyword; ++f) fields.push_back(f->keyword);
  const std::vector<std::string> constants = {
      "MQIA_MAX_Q_DEPTH",      "mqrc_unknown_object_name", "MQCHT_SVRCONN",  "MQPL_UNIX",
      "MQRCCF_COMMAND_FAILED", "MQCMD_INQUIRE_Q",          "MQUSRC_CHANNEL", "MQNOSUCH_NAME"};
  std::unordered_map<std::string, int64_t> reference;
  for (const auto& name : fields) reference[name] = name.size();
  for (const auto& name : constants) reference[name] = 1;

  const double field = NanosPerCall(kIterations, [&](int i) {
    return findFieldInTable(queue, fields[i % fields.size()], kFieldExactLength) != nullptr;
  });
  const double fieldPrefix = NanosPerCall(kIterations, [&](int i) {
    const std::string& name = fields[i % fields.size()];
    return findFieldInTable(queue, std::string_view(name).substr(0, 4), 0) != nullptr;
  });
  const double constant =
      NanosPerCall(kIterations, [&](int i) { return constantByName(constants[i % constants.size()]).value_or(0); });
  const double mapField =
      NanosPerCall(kIterations, [&](int i) { return static_cast<long>(reference.count(fields[i % fields.size()])); });
  const double mapConstant = NanosPerCall(
      kIterations, [&](int i) { return static_cast<long>(reference.count(constants[i % constants.size()])); });
  std::printf("queue table: %zu keywords\n", fields.size());
  std::printf("field by name (exact)        %8.1f ns   reference unordered_map %6.1f ns   ratio %.1f\n", field,
              mapField, field / mapField);
  std::printf("field by 4-letter prefix     %8.1f ns   reference unordered_map %6.1f ns   ratio %.1f\n", fieldPrefix,
              mapField, fieldPrefix / mapField);
  std::printf("constant by name (any case)  %8.1f ns   reference unordered_map %6.1f ns   ratio %.1f\n", constant,
              mapConstant, constant / mapConstant);
  return 0;
}
