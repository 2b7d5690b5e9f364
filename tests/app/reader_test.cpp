// The reader's comforts run whole on the headless backend: R and the
// positions file (with a damaged, a foreign and an unwritable one), the
// search line in the menu and in an article, the help overlay, F11 and
// Alt+Enter, F12 and M.
#include "app/help.h"
#include "app/positions.h"
#include "app/search.h"

#include "issue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char *const readerConfig = "topic news Latest news\r\n"
                                 "topic howto How to\r\n"
                                 "news first.txt First~one\r\n"
                                 "news second.txt Second~two\r\n"
                                 "howto third.txt Third~three\r\n"
                                 "howto fourth.txt Fourth~four\r\n";

// Pages that tell each other apart; "zebra" twice on the third article's
// second page, once on the first article's last page, nowhere else. No text
// is white, so that every pixel of a lit rectangle changes.
TestIssue ReaderIssue(const char *tag)
{
    TestIssue issue = MakeIssue(tag, readerConfig);
    StoreSettings(issue, "Show setup=0\nwindowed=1\nsound=1\n");
    const std::string start = "<font verdana><color 230 230 230><size 20>";
    WriteText(issue.directory + "/first.txt", start + "First page<newpage>Second page<newpage>Third page with a Zebra");
    WriteText(issue.directory + "/second.txt", start + "Another article");
    WriteText(issue.directory + "/third.txt", start + "Third article<newpage><size 14>A zebra, and "
                                                      "<color 255 200 0>another ZEBRA<color 230 230 230> here."
                                                      "<newpage>The end");
    WriteText(issue.directory + "/fourth.txt", start + "Fourth, page one<newpage><color 200 255 200>Fourth, page two"
                                                       "<newpage>Fourth, page three<newpage>Fourth, page four");
    return issue;
}

std::string Save(const TestIssue &issue, const std::string &name)
{
    return "save " + issue.directory + "/" + name + ".png\n";
}

std::vector<uint32_t> Frame(const TestIssue &issue, const std::string &name)
{
    int width = 0, height = 0;
    std::vector<uint32_t> pixels = ReadPng(issue.directory + "/" + name + ".png", &width, &height);
    return width == 640 && height == 480 ? pixels : std::vector<uint32_t>();
}

// Pixels that differ, leaving out the clock (it shows the time of the last
// composition, which two runs need not share).
int Differing(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b, int fromRow = 0)
{
    if (a.size() != 640 * 480 || b.size() != 640 * 480)
        return -1;
    int count = 0;
    for (int y = fromRow; y < 480; y++)
        for (int x = 0; x < 640; x++)
            if (!(y >= 420 && x >= 600) && a[y * 640 + x] != b[y * 640 + x])
                count++;
    return count;
}

uint32_t Lit(uint32_t pixel)
{
    auto up = [](uint32_t channel, uint32_t amount) { return channel + amount > 255 ? 255 : channel + amount; };
    return up(pixel >> 16 & 255, 40) << 16 | up(pixel >> 8 & 255, 50) << 8 | up(pixel & 255, 70);
}

// How lit compares with plain below the top bar: every pixel either equal
// or plain lit by (40, 50, 70); the lit ones counted as regions (4-connected).
// -1 when some pixel is neither.
int LitRegions(const std::vector<uint32_t> &lit, const std::vector<uint32_t> &plain)
{
    if (lit.size() != 640 * 480 || plain.size() != 640 * 480)
        return -1;
    std::vector<int> mark(640 * 480, 0);
    for (int y = 20; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            int i = y * 640 + x;
            if (lit[i] == plain[i] || (y >= 420 && x >= 600)) // the clock aside
                continue;
            if (lit[i] != Lit(plain[i]))
                return -1;
            mark[i] = 1;
        }
    int regions = 0;
    std::vector<int> stack;
    for (int start = 0; start < 640 * 480; start++) {
        if (mark[start] != 1)
            continue;
        regions++;
        stack.assign(1, start);
        mark[start] = 2;
        while (!stack.empty()) {
            int i = stack.back();
            stack.pop_back();
            int x = i % 640, y = i / 640;
            const int next[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
            for (const auto &n : next)
                if (n[0] >= 0 && n[0] < 640 && n[1] >= 0 && n[1] < 480 && mark[n[1] * 640 + n[0]] == 1) {
                    mark[n[1] * 640 + n[0]] = 2;
                    stack.push_back(n[1] * 640 + n[0]);
                }
        }
    }
    return regions;
}

std::string PositionsPath(const TestIssue &issue)
{
    return issue.stateHome + "/zarn/positions";
}

std::string Canonical(const TestIssue &issue)
{
    return fs::canonical(issue.directory).string();
}

int Count(const std::string &text, const std::string &what)
{
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        count++;
    return count;
}

// The reference screens, reached with the Part's keys: the second topic's
// second article, page 2 (from 0), and the third article's second page.
std::string ToFourthPage2(const TestIssue &issue, const std::string &name)
{
    return "wait idle\nkey Down\nwait idle\nkey Return\nwait settled\nkey Down\nwait settled\nkey Right\nwait settled\n"
           "key Right\nwait settled\n" +
           Save(issue, name);
}

} // namespace

