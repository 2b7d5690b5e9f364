// The display on the headless backend: creation in both modes with every
// failure report in its order, presenting into each surface layout with and
// without padded rows, the window procedure's input, and the two error
// reporters.
#include "gfx/display.h"
#include "gfx/pixels.h"
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const int W = 640, H = 480;

class DisplayTest : public ::testing::Test {
protected:
    std::vector<uint32_t> page;

    void SetUp() override
    {
        ASSERT_EQ(PlatformSelect("headless"), 1);
        HeadlessReset();
        input = InputState{0, 0, 0, 0, 0, 0, 0, -1, -1, 0, {}, 0};
        page.resize(W * H);
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++)
                page[y * W + x] = static_cast<uint32_t>((x * 7) & 255) << 16 | static_cast<uint32_t>((y * 3) & 255) << 8 |
                                  static_cast<uint32_t>((x + y) & 255);
        page[0] = 0xFFFFFF;
    }
    void TearDown() override
    {
        if (DisplayWindow())
            DestroyWindow(DisplayWindow());
        Pump();
    }
    static void Pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            if (msg.message != WM_QUIT)
                DispatchMessageA(&msg);
    }
    static std::vector<std::string> Boxes()
    {
        std::vector<std::string> texts;
        for (const HeadlessMessageBox &box : HeadlessMessageBoxes())
            texts.push_back(box.text);
        return texts;
    }
    // The bytes ConvertPixels writes for one pixel in formatCode's layout.
    static std::vector<uint8_t> Converted(uint32_t pixel, int formatCode)
    {
        SetConversionFormat(W, H, formatCode);
        uint8_t out[4] = {0, 0, 0, 0};
        ConvertPixels(out, &pixel, 1);
        return std::vector<uint8_t>(out, out + (formatCode == 32 ? 4 : 2));
    }
    static std::vector<uint8_t> FrameBytes(const HeadlessFrame *frame, int x, int y, int bytes)
    {
        size_t at = static_cast<size_t>(y) * frame->pitch + static_cast<size_t>(x) * bytes;
        return std::vector<uint8_t>(frame->pixels.begin() + at, frame->pixels.begin() + at + bytes);
    }
};

// [windowed presenting in each desktop layout] -----------------------------

struct LayoutCase {
    int bitCount;
    uint32_t red, green, blue;
    int formatCode;
    int padding;
};

class PresentLayout : public DisplayTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(PresentLayout, EveryPixelLandsConvertedInItsRow)
{
    const LayoutCase c = GetParam();
    HeadlessSetDesktop(1024, 768, c.bitCount, c.red, c.green, c.blue);
    HeadlessSetPitchPadding(c.padding);
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    EXPECT_EQ(input.redrawRequested, 1);
    Present(page.data(), W * H);
    ASSERT_EQ(HeadlessFrameCount(), 1);
    const HeadlessFrame *frame = HeadlessLastFrame();
    int bytes = c.formatCode == 32 ? 4 : 2;
    EXPECT_EQ(frame->flipped, 0);
    EXPECT_EQ(frame->pitch, W * bytes + c.padding);
    EXPECT_EQ(frame->destination.left, 1024 / 2 - W / 2);
    EXPECT_EQ(frame->destination.top, 768 / 2 - H / 2);
    EXPECT_EQ(frame->destination.right - frame->destination.left, W);
    EXPECT_EQ(frame->destination.bottom - frame->destination.top, H);
    const int points[][2] = {{0, 0}, {1, 0}, {639, 0}, {0, 1}, {320, 240}, {639, 479}, {17, 401}};
    for (const auto &p : points) {
        uint32_t source = page[p[1] * W + p[0]];
        EXPECT_EQ(FrameBytes(frame, p[0], p[1], bytes), Converted(source, c.formatCode))
            << "pixel " << p[0] << "," << p[1];
    }
    // White in each layout, as the desktop shows it.
    std::vector<uint8_t> white = FrameBytes(frame, 0, 0, bytes);
    if (c.formatCode == 15) {
        EXPECT_EQ(white, (std::vector<uint8_t>{0xFF, 0x7F}));
    }
    if (c.formatCode == 16) {
        EXPECT_EQ(white, (std::vector<uint8_t>{0xDF, 0xFF}));
    }
    if (c.formatCode == 32) {
        EXPECT_EQ(white, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x00}));
    }
    // The padding after each row is never written.
    for (int y = 0; y < H && c.padding; y += 97)
        for (int i = 0; i < c.padding; i++)
            ASSERT_EQ(frame->pixels[static_cast<size_t>(y) * frame->pitch + W * bytes + i], 0) << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Layouts, PresentLayout,
                         ::testing::Values(LayoutCase{32, 0xFF0000, 0xFF00, 0xFF, 32, 0},
                                           LayoutCase{32, 0xFF0000, 0xFF00, 0xFF, 32, 64},
                                           LayoutCase{16, 0xF800, 0x07E0, 0x001F, 16, 0},
                                           LayoutCase{16, 0xF800, 0x07E0, 0x001F, 16, 6},
                                           LayoutCase{16, 0x7C00, 0x03E0, 0x001F, 15, 0},
                                           LayoutCase{16, 0x7C00, 0x03E0, 0x001F, 15, 2},
                                           LayoutCase{15, 0x7C00, 0x03E0, 0x001F, 15, 0}));

