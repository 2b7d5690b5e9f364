// The processor queries: CPUID leaves and the AVX2 check the span loops are
// chosen by.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(Processor, CpuidGivesTheVendorAndZerosBeyondTheLastLeaf)
{
    ASSERT_EQ(PlatformHasCpuid(), 1);
    uint32_t r[4];
    PlatformCpuid(0, r);
    EXPECT_GE(r[0], 1u);
    char vendor[13] = {};
    std::memcpy(vendor, &r[1], 4);
    std::memcpy(vendor + 4, &r[3], 4);
    std::memcpy(vendor + 8, &r[2], 4);
    EXPECT_TRUE(!std::strcmp(vendor, "GenuineIntel") || !std::strcmp(vendor, "AuthenticAMD") ||
                std::strlen(vendor) == 12)
        << vendor;
    uint32_t beyond[4] = {1, 1, 1, 1};
    PlatformCpuid(r[0] + 1, beyond);
    EXPECT_EQ(beyond[0] | beyond[1] | beyond[2] | beyond[3], 0u);
    // x86-64 always has SSE2 (leaf 1, EDX bit 26).
    PlatformCpuid(1, r);
    EXPECT_EQ((r[3] >> 26) & 1, 1u);
}

TEST(Processor, Avx2AgreesWithTheCompilersOwnCheck)
{
    __builtin_cpu_init();
    EXPECT_EQ(PlatformHasAvx2(), __builtin_cpu_supports("avx2") ? 1 : 0);
}

} // namespace
