// The TrueType layer on FreeType 2: font files opened by bare name, glyphs
// hinted at 96 dpi and rendered as 256-level coverage images into a glyph
// cache of 256 entries (ten renderings per character at most, random
// replacement), and text measured and drawn into 32-bit pages, white text
// added, any other colour blended.
//
// [SECTION] State
// [SECTION] Errors
// [SECTION] Start and end
// [SECTION] Fonts and font slots
// [SECTION] Character map
// [SECTION] Glyph images
// [SECTION] Glyph cache
// [SECTION] Drawing and measuring

#include "gfx/ttf.h"

#include "gfx/display.h"
#include "gfx/pixels.h"
#include "store/stackheap.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// [SECTION] State

namespace {

// Longest font file name kept in a slot; the layout engine's font table holds
// names of up to 127 characters, so slots keep as many and two long names
// never share cached glyphs.
enum { FONT_NAME_BYTES = 128, ERROR_BYTES = 1024 };

// A glyph box larger than this (pixels a side) is refused: no real text size
// comes near it, and it keeps a hostile font from asking for gigabytes.
enum { MAX_GLYPH_SIDE = 4096 };

struct TtfState {
    FT_Library library;
    char fontNames[TTF_MAX_FONT_NAMES][FONT_NAME_BYTES];
    int fontCount;
    int lastSlot;                            // the slot TtfFontSlot found last
    int xPixelsPerEm, yPixelsPerEm;          // of the size last set
    int boxXMin, boxYMin, boxXMax, boxYMax;  // grid-fitted box of the glyph last rendered (26.6)
    GlyphCacheEntry cache[TTF_CACHE_ENTRIES];
    int characterSlots[256][TTF_SLOTS_PER_CHARACTER];
    int renderCount;
    char lastError[ERROR_BYTES];
};

TtfState ttf;

int ClampChannel(int value) { return value < 0 ? 0 : (value > 255 ? 255 : value); }

int LowerAscii(int c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

int SameNameIgnoringCase(const char *a, const char *b, size_t limit) {
    for (size_t i = 0; i < limit; i++) {
        int ca = LowerAscii((unsigned char)a[i]), cb = LowerAscii((unsigned char)b[i]);
        if (ca != cb) return 0;
        if (ca == 0) return 1;
    }
    return 1;
}

void ClearCharacterSlots() {
    for (int c = 0; c < 256; c++)
        for (int s = 0; s < TTF_SLOTS_PER_CHARACTER; s++) ttf.characterSlots[c][s] = -1;
}

}  // namespace

// [SECTION] Errors

void TtfError(const char *message) {
    char text[ERROR_BYTES];
    snprintf(text, sizeof text, "TTF ERROR: %s", message ? message : "");
    memcpy(ttf.lastError, text, sizeof text);
    ErrorBox(text);
}

const char *TtfLastError() { return ttf.lastError; }

void TtfClearLastError() { ttf.lastError[0] = 0; }

// [SECTION] Start and end

void TtfInit() {
    if (!ttf.library && FT_Init_FreeType(&ttf.library) != 0) {
        ttf.library = nullptr;
        TtfError("Error while initializing truetype engine");
    }
    // FreeType 2's smooth rasteriser always gives 256 gray levels, so there
    // is no palette to set. Start from an empty cache (freeing what a
    // previous run left) and no font slots.
    for (int i = 0; i < TTF_CACHE_ENTRIES; i++) {
        if (ttf.cache[i].used) StackheapFree(ttf.cache[i].pixels);
        memset(&ttf.cache[i], 0, sizeof ttf.cache[i]);
    }
    ClearCharacterSlots();
    ttf.fontCount = 0;
    ttf.renderCount = 0;
}

void TtfShutdown() {
    TtfForgetGlyphs();
    // Ending the library closes every face still open.
    if (ttf.library) FT_Done_FreeType(ttf.library);
    ttf.library = nullptr;
    ttf.fontCount = 0;
}

// [SECTION] Fonts and font slots

int TtfLoadFont(const char *fileName, TtfFont *font) {
    if (!font) return 0;
    FT_Face face = nullptr;
    if (!ttf.library || !fileName || FT_New_Face(ttf.library, fileName, 0, &face) != 0) {
        TtfError("Could not load font.\n");
        return 0;
    }
    memset(font, 0, sizeof *font);
    font->face = face;
    font->glyphCount = (int32_t)face->num_glyphs;
    // FreeType 2 keeps one glyph slot and one size object inside the face.
    if (!face->glyph) {
        TtfError("Could not create glyph container.\n");
        return 0;
    }
    font->glyph = face->glyph;
    if (!face->size) {
        TtfError("Could not create instance\n");
        return 0;
    }
    font->instance = face->size;
    font->currentSize = -1;
    return 1;
}

void TtfFreeFont(TtfFont *font) {
    if (!font || !font->face) return;
    if (ttf.library) FT_Done_Face((FT_Face)font->face);
    memset(font, 0, sizeof *font);
}

void TtfForgetGlyphs() {
    for (int i = 0; i < TTF_CACHE_ENTRIES; i++)
        if (ttf.cache[i].used) TtfEvictGlyph(i);
}

int TtfFontSlot(const char *fileName) {
    if (!fileName) fileName = "";
    // Text is drawn and measured in runs of one font: the slot found last is
    // the likely one. Names in the table are unique, so this is the first match.
    if (ttf.lastSlot < ttf.fontCount &&
        SameNameIgnoringCase(ttf.fontNames[ttf.lastSlot], fileName, FONT_NAME_BYTES - 1))
        return ttf.lastSlot;
    for (int i = 0; i < ttf.fontCount; i++)
        if (SameNameIgnoringCase(ttf.fontNames[i], fileName, FONT_NAME_BYTES - 1)) return ttf.lastSlot = i;
    if (ttf.fontCount >= TTF_MAX_FONT_NAMES) {
        TtfError("too many fonts!");
        return 0;
    }
    snprintf(ttf.fontNames[ttf.fontCount], FONT_NAME_BYTES, "%s", fileName);
    return ttf.lastSlot = ttf.fontCount++;
}

void TtfForgetFontSlots(int keep) {
    if (keep < 0) keep = 0;
    if (keep >= ttf.fontCount) return;
    for (int i = 0; i < TTF_CACHE_ENTRIES; i++)
        if (ttf.cache[i].used && ttf.cache[i].fontSlot >= keep) TtfEvictGlyph(i);
    ttf.fontCount = keep;
}

// [SECTION] Character map

// Finds the Unicode map once per font record: (3,1) or (0,0) first, then
// whatever FreeType itself accepts as Unicode.
static FT_CharMap FindUnicodeMap(TtfFont *font) {
    FT_Face face = (FT_Face)font->face;
    if (font->charMap) return (FT_CharMap)font->charMap;
    FT_CharMap found = nullptr;
    for (int i = 0; i < face->num_charmaps && !found; i++) {
        FT_CharMap map = face->charmaps[i];
        if ((map->platform_id == 3 && map->encoding_id == 1) || (map->platform_id == 0 && map->encoding_id == 0))
            found = map;
    }
    if (found) {
        FT_Set_Charmap(face, found);
    } else if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) == 0) {
        found = face->charmap;
    }
    if (!found) {
        TtfError("Font doesn't contain unicode table");
        return nullptr;
    }
    font->charMap = found;
    return found;
}

