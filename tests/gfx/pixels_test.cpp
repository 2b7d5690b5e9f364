// Pixel operations: clipping against guard areas, the per-pixel rules and
// their saturation checked against reference loops written here, and the
// fast paths held to the plain loops on random pages of odd sizes.
#include "gfx/pixels.h"
#include "gfx/xfade.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

const uint32_t kGuard = 0xDEADBEEFu;
const int kGuardPixels = 64;

// A page with guard areas before and after it, to see stray writes.
struct GuardedPage {
    int32_t width, height;
    std::vector<uint32_t> memory;
    GuardedPage(int32_t w, int32_t h, uint32_t fill) : width(w), height(h), memory((size_t)(w * h + 2 * kGuardPixels), kGuard)
    {
        for (int32_t i = 0; i < w * h; i++)
            page()[i] = fill;
    }
    uint32_t *page() { return memory.data() + kGuardPixels; }
    uint32_t &at(int32_t x, int32_t y) { return page()[y * width + x]; }
    bool GuardsIntact() const
    {
        for (int i = 0; i < kGuardPixels; i++) {
            if (memory[(size_t)i] != kGuard || memory[memory.size() - 1 - (size_t)i] != kGuard)
                return false;
        }
        return true;
    }
};

uint32_t Channel(uint32_t p, int shift) { return (p >> shift) & 0xFF; }

uint32_t RefAdd(uint32_t page, uint32_t add)
{
    uint32_t out = page & 0xFF000000u;
    for (int s = 0; s < 24; s += 8) {
        uint32_t v = Channel(page, s) + Channel(add, s);
        out |= (v > 255 ? 255 : v) << s;
    }
    return out;
}

uint32_t RefSub(uint32_t page, int32_t amount)
{
    uint32_t out = page & 0xFF000000u;
    for (int s = 0; s < 24; s += 8) {
        int32_t v = (int32_t)Channel(page, s) - amount;
        out |= (uint32_t)(v < 0 ? 0 : v) << s;
    }
    return out;
}

// The glyph blend: coverage a in the picture's low byte.
uint32_t RefTint(uint32_t page, uint32_t picture, uint32_t red, uint32_t green, uint32_t blue)
{
    uint32_t a = picture & 0xFF, out = 0;
    const uint32_t colour[3] = {blue, green, red};
    for (int c = 0; c < 3; c++)
        out |= ((Channel(page, 8 * c) * (255 - a) + colour[c] * a) >> 8) << (8 * c);
    return out;
}

std::vector<uint32_t> RandomPixels(std::mt19937 &random, size_t count)
{
    std::vector<uint32_t> out(count);
    for (auto &p : out)
        p = random();
    return out;
}

// Runs an operation once with the plain loops and once with the fast paths.
template <typename Operation>
void BothPaths(Operation operation)
{
    SetMmxFlag(0);
    operation(0);
    SetMmxFlag(1);
    if (GetMmxFlag())
        operation(1);
    SetMmxFlag(0);
}

class PixelsTest : public ::testing::Test {
protected:
    void TearDown() override { SetMmxFlag(0); }
};

// [SECTION] MMX flag

TEST_F(PixelsTest, MmxFlagIsDetectedAndCanBeForced)
{
    // Every x86-64 processor has MMX; WebAssembly with SIMD answers as one.
#if defined(__x86_64__) || defined(__wasm_simd128__)
    EXPECT_EQ(1, DetectMmx());
    EXPECT_EQ(1, GetMmxFlag());
#endif
    SetMmxFlag(0);
    EXPECT_EQ(0, GetMmxFlag());
    SetMmxFlag(7);
#if defined(__SSE2__)
    EXPECT_EQ(1, GetMmxFlag());
#endif
}

// [SECTION] Clipping

