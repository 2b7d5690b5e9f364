// The key-bar clock: ten digit images cut once from "_clkfont.bmp", drawn as
// HHMM with 1 pixel inside a pair and 2 between the pairs, always two digits
// each. A fixed time can replace the local one (for rendering screens).
#include "app/clock.h"

#include "gfx/image.h"
#include "gfx/pixels.h"
#include "platform/platform.h"
#include "store/stackheap.h"

#include <cstring>

struct ClockFont {
    int32_t digitWidth, digitHeight;
    uint32_t *digits[10];
};

struct ClockState {
    ClockFont font;
    int32_t fixedHour, fixedMinute; // negative: the real clock
};

static ClockState clockState = {{0, 0, {}}, -1, -1};

int LoadClockFont()
{
    int32_t width = 0, height = 0;
    uint32_t *picture = LoadBmp("_clkfont.bmp", &width, &height);
    if (!picture)
        return 0;
    ClockFont font = {width / 10, height, {}};
    if (font.digitWidth <= 0) {
        StackheapFree(picture);
        return 0;
    }
    for (int i = 0; i < 10; i++) {
        font.digits[i] = (uint32_t *)StackheapAlloc(font.digitWidth * font.digitHeight * 4);
        if (!font.digits[i]) {
            for (int j = 0; j < i; j++)
                StackheapFree(font.digits[j]);
            StackheapFree(picture);
            return 0;
        }
        for (int32_t y = 0; y < font.digitHeight; y++)
            memcpy(font.digits[i] + (int64_t)y * font.digitWidth,
                   picture + (int64_t)y * width + (int64_t)i * font.digitWidth, (size_t)font.digitWidth * 4);
    }
    StackheapFree(picture);
    // A reload replaces the old digits.
    for (int i = 0; i < 10; i++)
        StackheapFree(clockState.font.digits[i]);
    clockState.font = font;
    return 1;
}

void GetClockTime(int32_t *hour, int32_t *minute)
{
    int32_t h, m;
    if (clockState.fixedHour >= 0 && clockState.fixedMinute >= 0) {
        h = clockState.fixedHour;
        m = clockState.fixedMinute;
    } else {
        SYSTEMTIME now;
        memset(&now, 0, sizeof now);
        GetLocalTime(&now);
        h = now.wHour % 24;
        m = now.wMinute % 60;
    }
    if (hour)
        *hour = h;
    if (minute)
        *minute = m;
}

void DrawClock(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y)
{
    const ClockFont &font = clockState.font;
    if (!font.digits[0])
        return;
    int32_t hour, minute;
    GetClockTime(&hour, &minute);
    const int32_t d = font.digitWidth;
    const int32_t shown[4] = {hour / 10, hour % 10, minute / 10, minute % 10};
    const int32_t offsets[4] = {0, d + 1, 2 * d + 3, 3 * d + 4};
    for (int i = 0; i < 4; i++)
        BlitOpaque(page, pageWidth, pageHeight, x + offsets[i], y, font.digits[shown[i]], d, font.digitHeight);
}

void ClockSetFixedTime(int32_t hour, int32_t minute)
{
    if (hour < 0 || minute < 0) {
        clockState.fixedHour = clockState.fixedMinute = -1;
        return;
    }
    clockState.fixedHour = hour % 24;
    clockState.fixedMinute = minute % 60;
}
