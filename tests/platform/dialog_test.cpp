// Our dialog manager on the headless backend: radio groups, check boxes,
// enabled state, keyboard focus and keys, mouse presses, commands to the
// dialog procedure, and drawing.
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

const DialogControl controls[] = {
    {1, DIALOG_DEFPUSHBUTTON, "START", 211, 70, 60, 16, WS_TABSTOP, 0},
    {2, DIALOG_PUSHBUTTON, "Cancel", 131, 70, 60, 16, WS_TABSTOP, 0},
    {-1, DIALOG_GROUPBOX, "Display mode", 7, 7, 83, 52, 0, 0},
    {1000, DIALOG_AUTORADIOBUTTON, "Full screen", 13, 22, 50, 10, WS_TABSTOP | WS_GROUP, 0},
    {1001, DIALOG_AUTORADIOBUTTON, "In a window", 13, 36, 54, 10, WS_TABSTOP, 0},
    {-1, DIALOG_GROUPBOX, "Colors", 95, 7, 65, 52, 0, 0},
    {1003, DIALOG_AUTORADIOBUTTON, "16 bit", 102, 36, 33, 10, WS_TABSTOP | WS_GROUP, 0},
    {1004, DIALOG_AUTORADIOBUTTON, "32 bit", 102, 22, 33, 10, WS_TABSTOP, 0},
    {-1, DIALOG_GROUPBOX, "Sound", 165, 7, 106, 34, 0, 0},
    {1010, DIALOG_AUTOCHECKBOX, "Show config at startup", 13, 73, 87, 10, WS_TABSTOP | WS_GROUP, 0},
    {1012, DIALOG_AUTOCHECKBOX, "Sound", 173, 22, 37, 10, WS_TABSTOP, 0},
};

const DialogTemplate setupTemplate = {
    101, "Zarn Config", 278, 94, "MS Sans Serif", 8, controls, static_cast<int>(sizeof controls / sizeof controls[0])};

std::vector<int> commands;
int initialised;
LPARAM initParam;

INT_PTR Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        initialised++;
        initParam = lParam;
        return TRUE;
    }
    if (message == WM_COMMAND) {
        int id = static_cast<int>(wParam & 0xFFFF);
        commands.push_back(id);
        if (id == 1 || id == 2) {
            DestroyWindow(dialog); // as a real dialog procedure does, mid-dispatch
            return TRUE;
        }
    }
    return FALSE;
}

class DialogTest : public ::testing::Test {
protected:
    HWND dialog = nullptr;

    void SetUp() override
    {
        ASSERT_EQ(PlatformSelect("headless"), 1);
        HeadlessReset();
        commands.clear();
        initialised = 0;
        dialog = CreateDialogIndirectParamA(nullptr, &setupTemplate, nullptr, Procedure, 77);
        ASSERT_NE(dialog, nullptr);
        ShowWindow(dialog, SW_SHOW);
    }
    void TearDown() override
    {
        if (IsWindow(dialog))
            DestroyWindow(dialog);
    }
    static void Pump()
    {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    void Key(UINT key)
    {
        HeadlessKey(dialog, key);
        Pump();
    }
    int Focus() const
    {
        int focus = dialog->dialog->focus;
        return focus < 0 ? -1 : dialog->dialog->controls[focus].source.id;
    }
};

TEST_F(DialogTest, CreationInitialisesAndRecordsTheShowing)
{
    EXPECT_EQ(initialised, 1);
    EXPECT_EQ(initParam, 77);
    EXPECT_EQ(HeadlessDialogsShown(), std::vector<int>{101});
    EXPECT_EQ(HeadlessTopDialog(), dialog);
    EXPECT_EQ(dialog->title, "Zarn Config");
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, DialogUnitsToPixelsX(278));
    EXPECT_EQ(client.bottom, DialogUnitsToPixelsY(94));
    EXPECT_EQ(GetDlgItem(dialog, 4242), nullptr);
    EXPECT_NE(GetDlgItem(dialog, 1003), nullptr);
    EXPECT_EQ(Focus(), 1); // the first tab stop
}

TEST_F(DialogTest, RadioButtonsCheckOnlyWithinTheirGroup)
{
    CheckDlgButton(dialog, 1000, BST_CHECKED);
    CheckDlgButton(dialog, 1004, BST_CHECKED);
    ASSERT_TRUE(HeadlessPressControl(dialog, 1001));
    Pump();
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1000), UINT(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1001), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1004), UINT(BST_CHECKED)); // another group
    EXPECT_EQ(commands, std::vector<int>{1001});
    HeadlessPressControl(dialog, 1003);
    Pump();
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1003), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1004), UINT(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1001), UINT(BST_CHECKED));
    EXPECT_FALSE(HeadlessPressControl(dialog, 4242));
}

