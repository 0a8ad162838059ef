// Local time-zone bias from the C library's broken-down local time.
#include "runtime/timezone.h"

#include <atomic>
#include <ctime>

namespace {
std::atomic<int> gBiasMinutes{0};
std::atomic<bool> gBiasRead{false};
}  // namespace

void readTimeZoneBias() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  int minutes = 0;
  if (localtime_r(&now, &local)) minutes = static_cast<int>(local.tm_gmtoff / 60);
  gBiasMinutes.store(minutes);
  gBiasRead.store(true);
}

int timeZoneBiasMinutes() {
  if (!gBiasRead.load()) readTimeZoneBias();
  return gBiasMinutes.load();
}
