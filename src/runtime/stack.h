// The program's stack: code that recurses on behalf of its input (script blocks, calls,
// imports, run-time text) runs on a thread with a large stack of its own, so that its
// fixed depth limits hold whatever `ulimit -s` says, and checks how much is left before
// going deeper.
#pragma once
#include <cstddef>
#include <functional>

// Bytes between the caller's frame and the end of its thread's stack; a large value when
// the bounds cannot be read.
size_t stackRemaining();

// The stack the program's main work runs on.
constexpr size_t kProgramStackBytes = size_t{1} << 30;

// Runs `body` on a new thread with a stack of `bytes` (smaller ones are tried when the
// address space is limited, and at last the calling thread itself) and returns its
// result. The stop signals are blocked in the calling thread meanwhile, so that they
// reach `body`'s thread and interrupt its reads.
int runWithLargeStack(size_t bytes, const std::function<int()> &body);
