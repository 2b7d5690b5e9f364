// File changes below a directory: the polling watch the headless backend
// uses (looks taken when asked) and the kernel's notifications the desktop
// uses (a thread that posts when a burst of changes has settled), both
// reaching the program as WM_FILESCHANGED and names to take.
#include "platform/headless/headless.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

class FileChanges : public ::testing::Test {
protected:
    fs::path root;
    void SetUp() override
    {
        ASSERT_EQ(PlatformSelect("headless"), 1);
        HeadlessReset();
        root = fs::temp_directory_path() / ("zarn-watch-" + std::to_string(getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "tex");
        fs::create_directories(root / ".hidden");
        Write("a.txt", "first");
        Write("tex/b.bmp", "BM");
        Write(".hidden/c.txt", "kept out");
    }
    void TearDown() override
    {
        PlatformInotifyWatchStop();
        HeadlessReset();
        fs::remove_all(root);
    }
    void Write(const std::string &name, const std::string &text)
    {
        std::ofstream(root / name, std::ios::binary) << text;
    }
    // The changed files waiting, in the order they are given.
    static std::set<std::string> Take()
    {
        std::set<std::string> names;
        char name[256];
        while (PlatformTakeChangedFile(name, sizeof name))
            names.insert(name);
        return names;
    }
    // WM_FILESCHANGED messages waiting (taken from the queue).
    static int Posts()
    {
        int posts = 0;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            EXPECT_EQ(message.hwnd, nullptr);
            posts += message.message == WM_FILESCHANGED;
        }
        return posts;
    }
    // Waits up to limitMs for the first post; the milliseconds it took, or -1.
    static int WaitForPost(int limitMs)
    {
        DWORD start = GetTickCount();
        while ((int)(GetTickCount() - start) < limitMs) {
            if (PlatformQueueLength())
                return (int)(GetTickCount() - start);
            Sleep(2);
        }
        return -1;
    }
};

} // namespace

TEST_F(FileChanges, PollingNotesWhatWasSavedMadeOrDeletedOnceEach)
{
    ASSERT_EQ(PlatformWatchDirectory(root.c_str()), WATCH_STARTED);
    ASSERT_TRUE(PlatformPollWatching());
    EXPECT_EQ(PlatformPollWatchLook(), 0) << "nothing changed yet";
    EXPECT_EQ(Posts(), 0);

    Write("a.txt", "second, longer");
    Write("a.txt", "third and longest of all"); // twice before a look: given once
    Write("tex/new.jpg", "\xFF\xD8\xFF");
    fs::remove(root / "tex/b.bmp");
    Write(".hidden/c.txt", "changed, but hidden");
    Write(".a.txt.swp", "an editor's own file");
    EXPECT_EQ(PlatformPollWatchLook(), 3);
    EXPECT_EQ(Posts(), 1) << "one batch, one message";
    EXPECT_EQ(Take(), (std::set<std::string>{"a.txt", "tex/new.jpg", "tex/b.bmp"}));
    EXPECT_TRUE(Take().empty());

    // A file renamed over another is a save even at the same size and time.
    Write("other.txt", "fourth and samest of all");
    PlatformPollWatchLook();
    Take();
    fs::rename(root / "other.txt", root / "a.txt");
    EXPECT_EQ(PlatformPollWatchLook(), 2);
    EXPECT_EQ(Take(), (std::set<std::string>{"a.txt", "other.txt"}));

    // A name that does not fit is dropped, not cut.
    Write("tex/new.jpg", "changed");
    PlatformPollWatchLook();
    char small[8];
    EXPECT_EQ(PlatformTakeChangedFile(small, sizeof small), 0);

    PlatformStopWatching();
    EXPECT_FALSE(PlatformPollWatching());
    Write("a.txt", "after the end");
    EXPECT_EQ(PlatformPollWatchLook(), 0);
    EXPECT_TRUE(Take().empty());
}

TEST_F(FileChanges, OnlyAnExistingDirectoryCanBeWatched)
{
    EXPECT_EQ(PlatformWatchDirectory((root / "missing").c_str()), WATCH_FAILED);
    EXPECT_EQ(PlatformWatchDirectory((root / "a.txt").c_str()), WATCH_FAILED);
    EXPECT_EQ(PlatformWatchDirectory(nullptr), WATCH_FAILED);
    EXPECT_FALSE(PlatformPollWatching());
    // A relative path is the same directory seen from here.
    fs::path previous = fs::current_path();
    fs::current_path(root);
    EXPECT_EQ(PlatformWatchDirectory("."), WATCH_STARTED);
    fs::current_path(previous);
    Write("tex/b.bmp", "BM changed");
    PlatformPollWatchLook();
    EXPECT_EQ(Take(), (std::set<std::string>{"tex/b.bmp"}));
}

