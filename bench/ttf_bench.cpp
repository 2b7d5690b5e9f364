// TrueType layer timings: one 80-character line drawn with the glyph cache
// warm (white, added; coloured, blended) and cold (every glyph rendered
// again), measuring the line, and a memcpy of a 640 x 480 page as the
// baseline the figures are read against.

#include "gfx/ttf.h"

#include "gfx/pixels.h"

#include "platform/platform.h"
#include "store/stackheap.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const char *kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char *kLine = "The quick brown fox jumps over the lazy dog, then reads the magazine: 1234567890!";
enum { PAGE_WIDTH = 640, PAGE_HEIGHT = 480 };

// The layer and its font, started once for every benchmark of this file.
TtfFont *Font() {
    static TtfFont font;
    static bool ready = false;
    if (!ready) {
        PlatformSelect("headless");
        StackheapInit(0);
        DetectMmx();  // as start-up does: white text takes BlitAdd's fast path
        TtfInit();
        ready = TtfLoadFont(kFontFile, &font) == 1;
    }
    return ready ? &font : nullptr;
}

void EvictAll() {
    for (int i = 0; i < TTF_CACHE_ENTRIES; i++)
        if (TtfCacheEntry(i)->used) TtfEvictGlyph(i);
}

void DrawLine(benchmark::State &state, int red, int green, int blue, bool cold) {
    TtfFont *font = Font();
    if (!font) {
        state.SkipWithError("font not loaded");
        return;
    }
    std::vector<uint32_t> page((size_t)PAGE_WIDTH * PAGE_HEIGHT, 0x00202020);
    TtfStringWidth(kLine, 10, font, kFontFile);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            EvictAll();
            state.ResumeTiming();
        }
        int x = TtfDrawString(page.data(), kLine, 20, 100, 10, 0, PAGE_WIDTH, PAGE_HEIGHT, red, green, blue, font,
                              kFontFile);
        benchmark::DoNotOptimize(x);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)strlen(kLine));
}

void BM_TtfDrawStringWarmWhite(benchmark::State &state) { DrawLine(state, 255, 255, 255, false); }
void BM_TtfDrawStringWarmColour(benchmark::State &state) { DrawLine(state, 200, 180, 40, false); }
void BM_TtfDrawStringCold(benchmark::State &state) { DrawLine(state, 255, 255, 255, true); }

void BM_TtfStringWidthWarm(benchmark::State &state) {
    TtfFont *font = Font();
    if (!font) {
        state.SkipWithError("font not loaded");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(TtfStringWidth(kLine, 10, font, kFontFile));
    state.SetItemsProcessed(state.iterations() * (int64_t)strlen(kLine));
}

void BM_TtfPageMemcpyBaseline(benchmark::State &state) {
    std::vector<uint32_t> from((size_t)PAGE_WIDTH * PAGE_HEIGHT, 1), to(from.size());
    for (auto _ : state) {
        memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)from.size() * 4);
}

}  // namespace

BENCHMARK(BM_TtfDrawStringWarmWhite);
BENCHMARK(BM_TtfDrawStringWarmColour);
BENCHMARK(BM_TtfDrawStringCold);
BENCHMARK(BM_TtfStringWidthWarm);
BENCHMARK(BM_TtfPageMemcpyBaseline);
