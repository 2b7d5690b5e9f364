// The whole program run in a child process on the headless backend, so the
// test can read what it presented, opened, played and reported: the article
// viewer's keys, fade, links and hover, and the link filter.
#include "app/shell.h"
#include "app/viewer.h"
#include "aua/aua.h"
#include "platform/headless/headless.h"
#include "sound/p_midas.h"

#include "issue.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Frames presented between two "saved" marks of the log.
int FramesBetween(const std::string &log, const std::string &from, const std::string &to)
{
    size_t start = log.find("saved " + from);
    size_t end = log.find("saved " + to);
    if (start == std::string::npos || end == std::string::npos || end < start)
        return -1;
    int count = 0;
    for (size_t at = log.find("\nframe ", start); at != std::string::npos && at < end;
         at = log.find("\nframe ", at + 1))
        count++;
    return count;
}

const char *const viewerConfig = "topic news Latest news\r\n"
                                 "topic solo Single\r\n"
                                 "news first.txt First~one\r\n"
                                 "news second.txt Second~two\r\n"
                                 "solo only.txt Only\r\n";

TestIssue ViewerIssue(const char *tag)
{
    TestIssue issue = MakeIssue(tag, viewerConfig);
    StoreSettings(issue, "Show setup=0\nwindowed=1\nsound=1\n");
    WriteText(issue.directory + "/first.txt",
              "<size 40><link http://example.com/a>Linked</link><br>page one<newpage>page two<newpage>page three");
    WriteText(issue.directory + "/second.txt", "Second article<newpage>its second page");
    // Documents of the issue next to programs, and targets outside it (the
    // ".." one names the issue's own notes.txt, so only the ".." refuses it).
    std::string back = "../" + std::filesystem::path(issue.directory).filename().string() + "/notes.txt";
    WriteText(issue.directory + "/only.txt", "<size 24><link notes.txt>Notes</link><br><link photo.png>Photo</link><br>"
                                             "<link setup.exe>Setup</link><br><link game.jar>Game</link><br>"
                                             "<link /etc/hostname>Host</link><br><link " + back + ">Back</link><br>"
                                             "<link ./run.sh>Run</link>");
    WriteText(issue.directory + "/notes.txt", "a document");
    WriteText(issue.directory + "/photo.png", "\x89PNG\r\n\x1a\n");
    WriteText(issue.directory + "/setup.exe", "MZ\x90");
    WriteText(issue.directory + "/game.jar", "PK\x03\x04");
    WriteText(issue.directory + "/run.sh", "#!/bin/sh\n");
    chmod((issue.directory + "/run.sh").c_str(), 0755);
    return issue;
}

std::string Marks(const TestIssue &issue, const std::string &name)
{
    return "save " + issue.directory + "/" + name + ".png\n";
}

std::string Picture(const TestIssue &issue, const std::string &name)
{
    return ReadText(issue.directory + "/" + name + ".png");
}

} // namespace

TEST(Viewer, PagesArticlesAndBackToTheSameTopic)
{
    TestIssue issue = ViewerIssue("pages");
    std::string script = "wait idle\n" + Marks(issue, "menu") +
                         "key Return\nwait settled\n" + Marks(issue, "p0") +
                         "key Left\nwait settled\n" + Marks(issue, "left0") +
                         "key Right\nwait settled\n" + Marks(issue, "p1") +
                         "key Right\nwait settled\nkey Right\nwait settled\n" + Marks(issue, "p2") +
                         "key Down\nwait settled\n" + Marks(issue, "a1") +
                         "key Down\nwait settled\n" + Marks(issue, "a1again") +
                         "key Up\nwait settled\n" + Marks(issue, "a0") +
                         "key Escape\nwait idle\n" + Marks(issue, "menu2") +
                         "key Escape\n";
    ChildRun run = RunChild(issue, script);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.boxes.empty()) << run.log;
    // Left on the first page and Down on the last article change nothing.
    EXPECT_EQ(FramesBetween(run.log, issue.directory + "/p0", issue.directory + "/left0"), 0) << run.log;
    EXPECT_EQ(Picture(issue, "p0"), Picture(issue, "left0"));
    EXPECT_NE(Picture(issue, "p0"), Picture(issue, "p1"));
    EXPECT_NE(Picture(issue, "p1"), Picture(issue, "p2"));
    EXPECT_EQ(FramesBetween(run.log, issue.directory + "/a1", issue.directory + "/a1again"), 0) << run.log;
    // Up from the second article shows the first one's page 0 again.
    EXPECT_EQ(Picture(issue, "a0"), Picture(issue, "p0"));
    // Esc comes back to the menu with the same topic selected.
    EXPECT_EQ(Picture(issue, "menu2"), Picture(issue, "menu"));
    EXPECT_TRUE(run.audible) << "the page, article and back effects";
}