int TtfCharIndices(const char *text, uint32_t *indices, TtfFont *font) {
    int count = 0;
    if (!text || !font || !font->face) return 0;
    FT_CharMap map = FindUnicodeMap(font);
    const unsigned char *bytes = (const unsigned char *)text;
    while (count < 1024 && bytes[count]) {
        // Byte values are the code points: 0x80..0xFF are U+0080..U+00FF.
        if (indices) indices[count] = map ? FT_Get_Char_Index((FT_Face)font->face, bytes[count]) : 0;
        count++;
    }
    font->textLength = count;
    return count;
}

// [SECTION] Glyph images

uint32_t *Vx_Render_Single_Glyph(void *glyph, int32_t *width, int32_t *height, int32_t *left, int32_t *top) {
    FT_GlyphSlot slot = (FT_GlyphSlot)glyph;
    if (!slot || slot->format != FT_GLYPH_FORMAT_OUTLINE) return nullptr;
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    // Grid-fit outwards; the image spans one pixel beyond the box's right and
    // top edges, as the layout's baseline arithmetic expects.
    FT_Pos xMin = box.xMin & ~(FT_Pos)63, yMin = box.yMin & ~(FT_Pos)63;
    FT_Pos xMax = (box.xMax + 63) & ~(FT_Pos)63, yMax = (box.yMax + 63) & ~(FT_Pos)63;
    ttf.boxXMin = (int)xMin;
    ttf.boxYMin = (int)yMin;
    ttf.boxXMax = (int)xMax;
    ttf.boxYMax = (int)yMax;
    long long imageWidth = (xMax - xMin) / 64 + 1, imageHeight = (yMax - yMin) / 64 + 1;
    if (imageWidth > MAX_GLYPH_SIDE || imageHeight > MAX_GLYPH_SIDE) return nullptr;

    // The raster map is exactly the image's size: rows top first, one byte a pixel.
    int mapPitch = (int)((imageWidth + 3) & ~3LL);
    int32_t mapBytes = mapPitch * (int32_t)imageHeight;
    unsigned char *map = (unsigned char *)StackheapAlloc(mapBytes);
    if (!map) {
        printf("cant alloc bitmap! size=%i\a\n", (int)mapBytes);
        return nullptr;
    }
    memset(map, 0, (size_t)mapBytes);
    if (slot->outline.n_contours > 0) {
        FT_Bitmap bitmap;
        memset(&bitmap, 0, sizeof bitmap);
        bitmap.rows = (unsigned)imageHeight;
        bitmap.width = (unsigned)imageWidth;
        bitmap.pitch = mapPitch;
        bitmap.buffer = map;
        bitmap.num_grays = 256;
        bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
        // The box's bottom-left corner goes to the map's bottom-left pixel;
        // the map's top row stays empty (the extra row above the box).
        FT_Outline_Translate(&slot->outline, -xMin, -yMin);
        FT_Error error = FT_Outline_Get_Bitmap(slot->library, &slot->outline, &bitmap);
        FT_Outline_Translate(&slot->outline, xMin, yMin);
        if (error) {
            StackheapFree(map);
            return nullptr;
        }
    }
    uint32_t *image = (uint32_t *)StackheapAlloc((int32_t)(imageWidth * imageHeight * 4));
    if (!image) {
        StackheapFree(map);
        return nullptr;
    }
    for (int row = 0; row < imageHeight; row++) {
        const unsigned char *from = map + (size_t)row * mapPitch;
        uint32_t *to = image + (size_t)row * imageWidth;
        for (int column = 0; column < imageWidth; column++) to[column] = from[column] * 0x01010101u;
    }
    StackheapFree(map);
    *width = (int32_t)imageWidth;
    *height = (int32_t)imageHeight;
    *left = (int32_t)(xMin / 64);
    *top = (int32_t)(-(yMax / 64));
    return image;
}

