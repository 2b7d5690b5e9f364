// Module xfade: the page-change cross-fade. The fast path (SSE2, chosen by the
// MMX flag) mixes with packed saturating subtractions; the plain loop keeps the
// older byte-by-byte formula, which gives the new frame one level less.
// The fourth byte of every result is 0 on both paths.
#include "gfx/xfade.h"

#include "gfx/pixels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// max(old - L, 0) + max(new - share, 0) per colour byte; the sum never exceeds
// 255 because old + new - 255 <= 255.
static inline uint32_t MixPixel(uint32_t newPixel, uint32_t oldPixel, int32_t level, int32_t share)
{
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int32_t o = (int32_t)((oldPixel >> shift) & 0xFF) - level;
        int32_t n = (int32_t)((newPixel >> shift) & 0xFF) - share;
        result |= (uint32_t)((o < 0 ? 0 : o) + (n < 0 ? 0 : n)) << shift;
    }
    return result;
}

void CrossFade(uint32_t *destination, const uint32_t *oldFrame, int32_t level, int32_t count)
{
    if (!destination || !oldFrame || count <= 0)
        return;
    level = level < 0 ? 0 : (level > 255 ? 255 : level);
    int32_t i = 0;
    if (!GetMmxFlag()) {
        for (; i < count; i++)
            destination[i] = MixPixel(destination[i], oldFrame[i], level, 256 - level);
        return;
    }
#if defined(__SSE2__)
    const __m128i oldShare = _mm_set1_epi8((char)level);
    const __m128i newShare = _mm_set1_epi8((char)(255 - level));
    const __m128i colour = _mm_set1_epi32(0x00FFFFFF);
    // Two vectors a step: one alone leaves the loop waiting on each load.
    for (; i + 8 <= count; i += 8) {
        __m128i o0 = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(oldFrame + i)), oldShare);
        __m128i o1 = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(oldFrame + i + 4)), oldShare);
        __m128i n0 = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(destination + i)), newShare);
        __m128i n1 = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(destination + i + 4)), newShare);
        _mm_storeu_si128((__m128i *)(destination + i), _mm_and_si128(_mm_adds_epu8(o0, n0), colour));
        _mm_storeu_si128((__m128i *)(destination + i + 4), _mm_and_si128(_mm_adds_epu8(o1, n1), colour));
    }
    for (; i + 4 <= count; i += 4) {
        __m128i o = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(oldFrame + i)), oldShare);
        __m128i n = _mm_subs_epu8(_mm_loadu_si128((const __m128i *)(destination + i)), newShare);
        _mm_storeu_si128((__m128i *)(destination + i), _mm_and_si128(_mm_adds_epu8(o, n), colour));
    }
#endif
    for (; i < count; i++)
        destination[i] = MixPixel(destination[i], oldFrame[i], level, 255 - level);
}
