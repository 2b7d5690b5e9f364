// End-to-end runs of the real zarn binary on the headless backend, in test
// issues made on the spot: the setup step, stored settings, start-up
// failures and the menu.
#include "issue.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace {

const char *const menuConfig = "topic news Latest news\r\n"
                               "topic howto How to\r\n"
                               "news intro.txt Welcome~Issue one\r\n"
                               "howto keys.txt Keys\r\n";

TestIssue MenuIssue(const char *tag)
{
    TestIssue issue = MakeIssue(tag, menuConfig);
    WriteText(issue.directory + "/intro.txt", "Hello <b>reader<br>page one<newpage>page two");
    WriteText(issue.directory + "/keys.txt", "Keys");
    return issue;
}

int Count(const std::string &text, const std::string &what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        count++;
    return count;
}

int FrameCount(const std::string &log)
{
    return Count(log, "\nframe ") + (log.rfind("frame ", 0) == 0 ? 1 : 0);
}

} // namespace

TEST(Setup, ShownOnAFirstRunAndCancelEndsWithNothingStored)
{
    TestIssue issue = MenuIssue("cancel");
    RunResult run = RunZarn(issue, "press 2\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.log.find("dialog 101 shown"), std::string::npos) << run.log;
    EXPECT_EQ(StoredSettings(issue), "");
    // Nothing else started: no loading dialog, no display.
    EXPECT_EQ(run.log.find("dialog 105 shown"), std::string::npos) << run.log;
    EXPECT_EQ(run.output.find("+ loading 3d"), std::string::npos) << run.output;
}

TEST(Setup, StartStoresTheFourValues)
{
    TestIssue issue = MenuIssue("start");
    RunResult run = RunZarn(issue, "press 1001\npress 1010\npress 1012\npress 1\nwait idle\nkey Escape\n");
    EXPECT_EQ(run.exitCode, 0);
    std::string stored = StoredSettings(issue);
    EXPECT_NE(stored.find("Show setup=0"), std::string::npos) << stored;
    EXPECT_NE(stored.find("bpp=32"), std::string::npos) << stored;
    EXPECT_NE(stored.find("windowed=1"), std::string::npos) << stored;
    EXPECT_NE(stored.find("sound=0"), std::string::npos) << stored;
}

TEST(Setup, SkippedWhenStoredOffAndShownForACommandLineWord)
{
    TestIssue issue = MenuIssue("skip");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    RunResult quiet = RunZarn(issue, "wait idle\nkey Escape\n");
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.log.find("dialog 101 shown"), std::string::npos) << quiet.log;
    EXPECT_NE(quiet.log.find("dialog 105 shown"), std::string::npos) << quiet.log;

    RunResult forced = RunZarn(issue, "press 1\nwait idle\nkey Escape\n", "setup");
    EXPECT_EQ(forced.exitCode, 0);
    EXPECT_NE(forced.log.find("dialog 101 shown"), std::string::npos) << forced.log;
    // Show config was checked, so START stores it on again.
    EXPECT_NE(StoredSettings(issue).find("Show setup=1"), std::string::npos) << StoredSettings(issue);
}

TEST(Setup, TrailingBlankIsNoArgument)
{
    TestIssue issue = MenuIssue("blank");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    RunResult run = RunZarn(issue, "wait idle\nkey Escape\n", "''");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.log.find("dialog 101 shown"), std::string::npos) << run.log;
}

TEST(Setup, ProgramPathWithABlankForcesTheDialog)
{
    TestIssue issue = MenuIssue("path");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    std::string folder = issue.directory + "/my games";
    std::filesystem::create_directories(folder);
    std::filesystem::create_symlink(std::string(ZARN_BINARY_DIR) + "/zarn", folder + "/zarn");
    RunResult run = RunZarn(issue, "press 1\nwait idle\nkey Escape\n", "", folder + "/zarn");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.log.find("dialog 101 shown"), std::string::npos) << run.log;
}