// [SECTION] Glyph cache

int TtfFindGlyph(int character, int size, int slot) {
    if (character < 0 || character > 255) return -1;
    for (int s = 0; s < TTF_SLOTS_PER_CHARACTER; s++) {
        int entry = ttf.characterSlots[character][s];
        if (entry < 0) continue;
        const GlyphCacheEntry &e = ttf.cache[entry];
        if (e.used && e.fontSlot == slot && e.size == size && e.character == character) return entry;
    }
    return -1;
}

void TtfEvictGlyph(int entry) {
    if (entry < 0 || entry >= TTF_CACHE_ENTRIES) return;
    GlyphCacheEntry &e = ttf.cache[entry];
    if (e.character >= 0 && e.character <= 255) {
        for (int s = 0; s < TTF_SLOTS_PER_CHARACTER; s++) {
            if (ttf.characterSlots[e.character][s] == entry) {
                ttf.characterSlots[e.character][s] = -1;
                break;
            }
        }
    }
    StackheapFree(e.pixels);
    memset(&e, 0, sizeof e);
}

// Pixels per em of a size in points at 96 dpi: size x 4/3, rounded down.
// FreeType would round a point size to the nearest pixel instead (size 8
// would give 11 px, not 10), so the size is always set in whole pixels.
// Sizes too small for a pixel get one, as FreeType would give them.
static FT_UInt PixelsPerEm(int size) {
    long long pixels = (long long)size * 96 / 72;
    if (pixels < 1) return 1;
    return pixels > 0xFFFF ? 0xFFFF : (FT_UInt)pixels;
}

