// The command-line rule and the executable's resources, in process.
#include "app/resources.h"
#include "app/session.h"
#include "app/shell.h"
#include "sound/p_midas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string ArgumentOf(std::vector<std::string> words)
{
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(&word[0]);
    PlatformSetCommandLine((int)argv.size(), argv.data());
    ParseCommandLine();
    return CommandLineArgument();
}

uint32_t Get32(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

uint16_t Get16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

const DialogControl *FindControl(const DialogTemplate *dialog, int id)
{
    for (int i = 0; i < dialog->controlCount; i++)
        if (dialog->controls[i].id == id)
            return &dialog->controls[i];
    return nullptr;
}

} // namespace

TEST(CommandLine, ProgramPathAloneLeavesTheArgumentEmpty)
{
    EXPECT_EQ(ArgumentOf({"/usr/bin/zarn"}), "");
}

TEST(CommandLine, AnyLastWordIsTheArgument)
{
    EXPECT_EQ(ArgumentOf({"/usr/bin/zarn", "setup"}), "setup");
    EXPECT_EQ(ArgumentOf({"zarn", "one", "two"}), "two");
}

TEST(CommandLine, QuotedPathWithBlanksYieldsItsTail)
{
    // The program path holds a blank: its tail counts as an argument.
    EXPECT_EQ(ArgumentOf({"\"/opt/my games/zarn\""}), "games/zarn\"");
}

TEST(CommandLine, TrailingBlankYieldsAnEmptyArgument)
{
    EXPECT_EQ(ArgumentOf({"zarn", ""}), "");
    EXPECT_EQ(ArgumentOf({"zarn", "word "}), "");
}

TEST(CommandLine, LongLineIsCutToTheBuffer)
{
    std::string longWord(5000, 'w');
    std::string argument = ArgumentOf({"zarn", longWord});
    EXPECT_EQ(argument.size(), (size_t)COMMAND_LINE_BUFFER - 1);
    EXPECT_EQ(argument, longWord.substr(0, COMMAND_LINE_BUFFER - 1));

    // Many words past the buffer: still the real last word.
    std::vector<std::string> words = {"zarn"};
    for (int i = 0; i < 400; i++)
        words.push_back("word" + std::to_string(i));
    EXPECT_EQ(ArgumentOf(words), "word399");
}

TEST(Resources, LoadingBitmapIsAn8BitBmpOf320By147)
{
    uint32_t size = 0;
    const uint8_t *bmp = LoadingBitmap(&size);
    ASSERT_GT(size, 54u + 1024u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(Get32(bmp + 2), size);
    EXPECT_EQ(Get32(bmp + 18), 320u);
    EXPECT_EQ(Get32(bmp + 22), 147u);
    EXPECT_EQ(Get16(bmp + 28), 8);
    EXPECT_EQ(Get32(bmp + 30), 0u); // uncompressed
    EXPECT_EQ(Get32(bmp + 46), 256u);
    uint32_t offset = Get32(bmp + 10);
    EXPECT_EQ(offset, 54u + 1024u);
    EXPECT_EQ(size, offset + 320u * 147u);
    // A picture, not a flat fill: many palette entries in use.
    int used[256] = {0};
    for (uint32_t i = offset; i < size; i++)
        used[bmp[i]] = 1;
    int distinct = 0;
    for (int u : used)
        distinct += u;
    EXPECT_GT(distinct, 64);
}

TEST(Resources, IconIs32By32)
{
    uint32_t size = 0;
    const uint8_t *bmp = IconBitmap(&size);
    EXPECT_EQ(Get32(bmp + 18), 32u);
    EXPECT_EQ(Get32(bmp + 22), 32u);
    EXPECT_EQ(size, 54u + 1024u + 32u * 32u);
}

TEST(Resources, DesktopIconsAreTheWindowIconAtOtherSizes)
{
    // The 32-pixel image through its palette ...
    uint32_t size = 0;
    const uint8_t *bmp = IconBitmap(&size);
    uint32_t offset = Get32(bmp + 10);
    std::vector<uint32_t> window(32 * 32);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++) {
            const uint8_t *colour = bmp + 54 + 4 * bmp[offset + (31 - y) * 32 + x];
            window[y * 32 + x] = (uint32_t)colour[2] << 16 | (uint32_t)colour[1] << 8 | colour[0];
        }
    std::vector<uint32_t> painted(32 * 32);
    ASSERT_EQ(PaintIconImage(32, painted.data()), 1);
    EXPECT_EQ(painted, window);

    // ... and the 256-pixel one, which every eighth pixel repeats exactly.
    std::vector<uint32_t> large(256 * 256);
    ASSERT_EQ(PaintIconImage(256, large.data()), 1);
    int differing = 0;
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            differing += large[(y * 8) * 256 + x * 8] != window[y * 32 + x];
    EXPECT_EQ(differing, 0);

    // At the desktop's other sizes the letter still has its fifteen
    // whole blocks and sits in the middle: as much ramp left of it as right
    // of its shadow, give or take one block.
    uint32_t letter = window[1 * 32 + 6]; // inside the Z's top bar
    for (int side : {48, 128}) {
        std::vector<uint32_t> icon((size_t)side * side);
        ASSERT_EQ(PaintIconImage(side, icon.data()), 1);
        int block = side / 8, count = 0, left = side, right = -1;
        for (int i = 0; i < side * side; i++)
            if (icon[i] == letter) {
                count++;
                left = std::min(left, i % side);
                right = std::max(right, i % side);
            }
        EXPECT_EQ(count, 15 * block * block) << side;
        EXPECT_LE(std::abs(left - (side - 1 - right - block / 2)), block) << side;
    }

    uint32_t none[16 * 16];
    EXPECT_EQ(PaintIconImage(15, none), 0);
    EXPECT_EQ(PaintIconImage(ICON_IMAGE_MAX + 1, none), 0);
    EXPECT_EQ(PaintIconImage(64, nullptr), 0);
}

