// The program half of the window test (tests/platform/sdl_window.sh starts
// an X server and runs this with ZARN_SDL_WINDOW_TEST=1): opens the display
// on the SDL backend, keeps presenting a known frame, and records the keys
// that reach the window procedure until Esc arrives, with (when the script
// asks) the characters typed and the page positions of clicks, and F11
// switching between window and full screen. Without the variable there is no
// X server to talk to and the test is skipped.
#include "gfx/display.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
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
    std::vector<std::string> seen; // characters and clicks
    int toggle = getenv("ZARN_SDL_TOGGLE") != nullptr;
    input.typedCount = 0;
    input.clickX = input.clickY = -1;
    DWORD start = GetTickCount(), lastPresent = 0;
    int done = 0;
    // What each message brought is taken before the next one is dispatched:
    // keys that arrive together under load would otherwise replace each other.
    auto take = [&]() {
        if (input.lastKey) {
            keys.push_back(input.lastKey);
            done = input.lastKey == VK_ESCAPE;
            if (toggle && input.lastKey == VK_F11) {
                EXPECT_EQ(DisplaySetFullScreen(!DisplayFullScreen()), 1);
            }
            input.lastKey = 0;
        }
        for (int i = 0; i < input.typedCount; i++)
            seen.push_back("char " + std::to_string(input.typed[i]));
        input.typedCount = 0;
        if (input.clickX != -1) {
            seen.push_back("click " + std::to_string(input.clickX) + " " + std::to_string(input.clickY));
            input.clickX = input.clickY = -1;
        }
    };
    while (!done && GetTickCount() - start < 30000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                input.quitRequested = 1;
                break;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            take();
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
    if (FILE *file = fopen(Env("ZARN_SDL_SEEN", "/dev/null"), "w")) {
        for (const std::string &line : seen)
            fprintf(file, "%s\n", line.c_str());
        fclose(file);
    }
    EXPECT_TRUE(done) << "Esc never reached the window";
    if (DisplayWindow())
        DestroyWindow(DisplayWindow());
}

std::vector<int> dialogCommands;
int dialogResult;

INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message != WM_COMMAND)
        return message == WM_INITDIALOG;
    int id = static_cast<int>(wParam & 0xFFFF);
    dialogCommands.push_back(id);
    if (id == 1 || id == 2) {
        dialogResult = id;
        DestroyWindow(dialog);
    }
    return TRUE;
}

// A dialog of our own manager in its own SDL window, worked with the
// keyboard and the mouse by the script.
TEST(SdlWindow, DialogTakesKeysAndClicks)
{
    if (!getenv("ZARN_SDL_WINDOW_TEST"))
        GTEST_SKIP() << "run by sdl_window.sh under its own X server";
    ASSERT_EQ(PlatformSelect("sdl"), 1);
    static const DialogControl controls[] = {
        {1, DIALOG_DEFPUSHBUTTON, "START", 211, 70, 60, 16, WS_TABSTOP, 0},
        {2, DIALOG_PUSHBUTTON, "Cancel", 131, 70, 60, 16, WS_TABSTOP, 0},
        {-1, DIALOG_GROUPBOX, "Sound", 165, 7, 106, 34, 0, 0},
        {1012, DIALOG_AUTOCHECKBOX, "Sound", 173, 22, 37, 10, WS_TABSTOP | WS_GROUP, 0},
    };
    static const DialogTemplate dialogTemplate = {101, "Zarn Config", 278, 94, "MS Sans Serif", 8, controls, 4};
    HWND dialog = CreateDialogIndirectParamA(nullptr, &dialogTemplate, nullptr, DialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    RECT outer;
    GetWindowRect(dialog, &outer);
    MoveWindow(dialog, 100, 100, outer.right - outer.left, outer.bottom - outer.top, FALSE);
    ShowWindow(dialog, SW_SHOW);
    DWORD start = GetTickCount();
    while (!dialogResult && GetTickCount() - start < 30000) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0))
                break;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            WaitMessageTimeout(20);
        }
    }
    if (FILE *file = fopen(Env("ZARN_SDL_KEYS", "/dev/null"), "w")) {
        for (int id : dialogCommands)
            fprintf(file, "%d\n", id);
        fclose(file);
    }
    EXPECT_EQ(dialogResult, 1);
}

} // namespace