TEST_F(PixelsTest, PicturesWhollyOutsideTouchNothing)
{
    std::vector<uint32_t> picture(20 * 10, 0x00112233u);
    std::vector<uint8_t> mask(20 * 10, 99);
    const int32_t places[][2] = {{-20, 0}, {0, -10}, {64, 0}, {0, 48}, {-1000, -1000}, {2000000000, 5}, {-2000000000, 5}};
    BothPaths([&](int) {
        for (const auto &place : places) {
            GuardedPage page(64, 48, 0x00808080u);
            BlitOpaque(page.page(), 64, 48, place[0], place[1], picture.data(), 20, 10);
            BlitAdd(page.page(), 64, 48, place[0], place[1], picture.data(), 20, 10);
            BlitSubMask(page.page(), 64, 48, place[0], place[1], mask.data(), 20, 10);
            BlitPicture(page.page(), 64, 48, place[0], place[1], picture.data(), 20, 10);
            BlitAddScaled(page.page(), 64, 48, (float)place[0], (float)place[1], picture.data(), 20, 10, 1.0f, 1.0f);
            for (int32_t i = 0; i < 64 * 48; i++)
                ASSERT_EQ(0x00808080u, page.page()[i]) << place[0] << "," << place[1];
            ASSERT_TRUE(page.GuardsIntact());
        }
    });
}

TEST_F(PixelsTest, NegativeXShowsTheRightColumns)
{
    // A 30-wide picture at x = -10 on a 640-wide page: columns 10..29 at 0..19.
    std::vector<uint32_t> picture(30 * 3);
    for (int32_t y = 0; y < 3; y++)
        for (int32_t x = 0; x < 30; x++)
            picture[(size_t)(y * 30 + x)] = (uint32_t)(y << 8 | x);
    GuardedPage page(640, 4, 0x00FFFFFFu);
    BlitOpaque(page.page(), 640, 4, -10, 1, picture.data(), 30, 3);
    for (int32_t y = 0; y < 3; y++) {
        for (int32_t x = 0; x < 20; x++)
            EXPECT_EQ((uint32_t)(y << 8 | (x + 10)), page.at(x, y + 1));
        EXPECT_EQ(0x00FFFFFFu, page.at(20, y + 1));
    }
    EXPECT_EQ(0x00FFFFFFu, page.at(0, 0));
    EXPECT_TRUE(page.GuardsIntact());
}

TEST_F(PixelsTest, PictureLargerThanThePageKeepsRowsAligned)
{
    // Wider and taller than the page, hanging over every edge.
    const int32_t w = 100, h = 40;
    std::vector<uint32_t> picture((size_t)(w * h));
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            picture[(size_t)(y * w + x)] = (uint32_t)(y << 16 | x);
    BothPaths([&](int) {
        GuardedPage opaque(37, 13, 0), added(37, 13, 0), framed(37, 13, 0);
        BlitOpaque(opaque.page(), 37, 13, -25, -7, picture.data(), w, h);
        BlitAdd(added.page(), 37, 13, -25, -7, picture.data(), w, h);
        BlitPicture(framed.page(), 37, 13, -25, -7, picture.data(), w, h);
        for (int32_t y = 0; y < 13; y++) {
            for (int32_t x = 0; x < 37; x++) {
                uint32_t expected = (uint32_t)((y + 7) << 16 | (x + 25));
                ASSERT_EQ(expected, opaque.at(x, y));
                ASSERT_EQ(expected, added.at(x, y));
                ASSERT_EQ(expected, framed.at(x, y));
            }
        }
        EXPECT_TRUE(opaque.GuardsIntact() && added.GuardsIntact() && framed.GuardsIntact());
    });
}

TEST_F(PixelsTest, BlitPictureCutsAtTheBottomRightInsteadOfOverrunning)
{
    std::vector<uint32_t> picture(640 * 480, 0x00ABCDEFu);
    GuardedPage page(320, 200, 0);
    BlitPicture(page.page(), 320, 200, 300, 190, picture.data(), 640, 480);
    EXPECT_EQ(0x00ABCDEFu, page.at(319, 199));
    EXPECT_EQ(0x00ABCDEFu, page.at(300, 190));
    EXPECT_EQ(0u, page.at(299, 199));
    EXPECT_EQ(0u, page.at(319, 189));
    EXPECT_TRUE(page.GuardsIntact());
}

