// The TrueType layer against real fonts: the glyph cache (hits, measuring,
// the ten-slot limit), the byte-to-code-point map, the two colour paths and
// their clipping, the underline, font slots and the error messages.
//
// The DejaVu fonts are copied into a fresh directory under the face names an
// issue uses (verdana.TTF, ...), and each test runs inside it.

#include "gfx/ttf.h"

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *kFontDir = "/usr/share/fonts/truetype/dejavu/";

class TtfTest : public ::testing::Test {
protected:
    fs::path oldDir, dir;
    TtfFont font{};

    void SetUp() override {
        oldDir = fs::current_path();
        char pattern[] = "/tmp/zarn-ttf-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        fs::copy_file(std::string(kFontDir) + "DejaVuSans.ttf", dir / "verdana.TTF");
        fs::copy_file(std::string(kFontDir) + "DejaVuSans-Bold.ttf", dir / "verdanaB.TTF");
        fs::current_path(dir);
        PlatformSelect("headless");
        StackheapInit(0);
        TtfInit();
        TtfClearLastError();
        ASSERT_EQ(TtfLoadFont("verdana.TTF", &font), 1);
    }
    void TearDown() override {
        TtfShutdown();
        fs::current_path(oldDir);
        fs::remove_all(dir);
    }

    static int UsedEntries() {
        int used = 0;
        for (int i = 0; i < TTF_CACHE_ENTRIES; i++) used += TtfCacheEntry(i)->used;
        return used;
    }
};

// A page of w x h pixels, all set to fill.
std::vector<uint32_t> Page(int w, int h, uint32_t fill = 0) { return std::vector<uint32_t>((size_t)w * h, fill); }

// [SECTION] Glyph cache

TEST_F(TtfTest, DrawingAWordTwiceRendersEachGlyphOnce) {
    auto first = Page(200, 60), second = Page(200, 60);
    int end1 = TtfDrawString(first.data(), "hello", 10, 40, 20, 0, 200, 60, 255, 255, 255, &font, "verdana.TTF");
    EXPECT_EQ(TtfRenderCount(), 4);  // h, e, l, o
    EXPECT_EQ(UsedEntries(), 4);
    int end2 = TtfDrawString(second.data(), "hello", 10, 40, 20, 0, 200, 60, 255, 255, 255, &font, "verdana.TTF");
    EXPECT_EQ(TtfRenderCount(), 4);
    EXPECT_EQ(end1, end2);
    EXPECT_GT(end1, 10);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(TtfLastError(), "");
}

TEST_F(TtfTest, MeasuringFirstLeavesEveryGlyphCached) {
    int width = TtfStringWidth("world", 12, &font, "verdana.TTF");
    int slot = TtfFontSlot("verdana.TTF");
    for (const char *p = "world"; *p; p++) EXPECT_GE(TtfFindGlyph((unsigned char)*p, 12, slot), 0) << *p;
    int renders = TtfRenderCount();
    auto page = Page(200, 40);
    int end = TtfDrawString(page.data(), "world", 5, 30, 12, 0, 200, 40, 255, 255, 255, &font, "verdana.TTF");
    EXPECT_EQ(TtfRenderCount(), renders);
    EXPECT_EQ(end - 5, width);
    // Another size or font is another glyph.
    EXPECT_EQ(TtfFindGlyph('w', 13, slot), -1);
    EXPECT_EQ(TtfFindGlyph('w', 12, TtfFontSlot("verdanaB.TTF")), -1);
}

TEST_F(TtfTest, EleventhRenderingOfACharacterReplacesOneOfTheTen) {
    int slot = TtfFontSlot("verdana.TTF");
    for (int size = 10; size < 20; size++) ASSERT_GE(TtfCacheGlyph('A', size, &font, slot), 0);
    for (int size = 10; size < 20; size++) EXPECT_GE(TtfFindGlyph('A', size, slot), 0);
    EXPECT_EQ(UsedEntries(), 10);
    ASSERT_GE(TtfCacheGlyph('A', 20, &font, slot), 0);
    EXPECT_GE(TtfFindGlyph('A', 20, slot), 0);
    int kept = 0;
    for (int size = 10; size < 20; size++) kept += TtfFindGlyph('A', size, slot) >= 0;
    EXPECT_EQ(kept, 9);
    EXPECT_EQ(UsedEntries(), 10);  // the replaced rendering was freed, not leaked
}

