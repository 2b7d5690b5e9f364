// Polygon rasterizers: the twelve VxDrawPoly members over one shared edge
// walker. The walker finds the top vertex, walks the left chain forward and
// the right chain backward one segment at a time and hands every scanline to
// the member's span routine together with the interpolated quantities at the
// span's first pixel. Texture coordinates inside a span are 32-bit words whose
// top log2 bits are the texel coordinate, so they tile without tests. The
// z-buffered single-texture spans have an SSE2 loop (taken with the MMX flag,
// as the pixel operations do) beside the plain one; both write the same bytes.
//
// [SECTION] Helpers
// [SECTION] Edge walker
// [SECTION] Span routines
// [SECTION] Members
#include "engine3d/vxstate.h"
#include "gfx/pixels.h"
#include "platform/platform.h"

#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#define RASTER_HAVE_SSE2 1
#else
#define RASTER_HAVE_SSE2 0
#endif

// The 256-bit loops are compiled for their own functions only, so the rest
// of the program still runs on any x86-64; they are taken when the processor
// reports AVX2 (VxSetWideSpans).
#if RASTER_HAVE_SSE2 && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define RASTER_HAVE_AVX2 1
#define WIDE __attribute__((target("avx2")))
#define WIDE_INLINE __attribute__((target("avx2"), always_inline)) inline
#else
#define RASTER_HAVE_AVX2 0
#endif