// Every blit against a reference that visits each picture pixel and keeps
// those inside the page: clipping and rules checked together, both paths.
TEST_F(PixelsTest, BlitsMatchReferenceAtRandomPlacesAndOddSizes)
{
    std::mt19937 random(1234);
    for (int round = 0; round < 200; round++) {
        int32_t pw = 1 + (int32_t)(random() % 53), ph = 1 + (int32_t)(random() % 29);
        int32_t w = 1 + (int32_t)(random() % 61), h = 1 + (int32_t)(random() % 37);
        int32_t x = (int32_t)(random() % 140) - 70, y = (int32_t)(random() % 80) - 40;
        std::vector<uint32_t> base = RandomPixels(random, (size_t)(pw * ph));
        std::vector<uint32_t> picture = RandomPixels(random, (size_t)(w * h));
        std::vector<uint8_t> mask((size_t)(w * h));
        for (auto &m : mask)
            m = random() % 3 == 0 ? 0 : (uint8_t)random();
        // Colours beyond 0..255 are limited to it.
        int32_t red = (int32_t)(random() % 300) - 20, green = (int32_t)(random() % 256), blue = (int32_t)(random() % 300);
        auto limit = [](int32_t v) { return (uint32_t)(v < 0 ? 0 : v > 255 ? 255 : v); };
        const uint32_t key = 0x00FF00FFu;
        std::vector<uint32_t> keyedPicture = picture;
        for (auto &p : keyedPicture)
            if (random() % 3 == 0)
                p = key;
        std::vector<uint32_t> opaque = base, added = base, masked = base, tinted = base, keyed = base;
        for (int32_t j = 0; j < h; j++) {
            for (int32_t i = 0; i < w; i++) {
                int32_t px = x + i, py = y + j;
                if (px < 0 || py < 0 || px >= pw || py >= ph)
                    continue;
                size_t at = (size_t)(py * pw + px), from = (size_t)(j * w + i);
                opaque[at] = picture[from];
                added[at] = RefAdd(added[at], picture[from]);
                if (keyedPicture[from] != key)
                    keyed[at] = keyedPicture[from];
                tinted[at] = RefTint(tinted[at], picture[from], limit(red), limit(green), limit(blue));
                if (mask[from])
                    masked[at] = RefSub(masked[at], mask[from]);
            }
        }
        BothPaths([&](int fast) {
            GuardedPage a(pw, ph, 0), b(pw, ph, 0), c(pw, ph, 0), d(pw, ph, 0), e(pw, ph, 0);
            std::copy(base.begin(), base.end(), a.page());
            std::copy(base.begin(), base.end(), b.page());
            std::copy(base.begin(), base.end(), c.page());
            std::copy(base.begin(), base.end(), d.page());
            std::copy(base.begin(), base.end(), e.page());
            BlitOpaque(a.page(), pw, ph, x, y, picture.data(), w, h);
            BlitAdd(b.page(), pw, ph, x, y, picture.data(), w, h);
            BlitSubMask(c.page(), pw, ph, x, y, mask.data(), w, h);
            BlitTinted(d.page(), pw, ph, x, y, picture.data(), w, h, red, green, blue);
            BlitKeyed(e.page(), pw, ph, x, y, keyedPicture.data(), w, h, key);
            ASSERT_TRUE(std::equal(opaque.begin(), opaque.end(), a.page())) << "round " << round << " fast " << fast;
            ASSERT_TRUE(std::equal(added.begin(), added.end(), b.page())) << "round " << round << " fast " << fast;
            ASSERT_TRUE(std::equal(masked.begin(), masked.end(), c.page())) << "round " << round << " fast " << fast;
            ASSERT_TRUE(std::equal(tinted.begin(), tinted.end(), d.page())) << "round " << round << " fast " << fast;
            ASSERT_TRUE(std::equal(keyed.begin(), keyed.end(), e.page())) << "round " << round << " fast " << fast;
            ASSERT_TRUE(a.GuardsIntact() && b.GuardsIntact() && c.GuardsIntact() && d.GuardsIntact() &&
                        e.GuardsIntact());
        });
    }
}

// [SECTION] Per-pixel rules

TEST_F(PixelsTest, AddAndSubtractSaturate)
{
    BothPaths([&](int) {
        std::vector<uint32_t> page(5, 0x00F0107Fu), picture(5, 0x00200F81u);
        BlitAdd(page.data(), 5, 1, 0, 0, picture.data(), 5, 1);
        for (uint32_t p : page)
            EXPECT_EQ(0x00FF1FFFu, p);
        std::vector<uint8_t> mask = {0, 200, 16, 255, 1};
        std::vector<uint32_t> dark = {0x00010203u, 0x0064FA1Eu, 0x00101010u, 0x00FFFFFFu, 0x00000100u};
        BlitSubMask(dark.data(), 5, 1, 0, 0, mask.data(), 5, 1);
        EXPECT_EQ(0x00010203u, dark[0]); // mask 0: untouched even though dark
        EXPECT_EQ(0x00003200u, dark[1]);
        EXPECT_EQ(0x00000000u, dark[2]);
        EXPECT_EQ(0x00000000u, dark[3]);
        EXPECT_EQ(0x00000000u, dark[4]);
    });
}

