// The headless backend and the common window layer above it: backend choice,
// message boxes, shell opens, audio pacing, windows and the message queue.
#include "platform/backend.h"
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Recorded {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Recorded> recorded;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    recorded.push_back(Recorded{window, message, wParam, lParam});
    if (message == WM_DESTROY)
        PostQuitMessage(3);
    return DefWindowProcA(window, message, wParam, lParam);
}

class HeadlessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(PlatformSelect("headless"), 1);
        HeadlessReset();
        recorded.clear();
    }
    void TearDown() override
    {
        // Windows a test leaves open are closed, so nothing outlives it.
        for (HWND window : PlatformLiveWindows())
            if (!window->parent)
                DestroyWindow(window);
    }
    HWND MakeWindow(const char *className = "Test")
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = className;
        RegisterClassA(&wc);
        return CreateWindowExA(0, className, "title", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr, nullptr,
                               nullptr, nullptr);
    }
    static int Count(UINT message)
    {
        int n = 0;
        for (const Recorded &r : recorded)
            n += r.message == message;
        return n;
    }
};

TEST(BackendSelection, FirstChoiceStays)
{
    EXPECT_EQ(PlatformSelect("headless"), 1);
    EXPECT_STREQ(PlatformName(), "headless");
    EXPECT_EQ(PlatformSelect("sdl"), 1); // later calls change nothing
    EXPECT_STREQ(PlatformName(), "headless");
}

TEST_F(HeadlessTest, MessageBoxesAreRecordedAndAnsweredFromTheQueue)
{
    HeadlessQueueAnswer(IDCANCEL);
    HeadlessQueueAnswer(IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "first", "Error", MB_OKCANCEL | MB_ICONERROR), IDCANCEL);
    // A box with only OK answers OK whatever was queued, and uses up its answer.
    EXPECT_EQ(MessageBoxA(nullptr, "second", "ERROR", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "third", "Error", MB_OKCANCEL), IDOK); // queue empty: OK
    const auto &boxes = HeadlessMessageBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, "first");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(boxes[0].type, UINT(MB_OKCANCEL | MB_ICONERROR));
    EXPECT_EQ(boxes[0].answer, IDCANCEL);
    EXPECT_EQ(boxes[1].text, "second");
    EXPECT_EQ(boxes[1].caption, "ERROR");
    EXPECT_EQ(boxes[2].answer, IDOK);
}

TEST_F(HeadlessTest, ShellOpensAreRecordedNotRun)
{
    EXPECT_GT(ShellExecuteA(nullptr, "open", "http://example.org/a b;rm -rf x", nullptr, nullptr, SW_SHOW), 32);
    EXPECT_LE(ShellExecuteA(nullptr, "open", "", nullptr, nullptr, SW_SHOW), 32);
    EXPECT_LE(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOW), 32);
    ASSERT_EQ(HeadlessShellOpens().size(), 1u);
    EXPECT_EQ(HeadlessShellOpens()[0], "http://example.org/a b;rm -rf x");
}

TEST_F(HeadlessTest, AudioIsConsumedAtRealTimePaceAndCaptured)
{
    ASSERT_EQ(AudioOpen(44100), 1);
    EXPECT_EQ(AudioOpen(44100), 0); // in use
    std::vector<int16_t> frames(4410 * 2);
    for (size_t i = 0; i < frames.size(); i++)
        frames[i] = static_cast<int16_t>(i * 7);
    ASSERT_EQ(AudioQueue(frames.data(), 4410), 1);
    int queued = AudioQueuedFrames();
    EXPECT_GT(queued, 4000);
    EXPECT_LE(queued, 4410);
    Sleep(50);
    int later = AudioQueuedFrames();
    EXPECT_LT(later, 4410 - 1500); // about 2 205 frames are gone after 50 ms
    EXPECT_GT(later, 0);
    Sleep(100);
    EXPECT_EQ(AudioQueuedFrames(), 0);
    // A stall does not bank time: new frames start playing from now.
    Sleep(30);
    AudioQueue(frames.data(), 4410);
    EXPECT_GT(AudioQueuedFrames(), 3500);
    EXPECT_EQ(HeadlessAudioRate(), 44100);
    const auto &capture = HeadlessAudioCapture();
    ASSERT_EQ(capture.size(), frames.size() * 2);
    EXPECT_TRUE(std::equal(frames.begin(), frames.end(), capture.begin()));
    AudioClose();
    EXPECT_EQ(AudioQueue(frames.data(), 1), 0);
    EXPECT_EQ(AudioQueuedFrames(), 0);
}