// [R and the positions file] ------------------------------------------------

TEST(Resume, RAfterAnEarlierRunOpensExactlyThatPage)
{
    TestIssue issue = ReaderIssue("resume");
    RunResult first = RunZarn(issue, "wait idle\n" + Save(issue, "menu1") + ToFourthPage2(issue, "read") +
                                         "key Escape\nwait idle\nkey Escape\n");
    ASSERT_EQ(first.exitCode, 0);
    EXPECT_EQ(first.output.find("- reading"), std::string::npos) << first.output;
    EXPECT_EQ(ReadText(PositionsPath(issue)), "zarn positions 1\nhowto 1 2 " + Canonical(issue) + "\n");

    // A later run starts in the menu at the first topic; R opens the page.
    ChildRun second = RunChild(issue, "wait idle\n" + Save(issue, "menu2") + "key R\nwait settled\n" +
                                          Save(issue, "resumed") + "key Escape\nwait idle\n" +
                                          Save(issue, "menu3") + "key Escape\n");
    ASSERT_EQ(second.exitCode, 0);
    EXPECT_TRUE(second.boxes.empty()) << second.log;
    EXPECT_EQ(Differing(Frame(issue, "menu2"), Frame(issue, "menu1")), 0);
    EXPECT_EQ(Differing(Frame(issue, "resumed"), Frame(issue, "read")), 0);
    EXPECT_TRUE(second.audible) << "the article effect, and the back effect on Esc";
    // The menu comes back with the page's topic selected.
    RunResult selected = RunZarn(issue, "wait idle\nkey Down\nwait idle\n" + Save(issue, "menu-howto") + "key Escape\n");
    EXPECT_EQ(Differing(Frame(issue, "menu3"), Frame(issue, "menu-howto")), 0);
}

TEST(Resume, WithoutAStoredPositionRDoesNothingButRedraw)
{
    TestIssue issue = ReaderIssue("noresume");
    RunResult run = RunZarn(issue, "wait idle\n" + Save(issue, "before") + "key R\nwait idle\n" +
                                       Save(issue, "after") + "key Escape\n");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(Differing(Frame(issue, "before"), Frame(issue, "after")), 0);
    EXPECT_FALSE(FileExists(PositionsPath(issue))) << "nothing was read, nothing is written";
    EXPECT_EQ(run.output.find("- reading"), std::string::npos) << run.output;
}