TEST_F(PixelsTest, TintedBlendRoundsDownAtBothExtremes)
{
    // Nine pixels: two steps of four and a tail of one on the fast path.
    BothPaths([&](int fast) {
        std::vector<uint32_t> page(9, 0xFFFFFFFFu), coverage(9, 0x00000000u);
        for (size_t i = 0; i < coverage.size(); i += 2)
            coverage[i] = 0xFFFFFFFFu; // full coverage; only the low byte counts
        BlitTinted(page.data(), 9, 1, 0, 0, coverage.data(), 9, 1, 0, 128, 255);
        for (size_t i = 0; i < page.size(); i++) {
            // Full coverage: 255 x colour / 256. None: the page dims by one.
            uint32_t expected = i % 2 == 0 ? 0x00007FFEu : 0x00FEFEFEu;
            EXPECT_EQ(expected, page[i]) << "pixel " << i << " fast " << fast;
        }
    });
}

TEST_F(PixelsTest, BrightenAndDarkenRunsLimitTheAmount)
{
    std::mt19937 random(99);
    const int32_t amounts[] = {-5, 0, 1, 77, 255, 300};
    for (int32_t amount : amounts) {
        std::vector<uint32_t> base = RandomPixels(random, 1031);
        int32_t effective = amount > 255 ? 255 : amount;
        BothPaths([&](int fast) {
            std::vector<uint32_t> up = base, down = base;
            BrightenRun(up.data(), (int32_t)up.size(), amount);
            DarkenRun(down.data(), (int32_t)down.size(), amount);
            for (size_t i = 0; i < base.size(); i++) {
                uint32_t brighter = effective <= 0 ? base[i] : RefAdd(base[i], (uint32_t)effective * 0x010101u);
                uint32_t darker = effective <= 0 ? base[i] : RefSub(base[i], effective);
                ASSERT_EQ(brighter, up[i]) << "amount " << amount << " fast " << fast;
                ASSERT_EQ(darker, down[i]) << "amount " << amount << " fast " << fast;
            }
        });
    }
    std::vector<uint32_t> page(3, 0x00102030u);
    BrightenRun(page.data(), 3, 300);
    EXPECT_EQ(0x00FFFFFFu, page[0]);
}

// [SECTION] Conversion