namespace {

// [SECTION] Helpers

const float kDepthScale = 17179869184.0f; // 2^34

int Log2Size(int32_t size)
{
    for (int l = 2; l <= 12; l++)
        if (size == (1 << l)) return l;
    return 1;
}

// log2 used for addressing, or -1 when even the fallback of 2 texels would
// reach beyond the texture.
int AddressLog2(int32_t size)
{
    if (size < 2) return -1;
    return Log2Size(size);
}

// 2^34 / z rounded, clamped into a 31-bit accumulator: surfaces nearer than
// z = 8 get the nearest depth instead of wrapping to the farthest.
inline int64_t DepthAccumulator(float w)
{
    float d = w * kDepthScale;
    if (!(d >= 0.0f)) return 0;
    if (d >= 2147483520.0f) return 0x7FFFFFFF;
    return VxNintRaw(d);
}

inline int64_t DepthStep(float gradient)
{
    return VxClampNint(gradient * kDepthScale, -1073741824, 1073741824);
}

inline int32_t Z16(int64_t accumulator)
{
    int64_t z = accumulator >> 16;
    if (z < 0) return 0;
    if (z > 32767) return 32767;
    return (int32_t)z;
}

inline uint32_t AddSat(uint32_t a, uint32_t b)
{
    uint32_t r = ((a >> 16) & 255) + ((b >> 16) & 255);
    uint32_t g = ((a >> 8) & 255) + ((b >> 8) & 255);
    uint32_t bl = (a & 255) + (b & 255);
    if (r > 255) r = 255;
    if (g > 255) g = 255;
    if (bl > 255) bl = 255;
    return (r << 16) | (g << 8) | bl;
}

inline uint32_t SubSat(uint32_t a, uint32_t b)
{
    int32_t r = (int32_t)((a >> 16) & 255) - (int32_t)((b >> 16) & 255);
    int32_t g = (int32_t)((a >> 8) & 255) - (int32_t)((b >> 8) & 255);
    int32_t bl = (int32_t)(a & 255) - (int32_t)(b & 255);
    if (r < 0) r = 0;
    if (g < 0) g = 0;
    if (bl < 0) bl = 0;
    return ((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)bl;
}

// One texture's addressing, fixed per polygon.
struct TexAddress {
    int lw, lh;
    int shiftRow, shiftCol; // 16 - log2: from 16.16 coordinates to words
    int downRow, downCol;   // 32 - log2: from words to texels
    bool Set(int32_t width, int32_t height)
    {
        lw = AddressLog2(width);
        lh = AddressLog2(height);
        if (lw < 0 || lh < 0) return false;
        shiftRow = 16 - lh;
        shiftCol = 16 - lw;
        downRow = 32 - lh;
        downCol = 32 - lw;
        return true;
    }
    uint32_t RowWord(float c) const { return VxWrapNint(c) << shiftRow; }
    uint32_t ColWord(float c) const { return VxWrapNint(c) << shiftCol; }
    uint32_t Index(uint32_t row, uint32_t col) const
    {
        return ((row >> downRow) << lw) + (col >> downCol);
    }
};

// [SECTION] Edge walker

struct EdgeState {
    float ax, ay;  // anchor vertex
    float dx;      // dx/dy
    float aq[6], dq[6];
};

// Walks a convex polygon of n vertices (xy pairs, NQ quantities each) and
// calls span.Run(pixelIndex, count, quantitiesAtFirstPixel) per scanline.
template <int NQ, class Span>
void WalkPolygon(int32_t n, const float *xy, const float *qin, Span &span)
{
    if (n > VX_MAX_POLY_VERTICES) {
        VxTriException("Wrong number of vertexes in VxDrawPoly!");
        return;
    }
    if (n < 3 || !xy) return;
    for (int i = 0; i < 2 * n; i++)
        if (!std::isfinite(xy[i])) return;

    // Top vertex: the first with the smallest y below 10000.
    float minY = 10000.0f;
    int top = -1;
    for (int i = 0; i < n; i++)
        if (xy[2 * i + 1] < minY) {
            minY = xy[2 * i + 1];
            top = i;
        }
    if (top < 0) {
        VxTriException("strange error in VxDrawPoly, find first");
        return;
    }

    float x[VX_MAX_POLY_VERTICES], y[VX_MAX_POLY_VERTICES], q[VX_MAX_POLY_VERTICES][NQ > 0 ? NQ : 1];
    for (int k = 0; k < n; k++) {
        int s = (top + k) % n;
        x[k] = xy[2 * s];
        y[k] = xy[2 * s + 1];
        for (int j = 0; j < NQ; j++) q[k][j] = qin[s * NQ + j];
    }

    int li = 1;
    while (li < n && y[li] == y[0]) li++;
    if (li == n) return;

    // Horizontal gradients are constant over the polygon: take them from the
    // plane through the largest fan triangle, which for a triangle is exactly
    // the top-edge (flat top) or first-edges (pointed top) difference.
    float grad[NQ > 0 ? NQ : 1] = {};
    {
        float best = 0.0f;
        int bk = -1;
        for (int k = 1; k + 1 < n; k++) {
            float a = (x[k] - x[0]) * (y[k + 1] - y[0]) - (x[k + 1] - x[0]) * (y[k] - y[0]);
            if (std::fabs(a) > std::fabs(best)) {
                best = a;
                bk = k;
            }
        }
        if (bk < 0 || !(std::fabs(best) > 1e-6f)) return; // no area
        for (int j = 0; j < NQ; j++) {
            float d1 = q[bk][j] - q[0][j], d2 = q[bk + 1][j] - q[0][j];
            grad[j] = (d1 * (y[bk + 1] - y[0]) - d2 * (y[bk] - y[0])) / best;
        }
    }
    span.Gradients(grad);

    const VxViewInfo &view = VxState().view;
    auto setEdge = [&](EdgeState &e, int a, int b, bool keepSlopes) {
        e.ax = x[a];
        e.ay = y[a];
        for (int j = 0; j < NQ; j++) e.aq[j] = q[a][j];
        float dy = y[b] - y[a];
        if (dy == 0.0f) {
            if (!keepSlopes) {
                e.dx = 0.0f;
                for (int j = 0; j < NQ; j++) e.dq[j] = 0.0f;
            }
            return;
        }
        e.dx = (x[b] - x[a]) / dy;
        for (int j = 0; j < NQ; j++) e.dq[j] = (q[b][j] - q[a][j]) / dy;
    };

    EdgeState left, right;
    setEdge(left, li - 1, li, false);
    int ri = n - 1;
    setEdge(right, 0, ri, false);

    const int32_t lim = 1 << 30;
    int32_t cy = VxClampNint(y[0], -lim, lim);
    if ((float)cy != y[0]) cy += 1;

    for (;;) {
        int32_t ly = VxClampNint(y[li], -lim, lim), ry = VxClampNint(y[ri], -lim, lim);
        int32_t segEnd = ly < ry ? ly : ry;
        int32_t last = segEnd > view.yMax ? view.yMax : segEnd;
        int32_t start = cy > view.yMin ? cy : view.yMin;
        if (start <= last) {
            float fy = (float)start;
            float lx = left.ax + left.dx * (fy - left.ay) + 1.0f;
            float rx = right.ax + right.dx * (fy - right.ay);
            float lq[NQ > 0 ? NQ : 1], qs[NQ > 0 ? NQ : 1];
            for (int j = 0; j < NQ; j++) lq[j] = left.aq[j] + left.dq[j] * (fy - left.ay);
            for (int32_t yy = start; yy <= last; yy++) {
                int32_t first = VxClampNint(lx, -lim, lim);
                int32_t end = VxClampNint(rx, -lim, lim);
                float pre = (float)(first + 1) - lx;
                if (first < view.xMin) {
                    pre += (float)(view.xMin - first);
                    first = view.xMin;
                }
                if (end > view.xMax) end = view.xMax;
                int32_t count = end - first + 1;
                if (count > 0) {
                    for (int j = 0; j < NQ; j++) qs[j] = lq[j] + grad[j] * pre;
                    span.Run(yy * view.viewWidth + first + view.centre, count, qs);
                }
                lx += left.dx;
                rx += right.dx;
                for (int j = 0; j < NQ; j++) lq[j] += left.dq[j];
            }
        }
        if (segEnd >= view.yMax) return;
        if (segEnd + 1 > cy) cy = segEnd + 1;
        if (li >= ri) return;
        if (y[li] <= y[ri]) {
            li++;
            setEdge(left, li - 1, li, true);
        } else {
            ri--;
            setEdge(right, ri + 1, ri, true);
        }
        if (li > ri) return;
    }
}

// [SECTION] Span routines

enum class Op { Replace, Half, Add };

// The plain z-buffered loop of the single-texture spans.
template <Op op>
inline void PlainPixels(uint32_t *p, int16_t *z, const uint32_t *tex, const TexAddress &ta,
                        uint32_t r, uint32_t c, uint32_t sr, uint32_t sc, int64_t acc,
                        int64_t dstep, int32_t n)
{
    const int dr = ta.downRow, dc = ta.downCol, lw = ta.lw;
    for (int32_t i = 0; i < n; i++) {
        int32_t zz = Z16(acc);
        if (z[i] <= zz) {
            z[i] = (int16_t)zz;
            uint32_t t = tex[((r >> dr) << lw) + (c >> dc)];
            if (op == Op::Replace)
                p[i] = t;
            else if (op == Op::Half)
                p[i] = ((t >> 1) & 0x7F7F7F) + ((p[i] >> 1) & 0x7F7F7F);
            else
                p[i] = AddSat(p[i], t);
        }
        r += sr;
        c += sc;
        acc += dstep;
    }
}

#if RASTER_HAVE_SSE2
template <Op op>
inline __m128i Combine(__m128i texels, __m128i pixels)
{
    if (op == Op::Replace) return texels;
    if (op == Op::Half) {
        const __m128i low7 = _mm_set1_epi32(0x7F7F7F);
        return _mm_add_epi32(_mm_and_si128(_mm_srli_epi32(texels, 1), low7),
                             _mm_and_si128(_mm_srli_epi32(pixels, 1), low7));
    }
    // Per-byte saturation is the per-channel one; the top byte stays 0.
    return _mm_and_si128(_mm_adds_epu8(pixels, texels), _mm_set1_epi32(0xFFFFFF));
}

// The four texel indices of the row and column words. The counts stay in
// scalars (all below 32): a count held in a vector costs a lane extraction
// and a range test at every step where SSE2 is emulated (WebAssembly SIMD).
inline __m128i TexelIndex4(__m128i rows, __m128i columns, const TexAddress &ta)
{
    __m128i row = _mm_srli_epi32(rows, ta.downRow), column = _mm_srli_epi32(columns, ta.downCol);
    return _mm_add_epi32(_mm_slli_epi32(row, ta.lw), column);
}

inline __m128i Fetch4(const uint32_t *tex, __m128i index)
{
    alignas(16) uint32_t i[4];
    _mm_store_si128((__m128i *)i, index);
    return _mm_setr_epi32((int)tex[i[0]], (int)tex[i[1]], (int)tex[i[2]], (int)tex[i[3]]);
}

// Four pixels; keep has all-ones lanes where the depth test failed.
template <Op op>
inline void Store4(uint32_t *p, __m128i texels, __m128i keep, bool anyKept)
{
    if (op == Op::Replace && !anyKept) {
        _mm_storeu_si128((__m128i *)p, texels);
        return;
    }
    __m128i old = _mm_loadu_si128((const __m128i *)p);
    __m128i out = Combine<op>(texels, old);
    _mm_storeu_si128((__m128i *)p, _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, out)));
}

inline __m128i Select16(__m128i keep, __m128i old, __m128i fresh)
{
    return _mm_or_si128(_mm_and_si128(keep, old), _mm_andnot_si128(keep, fresh));
}