// [full screen] --------------------------------------------------------------

TEST_F(DisplayTest, FullScreenFlipsInTheAskedDepth)
{
    for (int depth : {16, 32}) {
        HeadlessReset();
        ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, depth, 0, "Zarn"), 1) << depth;
        Pump();
        Present(page.data(), W * H);
        const HeadlessFrame *frame = HeadlessLastFrame();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->flipped, 1);
        EXPECT_EQ(frame->format.bitCount, depth);
        EXPECT_EQ(FrameBytes(frame, 320, 240, depth / 8), Converted(page[240 * W + 320], depth));
        RECT client;
        GetClientRect(DisplayWindow(), &client);
        EXPECT_EQ(client.right, W); // the screen took the mode's size
        EXPECT_EQ(client.bottom, H);
        DestroyWindow(DisplayWindow());
        Pump();
    }
}

TEST_F(DisplayTest, FlipIsRepeatedWhileStillDrawing)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 0, "Zarn"), 1);
    Pump();
    for (int i = 0; i < 3; i++)
        HeadlessQueueStepResult(DRAWSTEP_FLIP, DRAWERR_WASSTILLDRAWING);
    Present(page.data(), W * H);
    EXPECT_EQ(HeadlessStepCount(DRAWSTEP_FLIP), 4);
    EXPECT_EQ(HeadlessFrameCount(), 1);
}

TEST_F(DisplayTest, LostSurfaceIsRestoredAndTheFrameDropped)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 0, "Zarn"), 1);
    Pump();
    HeadlessQueueStepResult(DRAWSTEP_FLIP, DRAWERR_SURFACELOST);
    HeadlessQueueStepResult(DRAWSTEP_RESTORE, DRAWERR_GENERIC); // whatever restore says, the frame ends
    Present(page.data(), W * H);
    EXPECT_EQ(HeadlessFrameCount(), 0);
    EXPECT_EQ(HeadlessStepCount(DRAWSTEP_FLIP), 1);
    EXPECT_EQ(HeadlessStepCount(DRAWSTEP_RESTORE), 1);
    Present(page.data(), W * H); // still lost: restored again
    EXPECT_EQ(HeadlessStepCount(DRAWSTEP_RESTORE), 2);
    Present(page.data(), W * H);
    EXPECT_EQ(HeadlessFrameCount(), 1);
}

TEST_F(DisplayTest, FullScreenHidesThePointerWindowedKeepsTheArrow)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 0, "Zarn"), 1);
    EXPECT_EQ(SendMessageA(DisplayWindow(), WM_SETCURSOR, 0, 1), TRUE);
    DestroyWindow(DisplayWindow());
    Pump();
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    EXPECT_EQ(SendMessageA(DisplayWindow(), WM_SETCURSOR, 0, 1), FALSE);
}

// [failures and their boxes] ---------------------------------------------

TEST_F(DisplayTest, WindowCreationFailureIsSilent)
{
    for (int windowed : {0, 1}) {
        HeadlessReset();
        HeadlessFailWindows(1);
        EXPECT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, windowed, "Zarn"), 0);
        EXPECT_TRUE(HeadlessMessageBoxes().empty());
        EXPECT_EQ(DisplayWindow(), nullptr);
    }
}

