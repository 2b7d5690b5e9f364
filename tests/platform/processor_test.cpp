// The processor queries: CPUID leaves and the AVX2 check the span loops are
// chosen by.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The vendor of leaf 0, from EBX, EDX and ECX.
std::string Vendor(const uint32_t r[4])
{
    char vendor[13] = {};
    std::memcpy(vendor, &r[1], 4);
    std::memcpy(vendor + 4, &r[3], 4);
    std::memcpy(vendor + 8, &r[2], 4);
    return vendor;
}

#if defined(__x86_64__) || defined(__i386__)

TEST(Processor, CpuidGivesTheVendorAndZerosBeyondTheLastLeaf)
{
    ASSERT_EQ(PlatformHasCpuid(), 1);
    uint32_t r[4];
    PlatformCpuid(0, r);
    EXPECT_GE(r[0], 1u);
    std::string vendor = Vendor(r);
    EXPECT_TRUE(vendor == "GenuineIntel" || vendor == "AuthenticAMD" || vendor.size() == 12) << vendor;
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

#else

// WebAssembly, which the web build compiles with 128-bit SIMD: the answer is
// that of a processor with MMX, SSE and SSE2 and nothing more.
TEST(Processor, WebAssemblyAnswersAsSse2WithoutAvx2)
{
    ASSERT_EQ(PlatformHasCpuid(), 1);
    uint32_t r[4] = {0, 0, 0, 0}, beyond[4] = {1, 1, 1, 1};
    PlatformCpuid(0, r);
    EXPECT_EQ(r[0], 1u);
    EXPECT_EQ(Vendor(r).size(), 12u) << Vendor(r);
    PlatformCpuid(1, r);
    EXPECT_EQ(r[3], 1u << 23 | 1u << 25 | 1u << 26);
    EXPECT_EQ(r[0] | r[1] | r[2], 0u);
    PlatformCpuid(7, beyond);
    EXPECT_EQ(beyond[0] | beyond[1] | beyond[2] | beyond[3], 0u);
    EXPECT_EQ(PlatformHasAvx2(), 0);
}

#endif

} // namespace