TEST(Resume, DamagedForeignAndStaleFilesAreIgnoredNeverFatal)
{
    TestIssue issue = ReaderIssue("damaged");
    fs::create_directories(issue.stateHome + "/zarn");
    const std::string path = PositionsPath(issue);
    const std::string read = "wait idle\nkey Return\nwait settled\nkey Right\nwait settled\nkey Escape\nwait idle\n";

    // Not a positions file: said so, R does nothing, and reading replaces it.
    WriteText(path, std::string("\x89PNG\r\n\x1a\n\0\0garbage", 16));
    RunResult foreign = RunZarn(issue, "wait idle\n" + Save(issue, "menu") + "key R\nwait idle\n" +
                                           Save(issue, "menu-r") + read + "key Escape\n");
    EXPECT_EQ(foreign.exitCode, 0);
    EXPECT_NE(foreign.output.find("- reading positions ignored: '" + path + "' is not a positions file\n"),
              std::string::npos)
        << foreign.output;
    EXPECT_EQ(Differing(Frame(issue, "menu"), Frame(issue, "menu-r")), 0);
    EXPECT_EQ(ReadText(path), "zarn positions 1\nnews 0 1 " + Canonical(issue) + "\n");

    // A damaged line: the whole file is ignored.
    WriteText(path, "zarn positions 1\nnews 0 1 " + Canonical(issue) + "\nnews x 2 /elsewhere\n");
    RunResult damaged = RunZarn(issue, "wait idle\nkey R\nwait idle\n" + Save(issue, "damaged-r") + "key Escape\n");
    EXPECT_EQ(damaged.exitCode, 0);
    EXPECT_NE(damaged.output.find("- reading positions ignored: '" + path + "' is damaged (line 3)\n"),
              std::string::npos)
        << damaged.output;
    EXPECT_EQ(Differing(Frame(issue, "menu"), Frame(issue, "damaged-r")), 0);

    // A line for a directory that is gone and a cut last line are harmless
    // once the file is whole: the issue's own line is found, the other kept.
    WriteText(path, "zarn positions 1\nhowto 0 1 /no/such/issue\nnews 0 1 " + Canonical(issue) + "\n");
    RunResult stale = RunZarn(issue, "wait idle\nkey R\nwait settled\n" + Save(issue, "stale-r") + "key Escape\nwait idle\nkey Escape\n");
    EXPECT_EQ(stale.exitCode, 0);
    EXPECT_EQ(stale.output.find("- reading"), std::string::npos) << stale.output;
    RunResult reference = RunZarn(issue, "wait idle\nkey Return\nwait settled\nkey Right\nwait settled\n" +
                                             Save(issue, "first-p1") + "key X\n");
    EXPECT_EQ(Differing(Frame(issue, "stale-r"), Frame(issue, "first-p1")), 0);
    EXPECT_EQ(ReadText(path), "zarn positions 1\nnews 0 1 " + Canonical(issue) + "\nhowto 0 1 /no/such/issue\n");
    WriteText(path, "zarn positions 1\nnews 0 1 " + Canonical(issue));
    RunResult cut = RunZarn(issue, "wait idle\nkey Escape\n");
    EXPECT_NE(cut.output.find("is damaged (line 2)"), std::string::npos) << cut.output;

    // A stored article the issue no longer has: R does nothing.
    WriteText(path, "zarn positions 1\nnews 7 0 " + Canonical(issue) + "\n");
    RunResult gone = RunZarn(issue, "wait idle\nkey R\nwait idle\n" + Save(issue, "gone-r") + "key Escape\n");
    EXPECT_EQ(Differing(Frame(issue, "menu"), Frame(issue, "gone-r")), 0);
}

TEST(Resume, AStateFolderThatCannotBeWrittenCostsOnlyAWarning)
{
    TestIssue issue = ReaderIssue("unwritable");
    // A file stands where the state folder should be made (root may write
    // into any folder, but never below a file).
    WriteText(issue.stateHome, "in the way");
    RunResult run = RunZarn(issue, "wait idle\nkey Return\nwait settled\nkey Escape\nwait idle\nkey Return\nwait settled\n"
                                   "key Escape\nwait idle\nkey Escape\n");
    EXPECT_EQ(run.exitCode, 0);
    // The line says why: here a file stands where a folder is needed.
    EXPECT_EQ(Count(run.output, "- reading position not saved: cannot write '" + PositionsPath(issue) +
                                    "' (cannot make the directories on the way: Not a directory)\n"),
              1)
        << run.output;
    EXPECT_NE(run.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << run.output;
    EXPECT_EQ(run.log.find("messagebox"), std::string::npos) << run.log;
}

// [Search] -------------------------------------------------------------------

TEST(Search, FromTheMenuToALaterArticlesPageWithEveryMatchLit)
{
    TestIssue issue = ReaderIssue("search");
    // The reference: the third article's second page reached by keys.
    RunResult reference = RunZarn(issue, "wait idle\nkey Down\nwait idle\nkey Return\nwait settled\nkey Right\nwait settled\n" +
                                             Save(issue, "plain") + "key X\n");
    ASSERT_EQ(reference.exitCode, 0);
    RunResult run = RunZarn(issue, "wait idle\nkey Down\nwait idle\n" + Save(issue, "menu") + "type /ZeBrA\nwait idle\n" +
                                       Save(issue, "typed") + "key Return\nwait settled\n" + Save(issue, "found") +
                                       // Enter again: the next match, past the end to the first article.
                                       "key Return\nwait settled\n" + Save(issue, "wrapped") +
                                       "key Return\nwait settled\n" + Save(issue, "again") +
                                       "key Escape\nwait settled\n" + Save(issue, "closed") + "key X\n");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.log.find("messagebox") == std::string::npos) << run.log;
    // The line is drawn over the top bar only.
    EXPECT_GT(Differing(Frame(issue, "typed"), Frame(issue, "menu")), 100);
    EXPECT_EQ(Differing(Frame(issue, "typed"), Frame(issue, "menu"), 20), 0);
    // Found from the selected topic on: the third article's second page,
    // its two matches lit, whatever their case.
    EXPECT_EQ(LitRegions(Frame(issue, "found"), Frame(issue, "plain")), 2);
    RunResult firstPage3 = RunZarn(issue, "wait idle\nkey Return\nwait settled\nkey Right\nwait settled\nkey Right\nwait settled\n" +
                                              Save(issue, "first-p2") + "key X\n");
    EXPECT_EQ(LitRegions(Frame(issue, "wrapped"), Frame(issue, "first-p2")), 1);
    EXPECT_EQ(LitRegions(Frame(issue, "again"), Frame(issue, "plain")), 2);
    // Esc closes the line and puts out the matches; the page stays.
    EXPECT_EQ(Differing(Frame(issue, "closed"), Frame(issue, "plain")), 0);
}