// PlainPixels eight pixels a step, for an accumulator that stays in
// [0, 2^31) over the span: the 16-bit depth is then its upper half with no
// clamp, and all lanes fit in 32 bits. A non-zero fixed count (the
// perspective runs) compiles without the four- and one-pixel tails.
template <Op op, int fixedCount>
inline void FastPixels(uint32_t *p, int16_t *z, const uint32_t *tex, const TexAddress &ta,
                       uint32_t r, uint32_t c, uint32_t sr, uint32_t sc, int32_t acc,
                       int32_t dstep, int32_t n)
{
    if (fixedCount) n = fixedCount;
    const uint32_t ua = (uint32_t)acc, ud = (uint32_t)dstep;
    __m128i vr = _mm_setr_epi32((int)r, (int)(r + sr), (int)(r + 2 * sr), (int)(r + 3 * sr));
    __m128i vc = _mm_setr_epi32((int)c, (int)(c + sc), (int)(c + 2 * sc), (int)(c + 3 * sc));
    __m128i va = _mm_setr_epi32((int)ua, (int)(ua + ud), (int)(ua + 2 * ud), (int)(ua + 3 * ud));
    const __m128i sr4 = _mm_set1_epi32((int)(4 * sr)), sc4 = _mm_set1_epi32((int)(4 * sc));
    const __m128i d4 = _mm_set1_epi32((int)(4 * ud));
    auto nextIndex = [&] {
        __m128i i = TexelIndex4(vr, vc, ta);
        vr = _mm_add_epi32(vr, sr4);
        vc = _mm_add_epi32(vc, sc4);
        return i;
    };
    auto nextDepth = [&] {
        __m128i d = _mm_srai_epi32(va, 16);
        va = _mm_add_epi32(va, d4);
        return d;
    };
    int32_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m128i i0 = nextIndex(), i1 = nextIndex();
        __m128i z0 = nextDepth(), z1 = nextDepth();
        __m128i fresh = _mm_packs_epi32(z0, z1);
        __m128i old = _mm_loadu_si128((const __m128i *)(z + i));
        __m128i keep = _mm_cmpgt_epi16(old, fresh);
        int kept = _mm_movemask_epi8(keep);
        if (kept == 0xFFFF) continue;
        _mm_storeu_si128((__m128i *)(z + i), Select16(keep, old, fresh));
        Store4<op>(p + i, Fetch4(tex, i0), _mm_unpacklo_epi16(keep, keep), (kept & 0xFF) != 0);
        Store4<op>(p + i + 4, Fetch4(tex, i1), _mm_unpackhi_epi16(keep, keep), (kept & 0xFF00) != 0);
    }
    if (i + 4 <= n) {
        __m128i i0 = nextIndex();
        __m128i z0 = nextDepth();
        __m128i fresh = _mm_packs_epi32(z0, z0);
        __m128i old = _mm_loadl_epi64((const __m128i *)(z + i));
        __m128i keep = _mm_cmpgt_epi16(old, fresh);
        int kept = _mm_movemask_epi8(keep) & 0xFF;
        if (kept != 0xFF) {
            _mm_storel_epi64((__m128i *)(z + i), Select16(keep, old, fresh));
            Store4<op>(p + i, Fetch4(tex, i0), _mm_unpacklo_epi16(keep, keep), kept != 0);
        }
        i += 4;
    }
    if (i < n)
        PlainPixels<op>(p + i, z + i, tex, ta, r + (uint32_t)i * sr, c + (uint32_t)i * sc, sr, sc,
                        acc + (int64_t)i * dstep, dstep, n - i);
}

// The variable-length form stays out of line: inlined into a span routine it
// runs short of registers.
template <Op op>
[[gnu::noinline]] void FastSpan(uint32_t *p, int16_t *z, const uint32_t *tex, const TexAddress &ta,
                                uint32_t r, uint32_t c, uint32_t sr, uint32_t sc, int32_t acc,
                                int32_t dstep, int32_t n)
{
    FastPixels<op, 0>(p, z, tex, ta, r, c, sr, sc, acc, dstep, n);
}
#endif

#if RASTER_HAVE_AVX2
// [SECTION] 256-bit span loops

template <Op op>
WIDE_INLINE __m256i WideCombine(__m256i texels, __m256i pixels)
{
    if (op == Op::Replace) return texels;
    if (op == Op::Half) {
        const __m256i low7 = _mm256_set1_epi32(0x7F7F7F);
        return _mm256_add_epi32(_mm256_and_si256(_mm256_srli_epi32(texels, 1), low7),
                                _mm256_and_si256(_mm256_srli_epi32(pixels, 1), low7));
    }
    return _mm256_and_si256(_mm256_adds_epu8(pixels, texels), _mm256_set1_epi32(0xFFFFFF));
}

// Eight texels by index. On the processors measured the gather instruction
// is slower than eight loads into the lanes.
WIDE_INLINE __m256i WideFetch(const uint32_t *tex, __m256i index)
{
    __m128i lo = _mm256_castsi256_si128(index), hi = _mm256_extracti128_si256(index, 1);
    uint64_t a = (uint64_t)_mm_cvtsi128_si64(lo), b = (uint64_t)_mm_extract_epi64(lo, 1);
    uint64_t c = (uint64_t)_mm_cvtsi128_si64(hi), d = (uint64_t)_mm_extract_epi64(hi, 1);
    __m128i x = _mm_cvtsi32_si128((int)tex[(uint32_t)a]);
    x = _mm_insert_epi32(x, (int)tex[a >> 32], 1);
    x = _mm_insert_epi32(x, (int)tex[(uint32_t)b], 2);
    x = _mm_insert_epi32(x, (int)tex[b >> 32], 3);
    __m128i y = _mm_cvtsi32_si128((int)tex[(uint32_t)c]);
    y = _mm_insert_epi32(y, (int)tex[c >> 32], 1);
    y = _mm_insert_epi32(y, (int)tex[(uint32_t)d], 2);
    y = _mm_insert_epi32(y, (int)tex[d >> 32], 3);
    return _mm256_inserti128_si256(_mm256_castsi128_si256(x), y, 1);
}

// A texture's addressing in lane form: (row >> downRow) << lw is the row
// word's top bits moved down by downRow - lw with the column bits cleared.
struct WideAddress {
    __m128i rowShift, colShift;
    __m256i rowMask;
};

WIDE_INLINE WideAddress WideAddressOf(const TexAddress &ta)
{
    WideAddress w;
    w.rowShift = _mm_cvtsi32_si128(ta.downRow - ta.lw);
    w.colShift = _mm_cvtsi32_si128(ta.downCol);
    w.rowMask = _mm256_set1_epi32((int)((((1u << ta.lh) - 1)) << ta.lw));
    return w;
}

WIDE_INLINE __m256i WideIndex(const WideAddress &w, __m256i r, __m256i c)
{
    return _mm256_add_epi32(_mm256_and_si256(_mm256_srl_epi32(r, w.rowShift), w.rowMask),
                            _mm256_srl_epi32(c, w.colShift));
}

// Sixteen pixels: texel indices and depth accumulators of pixels 0-7 and
// 8-15. The accumulators lie in [0, 2^31), so the 16-bit depth is their
// upper half with no clamp.
template <Op op>
WIDE_INLINE void WideStep(uint32_t *p, int16_t *z, const uint32_t *tex, __m256i index0,
                          __m256i index1, __m256i acc0, __m256i acc1)
{
    __m256i fresh = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(_mm256_srai_epi32(acc0, 16), _mm256_srai_epi32(acc1, 16)), 0xD8);
    __m256i old = _mm256_loadu_si256((const __m256i *)z);
    __m256i keep = _mm256_cmpgt_epi16(old, fresh);
    if (_mm256_testz_si256(keep, keep)) {
        _mm256_storeu_si256((__m256i *)z, fresh);
        __m256i t0 = WideFetch(tex, index0), t1 = WideFetch(tex, index1);
        if (op != Op::Replace) {
            t0 = WideCombine<op>(t0, _mm256_loadu_si256((const __m256i *)p));
            t1 = WideCombine<op>(t1, _mm256_loadu_si256((const __m256i *)(p + 8)));
        }
        _mm256_storeu_si256((__m256i *)p, t0);
        _mm256_storeu_si256((__m256i *)(p + 8), t1);
        return;
    }
    if (_mm256_movemask_epi8(keep) == -1) return;
    _mm256_storeu_si256((__m256i *)z, _mm256_blendv_epi8(fresh, old, keep));
    __m256i k0 = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(keep));
    __m256i k1 = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(keep, 1));
    __m256i o0 = _mm256_loadu_si256((const __m256i *)p), o1 = _mm256_loadu_si256((const __m256i *)(p + 8));
    __m256i t0 = WideCombine<op>(WideFetch(tex, index0), o0), t1 = WideCombine<op>(WideFetch(tex, index1), o1);
    _mm256_storeu_si256((__m256i *)p, _mm256_blendv_epi8(t0, o0, k0));
    _mm256_storeu_si256((__m256i *)(p + 8), _mm256_blendv_epi8(t1, o1, k1));
}