struct WindowedFailure {
    DrawStep step;
    std::vector<std::string> boxes;
};

class WindowedFailures : public DisplayTest, public ::testing::WithParamInterface<WindowedFailure> {};

TEST_P(WindowedFailures, StepBoxesBackToTheFirstThenTheSummary)
{
    HeadlessFailStep(GetParam().step, static_cast<DRAWRESULT>(0x88760091));
    EXPECT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 0);
    std::vector<std::string> expected = GetParam().boxes;
    expected.push_back("Direct Draw Init Failed (88760091)\n");
    EXPECT_EQ(Boxes(), expected);
    for (const HeadlessMessageBox &box : HeadlessMessageBoxes()) {
        EXPECT_EQ(box.caption, "ERROR");
        EXPECT_NE(box.owner, nullptr);
    }
    EXPECT_EQ(DisplayWindow(), nullptr);
    // The window went away and asked the program to end.
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, WindowedFailures,
    ::testing::Values(
        WindowedFailure{DRAWSTEP_CREATE, {"-> DirectDrawCreate"}},
        WindowedFailure{DRAWSTEP_COOPERATIVE, {"-> SetCooperativeLevel", "-> DirectDrawCreate"}},
        WindowedFailure{DRAWSTEP_PRIMARY, {"-> CreateSurface", "-> SetCooperativeLevel", "-> DirectDrawCreate"}},
        WindowedFailure{DRAWSTEP_CLIPPER,
                        {"-> CreateClipper", "-> CreateSurface", "-> SetCooperativeLevel", "-> DirectDrawCreate"}},
        WindowedFailure{DRAWSTEP_CLIPPERWINDOW,
                        {"-> SetHwnd", "-> CreateClipper", "-> CreateSurface", "-> SetCooperativeLevel",
                         "-> DirectDrawCreate"}},
        WindowedFailure{DRAWSTEP_SETCLIPPER,
                        {"-> SetClipper", "-> SetHwnd", "-> CreateClipper", "-> CreateSurface",
                         "-> SetCooperativeLevel", "-> DirectDrawCreate"}},
        WindowedFailure{DRAWSTEP_OFFSCREEN,
                        {"-> Generating BackBuffer", "-> SetClipper", "-> SetHwnd", "-> CreateClipper",
                         "-> CreateSurface", "-> SetCooperativeLevel", "-> DirectDrawCreate"}}));

TEST_F(DisplayTest, FullScreenFailuresShowOnlyTheSummary)
{
    for (DrawStep step : {DRAWSTEP_CREATE, DRAWSTEP_COOPERATIVE, DRAWSTEP_DISPLAYMODE, DRAWSTEP_PRIMARY,
                          DRAWSTEP_BACKBUFFER}) {
        HeadlessReset();
        HeadlessFailStep(step, DRAWERR_GENERIC);
        EXPECT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 0, "Zarn"), 0) << step;
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Direct Draw Init Failed (80004005)\n"}) << step;
        EXPECT_EQ(HeadlessMessageBoxes().at(0).caption, "ERROR");
        EXPECT_EQ(DisplayWindow(), nullptr);
        Pump();
    }
}

TEST_F(DisplayTest, FullScreenModeThatCannotBeSetReportsItsCode)
{
    EXPECT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 24, 0, "Zarn"), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Direct Draw Init Failed (8876024e)\n"});
}

TEST_F(DisplayTest, DesktopNeither16Nor32BitsIsRefused)
{
    for (int bits : {24, 8}) {
        HeadlessReset();
        HeadlessSetDesktop(1024, 768, bits, 0xFF0000, 0xFF00, 0xFF);
        EXPECT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 0);
        EXPECT_EQ(Boxes(), std::vector<std::string>{"Videomode not supported!\nPlease switch to a 16 or 32 BPP mode."});
        EXPECT_EQ(HeadlessMessageBoxes().at(0).caption, "ERROR");
        // Nothing is released on this path: the window stays for the program to end.
        ASSERT_NE(DisplayWindow(), nullptr);
        DestroyWindow(DisplayWindow());
        Pump();
    }
}

// [when frames are shown] --------------------------------------------------