TEST_F(FileChanges, TheHeadlessBackendLooksWhenTheProgramPumps)
{
    ASSERT_EQ(PlatformWatchDirectory(root.c_str()), WATCH_STARTED);
    Write("a.txt", "saved by someone else");
    // Looks are at most 50 ms apart while the program pumps.
    MSG message;
    int seen = 0;
    for (DWORD start = GetTickCount(); !seen && GetTickCount() - start < 2000; Sleep(5))
        seen = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) && message.message == WM_FILESCHANGED;
    EXPECT_TRUE(seen);
    EXPECT_EQ(Take(), (std::set<std::string>{"a.txt"}));

    // A script's copy and remove are looked at before the program goes on.
    Write("v2.txt", "the second version");
    PlatformPollWatchLook();
    Take();
    Posts();
    std::string script = "copy " + (root / "v2.txt").string() + " " + (root / "a.txt").string() + "\nremove " +
                         (root / "tex/b.bmp").string() + "\n";
    ASSERT_TRUE(HeadlessScriptText(script.c_str()));
    int posts = 0;
    for (int pump = 0; pump < 6; pump++) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            posts += message.message == WM_FILESCHANGED;
    }
    EXPECT_EQ(posts, 2);
    EXPECT_EQ(Take(), (std::set<std::string>{"a.txt", "tex/b.bmp"}));
    std::ifstream saved(root / "a.txt");
    std::string text;
    std::getline(saved, text);
    EXPECT_EQ(text, "the second version");
    EXPECT_FALSE(fs::exists(root / ".a.txt.copy")) << "the hidden file is renamed away";
}

TEST_F(FileChanges, KernelNotificationsTellABurstOnceItSettles)
{
    ASSERT_EQ(PlatformInotifyWatchStart(root.c_str()), WATCH_STARTED);
    Write("a.txt", "saved");
    int took = WaitForPost(2000);
    ASSERT_GE(took, 0) << "no message within 2 s";
    EXPECT_LT(took, 1000) << "the reader must show a save within half a second";
    Sleep(100);
    EXPECT_GE(Posts(), 1);
    EXPECT_EQ(Take(), (std::set<std::string>{"a.txt"}));

    // A burst: many files, one or very few messages, every name once.
    std::set<std::string> written;
    for (int i = 0; i < 10; i++) {
        Write("burst" + std::to_string(i) + ".txt", "x");
        written.insert("burst" + std::to_string(i) + ".txt");
    }
    ASSERT_GE(WaitForPost(2000), 0);
    Sleep(300);
    int posts = Posts();
    EXPECT_GE(posts, 1);
    EXPECT_LT(posts, 10);
    EXPECT_EQ(Take(), written);

    // A folder made after the start is watched too, with what it already
    // holds; deletions, renames into place and hidden files.
    fs::create_directories(root / "misc");
    Write("misc/pic.jpg", "\xFF\xD8\xFF");
    ASSERT_GE(WaitForPost(2000), 0);
    Sleep(300);
    Posts();
    EXPECT_EQ(Take(), (std::set<std::string>{"misc/pic.jpg"}));
    Write("misc/pic.jpg", "changed once more");
    fs::remove(root / "tex/b.bmp");
    Write(".hidden/c.txt", "hidden");
    Write(".swap", "hidden");
    fs::path outside = root.string() + "-outside";
    std::ofstream(outside) << "moved in";
    fs::rename(outside, root / "moved.txt");
    ASSERT_GE(WaitForPost(2000), 0);
    Sleep(300);
    Posts();
    EXPECT_EQ(Take(), (std::set<std::string>{"misc/pic.jpg", "tex/b.bmp", "moved.txt"}));

    // Stopped, it tells nothing more.
    PlatformInotifyWatchStop();
    Write("a.txt", "after the end");
    Sleep(300);
    EXPECT_EQ(Posts(), 0);
    EXPECT_TRUE(Take().empty());
}

TEST_F(FileChanges, KernelNotificationsNeedADirectory)
{
    EXPECT_EQ(PlatformInotifyWatchStart((root / "missing").c_str()), WATCH_FAILED);
    EXPECT_EQ(PlatformInotifyWatchStart((root / "a.txt").c_str()), WATCH_FAILED);
}