TEST_F(HeadlessTest, AudioCanBeRefused)
{
    HeadlessSetAudioAvailable(0);
    EXPECT_EQ(AudioOpen(44100), 0);
    EXPECT_EQ(AudioOpen(0), 0);
}

TEST_F(HeadlessTest, WindowsGetCreateMoveSizeAndDestroyMessages)
{
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(recorded.at(0).message, UINT(WM_CREATE));
    EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    WNDCLASSA again{};
    again.lpfnWndProc = RecordingProc;
    again.lpszClassName = "Test";
    EXPECT_EQ(RegisterClassA(&again), 0);

    recorded.clear();
    EXPECT_TRUE(MoveWindow(window, 100, 50, 640, 480, FALSE));
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].message, UINT(WM_MOVE));
    EXPECT_EQ(recorded[0].lParam, LPARAM(50 << 16 | 100));
    EXPECT_EQ(recorded[1].message, UINT(WM_SIZE));
    EXPECT_EQ(recorded[1].lParam, LPARAM(480 << 16 | 640));
    RECT client;
    ASSERT_TRUE(GetClientRect(window, &client));
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    POINT corner{640, 480};
    ClientToScreen(window, &corner);
    EXPECT_EQ(corner.x, 740);
    EXPECT_EQ(corner.y, 530);

    recorded.clear();
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(Count(WM_DESTROY), 1);
    MSG msg;
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_EQ(msg.message, UINT(WM_QUIT));
    EXPECT_EQ(msg.wParam, WPARAM(3));
}

TEST_F(HeadlessTest, QueueKeepsOrderHonoursFiltersAndDropsDeadWindows)
{
    HeadlessSetAutoActivate(0);
    HWND first = MakeWindow();
    HWND second = CreateWindowExA(0, "Test", "b", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    PostMessageA(first, WM_KEYDOWN, 'A', 0);
    PostMessageA(second, WM_KEYDOWN, 'B', 0);
    PostMessageA(first, WM_MOUSEMOVE, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_NOREMOVE));
    EXPECT_EQ(msg.hwnd, first);
    ASSERT_TRUE(PeekMessageA(&msg, second, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, WPARAM('B'));
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, WPARAM('A')); // no removal: still there
    PostMessageA(second, WM_KEYDOWN, 'C', 0);
    DestroyWindow(second);
    recorded.clear();
    std::vector<UINT> seen;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        seen.push_back(msg.message);
        DispatchMessageA(&msg);
    }
    // A then the move; C died with its window; the quit from WM_DESTROY last.
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], UINT(WM_KEYDOWN));
    EXPECT_EQ(seen[1], UINT(WM_MOUSEMOVE));
    EXPECT_EQ(seen[2], UINT(WM_QUIT));
    EXPECT_EQ(Count(WM_KEYDOWN), 1);
    EXPECT_FALSE(PostMessageA(second, WM_PAINT, 0, 0));
}

TEST_F(HeadlessTest, ShowingAWindowActivatesAndPaintsItOnce)
{
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOW);
    ShowWindow(window, SW_SHOW);
    MSG msg;
    std::vector<UINT> seen;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        seen.push_back(msg.message);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], UINT(WM_ACTIVATEAPP));
    EXPECT_EQ(seen[1], UINT(WM_PAINT));
}

TEST_F(HeadlessTest, BlockingOnAnEmptyQueueClosesTheRun)
{
    HWND window = MakeWindow();
    HeadlessSetAutoActivate(0);
    MSG msg;
    // Nothing will ever come: the backend destroys the window, whose
    // procedure posts the quit message.
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Count(WM_DESTROY), 1);
    // With no window left the quit message comes directly.
    EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
}

TEST_F(HeadlessTest, WindowCreationCanBeRefused)
{
    HeadlessFailWindows(1);
    EXPECT_EQ(MakeWindow(), nullptr);
    EXPECT_NE(MakeWindow(), nullptr);
}

