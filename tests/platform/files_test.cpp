// Files and folders: what a path names, entering a directory, the folder
// that holds the running program, canonical paths, names in another case,
// files written whole, and the state and pictures folders.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

TEST(Files, KindsOfPaths)
{
    fs::path root = fs::temp_directory_path() / ("zarn-files-" + std::to_string(getpid()));
    fs::create_directories(root / "folder");
    std::ofstream(root / "plain") << "x";
    std::ofstream(root / "tool") << "#!/bin/sh\n";
    chmod((root / "tool").c_str(), 0755);
    fs::create_symlink(root / "folder", root / "link");

    EXPECT_EQ(PlatformGetFileKind((root / "folder").c_str()), FILE_DIRECTORY);
    EXPECT_EQ(PlatformGetFileKind((root / "link").c_str()), FILE_DIRECTORY); // links are followed
    EXPECT_EQ(PlatformGetFileKind((root / "plain").c_str()), FILE_REGULAR);
    EXPECT_EQ(PlatformGetFileKind((root / "tool").c_str()), FILE_EXECUTABLE);
    EXPECT_EQ(PlatformGetFileKind("/dev/null"), FILE_OTHER);
    EXPECT_EQ(PlatformGetFileKind((root / "missing").c_str()), FILE_MISSING);
    EXPECT_EQ(PlatformGetFileKind(nullptr), FILE_MISSING);
    fs::remove_all(root);
}

TEST(Files, EnteringDirectories)
{
    fs::path before = fs::current_path();
    fs::path root = fs::canonical(fs::temp_directory_path()) / ("zarn-enter-" + std::to_string(getpid()));
    fs::create_directories(root / "inner");
    std::ofstream(root / "plain") << "x";

    ASSERT_EQ(PlatformSetWorkingDirectory(root.c_str()), 1);
    EXPECT_EQ(fs::current_path(), root);
    ASSERT_EQ(PlatformSetWorkingDirectory("inner"), 1); // relative to the last one
    EXPECT_EQ(fs::current_path(), root / "inner");

    // Refusals leave the working directory where it was.
    EXPECT_EQ(PlatformSetWorkingDirectory((root / "plain").c_str()), 0);
    EXPECT_EQ(PlatformSetWorkingDirectory((root / "missing").c_str()), 0);
    EXPECT_EQ(PlatformSetWorkingDirectory(""), 0);
    EXPECT_EQ(PlatformSetWorkingDirectory(nullptr), 0);
    EXPECT_EQ(fs::current_path(), root / "inner");

    fs::current_path(before);
    fs::remove_all(root);
}

TEST(Files, ProgramDirectoryIsWhereThisTestLives)
{
    // Asked from elsewhere: the answer does not depend on the working
    // directory or on how the program was started.
    fs::path before = fs::current_path();
    fs::current_path("/");
    fs::path expected = fs::canonical(fs::path(ZARN_BINARY_DIR) / "tests");
    EXPECT_EQ(fs::path(PlatformProgramDirectory()), expected);
    fs::current_path(before);
}

TEST(Files, CanonicalPathsAndNamesInAnotherCase)
{
    fs::path root = fs::canonical(fs::temp_directory_path()) / ("zarn-names-" + std::to_string(getpid()));
    fs::create_directories(root / "issue");
    std::ofstream(root / "issue" / "ZARN.DAT") << "x";
    std::ofstream(root / "issue" / "Zarn.dat") << "y";
    fs::create_symlink(root / "issue", root / "link");
    char out[4096];

    ASSERT_EQ(PlatformCanonicalPath((root / "link" / ".." / "issue" / ".").c_str(), out, sizeof out), 1);
    EXPECT_EQ(std::string(out), (root / "issue").string());
    ASSERT_EQ(PlatformCanonicalPath((root / "link").c_str(), out, sizeof out), 1);
    EXPECT_EQ(std::string(out), (root / "issue").string()); // links are resolved
    EXPECT_EQ(PlatformCanonicalPath((root / "missing").c_str(), out, sizeof out), 0);
    EXPECT_EQ(PlatformCanonicalPath((root / "issue").c_str(), out, 8), 0); // does not fit
    EXPECT_EQ(PlatformCanonicalPath("", out, sizeof out), 0);

    // The exact name when it exists, else the first match in byte order.
    std::string issue = (root / "issue").string();
    ASSERT_EQ(PlatformFindIgnoringCase((issue + "/Zarn.dat").c_str(), out, sizeof out), 1);
    EXPECT_EQ(std::string(out), issue + "/Zarn.dat");
    ASSERT_EQ(PlatformFindIgnoringCase((issue + "/zarn.dat").c_str(), out, sizeof out), 1);
    EXPECT_EQ(std::string(out), issue + "/ZARN.DAT");
    EXPECT_EQ(PlatformFindIgnoringCase((issue + "/zarn.da").c_str(), out, sizeof out), 0);
    EXPECT_EQ(PlatformFindIgnoringCase((root / "nowhere" / "zarn.dat").c_str(), out, sizeof out), 0);
    // A bare name is looked for in the working directory.
    fs::path before = fs::current_path();
    fs::current_path(issue);
    ASSERT_EQ(PlatformFindIgnoringCase("zArN.dAt", out, sizeof out), 1);
    EXPECT_EQ(std::string(out), "ZARN.DAT");
    fs::current_path(before);
    fs::remove_all(root);
}