TEST_F(TtfTest, AFullCacheEvictsOneEntryAndStaysConsistent) {
    int slot = TtfFontSlot("verdana.TTF");
    // 26 letters x 10 sizes = 260 renderings into 256 entries.
    for (int size = 8; size < 18; size++)
        for (int c = 'a'; c <= 'z'; c++) ASSERT_GE(TtfCacheGlyph(c, size, &font, slot), 0);
    EXPECT_EQ(UsedEntries(), TTF_CACHE_ENTRIES);
    int found = 0;
    for (int size = 8; size < 18; size++)
        for (int c = 'a'; c <= 'z'; c++) {
            int entry = TtfFindGlyph(c, size, slot);
            if (entry < 0) continue;
            found++;
            const GlyphCacheEntry *e = TtfCacheEntry(entry);
            EXPECT_EQ(e->character, c);
            EXPECT_EQ(e->size, size);
            EXPECT_NE(e->pixels, nullptr);
        }
    EXPECT_EQ(found, TTF_CACHE_ENTRIES);
}

TEST_F(TtfTest, StartingAgainEmptiesTheCache) {
    TtfStringWidth("abc", 10, &font, "verdana.TTF");
    ASSERT_EQ(UsedEntries(), 3);
    TtfInit();  // images of the old entries are freed (the leak checker would see them)
    EXPECT_EQ(UsedEntries(), 0);
    EXPECT_EQ(TtfFindGlyph('a', 10, 0), -1);
    EXPECT_EQ(TtfRenderCount(), 0);
    EXPECT_EQ(TtfStringWidth("abc", 10, &font, "verdana.TTF") > 0, true);
    EXPECT_EQ(TtfRenderCount(), 3);
}

// [SECTION] Glyph images

TEST_F(TtfTest, Byte233IsTheFontsGlyphForUE9) {
    int slot = TtfFontSlot("verdana.TTF");
    int entry = TtfCacheGlyph(233, 24, &font, slot);
    ASSERT_GE(entry, 0);
    const GlyphCacheEntry *e = TtfCacheEntry(entry);

    // FreeType's own rendering of U+00E9 at the same settings.
    FT_Library library;
    FT_Face face;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    ASSERT_EQ(FT_New_Face(library, "verdana.TTF", 0, &face), 0);
    ASSERT_EQ(FT_Set_Char_Size(face, 0, 24 * 64, 96, 96), 0);
    ASSERT_NE(FT_Get_Char_Index(face, 0xE9), FT_Get_Char_Index(face, 'e'));
    ASSERT_EQ(FT_Load_Char(face, 0xE9, FT_LOAD_DEFAULT), 0);
    ASSERT_EQ(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL), 0);
    const FT_Bitmap &b = face->glyph->bitmap;
    EXPECT_EQ(e->advance, (int)((face->glyph->advance.x + 32) >> 6));

    // Our image is FreeType's bitmap with one empty column to the right and
    // one empty row on top, and its offsets are FreeType's (so the ink lands
    // one row below FreeType's own placement).
    EXPECT_EQ(e->left, face->glyph->bitmap_left);
    EXPECT_EQ(e->top, -face->glyph->bitmap_top);
    EXPECT_EQ(e->width, (int)b.width + 1);
    EXPECT_EQ(e->height, (int)b.rows + 1);
    long inked = 0;
    for (int row = 0; row < e->height; row++)
        for (int column = 0; column < e->width; column++) {
            uint32_t pixel = e->pixels[row * e->width + column];
            int fr = row - 1, fc = column;
            uint32_t expected = 0;
            if (fr >= 0 && fr < (int)b.rows && fc < (int)b.width) expected = b.buffer[fr * b.pitch + fc];
            ASSERT_EQ(pixel, expected * 0x01010101u) << row << "," << column;
            inked += expected != 0;
        }
    EXPECT_GT(inked, 20);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