WIDE_INLINE __m256i WideIota()
{
    return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
}

// FastPixels sixteen pixels a step, same precondition; what is left below
// sixteen goes to FastPixels.
template <Op op>
WIDE void WideSpan(uint32_t *p, int16_t *z, const uint32_t *tex, const TexAddress &ta, uint32_t r,
                   uint32_t c, uint32_t sr, uint32_t sc, int32_t acc, int32_t dstep, int32_t n)
{
    const WideAddress wa = WideAddressOf(ta);
    const __m256i iota = WideIota();
    __m256i vr = _mm256_add_epi32(_mm256_set1_epi32((int)r), _mm256_mullo_epi32(iota, _mm256_set1_epi32((int)sr)));
    __m256i vc = _mm256_add_epi32(_mm256_set1_epi32((int)c), _mm256_mullo_epi32(iota, _mm256_set1_epi32((int)sc)));
    __m256i va = _mm256_add_epi32(_mm256_set1_epi32(acc), _mm256_mullo_epi32(iota, _mm256_set1_epi32(dstep)));
    const __m256i sr8 = _mm256_set1_epi32((int)(8 * sr)), sc8 = _mm256_set1_epi32((int)(8 * sc));
    const __m256i d8 = _mm256_set1_epi32((int)(8 * (uint32_t)dstep));
    int32_t i = 0;
    for (; i + 16 <= n; i += 16) {
        __m256i r1 = _mm256_add_epi32(vr, sr8), c1 = _mm256_add_epi32(vc, sc8), a1 = _mm256_add_epi32(va, d8);
        WideStep<op>(p + i, z + i, tex, WideIndex(wa, vr, vc), WideIndex(wa, r1, c1), va, a1);
        vr = _mm256_add_epi32(r1, sr8);
        vc = _mm256_add_epi32(c1, sc8);
        va = _mm256_add_epi32(a1, d8);
    }
    if (i < n)
        FastPixels<op, 0>(p + i, z + i, tex, ta, r + (uint32_t)i * sr, c + (uint32_t)i * sc, sr, sc,
                          (int32_t)((uint32_t)acc + (uint32_t)i * (uint32_t)dstep), dstep, n - i);
}
#endif

// Which loops a span routine runs: the plain ones, the SSE2 ones (MMX flag)
// or the 256-bit ones (MMX flag and VxSetWideSpans).
enum class Loops { Plain, Fast, Wide };

Loops ChosenLoops()
{
    if (!GetMmxFlag()) return Loops::Plain;
    return VxState().wideSpans ? Loops::Wide : Loops::Fast;
}

// Runs n pixels of a z-buffered single-texture span, on the fast loop when
// it is chosen, the span is long enough to pay for setting up its lanes, and
// the depth needs no clamp anywhere in the span.
template <Op op>
[[gnu::always_inline]] inline void SpanPixels(Loops loops, uint32_t *p, int16_t *z, const uint32_t *tex,
                       const TexAddress &ta, uint32_t r, uint32_t c, uint32_t sr, uint32_t sc,
                       int64_t acc, int64_t dstep, int32_t n)
{
#if RASTER_HAVE_SSE2
    int64_t end = acc + dstep * (n - 1);
    if (loops != Loops::Plain && n >= 8 && acc >= 0 && acc <= 0x7FFFFFFF && end >= 0 && end <= 0x7FFFFFFF) {
#if RASTER_HAVE_AVX2
        if (loops == Loops::Wide && n >= 16) {
            WideSpan<op>(p, z, tex, ta, r, c, sr, sc, (int32_t)acc, (int32_t)dstep, n);
            return;
        }
#endif
        if (n == 16)
            FastPixels<op, 16>(p, z, tex, ta, r, c, sr, sc, (int32_t)acc, (int32_t)dstep, n);
        else
            FastSpan<op>(p, z, tex, ta, r, c, sr, sc, (int32_t)acc, (int32_t)dstep, n);
        return;
    }
#else
    (void)loops;
#endif
    PlainPixels<op>(p, z, tex, ta, r, c, sr, sc, acc, dstep, n);
}

// Perspective-correct texture replace: exact every 16 pixels.
struct PerspSpan {
    uint32_t *page;
    int16_t *zb;
    const uint32_t *tex;
    TexAddress ta;
    Loops loops;
    float gW, gU, gV, gW16, gU16, gV16;
    int64_t dstep;
    // Run-start accumulators for which the whole run of 16 needs no depth
    // clamp (empty when accLow > accHigh).
    int64_t accLow, accHigh;
    void Gradients(const float *g)
    {
        gW = g[0];
        gU = g[1];
        gV = g[2];
        gW16 = 16.0f * gW;
        gU16 = 16.0f * gU;
        gV16 = 16.0f * gV;
        dstep = DepthStep(gW);
        accLow = dstep < 0 ? -15 * dstep : 0;
        accHigh = dstep > 0 ? 0x7FFFFFFF - 15 * dstep : 0x7FFFFFFF;
    }
    void Run(int32_t index, int32_t count, const float *qs);
};

#if RASTER_HAVE_AVX2
// The runs of a span are set up eight at a time, one lane a run, doing what
// the plain set-up does run by run: W, U and V advance by one float addition
// per run, in order (WideChain); the divisions, the clamped nint()/16 steps,
// the start words and the depth accumulators are the same operations on the
// same values, so every word equals the plain loop's.
struct WideRuns {
    alignas(32) uint32_t rowWord[8], colWord[8], rowStep[8], colStep[8];
    alignas(32) int32_t acc[8];
    int slow; // runs (bits) whose depth needs the clamp of the plain loop
};

// Texture coordinates where the runs set up last ended, in every lane: the
// next run starts there.
struct WideCarry {
    __m256 r0, c0;
};

// W, U and V at the nine run boundaries of a batch (the starts of its eight
// runs and the end of the last), each one float addition after the one
// before, as the plain set-up advances them. U and V are not kept at the
// first start: the texture coordinates there come from the carry.
struct WideChain {
    alignas(32) float w[9], u[9], v[9];
};

// The additions of a later batch's chain, made one run at a time while the
// present batch is drawn, so their latency stays out of the way.
struct WideChainCursor {
    WideChain *chain; // null when no batch is left to advance
    float w, u, v;
};