TEST(Setup, StoredDepthOf24PassesThrough)
{
    TestIssue issue = MenuIssue("bpp24");
    StoreSettings(issue, "Show setup=1\nbpp=24\nwindowed=1\n");
    RunResult run = RunZarn(issue, "press 1\nwait idle\nkey Escape\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(StoredSettings(issue).find("bpp=24"), std::string::npos) << StoredSettings(issue);
}

TEST(Startup, MissingPictureGivesTheBannerAndEndsQuietly)
{
    TestIssue issue = MenuIssue("nohelp2");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    std::filesystem::remove(issue.directory + "/_help2.jpg");
    RunResult run = RunZarn(issue, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Count(run.log, "messagebox "), 1) << run.log;
    EXPECT_NE(run.log.find("messagebox Error: Zarn EXCEPTION: '- bitmaps not loaded!'\\n"), std::string::npos)
        << run.log;
    // The loader stopped there: no later step ran, no display was made.
    EXPECT_EQ(run.output.find("+ loading 3d"), std::string::npos) << run.output;
    EXPECT_EQ(FrameCount(run.log), 0) << run.log;
}

TEST(Startup, MissingConfigAndBadEffect)
{
    TestIssue issue = MenuIssue("nocfg");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    std::filesystem::remove(issue.directory + "/zarn.cfg");
    RunResult run = RunZarn(issue, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.log.find("Zarn EXCEPTION: '- config not loaded!'"), std::string::npos) << run.log;

    TestIssue bad = MenuIssue("badsfx");
    StoreSettings(bad, "Show setup=0\nwindowed=1\n");
    WriteText(bad.directory + "/page.wav", "not a wave");
    RunResult sfx = RunZarn(bad, "");
    EXPECT_NE(sfx.log.find("Zarn EXCEPTION: '- error loading sfx! (samples have to be 8-bit mono wav)'"),
              std::string::npos)
        << sfx.log;

    // Without sound no effect is opened, so the broken one does no harm.
    StoreSettings(bad, "Show setup=1\nwindowed=1\n");
    RunResult silent = RunZarn(bad, "press 1012\npress 1\nwait idle\nkey Escape\n");
    EXPECT_EQ(silent.exitCode, 0);
    EXPECT_EQ(silent.log.find("messagebox"), std::string::npos) << silent.log;
    EXPECT_NE(silent.output.find("+ loading 3d\n"), std::string::npos) << silent.output;
}

TEST(Menu, EveryKeyRedrawsOnceAndEscEndsInOrder)
{
    TestIssue issue = MenuIssue("menukeys");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    std::string p = issue.directory + "/";
    RunResult run = RunZarn(issue, "wait idle\nsave " + p + "first.png\n"
                                   "key Up\nwait idle\nsave " + p + "up.png\n"
                                   "key Down\nwait idle\nsave " + p + "down.png\n"
                                   "key Down\nwait idle\nsave " + p + "down2.png\n"
                                   "key Space\nwait idle\n"
                                   "keys 8 F1\nwait idle\n"
                                   "key Escape\n");
    EXPECT_EQ(run.exitCode, 0);
    // The first frame, then one per key: Up, Down, Down, Space and eight F1.
    EXPECT_GE(FrameCount(run.log), 1 + 4 + 8) << run.log; // the outro presents frames after the menu's
    // Up on the first topic and Down on the last change nothing.
    EXPECT_EQ(ReadText(p + "first.png"), ReadText(p + "up.png"));
    EXPECT_NE(ReadText(p + "first.png"), ReadText(p + "down.png"));
    EXPECT_EQ(ReadText(p + "down.png"), ReadText(p + "down2.png"));
    // The shutdown ran to its end.
    EXPECT_NE(run.output.find("+ loading 3d\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << run.output;
}

TEST(Menu, ErrorInTheViewerUnwindsThroughQuitAndShutsDownInOrder)
{
    TestIssue issue = MenuIssue("noarticle");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    std::filesystem::remove(issue.directory + "/intro.txt");
    RunResult run = RunZarn(issue, "wait idle\nkey Return\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Count(run.log, "messagebox "), 1) << run.log;
    EXPECT_NE(run.log.find("messagebox Error: Zarn EXCEPTION: 'Can't load AUA!'\\n"), std::string::npos) << run.log;
    // Loading finished before, the stackheap closed last.
    size_t loaded = run.output.find("+ loading 3d\n");
    size_t closed = run.output.find("+ stackheap closed. (emulated)\n");
    ASSERT_NE(loaded, std::string::npos) << run.output;
    ASSERT_NE(closed, std::string::npos) << run.output;
    EXPECT_LT(loaded, closed);
    EXPECT_EQ(run.output.substr(closed), "+ stackheap closed. (emulated)\n");
}

TEST(Startup, WholeRunPrintsExactlyItsLinesInOrder)
{
    TestIssue issue = MenuIssue("wholerun");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    RunResult run = RunZarn(issue, "wait idle\nkey Escape\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.log.find("messagebox"), std::string::npos) << run.log;
    // The outro leaves the cloth's second layer in the texture cache on purpose.
    // (No std::regex here: GCC 12 warns inside it under the sanitizer build.)
    const std::string head = "+ loading 3d\n- still textures in cache: {hell2[";
    const std::string tail = "] }\n+ stackheap closed. (emulated)\n";
    bool shape = run.output.size() > head.size() + tail.size() && run.output.compare(0, head.size(), head) == 0 &&
                 run.output.compare(run.output.size() - tail.size(), tail.size(), tail) == 0;
    std::string count = shape ? run.output.substr(head.size(), run.output.size() - head.size() - tail.size()) : "";
    EXPECT_TRUE(shape && count.find_first_not_of("0123456789") == std::string::npos)
        << run.output;
    EXPECT_GT(FrameCount(run.log), 1) << run.log;
}

TEST(Startup, MissingBallEndsAfterTheLoaderLineWithoutABox)
{
    TestIssue issue = MenuIssue("noball");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    std::filesystem::remove(issue.directory + "/ball.v3d");
    RunResult run = RunZarn(issue, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "+ loading 3d\n- file not found!\n");
    EXPECT_EQ(run.log.find("messagebox"), std::string::npos) << run.log;
    EXPECT_EQ(FrameCount(run.log), 0) << run.log;
}

TEST(Startup, EngineThatCannotStartGivesItsBanner)
{
    TestIssue issue = MenuIssue("nolens");
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    std::filesystem::remove(issue.directory + "/lens.bmp");
    RunResult run = RunZarn(issue, "");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Count(run.log, "messagebox "), 1) << run.log;
    EXPECT_NE(run.log.find("messagebox Error: Zarn EXCEPTION: '- can't init vx3d!'\\n"), std::string::npos)
        << run.log;
    // Step 4 stopped the loader: no later step ran and no display was made.
    EXPECT_EQ(run.output.find("+ loading 3d"), std::string::npos) << run.output;
    EXPECT_EQ(FrameCount(run.log), 0) << run.log;
}

TEST(Sound, OnlyAStoredOneOpensTheAudioOutput)
{
    TestIssue issue = MenuIssue("soundvalue");
    StoreSettings(issue, "Show setup=0\nwindowed=1\nsound=1\n");
    RunResult real = RunZarn(issue, "wait idle\nkey Escape\n");
    EXPECT_EQ(real.exitCode, 0);
    EXPECT_NE(real.log.find("audio open 44100"), std::string::npos) << real.log;

    for (const char *value : {"2", "0", "-1"}) {
        StoreSettings(issue, std::string("Show setup=0\nwindowed=1\nsound=") + value + "\n");
        RunResult run = RunZarn(issue, "wait idle\nkey Escape\n");
        EXPECT_EQ(run.exitCode, 0) << "sound=" << value;
        EXPECT_EQ(run.log.find("audio "), std::string::npos) << "sound=" << value << "\n" << run.log;
        EXPECT_EQ(run.log.find("messagebox"), std::string::npos) << "sound=" << value << "\n" << run.log;
        // The run went on to its end on the silent device.
        EXPECT_NE(run.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << run.output;
    }
}

TEST(Sound, BusyOutputAsksAndOkRetries)
{
    TestIssue issue = MenuIssue("busyok");
    StoreSettings(issue, "Show setup=1\nwindowed=1\nsound=1\n");
    RunResult run = RunZarn(issue, "answer ok\nanswer ok\npress 1\nwait idle\nkey Escape\n", "", "",
                            "ZARN_HEADLESS_AUDIO=busy:2");
    EXPECT_EQ(run.exitCode, 0);
    const std::string box = "messagebox Error: Sounddevice in use.\\nClick OK to retry or CANCEL to start\\n"
                            "without sound.\n";
    EXPECT_EQ(Count(run.log, box), 2) << run.log;
    EXPECT_EQ(Count(run.log, "audio busy\n"), 2) << run.log;
    // The third attempt got the output, before anything was loaded.
    size_t opened = run.log.find("audio open 44100");
    ASSERT_NE(opened, std::string::npos) << run.log;
    EXPECT_LT(run.log.rfind(box), opened);
    EXPECT_LT(opened, run.log.find("dialog 105 shown")) << run.log;
    EXPECT_NE(run.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << run.output;
}

TEST(Sound, BusyOutputCancelGoesSilentAndMissingOutputAsksNothing)
{
    TestIssue issue = MenuIssue("busycancel");
    StoreSettings(issue, "Show setup=1\nwindowed=1\nsound=1\n");
    RunResult cancel = RunZarn(issue, "answer cancel\npress 1\nwait idle\nkey Escape\n", "", "",
                               "ZARN_HEADLESS_AUDIO=busy");
    EXPECT_EQ(cancel.exitCode, 0);
    EXPECT_EQ(Count(cancel.log, "messagebox Error: Sounddevice in use."), 1) << cancel.log;
    EXPECT_EQ(Count(cancel.log, "audio busy\n"), 1) << cancel.log;
    EXPECT_EQ(cancel.log.find("audio open"), std::string::npos) << cancel.log;
    // No further box: the silent device started and the run went on.
    EXPECT_EQ(Count(cancel.log, "messagebox"), 1) << cancel.log;
    EXPECT_GT(FrameCount(cancel.log), 0) << cancel.log;
    EXPECT_NE(cancel.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << cancel.output;

    // No output at all: detection moves on to the silent device unasked.
    RunResult none = RunZarn(issue, "press 1\nwait idle\nkey Escape\n", "", "", "ZARN_HEADLESS_AUDIO=none");
    EXPECT_EQ(none.exitCode, 0);
    EXPECT_EQ(none.log.find("messagebox"), std::string::npos) << none.log;
    EXPECT_EQ(none.log.find("audio "), std::string::npos) << none.log;
    EXPECT_NE(none.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << none.output;
}

TEST(Startup, WithoutADisplayTheReaderSaysSoAndEnds)
{
    TestIssue issue = MenuIssue("nodisplay");
    std::string errors = issue.directory + "/run.err";
    std::string command = "cd '" + issue.directory + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER" +
                          " -u ZARN_PLATFORM XDG_CONFIG_HOME='" + issue.configHome + "' timeout 3 '" +
                          ZARN_BINARY_DIR + "/zarn' >/dev/null 2>'" + errors + "'";
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_LT(seconds, 1.0);
    EXPECT_EQ(ReadText(errors), "zarn: no display to open a window on (set DISPLAY, or use ZARN_PLATFORM=headless)\n");
    // It ended before the setup step: nothing was stored.
    EXPECT_EQ(StoredSettings(issue), "");
}
