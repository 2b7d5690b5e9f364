// menu — the fixed screen furniture of the magazine drawn into a 640 x 480
// page: the main-menu screen (background, key bar, a translucent bevelled
// panel listing the topics with the selection highlighted) and the frame of
// the article screen (background, key bars, top bar, darkened text area,
// neighbouring article titles, page counter). All text is face "verdana" at
// size 10 through the article engine's text operations. The module keeps the
// four start-up pictures, which start-up loads with MenuLoadPictures.
#pragma once

#include "gfx/image.h"

#include <cstdint>

enum { MENU_PAGE_WIDTH = 640, MENU_PAGE_HEIGHT = 480, MENU_ROW_HEIGHT = 14 };

// Menu layout values measured once by MeasureMenu.
struct MenuLayout {
    int32_t topicCount;
    int32_t menuTextWidth;   // widest topic menu text, verdana regular size 10
    int32_t menuHeight;      // MENU_ROW_HEIGHT x topicCount
};

// The four pictures, in load order.
enum { MENU_FULL = 0, MENU_HELP1 = 1, MENU_HELP2 = 2, MENU_TOPBAR = 3, MENU_PICTURES = 4 };

// Loads "_full.jpg", "_help1.jpg", "_help2.jpg", "_topbar.jpg" in this order
// with LoadPicture; all four are tried before any is tested. Returns 1, or 0
// when any failed (the ones that loaded are kept until MenuFreePictures).
int MenuLoadPictures();
// Returns the pictures' pixels to Stackheap in load order (never fails).
void MenuFreePictures();
// One of the four pictures (pixels null when not loaded); never null.
const Picture *MenuGetPicture(int which);
// The file name of one of the four pictures; "" for another number.
const char *MenuPictureName(int which);

// Counts the topics of the configuration table and measures their menu texts,
// drawing nothing into page (which only serves as the text target).
void MeasureMenu(uint32_t *page);
// The values MeasureMenu found (zeroes before it ran); never null.
const MenuLayout *MenuGetLayout();

// "_full.jpg" at (0, 0), then "_help1.jpg" at (0, 400). Missing pictures are skipped.
void DrawMenuBackground(uint32_t *page);
// The panel, the topic texts and the highlight of topic selected.
void DrawMenu(uint32_t *page, int selected);
// "_full.jpg", "_help2.jpg" at (0, 400), "_topbar.jpg", then the text area darkened.
void DrawArticleBackground(uint32_t *page);
// Titles of the articles selected - 1 .. selected + 1 of the topic, and the
// selected one's title and subtitle in the top bar.
void DrawArticleList(uint32_t *page, int selected, const char *topicIdentifier);
// "current/count" at (580, 13).
void DrawPageCounter(uint32_t *page, int current, int count);

// Selects the face all of the above draw their text in (verdana, regular),
// as each of them leaves it: an article's first page starts in it.
void MenuSelectFrameFont();
// The problems of the screen shown by the live preview: a red band across
// the foot of the text area (x 20 to 620, ending at y 396) with one line of
// white text for each, cut with "..." where too long. At most 12 lines: with
// more, the last says how many are left out. Nothing for count 0.
void DrawProblemBand(uint32_t *page, const char *const *lines, int count);
// The search line over the top bar: "_topbar.jpg" at (0, 0), "Search:" and
// text with a cursor after it, and note (null for none) ending at x 630.
void DrawSearchLine(uint32_t *page, const char *text, const char *note);