TEST_F(DisplayTest, NothingIsShownBeforeTheFirstActivation)
{
    HeadlessSetAutoActivate(0);
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Present(page.data(), W * H);
    EXPECT_EQ(HeadlessFrameCount(), 0);
    // lastFrame was not set either: a redraw after activation shows nothing.
    SendMessageA(DisplayWindow(), WM_ACTIVATEAPP, 0, 0); // deactivation counts too
    SendMessageA(DisplayWindow(), WM_PAINT, 0, 0);
    EXPECT_EQ(HeadlessFrameCount(), 0);
    EXPECT_EQ(input.redrawRequested, 1);
    Present(page.data(), W * H);
    EXPECT_EQ(HeadlessFrameCount(), 1);
}

TEST_F(DisplayTest, MovingSizingAndRedrawShowTheLastFrameAgain)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    Present(page.data(), W * H);
    page[5] = 0x123456; // the same page, changed: shown again as it is now
    SendMessageA(DisplayWindow(), WM_PAINT, 0, 0);
    EXPECT_EQ(HeadlessFrameCount(), 2);
    EXPECT_EQ(HeadlessFramePixel(HeadlessLastFrame(), 5, 0), 0x123456u);
    MoveWindow(DisplayWindow(), 10, 10, 800, 600, FALSE); // WM_MOVE and WM_SIZE
    EXPECT_EQ(HeadlessFrameCount(), 4);
    EXPECT_EQ(HeadlessLastFrame()->destination.right, 810);
    EXPECT_EQ(HeadlessLastFrame()->destination.bottom, 610);
}

TEST_F(DisplayTest, FailedLockSkipsConversionButKeepsTheLastFrame)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    Present(page.data(), W * H);
    std::vector<uint32_t> other(W * H, 0x00FF00);
    HeadlessQueueStepResult(DRAWSTEP_LOCK, DRAWERR_GENERIC);
    Present(other.data(), W * H);
    EXPECT_EQ(HeadlessFrameCount(), 2); // the blit still happens, with the old contents
    EXPECT_EQ(HeadlessFramePixel(HeadlessLastFrame(), 3, 3), page[3 * W + 3] & 0xFFFFFF);
    other[0] = 0; // the redraw shows the first page, not the one that failed
    SendMessageA(DisplayWindow(), WM_PAINT, 0, 0);
    EXPECT_EQ(HeadlessFramePixel(HeadlessLastFrame(), 0, 0), 0xFFFFFFu);
}

TEST_F(DisplayTest, OverlongPixelCountIsCutToTheSurface)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    std::vector<uint32_t> big(W * H * 2, 0x0000FF);
    Present(big.data(), W * H * 2);
    EXPECT_EQ(HeadlessFramePixel(HeadlessLastFrame(), 639, 479), 0x0000FFu);
}

TEST_F(DisplayTest, EmptyClientAreaGetsNoBlit)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    HeadlessResize(DisplayWindow(), 0, 0);
    Pump();
    Present(page.data(), W * H);
    EXPECT_EQ(HeadlessFrameCount(), 0);
    EXPECT_EQ(HeadlessStepCount(DRAWSTEP_LOCK), 1); // converted, just not shown
}

// [error reporters] --------------------------------------------------------

TEST_F(DisplayTest, ErrorBoxShowsReleasesClosesAndEndsTheRun)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    Present(page.data(), W * H);
    HWND window = DisplayWindow();
    ErrorBox("- Error on Initsound!");
    ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
    EXPECT_EQ(HeadlessMessageBoxes()[0].text, "- Error on Initsound!");
    EXPECT_EQ(HeadlessMessageBoxes()[0].caption, "Error");
    EXPECT_EQ(HeadlessMessageBoxes()[0].owner, nullptr);
    EXPECT_EQ(HeadlessMessageBoxes()[0].type, UINT(MB_OK));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(DisplayWindow(), nullptr);
    Present(page.data(), W * H);
    EXPECT_EQ(HeadlessFrameCount(), 1);
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
}

TEST_F(DisplayTest, ErrorBoxWithoutTextShowsNoBoxButStillCloses)
{
    ErrorBox(nullptr); // before any display: nothing to release or destroy
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    ErrorBox(nullptr);
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    EXPECT_EQ(DisplayWindow(), nullptr);
}

namespace {
std::vector<std::string> caught;
void Catch(const char *text)
{
    caught.push_back(text);
}
} // namespace