TEST_F(PixelsTest, ConvertWhiteAndPrimaries)
{
    const uint32_t source[4] = {0x00FFFFFFu, 0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    uint16_t out[4];
    ASSERT_EQ(1, SetConversionFormat(640, 480, 16));
    ConvertPixels(out, source, 4);
    EXPECT_EQ(0xFFDF, out[0]);
    EXPECT_EQ(0xF800, out[1]);
    EXPECT_EQ(0x07C0, out[2]);
    EXPECT_EQ(0x001F, out[3]);
    ASSERT_EQ(1, SetConversionFormat(640, 480, 15));
    ConvertPixels(out, source, 4);
    EXPECT_EQ(0x7FFF, out[0]);
    EXPECT_EQ(0x7C00, out[1]);
    EXPECT_EQ(0x03E0, out[2]);
    EXPECT_EQ(0x001F, out[3]);
    EXPECT_EQ(0, SetConversionFormat(640, 480, 24));
    ConvertPixels(out, source, 1); // still 15
    EXPECT_EQ(0x7FFF, out[0]);
}

TEST_F(PixelsTest, ConvertPathsAgreeAndStayInTheirRun)
{
    std::mt19937 random(5);
    std::vector<uint32_t> source = RandomPixels(random, 1037);
    const int32_t formats[] = {15, 16, 32};
    for (int32_t format : formats) {
        ASSERT_EQ(1, SetConversionFormat(640, 480, format));
        std::vector<std::vector<uint32_t>> results;
        BothPaths([&](int) {
            std::vector<uint32_t> out(source.size() + 8, kGuard); // room for 32-bit words
            ConvertPixels(out.data(), source.data(), 1037);
            results.push_back(out);
        });
        ASSERT_EQ(2u, results.size());
        EXPECT_EQ(results[0], results[1]) << "format " << format;
        size_t usedWords = format == 32 ? 1037 : (1037 + 1) / 2;
        EXPECT_EQ(kGuard, results[1][usedWords + 1]);
        if (format != 32) {
            const uint16_t *half = (const uint16_t *)results[0].data();
            EXPECT_EQ(0xDEAD, half[1037]); // the 16-bit word after the run (upper half of a guard word)
            for (size_t i = 0; i < 1037; i++) {
                uint32_t p = source[i];
                uint32_t expected = format == 16
                    ? (((p >> 19) & 31) << 11) | (((p >> 11) & 31) << 6) | ((p >> 3) & 31)
                    : (((p >> 19) & 31) << 10) | (((p >> 11) & 31) << 5) | ((p >> 3) & 31);
                ASSERT_EQ(expected, half[i]);
            }
        } else {
            EXPECT_TRUE(std::equal(source.begin(), source.end(), results[0].begin()));
        }
    }
    SetConversionFormat(640, 480, 32);
}

// [SECTION] Cross-fade

TEST_F(PixelsTest, CrossFadeEndsOnBothPaths)
{
    std::mt19937 random(77);
    std::vector<uint32_t> oldFrame = RandomPixels(random, 640), newFrame = RandomPixels(random, 640);
    for (auto &p : oldFrame)
        p &= 0x00FFFFFFu;
    for (auto &p : newFrame)
        p &= 0x00FFFFFFu;
    BothPaths([&](int fast) {
        std::vector<uint32_t> mixed = newFrame;
        CrossFade(mixed.data(), oldFrame.data(), 0, 640);
        EXPECT_EQ(oldFrame, mixed) << "fast " << fast;
        mixed = newFrame;
        CrossFade(mixed.data(), oldFrame.data(), -40, 640);
        EXPECT_EQ(oldFrame, mixed) << "below 0 is 0";
        mixed = newFrame;
        CrossFade(mixed.data(), oldFrame.data(), 255, 640);
        if (fast) {
            EXPECT_EQ(newFrame, mixed);
        } else {
            // The plain loop's new-frame share is one level darker.
            for (size_t i = 0; i < 640; i++)
                ASSERT_EQ(RefSub(newFrame[i], 1), mixed[i]);
        }
        std::vector<uint32_t> high = newFrame;
        CrossFade(high.data(), oldFrame.data(), 1000, 640);
        EXPECT_EQ(mixed, high) << "above 255 is 255";
    });
}

TEST_F(PixelsTest, CrossFadePathsDifferByAtMostTheDocumentedLevel)
{
    SetMmxFlag(1);
    if (!GetMmxFlag())
        GTEST_SKIP() << "no fast path on this processor";
    std::mt19937 random(3);
    for (int32_t level : {1, 64, 128, 200, 254}) {
        for (int32_t count : {1, 2, 7, 640 * 3 + 3}) {
            std::vector<uint32_t> oldFrame = RandomPixels(random, (size_t)count);
            std::vector<uint32_t> newFrame = RandomPixels(random, (size_t)count);
            std::vector<uint32_t> plain = newFrame, fast = newFrame;
            SetMmxFlag(0);
            CrossFade(plain.data(), oldFrame.data(), level, count);
            SetMmxFlag(1);
            CrossFade(fast.data(), oldFrame.data(), level, count);
            SetMmxFlag(0);
            for (int32_t i = 0; i < count; i++) {
                for (int s = 0; s < 24; s += 8) {
                    int32_t o = (int32_t)Channel(oldFrame[(size_t)i], s), n = (int32_t)Channel(newFrame[(size_t)i], s);
                    int32_t fastExpected = std::max(o - level, 0) + std::max(n - (255 - level), 0);
                    int32_t plainExpected = std::max(o - level, 0) + std::max(n + level - 256, 0);
                    ASSERT_EQ((uint32_t)plainExpected, Channel(plain[(size_t)i], s));
                    ASSERT_EQ((uint32_t)fastExpected, Channel(fast[(size_t)i], s)) << level << " " << count;
                }
            }
        }
    }
}

// [SECTION] Scaled blit

TEST_F(PixelsTest, ScaledAtOneAddsAllButTheLastRow)
{
    const int32_t w = 9, h = 5;
    std::mt19937 random(11);
    std::vector<uint32_t> picture = RandomPixels(random, (size_t)(w * h));
    BothPaths([&](int fast) {
        GuardedPage page(30, 20, 0x00101010u);
        BlitAddScaled(page.page(), 30, 20, 4.0f, 6.0f, picture.data(), w, h, 1.0f, 1.0f);
        for (int32_t y = 0; y < 20; y++) {
            for (int32_t x = 0; x < 30; x++) {
                bool inside = x >= 4 && x < 4 + w && y >= 6 && y < 6 + h - 1;
                uint32_t expected = inside ? RefAdd(0x00101010u, picture[(size_t)((y - 6) * w + x - 4)]) : 0x00101010u;
                ASSERT_EQ(expected, page.at(x, y)) << x << "," << y << " fast " << fast;
            }
        }
        EXPECT_TRUE(page.GuardsIntact());
    });
}

TEST_F(PixelsTest, ScaledAtTwoDoublesEveryPixel)
{
    const int32_t w = 7, h = 3;
    std::vector<uint32_t> picture((size_t)(w * h));
    for (int32_t i = 0; i < w * h; i++)
        picture[(size_t)i] = (uint32_t)(i + 1);
    BothPaths([&](int) {
        GuardedPage page(20, 10, 0);
        BlitAddScaled(page.page(), 20, 10, 1.0f, 2.0f, picture.data(), w, h, 2.0f, 2.0f);
        // 14 x 6 scaled, 5 rows drawn.
        for (int32_t y = 0; y < 10; y++) {
            for (int32_t x = 0; x < 20; x++) {
                bool inside = x >= 1 && x < 15 && y >= 2 && y < 7;
                uint32_t expected = inside ? picture[(size_t)((y - 2) / 2 * w + (x - 1) / 2)] : 0;
                ASSERT_EQ(expected, page.at(x, y)) << x << "," << y;
            }
        }
    });
}

TEST_F(PixelsTest, ScaledClipsAndNeverReadsPastThePicture)
{
    // x = -0.99 truncates to 0 with a start fraction of nearly half a source
    // pixel at scale 4: the last steps would land one column past the edge.
    const int32_t w = 4, h = 4;
    std::mt19937 random(21);
    std::vector<uint32_t> picture = RandomPixels(random, (size_t)(w * h));
    for (auto &p : picture)
        p &= 0x003F3F3Fu;
    std::vector<std::vector<uint32_t>> results;
    BothPaths([&](int) {
        GuardedPage page(40, 40, 0);
        BlitAddScaled(page.page(), 40, 40, -0.99f, -0.99f, picture.data(), w, h, 4.0f, 4.0f);
        EXPECT_EQ(picture[(size_t)(w - 1)], page.at(15, 0)); // held at the last column
        EXPECT_EQ(0u, page.at(16, 0));
        EXPECT_EQ(0u, page.at(0, 15));                       // one row short
        EXPECT_TRUE(page.GuardsIntact());
        // Hanging over every edge, with the page smaller than the sprite.
        GuardedPage small(9, 7, 0);
        BlitAddScaled(small.page(), 9, 7, -5.5f, -3.25f, picture.data(), w, h, 5.0f, 3.0f);
        EXPECT_TRUE(small.GuardsIntact());
        results.push_back(page.memory);
        results.push_back(small.memory);
    });
    if (results.size() == 4) {
        EXPECT_EQ(results[0], results[2]);
        EXPECT_EQ(results[1], results[3]);
    }
    GuardedPage page(40, 40, 0);
    BlitAddScaled(page.page(), 40, 40, 1.0f, 1.0f, picture.data(), w, h, 0.0f, 1.0f);
    BlitAddScaled(page.page(), 40, 40, 1.0f, 1.0f, picture.data(), w, h, 1.0f, -2.0f);
    BlitAddScaled(page.page(), 40, 40, 1e30f, 1.0f, picture.data(), w, h, 1.0f, 1.0f);
    for (int32_t i = 0; i < 40 * 40; i++)
        ASSERT_EQ(0u, page.page()[i]);
}

TEST_F(PixelsTest, ScaledPathsAgreeOnRandomSprites)
{
    std::mt19937 random(8);
    std::uniform_real_distribution<float> position(-30.0f, 60.0f), scale(0.2f, 3.7f);
    for (int round = 0; round < 150; round++) {
        int32_t w = 1 + (int32_t)(random() % 23), h = 1 + (int32_t)(random() % 19);
        std::vector<uint32_t> picture = RandomPixels(random, (size_t)(w * h));
        float x = position(random), y = position(random), sx = scale(random), sy = scale(random);
        std::vector<std::vector<uint32_t>> results;
        BothPaths([&](int) {
            GuardedPage page(41, 33, 0x00202020u);
            BlitAddScaled(page.page(), 41, 33, x, y, picture.data(), w, h, sx, sy);
            EXPECT_TRUE(page.GuardsIntact());
            results.push_back(page.memory);
        });
        if (results.size() == 2) {
            ASSERT_EQ(results[0], results[1]) << "round " << round;
        }
    }
}

// [SECTION] Rectangles and CopyRect

TEST_F(PixelsTest, RectangleEffects)
{
    GuardedPage page(8, 4, 0x00FFFFFFu);
    BlendRect(page.page(), 8, 4, 0, 0, 2, 1, 20, 40, 60);
    EXPECT_EQ(0x0089939Du, page.at(0, 0)); // (137, 147, 157)
    EXPECT_EQ(0x0089939Du, page.at(1, 0));
    EXPECT_EQ(0x00FFFFFFu, page.at(2, 0));
    DarkenRect(page.page(), 8, 4, 2, 1, 4, 3, 30, 300, -5);
    EXPECT_EQ(0x00E100FFu, page.at(2, 1));
    EXPECT_EQ(0x00E100FFu, page.at(3, 2));
    EXPECT_EQ(0x00FFFFFFu, page.at(4, 2));
    BrightenRect(page.page(), 8, 4, 2, 1, 3, 2, 10, 10, 10);
    EXPECT_EQ(0x00EB0AFFu, page.at(2, 1));
    // Half-open and empty rectangles.
    BrightenRect(page.page(), 8, 4, 5, 0, 5, 4, 1, 1, 1);
    BrightenRect(page.page(), 8, 4, 6, 3, 5, 2, 1, 1, 1);
    EXPECT_EQ(0x00FFFFFFu, page.at(5, 0));
}

TEST_F(PixelsTest, RectangleEffectsClipToThePage)
{
    GuardedPage page(16, 6, 0x00808080u);
    DarkenRect(page.page(), 16, 6, -4, -3, 20, 9, 16, 16, 16);
    BlendRect(page.page(), 16, 6, -100, 2, 200, 3, 0, 0, 0);
    BrightenRect(page.page(), 16, 6, 10, -50, 11, 50, 1, 2, 3);
    BrightenRect(page.page(), 16, 6, 16, 0, 40, 6, 1, 2, 3); // wholly right of the page
    EXPECT_TRUE(page.GuardsIntact());
    EXPECT_EQ(0x00707070u, page.at(0, 0));
    EXPECT_EQ(0x00383838u, page.at(15, 2));
    EXPECT_EQ(0x00717273u, page.at(10, 5));
}

TEST_F(PixelsTest, CopyRectCopiesItsRectangleOnly)
{
    std::mt19937 random(4);
    std::vector<uint32_t> source = RandomPixels(random, 20 * 10);
    GuardedPage page(20, 10, 0);
    CopyRect(page.page(), source.data(), 20, 3, 2, 7, 5);
    for (int32_t y = 0; y < 10; y++)
        for (int32_t x = 0; x < 20; x++) {
            bool inside = x >= 3 && x < 7 && y >= 2 && y < 5;
            ASSERT_EQ(inside ? source[(size_t)(y * 20 + x)] : 0u, page.at(x, y));
        }
    CopyRect(page.page(), source.data(), 20, 9, 2, 9, 5);   // empty
    CopyRect(page.page(), source.data(), 20, 9, 6, 12, 6);  // empty
    CopyRect(page.page(), source.data(), 20, -5, 0, 30, 1); // columns held to the row
    EXPECT_EQ(source[0], page.at(0, 0));
    EXPECT_EQ(source[19], page.at(19, 0));
    EXPECT_EQ(0u, page.at(0, 1));
    EXPECT_EQ(0u, page.at(9, 6));
    EXPECT_TRUE(page.GuardsIntact());
}

} // namespace
