// Search: the search line over the top bar (open or closed, the text typed,
// a note when nothing was found), finding the next page whose text contains
// the typed text in reading order over the whole issue, and the rectangles
// of the matches on a page as it is composed. The text searched is what the
// layout engine draws: its words as drawn, read in order.
#pragma once

#include "app/reading.h"

#include <cstdint>

enum {
    SEARCH_TEXT_BYTES = 64,    // the typed text: at most 63 characters
    SEARCH_MAX_RECTS = 256,    // match rectangles lit on one page
    SEARCH_PAGE_BYTES = 16384, // the text of one page that is searched
};

// What a key did to the search line (SearchTakeInput).
enum SearchAction {
    SEARCH_NOTHING = 0, // no key for the line
    SEARCH_CHANGED = 1, // the text changed: redraw the line
    SEARCH_FIND = 2,    // Enter with some text: find the next page
    SEARCH_CLOSED = 3,  // Esc closed the line
};

// Opens the line empty (nothing lit) / closes it (nothing lit any more).
void SearchOpen();
void SearchClose();
// 1 while the line is open.
int SearchIsOpen();
// The text typed (never null).
const char *SearchText();
// The note the line shows ("" for none; never null).
const char *SearchNote();
// Sets the note: 1 "nothing found", 0 none. Typing clears it.
void SearchSetNotFound(int notFound);
// The text whose matches are lit ("" for none): set by SearchLight after a find.
const char *SearchLitText();
void SearchLight(const char *text);

// Takes the line's keys from InputState while it is open: the characters
// typed (Latin-1 ones; others are dropped), Backspace, Enter and Esc, and the
// letter, digit and blank keys whose characters were typed. Other keys stay
// in lastKey for the loop. The typed characters are always taken.
SearchAction SearchTakeInput();

// The next page after from (at from too when includeFrom) in reading order,
// over every topic and article and wrapping at the end, whose text contains
// text ignoring case. 1 with *found, 0 when no page does (or text is empty).
int SearchFindPage(const char *text, const ReadingPosition *from, int includeFrom, ReadingPosition *found);

// Whether the text of the article's current page contains text ignoring
// case; the page is laid out without drawing (its earlier pages' states must
// be known, see ReadingTurnTo).
int SearchPageContains(Article *article, const char *text);

// While a page is composed between SearchCollectBegin and SearchCollectEnd,
// its drawn words are kept; SearchMatchRects then gives the rectangles
// (target pixels) of every match of text on it, at most max. Returns the count.
void SearchCollectBegin();
void SearchCollectEnd();
int SearchMatchRects(const char *text, AuaRect *rects, int max);
