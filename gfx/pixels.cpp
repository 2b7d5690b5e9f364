// Pixel operations on 32-bit pages: clipping, the per-pixel rules (plain loops
// byte by byte) and their SSE2 fast paths, four pixels per step with packed
// saturating byte arithmetic. Each fast path finishes its odd tail with the
// plain rule, so the two paths agree on every pixel and byte.
//
// [SECTION] State and MMX flag
// [SECTION] Per-pixel rules
// [SECTION] Conversion
// [SECTION] Clipping
// [SECTION] Blits
// [SECTION] Scaled blit
// [SECTION] Runs and rectangles
// [SECTION] Decoded rows
#include "gfx/pixels.h"

#include "platform/platform.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define PIXELS_HAVE_SSE2 1
#else
#define PIXELS_HAVE_SSE2 0
#endif

// [SECTION] State and MMX flag --------------------------------------------

struct PixelsState {
    int mmx;                 // 1 = fast paths
    int32_t targetWidth, targetHeight;
    int32_t formatCode;      // 15, 16 or 32
};

static PixelsState pixelState = {0, 640, 480, 32};

int DetectMmx()
{
    uint32_t registers[4] = {0, 0, 0, 0};
    int flag = 0;
    if (PlatformHasCpuid()) {
        PlatformCpuid(1, registers);
        flag = (registers[3] >> 23) & 1;
    }
    SetMmxFlag(flag);
    return pixelState.mmx;
}

int GetMmxFlag()
{
    return pixelState.mmx;
}

void SetMmxFlag(int flag)
{
    pixelState.mmx = (flag && PIXELS_HAVE_SSE2) ? 1 : 0;
}

// [SECTION] Per-pixel rules -------------------------------------------------
// The fourth byte: additive and subtractive rules keep the page's; nothing
// here gives it meaning, but both paths must treat it alike.

static inline uint32_t AddPixel(uint32_t page, uint32_t add)
{
    uint32_t result = page & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        uint32_t sum = ((page >> shift) & 0xFF) + ((add >> shift) & 0xFF);
        result |= (sum > 255 ? 255u : sum) << shift;
    }
    return result;
}

static inline uint32_t SubPixel(uint32_t page, uint32_t amount)
{
    uint32_t result = page & 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        int32_t difference = (int32_t)((page >> shift) & 0xFF) - (int32_t)amount;
        result |= (uint32_t)(difference < 0 ? 0 : difference) << shift;
    }
    return result;
}

static inline uint32_t BrightenPixel(uint32_t page, uint32_t amount)
{
    return AddPixel(page, amount * 0x010101u);
}

static inline int32_t ClampAmount(int32_t amount)
{
    return amount < 0 ? 0 : (amount > 255 ? 255 : amount);
}

// [SECTION] Conversion ------------------------------------------------------

int SetConversionFormat(int32_t width, int32_t height, int32_t formatCode)
{
    if ((formatCode != 15 && formatCode != 16 && formatCode != 32) || width < 0 || height < 0)
        return 0;
    pixelState.targetWidth = width;
    pixelState.targetHeight = height;
    pixelState.formatCode = formatCode;
    return 1;
}

static inline uint16_t To15(uint32_t p)
{
    return (uint16_t)(((p >> 9) & 0x7C00) | ((p >> 6) & 0x03E0) | ((p >> 3) & 0x001F));
}

static inline uint16_t To16(uint32_t p)
{
    return (uint16_t)(((p >> 8) & 0xF800) | ((p >> 5) & 0x07C0) | ((p >> 3) & 0x001F));
}