// A size in points at 96 dpi is an em of size x 4/3 pixels rounded down, so
// 8, 11 and 14 (where rounding to the nearest would give one pixel more) are
// 10, 14 and 18 pixels; 10 is 13 either way. Glyphs and measured text match
// FreeType's own at that pixel size.
TEST_F(TtfTest, AnEmIsFourThirdsOfTheSizeRoundedDown) {
    FT_Library library;
    FT_Face face;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    ASSERT_EQ(FT_New_Face(library, "verdana.TTF", 0, &face), 0);
    const char *sample = "The quick brown fox jumps over the lazy dog";
    auto freeTypeWidth = [&](int pixels) {
        EXPECT_EQ(FT_Set_Pixel_Sizes(face, 0, (FT_UInt)pixels), 0);
        int width = 0;
        for (const char *p = sample; *p; p++) {
            EXPECT_EQ(FT_Load_Char(face, (unsigned char)*p, FT_LOAD_DEFAULT), 0);
            width += (int)((face->glyph->advance.x + 32) >> 6);
        }
        return width;
    };
    int slot = TtfFontSlot("verdana.TTF");
    const int sizes[][2] = {{8, 10}, {10, 13}, {11, 14}, {14, 18}};
    for (const auto &size : sizes) {
        int points = size[0], pixels = size[1];
        int entry = TtfCacheGlyph('M', points, &font, slot);
        ASSERT_GE(entry, 0);
        EXPECT_EQ(font.xPixelsPerEm, pixels) << points;
        EXPECT_EQ(font.yPixelsPerEm, pixels) << points;

        ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, (FT_UInt)pixels), 0);
        ASSERT_EQ(FT_Load_Char(face, 'M', FT_LOAD_DEFAULT), 0);
        ASSERT_EQ(FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL), 0);
        const GlyphCacheEntry *e = TtfCacheEntry(entry);
        EXPECT_EQ(e->advance, (int)((face->glyph->advance.x + 32) >> 6)) << points;
        EXPECT_EQ(e->width, (int)face->glyph->bitmap.width + 1) << points;
        EXPECT_EQ(e->height, (int)face->glyph->bitmap.rows + 1) << points;
        EXPECT_EQ(e->top, -face->glyph->bitmap_top) << points;

        int expected = freeTypeWidth(pixels);
        EXPECT_EQ(TtfStringWidth(sample, points, &font, "verdana.TTF"), expected) << points;
        // One pixel more per em would measure differently, so the check above
        // tells the two roundings apart.
        if (points != 10) {
            EXPECT_NE(freeTypeWidth(pixels + 1), expected) << points;
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

TEST_F(TtfTest, ASpaceIsAnEmptyImageWithAnAdvance) {
    int entry = TtfCacheGlyph(' ', 10, &font, TtfFontSlot("verdana.TTF"));
    ASSERT_GE(entry, 0);
    const GlyphCacheEntry *e = TtfCacheEntry(entry);
    EXPECT_EQ(e->width, 1);
    EXPECT_EQ(e->height, 1);
    EXPECT_EQ(e->pixels[0], 0u);
    EXPECT_GT(e->advance, 0);
}

// [SECTION] Colour paths and clipping

// A pixel of full coverage in the entry's image, as (column, row).
bool FullCoverage(const GlyphCacheEntry *e, int *column, int *row) {
    for (int r = 0; r < e->height; r++)
        for (int c = 0; c < e->width; c++)
            if ((e->pixels[r * e->width + c] & 0xFF) == 255) {
                *column = c;
                *row = r;
                return true;
            }
    return false;
}

TEST_F(TtfTest, WhiteAddsAndOtherColoursBlend) {
    int slot = TtfFontSlot("verdana.TTF");
    int entry = TtfCacheGlyph('l', 30, &font, slot);
    ASSERT_GE(entry, 0);
    const GlyphCacheEntry *e = TtfCacheEntry(entry);
    int fc, fr;
    ASSERT_TRUE(FullCoverage(e, &fc, &fr));

    const int w = 80, h = 80, x = 20, y = 60;
    auto white = Page(w, h, 0x00402010);
    Rendervxchar(white.data(), w, h, x, y, entry, 255, 255, 255);
    for (int r = 0; r < e->height; r++)
        for (int c = 0; c < e->width; c++) {
            uint32_t a = e->pixels[r * e->width + c] & 0xFF;
            uint32_t expected = (std::min(0x40u + a, 255u) << 16) | (std::min(0x20u + a, 255u) << 8) |
                                std::min(0x10u + a, 255u);
            ASSERT_EQ(white[(y + e->top + r) * w + x + e->left + c], expected);
        }

    auto blended = Page(w, h, 0);
    Rendervxchar(blended.data(), w, h, x, y, entry, 200, 200, 200);
    EXPECT_EQ(blended[(y + e->top + fr) * w + x + e->left + fc], 0x00C7C7C7u);  // 199: divisor 256

    // Over a coloured background, partial coverage mixes the two.
    auto mixed = Page(w, h, 0x00FF0000);
    Rendervxchar(mixed.data(), w, h, x, y, entry, 0, 0, 254);
    EXPECT_EQ(mixed[(y + e->top + fr) * w + x + e->left + fc], 0x00000000u | (254 * 255 >> 8));
    for (int r = 0; r < e->height; r++)
        for (int c = 0; c < e->width; c++) {
            uint32_t a = e->pixels[r * e->width + c] & 0xFF;
            uint32_t expected = ((255 * (255 - a)) >> 8 << 16) | ((254 * a) >> 8);
            ASSERT_EQ(mixed[(y + e->top + r) * w + x + e->left + c], expected) << a;
        }
    // Pixels outside the image are untouched.
    EXPECT_EQ(mixed[0], 0x00FF0000u);
}

TEST_F(TtfTest, BothPathsClipAtEveryEdge) {
    int slot = TtfFontSlot("verdana.TTF");
    int entry = TtfCacheGlyph('W', 40, &font, slot);
    ASSERT_GE(entry, 0);
    const GlyphCacheEntry *e = TtfCacheEntry(entry);
    ASSERT_GT(e->width, 20);
    ASSERT_GT(e->height, 20);
    const int small = 12, margin = 60, big = small + 2 * margin;
    // Pen positions that push the glyph over each edge and corner in turn.
    const int positions[][2] = {{-10, 10}, {5, 30}, {-5 - e->left, 40}, {0, 0}, {6, 60}, {-30, -5}};
    const int colours[][3] = {{255, 255, 255}, {200, 100, 50}};
    for (auto &colour : colours)
        for (auto &pos : positions) {
            // Exactly sized, so an overrun shows under AddressSanitizer too.
            std::vector<uint32_t> clipped((size_t)small * small, 0x00101010);
            Rendervxchar(clipped.data(), small, small, pos[0], pos[1], entry, colour[0], colour[1], colour[2]);
            auto reference = Page(big, big, 0x00101010);
            Rendervxchar(reference.data(), big, big, pos[0] + margin, pos[1] + margin, entry, colour[0], colour[1],
                         colour[2]);
            for (int r = 0; r < small; r++)
                for (int c = 0; c < small; c++)
                    ASSERT_EQ(clipped[r * small + c], reference[(r + margin) * big + c + margin])
                        << "pen " << pos[0] << "," << pos[1] << " colour " << colour[0];
        }
}

TEST_F(TtfTest, UnderlineSkipsSpacesAndIsWrittenNotBlended) {
    const int w = 120, h = 40, x = 10, y = 25;
    auto page = Page(w, h, 0x00050505);
    int end = TtfDrawString(page.data(), "a b", x, y, 14, 1, w, h, 10, 20, 30, &font, "verdana.TTF");
    int slot = TtfFontSlot("verdana.TTF");
    int a = TtfCacheEntry(TtfFindGlyph('a', 14, slot))->advance;
    int space = TtfCacheEntry(TtfFindGlyph(' ', 14, slot))->advance;
    int b = TtfCacheEntry(TtfFindGlyph('b', 14, slot))->advance;
    ASSERT_EQ(end, x + a + space + b);
    const uint32_t *row = &page[(y + 2) * w];
    for (int c = 0; c < w; c++) {
        bool underA = c >= x && c < x + a, underB = c >= x + a + space && c < end;
        ASSERT_EQ(row[c], underA || underB ? 0x000A141Eu : 0x00050505u) << c;
    }
}

TEST_F(TtfTest, UnderlineAndTextStayInsideTheTarget) {
    // Text running off the right edge and a baseline whose underline row is
    // outside the target: nothing may be written past the page.
    const int w = 30, h = 20;
    std::vector<uint32_t> page((size_t)w * h, 0);
    int end = TtfDrawString(page.data(), "underline", 5, h - 2, 16, 1, w, h, 90, 90, 90, &font, "verdana.TTF");
    EXPECT_GT(end, w);
    end = TtfDrawString(page.data(), "left", -25, 10, 16, 1, w, h, 255, 255, 255, &font, "verdana.TTF");
    EXPECT_LT(end, 40);
    // The underline of the second string lies at row 12 from column 0 up to its end.
    for (int c = 0; c < end && c < w; c++) EXPECT_EQ(page[12 * w + c], 0x00FFFFFFu) << c;
}

// [SECTION] Font slots and messages

TEST_F(TtfTest, FontSlotsIgnoreCaseAndTheThirtyThirdNameGetsSlotZero) {
    EXPECT_EQ(TtfFontSlot("verdana.TTF"), 0);
    EXPECT_EQ(TtfFontSlot("VERDANA.ttf"), 0);
    EXPECT_EQ(TtfFontSlot("verdanaB.TTF"), 1);
    char name[64];
    for (int i = 2; i < TTF_MAX_FONT_NAMES; i++) {
        snprintf(name, sizeof name, "face%d.TTF", i);
        EXPECT_EQ(TtfFontSlot(name), i);
    }
    EXPECT_STREQ(TtfLastError(), "");
    EXPECT_EQ(TtfFontSlot("onemore.TTF"), 0);
    EXPECT_STREQ(TtfLastError(), "TTF ERROR: too many fonts!");
    // Long names that differ late are still different fonts.
    TtfShutdown();
    TtfInit();
    std::string longA(100, 'x'), longB(100, 'x');
    longA += "A.TTF";
    longB += "B.TTF";
    EXPECT_NE(TtfFontSlot(longA.c_str()), TtfFontSlot(longB.c_str()));
}

// Forgetting the slots from a number on frees their names and glyphs and
// nothing below it: a full table takes new names again, and the glyphs of
// the kept slots are still found.
TEST_F(TtfTest, ForgottenSlotsTakeTheirGlyphsAndLeaveTheRest) {
    int kept = TtfFontSlot("verdana.TTF");
    int dropped = TtfFontSlot("verdanaB.TTF");
    ASSERT_EQ(kept, 0);
    ASSERT_EQ(dropped, 1);
    int keptEntry = TtfCacheGlyph('a', 12, &font, kept);
    int droppedEntry = TtfCacheGlyph('a', 12, &font, dropped);
    ASSERT_GE(keptEntry, 0);
    ASSERT_GE(droppedEntry, 0);
    char name[64];
    for (int i = 2; i < TTF_MAX_FONT_NAMES; i++) {
        snprintf(name, sizeof name, "face%d.TTF", i);
        ASSERT_EQ(TtfFontSlot(name), i);
    }
    TtfForgetFontSlots(1);
    EXPECT_EQ(TtfFindGlyph('a', 12, kept), keptEntry);
    EXPECT_EQ(TtfFindGlyph('a', 12, dropped), -1);
    EXPECT_EQ(TtfCacheEntry(droppedEntry)->used, 0);
    EXPECT_EQ(TtfFontSlot("verdana.TTF"), 0);
    EXPECT_EQ(TtfFontSlot("another.TTF"), 1);
    EXPECT_STREQ(TtfLastError(), "");
    // Keeping more slots than are taken changes nothing.
    TtfForgetFontSlots(TTF_MAX_FONT_NAMES);
    EXPECT_EQ(TtfFontSlot("another.TTF"), 1);
    EXPECT_EQ(TtfFindGlyph('a', 12, kept), keptEntry);
}

TEST_F(TtfTest, AMissingFontFileFailsWithItsMessage) {
    TtfFont missing{};
    size_t boxes = HeadlessMessageBoxes().size();
    EXPECT_EQ(TtfLoadFont("nosuch.TTF", &missing), 0);
    EXPECT_STREQ(TtfLastError(), "TTF ERROR: Could not load font.\n");
    // The reader sees it in the error box.
    ASSERT_EQ(HeadlessMessageBoxes().size(), boxes + 1);
    EXPECT_EQ(HeadlessMessageBoxes().back().text, "TTF ERROR: Could not load font.\n");
    EXPECT_EQ(HeadlessMessageBoxes().back().caption, "Error");
    // A file that is not a font fails the same way.
    FILE *f = fopen("junk.TTF", "wb");
    fputs("not a font at all", f);
    fclose(f);
    TtfClearLastError();
    EXPECT_EQ(TtfLoadFont("junk.TTF", &missing), 0);
    EXPECT_STREQ(TtfLastError(), "TTF ERROR: Could not load font.\n");
}

TEST_F(TtfTest, UnusableSizesReportAndNeverOverrun) {
    int slot = TtfFontSlot("verdana.TTF");
    // Sizes below one point are raised to one point by FreeType.
    int one = TtfCacheGlyph('a', 1, &font, slot);
    int entry = TtfCacheGlyph('a', -5, &font, slot);
    ASSERT_GE(one, 0);
    ASSERT_GE(entry, 0);
    EXPECT_STREQ(TtfLastError(), "");
    EXPECT_EQ(TtfCacheEntry(entry)->width, TtfCacheEntry(one)->width);
    EXPECT_EQ(TtfCacheEntry(entry)->height, TtfCacheEntry(one)->height);
    EXPECT_EQ(TtfCacheEntry(entry)->size, -5);  // still cached under the size asked for
    // A glyph thousands of pixels wide is not made: the entry is freed and
    // the text draws nothing for it.
    TtfClearLastError();
    int used = UsedEntries();
    EXPECT_EQ(TtfCacheGlyph('W', 5000, &font, slot), -1);
    EXPECT_STREQ(TtfLastError(), "TTF ERROR: error in Vx_Render_Single_Glyph!");
    EXPECT_EQ(UsedEntries(), used);
    EXPECT_EQ(TtfFindGlyph('W', 5000, slot), -1);
    auto page = Page(50, 50, 3);
    EXPECT_EQ(TtfDrawString(page.data(), "W", 10, 40, 5000, 1, 50, 50, 255, 255, 255, &font, "verdana.TTF"), 10);
    EXPECT_EQ(page, Page(50, 50, 3));
}

TEST_F(TtfTest, ErrorTextIsCutToItsBuffer) {
    std::string huge(5000, 'm');
    TtfError(huge.c_str());
    EXPECT_EQ(strlen(TtfLastError()), 1023u);
    EXPECT_EQ(std::string(TtfLastError()).rfind("TTF ERROR: mmm", 0), 0u);
}

TEST_F(TtfTest, DrawingWithoutAnImageReportsAndDrawsNothing) {
    auto page = Page(10, 10, 7);
    Rendervxchar(page.data(), 10, 10, 2, 8, 17, 255, 255, 255);  // entry 17 is unused
    EXPECT_STREQ(TtfLastError(), "TTF ERROR: data NULL in Rendervxchar!");
    EXPECT_EQ(page, Page(10, 10, 7));
}

// [SECTION] A font without a Unicode map

// Big-endian writers for a hand-built TrueType file.
void Put16(std::string &s, unsigned v) {
    s += (char)(v >> 8);
    s += (char)v;
}
void Put32(std::string &s, uint32_t v) {
    Put16(s, v >> 16);
    Put16(s, v & 0xFFFF);
}

// The smallest TrueType font FreeType accepts: two glyphs (an empty one and a
// square for 'A'), and one format-0 character map with the given platform
// and encoding.
std::string TinyFont(unsigned platform, unsigned encoding) {
    std::string head, hhea, maxp, hmtx, loca, glyf, cmap;
    Put32(head, 0x00010000);  // version
    Put32(head, 0x00010000);  // font revision
    Put32(head, 0);           // checksum adjustment
    Put32(head, 0x5F0F3CF5);  // magic
    Put16(head, 0x000B);      // flags
    Put16(head, 1024);        // units per em
    for (int i = 0; i < 4; i++) Put32(head, 0);  // created, modified
    Put16(head, 0); Put16(head, 0); Put16(head, 512); Put16(head, 512);  // box
    Put16(head, 0); Put16(head, 8); Put16(head, 2);  // mac style, lowest ppem, direction
    Put16(head, 0);           // short loca offsets
    Put16(head, 0);           // glyph data format

    Put32(hhea, 0x00010000);
    Put16(hhea, 800); Put16(hhea, (unsigned)-200 & 0xFFFF); Put16(hhea, 0);  // ascender, descender, gap
    Put16(hhea, 600);         // advance max
    Put16(hhea, 0); Put16(hhea, 0); Put16(hhea, 512);  // min lsb, min rsb, x max extent
    Put16(hhea, 1); Put16(hhea, 0); Put16(hhea, 0);    // caret
    for (int i = 0; i < 5; i++) Put16(hhea, 0);
    Put16(hhea, 2);           // number of h metrics

    Put32(maxp, 0x00010000);
    Put16(maxp, 2);           // glyphs
    Put16(maxp, 4); Put16(maxp, 1); Put16(maxp, 0); Put16(maxp, 0);
    Put16(maxp, 2); Put16(maxp, 0); Put16(maxp, 0); Put16(maxp, 0);
    Put16(maxp, 0); Put16(maxp, 0); Put16(maxp, 0); Put16(maxp, 0); Put16(maxp, 0);

    Put16(hmtx, 600); Put16(hmtx, 0);
    Put16(hmtx, 600); Put16(hmtx, 0);

    // Glyph 1: one square contour 0..512.
    Put16(glyf, 1); Put16(glyf, 0); Put16(glyf, 0); Put16(glyf, 512); Put16(glyf, 512);
    Put16(glyf, 3);           // end point of contour 0
    Put16(glyf, 0);           // no instructions
    for (int i = 0; i < 4; i++) glyf += (char)0x01;  // on-curve, 16-bit coordinates
    Put16(glyf, 0); Put16(glyf, 512); Put16(glyf, 0); Put16(glyf, (unsigned)-512 & 0xFFFF);  // x deltas
    Put16(glyf, 0); Put16(glyf, 0); Put16(glyf, 512); Put16(glyf, 0);                       // y deltas
    Put16(loca, 0); Put16(loca, 0); Put16(loca, (unsigned)glyf.size() / 2);

    Put16(cmap, 0); Put16(cmap, 1);                  // version, one subtable
    Put16(cmap, platform); Put16(cmap, encoding); Put32(cmap, 12);  // the map at offset 12
    Put16(cmap, 0); Put16(cmap, 262); Put16(cmap, 0);  // format 0
    for (int c = 0; c < 256; c++) cmap += (char)(c == 'A' ? 1 : 0);

    struct Table { const char *tag; std::string *data; } tables[] = {
        {"cmap", &cmap}, {"glyf", &glyf}, {"head", &head}, {"hhea", &hhea},
        {"hmtx", &hmtx}, {"loca", &loca}, {"maxp", &maxp}};
    const int count = 7;
    std::string file;
    Put32(file, 0x00010000);
    Put16(file, count); Put16(file, 64); Put16(file, 2); Put16(file, count * 16 - 64);
    uint32_t offset = 12 + 16 * count;
    std::string body;
    for (auto &t : tables) {
        while (t.data->size() % 4) *t.data += '\0';
        file += t.tag;
        Put32(file, 0);
        Put32(file, offset + (uint32_t)body.size());
        Put32(file, (uint32_t)t.data->size());
        body += *t.data;
    }
    return file + body;
}

TEST_F(TtfTest, AFontWithoutAUnicodeMapReportsIt) {
    std::string bytes = TinyFont(1, 0);  // Macintosh Roman only
    FILE *f = fopen("roman.TTF", "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    TtfFont roman{};
    ASSERT_EQ(TtfLoadFont("roman.TTF", &roman), 1) << TtfLastError();
    EXPECT_EQ(roman.glyphCount, 2);
    EXPECT_STREQ(TtfLastError(), "");
    auto page = Page(40, 40);
    TtfDrawString(page.data(), "A", 5, 30, 12, 0, 40, 40, 255, 255, 255, &roman, "roman.TTF");
    EXPECT_STREQ(TtfLastError(), "TTF ERROR: Font doesn't contain unicode table");
    uint32_t index = 99;
    EXPECT_EQ(TtfCharIndices("A", &index, &roman), 1);
    EXPECT_EQ(index, 0u);
}

TEST_F(TtfTest, AnotherUnicodeMapIsFoundThroughFreeType) {
    // Unicode 2.0 BMP (0, 3) is neither (3, 1) nor (0, 0), but it is Unicode.
    std::string bytes = TinyFont(0, 3);
    FILE *f = fopen("bmp.TTF", "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    TtfFont tiny{};
    ASSERT_EQ(TtfLoadFont("bmp.TTF", &tiny), 1);
    uint32_t index = 0;
    EXPECT_EQ(TtfCharIndices("A", &index, &tiny), 1);
    EXPECT_EQ(index, 1u);
    EXPECT_STREQ(TtfLastError(), "");
    // The square: half an em at 48 points is 32 pixels a side, fully covered inside.
    int entry = TtfCacheGlyph('A', 48, &tiny, TtfFontSlot("bmp.TTF"));
    ASSERT_GE(entry, 0);
    const GlyphCacheEntry *e = TtfCacheEntry(entry);
    EXPECT_EQ(e->width, 33);
    EXPECT_EQ(e->height, 33);
    EXPECT_EQ(e->left, 0);
    EXPECT_EQ(e->top, -32);
    EXPECT_EQ(e->pixels[1 * e->width + 0], 0xFFFFFFFFu);
    EXPECT_EQ(e->pixels[32 * e->width + 31], 0xFFFFFFFFu);
    EXPECT_EQ(e->pixels[0], 0u);                  // the empty row on top
    EXPECT_EQ(e->pixels[5 * e->width + 32], 0u);  // and the empty column on the right
}

TEST_F(TtfTest, CharIndicesStopAt1024) {
    std::string text(1500, 'e');
    std::vector<uint32_t> indices(1500, 0xFFFFFFFF);
    EXPECT_EQ(TtfCharIndices(text.c_str(), indices.data(), &font), 1024);
    EXPECT_EQ(font.textLength, 1024);
    EXPECT_NE(indices[1023], 0u);
    EXPECT_EQ(indices[1024], 0xFFFFFFFFu);
}

}  // namespace
