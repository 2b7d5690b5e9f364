// The help overlay: every key of the menu and of an article, drawn by the
// program in its own face over the screen darkened; any key closes it.
#pragma once

#include <cstdint>

// One row of the list: the keys, what they do in the menu and in an article
// ("-" for nothing, "the same" when both do the same).
struct HelpRow {
    const char *keys;
    const char *menu;
    const char *article;
};

// The rows in the order shown; count receives their number. Never null.
const HelpRow *HelpRows(int *count);

// Where the columns start, and how wide each may be (pixels).
enum { HELP_KEYS_X = 40, HELP_MENU_X = 160, HELP_ARTICLE_X = 390, HELP_RIGHT = 610 };

// Draws the overlay over page (the frame on the screen): darkened, then the
// title, the column heads, the rows and the closing hint. Never fails.
void DrawHelp(uint32_t *page);

// Shows the overlay (drawn into DrawPage over ShownPage) until a key other
// than a modifier; F11, Alt+Enter and F12 act without closing it. The key
// that closes it does nothing else; ShownPage is shown again. Returns at once
// on a quit or exit request.
void ShowHelp();
