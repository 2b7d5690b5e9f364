// Page-turn timings on the demo issue (BUILD/demo, made by the demo target):
// composing the article screen and laying out the next page exactly as the
// viewer does it (ComposeArticleScreen), glyphs cached, for the first
// article of the first topic and for the densest article of the issue, with
// a memcpy of a 640 x 480 page as the baseline the figures are read against.
// The search of the whole issue for a word (every page laid out and read)
// is timed on the same issue.

#include "app/clock.h"
#include "app/search.h"
#include "app/viewer.h"
#include "aua/aua.h"
#include "gfx/image.h"
#include "gfx/pixels.h"
#include "gfx/ttf.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "platform/platform.h"
#include "store/datafile.h"
#include "store/settings.h"
#include "store/stackheap.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

// The reader's start-up steps that page drawing needs, once for the file;
// null when the demo issue is missing or does not load.
const char *StartDemo() {
    static int state = 0; // 0 not tried, 1 ready, -1 failed
    if (state == 0) {
        state = -1;
        std::error_code error;
        std::filesystem::current_path(ZARN_BINARY_DIR "/demo", error);
        if (error) return nullptr;
        PlatformSelect("headless");
        StackheapInit(0);
        ArchiveSetName("zarn.dat");
        ClockSetFixedTime(12, 34);
        DetectMmx();
        if (!LoadClockFont() || !MenuLoadPictures()) return nullptr;
        TtfInit();
        if (!LoadConfig()) return nullptr;
        static std::vector<uint32_t> page((size_t)appSettings.screenWidth * appSettings.screenHeight);
        MeasureMenu(page.data());
        state = 1;
    }
    return state == 1 ? ZARN_BINARY_DIR "/demo" : nullptr;
}

// Turns through every page of article articleNumber of topic, round and
// round; the first round (outside the timing) records the page states and
// fills the glyph cache.
void TurnPages(benchmark::State &state, int topic, int articleNumber) {
    if (!StartDemo()) {
        state.SkipWithError("demo issue not found or not loadable (build the demo target)");
        return;
    }
    const ConfigEntry *topicEntry = ConfigGetEntry(FindTopicEntry(topic));
    char identifier[CONFIG_FIELD_BYTES];
    snprintf(identifier, sizeof identifier, "%s", topicEntry ? topicEntry->key2 : "");
    const ConfigEntry *entry = ConfigGetEntry(FindArticleEntry(articleNumber, identifier));
    static Article article;
    memset(&article, 0, sizeof article);
    if (!entry || !AuaLoadArticle(entry->key2, &article)) {
        state.SkipWithError("article not loaded");
        return;
    }
    article.textRect = {20, 50, appSettings.screenWidth - 20, appSettings.screenHeight - 80};
    std::vector<uint32_t> page((size_t)appSettings.screenWidth * appSettings.screenHeight);
    for (int p = 0; p < article.pageCount; p++) {
        article.currentPage = p;
        ComposeArticleScreen(page.data(), &article, articleNumber, identifier);
    }
    int p = 0;
    for (auto _ : state) {
        p = p + 1 < article.pageCount ? p + 1 : 0;
        article.currentPage = p;
        ComposeArticleScreen(page.data(), &article, articleNumber, identifier);
        benchmark::ClobberMemory();
    }
    state.counters["pages"] = article.pageCount;
    state.SetItemsProcessed(state.iterations());
    AuaFreeArticle(&article);
}

// "Welcome aboard": three pages with tabs, bold runs and a link.
void BM_AuaPageTurnWelcome(benchmark::State &state) { TurnPages(state, 0, 0); }
// "Page layout" of "Inside the reader": a picture with text flowing round it.
void BM_AuaPageTurnLayout(benchmark::State &state) { TurnPages(state, 3, 2); }

void BM_AuaPageMemcpyBaseline(benchmark::State &state) {
    std::vector<uint32_t> from((size_t)appSettings.screenWidth * appSettings.screenHeight, 1), to(from.size());
    for (auto _ : state) {
        memcpy(to.data(), from.data(), from.size() * 4);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)from.size() * 4);
}

// Enter on the search line in the menu: every page of every article laid out
// and read, for words found only on the issue's last page ("About this
// issue") and nowhere (the whole issue and back to where it started).
void Search(benchmark::State &state, const char *word, int expected) {
    if (!StartDemo()) {
        state.SkipWithError("demo issue not found or not loadable (build the demo target)");
        return;
    }
    ReadingPosition from = {0, 0, 0}, found = {-1, -1, -1};
    int result = SearchFindPage(word, &from, 1, &found); // glyphs cached, files in the page cache
    if (result != expected) {
        state.SkipWithError("the word is not where the demo issue had it");
        return;
    }
    for (auto _ : state) {
        result = SearchFindPage(word, &from, 1, &found);
        benchmark::DoNotOptimize(result);
    }
    state.counters["topic"] = found.topic;
    state.counters["article"] = found.article;
    state.counters["page"] = found.page;
}

void BM_SearchDemoLastPage(benchmark::State &state) { Search(state, "for the curious", 1); }
void BM_SearchDemoNowhere(benchmark::State &state) { Search(state, "quagga", 0); }

}  // namespace

BENCHMARK(BM_SearchDemoLastPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchDemoNowhere)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AuaPageTurnWelcome)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AuaPageTurnLayout)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AuaPageMemcpyBaseline)->Unit(benchmark::kMicrosecond);