TEST_F(DialogTest, CheckBoxesToggleAndDisabledControlsIgnorePresses)
{
    HeadlessPressControl(dialog, 1012);
    Pump();
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1012), UINT(BST_CHECKED));
    HeadlessPressControl(dialog, 1012);
    Pump();
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1012), UINT(BST_UNCHECKED));
    EXPECT_FALSE(EnableWindow(GetDlgItem(dialog, 1003), FALSE)); // was enabled
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 1003)));
    HeadlessPressControl(dialog, 1003);
    Pump();
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1003), UINT(BST_UNCHECKED));
    EXPECT_EQ(commands, (std::vector<int>{1012, 1012}));
    EXPECT_TRUE(EnableWindow(GetDlgItem(dialog, 1003), TRUE)); // was disabled
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1003)));
}

TEST_F(DialogTest, TabVisitsOneStopPerRadioGroupAndSkipsDisabled)
{
    CheckDlgButton(dialog, 1001, BST_CHECKED);
    CheckDlgButton(dialog, 1004, BST_CHECKED);
    std::vector<int> order;
    for (int i = 0; i < 6; i++) {
        Key(VK_TAB);
        order.push_back(Focus());
    }
    EXPECT_EQ(order, (std::vector<int>{2, 1001, 1004, 1010, 1012, 1}));
    EnableWindow(GetDlgItem(dialog, 1003), FALSE);
    EnableWindow(GetDlgItem(dialog, 1004), FALSE);
    Key(VK_TAB);
    Key(VK_TAB);
    EXPECT_EQ(Focus(), 1001);
    Key(VK_TAB);
    EXPECT_EQ(Focus(), 1010); // the disabled group is passed
    // Shift+Tab goes back.
    PostMessageA(dialog, WM_KEYDOWN, VK_SHIFT, 0);
    Key(VK_TAB);
    EXPECT_EQ(Focus(), 1001);
    PostMessageA(dialog, WM_KEYUP, VK_SHIFT, 0);
    Key(VK_TAB);
    EXPECT_EQ(Focus(), 1010);
    EXPECT_TRUE(commands.empty()); // moving the focus presses nothing
}

TEST_F(DialogTest, ArrowsSelectWithinTheGroupInScreenOrder)
{
    CheckDlgButton(dialog, 1003, BST_CHECKED);
    HeadlessPressControl(dialog, 1003); // focus on "16 bit"
    Pump();
    commands.clear();
    Key(VK_UP); // "32 bit" sits above "16 bit"
    EXPECT_EQ(Focus(), 1004);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1004), UINT(BST_CHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1003), UINT(BST_UNCHECKED));
    Key(VK_UP); // wraps
    EXPECT_EQ(Focus(), 1003);
    Key(VK_DOWN);
    EXPECT_EQ(Focus(), 1004);
    EXPECT_EQ(commands, (std::vector<int>{1004, 1003, 1004}));
}

TEST_F(DialogTest, SpacePressesTheFocusedControl)
{
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_TAB);
    Key(VK_TAB); // Full screen, 16 bit (first of its group), Show config
    ASSERT_EQ(Focus(), 1010);
    Key(VK_SPACE);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 1010), UINT(BST_CHECKED));
    EXPECT_EQ(commands, std::vector<int>{1010});
}

TEST_F(DialogTest, EnterIsStartAndTheDialogMayDestroyItself)
{
    Key(VK_RETURN);
    EXPECT_EQ(commands, std::vector<int>{1});
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(HeadlessTopDialog(), nullptr);
}