int TtfCacheGlyph(int character, int size, TtfFont *font, int slot) {
    if (character < 0 || character > 255 || !font || !font->face) return -1;
    int entry = -1;
    for (int i = 0; i < TTF_CACHE_ENTRIES && entry < 0; i++)
        if (!ttf.cache[i].used) entry = i;
    if (entry < 0) {
        entry = std::rand() % TTF_CACHE_ENTRIES;
        TtfEvictGlyph(entry);
    }
    GlyphCacheEntry &e = ttf.cache[entry];
    e.used = 1;
    e.fontSlot = slot;
    e.size = size;
    e.character = character;

    int *slots = ttf.characterSlots[character];
    int freeSlot = -1;
    for (int s = 0; s < TTF_SLOTS_PER_CHARACTER && freeSlot < 0; s++)
        if (slots[s] < 0) freeSlot = s;
    if (freeSlot < 0) {
        freeSlot = std::rand() % TTF_SLOTS_PER_CHARACTER;
        TtfEvictGlyph(slots[freeSlot]);
    }
    slots[freeSlot] = entry;

    FT_Face face = (FT_Face)font->face;
    // currentSize is never updated, so every rendering sets the size again.
    if (size != font->currentSize) {
        if (FT_Set_Pixel_Sizes(face, 0, PixelsPerEm(size)) != 0) TtfError("Could not reset instance");
        ttf.xPixelsPerEm = face->size->metrics.x_ppem;
        ttf.yPixelsPerEm = face->size->metrics.y_ppem;
        font->xPixelsPerEm = ttf.xPixelsPerEm;
        font->yPixelsPerEm = ttf.yPixelsPerEm;
    }
    char one[2] = {(char)character, 0};
    uint32_t index = 0;
    TtfCharIndices(one, &index, font);
    ttf.renderCount++;

    // Outlines only (hinted and scaled); embedded bitmaps are skipped.
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP) != 0) {
        TtfError("can't load truetype char!");
        TtfEvictGlyph(entry);
        return -1;
    }
    FT_GlyphSlot glyph = face->glyph;
    font->glyph = glyph;
    const FT_Glyph_Metrics &m = glyph->metrics;
    font->glyphMetrics.xMin = (int32_t)m.horiBearingX;
    font->glyphMetrics.yMax = (int32_t)m.horiBearingY;
    font->glyphMetrics.xMax = (int32_t)(m.horiBearingX + m.width);
    font->glyphMetrics.yMin = (int32_t)(m.horiBearingY - m.height);
    font->glyphMetrics.bearingX = (int32_t)m.horiBearingX;
    font->glyphMetrics.bearingY = (int32_t)m.horiBearingY;
    font->glyphMetrics.advance = (int32_t)m.horiAdvance;

    e.pixels = Vx_Render_Single_Glyph(glyph, &e.width, &e.height, &e.left, &e.top);
    if (!e.pixels) {
        // An entry without an image would only fail again when drawn: drop it.
        TtfError("error in Vx_Render_Single_Glyph!");
        TtfEvictGlyph(entry);
        return -1;
    }
    e.advance = (int32_t)std::floor(font->glyphMetrics.advance / 64.0 + 0.5);
    return entry;
}

const GlyphCacheEntry *TtfCacheEntry(int entry) {
    if (entry < 0 || entry >= TTF_CACHE_ENTRIES) return nullptr;
    return &ttf.cache[entry];
}

int TtfRenderCount() { return ttf.renderCount; }

// [SECTION] Drawing and measuring

void Rendervxchar(uint32_t *target, int targetWidth, int targetHeight, int x, int baselineY, int entry,
                  int red, int green, int blue) {
    const GlyphCacheEntry *e = TtfCacheEntry(entry);
    if (!e || !e->pixels) {
        TtfError("data NULL in Rendervxchar!");
        return;
    }
    if (!target || targetWidth <= 0 || targetHeight <= 0) return;
    int x0 = x + e->left, y0 = baselineY + e->top;
    if (red >= 255 && green >= 255 && blue >= 255) {
        BlitAdd(target, targetWidth, targetHeight, x0, y0, e->pixels, e->width, e->height);
        return;
    }
    BlitTinted(target, targetWidth, targetHeight, x0, y0, e->pixels, e->width, e->height, red, green, blue);
}

// Entry of (c, size, slot), rendering it when it is not cached; -1 when it
// cannot be rendered.
static int GlyphFor(int c, int size, TtfFont *font, int slot) {
    int entry = TtfFindGlyph(c, size, slot);
    return entry >= 0 ? entry : TtfCacheGlyph(c, size, font, slot);
}

int TtfDrawString(uint32_t *target, const char *text, int x, int baselineY, int size, int underline,
                  int targetWidth, int targetHeight, int red, int green, int blue, TtfFont *font,
                  const char *fileName) {
    if (!text) return x;
    int slot = TtfFontSlot(fileName);
    uint32_t colour = ((uint32_t)ClampChannel(red) << 16) + ((uint32_t)ClampChannel(green) << 8) +
                      (uint32_t)ClampChannel(blue);
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        int entry = GlyphFor(*p, size, font, slot);
        if (entry < 0) continue;  // nothing drawn, no advance
        Rendervxchar(target, targetWidth, targetHeight, x, baselineY, entry, red, green, blue);
        int advance = ttf.cache[entry].advance;
        int row = baselineY + 2;
        // The underline is written, not blended, and kept inside the target.
        if (underline && *p != ' ' && target && row >= 0 && row < targetHeight) {
            int from = x < 0 ? 0 : x, to = x + advance > targetWidth ? targetWidth : x + advance;
            for (int column = from; column < to; column++) target[(size_t)row * targetWidth + column] = colour;
        }
        x += advance;
    }
    return x;
}

int TtfStringWidth(const char *text, int size, TtfFont *font, const char *fileName) {
    if (!text) return 0;
    int slot = TtfFontSlot(fileName);
    int width = 0;
    for (const unsigned char *p = (const unsigned char *)text; *p; p++) {
        int entry = GlyphFor(*p, size, font, slot);
        if (entry >= 0) width += ttf.cache[entry].advance;
    }
    return width;
}
