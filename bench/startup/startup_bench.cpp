// Start-up cost: the median wall time of `kvarn -x -f < /dev/null` beside a bare
// process start (/bin/true), both measured in this run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "support/process_timer.h"

namespace {

double runOnce(const std::vector<std::string> &argv) { return timeProcessMs(argv); }

}  // namespace

int main(int argc, char **argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  std::string dir = "/tmp/kvarn-bench-startup-XXXXXX";
  if (!mkdtemp(dir.data())) return 1;
  setenv("KVARNCFG", dir.c_str(), 1);  // never read or write the user's configuration
  unsetenv("KVARN_BOOTSTRAP");
  // Interleave the two so that machine noise hits both alike.
  std::vector<double> kvarn, bare;
  for (int i = 0; i < runs; ++i) {
    kvarn.push_back(runOnce({KVARN_BINARY, "-x", "-f"}));
    bare.push_back(runOnce({"/bin/true"}));
  }
  std::sort(kvarn.begin(), kvarn.end());
  std::sort(bare.begin(), bare.end());
  double k = kvarn[kvarn.size() / 2], b = bare[bare.size() / 2];
  std::printf("startup: kvarn -x -f < /dev/null  median %.3f ms over %d runs\n", k, runs);
  std::printf("startup: /bin/true                median %.3f ms\n", b);
  std::printf("startup: cost above a bare process start %.3f ms (ratio %.2f)\n", k - b, k / b);
  rmdir(dir.c_str());
  return 0;
}
