// The TrueType layer: fonts loaded with FreeType, glyphs rendered anti-aliased
// into a glyph cache, text measured and blended into 32-bit pixel buffers.
#pragma once

#include <cstdint>

// Glyph metrics in 26.6 fixed point.
struct TtfGlyphMetrics {
    int32_t xMin, yMin, xMax, yMax;
    int32_t bearingX, bearingY;
    int32_t advance;
};

// One loaded font file; copied by value as the layout engine's current font.
// The FreeType handles are kept opaque so that callers need no FreeType header.
struct TtfFont {
    void *face;              // FT_Face
    void *instance;          // the face at one size (FT_Size)
    void *glyph;             // FT_GlyphSlot
    void *charMap;           // FT_CharMap of the Unicode map, null until found
    TtfGlyphMetrics glyphMetrics;
    int32_t xPixelsPerEm, yPixelsPerEm;
    int32_t glyphCount;
    int32_t textLength;
    int32_t currentSize;     // -1 after loading
};

struct GlyphCacheEntry {
    int32_t used;
    int32_t fontSlot;
    int32_t size;
    int32_t character;
    int32_t advance;
    uint32_t *pixels;        // width x height, coverage in every byte; Stackheap block
    int32_t width, height;
    int32_t left;            // x offset of the image from the pen
    int32_t top;             // y offset of the first row from the baseline
};

enum { TTF_CACHE_ENTRIES = 256, TTF_SLOTS_PER_CHARACTER = 10, TTF_MAX_FONT_NAMES = 32 };

// Starts FreeType; reports through TtfError on failure and carries on.
void TtfInit();
// Frees every cached glyph and ends FreeType (closing every face); never fails.
void TtfShutdown();
// 1 on success; 0 (after a TtfError message) when the file cannot be used.
int TtfLoadFont(const char *fileName, TtfFont *font);
// Closes the font's file and empties the record (a copy of it must not be
// used afterwards); an empty record does nothing.
void TtfFreeFont(TtfFont *font);
// Frees every cached glyph, so that text is rendered again from the fonts
// loaded now (a font file saved anew looks new). Never fails.
void TtfForgetGlyphs();
// Slot number of a font file name, compared ignoring ASCII case (slot 0 after "too many fonts!").
int TtfFontSlot(const char *fileName);
// Cache entry of (character, size, slot), or -1.
int TtfFindGlyph(int character, int size, int slot);
// Renders the glyph into a cache entry and returns its number; -1 when the
// glyph cannot be loaded or rendered (the entry is freed again, after a
// TtfError message).
int TtfCacheGlyph(int character, int size, TtfFont *font, int slot);
// Frees one cache entry and its image; an unused or out-of-range entry does nothing.
void TtfEvictGlyph(int entry);
// Glyph indices of up to 1024 bytes of text (byte values are the code points)
// into indices (may be null); returns the count. Without a Unicode map every
// index is 0, after "Font doesn't contain unicode table".
int TtfCharIndices(const char *text, uint32_t *indices, TtfFont *font);
// Coverage image (width x height, Stackheap block) of the outline loaded in
// glyph (an FT_GlyphSlot) with its offsets; null when it is no outline, is
// larger than 4096 pixels a side or memory runs out.
uint32_t *Vx_Render_Single_Glyph(void *glyph, int32_t *width, int32_t *height, int32_t *left, int32_t *top);
// Draws one cached glyph with its top-left at (x + left, baselineY + top),
// clipped to the target; "data NULL in Rendervxchar!" for an entry without image.
void Rendervxchar(uint32_t *target, int targetWidth, int targetHeight, int x, int baselineY, int entry,
                  int red, int green, int blue);
// Draws text at (x, baselineY); returns the x after the last glyph (x for null text).
int TtfDrawString(uint32_t *target, const char *text, int x, int baselineY, int size, int underline,
                  int targetWidth, int targetHeight, int red, int green, int blue, TtfFont *font,
                  const char *fileName);
// Sum of the advances in whole pixels (renders missing glyphs into the cache); 0 for null text.
int TtfStringWidth(const char *text, int size, TtfFont *font, const char *fileName);
// Shows "TTF ERROR: " + message (1024 bytes at most) through ErrorBox; returns.
void TtfError(const char *message);
// Read-only view of one cache entry (for tests and tools); null out of range.
const GlyphCacheEntry *TtfCacheEntry(int entry);
// Number of glyph renderings since TtfInit (for tests and benchmarks; never fails).
int TtfRenderCount();
// The last text shown by TtfError ("" when none since TtfClearLastError).
const char *TtfLastError();
void TtfClearLastError();