TEST_F(HeadlessTest, InputHelpersQueueWhatTheDesktopWould)
{
    HeadlessSetAutoActivate(0);
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOW);
    HeadlessKey(nullptr, VK_F1);
    HeadlessMouseMove(window, 5, 6, MK_LBUTTON);
    HeadlessClick(window, 7, 8);
    HeadlessResize(window, 320, 200);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    ASSERT_EQ(recorded.size(), 8u);
    EXPECT_EQ(recorded[1].message, UINT(WM_KEYDOWN));
    EXPECT_EQ(recorded[1].wParam, WPARAM(VK_F1));
    EXPECT_EQ(recorded[2].message, UINT(WM_KEYUP));
    EXPECT_EQ(recorded[3].message, UINT(WM_SETCURSOR));
    EXPECT_EQ(recorded[4].message, UINT(WM_MOUSEMOVE));
    EXPECT_EQ(recorded[4].wParam, WPARAM(MK_LBUTTON));
    EXPECT_EQ(recorded[4].lParam, LPARAM(6 << 16 | 5));
    EXPECT_EQ(recorded[5].message, UINT(WM_LBUTTONDOWN));
    EXPECT_EQ(recorded[5].lParam, LPARAM(8 << 16 | 7));
    EXPECT_EQ(recorded[6].message, UINT(WM_LBUTTONUP));
    EXPECT_EQ(recorded[7].message, UINT(WM_SIZE));
    EXPECT_EQ(recorded[7].lParam, LPARAM(200 << 16 | 320));
}

TEST_F(HeadlessTest, ThreadsRunAndJoin)
{
    static int ran = 0;
    PlatformThread *thread = CreateThread(4096, [](void *argument) -> DWORD {
        *static_cast<int *>(argument) = 1;
        return 0;
    }, &ran);
    ASSERT_NE(thread, nullptr);
    PlatformJoinThread(thread);
    EXPECT_EQ(ran, 1);
}

TEST_F(HeadlessTest, MessagesPostedFromAnotherThreadArrive)
{
    HeadlessSetAutoActivate(0);
    static HWND target;
    target = MakeWindow();
    PlatformThread *thread = CreateThread(0, [](void *) -> DWORD {
        Sleep(20);
        PostMessageA(target, WM_KEYDOWN, VK_SPACE, 0);
        return 0;
    }, nullptr);
    ASSERT_NE(thread, nullptr);
    int arrived = 0;
    for (int i = 0; i < 200 && !arrived; i++) {
        arrived = WaitMessageTimeout(10);
    }
    PlatformJoinThread(thread);
    MSG msg;
    ASSERT_TRUE(arrived);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, WPARAM(VK_SPACE));
}

} // namespace

// Every backend shows 15-, 16- and 32-bit surfaces through this: a wrong
// shift or a narrow channel left unrepeated shows as wrong colours.
TEST(WidenChannel, FullIntensityStaysFullAndNarrowChannelsRepeatTheirTopBits)
{
    EXPECT_EQ(PlatformWidenChannel(0xF800, 0xF800), 255u);          // 5-bit red of 565
    EXPECT_EQ(PlatformWidenChannel(0x07E0, 0x07E0), 255u);          // 6-bit green of 565
    EXPECT_EQ(PlatformWidenChannel(0x8000, 0xF800), 0x84u);         // 10000 -> 10000100
    EXPECT_EQ(PlatformWidenChannel(0x0400, 0x07E0), 0x82u);         // 100000 -> 10000010
    EXPECT_EQ(PlatformWidenChannel(0x12345678, 0xFF00), 0x56u);     // 8 bits as they are
    EXPECT_EQ(PlatformWidenChannel(0x7C00, 0x7C00), 255u);          // 555 red
    EXPECT_EQ(PlatformWidenChannel(0xFFFFFFFF, 0x3FF00000u), 255u); // a 10-bit channel keeps its top 8
    EXPECT_EQ(PlatformWidenChannel(0x2AB00000u, 0x3FF00000u), 0xAAu);
    EXPECT_EQ(PlatformWidenChannel(0x1234, 0), 0u);                 // no such channel
}
