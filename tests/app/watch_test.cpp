// The live preview (zarn --watch) run end to end: the real zarn binary on
// the headless backend, whose script saves and deletes the issue's files
// while the reader shows them (the backend polls for the changes).
#include "issue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char *const watchConfig = "topic news Latest news\r\n"
                                "topic howto How to\r\n"
                                "news first.txt First~one\r\n"
                                "news second.txt Second~two\r\n"
                                "howto keys.txt Keys\r\n";

const char *const firstText = "<size 30>page one<newpage>page two<newpage>page three";

TestIssue WatchIssue(const char *tag)
{
    TestIssue issue = MakeIssue(tag, watchConfig);
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    WriteText(issue.directory + "/first.txt", firstText);
    WriteText(issue.directory + "/second.txt", "Second article");
    WriteText(issue.directory + "/keys.txt", "Keys");
    return issue;
}

std::string Save(const TestIssue &issue, const std::string &name)
{
    return "save " + issue.directory + "/" + name + ".png\n";
}

// Writes the new text beside the issue (under a name the reader does not
// know) and a script line that saves it over name the way an editor does.
std::string SaveOver(const TestIssue &issue, const std::string &name, const std::string &text)
{
    static int count = 0;
    std::string draft = issue.directory + "/draft" + std::to_string(++count) + ".new";
    WriteText(draft, text);
    return "copy " + draft + " " + issue.directory + "/" + name + "\n";
}

std::vector<uint32_t> Pixels(const TestIssue &issue, const std::string &name)
{
    int width = 0, height = 0;
    return ReadPng(issue.directory + "/" + name + ".png", &width, &height);
}

// Pixels of the 640-wide screen that are strongly red: the problem band.
int RedPixels(const std::vector<uint32_t> &pixels)
{
    int count = 0;
    for (uint32_t p : pixels) {
        int r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
        if (r > 120 && g < 60 && b < 60)
            count++;
    }
    return count;
}

bool HasBox(const std::string &log)
{
    return log.find("messagebox") != std::string::npos;
}

const char *const openSecondPage = "wait idle\nkey Return\nwait settled\nkey Right\nwait settled\n";

// The reader run with the live preview: it must end as usual without a box.
RunResult Preview(const TestIssue &issue, const std::string &script)
{
    RunResult run = RunZarn(issue, script, "--watch");
    EXPECT_EQ(run.exitCode, 0) << run.output << run.log;
    EXPECT_FALSE(HasBox(run.log)) << run.log;
    return run;
}

// What a fresh reader without the preview shows after steps, from the
// issue's files as they are now.
std::vector<uint32_t> FreshScreen(const TestIssue &issue, const std::string &steps, const char *leave = "key X\n")
{
    RunResult fresh = RunZarn(issue, steps + Save(issue, "reference") + leave);
    EXPECT_FALSE(HasBox(fresh.log)) << fresh.log;
    return Pixels(issue, "reference");
}

// The screens the preview saved as "before" and "after" a save differ, and
// "after" is what a fresh reader shows after steps.
void ExpectShownAnew(const TestIssue &issue, const RunResult &run, const std::string &steps)
{
    std::vector<uint32_t> after = Pixels(issue, "after");
    ASSERT_FALSE(after.empty()) << run.log;
    EXPECT_NE(Pixels(issue, "before"), after);
    EXPECT_EQ(after, FreshScreen(issue, steps));
}

} // namespace

