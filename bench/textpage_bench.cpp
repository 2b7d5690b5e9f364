// One full article page of justified text in the viewer's text rectangle
// (600 x 350): drawn with the glyph cache warm and cold, and laid out without
// drawing (null target), beside a memcpy of a 640 x 480 page. The goal is a
// warm page in under 2 ms.

#include "aua/aua.h"
#include "gfx/pixels.h"
#include "gfx/ttf.h"
#include "platform/platform.h"
#include "store/stackheap.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

enum { PAGE_WIDTH = 640, PAGE_HEIGHT = 480 };

const char kWords[] =
    "A magazine on a disk is read one page at a time: the reader turns it with the arrow keys, "
    "the text is set in justified lines of a proportional face, and every glyph is drawn "
    "anti-aliased into the page before the page fades in over the previous one. ";

struct TextPage {
    fs::path dir;
    Article article{};
    bool ready = false;

    TextPage() {
        dir = fs::temp_directory_path() / "zarn-textpage-bench";
        fs::create_directories(dir);
        const fs::path dejavu = "/usr/share/fonts/truetype/dejavu";
        std::error_code error;
        fs::copy_file(dejavu / "DejaVuSans.ttf", dir / "verdana.TTF", fs::copy_options::overwrite_existing, error);
        if (error) return;
        fs::copy_file(dejavu / "DejaVuSans-Bold.ttf", dir / "verdanaB.TTF", fs::copy_options::overwrite_existing,
                      error);
        if (error) return;
        // Enough text to fill the page at size 10, with a bold word now and
        // then so the font changes inside lines as real articles do.
        std::string text = "<font verdana><size 10><aj>";
        for (int i = 0; i < 40; i++) {
            text += kWords;
            if (i % 3 == 0) text += "<b>Bold words</b> here. ";
            if (i % 8 == 7) text += "<br><br>";
        }
        Enter();
        FILE *file = std::fopen("page.txt", "wb");
        if (!file) return;
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
        PlatformSelect("headless");
        StackheapInit(0);
        DetectMmx();
        TtfInit();
        if (!AuaLoadArticle("page.txt", &article) || article.pageCount < 1) return;
        article.textRect = {20, 50, PAGE_WIDTH - 20, PAGE_HEIGHT - 80};
        article.currentPage = 0;
        ready = true;
    }
    // Fonts are opened by bare name, and other benchmarks move the working
    // directory, so every benchmark enters ours first.
    void Enter() const { fs::current_path(dir); }
};

TextPage &Page() {
    static TextPage page;
    page.Enter();
    return page;
}

void EvictAll() {
    for (int i = 0; i < TTF_CACHE_ENTRIES; i++)
        if (TtfCacheEntry(i)->used) TtfEvictGlyph(i);
}

void DrawPage(benchmark::State &state, bool draw, bool cold) {
    TextPage &page = Page();
    if (!page.ready) {
        state.SkipWithError("test article did not load");
        return;
    }
    std::vector<uint32_t> pixels((size_t)PAGE_WIDTH * PAGE_HEIGHT, 0x00202020);
    int before = AuaExceptionCount();
    AuaDrawPage(pixels.data(), PAGE_WIDTH, PAGE_HEIGHT, &page.article);  // fonts loaded, cache warm
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            EvictAll();
            state.ResumeTiming();
        }
        page.article.currentPage = 0;
        AuaDrawPage(draw ? pixels.data() : nullptr, PAGE_WIDTH, PAGE_HEIGHT, &page.article);
        benchmark::ClobberMemory();
    }
    if (AuaExceptionCount() != before) state.SkipWithError(AuaLastException());
    // The page must really be full: ink in the last 20 rows of the text rectangle.
    bool full = false;
    for (int y = 380; y < 400 && !full; y++)
        for (int x = 20; x < 620; x++)
            if (pixels[y * PAGE_WIDTH + x] != 0x00202020) full = draw;
    if (draw && !full) state.SkipWithError("the text does not fill the page");
}

void BM_TextPageDrawWarm(benchmark::State &state) { DrawPage(state, true, false); }
void BM_TextPageDrawCold(benchmark::State &state) { DrawPage(state, true, true); }
void BM_TextPageLayoutOnly(benchmark::State &state) { DrawPage(state, false, false); }

void BM_TextPageMemcpyBaseline(benchmark::State &state) {
    std::vector<uint32_t> from((size_t)PAGE_WIDTH * PAGE_HEIGHT, 1), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_TextPageDrawWarm)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextPageDrawCold)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextPageLayoutOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TextPageMemcpyBaseline)->Unit(benchmark::kMicrosecond);
