// Headless scripts: input handed over one event at a time to blocking and to
// polling loops, waits for frames and dialogs, message-box answers, frame
// saving, the event log, and the closing of a run once the script is used up.
#include "gfx/display.h"
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<int> keys;
int lastKey;
std::string events; // KEYDOWN and WM_CHAR in order, for the modifier and typing tests

LRESULT KeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN) {
        lastKey = static_cast<int>(wParam);
        events += "down " + std::to_string(wParam) + ((GetKeyState(VK_CONTROL) & 0x8000) ? " ctrl" : "") +
                  ((GetKeyState(VK_MENU) & 0x8000) ? " alt" : "") + ((GetKeyState(VK_SHIFT) & 0x8000) ? " shift" : "") +
                  "\n";
    }
    if (message == WM_CHAR)
        events += "char " + std::to_string(wParam) + "\n";
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wParam, lParam);
}

class ScriptTest : public ::testing::Test {
protected:
    std::string logPath;

    void SetUp() override
    {
        ASSERT_EQ(PlatformSelect("headless"), 1);
        HeadlessReset();
        keys.clear();
        lastKey = 0;
        events.clear();
        char pattern[] = "/tmp/zarn-script-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        logPath = dir + "/log";
        HeadlessSetLog(logPath.c_str());
    }
    void TearDown() override
    {
        HeadlessSetLog(nullptr);
        std::string command = "rm -rf '" + dir + "'";
        if (system(command.c_str()) != 0)
            ADD_FAILURE() << "cannot remove " << dir;
    }
    std::string dir;

    static HWND MakeWindow()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = KeyProc;
        wc.lpszClassName = "ScriptTest";
        RegisterClassA(&wc);
        HWND window = CreateWindowExA(0, "ScriptTest", "t", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                      nullptr, nullptr);
        ShowWindow(window, SW_SHOW);
        return window;
    }
    // The menu loop's shape: block for one message, dispatch the rest, act.
    static int BlockingLoop(int limit)
    {
        int passes = 0;
        for (; passes < limit; passes++) {
            MSG msg;
            if (!GetMessageA(&msg, nullptr, 0, 0))
                return passes;
            DispatchMessageA(&msg);
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                if (!GetMessageA(&msg, nullptr, 0, 0))
                    return passes;
                DispatchMessageA(&msg);
            }
            if (lastKey) {
                keys.push_back(lastKey);
                lastKey = 0;
            }
        }
        return passes;
    }
    std::string Log()
    {
        std::ifstream in(logPath);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(ScriptTest, BlockingLoopSeesEveryKeyThenTheRunCloses)
{
    ASSERT_TRUE(HeadlessScriptText("# menu\nkey Down\n\nkeys 3 Up\nkey return\nkey F12\nkey x\nkey 7\nkey 65\n"));
    HWND window = MakeWindow();
    BlockingLoop(1000);
    EXPECT_EQ(keys, (std::vector<int>{VK_DOWN, VK_UP, VK_UP, VK_UP, VK_RETURN, VK_F12, 'X', '7', 'A'}));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_NE(Log().find("script: used up, closing"), std::string::npos);
}

TEST_F(ScriptTest, ModifiersAreHeldAroundAKeyAndTypedTextComesAsCharacters)
{
    ASSERT_TRUE(HeadlessScriptText("key Ctrl+F\nkey alt+Return\nkey Ctrl+Shift+x\nkey F\nkey Ctrl+\n"
                                   "type a Z/\xC3\xA4 b\n"));
    MakeWindow();
    BlockingLoop(1000);
    EXPECT_EQ(events, "down 17 ctrl\ndown 70 ctrl\n"
                      "down 18 alt\ndown 13 alt\n"
                      "down 17 ctrl\ndown 16 ctrl shift\ndown 88 ctrl shift\n"
                      "down 70\n"
                      // "Ctrl+" names no key; then the text, one character at a time.
                      "down 65\nchar 97\ndown 32\nchar 32\ndown 90\nchar 90\nchar 47\nchar 228\n"
                      "down 32\nchar 32\ndown 66\nchar 98\n");
    EXPECT_NE(Log().find("script: line 5: unknown key"), std::string::npos) << Log();
}

TEST_F(ScriptTest, PollingLoopSeesEveryKeyAndClosesAfterTheGraceTime)
{
    ASSERT_TRUE(HeadlessScriptText("grace 30\nkeys 2 Right\nkey Escape\n"));
    HWND window = MakeWindow();
    int quit = 0;
    for (int i = 0; i < 100000 && !quit; i++) {
        MSG msg;
        while (!quit && PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0))
                quit = 1;
            else
                DispatchMessageA(&msg);
        }
        if (lastKey) {
            keys.push_back(lastKey);
            lastKey = 0;
        }
        Sleep(1);
    }
    EXPECT_TRUE(quit);
    EXPECT_EQ(keys, (std::vector<int>{VK_RIGHT, VK_RIGHT, VK_ESCAPE}));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_NE(Log().find("grace time over"), std::string::npos);
}

// A polling loop whose answer to a key takes a while and only peeks at the
// queue meanwhile, as a fade does; what it saw, in order.
std::string PollingLoopWithSlowWork()
{
    std::string seen;
    for (int i = 0; i < 100000; i++) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0))
                return seen;
            DispatchMessageA(&msg);
        }
        if (lastKey) {
            seen += "key " + std::to_string(lastKey) + "\n";
            lastKey = 0;
            int interrupted = 0;
            for (int step = 0; step < 20 && !interrupted; step++) {
                interrupted = PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
                Sleep(2);
            }
            seen += interrupted ? "input during the work\n" : "work done\n";
        }
        WaitMessageTimeout(10);
    }
    return seen;
}

