// aua — the article layout engine. Loads an article (8-bit text with tags in
// angle brackets), finds its page starts, and lays out and draws one page at a
// time into a 32-bit pixel target: words broken into lines that flow around
// pictures, four alignments, tabs, TrueType fonts by face and style, pictures
// and link rectangles. The same pen/font/colour operations serve the menu and
// the article frame as their text drawing interface.
//
// All engine state is process-wide and single-threaded: one page is laid out
// at a time, and the menu's text drawing shares pen, size, colour and font.
// Every message goes through AuaException (a box titled "Error"); the
// operation then carries on with its documented fallback.
#pragma once

#include "gfx/ttf.h"

#include <cstdint>

enum {
    AUA_MAX_PAGES = 50,      // page table entries of one article
    AUA_MAX_LINKS = 40,      // link rectangles on one page
    AUA_MAX_FONTS = 10,      // font files loaded during the run
    AUA_MAX_BOXES = 10,      // picture obstacle boxes on one page
    AUA_MAX_PENDING = 128,   // words waiting in one line
    AUA_SPARE_BYTES = 128,   // zeroed bytes after the text for the tag look-ahead
};

// The current formatting state; saved with every pending word and at every page start.
struct LayoutState {
    int32_t alignment;       // 0 left, 1 right, 2 center, 3 justified
    char faceName[128];      // face as last given to AuaSelectFont
    char fontFile[128];      // face + style letter + ".TTF"
    int32_t penX;            // pixels from the text rectangle's left edge
    int32_t penY;            // baseline, pixels from the text rectangle's top edge
    int32_t size;            // line height above the baseline; point size for glyphs
    int32_t red, green, blue;
    int32_t bold, italic, underline;
    int32_t linkIndex;       // open link's entry in the page's link table, -1 for none
};

struct AuaRect {
    int32_t left, top, right, bottom;
};

// One loaded article. The caller owns the record; the engine fills it.
struct Article {
    char name[64];                          // as requested, at most 63 characters
    uint8_t *text;                          // textSize bytes + AUA_SPARE_BYTES zeroes; null when empty
    int32_t textSize;
    int32_t pageCount;                      // 0 when the pre-scan failed
    int32_t currentPage;                    // clamped by AuaDrawPage
    int32_t pageStart[AUA_MAX_PAGES];       // byte offset of each page; pageStart[0] = 0
    LayoutState pageState[AUA_MAX_PAGES];   // state in effect at each page start
    int32_t pageStateValid[AUA_MAX_PAGES];
    AuaRect textRect;                       // text rectangle in target pixels
};

// One clickable rectangle. In the engine's table the rectangle is relative to
// the text rectangle (all -1 for a link with no text drawn yet); the list of
// AuaGetLinks is in target coordinates.
struct PageLink {
    int32_t used;
    int32_t left, top, right, bottom;
    char target[256];
    int32_t textPosition;  // offset of its <link> tag in the article text; -1 when not from one
};

// What the layout places, in reading order, for tools that turn an article
// into another form (the HTML export): set with AuaSetWalker, told about by
// AuaDrawPage (a null target lays a page out without drawing). Any callback
// may be null; linkTarget is null outside a link.
struct AuaWalker {
    void *context;
    // A word as it joins its line: its text (a trailing space kept), glued
    // when no space follows it in the source, and the state it was added with.
    void (*word)(void *context, const char *text, int glued, const LayoutState *state, const char *linkTarget);
    // A picture that loaded, with its decoded pixels (width x height,
    // 0x00RRGGBB); placedInline for "image"/"imagetrans" at the pen, 0 for
    // the fixed places of "imagexy"/"imagexytrans".
    void (*picture)(void *context, const char *file, const uint32_t *pixels, int32_t width, int32_t height,
                    int transparent, int placedInline, const char *linkTarget);
    // A "br" tag, after the line before it was drawn.
    void (*lineBreak)(void *context);
    // A tab ("tab" or "ctab") that moved the pen to its next stop.
    void (*tab)(void *context);
    // A word as its line is drawn (or laid out without a target): its text as
    // drawn (a line's last word without its trailing space) and the rectangle
    // it covers in target pixels, as a link's would be: from the pen before
    // it to the pen after it (its space included), from the baseline - size
    // to the baseline + 5. Called with the word's state current, so
    // AuaTextWidth measures in its font and size.
    void (*drawnWord)(void *context, const char *text, const AuaRect *rect);
    // A tag carried out (its effect made, so the state shows it): its name as
    // written and the offset of its '<' in the article text.
    void (*tag)(void *context, const char *name, int32_t position);
};

// [SECTION] Articles and tags

