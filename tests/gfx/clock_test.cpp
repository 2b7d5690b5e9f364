// The key-bar clock: digits cut from a bitmap the test writes, placed with
// their spacing at a fixed time, and clipped at the page's right edge.
#include "app/clock.h"

#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Digit i of the font is filled with colour DigitColour(i); columns past the
// ten digits get kLeftOver.
uint32_t DigitColour(int digit) { return 0x00100000u * (uint32_t)(digit + 1) + 0x0000A0u; }
const uint32_t kLeftOver = 0x00FF00FFu;
const uint32_t kPage = 0x00333333u;

void WriteFont(int32_t width, int32_t height)
{
    int32_t digit = width / 10;
    int32_t rowBytes = (width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> file(54 + (size_t)(rowBytes * height), 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++)
            file[at + (size_t)i] = (uint8_t)(v >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(2, (uint32_t)file.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, (uint32_t)width);
    put32(22, (uint32_t)height);
    file[26] = 1;
    file[28] = 24;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            bool inDigit = digit > 0 && x / digit < 10;
            uint32_t c = inDigit ? DigitColour(x / digit) : kLeftOver;
            // Mark each digit's top-left pixel (file rows are bottom-up).
            if (inDigit && y == height - 1 && x % digit == 0)
                c |= 0x00000F00u;
            size_t at = 54 + (size_t)(y * rowBytes + x * 3);
            file[at] = (uint8_t)c;
            file[at + 1] = (uint8_t)(c >> 8);
            file[at + 2] = (uint8_t)(c >> 16);
        }
    }
    std::ofstream out("_clkfont.bmp", std::ios::binary);
    out.write((const char *)file.data(), (std::streamsize)file.size());
}

class ClockTest : public ::testing::Test {
protected:
    std::string previous, directory;
    void SetUp() override
    {
        char name[] = "/tmp/zarn-clock-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(name));
        directory = name;
        previous = std::filesystem::current_path().string();
        std::filesystem::current_path(directory);
        StackheapInit(0);
    }
    void TearDown() override
    {
        ClockSetFixedTime(-1, -1);
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(directory);
    }
};

// Which digit (or -1 for the page) shows in page column x of row y.
int DigitAt(const std::vector<uint32_t> &page, int32_t x, int32_t y)
{
    uint32_t p = page[(size_t)(y * 640 + x)];
    if (p == kPage)
        return -1;
    p &= ~0x00000F00u;
    for (int d = 0; d < 10; d++)
        if (p == DigitColour(d))
            return d;
    return -2;
}

void ExpectClockAt0905(int32_t fontWidth)
{
    WriteFont(fontWidth, 9);
    ASSERT_EQ(1, LoadClockFont());
    ClockSetFixedTime(9, 5);
    std::vector<uint32_t> page(640 * 480, kPage);
    DrawClock(page.data(), 640, 480, 611, 427);
    // 6-pixel digits at 611, 618, 626, 633: ends at 638.
    const int32_t starts[4] = {611, 618, 626, 633};
    const int digits[4] = {0, 9, 0, 5};
    for (int i = 0; i < 4; i++) {
        for (int32_t x = starts[i]; x < starts[i] + 6; x++)
            for (int32_t y = 427; y < 436; y++)
                ASSERT_EQ(digits[i], DigitAt(page, x, y)) << "font " << fontWidth << " x " << x << " y " << y;
        EXPECT_EQ(0x00000F00u, page[(size_t)(427 * 640 + starts[i])] & 0x00000F00u) << "digit's own left column first";
    }
    for (int32_t x : {610, 617, 624, 625, 632, 639})
        EXPECT_EQ(-1, DigitAt(page, x, 430)) << "gap at " << x;
    EXPECT_EQ(-1, DigitAt(page, 615, 426));
    EXPECT_EQ(-1, DigitAt(page, 615, 436));
}

TEST_F(ClockTest, At0905WithSixtyPixelFont)
{
    ExpectClockAt0905(60);
}

TEST_F(ClockTest, SixtyFiveWideFontIgnoresItsLastColumns)
{
    ExpectClockAt0905(65);
}

TEST_F(ClockTest, WideDigitsAreCutAtTheRightEdge)
{
    WriteFont(100, 5); // 10-pixel digits: the last one would reach x 653
    ASSERT_EQ(1, LoadClockFont());
    ClockSetFixedTime(23, 59);
    std::vector<uint32_t> page(640 * 480 + 64, kPage);
    for (size_t i = 640 * 480; i < page.size(); i++)
        page[i] = 0xDEADBEEFu;
    DrawClock(page.data(), 640, 480, 611, 475);
    EXPECT_EQ(2, DigitAt(page, 611, 475));
    EXPECT_EQ(3, DigitAt(page, 622, 475));
    EXPECT_EQ(5, DigitAt(page, 634, 479));
    EXPECT_EQ(5, DigitAt(page, 639, 479));
    for (size_t i = 640 * 480; i < page.size(); i++)
        ASSERT_EQ(0xDEADBEEFu, page[i]);
}

TEST_F(ClockTest, BadFontKeepsThePreviousOne)
{
    WriteFont(60, 9);
    ASSERT_EQ(1, LoadClockFont());
    WriteFont(9, 9); // narrower than ten digits
    EXPECT_EQ(0, LoadClockFont());
    std::filesystem::remove("_clkfont.bmp");
    EXPECT_EQ(0, LoadClockFont());
    ClockSetFixedTime(12, 34);
    std::vector<uint32_t> page(640 * 480, kPage);
    DrawClock(page.data(), 640, 480, 0, 0);
    EXPECT_EQ(1, DigitAt(page, 0, 0));
    EXPECT_EQ(4, DigitAt(page, 3 * 6 + 4, 8));
}

TEST_F(ClockTest, FixedAndRealTime)
{
    int32_t hour = -1, minute = -1;
    ClockSetFixedTime(7, 3);
    GetClockTime(&hour, &minute);
    EXPECT_EQ(7, hour);
    EXPECT_EQ(3, minute);
    ClockSetFixedTime(25, 61); // reduced into range
    GetClockTime(&hour, &minute);
    EXPECT_EQ(1, hour);
    EXPECT_EQ(1, minute);
    ClockSetFixedTime(-1, 0);
    GetClockTime(&hour, &minute);
    EXPECT_GE(hour, 0);
    EXPECT_LE(hour, 23);
    EXPECT_GE(minute, 0);
    EXPECT_LE(minute, 59);
    GetClockTime(nullptr, nullptr);
}

} // namespace
