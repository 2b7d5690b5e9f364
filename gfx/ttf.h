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
// Frees every cached glyph and ends FreeType.
void TtfShutdown();
// 1 on success; 0 (after a TtfError message) when the file cannot be used.
int TtfLoadFont(const char *fileName, TtfFont *font);
// Slot number of a font file name (slot 0 after "too many fonts!").
int TtfFontSlot(const char *fileName);
// Cache entry of (character, size, slot), or -1.
int TtfFindGlyph(int character, int size, int slot);
// Renders the glyph into a cache entry and returns its number (an entry
// without an image when rendering failed).
int TtfCacheGlyph(int character, int size, TtfFont *font, int slot);
void TtfEvictGlyph(int entry);
// Draws one cached glyph with its top-left at (x + left, baselineY + top).
void Rendervxchar(uint32_t *target, int targetWidth, int targetHeight, int x, int baselineY, int entry,
                  int red, int green, int blue);
// Draws text at (x, baselineY); returns the x after the last glyph.
int TtfDrawString(uint32_t *target, const char *text, int x, int baselineY, int size, int underline,
                  int targetWidth, int targetHeight, int red, int green, int blue, TtfFont *font,
                  const char *fileName);
// Sum of the advances in whole pixels (renders missing glyphs into the cache).
int TtfStringWidth(const char *text, int size, TtfFont *font, const char *fileName);
// Shows "TTF ERROR: " + message through ErrorBox; returns.
void TtfError(const char *message);
// Read-only view of one cache entry (for tests and tools).
const GlyphCacheEntry *TtfCacheEntry(int entry);