// Reads the file (through DataFileOpen) and pre-scans its pages. Returns 1, or
// 0 when the file is missing, empty-sized beyond reason or memory runs out
// (article left empty: text null, pageCount 0; no message).
int AuaLoadArticle(const char *name, Article *article);
// Returns the text block to Stackheap and empties the record; null text does nothing.
void AuaFreeArticle(Article *article);
// Fills pageStart; returns the page count (at most AUA_MAX_PAGES; further page
// starts are ignored), or 0 after "tag not closed!".
int AuaScanPages(Article *article);
// tagText points after a '<'. Carries out the tag and returns the offset of
// its closing '>' (one more for "<char >>"); 0 after "tag not closed!". Reads
// at most 128 bytes and never past a NUL byte.
int AuaProcessTag(const char *tagText);
// Shows "*** AUA Exception: '<message>'\n" through ErrorBox; returns.
void AuaException(const char *message);
// Number of AuaException calls so far and the last formatted text ("" before
// any); never fail. For tools and tests.
int AuaExceptionCount();
const char *AuaLastException();
// Where the engine is reading: while AuaScanPages or AuaDrawPage runs, the
// byte offset in the article text of the tag ('<') or word being processed
// (of the page start while the page's saved state is restored); -1 at any
// other time. A message raised meanwhile is about the text there. Never fails.
int32_t AuaTextPosition();
// 1-based line and column (counted in bytes) of a byte offset in the
// article's text; an offset beyond the text counts to its end. Never fails.
void AuaLineAndColumn(const Article *article, int32_t offset, int *line, int *column);
// Offset at which the last AuaDrawPage stopped reading (textSize when it read
// to the end); -1 when it read nothing. Text from there to the next page
// start is on no page. Never fails.
int32_t AuaPageEnd();

// [SECTION] Layout

// Lays out and draws page currentPage of the article into the target; null
// pixels lay the page out (pen, links, page states) without drawing. Draws
// nothing (and leaves no links) for an empty article or one whose pre-scan failed.
void AuaDrawPage(uint32_t *pixels, int32_t width, int32_t height, Article *article);
// Appends a word to the current line; "too many words in line!" or
// "word too long!" drop it.
void AuaAddWord(const char *text, int glued);
// Draws the pending words with the current alignment; the pen ends where it was.
void AuaFlushLine();
// penX := 0; penY += size + 5.
void AuaNewLine();
// Flushes and moves the pen to the next multiple of n greater than penX; n <= 0 does nothing.
void AuaTab(int32_t n);
// Smallest left edge of the boxes right of x that overlap the current line,
// else the text rectangle's width (never fails).
int32_t AuaLineLimit(int32_t x);
// Smallest right edge beyond x of the boxes overlapping the current line, else
// the text rectangle's width (never fails).
int32_t AuaSkipObstacle(int32_t x);
// Copies the current state into record (never fails).
void AuaSaveState(LayoutState *record);
// Makes the record current, reselecting its font when the font file differs.
void AuaRestoreState(const LayoutState *record);

// [SECTION] Drawing context, fonts, pictures, links

// Sets the drawing target (null pixels: text moves the pen but draws nothing);
// resets text rectangle to the whole target, pen to
// (0, 0), size to 10 and colour to white. Font, flags, alignment kept.
void AuaSetTarget(uint32_t *pixels, int32_t width, int32_t height);
// Plain setters of the current state (no range checks).
void AuaSetColor(int32_t red, int32_t green, int32_t blue);
void AuaSetSize(int32_t size);
void AuaMoveTo(int32_t x, int32_t y);
// Selects face + "Z"/"B"/"I"/"" + ".TTF", loading it on first use. Failure is
// reported, not returned: the previous font stays in use.
void AuaSelectFont(const char *face, int bold, int italic);
// Number of font files loaded so far (they stay loaded); never fails.
int AuaFontCount();
// Closes every font file loaded and forgets the glyphs drawn from them, so
// that the next selection reads the files again (a font file saved anew is
// the one used). No font is selected until then. Never fails.
void AuaForgetFonts();
// Width in pixels in the current font and size; 0 when no font was ever loaded.
int32_t AuaTextWidth(const char *text);
// Draws a picture (BMP by ".bmp" extension, JPEG otherwise) at x, y relative to
// the text rectangle and reserves its obstacle box; reports and does nothing
// when the file cannot be loaded.
void AuaPlaceImage(const char *file, int32_t x, int32_t y, int transparent);
// Entry index of a new link rectangle, or -1 (table full or target too long).
int AuaAddLink(int32_t left, int32_t top, int32_t right, int32_t bottom, const char *target);
// Entry of a newly opened link, or -1 when one is already open (or no room).
int AuaOpenLink(const char *target);
// Ends the open link; reports when none is open.
void AuaCloseLink();
// The page's links in target coordinates (never null); count receives how many.
const PageLink *AuaGetLinks(int *count);
// Draws a run at the pen in the current state, leaving penX after it, and
// records its rectangle for an open link. Nothing drawn without a font.
void AuaDrawText(const char *text);

// [SECTION] Walking

// From now on the layout tells walker (copied) what it places; null stops it.
void AuaSetWalker(const AuaWalker *walker);