// Per-pixel steps from a run's start and end coordinates: nint of the
// difference clamped into a word (max/min give the low end for NaN, as the
// plain clamp does), divided by 16 toward zero, moved into the word form.
WIDE_INLINE __m256i WideRunSteps(__m256 start, __m256 end, __m128i shift)
{
    const __m256 low = _mm256_set1_ps(-2147483520.0f), high = _mm256_set1_ps(2147483520.0f);
    __m256i d = _mm256_cvtps_epi32(_mm256_min_ps(_mm256_max_ps(_mm256_sub_ps(end, start), low), high));
    d = _mm256_srai_epi32(_mm256_add_epi32(d, _mm256_srli_epi32(_mm256_srai_epi32(d, 31), 28)), 4);
    return _mm256_sll_epi32(d, shift);
}

// Start words (nint, shifted); lanes beyond a word take the plain
// conversion, which wraps them.
WIDE_INLINE void WideRunWords(__m256 v, __m128i shift, const TexAddress &ta, bool row, uint32_t *out)
{
    _mm256_store_si256((__m256i *)out, _mm256_sll_epi32(_mm256_cvtps_epi32(v), shift));
    __m256 inside = _mm256_and_ps(_mm256_cmp_ps(v, _mm256_set1_ps(-2147483520.0f), _CMP_GT_OQ),
                                  _mm256_cmp_ps(v, _mm256_set1_ps(2147483520.0f), _CMP_LT_OQ));
    int outside = ~_mm256_movemask_ps(inside) & 0xFF;
    if (!outside) return;
    alignas(32) float lanes[8];
    _mm256_store_ps(lanes, v);
    for (int j = 0; j < 8; j++)
        if (outside >> j & 1) out[j] = row ? ta.RowWord(lanes[j]) : ta.ColWord(lanes[j]);
}

WIDE_INLINE __m256 WideLane(__m256 v, int32_t lane)
{
    return _mm256_permutevar8x32_ps(v, _mm256_set1_epi32(lane));
}

// Sets up a batch of runs (batch of them, 1 to 8) from its chain and moves
// the carry past them.
WIDE_INLINE void WideSetUp(const PerspSpan &s, const WideChain &chain, int32_t batch, WideCarry &carry,
                           WideRuns &out)
{
    const TexAddress &ta = s.ta;
    __m256 wStart = _mm256_load_ps(chain.w), wEnd = _mm256_loadu_ps(chain.w + 1);
    __m256 uEnd = _mm256_loadu_ps(chain.u + 1), vEnd = _mm256_loadu_ps(chain.v + 1);
    __m256 r1 = _mm256_div_ps(uEnd, wEnd), c1 = _mm256_div_ps(vEnd, wEnd);
    // A run starts where the one before it ended.
    const __m256i rotate = _mm256_setr_epi32(7, 0, 1, 2, 3, 4, 5, 6);
    __m256 r0 = _mm256_blend_ps(_mm256_permutevar8x32_ps(r1, rotate), carry.r0, 1);
    __m256 c0 = _mm256_blend_ps(_mm256_permutevar8x32_ps(c1, rotate), carry.c0, 1);
    const __m128i shiftRow = _mm_cvtsi32_si128(ta.shiftRow), shiftCol = _mm_cvtsi32_si128(ta.shiftCol);
    _mm256_store_si256((__m256i *)out.rowStep, WideRunSteps(r0, r1, shiftRow));
    _mm256_store_si256((__m256i *)out.colStep, WideRunSteps(c0, c1, shiftCol));
    WideRunWords(r0, shiftRow, ta, true, out.rowWord);
    WideRunWords(c0, shiftCol, ta, false, out.colWord);
    // Depth accumulators: 2^34 W rounded; negative or NaN gives 0, beyond
    // 31 bits the largest.
    __m256 d = _mm256_mul_ps(wStart, _mm256_set1_ps(kDepthScale));
    __m256i a = _mm256_and_si256(_mm256_cvtps_epi32(d), _mm256_castps_si256(_mm256_cmp_ps(d, _mm256_setzero_ps(), _CMP_GE_OQ)));
    a = _mm256_blendv_epi8(a, _mm256_set1_epi32(0x7FFFFFFF),
                           _mm256_castps_si256(_mm256_cmp_ps(d, _mm256_set1_ps(2147483520.0f), _CMP_GE_OQ)));
    _mm256_store_si256((__m256i *)out.acc, a);
    if (s.accLow <= s.accHigh) {
        __m256i slow = _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32((int32_t)s.accLow), a),
                                       _mm256_cmpgt_epi32(a, _mm256_set1_epi32((int32_t)s.accHigh)));
        out.slow = _mm256_movemask_ps(_mm256_castsi256_ps(slow));
    } else {
        out.slow = 0xFF;
    }
    carry.r0 = WideLane(r1, batch - 1);
    carry.c0 = WideLane(c1, batch - 1);
}

// Sixteen pixels of run j of a batch.
WIDE_INLINE void WideDrawRun(const PerspSpan &s, const WideAddress &wa, const WideRuns &in, int32_t j,
                             int32_t index, __m256i depthLanes, __m256i depth8)
{
    const __m256i iota = WideIota(), iota8 = _mm256_add_epi32(iota, _mm256_set1_epi32(8));
    __m256i r = _mm256_set1_epi32((int)in.rowWord[j]), c = _mm256_set1_epi32((int)in.colWord[j]);
    __m256i sr = _mm256_set1_epi32((int)in.rowStep[j]), sc = _mm256_set1_epi32((int)in.colStep[j]);
    __m256i a = _mm256_add_epi32(_mm256_set1_epi32(in.acc[j]), depthLanes);
    __m256i index0 = WideIndex(wa, _mm256_add_epi32(r, _mm256_mullo_epi32(iota, sr)),
                               _mm256_add_epi32(c, _mm256_mullo_epi32(iota, sc)));
    __m256i index1 = WideIndex(wa, _mm256_add_epi32(r, _mm256_mullo_epi32(iota8, sr)),
                               _mm256_add_epi32(c, _mm256_mullo_epi32(iota8, sc)));
    WideStep<Op::Replace>(s.page + index, s.zb + index, s.tex, index0, index1, a, _mm256_add_epi32(a, depth8));
}

// One addition of the cursor's chain (nothing without one).
WIDE_INLINE void WideChainStep(const PerspSpan &s, WideChainCursor &cursor, int32_t j)
{
    if (!cursor.chain) return;
    cursor.w += s.gW16;
    cursor.u += s.gU16;
    cursor.v += s.gV16;
    cursor.chain->w[j + 1] = cursor.w;
    cursor.chain->u[j + 1] = cursor.u;
    cursor.chain->v[j + 1] = cursor.v;
}

