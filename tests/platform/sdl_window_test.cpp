// The program half of the window test (tests/platform/sdl_window.sh starts
// an X server and runs this with ZARN_SDL_WINDOW_TEST=1): opens the display
// on the SDL backend, keeps presenting a known frame, and records the keys
// that reach the window procedure until Esc arrives. Without the variable
// there is no X server to talk to and the test is skipped.
#include "gfx/display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char *Env(const char *name, const char *fallback)
{
    const char *value = getenv(name);
    return value && *value ? value : fallback;
}

TEST(SdlWindow, PresentsAKnownFrameAndPassesKeys)
{
    if (!getenv("ZARN_SDL_WINDOW_TEST"))
        GTEST_SKIP() << "run by sdl_window.sh under its own X server";
    ASSERT_EQ(PlatformSelect("sdl"), 1);
    int windowed = strcmp(Env("ZARN_SDL_MODE", "window"), "full") != 0;
    int bits = atoi(Env("ZARN_SDL_BPP", "32"));
    // Four quadrants; the dark grey one shows the 5-6-5 rounding.
    std::vector<uint32_t> page(640 * 480);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++)
            page[y * 640 + x] = y < 240 ? (x < 320 ? 0xFF0000 : 0x00FF00) : (x < 320 ? 0x0000FF : 0x0C0C0C);
    ASSERT_EQ(CreateDisplay(nullptr, LoadIconA(nullptr, 102), SW_SHOW, 640, 480, bits, windowed, "Zarn"), 1);
    ASSERT_NE(DisplayWindow(), nullptr);
    RECT client;
    ASSERT_TRUE(GetClientRect(DisplayWindow(), &client));
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    std::vector<int> keys;
    DWORD start = GetTickCount(), lastPresent = 0;
    int done = 0;
    while (!done && GetTickCount() - start < 30000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                input.quitRequested = 1;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (input.lastKey) {
            keys.push_back(input.lastKey);
            done = input.lastKey == VK_ESCAPE;
            input.lastKey = 0;
        }
        if (input.quitRequested)
            break;
        if (GetTickCount() - lastPresent >= 20) {
            Present(page.data(), 640 * 480);
            lastPresent = GetTickCount();
        }
        WaitMessageTimeout(10);
    }
    if (FILE *file = fopen(Env("ZARN_SDL_KEYS", "/dev/null"), "w")) {
        for (int key : keys)
            fprintf(file, "%d\n", key);
        fclose(file);
    }
    EXPECT_TRUE(done) << "Esc never reached the window";
    if (DisplayWindow())
        DestroyWindow(DisplayWindow());
}

} // namespace