TEST(Files, WrittenWholeOrNotAtAll)
{
    fs::path root = fs::temp_directory_path() / ("zarn-atomic-" + std::to_string(getpid()));
    std::string path = (root / "a" / "b" / "state").string();
    const char text[] = "first\n";
    char reason[200] = "untouched";
    ASSERT_EQ(PlatformWriteFileAtomically(path.c_str(), text, sizeof text - 1, reason, sizeof reason), 1); // folders made on the way
    EXPECT_STREQ(reason, "untouched") << "a success leaves the reason alone";
    std::ifstream first(path);
    std::string line;
    std::getline(first, line);
    EXPECT_EQ(line, "first");
    ASSERT_EQ(PlatformWriteFileAtomically(path.c_str(), "second", 6, nullptr, 0), 1);
    EXPECT_EQ(fs::file_size(path), 6u);
    // Nothing beside it is left behind.
    int entries = 0;
    for (const auto &entry : fs::directory_iterator(root / "a" / "b")) {
        (void)entry;
        entries++;
    }
    EXPECT_EQ(entries, 1);

    // A folder that cannot be written keeps the old file whole.
    chmod((root / "a" / "b").c_str(), 0555);
    if (access((root / "a" / "b").c_str(), W_OK) != 0) { // root may write anyway
        EXPECT_EQ(PlatformWriteFileAtomically(path.c_str(), "third!!", 7, reason, sizeof reason), 0);
        EXPECT_STREQ(reason, "cannot create a temporary file beside it: Permission denied");
        EXPECT_EQ(fs::file_size(path), 6u);
    }
    chmod((root / "a" / "b").c_str(), 0755);
    // A file standing where a folder should be.
    std::string blocked = (root / "a" / "b" / "state" / "inner").string();
    EXPECT_EQ(PlatformWriteFileAtomically(blocked.c_str(), "x", 1, reason, sizeof reason), 0);
    EXPECT_STREQ(reason, "cannot make the directories on the way: Not a directory");
    // A folder standing where the file should be: nothing is left beside it.
    fs::create_directories(root / "a" / "folder" / "inside");
    EXPECT_EQ(PlatformWriteFileAtomically((root / "a" / "folder").c_str(), "x", 1, reason, sizeof reason), 0);
    EXPECT_EQ(std::string(reason).rfind("cannot replace it: ", 0), 0u) << reason;
    entries = 0;
    for (const auto &entry : fs::directory_iterator(root / "a")) {
        (void)entry;
        entries++;
    }
    EXPECT_EQ(entries, 2);
    // The reason is cut to its buffer; none is asked for with a null one.
    char small[8];
    memset(small, '#', sizeof small);
    EXPECT_EQ(PlatformWriteFileAtomically(blocked.c_str(), "x", 1, small, sizeof small), 0);
    EXPECT_STREQ(small, "cannot ");
    EXPECT_EQ(PlatformWriteFileAtomically(blocked.c_str(), "x", 1, nullptr, 0), 0);
    EXPECT_EQ(PlatformWriteFileAtomically(nullptr, "x", 1, reason, sizeof reason), 0);
    fs::remove_all(root);
}

