#include "ccdt/trace.h"

#include <atomic>

namespace kvarn::ccdt {

namespace {
std::atomic<unsigned> traceBits{0};
}

void setTraceBits(unsigned bits) { traceBits.store(bits, std::memory_order_relaxed); }
bool traceEnabled(unsigned bit) { return (traceBits.load(std::memory_order_relaxed) & bit) != 0; }

}  // namespace kvarn::ccdt