TEST(Viewer, XEndsTheProgramWithoutTheBackEffect)
{
    TestIssue issue = ViewerIssue("xkey");
    ChildRun run = RunChild(issue, "wait idle\nkey Return\nwait settled\nkey X\nsleep 300\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.boxes.empty()) << run.log;
    EXPECT_FALSE(run.audible) << "no effect was due";
    EXPECT_NE(run.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << run.output;

    ChildRun esc = RunChild(issue, "wait idle\nkey Return\nwait settled\nkey Escape\nwait settled\nwait idle\nkey Escape\n");
    EXPECT_EQ(esc.exitCode, 0);
    EXPECT_TRUE(esc.audible) << "the back effect";
}

TEST(Viewer, F9EndsTheProgram)
{
    TestIssue issue = ViewerIssue("f9");
    ChildRun run = RunChild(issue, "wait idle\nkey Return\nwait settled\nkey F9\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.boxes.empty()) << run.log;
    EXPECT_NE(run.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << run.output;
}

TEST(Viewer, AKeyEndsTheFadeAndTakesEffect)
{
    TestIssue issue = ViewerIssue("fade");
    // Slow fade: full fade first for reference frames.
    ChildRun full = RunChild(issue, "wait idle\nkey Return\nwait settled\n" + Marks(issue, "open") +
                                        "key Right\nwait settled\n" + Marks(issue, "full") + "key X\n");
    int fullFrames = FramesBetween(full.log, issue.directory + "/open", issue.directory + "/full");
    ASSERT_GT(fullFrames, 2) << full.log;

    // Right, then Right again at once: the second key ends the first fade and turns on.
    ChildRun quick = RunChild(issue, "wait idle\nkey Return\nwait settled\n" + Marks(issue, "open2") +
                                         "key Right\nkey Right\nwait settled\n" + Marks(issue, "quick") + "key X\n");
    EXPECT_EQ(quick.exitCode, 0);
    // Page three is shown complete.
    ChildRun reference = RunChild(issue, "wait idle\nkey Return\nwait settled\nkey Right\nwait settled\nkey Right\nwait settled\n" +
                                             Marks(issue, "page3") + "key X\n");
    EXPECT_EQ(Picture(issue, "quick"), Picture(issue, "page3"));
}

TEST(Viewer, ALinkOpensOncePerPressAndNotOnItsLeftEdge)
{
    TestIssue issue = ViewerIssue("click");
    // First learn where the link is.
    ChildRun probe = RunChild(issue, "wait idle\nkey Return\nwait settled\nkey X\n");
    ASSERT_FALSE(probe.links.empty()) << probe.log;
    const PageLink link = probe.links[0];
    ASSERT_STREQ(link.target, "http://example.com/a");
    int x = (link.left + link.right) / 2, y = (link.top + link.bottom) / 2;

    std::string script = "wait idle\nkey Return\nwait settled\n"
                         "click " + std::to_string(link.left) + " " + std::to_string(y) + "\nwait settled\n"
                         "click " + std::to_string(x) + " " + std::to_string(y) + "\nwait settled\n"
                         "move " + std::to_string(x + 1) + " " + std::to_string(y) + " left\nwait settled\n"
                         "move " + std::to_string(x + 2) + " " + std::to_string(y) + " left\nwait settled\n"
                         "key X\n";
    ChildRun run = RunChild(issue, script);
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.opens.size(), 1u) << run.log;
    EXPECT_EQ(run.opens[0], "http://example.com/a");
}

TEST(Viewer, HoverRedrawsOnlyWhenTheHighlightChanges)
{
    TestIssue issue = ViewerIssue("hover");
    ChildRun probe = RunChild(issue, "wait idle\nkey Return\nwait settled\nkey X\n");
    ASSERT_FALSE(probe.links.empty()) << probe.log;
    const PageLink link = probe.links[0];
    int y = (link.top + link.bottom) / 2;
    auto Move = [](int mx, int my) { return "move " + std::to_string(mx) + " " + std::to_string(my) + "\nwait settled\n"; };
    std::string script = "wait idle\nkey Return\nwait settled\n" + Marks(issue, "plain") +
                         Move(link.left + 3, y) + Marks(issue, "on") +
                         Move(link.right, link.bottom) + Marks(issue, "edge") +
                         Move(link.right + 1, y) + Marks(issue, "off") +
                         "key X\n";
    ChildRun run = RunChild(issue, script);
    EXPECT_EQ(run.exitCode, 0);
    const std::string d = issue.directory + "/";
    EXPECT_EQ(FramesBetween(run.log, d + "plain", d + "on"), 1) << run.log;
    // The right and bottom edges still count as on the link: no redraw.
    EXPECT_EQ(FramesBetween(run.log, d + "on", d + "edge"), 0) << run.log;
    EXPECT_EQ(FramesBetween(run.log, d + "edge", d + "off"), 1) << run.log;
    EXPECT_NE(Picture(issue, "plain"), Picture(issue, "on"));
    EXPECT_EQ(Picture(issue, "plain"), Picture(issue, "off"));
}

TEST(Viewer, OnlyDocumentsOfTheIssueAndWebAddressesReachTheShell)
{
    TestIssue issue = ViewerIssue("safe");
    ChildRun probe = RunChild(issue, "wait idle\nkey Down\nwait idle\nkey Return\nwait settled\nkey X\n");
    ASSERT_EQ(probe.links.size(), 7u) << probe.log;
    std::string script = "wait idle\nkey Down\nwait idle\nkey Return\nwait settled\n";
    for (const PageLink &link : probe.links)
        script += "click " + std::to_string((link.left + link.right) / 2) + " " +
                  std::to_string((link.top + link.bottom) / 2) + "\nwait settled\n";
    script += "key X\n";
    ChildRun run = RunChild(issue, script);
    EXPECT_EQ(run.opens, (std::vector<std::string>{"notes.txt", "photo.png"})) << run.log;
    std::string back = "../" + std::filesystem::path(issue.directory).filename().string() + "/notes.txt";
    for (const std::string &refused : {std::string("setup.exe"), std::string("game.jar"), std::string("/etc/hostname"),
                                       back, std::string("./run.sh")})
        EXPECT_NE(run.output.find("- link target not opened: '" + refused + "'\n"), std::string::npos)
            << refused << "\n" << run.output;
}

TEST(Viewer, MissingArticleEndsThroughTheBannerBox)
{
    TestIssue issue = ViewerIssue("missing");
    std::filesystem::remove(issue.directory + "/first.txt");
    ChildRun run = RunChild(issue, "wait idle\nkey Return\nsleep 300\n");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.boxes.size(), 1u) << run.log;
    EXPECT_EQ(run.boxes[0], "Zarn EXCEPTION: 'Can't load AUA!'|");
    EXPECT_NE(run.output.find("+ stackheap closed. (emulated)\n"), std::string::npos) << run.output;
}

// The filter asks about the working directory, which is the issue's: the
// tests run in a scratch issue with a file beside it.
struct LinkFilter : ::testing::Test {
    std::string root, issue, previous;
    void SetUp() override
    {
        PlatformSelect("headless");
        root = MakeTempDirectory("filter");
        issue = root + "/issue";
        std::filesystem::create_directories(issue + "/docs");
        WriteText(root + "/notes.txt", "beside the issue");
        previous = std::filesystem::current_path().string();
        std::filesystem::current_path(issue);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    void Write(const std::string &name, const std::string &text, int mode = 0644)
    {
        WriteText(issue + "/" + name, text);
        chmod((issue + "/" + name).c_str(), mode);
    }
};

TEST_F(LinkFilter, WebAndMailAddressesAndDocumentsOfTheIssue)
{
    EXPECT_TRUE(LinkTargetAllowed("http://example.com/"));
    EXPECT_TRUE(LinkTargetAllowed("HTTPS://example.com/"));
    EXPECT_TRUE(LinkTargetAllowed("ftp://example.com/file"));
    EXPECT_TRUE(LinkTargetAllowed("mailto:editor@example.com"));
    Write("notes.txt", "text");
    Write("Photo.PNG", "\x89PNG\r\n\x1a\n");
    Write("docs/manual.pdf", "%PDF-1.4");
    Write("tune.xm", "Extended Module: ");
    Write("empty.html", "");
    EXPECT_TRUE(LinkTargetAllowed("notes.txt"));
    EXPECT_TRUE(LinkTargetAllowed("./notes.txt"));
    EXPECT_TRUE(LinkTargetAllowed("Photo.PNG"));
    EXPECT_TRUE(LinkTargetAllowed("docs/manual.pdf"));
    EXPECT_TRUE(LinkTargetAllowed("tune.xm"));
    EXPECT_TRUE(LinkTargetAllowed("empty.html"));
    EXPECT_FALSE(LinkTargetAllowed("missing.txt"));
    EXPECT_FALSE(LinkTargetAllowed("docs")); // a directory
    EXPECT_FALSE(LinkTargetAllowed(""));
    EXPECT_FALSE(LinkTargetAllowed(nullptr));
}

TEST_F(LinkFilter, NothingOutsideTheIssueAndNoProgramWhateverItsName)
{
    Write("notes.txt", "text");
    // Outside the issue, though each names a readable document.
    EXPECT_FALSE(LinkTargetAllowed("../notes.txt"));
    EXPECT_FALSE(LinkTargetAllowed("docs/../../notes.txt"));
    EXPECT_FALSE(LinkTargetAllowed("docs/..\\..\\notes.txt"));
    EXPECT_FALSE(LinkTargetAllowed("/etc/hostname"));
    EXPECT_FALSE(LinkTargetAllowed((issue + "/notes.txt").c_str()));
    // Names the opener reads as other addresses or options.
    EXPECT_FALSE(LinkTargetAllowed("file:notes.txt"));
    EXPECT_FALSE(LinkTargetAllowed("file:///etc/passwd"));
    EXPECT_FALSE(LinkTargetAllowed("javascript:alert(1)"));
    Write("-notes.txt", "text");
    EXPECT_FALSE(LinkTargetAllowed("-notes.txt"));
    EXPECT_FALSE(LinkTargetAllowed("http"));
    // Programs and launchers by their names...
    Write("setup.exe", "text");
    Write("game.jar", "text");
    Write("app.desktop", "[Desktop Entry]\n");
    Write("tool", "#!/bin/sh\n", 0755);
    EXPECT_FALSE(LinkTargetAllowed("setup.exe"));
    EXPECT_FALSE(LinkTargetAllowed("game.jar"));
    EXPECT_FALSE(LinkTargetAllowed("app.desktop"));
    EXPECT_FALSE(LinkTargetAllowed("tool"));
    // ... and under a document's name, by their execute bit or first bytes.
    Write("run.txt", "echo\n", 0755);
    Write("setup.png", std::string("MZ\x90\0", 4));
    Write("linux.pdf", "\x7f" "ELF\x02\x01");
    Write("script.txt", "#!/bin/sh\nrm -rf ~\n");
    Write("game.png", "PK\x03\x04");
    Write("Main.mp3", "\xCA\xFE\xBA\xBE");
    Write("launcher.txt", "# made by hand\n[Desktop Entry]\nExec=xterm\n");
    for (const char *name : {"run.txt", "setup.png", "linux.pdf", "script.txt", "game.png", "Main.mp3", "launcher.txt"})
        EXPECT_FALSE(LinkTargetAllowed(name)) << name;
}

TEST_F(LinkFilter, OpenLinksAtIsStrictOnAllFourEdges)
{
    HeadlessReset();
    PageLink links[3] = {};
    links[0] = {1, 10, 20, 50, 40, "http://a/", -1};
    links[1] = {0, 0, 0, 640, 480, "http://unused/", -1};
    links[2] = {1, 30, 30, 60, 45, "http://b/", -1};
    EXPECT_EQ(OpenLinksAt(links, 3, 10, 30), 0);
    EXPECT_EQ(OpenLinksAt(links, 3, 50, 30), 0);
    EXPECT_EQ(OpenLinksAt(links, 3, 20, 20), 0);
    EXPECT_EQ(OpenLinksAt(links, 3, 20, 40), 0);
    EXPECT_TRUE(HeadlessShellOpens().empty());
    // Overlapping links both open, in table order; the unused one never.
    EXPECT_EQ(OpenLinksAt(links, 3, 40, 35), 2);
    ASSERT_EQ(HeadlessShellOpens().size(), 2u);
    EXPECT_EQ(HeadlessShellOpens()[0], "http://a/");
    EXPECT_EQ(HeadlessShellOpens()[1], "http://b/");
}