TEST(Watch, AnArticleSavedWithANewWordShowsItOnTheSamePage)
{
    TestIssue issue = WatchIssue("newword");
    const std::string changed = "<size 30>page one<newpage>page two with Zebra<newpage>page three";
    // The same text saved in a folder the reader does not look in changes nothing.
    std::filesystem::create_directories(issue.directory + "/drafts");
    RunResult run = Preview(issue, openSecondPage + Save(issue, "before") + SaveOver(issue, "drafts/first.txt", changed) +
                                      SaveOver(issue, "first.txt", changed) + "wait settled\n" + Save(issue, "after") +
                                      "key X\n");
    EXPECT_EQ(run.output.find("drafts/first.txt"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("+ watching "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("+ reloaded first.txt\n"), std::string::npos) << run.output;
    // The draft beside the issue is no file of it: not reloaded.
    EXPECT_EQ(run.output.find("reloaded draft"), std::string::npos) << run.output;
    // The same page of the article as a fresh reader shows it from the saved file.
    ExpectShownAnew(issue, run, openSecondPage);
}

TEST(Watch, APictureAndAFontSavedAnewAreUsedOnTheSamePage)
{
    TestIssue issue = WatchIssue("picture");
    // The picture lives in one of the loose-file folders.
    std::filesystem::create_directories(issue.directory + "/misc");
    WriteBmp(issue.directory + "/misc/pic.bmp", 40, 30, 0x20C020);
    WriteText(issue.directory + "/first.txt", "<size 30>page one<newpage>page two<imagexy pic.bmp 300 80>");
    std::string bmp = issue.directory + "/drafts.bmp";
    WriteBmp(bmp, 40, 30, 0xE0E020);
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
    RunResult run = Preview(issue, openSecondPage + Save(issue, "before") + "copy " + bmp + " " + issue.directory +
                                      "/misc/pic.bmp\ncopy " + font + " " + issue.directory + "/verdana.TTF\nwait settled\n" +
                                      Save(issue, "after") + "key X\n");
    EXPECT_NE(run.output.find("+ reloaded misc/pic.bmp\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("+ reloaded verdana.TTF\n"), std::string::npos) << run.output;
    ExpectShownAnew(issue, run, openSecondPage);
}

TEST(Watch, AnArchiveWrittenAnewIsReadAgain)
{
    TestIssue issue = WatchIssue("archive");
    // The first article lives in zarn.dat only; a new archive brings its new text.
    const std::string tool = std::string(ZARN_BINARY_DIR) + "/tools/zarn-tool pack -o ";
    const std::string member = issue.directory + "/member/first.txt";
    std::filesystem::create_directories(issue.directory + "/member");
    WriteText(member, "<size 30>page one<newpage>page two from the first archive");
    ASSERT_EQ(std::system((tool + issue.directory + "/zarn.dat " + member + " >/dev/null").c_str()), 0);
    WriteText(member, "<size 30>page one<newpage>page two from the second archive");
    ASSERT_EQ(std::system((tool + issue.directory + "/member/new.dat " + member + " >/dev/null").c_str()), 0);
    std::remove((issue.directory + "/first.txt").c_str());

    RunResult run = Preview(issue, openSecondPage + Save(issue, "before") + "copy " + issue.directory +
                                      "/member/new.dat " + issue.directory + "/zarn.dat\nwait settled\n" +
                                      Save(issue, "after") + "key X\n");
    EXPECT_NE(run.output.find("+ reloaded zarn.dat\n"), std::string::npos) << run.output;
    // A file in a folder the reader does not look in is no file of the issue.
    EXPECT_EQ(run.output.find("new.dat"), std::string::npos) << run.output;
    ExpectShownAnew(issue, run, openSecondPage);
}

TEST(Watch, ABrokenTagIsDrawnOnThePageAndTheNextSaveRecovers)
{
    TestIssue issue = WatchIssue("broken");
    const std::string broken = "<size 30>page one<newpage>page two <bogus> here<newpage>page three";
    const std::string fixed = "<size 30>page one<newpage>page two fixed<newpage>page three";
    RunResult run = Preview(issue, openSecondPage + Save(issue, "good") + SaveOver(issue, "first.txt", broken) +
                                      "wait settled\n" + Save(issue, "broken") + "key Right\nwait settled\n" +
                                      Save(issue, "third") + "key Left\nwait settled\n" +
                                      SaveOver(issue, "first.txt", fixed) + "wait settled\n" + Save(issue, "fixed") +
                                      "key Escape\nwait idle\nkey Escape\n");
    // Said once with the place of the tag, though the page was laid out again.
    const std::string problem = "- first.txt:1:36: unknown tag 'bogus'!\n";
    size_t said = run.output.find(problem);
    EXPECT_NE(said, std::string::npos) << run.output;
    EXPECT_EQ(run.output.find(problem, said + 1), std::string::npos) << run.output;

    std::vector<uint32_t> good = Pixels(issue, "good"), shown = Pixels(issue, "broken");
    std::vector<uint32_t> third = Pixels(issue, "third"), fixedShown = Pixels(issue, "fixed");
    ASSERT_FALSE(shown.empty()) << run.log;
    EXPECT_EQ(RedPixels(good), 0);
    EXPECT_GT(RedPixels(shown), 5000) << "the band across the text area";
    // The problem belongs to the page it is on, not to the next one.
    EXPECT_EQ(RedPixels(third), 0);
    EXPECT_EQ(RedPixels(fixedShown), 0);

    EXPECT_EQ(fixedShown, FreshScreen(issue, openSecondPage));
}

TEST(Watch, ATagLeftOpenKeepsThePageTheFixReturnsTo)
{
    TestIssue issue = WatchIssue("unclosed");
    const std::string unclosed = "<size 30>page one<newpage>page two <b";
    const std::string fixed = "<size 30>page one<newpage>page two again<newpage>page three";
    RunResult run = Preview(issue, openSecondPage + SaveOver(issue, "first.txt", unclosed) + "wait settled\n" +
                                      Save(issue, "open") + SaveOver(issue, "first.txt", fixed) + "wait settled\n" +
                                      Save(issue, "fixed") + "key X\n");
    EXPECT_NE(run.output.find("- first.txt:1:36: tag not closed!\n"), std::string::npos) << run.output;
    std::vector<uint32_t> shown = Pixels(issue, "open");
    ASSERT_FALSE(shown.empty()) << run.log;
    EXPECT_GT(RedPixels(shown), 5000);
    // Page two again, not the first page the article without pages was left on.
    EXPECT_EQ(Pixels(issue, "fixed"), FreshScreen(issue, openSecondPage));
}

TEST(Watch, WithoutThePreviewABrokenTagStillEndsTheReaderWithItsBox)
{
    TestIssue issue = WatchIssue("fatal");
    WriteText(issue.directory + "/first.txt", "<size 30>page one <bogus>");
    RunResult run = RunZarn(issue, "wait idle\nkey Return\nwait settled\nkey X\n");
    EXPECT_NE(run.log.find("messagebox"), std::string::npos) << run.log;
    EXPECT_NE(run.log.find("unknown tag 'bogus'!"), std::string::npos) << run.log;
    EXPECT_EQ(run.output.find("+ watching"), std::string::npos) << run.output;
}

TEST(Watch, ADeletedArticleReturnsToTheMenuWithoutABox)
{
    TestIssue issue = WatchIssue("deleted");
    RunResult run = Preview(issue, "wait idle\n" + Save(issue, "menu") + "key Return\nwait settled\n" +
                                      "remove " + issue.directory + "/first.txt\nwait idle\n" +
                                      Save(issue, "back") + "key Escape\n");
    EXPECT_NE(run.output.find("- first.txt was removed\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("back to the menu"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("+ reloaded first.txt"), std::string::npos) << run.output;
    std::vector<uint32_t> menu = Pixels(issue, "menu");
    ASSERT_FALSE(menu.empty()) << run.log;
    EXPECT_EQ(Pixels(issue, "back"), menu) << "the menu with the same topic, no problem drawn";
}

TEST(Watch, AnArticleNotYetWrittenShowsWhyUntilItsFileIsSaved)
{
    TestIssue issue = WatchIssue("unwritten");
    WriteText(issue.directory + "/zarn.cfg", ReadText(issue.directory + "/zarn.cfg") + "howto later.txt Later~soon\r\n");
    const std::string openIt = "wait idle\nkey Down\nwait idle\nkey Return\nwait settled\nkey Down\nwait settled\n";
    RunResult run = Preview(issue, openIt + Save(issue, "unwritten") +
                                      SaveOver(issue, "later.txt", "<size 30>Written at last") + "wait settled\n" +
                                      Save(issue, "written") + "key X\n");
    EXPECT_NE(run.output.find("- later.txt: Can't load AUA!\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("+ reloaded later.txt\n"), std::string::npos) << run.output;

    std::vector<uint32_t> unwritten = Pixels(issue, "unwritten");
    ASSERT_FALSE(unwritten.empty()) << run.log;
    EXPECT_GT(RedPixels(unwritten), 5000);
    EXPECT_EQ(Pixels(issue, "written"), FreshScreen(issue, openIt));
}

TEST(Watch, ATopicWithoutArticlesSaysSoOnItsPage)
{
    TestIssue issue = WatchIssue("empty");
    WriteText(issue.directory + "/zarn.cfg", ReadText(issue.directory + "/zarn.cfg") + "topic empty Nothing yet\r\n");
    RunResult run = Preview(issue, "wait idle\nkeys 2 Down\nwait idle\nkey Return\nwait settled\n" +
                                      Save(issue, "empty") + "key Escape\nwait idle\nkey Escape\n");
    EXPECT_NE(run.output.find("- Topic index not found!\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Can't load AUA!"), std::string::npos) << run.output;
    EXPECT_GT(RedPixels(Pixels(issue, "empty")), 5000);
}

TEST(Watch, ATopicAddedToZarnCfgAppearsInTheMenu)
{
    TestIssue issue = WatchIssue("config");
    std::string config = ReadText(issue.directory + "/zarn.cfg") + "topic extra Brand new\r\nextra keys.txt More\r\n";
    RunResult run = Preview(issue, "wait idle\nkey Down\nwait idle\n" + Save(issue, "before") +
                                      SaveOver(issue, "zarn.cfg", config) + "wait idle\n" + Save(issue, "after") +
                                      "key Escape\n");
    EXPECT_NE(run.output.find("+ reloaded zarn.cfg\n"), std::string::npos) << run.output;
    // A fresh reader on the new zarn.cfg with the second topic selected draws the same menu.
    ExpectShownAnew(issue, run, "wait idle\nkey Down\nwait idle\n");
}
