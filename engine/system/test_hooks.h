// Tamrak engine: what tests and benchmarks read of the system layer's inner state. The game
// never includes this.
#pragma once

#include <cstddef>

// The most bytes live at once in the engine's allocator since the last call (or start-up); the
// next span starts from the bytes live now.
size_t TakeAllocMemoryPeak();
// Threads queued behind the owner of the API lock.
int GetApiLockWaiterCount();
