// The outro's frame loop with a controlled tick source: when the fade starts,
// when it ends, what keys do, and one fade step's effect on picture and music.
#include "app/outro.h"

#include "engine3d/vx.h"
#include "gfx/display.h"
#include "platform/platform.h"
#include "sound/modplayer.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

void Put32(std::vector<uint8_t> &b, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b.push_back(uint8_t(v >> (8 * i)));
}

// A bottom-up BMP: 24-bit pixels of one colour, or 8-bit indices with a gray palette.
void WriteBmp(const std::string &path, int w, int h, int bits)
{
    int rowBytes = bits == 24 ? (w * 3 + 3) / 4 * 4 : w;
    uint32_t offset = bits == 24 ? 54 : 1078;
    std::vector<uint8_t> b = {'B', 'M'};
    Put32(b, offset + uint32_t(rowBytes * h));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));
    b.push_back(1), b.push_back(0), b.push_back(uint8_t(bits)), b.push_back(0);
    for (int i = 0; i < 6; i++)
        Put32(b, i == 4 && bits == 8 ? 256 : 0);
    if (bits == 8)
        for (int i = 0; i < 256; i++)
            b.push_back(uint8_t(i)), b.push_back(uint8_t(i)), b.push_back(uint8_t(i)), b.push_back(0);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < rowBytes; x++)
            b.push_back(uint8_t(bits == 24 ? 200 : (x * 7 + y * 3) & 255));
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

// Ticks advance by one every time the outro reads them; a key arrives at a
// chosen tick.
struct Clock {
    int32_t now = 0;
    int32_t keyAt[2] = {-1, -1};
};
Clock clock;

int32_t Tick()
{
    int32_t t = clock.now++;
    for (int32_t &at : clock.keyAt)
        if (at >= 0 && t >= at) {
            input.lastKey = VK_SPACE;
            at = -1;
        }
    return t;
}

struct OutroTest : testing::Test {
    fs::path dir;
    std::vector<uint32_t> page = std::vector<uint32_t>(640 * 480);

    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("zarn-outro-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        fs::current_path(dir);
        WriteBmp("lens.bmp", 16, 16, 24);
        WriteBmp("hell2.bmp", 64, 64, 8);
        PlatformSelect("headless");
        StackheapInit(0);
        ASSERT_EQ(VxInit(640, 480), 1);
        for (size_t i = 0; i < page.size(); i++)
            page[i] = 0x00406080u + uint32_t(i % 640);
        clock = Clock();
        input.lastKey = 0;
        input.quitRequested = 0;
        OutroSetTickSource(Tick);
    }
    void TearDown() override
    {
        VxShutdown();
        OutroSetTickSource(nullptr);
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(dir);
    }
};

TEST_F(OutroTest, WithoutKeysTheFadeStartsAfterFrame200AndEndsAfter128Ticks)
{
    RunOutro(page.data(), nullptr);
    const OutroReport *r = OutroLastReport();
    EXPECT_EQ(r->endedBy, OUTRO_END_FADE);
    EXPECT_EQ(r->fadeStartFrame, 201);
    EXPECT_GE(r->endTicks - r->fadeStartTicks, 128);
    // The frame before the end was still within the fade.
    EXPECT_LE(r->lastLevel, 255);
    EXPECT_GT(r->frames, 201);
    // Slot 0 now holds the 512 x 256 capture of the page.
    VxTexture *capture = VxGetTexture(0);
    ASSERT_NE(capture, nullptr);
    EXPECT_EQ(capture->width, 512);
    EXPECT_EQ(capture->height, 256);
    EXPECT_EQ(capture->refs, 1000000);
}

TEST_F(OutroTest, AKeyBeforeFrame201StartsTheFadeASecondEndsIt)
{
    clock.keyAt[0] = 60;
    RunOutro(page.data(), nullptr);
    const OutroReport *r = OutroLastReport();
    EXPECT_EQ(r->endedBy, OUTRO_END_FADE);
    EXPECT_LT(r->fadeStartFrame, 201);
    EXPECT_GT(r->fadeStartFrame, 0);

    TearDown();
    SetUp();
    clock.keyAt[0] = 60;
    clock.keyAt[1] = 100;
    RunOutro(page.data(), nullptr);
    r = OutroLastReport();
    EXPECT_EQ(r->endedBy, OUTRO_END_KEY);
    EXPECT_LT(r->endTicks - r->fadeStartTicks, 128);
}

TEST_F(OutroTest, AQuitRequestEndsAtOnce)
{
    input.quitRequested = 1;
    RunOutro(page.data(), nullptr);
    EXPECT_EQ(OutroLastReport()->endedBy, OUTRO_END_QUIT);
    EXPECT_EQ(OutroLastReport()->frames, 0);
    input.quitRequested = 0;
}

TEST_F(OutroTest, LevelHalfDarkensEveryByteBy128AndHalvesTheVolume)
{
    std::vector<uint32_t> white(640 * 480, 0x00FFFFFFu);
    MpSetMasterVolume(64);
    EXPECT_EQ(OutroFade(white.data(), 128, 64), 32);
    for (uint32_t p : white)
        ASSERT_EQ(p & 0x00FFFFFFu, 0x007F7F7Fu);
    EXPECT_EQ(OutroFade(white.data(), 100, 40), 24); // trunc(40 - 100 * 40 / 256) = trunc(24.375)
}

} // namespace
