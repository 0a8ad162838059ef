#include <cstdio>
#include <new>

#include "context/status.h"
#include "driver/program.h"
#include "runtime/stack.h"

int main(int argc, char **argv) {
  return runWithLargeStack(kProgramStackBytes, [&] {
    // Storage that cannot be had anywhere the run does not catch it ends the run with the
    // storage message and the internal-failure code, never an abort; what was produced
    // is written out as the program unwinds.
    try {
      return kvarnMain(argc, argv);
    } catch (const std::bad_alloc &) {
      std::fflush(stdout);
      std::fputs("No storage.\n", stderr);
      return static_cast<int>(kExitInternalFailure);
    }
  });
}
