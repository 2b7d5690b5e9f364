// The clock of the key bar: four digits HHMM cut from the bitmap
// "_clkfont.bmp" (ten digits side by side) and drawn opaque into a page.
#pragma once

#include <cstdint>

// Loads "_clkfont.bmp" and cuts the ten digit images. Returns 1, or 0 when the
// bitmap cannot be loaded, is narrower than 10 pixels, or memory runs out (the
// previous font, if any, is then kept).
int LoadClockFont();
// Local hour (0-23) and minute (0-59), or the fixed time when one is set;
// either pointer may be null (never fails).
void GetClockTime(int32_t *hour, int32_t *minute);
// Draws HHMM with its top-left corner at (x, y), clipped to the page; nothing
// before LoadClockFont has succeeded.
void DrawClock(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y);
// Makes GetClockTime report hour:minute (reduced to 0-23 and 0-59); a negative
// hour or minute returns to the real clock.
void ClockSetFixedTime(int32_t hour, int32_t minute);