TEST_F(DisplayTest, ACaughtErrorShowsNoBoxAndTheProgramGoesOn)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    caught.clear();
    ErrorBoxSetCatcher(Catch);
    FatalError("Can't load AUA!");
    ErrorBox(nullptr);
    ErrorBoxSetCatcher(nullptr);
    EXPECT_EQ(caught, (std::vector<std::string>{"Zarn EXCEPTION: 'Can't load AUA!'\n", ""}));
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
    ASSERT_NE(DisplayWindow(), nullptr);
    Present(page.data(), W * H);
    EXPECT_EQ(HeadlessFrameCount(), 1) << "the display still shows frames";
    // Without the catcher the box ends the run as before.
    FatalError("Can't load AUA!");
    EXPECT_EQ(HeadlessMessageBoxes().size(), 1u);
    EXPECT_EQ(DisplayWindow(), nullptr);
    EXPECT_EQ(caught.size(), 2u);
}

TEST_F(DisplayTest, FatalErrorWrapsTheTextInTheBanner)
{
    FatalError("- bitmaps not loaded!");
    ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
    EXPECT_EQ(HeadlessMessageBoxes()[0].text, "Zarn EXCEPTION: '- bitmaps not loaded!'\n");
    EXPECT_EQ(HeadlessMessageBoxes()[0].caption, "Error");
    std::string longText(3000, 'q');
    FatalError(longText.c_str());
    const std::string &cut = HeadlessMessageBoxes()[1].text;
    EXPECT_EQ(cut.size(), 1023u);
    EXPECT_EQ(cut.substr(0, 17), "Zarn EXCEPTION: '");
}

// [input] --------------------------------------------------------------------

TEST_F(DisplayTest, PointerIsScaledToPageCoordinatesAtAnyClientSize)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    const int sizes[][2] = {{640, 480}, {1280, 960}, {800, 600}, {320, 240}, {1000, 750}, {2, 2}, {1920, 1080}};
    for (const auto &size : sizes) {
        HeadlessResize(DisplayWindow(), size[0], size[1]);
        HeadlessClick(DisplayWindow(), size[0] / 2, size[1] / 2);
        Pump();
        EXPECT_EQ(input.mouseX, 320) << size[0] << "x" << size[1];
        EXPECT_EQ(input.mouseY, 240) << size[0] << "x" << size[1];
        EXPECT_EQ(input.clickX, 320);
        EXPECT_EQ(input.clickY, 240);
        EXPECT_EQ(input.buttonDown, 1);
    }
    HeadlessResize(DisplayWindow(), 1280, 960);
    HeadlessMouseMove(DisplayWindow(), 1279, 959, 0);
    input.clickX = input.clickY = -1;
    Pump();
    EXPECT_EQ(input.mouseX, 639);
    EXPECT_EQ(input.mouseY, 479);
    EXPECT_EQ(input.buttonDown, 0);
    EXPECT_EQ(input.clickX, -1); // a move without the button records no click
    HeadlessMouseMove(DisplayWindow(), 640, 10, MK_LBUTTON); // dragging records one
    Pump();
    EXPECT_EQ(input.clickX, 320);
    EXPECT_EQ(input.clickY, 5);
}

TEST_F(DisplayTest, ZeroSizedClientAreaNeverDividesByZero)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    HeadlessClick(DisplayWindow(), 64, 48);
    Pump();
    ASSERT_EQ(input.mouseX, 64);
    HeadlessResize(DisplayWindow(), 0, 480);
    HeadlessMouseMove(DisplayWindow(), 10, 240, 0);
    Pump();
    EXPECT_EQ(input.mouseX, 64); // no width to scale by: the old value stays
    EXPECT_EQ(input.mouseY, 240);
    HeadlessResize(DisplayWindow(), 640, 0);
    HeadlessMouseMove(DisplayWindow(), 10, 20, 0);
    Pump();
    EXPECT_EQ(input.mouseX, 10);
    EXPECT_EQ(input.mouseY, 240);
}

