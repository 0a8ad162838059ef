#include <new>

#include "driver/program.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

int main(int argc, char **argv) {
  return runWithLargeStack(kProgramStackBytes, [&] {
    // Storage that cannot be had anywhere the run does not catch it ends the run with the
    // storage message and the internal-failure code, never an abort; what was produced
    // has been written out as the program unwound.
    try {
      return kvarnMain(argc, argv);
    } catch (const std::bad_alloc &) { exitForStorage(); }
  });
}