TEST(Files, WrittenWithTheUmasksMode)
{
    fs::path root = fs::temp_directory_path() / ("zarn-mode-" + std::to_string(getpid()));
    std::string path = (root / "file").string();
    mode_t before = umask(022);
    EXPECT_EQ(PlatformWriteFileAtomically(path.c_str(), "x", 1, nullptr, 0), 1);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    umask(002);
    EXPECT_EQ(PlatformWriteFileAtomically(path.c_str(), "y", 1, nullptr, 0), 1);
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0664u) << "a replaced file takes the mode of a new one";
    umask(before);
    fs::remove_all(root);
}

// Runs body with the environment variables set (null: unset), then puts them back.
template <typename Body>
void WithEnvironment(std::initializer_list<std::pair<const char *, const char *>> values, Body body)
{
    std::vector<std::pair<std::string, std::string>> saved;
    std::vector<std::string> unset;
    for (const auto &value : values) {
        const char *old = getenv(value.first);
        if (old)
            saved.emplace_back(value.first, old);
        else
            unset.push_back(value.first);
        if (value.second)
            setenv(value.first, value.second, 1);
        else
            unsetenv(value.first);
    }
    body();
    for (const auto &old : saved)
        setenv(old.first.c_str(), old.second.c_str(), 1);
    for (const std::string &name : unset)
        unsetenv(name.c_str());
}

TEST(Files, StateFileAndPicturesFolderFollowTheDesktopsRules)
{
    fs::path root = fs::canonical(fs::temp_directory_path()) / ("zarn-folders-" + std::to_string(getpid()));
    fs::create_directories(root / "home" / ".config");
    fs::create_directories(root / "shots");
    fs::create_directories(root / "Bilder");
    std::string home = (root / "home").string();

    WithEnvironment({{"HOME", home.c_str()}, {"XDG_STATE_HOME", nullptr}}, [&] {
        EXPECT_EQ(std::string(PlatformStateFilePath("positions")), home + "/.local/state/zarn/positions");
    });
    WithEnvironment({{"HOME", home.c_str()}, {"XDG_STATE_HOME", "relative/state"}}, [&] {
        EXPECT_EQ(std::string(PlatformStateFilePath("positions")), home + "/.local/state/zarn/positions");
    });
    WithEnvironment({{"XDG_STATE_HOME", "/var/state"}}, [&] {
        EXPECT_EQ(std::string(PlatformStateFilePath("positions")), "/var/state/zarn/positions");
    });
    WithEnvironment({{"HOME", nullptr}, {"XDG_STATE_HOME", nullptr}},
                    [&] { EXPECT_EQ(PlatformStateFilePath("positions"), nullptr); });

    std::string shots = (root / "shots").string(), bilder = (root / "Bilder").string();
    auto pictures = [] { return std::string(PlatformPicturesDirectory()); };
    WithEnvironment({{"HOME", home.c_str()}, {"XDG_CONFIG_HOME", nullptr}, {"XDG_PICTURES_DIR", nullptr}}, [&] {
        // Nothing names a folder and there is no ~/Pictures: the working directory.
        EXPECT_EQ(pictures(), "");
        fs::create_directories(root / "home" / "Pictures");
        EXPECT_EQ(pictures(), home + "/Pictures");
        // The user-dirs file, with $HOME written out or not; quoted, commented.
        std::ofstream(root / "home" / ".config" / "user-dirs.dirs")
            << "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"" << bilder
            << "\"\n";
        EXPECT_EQ(pictures(), bilder);
        std::ofstream(root / "home" / ".config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/../Bilder\"\n";
        EXPECT_EQ(fs::canonical(pictures()).string(), bilder);
        // $HOME alone turns the folder off; a folder that is not there is passed over.
        std::ofstream(root / "home" / ".config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME\"\n";
        EXPECT_EQ(pictures(), home + "/Pictures");
        std::ofstream(root / "home" / ".config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/gone\"\n";
        EXPECT_EQ(pictures(), home + "/Pictures");
        // The environment comes first.
        setenv("XDG_PICTURES_DIR", shots.c_str(), 1);
        EXPECT_EQ(pictures(), shots);
        unsetenv("XDG_PICTURES_DIR");
    });
    fs::remove_all(root);
}