#if PIXELS_HAVE_SSE2
// Four pixels to 16-bit values in the low halves of their lanes. Red and blue
// (top 5 bits each) are moved by one multiply-add of 16-bit halves into a
// layout where green needs no move at all; one shift then finishes all three.
// 16: blue x 4, red x 8192, shift 5; 15: blue x 8, red x 8192, shift 6.
// The shift is a constant: where SSE2 is emulated (WebAssembly SIMD) a count
// known only at run time costs a test at every step, or a shift per lane.
template <int shift>
static inline __m128i Fast16(__m128i p, __m128i factors)
{
    __m128i redBlue = _mm_madd_epi16(_mm_and_si128(p, _mm_set1_epi32(0x00F800F8)), factors);
    __m128i green = _mm_and_si128(p, _mm_set1_epi32(0x0000F800));
    return _mm_srli_epi32(_mm_or_si128(redBlue, green), shift);
}

// Packs two vectors of 16-bit values held in 32-bit lanes. packs_epi32
// saturates signed values, so the values are biased into its range and back.
static inline __m128i PackLow16(__m128i a, __m128i b)
{
    const __m128i bias = _mm_set1_epi32(0x8000);
    __m128i packed = _mm_packs_epi32(_mm_sub_epi32(a, bias), _mm_sub_epi32(b, bias));
    return _mm_xor_si128(packed, _mm_set1_epi16((short)0x8000));
}

// The pixels of whole steps of eight; returns how many were done.
template <int shift, int blueFactor>
static int32_t ConvertFast(uint16_t *out, const uint32_t *source, int32_t count)
{
    const __m128i factors = _mm_set1_epi32((8192 << 16) | blueFactor);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m128i a = Fast16<shift>(_mm_loadu_si128((const __m128i *)(source + i)), factors);
        __m128i b = Fast16<shift>(_mm_loadu_si128((const __m128i *)(source + i + 4)), factors);
        __m128i c = Fast16<shift>(_mm_loadu_si128((const __m128i *)(source + i + 8)), factors);
        __m128i d = Fast16<shift>(_mm_loadu_si128((const __m128i *)(source + i + 12)), factors);
        _mm_storeu_si128((__m128i *)(out + i), PackLow16(a, b));
        _mm_storeu_si128((__m128i *)(out + i + 8), PackLow16(c, d));
    }
    for (; i + 8 <= count; i += 8) {
        __m128i a = Fast16<shift>(_mm_loadu_si128((const __m128i *)(source + i)), factors);
        __m128i b = Fast16<shift>(_mm_loadu_si128((const __m128i *)(source + i + 4)), factors);
        _mm_storeu_si128((__m128i *)(out + i), PackLow16(a, b));
    }
    return i;
}
#endif

void ConvertPixels(void *destination, const uint32_t *source, int32_t count)
{
    if (!destination || !source || count <= 0)
        return;
    if (pixelState.formatCode == 32) {
        memcpy(destination, source, (size_t)count * 4);
        return;
    }
    uint16_t *out = (uint16_t *)destination;
    int32_t i = 0;
#if PIXELS_HAVE_SSE2
    if (pixelState.mmx)
        i = pixelState.formatCode == 16 ? ConvertFast<5, 4>(out, source, count) : ConvertFast<6, 8>(out, source, count);
#endif
    if (pixelState.formatCode == 16) {
        for (; i < count; i++)
            out[i] = To16(source[i]);
    } else {
        for (; i < count; i++)
            out[i] = To15(source[i]);
    }
}

// [SECTION] Clipping --------------------------------------------------------

struct BlitClip {
    int32_t sourceX, sourceY; // first visible source column and row
    int32_t pageX, pageY;     // where they land
    int32_t columns, rows;    // visible size
};