TEST_F(DisplayTest, KeysReplaceTheLastKeyAutoRepeatIncluded)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    PostMessageA(DisplayWindow(), WM_KEYDOWN, VK_DOWN, 1);
    PostMessageA(DisplayWindow(), WM_KEYDOWN, VK_DOWN, 1 | (1 << 30));
    Pump();
    EXPECT_EQ(input.lastKey, int32_t(VK_DOWN));
    HeadlessKey(DisplayWindow(), VK_F9);
    Pump();
    EXPECT_EQ(input.lastKey, int32_t(VK_F9)); // key-up leaves it alone
}

TEST_F(DisplayTest, DestroyingTheWindowReleasesAndPostsQuit)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    HWND window = DisplayWindow();
    PostMessageA(window, WM_CLOSE, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    while (msg.message != WM_CLOSE)
        ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    DispatchMessageA(&msg);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(DisplayWindow(), nullptr);
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    Present(page.data(), W * H); // released surfaces are not touched
    EXPECT_EQ(HeadlessFrameCount(), 0);
}

// [full screen at run time] ------------------------------------------------

TEST_F(DisplayTest, SwitchingAtRunTimeKeepsTheFrameThePointerAndTheSurfaces)
{
    // Started in a window of another size than the frame, then full screen
    // and back, from each kind of start.
    for (int windowed : {1, 0}) {
        HeadlessReset();
        ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, windowed, "Zarn"), 1);
        Pump();
        if (windowed)
            HeadlessResize(DisplayWindow(), 1000, 750);
        Pump();
        Present(page.data(), W * H);
        int frames = HeadlessFrameCount();

        ASSERT_EQ(DisplaySetFullScreen(1), 1);
        EXPECT_EQ(DisplayFullScreen(), 1);
        EXPECT_EQ(HeadlessFullScreen(), 1);
        // The frame on screen is shown again at once, as the surfaces were made.
        EXPECT_GT(HeadlessFrameCount(), frames);
        EXPECT_EQ(HeadlessLastFrame()->flipped, windowed ? 0 : 1);
        EXPECT_EQ(HeadlessFramePixel(HeadlessLastFrame(), 320, 240), page[240 * W + 320]);
        // The client area is the frame: pointer positions are page positions.
        HeadlessClick(DisplayWindow(), 320, 240);
        Pump();
        EXPECT_EQ(input.mouseX, 320);
        EXPECT_EQ(input.mouseY, 240);
        EXPECT_EQ(SendMessageA(DisplayWindow(), WM_SETCURSOR, 0, 1), TRUE); // no pointer in full screen

        ASSERT_EQ(DisplaySetFullScreen(0), 1);
        EXPECT_EQ(DisplayFullScreen(), 0);
        EXPECT_EQ(HeadlessFullScreen(), 0);
        RECT outer;
        GetWindowRect(DisplayWindow(), &outer);
        EXPECT_EQ(outer.left, 192); // a frame-sized window centred on 1024 x 768
        EXPECT_EQ(outer.top, 144);
        EXPECT_EQ(outer.right - outer.left, W);
        HeadlessResize(DisplayWindow(), 1280, 960);
        HeadlessClick(DisplayWindow(), 640, 480);
        Pump();
        EXPECT_EQ(input.mouseX, 320);
        EXPECT_EQ(input.mouseY, 240);
        EXPECT_EQ(SendMessageA(DisplayWindow(), WM_SETCURSOR, 0, 1), FALSE);
        Present(page.data(), W * H);
        EXPECT_EQ(HeadlessFramePixel(HeadlessLastFrame(), 639, 479), page[479 * W + 639]);
        DestroyWindow(DisplayWindow());
        Pump();
    }
}

TEST_F(DisplayTest, FullScreenLeftByTheSystemIsWhatTheNextSwitchAndThePointerSee)
{
    // Started full screen; the system leaves it on its own, as a browser does
    // on the user's Esc. The pointer comes back, and one switch (F11) goes
    // full screen again rather than "leaving" a full screen already gone.
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 0, "Zarn"), 1);
    Pump();
    EXPECT_EQ(DisplayFullScreen(), 1); // the system says nothing yet: our record holds
    EXPECT_EQ(SendMessageA(DisplayWindow(), WM_SETCURSOR, 0, 1), TRUE);
    HeadlessSystemLeavesFullScreen();
    EXPECT_EQ(SendMessageA(DisplayWindow(), WM_SETCURSOR, 0, 1), FALSE);
    EXPECT_EQ(DisplayFullScreen(), 0);
    ASSERT_EQ(DisplaySetFullScreen(!DisplayFullScreen()), 1);
    EXPECT_EQ(HeadlessFullScreen(), 1);
    EXPECT_EQ(HeadlessFullScreenSwitches(), 1);
    // From now on the system's word and ours agree.
    EXPECT_EQ(DisplayFullScreen(), 1);
    EXPECT_EQ(SendMessageA(DisplayWindow(), WM_SETCURSOR, 0, 1), TRUE);
    ASSERT_EQ(DisplaySetFullScreen(!DisplayFullScreen()), 1);
    EXPECT_EQ(HeadlessFullScreen(), 0);
    EXPECT_EQ(DisplayFullScreen(), 0);
}

