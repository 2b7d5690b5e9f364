// Files and folders: what a path names, entering a directory, and the
// folder that holds the running program.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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