// False when nothing is visible (or an argument is unusable).
static bool ClipBlit(const void *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                     const void *pixels, int32_t width, int32_t height, BlitClip *clip)
{
    if (!page || !pixels || pageWidth <= 0 || pageHeight <= 0 || width <= 0 || height <= 0)
        return false;
    int64_t right = (int64_t)x + width, bottom = (int64_t)y + height;
    if (right <= 0 || bottom <= 0 || x >= pageWidth || y >= pageHeight)
        return false;
    clip->sourceY = y < 0 ? -y : 0;
    clip->pageY = y < 0 ? 0 : y;
    clip->rows = (int32_t)((bottom > pageHeight ? pageHeight : bottom) - clip->pageY);
    clip->sourceX = x < 0 ? -x : 0;
    clip->pageX = x < 0 ? 0 : x;
    clip->columns = (int32_t)((right > pageWidth ? pageWidth : right) - clip->pageX);
    return clip->rows > 0 && clip->columns > 0;
}

// Calls row(to, from, count) for each row of the picture that falls inside
// the page, with its visible part.
template <typename Sample, typename Row>
static void ForVisibleRows(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                           const Sample *pixels, int32_t width, int32_t height, Row row)
{
    BlitClip clip;
    if (!ClipBlit(page, pageWidth, pageHeight, x, y, pixels, width, height, &clip))
        return;
    for (int32_t r = 0; r < clip.rows; r++)
        row(page + (ptrdiff_t)(clip.pageY + r) * pageWidth + clip.pageX,
            pixels + (ptrdiff_t)(clip.sourceY + r) * width + clip.sourceX, clip.columns);
}

// [SECTION] Blits -----------------------------------------------------------

void BlitOpaque(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                const uint32_t *pixels, int32_t width, int32_t height)
{
    ForVisibleRows(page, pageWidth, pageHeight, x, y, pixels, width, height,
                   [](uint32_t *to, const uint32_t *from, int32_t count) { memcpy(to, from, (size_t)count * 4); });
}

void BlitKeyed(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
               const uint32_t *pixels, int32_t width, int32_t height, uint32_t key)
{
    ForVisibleRows(page, pageWidth, pageHeight, x, y, pixels, width, height,
                   [key](uint32_t *to, const uint32_t *from, int32_t count) {
                       for (int32_t i = 0; i < count; i++)
                           if (from[i] != key)
                               to[i] = from[i];
                   });
}

static void AddRow(uint32_t *to, const uint32_t *from, int32_t count)
{
    int32_t i = 0;
#if PIXELS_HAVE_SSE2
    if (pixelState.mmx) {
        const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
        for (; i + 4 <= count; i += 4) {
            __m128i a = _mm_loadu_si128((const __m128i *)(to + i));
            __m128i b = _mm_and_si128(_mm_loadu_si128((const __m128i *)(from + i)), colour);
            _mm_storeu_si128((__m128i *)(to + i), _mm_adds_epu8(a, b));
        }
    }
#endif
    for (; i < count; i++)
        to[i] = AddPixel(to[i], from[i]);
}

void BlitAdd(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
             const uint32_t *pixels, int32_t width, int32_t height)
{
    ForVisibleRows(page, pageWidth, pageHeight, x, y, pixels, width, height, AddRow);
}

static void SubMaskRow(uint32_t *to, const uint8_t *mask, int32_t count)
{
    int32_t i = 0;
#if PIXELS_HAVE_SSE2
    if (pixelState.mmx) {
        const __m128i zero = _mm_setzero_si128();
        for (; i + 4 <= count; i += 4) {
            int32_t four;
            memcpy(&four, mask + i, 4);
            // Subtracting 0 leaves a byte as it is, so mask 0 needs no test here.
            __m128i m = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero), zero);
            m = _mm_or_si128(_mm_or_si128(m, _mm_slli_epi32(m, 8)), _mm_slli_epi32(m, 16));
            __m128i a = _mm_loadu_si128((const __m128i *)(to + i));
            _mm_storeu_si128((__m128i *)(to + i), _mm_subs_epu8(a, m));
        }
    }
#endif
    for (; i < count; i++) {
        if (mask[i])
            to[i] = SubPixel(to[i], mask[i]);
    }
}