TEST_F(DisplayTest, ARefusedSwitchChangesNothing)
{
    EXPECT_EQ(DisplaySetFullScreen(1), 0); // no display yet
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    HeadlessResize(DisplayWindow(), 800, 600);
    Pump();
    HeadlessRefuseFullScreen(1);
    EXPECT_EQ(DisplaySetFullScreen(1), 0);
    EXPECT_EQ(DisplayFullScreen(), 0);
    EXPECT_EQ(HeadlessFullScreenSwitches(), 0);
    HeadlessClick(DisplayWindow(), 400, 300);
    Pump();
    EXPECT_EQ(input.mouseX, 320); // still scaled from the 800 x 600 window
    EXPECT_EQ(input.mouseY, 240);
}

TEST_F(DisplayTest, KeysCarryTheirModifiersAndCharactersQueueUp)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    Pump();
    const UINT control[] = {VK_CONTROL}, alt[] = {VK_MENU};
    HeadlessKeyWith(DisplayWindow(), 'F', control, 1);
    Pump();
    EXPECT_EQ(input.lastKey, int32_t('F'));
    EXPECT_EQ(input.lastKeyModifiers, int32_t(KEY_CONTROL));
    HeadlessKeyWith(DisplayWindow(), VK_RETURN, alt, 1);
    HeadlessKey(DisplayWindow(), 'M'); // in the same batch: Alt is up again by then
    Pump();
    EXPECT_EQ(input.lastKey, int32_t('M'));
    EXPECT_EQ(input.lastKeyModifiers, 0);
    HeadlessKeyWith(DisplayWindow(), VK_RETURN, alt, 1);
    Pump();
    EXPECT_EQ(input.lastKeyModifiers, int32_t(KEY_ALT));

    input.typedCount = 0;
    for (uint32_t code : {uint32_t('a'), uint32_t('/'), uint32_t(0xE4)})
        HeadlessType(DisplayWindow(), code);
    Pump();
    ASSERT_EQ(input.typedCount, 3);
    EXPECT_EQ(input.typed[0], uint32_t('a'));
    EXPECT_EQ(input.typed[1], uint32_t('/'));
    EXPECT_EQ(input.typed[2], 0xE4u);
    EXPECT_EQ(input.lastKey, int32_t('A')); // the letter's own key came too
    // A full buffer drops what comes on top instead of writing past its end.
    for (int i = 0; i < INPUT_TYPED_MAX + 5; i++)
        PostMessageA(DisplayWindow(), WM_CHAR, 'z', 1);
    Pump();
    EXPECT_EQ(input.typedCount, int32_t(INPUT_TYPED_MAX));
    EXPECT_EQ(input.typed[2], 0xE4u);
    input.typedCount = 0;
}

TEST_F(DisplayTest, WindowHasTheClassTitleAndCentredClientArea)
{
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 1, "Zarn"), 1);
    HWND window = DisplayWindow();
    EXPECT_EQ(window->className, "DDExEngine");
    EXPECT_EQ(window->title, "Zarn");
    EXPECT_EQ(window->style, DWORD(WS_OVERLAPPEDWINDOW));
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 192);
    EXPECT_EQ(outer.top, 144);
    EXPECT_TRUE(window->visible);
    DestroyWindow(window);
    Pump();
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, W, H, 32, 0, "Zarn"), 1);
    EXPECT_EQ(DisplayWindow()->style, DWORD(WS_POPUP));
    EXPECT_EQ(DisplayWindow()->exStyle, DWORD(WS_EX_TOPMOST));
}

} // namespace
