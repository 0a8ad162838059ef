// Parses arbitrary text as configuration lines and applies them to a context.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "context/context.h"
#include "driver/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  ProgramContext ctx;
  uint32_t optmask = 0;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t nl = text.find('\n', pos);
    std::string_view line = text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
    auto assignments = parseConfigLine(line);
    for (const auto &[name, value] : assignments) {
      // Writing a value back and parsing it again gives the same value.
      auto again = parseConfigLine(formatConfigValue("n", value));
      if (again.size() != 1 || again[0].second != value) __builtin_trap();
      (void)name;
    }
    applyConfigLine(ctx, assignments, optmask);
    if (nl == std::string_view::npos) break;
    pos = nl + 1;
  }
  if ((ctx.settings.options & ~kOptionsMask) != 0) __builtin_trap();
  return 0;
}