void BlitSubMask(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                 const uint8_t *mask, int32_t width, int32_t height)
{
    ForVisibleRows(page, pageWidth, pageHeight, x, y, mask, width, height, SubMaskRow);
}

void BlitPicture(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                 const uint32_t *pixels, int32_t width, int32_t height)
{
    BlitOpaque(page, pageWidth, pageHeight, x, y, pixels, width, height);
}

// (page byte x (255 - a) + colour byte x a) >> 8 for each colour byte; the
// fourth byte becomes 0. a = 0 still darkens the page a little, as the rule
// says; the two paths agree on that too.
static inline uint32_t TintPixel(uint32_t page, uint32_t a, uint32_t red, uint32_t green, uint32_t blue)
{
    uint32_t r = (((page >> 16) & 0xFF) * (255 - a) + red * a) >> 8;
    uint32_t g = (((page >> 8) & 0xFF) * (255 - a) + green * a) >> 8;
    uint32_t b = ((page & 0xFF) * (255 - a) + blue * a) >> 8;
    return (r << 16) | (g << 8) | b;
}

static void TintRow(uint32_t *to, const uint32_t *from, int32_t count, uint32_t red, uint32_t green,
                    uint32_t blue)
{
    int32_t i = 0;
#if PIXELS_HAVE_SSE2
    if (pixelState.mmx) {
        // Two pixels per half, a colour byte per 16-bit lane. Each sum is at
        // most 255 x 255, so it fits an unsigned lane exactly.
        const __m128i zero = _mm_setzero_si128(), low = _mm_set1_epi32(0xFF);
        const __m128i full = _mm_set1_epi16(255), colourMask = _mm_set1_epi32(0x00FFFFFF);
        const __m128i colour = _mm_set_epi16(0, (short)red, (short)green, (short)blue, 0, (short)red,
                                             (short)green, (short)blue);
        for (; i + 4 <= count; i += 4) {
            __m128i page = _mm_loadu_si128((const __m128i *)(to + i));
            __m128i a = _mm_and_si128(_mm_loadu_si128((const __m128i *)(from + i)), low);
            a = _mm_or_si128(a, _mm_slli_epi32(a, 16)); // a in both halves of each pixel
            __m128i aLow = _mm_unpacklo_epi32(a, a), aHigh = _mm_unpackhi_epi32(a, a);
            __m128i pageLow = _mm_unpacklo_epi8(page, zero), pageHigh = _mm_unpackhi_epi8(page, zero);
            __m128i sumLow = _mm_add_epi16(_mm_mullo_epi16(pageLow, _mm_sub_epi16(full, aLow)),
                                           _mm_mullo_epi16(colour, aLow));
            __m128i sumHigh = _mm_add_epi16(_mm_mullo_epi16(pageHigh, _mm_sub_epi16(full, aHigh)),
                                            _mm_mullo_epi16(colour, aHigh));
            __m128i out = _mm_packus_epi16(_mm_srli_epi16(sumLow, 8), _mm_srli_epi16(sumHigh, 8));
            _mm_storeu_si128((__m128i *)(to + i), _mm_and_si128(out, colourMask));
        }
    }
#endif
    for (; i < count; i++)
        to[i] = TintPixel(to[i], from[i] & 0xFF, red, green, blue);
}

void BlitTinted(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x, int32_t y,
                const uint32_t *pixels, int32_t width, int32_t height, int32_t red, int32_t green,
                int32_t blue)
{
    uint32_t r = (uint32_t)ClampAmount(red), g = (uint32_t)ClampAmount(green), b = (uint32_t)ClampAmount(blue);
    ForVisibleRows(page, pageWidth, pageHeight, x, y, pixels, width, height,
                   [=](uint32_t *to, const uint32_t *from, int32_t count) { TintRow(to, from, count, r, g, b); });
}