TEST(Resources, SetupDialogTemplate)
{
    const DialogTemplate *dialog = SetupDialogTemplate();
    EXPECT_EQ(dialog->id, 101);
    EXPECT_STREQ(dialog->caption, "Zarn Config");
    EXPECT_EQ(dialog->width, 278);
    EXPECT_EQ(dialog->height, 94);
    EXPECT_STREQ(dialog->fontName, "MS Sans Serif");
    EXPECT_EQ(dialog->pointSize, 8);
    ASSERT_EQ(dialog->controlCount, 11);

    struct Expected {
        int id;
        DialogControlKind kind;
        const char *text;
        int x, y, width, height;
        bool group;
    } expected[] = {
        {1, DIALOG_PUSHBUTTON, "START", 211, 70, 60, 16, false},
        {2, DIALOG_PUSHBUTTON, "Cancel", 131, 70, 60, 16, false},
        {-1, DIALOG_GROUPBOX, "Display mode", 7, 7, 83, 52, false},
        {1000, DIALOG_AUTORADIOBUTTON, "Full screen", 13, 22, 50, 10, true},
        {1001, DIALOG_AUTORADIOBUTTON, "In a window", 13, 36, 54, 10, false},
        {-1, DIALOG_GROUPBOX, "Colors", 95, 7, 65, 52, false},
        {1003, DIALOG_AUTORADIOBUTTON, "16 bit", 102, 36, 33, 10, true},
        {1004, DIALOG_AUTORADIOBUTTON, "32 bit", 102, 22, 33, 10, false},
        {-1, DIALOG_GROUPBOX, "Sound", 165, 7, 106, 34, false},
        {1010, DIALOG_AUTOCHECKBOX, "Show config at startup", 13, 73, 87, 10, false},
        {1012, DIALOG_AUTOCHECKBOX, "Sound", 173, 22, 37, 10, false},
    };
    for (int i = 0; i < 11; i++) {
        const DialogControl &control = dialog->controls[i];
        SCOPED_TRACE(expected[i].text);
        EXPECT_EQ(control.id, expected[i].id);
        EXPECT_EQ(control.kind, expected[i].kind);
        EXPECT_STREQ(control.text, expected[i].text);
        EXPECT_EQ(control.x, expected[i].x);
        EXPECT_EQ(control.y, expected[i].y);
        EXPECT_EQ(control.width, expected[i].width);
        EXPECT_EQ(control.height, expected[i].height);
        EXPECT_EQ((control.style & WS_GROUP) != 0, expected[i].group);
        EXPECT_EQ((control.style & WS_TABSTOP) != 0, control.kind != DIALOG_GROUPBOX);
        EXPECT_NE(control.style & WS_VISIBLE, 0u);
    }
    // "32 bit" sits above "16 bit".
    EXPECT_LT(FindControl(dialog, 1004)->y, FindControl(dialog, 1003)->y);
}

TEST(Resources, LoadingDialogTemplateShowsBitmap114)
{
    const DialogTemplate *dialog = LoadingDialogTemplate();
    EXPECT_EQ(dialog->id, 105);
    EXPECT_EQ(dialog->caption, nullptr);
    EXPECT_EQ(dialog->width, 213);
    EXPECT_EQ(dialog->height, 89);
    ASSERT_EQ(dialog->controlCount, 1);
    EXPECT_EQ(dialog->controls[0].kind, DIALOG_STATIC_BITMAP);
    EXPECT_EQ(dialog->controls[0].bitmapId, 114);
    EXPECT_EQ(dialog->controls[0].x, 0);
    EXPECT_EQ(dialog->controls[0].y, 0);
}

TEST(Volume, SevenStepsBringItToOneAndTheEighthBackTo64)
{
    SetMasterVolume(64);
    const int32_t expected[] = {32, 16, 8, 4, 2, 1, 64, 32};
    for (int32_t volume : expected) {
        EXPECT_EQ(VolumeStep(), volume);
        EXPECT_EQ(MasterVolume(), volume);
    }
    // A volume some other step left odd still halves toward zero.
    SetMasterVolume(3);
    EXPECT_EQ(VolumeStep(), 1);
    EXPECT_EQ(VolumeStep(), 64);
}