WIDE_INLINE void WideDrawRuns(const PerspSpan &s, const WideRuns &in, int32_t batch, int32_t index,
                              WideChainCursor &cursor)
{
    const WideAddress wa = WideAddressOf(s.ta);
    const __m256i depthLanes = _mm256_mullo_epi32(WideIota(), _mm256_set1_epi32((int32_t)s.dstep));
    const __m256i depth8 = _mm256_set1_epi32((int32_t)(8 * (uint32_t)s.dstep));
    int slow = in.slow & ((1 << batch) - 1);
    if (!slow && batch == 8) {
        for (int32_t j = 0; j < 8; j++) {
            WideChainStep(s, cursor, j);
            WideDrawRun(s, wa, in, j, index + 16 * j, depthLanes, depth8);
        }
        return;
    }
    for (int32_t j = 0; j < 8; j++) WideChainStep(s, cursor, j);
    for (int32_t j = 0; j < batch; j++) {
        int32_t at = index + 16 * j;
        if (slow >> j & 1)
            PlainPixels<Op::Replace>(s.page + at, s.zb + at, s.tex, s.ta, in.rowWord[j], in.colWord[j],
                                     in.rowStep[j], in.colStep[j], in.acc[j], s.dstep, 16);
        else
            WideDrawRun(s, wa, in, j, at, depthLanes, depth8);
    }
}

// All full runs of a span, eight at a time. A batch is set up before the one
// before it is drawn, so its divisions run beside the drawing, and the
// additions of its chain were made while the batch before that was drawn.
// Leaves W, U, V, r0, c0 and index past the runs.
WIDE void WidePerspRuns(const PerspSpan &s, int32_t &index, int32_t runs, float &W, float &U,
                        float &V, float &r0, float &c0)
{
    const int32_t batches = (runs + 7) / 8;
    auto size = [runs](int32_t m) { return runs - 8 * m < 8 ? runs - 8 * m : 8; };
    WideChain chains[3];
    WideRuns set[2];
    // The first two chains now; lanes past the last run go unused.
    WideChainCursor cursor{&chains[0], W, U, V};
    for (int32_t m = 0; m < 2 && m < batches; m++) {
        cursor.chain = &chains[m];
        chains[m].w[0] = cursor.w;
        for (int32_t j = 0; j < 8; j++) WideChainStep(s, cursor, j);
    }
    WideCarry carry{_mm256_set1_ps(r0), _mm256_set1_ps(c0)};
    WideSetUp(s, chains[0], size(0), carry, set[0]);
    for (int32_t m = 0; m < batches; m++) {
        if (m + 1 < batches) WideSetUp(s, chains[(m + 1) % 3], size(m + 1), carry, set[(m + 1) & 1]);
        cursor.chain = nullptr;
        if (m + 2 < batches) {
            WideChain &ahead = chains[(m + 2) % 3];
            ahead.w[0] = cursor.w;
            cursor.chain = &ahead;
        }
        WideDrawRuns(s, set[m & 1], size(m), index, cursor);
        index += 16 * size(m);
    }
    const WideChain &last = chains[(batches - 1) % 3];
    W = last.w[size(batches - 1)];
    U = last.u[size(batches - 1)];
    V = last.v[size(batches - 1)];
    r0 = _mm256_cvtss_f32(carry.r0);
    c0 = _mm256_cvtss_f32(carry.c0);
}
#endif

void PerspSpan::Run(int32_t index, int32_t count, const float *qs)
{
    float W = qs[0], U = qs[1], V = qs[2];
    int32_t runs = count >> 4, rem = count & 15;
    float r0 = U / W, c0 = V / W;
#if RASTER_HAVE_AVX2
    if (loops == Loops::Wide && runs > 0) {
        WidePerspRuns(*this, index, runs, W, U, V, r0, c0);
        runs = 0;
    }
#endif
    // A run's end values are the next run's (and the remainder's) start.
    // Runs are set up a batch ahead of drawing them, so the divisions
    // overlap instead of each stalling its own run.
    const int32_t kBatch = 8;
    struct RunStart {
        uint32_t r, c, sr, sc;
        int64_t acc;
    } starts[kBatch];
    for (int32_t k = 0; k < runs; k += kBatch) {
        int32_t batch = runs - k < kBatch ? runs - k : kBatch;
        for (int32_t j = 0; j < batch; j++) {
            RunStart &s = starts[j];
            s.acc = DepthAccumulator(W);
            W += gW16;
            U += gU16;
            V += gV16;
            float r1 = U / W, c1 = V / W;
            s.sr = (uint32_t)(VxClampNint(r1 - r0, -2147483520, 2147483520) / 16) << ta.shiftRow;
            s.sc = (uint32_t)(VxClampNint(c1 - c0, -2147483520, 2147483520) / 16) << ta.shiftCol;
            s.r = ta.RowWord(r0);
            s.c = ta.ColWord(c0);
            r0 = r1;
            c0 = c1;
        }
        for (int32_t j = 0; j < batch; j++) {
            const RunStart &s = starts[j];
            SpanPixels<Op::Replace>(loops, page + index, zb + index, tex, ta, s.r, s.c, s.sr, s.sc,
                                    s.acc, dstep, 16);
            index += 16;
        }
    }
    if (rem > 0) {
        int64_t acc = DepthAccumulator(W);
        uint32_t sr = 0, sc = 0;
        if (rem > 1) {
            float m = (float)(rem - 1);
            float We = W + m * gW, Ue = U + m * gU, Ve = V + m * gV;
            float r1 = Ue / We, c1 = Ve / We;
            sr = (uint32_t)(VxClampNint(r1 - r0, -2147483520, 2147483520) / (rem - 1)) << ta.shiftRow;
            sc = (uint32_t)(VxClampNint(c1 - c0, -2147483520, 2147483520) / (rem - 1)) << ta.shiftCol;
        }
        SpanPixels<Op::Replace>(loops, page + index, zb + index, tex, ta, ta.RowWord(r0),
                                ta.ColWord(c0), sr, sc, acc, dstep, rem);
    }
}

// Plain reference: one exact division per pixel.
struct PerspReferenceSpan {
    uint32_t *page;
    int16_t *zb;
    const uint32_t *tex;
    TexAddress ta;
    float g[3];
    void Gradients(const float *gr)
    {
        for (int j = 0; j < 3; j++) g[j] = gr[j];
    }
    void Run(int32_t index, int32_t count, const float *qs)
    {
        for (int32_t i = 0; i < count; i++) {
            float W = qs[0] + g[0] * (float)i, U = qs[1] + g[1] * (float)i, V = qs[2] + g[2] * (float)i;
            int32_t zz = Z16(DepthAccumulator(qs[0]) + DepthStep(g[0]) * i);
            if (zb[index + i] <= zz) {
                zb[index + i] = (int16_t)zz;
                page[index + i] = tex[ta.Index(ta.RowWord(U / W), ta.ColWord(V / W))];
            }
        }
    }
};

// Affine single-texture spans (replace, average, add), z-buffered.
template <Op op>
struct AffineSpan {
    uint32_t *page;
    int16_t *zb;
    const uint32_t *tex;
    TexAddress ta;
    Loops loops;
    int64_t dstep;
    uint32_t sr, sc;
    void Gradients(const float *g)
    {
        dstep = DepthStep(g[0]);
        sr = ta.RowWord(g[1]);
        sc = ta.ColWord(g[2]);
    }
    void Run(int32_t index, int32_t count, const float *qs)
    {
        SpanPixels<op>(loops, page + index, zb + index, tex, ta, ta.RowWord(qs[1]),
                       ta.ColWord(qs[2]), sr, sc, DepthAccumulator(qs[0]), dstep, count);
    }
};

