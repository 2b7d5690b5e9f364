// Standard output caught: what reaches standard output and standard error,
// through stdio or straight to the descriptors, is read back in order, and a
// release gives the descriptors back as they were.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

// Points standard output and standard error at files of their own for the
// life of the record, so that a test sees what gets through to the
// descriptors the catch started from (and the test runner's own printing
// stays out of both).
struct OriginalOutput {
    fs::path outPath, errorPath;
    int savedOut = -1, savedError = -1;

    OriginalOutput()
    {
        std::string stem = "zarn-output-" + std::to_string(getpid());
        outPath = fs::temp_directory_path() / (stem + ".out");
        errorPath = fs::temp_directory_path() / (stem + ".err");
        fflush(stdout);
        fflush(stderr);
        savedOut = dup(STDOUT_FILENO);
        savedError = dup(STDERR_FILENO);
        Point(outPath, STDOUT_FILENO);
        Point(errorPath, STDERR_FILENO);
    }

    ~OriginalOutput()
    {
        Restore();
        fs::remove(outPath);
        fs::remove(errorPath);
    }

    static void Point(const fs::path &path, int target)
    {
        int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, target);
        close(file);
    }

    // The test runner's descriptors back; the files stay for reading.
    void Restore()
    {
        fflush(stdout);
        fflush(stderr);
        if (savedOut >= 0) {
            dup2(savedOut, STDOUT_FILENO);
            close(savedOut);
        }
        if (savedError >= 0) {
            dup2(savedError, STDERR_FILENO);
            close(savedError);
        }
        savedOut = savedError = -1;
    }
};

std::string Contents(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string Caught()
{
    size_t length = 12345;
    const char *text = PlatformCaughtOutput(&length);
    return std::string(text, length);
}

void Say(int descriptor, const std::string &text)
{
    ASSERT_EQ(write(descriptor, text.data(), text.size()), (ssize_t)text.size());
}

} // namespace

TEST(Output, CaughtInOrderAndGivenBack)
{
    std::string caught, again, afterRelease;
    int started;
    {
        OriginalOutput original;
        printf("before\n"); // still in stdio's buffer as the catch begins
        started = PlatformCatchOutput();
        printf("one\n");
        fflush(stdout);
        Say(STDERR_FILENO, "two\n"); // a library writing to the descriptor itself
        fprintf(stderr, "three\n");
        Say(STDOUT_FILENO, "four\n");
        printf("five\n"); // flushed when read back
        caught = Caught();
        again = Caught();
        Say(STDOUT_FILENO, "dropped\n");
        printf("held back\n");
        PlatformReleaseOutput();
        afterRelease = Caught();
        printf("after\n");
        fflush(stdout);
        Say(STDERR_FILENO, "after, on error\n");
        original.Restore();
        EXPECT_EQ(Contents(original.outPath), "before\nafter\n");
        EXPECT_EQ(Contents(original.errorPath), "after, on error\n");
    }
    ASSERT_EQ(started, 1);
    EXPECT_EQ(caught, "one\ntwo\nthree\nfour\nfive\n");
    EXPECT_EQ(again, "") << "each piece is handed out once";
    EXPECT_EQ(afterRelease, "");
}

TEST(Output, WholeBytesOfAnyLength)
{
    std::string big(10000, 'x');
    for (size_t i = 0; i < big.size(); i += 100)
        big[i] = char('a' + i / 100 % 26);
    big[5000] = '\0';
    std::string caught;
    {
        OriginalOutput original;
        ASSERT_EQ(PlatformCatchOutput(), 1);
        Say(STDOUT_FILENO, big);
        caught = Caught();
        PlatformReleaseOutput();
        original.Restore();
        EXPECT_EQ(Contents(original.outPath), "");
    }
    EXPECT_EQ(caught.size(), big.size());
    EXPECT_TRUE(caught == big);
}

TEST(Output, OneCatchAtATime)
{
    int second, third;
    std::string first, fresh;
    {
        OriginalOutput original;
        PlatformReleaseOutput(); // none on: nothing happens
        ASSERT_EQ(PlatformCatchOutput(), 1);
        second = PlatformCatchOutput();
        Say(STDOUT_FILENO, "x");
        first = Caught();
        PlatformReleaseOutput();
        PlatformReleaseOutput();
        third = PlatformCatchOutput();
        Say(STDERR_FILENO, "y");
        fresh = Caught();
        PlatformReleaseOutput();
        Say(STDOUT_FILENO, "z");
        original.Restore();
        EXPECT_EQ(Contents(original.outPath), "z");
        EXPECT_EQ(Contents(original.errorPath), "");
    }
    EXPECT_EQ(second, 0) << "a second catch leaves the first alone";
    EXPECT_EQ(first, "x");
    EXPECT_EQ(third, 1);
    EXPECT_EQ(fresh, "y") << "a new catch starts empty";
}
