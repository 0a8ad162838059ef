// How much of the calling thread's stack is left, for code that recurses on behalf of
// its input (script function calls) and must refuse before the stack runs out.
#pragma once
#include <cstddef>

// Bytes between the caller's frame and the end of its thread's stack; a large value when
// the bounds cannot be read.
size_t stackRemaining();