// [SECTION] Scaled blit -----------------------------------------------------
// Nearest neighbour with 16.16 steps: the whole part of a step moves the source
// directly, its fraction goes into a 32-bit accumulator (2^32 = one pixel)
// whose carry moves one pixel more. Source indices are kept inside the picture:
// a large scale with a half-pixel start can otherwise step one past the edge.

// The starting fraction f / scale as a 32-bit fraction; one that does not fit
// a signed 32-bit integer (a half or more) counts as exactly one half.
static uint32_t StartFraction(double fraction, double scale)
{
    double value = fraction / scale * 65536.0 * 65536.0;
    if (!(value >= -2147483648.0 && value < 2147483648.0))
        return 0x80000000u;
    return (uint32_t)(int32_t)value;
}

void BlitAddScaled(uint32_t *page, int32_t pageWidth, int32_t pageHeight, float x, float y,
                   const uint32_t *pixels, int32_t width, int32_t height, float scaleX,
                   float scaleY)
{
    if (!page || !pixels || pageWidth <= 0 || pageHeight <= 0 || width <= 0 || height <= 0)
        return;
    if (!std::isfinite(x) || !std::isfinite(y) || !(scaleX > 0) || !(scaleY > 0) ||
        !std::isfinite(scaleX) || !std::isfinite(scaleY))
        return;
    // Far outside any page: nothing to draw, and no integer overflows below.
    if (std::fabs(x) > 1e9f || std::fabs(y) > 1e9f)
        return;
    int64_t ix = (int64_t)x, iy = (int64_t)y;
    double fx = 1.0 - ((double)x - (double)ix), fy = 1.0 - ((double)y - (double)iy);
    if (fx == 1.0)
        fx = 0.0;
    if (fy == 1.0)
        fy = 0.0;
    double scaledWidth = (double)scaleX * width, scaledHeight = (double)scaleY * height;
    if (scaledWidth > 1e9 || scaledHeight > 1e9)
        return;
    int64_t dw = (int64_t)scaledWidth, dh = (int64_t)scaledHeight;
    if (ix + dw <= 0 || iy + dh <= 0 || ix >= pageWidth || iy >= pageHeight)
        return;

    double inverseX = 1.0 / (double)scaleX, inverseY = 1.0 / (double)scaleY;
    double stepXValue = inverseX * 65536.0, stepYValue = inverseY * 65536.0;
    // A step of a whole picture or more reaches the last column at once.
    uint64_t stepX = stepXValue >= 4294967296.0 ? 0xFFFFFFFFull : (uint64_t)stepXValue;
    uint64_t stepY = stepYValue >= 4294967296.0 ? 0xFFFFFFFFull : (uint64_t)stepYValue;
    uint32_t wholeX = (uint32_t)(stepX >> 16), fractionX = (uint32_t)(stepX & 0xFFFF) << 16;
    uint32_t wholeY = (uint32_t)(stepY >> 16), fractionY = (uint32_t)(stepY & 0xFFFF) << 16;
    uint32_t startX = StartFraction(fx, scaleX), startY = StartFraction(fy, scaleY);

    int64_t sourceRow = 0, sourceColumn = 0;
    if (iy < 0) {
        sourceRow = (int64_t)((double)(-iy) * inverseY);
        dh -= -iy;
        iy = 0;
    }
    if (dh > pageHeight - iy)
        dh = pageHeight - iy;
    if (dw > pageWidth - ix)
        dw = pageWidth - ix;
    if (ix < 0) {
        sourceColumn = (int64_t)((double)(-ix) * inverseX);
        dw -= -ix;
        ix = 0;
    }
    if (dh - 1 <= 0 || dw <= 0)
        return;
    if (sourceColumn > width - 1)
        sourceColumn = width - 1;

    uint32_t accumulatorY = startY;
    for (int64_t row = 0; row < dh - 1; row++) {
        int64_t clampedRow = sourceRow > height - 1 ? height - 1 : sourceRow;
        const uint32_t *from = pixels + (ptrdiff_t)clampedRow * width;
        uint32_t *to = page + (ptrdiff_t)(iy + row) * pageWidth + ix;
        int64_t column = sourceColumn;
        uint32_t accumulatorX = startX;
        int64_t i = 0;
#if PIXELS_HAVE_SSE2
        if (pixelState.mmx) {
            const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
            for (; i + 4 <= dw; i += 4) {
                uint32_t gathered[4];
                for (int k = 0; k < 4; k++) {
                    gathered[k] = from[column > width - 1 ? width - 1 : column];
                    column += wholeX;
                    uint32_t before = accumulatorX;
                    accumulatorX += fractionX;
                    column += accumulatorX < before;
                }
                __m128i a = _mm_loadu_si128((const __m128i *)(to + i));
                __m128i b = _mm_and_si128(_mm_loadu_si128((const __m128i *)gathered), colour);
                _mm_storeu_si128((__m128i *)(to + i), _mm_adds_epu8(a, b));
            }
        }
#endif
        for (; i < dw; i++) {
            to[i] = AddPixel(to[i], from[column > width - 1 ? width - 1 : column]);
            column += wholeX;
            uint32_t before = accumulatorX;
            accumulatorX += fractionX;
            column += accumulatorX < before;
        }
        sourceRow += wholeY;
        uint32_t before = accumulatorY;
        accumulatorY += fractionY;
        sourceRow += accumulatorY < before;
    }
}

