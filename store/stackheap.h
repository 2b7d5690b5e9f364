// Stackheap — the program's single allocation facade. Served by the process
// heap ("emulated" mode); it keeps no bookkeeping of its own.
#pragma once

#include <cstdint>

// Readies the pool; the hint is ignored. Returns 1 (never fails in emulated mode).
int StackheapInit(int32_t sizeHint);

// A new block of size bytes (size > 0), suitably aligned; null when the heap is
// exhausted or size is 0 or less.
void *StackheapAlloc(int32_t size);

// Returns a block to the pool; null does nothing.
void StackheapFree(void *block);

// Resizes a block, keeping its contents up to the smaller size; null on
// exhaustion (the old block then stays valid).
void *StackheapRealloc(void *block, int32_t size);

// The largest size asked of StackheapAlloc or StackheapRealloc since the last
// reset, whether or not the heap could supply it (0 when nothing was asked).
// Tests hold each file reader to the memory its input earns with it.
int32_t StackheapLargestRequest();
void StackheapResetLargestRequest();

// Prints "+ stackheap closed. (emulated)\n" and returns 1; blocks still held
// are left to the process exit.
int StackheapClose();
