// Fuzz target: arbitrary bytes as an article (served from memory as the
// archive member "article.txt"), loaded and pre-scanned, then every page laid
// out and drawn in order into a 640 x 480 page with the viewer's text
// rectangle, as the reader would show them. A test face ("verdana", four
// styles, loose files in a private directory) and two small pictures
// (members "p.bmp" and "m.bmp", the second with magenta) let font and picture
// tags do real work. The face is one without hinting programs: the text is
// sized anew for every glyph rendered, and a hinted face would spend a third
// of each run in FreeType's own interpreter, which is not ours to test.
#include "aua/aua.h"
#include "fuzz_support.h"
#include "gfx/pixels.h"
#include "gfx/ttf.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

void CopyFont(const char *from, const char *to) {
    FILE *in = fopen(from, "rb");
    FILE *out = fopen(to, "wb");
    if (!in || !out) abort();
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, in)) > 0) fwrite(buffer, 1, n, out);
    fclose(in);
    fclose(out);
}

std::vector<uint8_t> Bmp(int width, int height, uint32_t colour, uint32_t centre) {
    int rowBytes = (width * 3 + 3) & ~3;
    std::vector<uint8_t> bytes(54 + (size_t)rowBytes * height, 0);
    auto put32 = [&](int offset, uint32_t v) {
        for (int i = 0; i < 4; i++) bytes[offset + i] = (uint8_t)(v >> (8 * i));
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, (uint32_t)bytes.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, (uint32_t)width);
    put32(22, (uint32_t)height);
    bytes[26] = 1;
    bytes[28] = 24;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            uint32_t c = (x > width / 4 && x < 3 * width / 4) ? centre : colour;
            uint8_t *p = &bytes[54 + (size_t)y * rowBytes + 3 * x];
            p[0] = (uint8_t)c;
            p[1] = (uint8_t)(c >> 8);
            p[2] = (uint8_t)(c >> 16);
        }
    }
    return bytes;
}

std::vector<uint32_t> page(640 * 480);

// The test face's four files hold the first font slots for the whole run.
const int kTestFaceSlots = 4;

// Glyphs in the cache now. Twice per input: without comparison hooks.
__attribute__((no_sanitize("coverage"))) int CachedGlyphs() {
    int count = 0;
    for (int i = 0; i < TTF_CACHE_ENTRIES; i++) count += TtfCacheEntry(i)->used;
    return count;
}

// Loads data as the article "article.txt", lays out and draws every page,
// and leaves the reader as a fresh article would find it.
void DrawArticle(const uint8_t *data, size_t size) {
    ServedMember input("article.txt", data, size);

    static Article article;
    AuaSetTarget(page.data(), 640, 480);
    if (!AuaLoadArticle("article.txt", &article)) abort();
    if (article.textSize != (int32_t)size || article.pageCount < 0 || article.pageCount > AUA_MAX_PAGES) abort();
    for (int i = 1; i < article.pageCount; i++)
        if (article.pageStart[i] <= article.pageStart[i - 1] || article.pageStart[i] > article.textSize) abort();
    article.textRect = {20, 50, 620, 400};
    for (int p = 0; p < article.pageCount; p++) {
        // the viewer's header leaves verdana selected before every page
        AuaSelectFont("verdana", 0, 0);
        article.currentPage = p;
        AuaDrawPage(page.data(), 640, 480, &article);
        if (article.currentPage != p) abort();
        int count = -1;
        const PageLink *links = AuaGetLinks(&count);
        if (count < 0 || count > AUA_MAX_LINKS) abort();
        for (int i = 0; i < count; i++)
            if (!links[i].used || strnlen(links[i].target, sizeof links[i].target) == sizeof links[i].target) abort();
    }
    AuaFreeArticle(&article);
    // A link left open stays open for the whole run; close it so that the
    // next input starts as a fresh article would.
    AuaCloseLink();
    // The boxes this input raised go with it, so that every block it took
    // is given back within it (and the boxes do not pile up).
    HeadlessReset();
    // Font names the input made up would fill the font table for the inputs
    // after it (and cost a "too many fonts!" box per glyph from then on);
    // the test face's glyphs stay cached.
    TtfForgetFontSlots(kTestFaceSlots);
}

// Fills the glyph cache, as a reader's cache is after a page or two: every
// printable character in the test face's four styles and a few sizes.
void FillGlyphCache() {
    std::string text;
    for (int size : {12, 10, 14, 16, 8, 20, 24, 30}) {
        text += "<size " + std::to_string(size) + ">";
        for (const char *style : {"", "<b>", "<i>", "<b><i>"}) {
            text += style;
            for (int c = 33; c < 127; c++)
                if (c != '<' && c != '>') {
                    text += (char)c;
                    text += ' ';
                }
            text += "</b></i><br>";
        }
    }
    // Once the cache is full, evictions leave holes: draw again until none is left.
    for (int pass = 0; pass < 8 && CachedGlyphs() < TTF_CACHE_ENTRIES; pass++)
        DrawArticle((const uint8_t *)text.data(), text.size());
    if (CachedGlyphs() != TTF_CACHE_ENTRIES) abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    QuietTarget(); // messages become recorded boxes
    StackheapInit(0);
    TtfInit();
    // The reader's start picks the fast pixel paths where the processor has
    // them; so do we (the plain ones are the V3D target's to exercise).
    DetectMmx();
    // Corpus and file arguments are made absolute before we move into our
    // own directory, so libFuzzer still finds them.
    for (int i = 1; i < *argc; i++) {
        char *arg = (*argv)[i];
        struct stat info;
        if (arg[0] == '-' || stat(arg, &info) != 0) continue;
        char *absolute = realpath(arg, nullptr);
        if (absolute) (*argv)[i] = absolute;
    }
    char pattern[] = "/tmp/zarn-fuzz-article-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) abort();
    const char *face = "/usr/share/fonts/truetype/dejavu/DejaVuMathTeXGyre.ttf";
    const char *targets[4] = {"verdana.TTF", "verdanaB.TTF", "verdanaI.TTF", "verdanaZ.TTF"};
    for (int i = 0; i < kTestFaceSlots; i++) {
        CopyFont(face, targets[i]);
        if (TtfFontSlot(targets[i]) != i) abort();
    }
    AddFixedMember("p.bmp", Bmp(24, 30, 0x00336699, 0x00C0C0C0));
    AddFixedMember("m.bmp", Bmp(12, 12, 0x00FFFF00, 0x00FF00FF));
    FillGlyphCache();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const int glyphsBefore = CachedGlyphs();
    DrawArticle(data, size);
    // Once the cache is full, a character's eleventh rendering evicts a
    // random entry and one of the character's ten, and the second leaves a
    // hole. An input that fills such a hole keeps a block it did not give
    // back, and libFuzzer runs every such input a second time to look for a
    // leak (one input in seven). So no input leaves the cache fuller than it
    // found it; the cache is filled once at the start.
    for (int i = TTF_CACHE_ENTRIES - 1, excess = CachedGlyphs() - glyphsBefore; i >= 0 && excess > 0; i--)
        if (TtfCacheEntry(i)->used) {
            TtfEvictGlyph(i);
            excess--;
        }
    // The text as it is, the two small pictures and the fonts' glyphs.
    RequireEarned(size, 2, 1 << 20);
    return 0;
}