// [SECTION] Runs and rectangles ---------------------------------------------

void CopyRect(uint32_t *destination, const uint32_t *source, int32_t pageWidth, int32_t x1,
              int32_t y1, int32_t x2, int32_t y2)
{
    if (!destination || !source || pageWidth <= 0)
        return;
    if (x1 < 0)
        x1 = 0;
    if (x2 > pageWidth)
        x2 = pageWidth;
    if (y1 < 0)
        y1 = 0;
    if (x2 <= x1 || y2 <= y1)
        return;
    for (int32_t y = y1; y < y2; y++) {
        ptrdiff_t offset = (ptrdiff_t)y * pageWidth + x1;
        memmove(destination + offset, source + offset, (size_t)(x2 - x1) * 4);
    }
}

void BrightenRun(uint32_t *pixels, int32_t count, int32_t amount)
{
    if (!pixels || count <= 0 || amount <= 0)
        return;
    if (amount > 255)
        amount = 255;
    int32_t i = 0;
#if PIXELS_HAVE_SSE2
    if (pixelState.mmx) {
        const __m128i add = _mm_set1_epi32((int32_t)(0x010101u * (uint32_t)amount));
        for (; i + 4 <= count; i += 4) {
            __m128i a = _mm_loadu_si128((const __m128i *)(pixels + i));
            _mm_storeu_si128((__m128i *)(pixels + i), _mm_adds_epu8(a, add));
        }
    }
#endif
    for (; i < count; i++)
        pixels[i] = BrightenPixel(pixels[i], (uint32_t)amount);
}

void DarkenRun(uint32_t *pixels, int32_t count, int32_t amount)
{
    if (!pixels || count <= 0 || amount <= 0)
        return;
    if (amount > 255)
        amount = 255;
    int32_t i = 0;
#if PIXELS_HAVE_SSE2
    if (pixelState.mmx) {
        const __m128i sub = _mm_set1_epi32((int32_t)(0x010101u * (uint32_t)amount));
        // Four vectors a step keep several loads in flight.
        for (; i + 16 <= count; i += 16) {
            __m128i a = _mm_loadu_si128((const __m128i *)(pixels + i));
            __m128i b = _mm_loadu_si128((const __m128i *)(pixels + i + 4));
            __m128i c = _mm_loadu_si128((const __m128i *)(pixels + i + 8));
            __m128i d = _mm_loadu_si128((const __m128i *)(pixels + i + 12));
            _mm_storeu_si128((__m128i *)(pixels + i), _mm_subs_epu8(a, sub));
            _mm_storeu_si128((__m128i *)(pixels + i + 4), _mm_subs_epu8(b, sub));
            _mm_storeu_si128((__m128i *)(pixels + i + 8), _mm_subs_epu8(c, sub));
            _mm_storeu_si128((__m128i *)(pixels + i + 12), _mm_subs_epu8(d, sub));
        }
        for (; i + 4 <= count; i += 4) {
            __m128i a = _mm_loadu_si128((const __m128i *)(pixels + i));
            _mm_storeu_si128((__m128i *)(pixels + i), _mm_subs_epu8(a, sub));
        }
    }
#endif
    for (; i < count; i++)
        pixels[i] = SubPixel(pixels[i], (uint32_t)amount);
}