TEST_F(ScriptTest, WaitSettledHoldsInputBackUntilThePollingLoopWaitsAgain)
{
    MakeWindow();
    ASSERT_TRUE(HeadlessScriptText("grace 30\nkey Right\nwait settled\nkey A\n"));
    // (The closing of the run may come during the last work.)
    const std::string settled = "key 39\nwork done\nkey 65\n";
    EXPECT_EQ(PollingLoopWithSlowWork().substr(0, settled.size()), settled);

    // A fixed sleep is no such condition: the next key comes during the work.
    HeadlessReset();
    keys.clear();
    lastKey = 0;
    MakeWindow();
    ASSERT_TRUE(HeadlessScriptText("grace 30\nkey Right\nsleep 1\nkey A\n"));
    const std::string early = "key 39\ninput during the work\n";
    EXPECT_EQ(PollingLoopWithSlowWork().substr(0, early.size()), early);
}

TEST_F(ScriptTest, WaitForFramesHoldsInputBackAndSaveWritesAPng)
{
    std::string png = dir + "/frame.png";
    ASSERT_TRUE(HeadlessScriptText(("wait frames 3\nkey Escape\nsave " + png + "\n").c_str()));
    ASSERT_EQ(CreateDisplay(nullptr, nullptr, SW_SHOW, 640, 480, 32, 1, "Zarn"), 1);
    std::vector<uint32_t> page(640 * 480, 0x336699);
    input.lastKey = 0; // an Escape of an earlier run must not count
    int framesAtEscape = -1;
    for (int i = 0; i < 10000 && framesAtEscape < 0; i++) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (input.lastKey == VK_ESCAPE)
            framesAtEscape = HeadlessFrameCount();
        Present(page.data(), 640 * 480);
    }
    EXPECT_EQ(framesAtEscape, 3);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0))
        DispatchMessageA(&msg);
    std::ifstream file(png, std::ios::binary);
    char signature[8] = {};
    file.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
    std::string log = Log();
    EXPECT_NE(log.find("frame 1 640x480 32\n"), std::string::npos);
    EXPECT_NE(log.find("saved " + png), std::string::npos);
}

TEST_F(ScriptTest, AWaitThatCannotBeMetIsLoggedAndPassed)
{
    ASSERT_TRUE(HeadlessScriptText("wait frames 100\nwait dialog 101\npress 1\nkey A\nbogus\n"));
    MakeWindow();
    BlockingLoop(100);
    EXPECT_EQ(keys, std::vector<int>{'A'});
    std::string log = Log();
    EXPECT_NE(log.find("script: line 1: 100 frames (have 0) never came"), std::string::npos);
    EXPECT_NE(log.find("script: line 2: dialog 101 never came"), std::string::npos);
    EXPECT_NE(log.find("script: line 3: a dialog with control 1 never came"), std::string::npos);
    EXPECT_NE(log.find("script: line 5: unknown command bogus"), std::string::npos);
}

TEST_F(ScriptTest, AnswersMessageBoxesAndLogsThem)
{
    ASSERT_TRUE(HeadlessScriptText("answer cancel\nkey Space\n"));
    MakeWindow();
    BlockingLoop(3);
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(MessageBoxA(nullptr, "Sound?\nReally", "Error", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxA(nullptr, "again", "Error", MB_OKCANCEL), IDOK);
    ShellExecuteA(nullptr, "open", "http://example.org", nullptr, nullptr, SW_SHOW);
    std::string log = Log();
    EXPECT_NE(log.find("messagebox Error: Sound?\\nReally\n"), std::string::npos);
    EXPECT_NE(log.find("shell open http://example.org\n"), std::string::npos);
}

std::vector<int> dialogCommands;
int dialogResult;

INT_PTR SetupProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND) {
        int id = static_cast<int>(wParam & 0xFFFF);
        dialogCommands.push_back(id);
        if (id == 1 || id == 2) {
            dialogResult = id;
            DestroyWindow(dialog);
        }
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

TEST_F(ScriptTest, PressesDialogControlsOnceTheDialogIsShown)
{
    static const DialogControl controls[] = {
        {1, DIALOG_PUSHBUTTON, "START", 211, 70, 60, 16, WS_TABSTOP, 0},
        {1012, DIALOG_AUTOCHECKBOX, "Sound", 173, 22, 37, 10, WS_TABSTOP, 0},
    };
    static const DialogTemplate dialogTemplate = {101, "Zarn Config", 278, 94, "MS Sans Serif", 8, controls, 2};
    ASSERT_TRUE(HeadlessScriptText("wait dialog 101\npress 1012\nkey Tab\nkey Space\nkey Return\n"));
    dialogCommands.clear();
    dialogResult = 0;
    HWND dialog = CreateDialogIndirectParamA(nullptr, &dialogTemplate, nullptr, SetupProc, 0);
    ShowWindow(dialog, SW_SHOW);
    // The setup dialog's loop: peek, then get and dispatch, until a result.
    for (int i = 0; i < 100000 && !dialogResult; i++) {
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!GetMessageA(&msg, nullptr, 0, 0))
                break;
            DispatchMessageA(&msg);
        }
    }
    EXPECT_EQ(dialogResult, 1);
    // press 1012 checks it; Tab moves to START; Space presses START.
    EXPECT_EQ(dialogCommands, (std::vector<int>{1012, 1}));
    EXPECT_NE(Log().find("dialog 101 shown"), std::string::npos);
}

} // namespace
