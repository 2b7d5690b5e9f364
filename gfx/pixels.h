// Pixel operations on 32-bit pages (0x00RRGGBB, row stride = width): clipped
// blits (opaque, additive, mask-subtractive, scaled additive), brightening and
// darkening of runs and rectangles, a rectangle copy, and the conversion of a
// finished page to the display surface's layout. Every operation with a fast
// path (SSE2, chosen by the MMX flag) gives the same colours as its plain loop.
// Nothing here allocates; nothing writes outside the page it is given.
#pragma once

#include <cstdint>

// [SECTION] MMX flag

// Sets the MMX flag from CPUID (function 1, EDX bit 23) and returns it; 0 when
// the processor has no CPUID or no MMX.
int DetectMmx();
// The MMX flag: 1 selects the fast paths, 0 the plain loops (never fails).
int GetMmxFlag();
// Forces the MMX flag (non-zero = 1), e.g. so a test can run both paths; on a
// processor without SSE2 the fast paths stay off whatever is asked.
void SetMmxFlag(int flag);

// [SECTION] Conversion to the display layout

// Stores the conversion target. Returns 1, or 0 (target unchanged) when
// formatCode is not 15, 16 or 32 or a size is negative.
int SetConversionFormat(int32_t width, int32_t height, int32_t formatCode);
// Writes count pixels of source into destination as 16-bit 5-5-5 (15),
// 16-bit 5-6-5 with green's low bit 0 (16) or 32-bit copies (32); destination
// holds count 16-bit or 32-bit words. Does nothing when count <= 0.
void ConvertPixels(void *destination, const uint32_t *source, int32_t count);

// [SECTION] Clipped blits (x, y: picture's top-left corner in the page)

// Copies the part of the picture that falls inside the page; nothing when it
// lies wholly outside or a size is 0 or less.
void BlitOpaque(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                const uint32_t *pixels, int32_t width, int32_t height);
// As BlitOpaque, leaving the page alone under picture pixels equal to key.
void BlitKeyed(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
               const uint32_t *pixels, int32_t width, int32_t height, uint32_t key);
// As BlitOpaque, adding each colour byte to the page's, saturating at 255.
void BlitAdd(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
             const uint32_t *pixels, int32_t width, int32_t height);
// Blends a colour into the page through the coverage held in the low byte of
// each picture pixel: each colour byte c becomes (c x (255 - a) + colour x a)
// / 256 and the fourth byte 0. Colour components are limited to 0..255.
// Clipped as above.
void BlitTinted(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                const uint32_t *pixels, int32_t width, int32_t height, int32_t red, int32_t green,
                int32_t blue);
// Subtracts each mask byte from the three colour bytes of the page pixel under
// it, flooring at 0; mask bytes of 0 leave their pixel alone. Clipped as above.
void BlitSubMask(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                 const uint8_t *mask, int32_t width, int32_t height);
// Additive nearest-neighbour copy scaled by scaleX, scaleY (16.16 steps) at a
// fractional position; draws one row fewer than the scaled height. Nothing for
// scales of 0 or less, non-finite values or a picture wholly outside the page.
void BlitAddScaled(uint32_t *page, int32_t pageWidth, int32_t pageHeight, float x, float y,
                   const uint32_t *pixels, int32_t width, int32_t height, float scaleX,
                   float scaleY);

// [SECTION] Runs and rectangles

// Copies pixels x1 <= x < x2, y1 <= y < y2 from source to the same place in
// destination; nothing when x2 <= x1 or y2 <= y1. Columns are kept within
// 0..pageWidth and rows start at 0 at the least; the caller keeps y2 within
// the pages' height (the pages carry no height to check against).
void CopyRect(uint32_t *destination, const uint32_t *source, int32_t pageWidth, int32_t x1,
              int32_t y1, int32_t x2, int32_t y2);
// Adds amount (limited to 255) to the three colour bytes of count pixels,
// saturating; nothing when amount or count is 0 or less.
void BrightenRun(uint32_t *pixels, int32_t count, int32_t amount);
// Subtracts amount (limited to 255) from the three colour bytes of count
// pixels, flooring at 0; nothing when amount or count is 0 or less.
void DarkenRun(uint32_t *pixels, int32_t count, int32_t amount);

// Rectangles are half-open (x0 <= x < x1, y0 <= y < y1) and clipped to the
// page; an empty or wholly outside rectangle does nothing. Amounts outside
// 0..255 are limited to it.
// Each channel c becomes (c + amount) / 2.
void BlendRect(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x0, int32_t y0,
               int32_t x1, int32_t y1, int32_t red, int32_t green, int32_t blue);
// Each channel c becomes min(c + amount, 255).
void BrightenRect(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x0, int32_t y0,
                  int32_t x1, int32_t y1, int32_t red, int32_t green, int32_t blue);
// Each channel c becomes max(c - amount, 0).
void DarkenRect(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x0, int32_t y0,
                int32_t x1, int32_t y1, int32_t red, int32_t green, int32_t blue);
// Opaque copy of a picture at (x, y), clipped to the page like BlitOpaque (a
// picture larger than the room left is cut, never overruns the page).
void BlitPicture(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                 const uint32_t *pixels, int32_t width, int32_t height);

// [SECTION] Decoded rows

// Builds count pixels from samples step bytes apart, the red, green and blue
// bytes of each at the given offsets (B, G, R is 2, 1, 0; one grey byte is
// 0, 0, 0). The loops of the picture decoders, kept with the other pixel
// loops.
void PixelsFromSamples(uint32_t *to, const uint8_t *from, int32_t count, int32_t step, int32_t redAt,
                       int32_t greenAt, int32_t blueAt);
// Looks up count palette indices (a palette holds 256 pixels).
void PixelsFromPalette(uint32_t *to, const uint8_t *indices, int32_t count, const uint32_t *palette);
