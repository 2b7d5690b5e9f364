// Pixel operation timings: each operation on the plain loop (arg 0) and the
// fast path (arg 1), with a memcpy of the page's bytes timed in the same run
// beside it, so the counters read as ratios: x_memcpy = operation time /
// memcpy time (the goal for the fast paths is 2 or less).
#include "gfx/pixels.h"
#include "gfx/xfade.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<uint32_t> RandomPage(size_t count, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint32_t> page(count);
    for (auto &p : page)
        p = random() & 0x00FFFFFFu;
    return page;
}

// Times operation() and a memcpy of copyBytes alternately in every iteration.
template <typename Operation>
void Measure(benchmark::State &state, size_t copyBytes, Operation operation)
{
    SetMmxFlag((int)state.range(0));
    if (state.range(0) && !GetMmxFlag()) {
        state.SkipWithError("no fast path on this processor");
        return;
    }
    std::vector<uint8_t> from(copyBytes, 0x5A), to(copyBytes);
    double operationSeconds = 0, copySeconds = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        operation();
        Clock::time_point middle = Clock::now();
        memcpy(to.data(), from.data(), copyBytes);
        benchmark::ClobberMemory();
        Clock::time_point end = Clock::now();
        operationSeconds += std::chrono::duration<double>(middle - start).count();
        copySeconds += std::chrono::duration<double>(end - middle).count();
    }
    double n = (double)state.iterations();
    state.counters["op_us"] = operationSeconds / n * 1e6;
    state.counters["memcpy_us"] = copySeconds / n * 1e6;
    state.counters["x_memcpy"] = copySeconds > 0 ? operationSeconds / copySeconds : 0;
    SetMmxFlag(0);
}

void CrossFadeBench(benchmark::State &state)
{
    const size_t count = 640 * 400;
    std::vector<uint32_t> fresh = RandomPage(count, 1), oldFrame = RandomPage(count, 2);
    int32_t level = 0;
    Measure(state, count * 4, [&] {
        CrossFade(fresh.data(), oldFrame.data(), level, (int32_t)count);
        level = (level + 10) & 255;
        benchmark::DoNotOptimize(fresh.data());
    });
}

void BlitAddBench(benchmark::State &state)
{
    std::vector<uint32_t> page = RandomPage(640 * 480, 3), picture = RandomPage(640 * 480, 4);
    for (auto &p : picture)
        p &= 0x000F0F0Fu; // keep the page from saturating at once
    Measure(state, page.size() * 4, [&] {
        BlitAdd(page.data(), 640, 480, 0, 0, picture.data(), 640, 480);
        benchmark::DoNotOptimize(page.data());
    });
}

void ConvertBench(benchmark::State &state)
{
    std::vector<uint32_t> page = RandomPage(640 * 480, 5);
    std::vector<uint16_t> surface(page.size());
    SetConversionFormat(640, 480, 16);
    Measure(state, page.size() * 4, [&] {
        ConvertPixels(surface.data(), page.data(), (int32_t)page.size());
        benchmark::DoNotOptimize(surface.data());
    });
    SetConversionFormat(640, 480, 32);
}

void DarkenRunBench(benchmark::State &state)
{
    std::vector<uint32_t> page = RandomPage(640 * 480, 6);
    Measure(state, page.size() * 4, [&] {
        DarkenRun(page.data(), (int32_t)page.size(), 3);
        benchmark::DoNotOptimize(page.data());
    });
}

} // namespace

BENCHMARK(CrossFadeBench)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BlitAddBench)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(ConvertBench)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(DarkenRunBench)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