// Affine copy without depth (texture-space passes).
struct CopySpan {
    uint32_t *target;
    const uint32_t *tex;
    TexAddress ta;
    uint32_t sr, sc;
    void Gradients(const float *g)
    {
        sr = ta.RowWord(g[0]);
        sc = ta.ColWord(g[1]);
    }
    void Run(int32_t index, int32_t count, const float *qs)
    {
        uint32_t r = ta.RowWord(qs[0]), c = ta.ColWord(qs[1]);
        for (int32_t i = 0; i < count; i++) {
            target[index + i] = tex[ta.Index(r, c)];
            r += sr;
            c += sc;
        }
    }
};

// Thickness tint and depth-only spans.
template <bool tint>
struct DepthOnlySpan {
    uint32_t *page;
    int16_t *zb;
    int64_t dstep;
    void Gradients(const float *g) { dstep = DepthStep(g[0]); }
    void Run(int32_t index, int32_t count, const float *qs)
    {
        int64_t acc = DepthAccumulator(qs[0]);
        for (int32_t i = 0; i < count; i++) {
            int32_t zz = Z16(acc);
            int32_t old = zb[index + i];
            if (old <= zz) {
                zb[index + i] = (int16_t)zz;
                if (tint) {
                    int32_t t = (zz - old) >> 3;
                    if (t > 255) t = 255;
                    uint32_t px = page[index + i];
                    int32_t r = (int32_t)((px >> 16) & 255) - t, g = (int32_t)((px >> 8) & 255) - t;
                    if (r < 0) r = 0;
                    if (g < 0) g = 0;
                    page[index + i] = ((uint32_t)r << 16) | ((uint32_t)g << 8) | (px & 255);
                }
            }
            acc += dstep;
        }
    }
};

// Opens a mirror's private depth buffer where the mirror is visible and
// stores the mirror's depth in the main z-buffer.
struct MirrorMaskSpan {
    int16_t *zb, *mask;
    int64_t dstep;
    void Gradients(const float *g) { dstep = DepthStep(g[0]); }
    void Run(int32_t index, int32_t count, const float *qs)
    {
        int64_t acc = DepthAccumulator(qs[0]);
        for (int32_t i = 0; i < count; i++) {
            int32_t zz = Z16(acc);
            if (zb[index + i] <= zz) {
                zb[index + i] = (int16_t)zz;
                mask[index + i] = 0;
            }
            acc += dstep;
        }
    }
};

enum class Op2 { Add8, Sub8, Add, Sub, ZShadow };

// Two-texture affine spans; ZShadow reads the depth map and mask through
// texture 2 and carries the light depth as a sixth quantity.
template <Op2 op>
struct TwoSpan {
    uint32_t *page;
    int16_t *zb;
    const uint32_t *tex1;
    const void *tex2;
    const int16_t *depthMap;
    const uint8_t *mask;
    TexAddress ta, tb;
    int64_t dstep, lstep;
    uint32_t sr1, sc1, sr2, sc2;
    void Gradients(const float *g)
    {
        dstep = DepthStep(g[0]);
        sr1 = ta.RowWord(g[1]);
        sc1 = ta.ColWord(g[2]);
        sr2 = tb.RowWord(g[3]);
        sc2 = tb.ColWord(g[4]);
        if (op == Op2::ZShadow) lstep = VxClampNint(g[5] * 65536.0f, -1073741824, 1073741824);
    }
    void Run(int32_t index, int32_t count, const float *qs)
    {
        int64_t acc = DepthAccumulator(qs[0]);
        uint32_t r1 = ta.RowWord(qs[1]), c1 = ta.ColWord(qs[2]);
        uint32_t r2 = tb.RowWord(qs[3]), c2 = tb.ColWord(qs[4]);
        int64_t lacc = 0;
        if (op == Op2::ZShadow) lacc = VxClampNint(qs[5] * 65536.0f, -1073741824, 1073741824);
        for (int32_t i = 0; i < count; i++) {
            int32_t zz = Z16(acc);
            if (zb[index + i] <= zz) {
                zb[index + i] = (int16_t)zz;
                uint32_t t = tex1[ta.Index(r1, c1)];
                uint32_t out;
                if (op == Op2::Add8 || op == Op2::Sub8) {
                    uint32_t b = ((const uint8_t *)tex2)[tb.Index(r2, c2)] * 0x010101u;
                    out = op == Op2::Add8 ? AddSat(t, b) : SubSat(t, b);
                } else if (op == Op2::Add || op == Op2::Sub) {
                    uint32_t b = ((const uint32_t *)tex2)[tb.Index(r2, c2)];
                    out = op == Op2::Add ? AddSat(t, b) : SubSat(t, b);
                } else {
                    uint32_t m = ((r2 >> 24) << 8) + (c2 >> 24);
                    int32_t light = (int32_t)(lacc >> 16);
                    // Shadowed when something nearer to the light (a greater
                    // depth) was drawn into the map at this texel.
                    bool shadowed = depthMap[m] > light;
                    out = SubSat(t, shadowed ? 0x666666u : mask[m] * 0x010101u);
                }
                page[index + i] = out;
            }
            acc += dstep;
            r1 += sr1;
            c1 += sc1;
            r2 += sr2;
            c2 += sc2;
            lacc += lstep;
        }
    }
};

// Interleaves depth and coordinates into one quantity array per vertex.
void Pack(int32_t n, int nq, float *out, const float *depth, const float *tex1, const float *tex2,
          const float *extra)
{
    for (int32_t i = 0; i < n; i++) {
        float *o = out + i * nq;
        int k = 0;
        if (depth) o[k++] = depth[i];
        if (tex1) {
            o[k++] = tex1[2 * i];
            o[k++] = tex1[2 * i + 1];
        }
        if (tex2) {
            o[k++] = tex2[2 * i];
            o[k++] = tex2[2 * i + 1];
        }
        if (extra) o[k++] = extra[i];
    }
}

bool CountOk(int32_t count)
{
    if (count > VX_MAX_POLY_VERTICES) {
        VxTriException("Wrong number of vertexes in VxDrawPoly!");
        return false;
    }
    return count >= 3;
}

template <Op op>
void DrawAffine(uint32_t *page, int32_t count, const float *xy, const float *tex,
                const float *depth, const uint32_t *texture, int32_t width, int32_t height)
{
    VxEngineState &st = VxState();
    if (!CountOk(count) || !page || !st.zbuffer || !texture || !tex || !depth) return;
    AffineSpan<op> span;
    span.loops = ChosenLoops();
    span.page = page;
    span.zb = st.zbuffer;
    span.tex = texture;
    if (!span.ta.Set(width, height)) return;
    float q[VX_MAX_POLY_VERTICES * 3];
    Pack(count, 3, q, depth, tex, nullptr, nullptr);
    WalkPolygon<3>(count, xy, q, span);
}