TEST_F(DialogTest, EscapeAndClosingAreCancel)
{
    Key(VK_ESCAPE);
    EXPECT_EQ(commands, std::vector<int>{2});
    EXPECT_FALSE(IsWindow(dialog));
    dialog = CreateDialogIndirectParamA(nullptr, &setupTemplate, nullptr, Procedure, 0);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(commands, (std::vector<int>{2, 2}));
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(DialogTest, ClickPressesOnlyWhenReleasedOverTheSameControl)
{
    const PlatformControl &sound = dialog->dialog->controls[10];
    int x = sound.pixelX + 3, y = sound.pixelY + 3;
    HeadlessClick(dialog, x, y);
    Pump();
    EXPECT_EQ(commands, std::vector<int>{1012});
    PostMessageA(dialog, WM_LBUTTONDOWN, MK_LBUTTON, y << 16 | x);
    PostMessageA(dialog, WM_LBUTTONUP, 0, 1 << 16 | 1); // released elsewhere
    Pump();
    EXPECT_EQ(commands, std::vector<int>{1012});
    HeadlessClick(dialog, 1, 1); // on nothing
    Pump();
    EXPECT_EQ(commands, std::vector<int>{1012});
}

TEST_F(DialogTest, DrawingShowsTextAndStateChangesThePixels)
{
    int width = dialog->clientWidth, height = dialog->clientHeight;
    std::vector<uint32_t> before(static_cast<size_t>(width) * height), after(before.size());
    EXPECT_EQ(DialogRender(dialog, before.data(), width + 1, height), 0); // size must match
    ASSERT_EQ(DialogRender(dialog, before.data(), width, height), 1);
    std::set<uint32_t> colours(before.begin(), before.end());
    EXPECT_GT(colours.size(), 4u); // face, light, shadow, and anti-aliased text
    int dark = static_cast<int>(std::count_if(before.begin(), before.end(), [](uint32_t p) { return (p & 0xFF) < 0x40; }));
    EXPECT_GT(dark, 200); // the captions were drawn
    CheckDlgButton(dialog, 1012, BST_CHECKED);
    ASSERT_EQ(DialogRender(dialog, after.data(), width, height), 1);
    const PlatformControl &sound = dialog->dialog->controls[10];
    int changed = 0, outside = 0;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            size_t i = static_cast<size_t>(y) * width + x;
            if (before[i] == after[i])
                continue;
            changed++;
            int inside = x >= sound.pixelX && x < sound.pixelX + sound.pixelWidth && y >= sound.pixelY &&
                         y < sound.pixelY + sound.pixelHeight;
            outside += !inside;
        }
    EXPECT_GT(changed, 3);
    EXPECT_EQ(outside, 0);
}

// A bitmap control shows its picture and the dialog grows to hold it.
TEST(DialogBitmap, StaticBitmapIsDrawnAtItsOwnSize)
{
    ASSERT_EQ(PlatformSelect("headless"), 1);
    // 4 × 2, 8 bits, two palette colours, bottom-up rows.
    std::vector<uint8_t> bmp(54 + 8 + 8, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++)
            bmp[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<uint32_t>(bmp.size()));
    put32(10, 54 + 8);
    put32(14, 40);
    put32(18, 4);
    put32(22, 2);
    bmp[26] = 1;
    bmp[28] = 8;
    put32(46, 2);
    put32(54, 0x000000FF); // index 0: blue (B, G, R, 0)
    put32(58, 0x00FF0000); // index 1: red
    const uint8_t rows[8] = {0, 1, 0, 1, 1, 1, 1, 1}; // bottom row first
    std::copy(rows, rows + 8, bmp.begin() + 62);
    BitmapResource resource{114, bmp.data(), static_cast<uint32_t>(bmp.size())};
    PlatformRegisterBitmap(&resource);
    const DialogControl picture[] = {{-1, DIALOG_STATIC_BITMAP, "", 0, 0, 1, 1, 0, 114}};
    const DialogTemplate loading = {105, nullptr, 2, 1, "MS Sans Serif", 8, picture, 1};
    HWND dialog = CreateDialogIndirectParamA(nullptr, &loading, nullptr, Procedure, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_GE(dialog->clientWidth, 4);
    EXPECT_GE(dialog->clientHeight, 2);
    std::vector<uint32_t> pixels(static_cast<size_t>(dialog->clientWidth) * dialog->clientHeight);
    ASSERT_EQ(DialogRender(dialog, pixels.data(), dialog->clientWidth, dialog->clientHeight), 1);
    EXPECT_EQ(pixels[0], 0xFF0000u); // top row: all red
    EXPECT_EQ(pixels[3], 0xFF0000u);
    EXPECT_EQ(pixels[dialog->clientWidth + 0], 0x0000FFu);
    EXPECT_EQ(pixels[dialog->clientWidth + 1], 0xFF0000u);
    // A truncated file is not drawn (and not read past its end).
    BitmapResource cut{114, bmp.data(), 60};
    PlatformRegisterBitmap(&cut);
    std::fill(pixels.begin(), pixels.end(), 0);
    ASSERT_EQ(DialogRender(dialog, pixels.data(), dialog->clientWidth, dialog->clientHeight), 1);
    EXPECT_NE(pixels[0], 0xFF0000u);
    DestroyWindow(dialog);
}

} // namespace
