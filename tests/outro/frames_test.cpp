// Chosen outro frames on a fixed last screen, with the demo issue's ball and
// textures, against golden pictures: the first frame, the ball reaching the
// cloth, and the cloth torn.
#include "app/outro.h"

#include "engine3d/vx.h"
#include "gfx/display.h"
#include "gfx/image.h"
#include "gfx/pixels.h"
#include "platform/platform.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const int GOLDEN_FRAMES[] = {1, 45, 120};

struct Captured {
    std::vector<uint32_t> frames[3];
};
Captured captured;

int32_t ticksNow;
int32_t Tick()
{
    return ticksNow++;
}

void KeepFrame(int32_t frame, const uint32_t *page)
{
    for (int i = 0; i < 3; i++)
        if (frame == GOLDEN_FRAMES[i])
            captured.frames[i].assign(page, page + 640 * 480);
}

// The last screen: a test card of bands and a grid, so tearing shows.
std::vector<uint32_t> TestCard()
{
    std::vector<uint32_t> page(640 * 480);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            uint32_t band = 0x00203040u + uint32_t((x / 80) * 0x00180C00 + (y / 60) * 0x0000000C);
            page[y * 640 + x] = (x % 40 == 0 || y % 40 == 0) ? 0x00F0F0F0u : band;
        }
    return page;
}

TEST(OutroFrames, MatchTheGoldenPictures)
{
    std::string demo = std::string(ZARN_BINARY_DIR) + "/demo/zarn.dat";
    ASSERT_TRUE(fs::exists(demo)) << "the demo issue is built with everything else";
    fs::path dir = fs::temp_directory_path() / "zarn-outro-frames";
    fs::create_directories(dir);
    fs::current_path(dir);
    PlatformSelect("headless");
    ASSERT_EQ(ArchiveSetName(demo.c_str()), 1);
    StackheapInit(0);
    ASSERT_EQ(VxInit(640, 480), 1);
    VxScene ball;
    ASSERT_EQ(VxLoadScene(&ball, "ball.v3d"), 1);

    std::vector<uint32_t> page = TestCard();
    ticksNow = 0;
    input.lastKey = 0;
    OutroSetTickSource(Tick);
    OutroSetFrameHook(KeepFrame);
    DetectMmx(); // as start-up does, so the frames come from the fast span loops
    RunOutro(page.data(), &ball);
    SetMmxFlag(0);
    OutroSetFrameHook(nullptr);
    OutroSetTickSource(nullptr);
    VxFreeScene(&ball);
    VxShutdown();

    const char *update = std::getenv("ZARN_UPDATE_GOLDEN");
    for (int i = 0; i < 3; i++) {
        ASSERT_EQ(captured.frames[i].size(), size_t(640 * 480)) << "frame " << GOLDEN_FRAMES[i];
        std::string golden = std::string(ZARN_SOURCE_DIR) + "/tests/outro/golden/frame" +
                             std::to_string(GOLDEN_FRAMES[i]) + ".png";
        if (update) {
            ASSERT_EQ(SavePagePng(golden.c_str(), captured.frames[i].data(), 640, 480), 1);
            continue;
        }
        // Loaded back through our own picture loader is not possible for PNG,
        // so the golden is compared through a PNG written now.
        std::string now = (dir / ("frame" + std::to_string(GOLDEN_FRAMES[i]) + ".png")).string();
        ASSERT_EQ(SavePagePng(now.c_str(), captured.frames[i].data(), 640, 480), 1);
        std::ifstream a(golden, std::ios::binary), b(now, std::ios::binary);
        ASSERT_TRUE(a.good()) << golden;
        std::string ga((std::istreambuf_iterator<char>(a)), {}), gb((std::istreambuf_iterator<char>(b)), {});
        EXPECT_TRUE(ga == gb) << "frame " << GOLDEN_FRAMES[i] << " differs from " << golden << " (see " << now << ")";
    }
    // The cloth has torn by the last golden frame: something of the black
    // background shows through where the picture hung at the start.
    int dark = 0;
    for (uint32_t p : captured.frames[2])
        dark += (p & 0x00FFFFFFu) == 0;
    EXPECT_GT(dark, 1000);
}

} // namespace
