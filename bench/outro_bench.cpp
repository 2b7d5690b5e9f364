// One outro frame (cloth step, the front, back and ball scenes drawn at
// 640 x 480, the fade) beside a memcpy of a page. The whole outro runs with a
// tick source that never waits, and the time is divided by its frames.
#include "app/outro.h"

#include "engine3d/vx.h"
#include "platform/platform.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

int32_t ticksNow;
int32_t Tick()
{
    return ticksNow++;
}

void OutroFrame(benchmark::State &state)
{
    static bool ready = false;
    static VxScene ball;
    if (!ready) {
        PlatformSelect("headless");
        std::string demo = std::string(ZARN_SOURCE_DIR) + "/build/demo/zarn.dat";
        if (!ArchiveSetName(demo.c_str()) || !VxInit(640, 480) || !VxLoadScene(&ball, "ball.v3d")) {
            state.SkipWithError("needs the demo issue in build/demo");
            return;
        }
        ready = true;
    }
    std::vector<uint32_t> page(640 * 480, 0x00406080u), original = page;
    OutroSetTickSource(Tick);
    int64_t frames = 0;
    double seconds = 0;
    for (auto _ : state) {
        page = original;
        ticksNow = 0;
        auto start = std::chrono::steady_clock::now();
        RunOutro(page.data(), &ball);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        frames += OutroLastReport()->frames;
    }
    OutroSetTickSource(nullptr);
    state.counters["frames"] = double(frames) / double(state.iterations());
    state.counters["ms_per_frame"] = frames ? seconds * 1000.0 / double(frames) : 0.0;
}
BENCHMARK(OutroFrame)->Unit(benchmark::kMillisecond)->Iterations(3);

void OutroPageMemcpy(benchmark::State &state)
{
    std::vector<uint32_t> a(640 * 480, 1), b(640 * 480);
    for (auto _ : state) {
        std::memcpy(b.data(), a.data(), a.size() * 4);
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(OutroPageMemcpy)->Unit(benchmark::kMicrosecond);

} // namespace
