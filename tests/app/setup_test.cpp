// Stored settings and the setup dialog's procedure, in process on the
// headless backend with a settings file of the test's own.
#include "app/resources.h"
#include "app/setup.h"
#include "platform/headless/headless.h"
#include "store/settings.h"

#include "issue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

class Settings : public ::testing::Test {
protected:
    std::string home;

    void SetUp() override
    {
        home = MakeTempDirectory("settings");
        setenv("XDG_CONFIG_HOME", home.c_str(), 1);
        PlatformSelect("headless");
        HeadlessReset();
        appSettings = {640, 480, 32, 0, 1, 1, 1};
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }

    void Store(const std::string &lines)
    {
        std::filesystem::create_directories(home + "/zarn");
        WriteText(home + "/zarn/settings", lines);
    }

    std::string Stored()
    {
        std::string path = home + "/zarn/settings";
        return FileExists(path) ? ReadText(path) : "";
    }
};

} // namespace

TEST_F(Settings, DefaultsWithoutAKey)
{
    appSettings.bitsPerPixel = 16;
    appSettings.windowed = 1;
    LoadSettings();
    EXPECT_EQ(SetupShowSetup(), 1);
    EXPECT_EQ(appSettings.bitsPerPixel, 32);
    EXPECT_EQ(appSettings.windowed, 0);
    EXPECT_EQ(appSettings.soundOn, 1);
}

TEST_F(Settings, StoredValuesOverrideTheDefaults)
{
    Store("Show setup=0\nbpp=24\nwindowed=1\nsound=0\n");
    LoadSettings();
    EXPECT_EQ(SetupShowSetup(), 0);
    EXPECT_EQ(appSettings.bitsPerPixel, 24);
    EXPECT_EQ(appSettings.windowed, 1);
    EXPECT_EQ(appSettings.soundOn, 0);
}

TEST_F(Settings, SaveWritesTheFourValuesAndLoadReadsThemBack)
{
    LoadSettings();
    appSettings.bitsPerPixel = 16;
    appSettings.windowed = 1;
    appSettings.soundOn = 0;
    SaveSettings();
    std::string stored = Stored();
    EXPECT_NE(stored.find("Show setup=1"), std::string::npos) << stored;
    EXPECT_NE(stored.find("bpp=16"), std::string::npos) << stored;
    EXPECT_NE(stored.find("windowed=1"), std::string::npos) << stored;
    EXPECT_NE(stored.find("sound=0"), std::string::npos) << stored;

    appSettings = {640, 480, 32, 0, 1, 1, 1};
    LoadSettings();
    EXPECT_EQ(appSettings.bitsPerPixel, 16);
    EXPECT_EQ(appSettings.windowed, 1);
    EXPECT_EQ(appSettings.soundOn, 0);
}

TEST_F(Settings, SkippedDialogStoresNothingAndKeepsMusicAndEffects)
{
    Store("Show setup=0\nsound=0\n");
    std::string before = Stored();
    appSettings.musicOn = appSettings.effectsOn = 1;
    EXPECT_EQ(RunSetup(nullptr, SW_SHOW, 0), 1);
    EXPECT_TRUE(HeadlessDialogsShown().empty());
    EXPECT_EQ(Stored(), before);
    // "sound" = 0 picks the silent device, but music and effects stay on.
    EXPECT_EQ(appSettings.soundOn, 0);
    EXPECT_EQ(appSettings.musicOn, 1);
    EXPECT_EQ(appSettings.effectsOn, 1);
}

TEST_F(Settings, CancelStoresNothing)
{
    ASSERT_TRUE(HeadlessScriptText("press 2\n"));
    EXPECT_EQ(RunSetup(nullptr, SW_SHOW, 0), 0);
    EXPECT_EQ(SetupDialogResult(), 2);
    ASSERT_FALSE(HeadlessDialogsShown().empty());
    EXPECT_EQ(HeadlessDialogsShown()[0], RESOURCE_SETUP_DIALOG);
    EXPECT_EQ(Stored(), "");
}

TEST_F(Settings, ForcedDialogChecksShowConfigAndStartStoresItAgain)
{
    Store("Show setup=0\n");
    ASSERT_TRUE(HeadlessScriptText("press 1\n"));
    EXPECT_EQ(RunSetup(nullptr, SW_SHOW, 1), 1);
    EXPECT_NE(Stored().find("Show setup=1"), std::string::npos) << Stored();
}

TEST_F(Settings, UncheckingSoundTurnsMusicAndEffectsOff)
{
    ASSERT_TRUE(HeadlessScriptText("press 1012\npress 1010\npress 1\n"));
    EXPECT_EQ(RunSetup(nullptr, SW_SHOW, 0), 1);
    EXPECT_EQ(appSettings.soundOn, 0);
    EXPECT_EQ(appSettings.musicOn, 0);
    EXPECT_EQ(appSettings.effectsOn, 0);
    std::string stored = Stored();
    EXPECT_NE(stored.find("sound=0"), std::string::npos) << stored;
    EXPECT_NE(stored.find("Show setup=0"), std::string::npos) << stored;
}

// The procedure itself, on a dialog made from template 101.
class SetupProcedure : public Settings {
protected:
    HWND dialog = nullptr;

    void SetUp() override
    {
        Settings::SetUp();
        dialog = CreateDialogIndirectParamA(nullptr, SetupDialogTemplate(), nullptr, SetupDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
    }

    void TearDown() override
    {
        if (IsWindow(dialog))
            DestroyWindow(dialog);
        Settings::TearDown();
    }

    INT_PTR Command(int id)
    {
        return SetupDialogProc(dialog, WM_COMMAND, (WPARAM)id, 0);
    }
};

TEST_F(SetupProcedure, WindowModeDisablesTheDepthButtonsAndFullScreenEnablesThem)
{
    EXPECT_EQ(Command(SETUP_IN_A_WINDOW), FALSE);
    EXPECT_EQ(appSettings.windowed, 1);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, SETUP_16_BIT)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, SETUP_32_BIT)));
    EXPECT_EQ(Command(SETUP_FULL_SCREEN), FALSE);
    EXPECT_EQ(appSettings.windowed, 0);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, SETUP_16_BIT)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, SETUP_32_BIT)));
}

TEST_F(SetupProcedure, DepthButtonsAndToggles)
{
    LoadSettings();
    Command(SETUP_16_BIT);
    EXPECT_EQ(appSettings.bitsPerPixel, 16);
    Command(SETUP_32_BIT);
    EXPECT_EQ(appSettings.bitsPerPixel, 32);
    Command(SETUP_SHOW_CONFIG);
    EXPECT_EQ(SetupShowSetup(), 0);
    Command(SETUP_SHOW_CONFIG);
    EXPECT_EQ(SetupShowSetup(), 1);
    appSettings.soundOn = 1;
    Command(SETUP_SOUND);
    EXPECT_EQ(appSettings.soundOn, 0);
    Command(SETUP_SOUND);
    EXPECT_EQ(appSettings.soundOn, 1);
}

TEST_F(SetupProcedure, ResultsOfTheMessages)
{
    EXPECT_EQ(SetupDialogProc(dialog, WM_INITDIALOG, 0, 0), TRUE);
    EXPECT_EQ(SetupDialogProc(dialog, WM_PAINT, 0, 0), FALSE);
    EXPECT_EQ(Command(4711), FALSE);
    EXPECT_EQ(Command(SETUP_CANCEL), TRUE);
    EXPECT_EQ(SetupDialogResult(), 2);
    EXPECT_FALSE(IsWindow(dialog));
}
