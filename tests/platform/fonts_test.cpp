// PlatformFindFontFile: the system's font files by family, weight and slant
// (the DejaVu families are installed on every machine that builds Zarn).
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::string Find(const char *family, int bold, int italic)
{
    char path[1024] = "untouched";
    if (!PlatformFindFontFile(family, bold, italic, path, sizeof path))
        return path[0] ? "(failed but wrote '" + std::string(path) + "')" : "";
    return path;
}

std::string Base(const std::string &path)
{
    return std::filesystem::path(path).filename().string();
}

} // namespace

TEST(SystemFonts, FamilyWeightAndSlantChooseTheFile)
{
    ASSERT_EQ(PlatformSelect("headless"), 1);
    EXPECT_EQ(Base(Find("DejaVu Sans", 0, 0)), "DejaVuSans.ttf");
    EXPECT_EQ(Base(Find("DejaVu Sans", 1, 0)), "DejaVuSans-Bold.ttf");
    EXPECT_EQ(Base(Find("DejaVu Sans", 0, 1)), "DejaVuSans-Oblique.ttf");
    EXPECT_EQ(Base(Find("DejaVu Sans", 1, 1)), "DejaVuSans-BoldOblique.ttf");
    EXPECT_EQ(Base(Find("DejaVu Serif", 0, 1)), "DejaVuSerif-Italic.ttf");
    // Family names ignore case.
    EXPECT_EQ(Base(Find("dejavu sans mono", 1, 0)), "DejaVuSansMono-Bold.ttf");
    EXPECT_TRUE(std::filesystem::is_regular_file(Find("DejaVu Sans", 0, 0)));
}

TEST(SystemFonts, AMissingFamilyIsNoneNotTheNearestFace)
{
    ASSERT_EQ(PlatformSelect("headless"), 1);
    EXPECT_EQ(Find("No Such Family Zarn", 0, 0), "");
    // A generic family is whatever the system puts in its place.
    std::string sans = Find("sans-serif", 0, 0);
    EXPECT_TRUE(std::filesystem::is_regular_file(sans)) << sans;
}

TEST(SystemFonts, APathThatDoesNotFitIsRefused)
{
    ASSERT_EQ(PlatformSelect("headless"), 1);
    char tiny[8] = "x";
    EXPECT_EQ(PlatformFindFontFile("DejaVu Sans", 0, 0, tiny, sizeof tiny), 0);
    EXPECT_STREQ(tiny, "");
    EXPECT_EQ(PlatformFindFontFile(nullptr, 0, 0, tiny, sizeof tiny), 0);
}
