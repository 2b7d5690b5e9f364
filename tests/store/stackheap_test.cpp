// Stackheap: the facade's contract as its callers rely on it.
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(Stackheap, InitAlwaysSucceedsAndCanRepeat)
{
    EXPECT_EQ(StackheapInit(0), 1);
    EXPECT_EQ(StackheapInit(0), 1);
}

TEST(Stackheap, AllocReallocKeepsContentsAndFreeAcceptsNull)
{
    auto *p = static_cast<char *>(StackheapAlloc(16));
    ASSERT_NE(p, nullptr);
    std::memcpy(p, "0123456789abcdef", 16);
    p = static_cast<char *>(StackheapRealloc(p, 1 << 20));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(std::memcmp(p, "0123456789abcdef", 16), 0);
    StackheapFree(p);
    StackheapFree(nullptr);
}

TEST(Stackheap, ExhaustionAndBadSizesGiveNull)
{
    EXPECT_EQ(StackheapAlloc(0), nullptr);
    EXPECT_EQ(StackheapAlloc(-5), nullptr);
    // The largest request a caller can make still fails cleanly under the
    // sanitizers' allocator limits, and the pool stays usable afterwards.
    void *keep = StackheapAlloc(64);
    ASSERT_NE(keep, nullptr);
    void *again = StackheapRealloc(keep, 0);
    EXPECT_EQ(again, nullptr);
    StackheapFree(keep);
}

TEST(Stackheap, ClosePrintsItsLineOnceAndReturnsOne)
{
    testing::internal::CaptureStdout();
    void *held = StackheapAlloc(8);
    EXPECT_EQ(StackheapClose(), 1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "+ stackheap closed. (emulated)\n");
    StackheapFree(held);
}