TEST(Search, InAnArticleAndWhenNothingMatches)
{
    TestIssue issue = ReaderIssue("nomatch");
    std::string toEnd = "wait idle\nkey Down\nwait idle\nkey Return\nwait settled\nkey Right\nwait settled\nkey Right\nwait settled\n";
    RunResult run = RunZarn(issue, toEnd + Save(issue, "end-page") + "key Ctrl+F\nwait settled\n" + Save(issue, "open") +
                                       "type quagga\nwait settled\nkey Return\nwait settled\n" + Save(issue, "none") +
                                       // "end" stands on this page alone: found here again, lit in place.
                                       "keys 6 Backspace\ntype end\nwait settled\n" + Save(issue, "typed") +
                                       "key Return\nwait settled\n" + Save(issue, "here") + "key Escape\nwait settled\n" +
                                       Save(issue, "closed") + "key Escape\nwait idle\n" + Save(issue, "menu") +
                                       "key Escape\n");
    ASSERT_EQ(run.exitCode, 0);
    // Ctrl+F in an article opens the line over the top bar.
    EXPECT_GT(Differing(Frame(issue, "open"), Frame(issue, "end-page")), 100);
    EXPECT_EQ(Differing(Frame(issue, "open"), Frame(issue, "end-page"), 20), 0);
    // Nothing found: the line says so, the page stays as it was.
    EXPECT_GT(Differing(Frame(issue, "none"), Frame(issue, "open")), 20);
    EXPECT_EQ(Differing(Frame(issue, "none"), Frame(issue, "end-page"), 20), 0);
    // Found where it stands, without a fade: a frame or two, not a turn's 25.
    EXPECT_EQ(LitRegions(Frame(issue, "here"), Frame(issue, "end-page")), 1);
    size_t typed = run.log.find("saved " + issue.directory + "/typed.png");
    size_t here = run.log.find("saved " + issue.directory + "/here.png");
    ASSERT_NE(typed, std::string::npos);
    ASSERT_NE(here, std::string::npos);
    EXPECT_LE(Count(run.log.substr(typed, here - typed), "\nframe "), 3) << run.log.substr(typed, here - typed);
    // Esc closed the line first; the second Esc went back to the menu, its topic selected.
    EXPECT_EQ(Differing(Frame(issue, "closed"), Frame(issue, "end-page")), 0);
    RunResult menu = RunZarn(issue, "wait idle\nkey Down\nwait idle\n" + Save(issue, "menu-ref") + "key Escape\n");
    EXPECT_EQ(Differing(Frame(issue, "menu"), Frame(issue, "menu-ref")), 0);
}

