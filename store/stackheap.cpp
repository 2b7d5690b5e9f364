// Stackheap — allocation facade over the general-purpose heap.
#include "store/stackheap.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Every caller runs on the user-interface thread, so plain words will do.
struct StackheapState {
    int32_t largestRequest;
};

StackheapState stackheap;

void NoteRequest(int32_t size)
{
    if (size > stackheap.largestRequest)
        stackheap.largestRequest = size;
}

} // namespace

int StackheapInit(int32_t)
{
    return 1;
}

void *StackheapAlloc(int32_t size)
{
    NoteRequest(size);
    if (size <= 0)
        return nullptr;
    return std::malloc(static_cast<size_t>(size));
}

void StackheapFree(void *block)
{
    std::free(block);
}

void *StackheapRealloc(void *block, int32_t size)
{
    NoteRequest(size);
    if (size <= 0)
        return nullptr;
    return std::realloc(block, static_cast<size_t>(size));
}

int32_t StackheapLargestRequest()
{
    return stackheap.largestRequest;
}

void StackheapResetLargestRequest()
{
    stackheap.largestRequest = 0;
}

int StackheapClose()
{
    std::fputs("+ stackheap closed. (emulated)\n", stdout);
    std::fflush(stdout);
    return 1;
}
