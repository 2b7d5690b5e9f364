// The reader's own command line: how each argument vector is sorted (an
// issue to open, the options, a line left to the last-word rule), and the
// real program started with each form on the headless backend.
#include "app/help.h"
#include "app/options.h"
#include "platform/platform.h"

#include "issue.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Line {
    std::vector<std::string> words;
    std::vector<char *> argv;
    explicit Line(std::vector<std::string> list) : words(std::move(list))
    {
        for (std::string &word : words)
            argv.push_back(&word[0]);
        argv.push_back(nullptr);
    }
    int argc() const { return (int)words.size(); }
};

ProgramOptions Read(std::vector<std::string> words)
{
    words.insert(words.begin(), "/usr/bin/zarn");
    Line line(words);
    ProgramOptions options;
    ReadProgramOptions(line.argc(), line.argv.data(), &options);
    return options;
}

// An issue directory with an archive file named in mixed case, and a file
// that is no archive.
struct Places {
    std::string root, issue, archive, notes;
    Places()
    {
        root = MakeTempDirectory("options");
        issue = root + "/my issue";
        fs::create_directories(issue);
        archive = issue + "/Zarn.DAT";
        notes = issue + "/notes.txt";
        WriteText(archive, "ZARNPAK1");
        WriteText(notes, "notes");
    }
};

} // namespace

TEST(Options, LinesWithoutOptionsKeepTheLastWordRuleUnlessTheyNameAnIssue)
{
    Places places;
    ProgramOptions none = Read({});
    EXPECT_EQ(none.action, PROGRAM_RUN);
    EXPECT_EQ(none.ownForm, 0);

    // Plain words, files that are no archive, an empty word and two issues
    // are all left to the rule (which then asks for the setup dialog).
    for (const std::vector<std::string> &words : std::vector<std::vector<std::string>>{
             {"setup"}, {"-h"}, {places.notes}, {""}, {places.issue, places.issue}, {places.root + "/missing"}}) {
        ProgramOptions options = Read(words);
        EXPECT_EQ(options.action, PROGRAM_RUN) << words[0];
        EXPECT_EQ(options.ownForm, 0) << words[0];
        EXPECT_STREQ(options.directory, "") << words[0];
    }

    ProgramOptions directory = Read({places.issue});
    EXPECT_EQ(directory.action, PROGRAM_RUN);
    EXPECT_EQ(directory.ownForm, 1);
    EXPECT_EQ(directory.setup, 0);
    EXPECT_EQ(places.issue, directory.directory);

    // The archive's name counts in any case; the issue is its folder.
    ProgramOptions archive = Read({places.archive});
    EXPECT_EQ(archive.ownForm, 1);
    EXPECT_EQ(places.issue, archive.directory);
}

TEST(Options, ArchivePathsGiveTheirFolder)
{
    Places places;
    char directory[PROGRAM_PATH_BUFFER];
    ASSERT_EQ(IssueDirectory(places.archive.c_str(), directory, sizeof directory), 1);
    EXPECT_EQ(places.issue, directory);
    // A bare name is the current directory's archive.
    fs::path before = fs::current_path();
    fs::current_path(places.issue);
    EXPECT_EQ(IssueDirectory("Zarn.DAT", directory, sizeof directory), 1);
    EXPECT_STREQ(directory, ".");
    fs::current_path(before);

    EXPECT_EQ(IssueDirectory(places.notes.c_str(), directory, sizeof directory), 0);
    EXPECT_EQ(IssueDirectory((places.issue + "/zarn.dat.bak").c_str(), directory, sizeof directory), 0);
    EXPECT_EQ(IssueDirectory((places.archive + "/").c_str(), directory, sizeof directory), 0);
    EXPECT_EQ(IssueDirectory(nullptr, directory, sizeof directory), 0);
    // A folder that happens to be called zarn.dat is a directory to open.
    fs::create_directories(places.root + "/zarn.dat");
    ASSERT_EQ(IssueDirectory((places.root + "/zarn.dat").c_str(), directory, sizeof directory), 1);
    EXPECT_EQ(places.root + "/zarn.dat", directory);
    // What does not fit the buffer is refused, not cut.
    char tiny[8];
    EXPECT_EQ(IssueDirectory(places.issue.c_str(), tiny, sizeof tiny), 0);
}

