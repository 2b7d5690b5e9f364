// Stackheap — allocation facade over the general-purpose heap.
#include "store/stackheap.h"

#include <cstdio>
#include <cstdlib>

int StackheapInit(int32_t)
{
    return 1;
}

void *StackheapAlloc(int32_t size)
{
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
    if (size <= 0)
        return nullptr;
    return std::realloc(block, static_cast<size_t>(size));
}

int StackheapClose()
{
    std::fputs("+ stackheap closed. (emulated)\n", stdout);
    std::fflush(stdout);
    return 1;
}