template <Op2 op>
void DrawTwo(uint32_t *page, int32_t count, const float *xy, const float *tex1, const float *tex2,
             const float *depth, const uint32_t *texture1, int32_t width1, int32_t height1,
             const void *texture2, int32_t width2, int32_t height2)
{
    VxEngineState &st = VxState();
    if (!CountOk(count) || !page || !st.zbuffer || !texture1 || !texture2 || !tex1 || !tex2 ||
        !depth)
        return;
    TwoSpan<op> span;
    span.page = page;
    span.zb = st.zbuffer;
    span.tex1 = texture1;
    span.tex2 = texture2;
    span.depthMap = nullptr;
    span.mask = nullptr;
    span.lstep = 0;
    if (!span.ta.Set(width1, height1) || !span.tb.Set(width2, height2)) return;
    float q[VX_MAX_POLY_VERTICES * 5];
    Pack(count, 5, q, depth, tex1, tex2, nullptr);
    WalkPolygon<5>(count, xy, q, span);
}

} // namespace

// [SECTION] Members

int VxSetWideSpans(int on)
{
#if RASTER_HAVE_AVX2
    VxState().wideSpans = on && PlatformHasAvx2() ? 1 : 0;
#else
    (void)on;
    VxState().wideSpans = 0;
#endif
    return VxState().wideSpans;
}

int VxGetWideSpans()
{
    return VxState().wideSpans;
}

void VxTriException(const char *message)
{
    std::printf("TRI-Exception: [%s]\a\n", message);
}

void VxDrawPolyPersp(uint32_t *page, int32_t count, const float *xy, const float *tex,
                     const float *depth, const uint32_t *texture, int32_t width, int32_t height)
{
    VxEngineState &st = VxState();
    if (!CountOk(count) || !page || !st.zbuffer || !texture || !tex || !depth) return;
    PerspSpan span;
    span.loops = ChosenLoops();
    span.page = page;
    span.zb = st.zbuffer;
    span.tex = texture;
    if (!span.ta.Set(width, height)) return;
    float q[VX_MAX_POLY_VERTICES * 3];
    Pack(count, 3, q, depth, tex, nullptr, nullptr);
    WalkPolygon<3>(count, xy, q, span);
}

void VxDrawPolyPerspReference(uint32_t *page, int32_t count, const float *xy, const float *tex,
                              const float *depth, const uint32_t *texture, int32_t width,
                              int32_t height)
{
    VxEngineState &st = VxState();
    if (!CountOk(count) || !page || !st.zbuffer || !texture || !tex || !depth) return;
    PerspReferenceSpan span;
    span.page = page;
    span.zb = st.zbuffer;
    span.tex = texture;
    if (!span.ta.Set(width, height)) return;
    float q[VX_MAX_POLY_VERTICES * 3];
    Pack(count, 3, q, depth, tex, nullptr, nullptr);
    WalkPolygon<3>(count, xy, q, span);
}

void VxDrawPolyAffine(uint32_t *page, int32_t count, const float *xy, const float *tex,
                      const float *depth, const uint32_t *texture, int32_t width, int32_t height)
{
    DrawAffine<Op::Replace>(page, count, xy, tex, depth, texture, width, height);
}

void VxDrawPolyHalf(uint32_t *page, int32_t count, const float *xy, const float *tex,
                    const float *depth, const uint32_t *texture, int32_t width, int32_t height)
{
    DrawAffine<Op::Half>(page, count, xy, tex, depth, texture, width, height);
}

void VxDrawPolyAdd(uint32_t *page, int32_t count, const float *xy, const float *tex,
                   const float *depth, const uint32_t *texture, int32_t width, int32_t height)
{
    DrawAffine<Op::Add>(page, count, xy, tex, depth, texture, width, height);
}

void VxDrawPolyTint(uint32_t *page, int32_t count, const float *xy, const float *depth)
{
    VxEngineState &st = VxState();
    if (!CountOk(count) || !page || !st.zbuffer || !depth) return;
    DepthOnlySpan<true> span;
    span.page = page;
    span.zb = st.zbuffer;
    WalkPolygon<1>(count, xy, depth, span);
}

void VxDrawPolyCopy(uint32_t *target, int32_t count, const float *xy, const float *tex,
                    const uint32_t *texture, int32_t width, int32_t height)
{
    if (!CountOk(count) || !target || !texture || !tex) return;
    CopySpan span;
    span.target = target;
    span.tex = texture;
    if (!span.ta.Set(width, height)) return;
    WalkPolygon<2>(count, xy, tex, span);
}

void VxDrawPolyDepth(int16_t *depthMap, int32_t count, const float *xy, const float *depth)
{
    if (!CountOk(count) || !depthMap || !depth) return;
    DepthOnlySpan<false> span;
    span.page = nullptr;
    span.zb = depthMap;
    WalkPolygon<1>(count, xy, depth, span);
}

void VxDrawPolyMirrorMask(int16_t *mask, int32_t count, const float *xy, const float *depth)
{
    VxEngineState &st = VxState();
    if (!CountOk(count) || !mask || !st.zbuffer || !depth) return;
    MirrorMaskSpan span;
    span.zb = st.zbuffer;
    span.mask = mask;
    WalkPolygon<1>(count, xy, depth, span);
}

void VxDrawPoly2Add8(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                     const float *tex2, const float *depth, const uint32_t *texture1,
                     int32_t width1, int32_t height1, const uint8_t *texture2, int32_t width2,
                     int32_t height2)
{
    DrawTwo<Op2::Add8>(page, count, xy, tex1, tex2, depth, texture1, width1, height1, texture2,
                       width2, height2);
}

void VxDrawPoly2Sub8(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                     const float *tex2, const float *depth, const uint32_t *texture1,
                     int32_t width1, int32_t height1, const uint8_t *texture2, int32_t width2,
                     int32_t height2)
{
    DrawTwo<Op2::Sub8>(page, count, xy, tex1, tex2, depth, texture1, width1, height1, texture2,
                       width2, height2);
}

void VxDrawPoly2Add(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                    const float *tex2, const float *depth, const uint32_t *texture1,
                    int32_t width1, int32_t height1, const uint32_t *texture2, int32_t width2,
                    int32_t height2)
{
    DrawTwo<Op2::Add>(page, count, xy, tex1, tex2, depth, texture1, width1, height1, texture2,
                      width2, height2);
}

void VxDrawPoly2Sub(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                    const float *tex2, const float *depth, const uint32_t *texture1,
                    int32_t width1, int32_t height1, const uint32_t *texture2, int32_t width2,
                    int32_t height2)
{
    DrawTwo<Op2::Sub>(page, count, xy, tex1, tex2, depth, texture1, width1, height1, texture2,
                      width2, height2);
}

void VxDrawPolyZShadow(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                       const float *tex2, const float *depth, const float *lightDepth,
                       const uint32_t *texture1, int32_t width1, int32_t height1,
                       const int16_t *depthMap, const uint8_t *mask)
{
    VxEngineState &st = VxState();
    if (!CountOk(count) || !page || !st.zbuffer || !texture1 || !depthMap || !mask || !tex1 ||
        !tex2 || !depth || !lightDepth)
        return;
    TwoSpan<Op2::ZShadow> span;
    span.page = page;
    span.zb = st.zbuffer;
    span.tex1 = texture1;
    span.tex2 = nullptr;
    span.depthMap = depthMap;
    span.mask = mask;
    if (!span.ta.Set(width1, height1) || !span.tb.Set(256, 256)) return;
    float q[VX_MAX_POLY_VERTICES * 6];
    Pack(count, 6, q, depth, tex1, tex2, lightDepth);
    WalkPolygon<6>(count, xy, q, span);
}