TEST(Options, HelpVersionAndUnknownOptions)
{
    Places places;
    EXPECT_EQ(Read({"--help"}).action, PROGRAM_USAGE);
    EXPECT_EQ(Read({"--version"}).action, PROGRAM_VERSION);
    // --help wins over words that would be wrong, but not over an unknown
    // option before it.
    EXPECT_EQ(Read({"nonsense", "--help"}).action, PROGRAM_USAGE);
    EXPECT_EQ(Read({"--demo", "--version", "--help"}).action, PROGRAM_VERSION);

    ProgramOptions unknown = Read({"--fullscreen", "--help"});
    EXPECT_EQ(unknown.action, PROGRAM_ERROR);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_STREQ(unknown.message, "unknown option '--fullscreen' (see 'zarn --help')");
    EXPECT_EQ(Read({"--"}).action, PROGRAM_ERROR);
    EXPECT_EQ(Read({places.issue, "--help=me"}).action, PROGRAM_ERROR);

    EXPECT_STRNE(ProgramVersion(), "");
    std::string usage = ProgramUsage();
    for (const char *part : {"--demo", "--setup", "--watch", "--version", "Esc", "F9", "F1", "zarn/settings", "zarn/positions",
                             "ZARN_PLATFORM"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
}

TEST(Options, UsageManualAndReadmeListEveryKeyTheHelpShows)
{
    std::string usage = ProgramUsage();
    std::string manual = ReadText(std::string(ZARN_SOURCE_DIR) + "/desktop/zarn.1.in");
    std::string readme = ReadText(std::string(ZARN_SOURCE_DIR) + "/README.md");
    size_t table = readme.find("## Keys");
    ASSERT_NE(table, std::string::npos);
    std::string keyTable = readme.substr(table, readme.find("\n\n", readme.find("| key", table)) - table);
    ASSERT_FALSE(manual.empty());
    int count = 0;
    const HelpRow *rows = HelpRows(&count);
    ASSERT_GT(count, 10);
    for (int i = 0; i < count; i++) {
        std::string keys = rows[i].keys;
        // Each key of the row ("F11, Alt+Enter" is two).
        for (size_t start = 0; start < keys.size();) {
            size_t end = keys.find(", ", start);
            std::string key = keys.substr(start, end == std::string::npos ? std::string::npos : end - start);
            start = end == std::string::npos ? keys.size() : end + 2;
            EXPECT_NE(usage.find(key), std::string::npos) << key << " in zarn --help";
            EXPECT_NE(manual.find(key), std::string::npos) << key << " in zarn.1";
            EXPECT_NE(keyTable.find(key), std::string::npos) << key << " in the README's key table";
        }
    }
}

TEST(Options, SetupWithAndWithoutAnIssue)
{
    Places places;
    ProgramOptions alone = Read({"--setup"});
    EXPECT_EQ(alone.action, PROGRAM_RUN);
    EXPECT_EQ(alone.ownForm, 1);
    EXPECT_EQ(alone.setup, 1);
    EXPECT_STREQ(alone.directory, "");

    for (const std::vector<std::string> &words : std::vector<std::vector<std::string>>{
             {"--setup", places.issue}, {places.issue, "--setup"}, {"--setup", places.archive}}) {
        ProgramOptions options = Read(words);
        EXPECT_EQ(options.action, PROGRAM_RUN);
        EXPECT_EQ(options.setup, 1);
        EXPECT_EQ(places.issue, options.directory);
    }

    ProgramOptions missing = Read({"--setup", places.notes});
    EXPECT_EQ(missing.action, PROGRAM_ERROR);
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ("'" + places.notes + "' is neither a directory nor a file named zarn.dat", missing.message);

    ProgramOptions two = Read({"--setup", places.issue, places.root});
    EXPECT_EQ(two.action, PROGRAM_ERROR);
    EXPECT_EQ(two.exitCode, 2);
}

TEST(Options, WatchWithAndWithoutAnIssue)
{
    Places places;
    ProgramOptions alone = Read({"--watch"});
    EXPECT_EQ(alone.action, PROGRAM_RUN);
    EXPECT_EQ(alone.ownForm, 1);
    EXPECT_EQ(alone.watch, 1);
    EXPECT_EQ(alone.setup, 0);
    EXPECT_STREQ(alone.directory, "");
    EXPECT_EQ(Read({places.issue}).watch, 0);

    ProgramOptions both = Read({places.archive, "--watch", "--setup"});
    EXPECT_EQ(both.action, PROGRAM_RUN);
    EXPECT_EQ(both.watch, 1);
    EXPECT_EQ(both.setup, 1);
    EXPECT_EQ(places.issue, both.directory);

    EXPECT_EQ(Read({"--watch", places.notes}).action, PROGRAM_ERROR);
    EXPECT_EQ(Read({"--watch=" + places.issue}).action, PROGRAM_ERROR);

    // Said where an author looks: zarn --help, the manual and the README's walk-through.
    EXPECT_NE(std::string(ProgramUsage()).find("zarn --watch [DIR"), std::string::npos);
    EXPECT_NE(ReadText(std::string(ZARN_SOURCE_DIR) + "/desktop/zarn.1.in").find(".B zarn \\-\\-watch"),
              std::string::npos);
    std::string readme = ReadText(std::string(ZARN_SOURCE_DIR) + "/README.md");
    size_t walk = readme.find("## Writing an issue");
    ASSERT_NE(walk, std::string::npos);
    EXPECT_NE(readme.find("zarn --watch", walk), std::string::npos);
}

TEST(Options, DemoIsLookedForBesideTheProgram)
{
    Places places;
    // The test program has no demo issue installed or built beside it.
    ProgramOptions demo = Read({"--demo"});
    EXPECT_EQ(demo.action, PROGRAM_ERROR);
    EXPECT_EQ(demo.exitCode, 1);
    std::string expected = std::string(PlatformProgramDirectory()) + "/../share/zarn/demo";
    EXPECT_EQ("the demo issue is not installed (no zarn.dat in '" + expected + "')", demo.message);

    ProgramOptions both = Read({"--demo", places.issue});
    EXPECT_EQ(both.action, PROGRAM_ERROR);
    EXPECT_EQ(both.exitCode, 2);
}

// The real program, each form once.

namespace {

const char *const menuConfig = "topic news Latest news\r\n"
                               "news intro.txt Welcome\r\n";

TestIssue QuietIssue(const char *tag, uint32_t background)
{
    TestIssue issue = MakeIssue(tag, menuConfig);
    WriteText(issue.directory + "/intro.txt", "Hello");
    WriteJpeg(issue.directory + "/_full.jpg", 640, 480, background);
    StoreSettings(issue, "Show setup=0\nwindowed=1\n");
    return issue;
}

// The colour at (x, y) of a saved frame, or 0xFFFFFFFF when unreadable.
uint32_t FramePixel(const std::string &png, int x, int y)
{
    int width = 0, height = 0;
    std::vector<uint32_t> pixels = ReadPng(png, &width, &height);
    if (pixels.empty() || x >= width || y >= height)
        return 0xFFFFFFFFu;
    return pixels[(size_t)y * (size_t)width + (size_t)x];
}

bool Near(uint32_t a, uint32_t b)
{
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs((int)((a >> shift) & 0xFF) - (int)((b >> shift) & 0xFF)) > 3)
            return false;
    return true;
}

std::string Quoted(const std::string &path)
{
    return "'" + path + "'";
}

} // namespace

TEST(CommandLine, AnIssueDirectoryOrItsArchiveOpensFromAnotherDirectory)
{
    TestIssue here = QuietIssue("here", 0x204060);
    TestIssue there = QuietIssue("there", 0xC08020);
    std::string frame = here.directory + "/frame.png";
    std::string script = "wait idle\nsave " + frame + "\nkey Escape\n";

    RunResult run = RunZarn(here, script, Quoted(there.directory));
    EXPECT_EQ(run.exitCode, 0);
    // The word opened the issue; it did not ask for the setup dialog.
    EXPECT_EQ(run.log.find("dialog 101 shown"), std::string::npos) << run.log;
    EXPECT_EQ(run.log.find("messagebox"), std::string::npos) << run.log;
    EXPECT_TRUE(Near(FramePixel(frame, 8, 8), 0xC08020)) << std::hex << FramePixel(frame, 8, 8);

    fs::remove(frame);
    WriteText(there.directory + "/ZARN.dat", "");
    RunResult archive = RunZarn(here, script, Quoted(there.directory + "/ZARN.dat"));
    EXPECT_EQ(archive.exitCode, 0);
    EXPECT_EQ(archive.log.find("dialog 101 shown"), std::string::npos) << archive.log;
    EXPECT_TRUE(Near(FramePixel(frame, 8, 8), 0xC08020)) << std::hex << FramePixel(frame, 8, 8);

    // An archive named in capitals is the issue's archive: its members are read.
    fs::remove(frame);
    fs::remove(there.directory + "/ZARN.dat");
    std::string pack = std::string(ZARN_BINARY_DIR) + "/tools/zarn-tool pack -o " + Quoted(there.directory + "/ZARN.DAT") +
                       " " + Quoted(there.directory + "/_full.jpg") + " " + Quoted(there.directory + "/zarn.cfg");
    ASSERT_EQ(std::system(pack.c_str()), 0);
    fs::remove(there.directory + "/_full.jpg");
    fs::remove(there.directory + "/zarn.cfg");
    RunResult capitals = RunZarn(here, script, Quoted(there.directory + "/ZARN.DAT"));
    EXPECT_EQ(capitals.exitCode, 0);
    EXPECT_EQ(capitals.log.find("messagebox"), std::string::npos) << capitals.log;
    EXPECT_TRUE(Near(FramePixel(frame, 8, 8), 0xC08020)) << std::hex << FramePixel(frame, 8, 8);

    // Without a word the issue of the working directory is read.
    fs::remove(frame);
    RunResult plain = RunZarn(here, script);
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_TRUE(Near(FramePixel(frame, 8, 8), 0x204060)) << std::hex << FramePixel(frame, 8, 8);
}

TEST(CommandLine, HelpVersionAndAnUnknownOptionEndBeforeAnythingStarts)
{
    TestIssue issue = QuietIssue("help", 0x204060);
    RunResult help = RunZarn(issue, "", "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.output, ProgramUsage());
    EXPECT_EQ(help.errors, "");
    EXPECT_EQ(help.log, "");

    RunResult version = RunZarn(issue, "", "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output, std::string("zarn ") + ProgramVersion() + "\n");
    EXPECT_EQ(version.log, "");

    RunResult unknown = RunZarn(issue, "", "--fullscreen");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.errors, "zarn: unknown option '--fullscreen' (see 'zarn --help')\n");
    EXPECT_EQ(unknown.output, "");
    EXPECT_EQ(unknown.log, "");

    RunResult notAnIssue = RunZarn(issue, "", "--setup intro.txt");
    EXPECT_EQ(notAnIssue.exitCode, 2);
    EXPECT_EQ(notAnIssue.errors, "zarn: 'intro.txt' is neither a directory nor a file named zarn.dat\n");
    EXPECT_EQ(notAnIssue.log, "");
}

TEST(CommandLine, SetupOptionAndPlainWordsBringUpTheDialog)
{
    TestIssue here = QuietIssue("setuphere", 0x204060);
    TestIssue there = QuietIssue("setupthere", 0xC08020);
    std::string frame = here.directory + "/frame.png";
    std::string script = "press 1\nwait idle\nsave " + frame + "\nkey Escape\n";

    RunResult setup = RunZarn(here, script, "--setup");
    EXPECT_EQ(setup.exitCode, 0);
    EXPECT_NE(setup.log.find("dialog 101 shown"), std::string::npos) << setup.log;
    EXPECT_TRUE(Near(FramePixel(frame, 8, 8), 0x204060));

    fs::remove(frame);
    RunResult elsewhere = RunZarn(here, script, "--setup " + Quoted(there.directory));
    EXPECT_EQ(elsewhere.exitCode, 0);
    EXPECT_NE(elsewhere.log.find("dialog 101 shown"), std::string::npos) << elsewhere.log;
    EXPECT_TRUE(Near(FramePixel(frame, 8, 8), 0xC08020));
    // START ran: the forced dialog had its check box on, and stored it.
    EXPECT_NE(StoredSettings(here).find("Show setup=1"), std::string::npos) << StoredSettings(here);

    // Words that are not ours keep asking for the dialog, in the working
    // directory's issue: a plain word, a file that is no archive, two issues.
    for (const std::string &words : {std::string("setup"), std::string("intro.txt"),
                                     Quoted(there.directory) + " " + Quoted(there.directory)}) {
        StoreSettings(here, "Show setup=0\nwindowed=1\n");
        fs::remove(frame);
        RunResult word = RunZarn(here, script, words);
        EXPECT_EQ(word.exitCode, 0) << words;
        EXPECT_NE(word.log.find("dialog 101 shown"), std::string::npos) << words << "\n" << word.log;
        EXPECT_TRUE(Near(FramePixel(frame, 8, 8), 0x204060)) << words;
    }
}

TEST(CommandLine, DemoOpensTheDemoIssueBuiltBesideTheProgram)
{
    TestIssue issue = QuietIssue("demo", 0x204060);
    std::string frame = issue.directory + "/demo.png";
    RunResult run = RunZarn(issue, "wait idle\nsave " + frame + "\nkey Escape\n", "--demo");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.log.find("messagebox"), std::string::npos) << run.log;
    EXPECT_NE(run.output.find("+ loading 3d\n"), std::string::npos) << run.output;

    // Above the key bar (which holds the clock) the frame is the demo's menu
    // exactly as zarn-tool draws it.
    std::string render = issue.directory + "/render.png";
    std::string command = std::string(ZARN_BINARY_DIR) + "/tools/zarn-tool render -C " + ZARN_BINARY_DIR +
                          "/demo --menu -o " + render + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    int width = 0, height = 0, renderWidth = 0, renderHeight = 0;
    std::vector<uint32_t> shown = ReadPng(frame, &width, &height);
    std::vector<uint32_t> drawn = ReadPng(render, &renderWidth, &renderHeight);
    ASSERT_EQ(width, 640);
    ASSERT_EQ(height, 480);
    ASSERT_EQ(renderWidth, 640);
    ASSERT_EQ(renderHeight, 480);
    size_t differing = 0;
    for (size_t i = 0; i < (size_t)640 * 400; i++)
        differing += shown[i] != drawn[i];
    EXPECT_EQ(differing, 0u);
}