TEST(Search, LettersTypeIntoTheLineInsteadOfActing)
{
    TestIssue issue = ReaderIssue("letters");
    // M, H, X and R are typed, not acted on: the run ends by Esc twice.
    RunResult run = RunZarn(issue, "wait idle\nkey Return\nwait settled\ntype /mhxr\nwait frames 1\nwait settled\n"
                                   "key Escape\nwait settled\nkey Escape\nwait idle\nkey Escape\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.log.find("full screen"), std::string::npos) << run.log;
    EXPECT_NE(run.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << run.output;
}

// [Help] ---------------------------------------------------------------------

TEST(Help, OverlayInTheMenuAndInAnArticleAnyKeyClosesIt)
{
    TestIssue issue = ReaderIssue("help");
    RunResult run = RunZarn(issue, "wait idle\n" + Save(issue, "menu") + "key H\nwait idle\n" + Save(issue, "help") +
                                       // The key that closes the list does nothing else.
                                       "key Down\nwait idle\n" + Save(issue, "closed") +
                                       "type ?\nwait idle\n" + Save(issue, "help2") + "key Space\nwait idle\n" +
                                       "key Return\nwait settled\n" + Save(issue, "page") + "key H\nwait idle\n" +
                                       Save(issue, "help3") + "key Left\nwait settled\n" + Save(issue, "page-again") +
                                       "key X\n");
    ASSERT_EQ(run.exitCode, 0);
    std::vector<uint32_t> menu = Frame(issue, "menu"), help = Frame(issue, "help");
    ASSERT_FALSE(help.empty());
    // Darkened, with the list on top.
    int darker = 0, bright = 0;
    for (size_t i = 0; i < help.size(); i++) {
        if ((help[i] & 0xFF) + 60 < (menu[i] & 0xFF))
            darker++;
        if ((help[i] & 0xFF) > 200 && (menu[i] & 0xFF) < 200)
            bright++;
    }
    EXPECT_GT(darker, 640 * 480 / 2);
    EXPECT_GT(bright, 500) << "the list's text";
    EXPECT_EQ(Differing(Frame(issue, "closed"), menu), 0) << "Down closed the list without moving";
    EXPECT_EQ(Differing(Frame(issue, "help2"), help), 0) << "? shows the same list";
    EXPECT_GT(Differing(Frame(issue, "help3"), Frame(issue, "page")), 640 * 480 / 2);
    EXPECT_EQ(Differing(Frame(issue, "page-again"), Frame(issue, "page")), 0) << "Left closed it without turning";
}

TEST(Help, EveryRowFitsItsColumn)
{
    // The list is drawn in the demo issue's face; its text must stay in its columns.
    TestIssue issue = ReaderIssue("helpfit");
    RunResult run = RunZarn(issue, "wait idle\nkey H\nwait idle\n" + Save(issue, "help") + "key Escape\nwait idle\nkey Escape\n");
    std::vector<uint32_t> help = Frame(issue, "help");
    ASSERT_FALSE(help.empty());
    int count = 0;
    const HelpRow *rows = HelpRows(&count);
    ASSERT_EQ(count, 13);
    EXPECT_STREQ(rows[9].keys, "H, ?");
    // Between the columns nothing but the darkened background is drawn.
    for (int y = 100; y < 400; y++)
        for (int x : {HELP_MENU_X - 4, HELP_ARTICLE_X - 4, HELP_RIGHT + 2})
            EXPECT_LT(help[y * 640 + x] & 0xFF, 120) << x << "," << y;
}

// [F11, F12, M] ---------------------------------------------------------------

TEST(Comforts, F11AndAltEnterSwitchTheScreenNotTheSetting)
{
    TestIssue issue = ReaderIssue("fullscreen");
    RunResult run = RunZarn(issue, "wait idle\n" + Save(issue, "menu") + "key F11\nwait idle\n" +
                                       Save(issue, "full") + "key Alt+Return\nwait idle\n" + Save(issue, "window") +
                                       "key Return\nwait settled\nkey F11\nwait settled\nkey Escape\nwait idle\nkey Escape\n");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(Count(run.log, "full screen on"), 2) << run.log;
    EXPECT_EQ(Count(run.log, "full screen off"), 1) << run.log;
    // The frame stays the frame; Alt+Enter did not open the topic.
    EXPECT_EQ(Differing(Frame(issue, "full"), Frame(issue, "menu")), 0);
    EXPECT_EQ(Differing(Frame(issue, "window"), Frame(issue, "menu")), 0);
    EXPECT_NE(StoredSettings(issue).find("windowed=1"), std::string::npos) << StoredSettings(issue);
}

// zarn-YYYYMMDD-HHMMSS.png, or with -N before ".png".
bool ScreenshotName(const std::string &name)
{
    if (name.size() < 24 || name.compare(0, 5, "zarn-") != 0 || name.compare(name.size() - 4, 4, ".png") != 0)
        return false;
    for (size_t i = 5; i < 20; i++)
        if (i == 13 ? name[i] != '-' : (name[i] < '0' || name[i] > '9'))
            return false;
    return name.size() == 24 || (name[20] == '-' && name.find_first_not_of("0123456789", 21) == name.size() - 4);
}

TEST(Comforts, F12SavesTheFrameOnTheScreenWithItsHighlight)
{
    TestIssue issue = ReaderIssue("screenshot");
    WriteText(issue.directory + "/first.txt", "<font verdana><size 40><link http://example.com/>Linked</link>");
    std::string pictures = issue.directory + "/Pictures";
    fs::create_directories(pictures);
    RunResult run = RunZarn(issue, "wait idle\nkey F12\nwait idle\n" + Save(issue, "menu") +
                                       "key Return\nwait settled\n" + Save(issue, "plain") + "move 50 30\nwait settled\n" +
                                       Save(issue, "lit") + "key F12\nwait settled\nkey F12\nwait settled\nkey X\n",
                            "", "", "XDG_PICTURES_DIR='" + pictures + "'");
    ASSERT_EQ(run.exitCode, 0);
    std::vector<std::string> shots;
    for (size_t at = run.output.find("+ screenshot "); at != std::string::npos;
         at = run.output.find("+ screenshot ", at + 1))
        shots.push_back(run.output.substr(at + 13, run.output.find('\n', at) - at - 13));
    ASSERT_EQ(shots.size(), 3u) << run.output;
    for (const std::string &shot : shots) {
        EXPECT_EQ(shot.compare(0, pictures.size() + 1, pictures + "/"), 0) << shot;
        EXPECT_TRUE(ScreenshotName(shot.substr(pictures.size() + 1))) << shot;
    }
    EXPECT_NE(shots[1], shots[2]) << "a second picture never replaces the first";
    int width = 0, height = 0;
    EXPECT_EQ(Differing(ReadPng(shots[0], &width, &height), Frame(issue, "menu")), 0);
    EXPECT_EQ(ReadPng(shots[1], &width, &height), Frame(issue, "lit"));
    EXPECT_EQ(ReadPng(shots[2], &width, &height), Frame(issue, "lit"));
    EXPECT_NE(Frame(issue, "lit"), Frame(issue, "plain")) << "the link was lit when the picture was taken";

    // Without a pictures folder the picture goes into the working directory.
    RunResult plain = RunZarn(issue, "wait idle\nkey F12\nwait idle\nkey Escape\n", "", "",
                              "XDG_PICTURES_DIR= HOME='" + issue.directory + "/nohome'");
    size_t at = plain.output.find("+ screenshot zarn-");
    ASSERT_NE(at, std::string::npos) << plain.output;
    EXPECT_TRUE(FileExists(issue.directory + "/" + plain.output.substr(at + 13, plain.output.find('\n', at) - at - 13)));
}

TEST(Comforts, MTurnsTheMusicOffAndOnWhileEffectsPlay)
{
    TestIssue issue = ReaderIssue("music");
    fs::copy_file(std::string(ZARN_BINARY_DIR) + "/demo/finalman-quickie.xm", issue.directory + "/tune.xm");
    WriteText(issue.directory + "/zarn.cfg", "!music main tune.xm\r\n!sound article article.wav\r\n!sound page "
                                             "page.wav\r\n!sound back back.wav\r\n" + std::string(readerConfig));
    ChildRun run = RunChild(issue, "wait idle\nsleep 1500\nkey M\nsleep 1500\nkey Return\nsleep 600\nkey Down\n"
                                   "sleep 1200\nkey M\nsleep 1500\nkey X\n");
    ASSERT_EQ(run.exitCode, 0);
    ASSERT_GT(run.peaks.size(), 40u);
    // Music, then a long silence broken only by the article effect, then music again.
    size_t at = 0;
    while (at < run.peaks.size() && run.peaks[at] == 0)
        at++; // before the music starts
    size_t musicStart = at;
    while (at < run.peaks.size() && run.peaks[at] != 0)
        at++;
    EXPECT_GE(at - musicStart, 8u) << "music before M";
    size_t silenceStart = at, loud = 0, effect = 0;
    while (at < run.peaks.size() && loud < 3) {
        if (run.peaks[at] == 0)
            loud = 0;
        else {
            loud++;
            effect = std::max<size_t>(effect, run.peaks[at]);
        }
        at++;
    }
    EXPECT_GE(at - silenceStart, 20u) << "music off for about three seconds";
    EXPECT_GT(effect, 0u) << "the article effect sounds with the music off";
    size_t musicAgain = at - loud;
    size_t end = musicAgain;
    while (end < run.peaks.size() && run.peaks[end] != 0)
        end++;
    EXPECT_GE(end - musicAgain, 8u) << "music after the second M";
}