enum RectRule { RECT_BLEND, RECT_BRIGHTEN, RECT_DARKEN };

static void RectEffect(RectRule rule, uint32_t *page, int32_t pageWidth, int32_t pageHeight,
                       int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t red, int32_t green,
                       int32_t blue)
{
    if (!page || pageWidth <= 0 || pageHeight <= 0)
        return;
    x0 = x0 < 0 ? 0 : x0;
    y0 = y0 < 0 ? 0 : y0;
    x1 = x1 > pageWidth ? pageWidth : x1;
    y1 = y1 > pageHeight ? pageHeight : y1;
    if (x1 <= x0 || y1 <= y0)
        return;
    const int32_t amounts[3] = {ClampAmount(blue), ClampAmount(green), ClampAmount(red)};
    for (int32_t y = y0; y < y1; y++) {
        uint32_t *row = page + (ptrdiff_t)y * pageWidth;
        for (int32_t x = x0; x < x1; x++) {
            uint32_t p = row[x], result = p & 0xFF000000u;
            for (int channel = 0; channel < 3; channel++) {
                int32_t c = (int32_t)((p >> (8 * channel)) & 0xFF), a = amounts[channel];
                if (rule == RECT_BLEND)
                    c = (c + a) / 2;
                else if (rule == RECT_BRIGHTEN)
                    c = c + a > 255 ? 255 : c + a;
                else
                    c = c - a < 0 ? 0 : c - a;
                result |= (uint32_t)c << (8 * channel);
            }
            row[x] = result;
        }
    }
}

void BlendRect(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x0, int32_t y0,
               int32_t x1, int32_t y1, int32_t red, int32_t green, int32_t blue)
{
    RectEffect(RECT_BLEND, page, pageWidth, pageHeight, x0, y0, x1, y1, red, green, blue);
}

void BrightenRect(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x0, int32_t y0,
                  int32_t x1, int32_t y1, int32_t red, int32_t green, int32_t blue)
{
    RectEffect(RECT_BRIGHTEN, page, pageWidth, pageHeight, x0, y0, x1, y1, red, green, blue);
}

void DarkenRect(uint32_t *page, int32_t pageWidth, int32_t pageHeight, int32_t x0, int32_t y0,
                int32_t x1, int32_t y1, int32_t red, int32_t green, int32_t blue)
{
    RectEffect(RECT_DARKEN, page, pageWidth, pageHeight, x0, y0, x1, y1, red, green, blue);
}

// [SECTION] Decoded rows ----------------------------------------------------

void PixelsFromSamples(uint32_t *to, const uint8_t *from, int32_t count, int32_t step, int32_t redAt,
                       int32_t greenAt, int32_t blueAt)
{
    for (int32_t i = 0; i < count; i++, from += step)
        to[i] = ((uint32_t)from[redAt] << 16) | ((uint32_t)from[greenAt] << 8) | from[blueAt];
}

void PixelsFromPalette(uint32_t *to, const uint8_t *indices, int32_t count, const uint32_t *palette)
{
    for (int32_t i = 0; i < count; i++)
        to[i] = palette[indices[i]];
}
