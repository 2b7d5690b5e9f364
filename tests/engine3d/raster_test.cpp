// The rasterizer family: edge walking, spans, texture words, depth test and
// the per-pixel operations of each member.
#include "vxtest.h"

#include "gfx/pixels.h"
#include "platform/platform.h"

#include <cstdlib>
#include <random>

using namespace vxtest;

namespace {

class Raster : public Engine {
  protected:
    std::vector<uint32_t> page;
    void Prepare() override {}
    void Clear(uint32_t colour = 0)
    {
        page.assign((size_t)width * height, colour);
        VxClearZBuffer();
    }
    // Pixel at centre-relative (x, y).
    uint32_t &At(int x, int y) { return page[(size_t)(y + height / 2) * width + x + width / 2]; }
    int16_t Z(int x, int y) { return VxGetZBuffer()[(y + height / 2) * width + x + width / 2]; }
    int Drawn(uint32_t background)
    {
        int n = 0;
        for (uint32_t p : page) n += p != background;
        return n;
    }
};

// Texel value = its column | row << 12, so a pixel tells which texel it took.
std::vector<uint32_t> CoordTexture(int w, int h)
{
    std::vector<uint32_t> t((size_t)w * h);
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) t[(size_t)r * w + c] = (uint32_t)c | ((uint32_t)r << 12);
    return t;
}

// Four corners of an axis-aligned rectangle in screen-anticlockwise order.
struct Rect {
    float xy[8], tex[8], w[4];
    Rect(float x0, float y0, float x1, float y1, float r0, float c0, float r1, float c1, float depth = 0.01f)
    {
        float px[4] = {x0, x0, x1, x1}, py[4] = {y0, y1, y1, y0};
        float tr[4] = {r0, r1, r1, r0}, tc[4] = {c0, c0, c1, c1};
        for (int i = 0; i < 4; i++) {
            xy[2 * i] = px[i];
            xy[2 * i + 1] = py[i];
            tex[2 * i] = tr[i] * 65536.0f;
            tex[2 * i + 1] = tc[i] * 65536.0f;
            w[i] = depth;
        }
    }
    // Perspective form: coordinates divided by z (depth is 1/z).
    Rect &Persp()
    {
        for (int i = 0; i < 4; i++) {
            tex[2 * i] *= w[i];
            tex[2 * i + 1] *= w[i];
        }
        return *this;
    }
};

TEST_F(Raster, DegenerateAndOversizedPolygonsDrawNothing)
{
    Clear();
    std::vector<uint32_t> tex = CoordTexture(16, 16);
    float xy[6] = {-10, 5, 0, 5, 10, 5}, t[6] = {}, w[3] = {0.01f, 0.01f, 0.01f};
    VxDrawPolyAffine(page.data(), 3, xy, t, w, tex.data(), 16, 16);
    EXPECT_EQ(Drawn(0), 0);
    float many[2 * 51], mt[2 * 51] = {}, mw[51];
    for (int i = 0; i < 51; i++) {
        many[2 * i] = 50 * std::cos(i * 0.123f);
        many[2 * i + 1] = 50 * std::sin(i * 0.123f);
        mw[i] = 0.01f;
    }
    Capture cap;
    EXPECT_EQ(cap.Run([&] { VxDrawPolyAffine(page.data(), 51, many, mt, mw, tex.data(), 16, 16); }),
              "TRI-Exception: [Wrong number of vertexes in VxDrawPoly!]\a\n");
    EXPECT_EQ(Drawn(0), 0);
    // Coordinates far outside the view stay inside the page.
    Clear(0xFFFFFFFF);
    float far[6] = {-1e9f, -1e9f, -1e9f, 1e9f, 1e9f, 1e9f};
    VxDrawPolyAffine(page.data(), 3, far, t, w, tex.data(), 16, 16);
    EXPECT_GT(Drawn(0xFFFFFFFF), 100000);
}

TEST_F(Raster, FlatTopAndPointedTrianglesMapTexelsLinearly)
{
    std::vector<uint32_t> tex = CoordTexture(64, 64);
    // Flat top: (0,0) (0,40) (40,0) with texel column = x, row = y.
    // Pointed: (20,0) (0,40) (40,40).
    struct Tri { float xy[6]; } tris[2] = {{{0.5f, 0.5f, 0.5f, 40.5f, 40.5f, 0.5f}},
                                           {{20.5f, 0.5f, 0.5f, 40.5f, 40.5f, 40.5f}}};
    for (const Tri &tri : tris) {
        Clear(0xFFFFFFFF);
        float t[6], w[3] = {0.01f, 0.01f, 0.01f};
        for (int i = 0; i < 3; i++) {
            t[2 * i] = (tri.xy[2 * i + 1] - 0.5f) * 65536.0f;
            t[2 * i + 1] = (tri.xy[2 * i] - 0.5f) * 65536.0f;
        }
        VxDrawPolyAffine(page.data(), 3, tri.xy, t, w, tex.data(), 64, 64);
        int checked = 0;
        for (int y = 0; y < 42; y++)
            for (int x = 0; x < 42; x++) {
                uint32_t p = At(x, y);
                if (p == 0xFFFFFFFF) continue;
                int col = (int)(p & 0xFFF), row = (int)(p >> 12);
                EXPECT_LE(std::abs(col - x), 1) << x << "," << y;
                EXPECT_LE(std::abs(row - y), 1) << x << "," << y;
                checked++;
            }
        EXPECT_GT(checked, 700);
        EXPECT_LT(checked, 900);
    }
}

TEST_F(Raster, SpansOfSixteenAndSeventeenPixels)
{
    std::vector<uint32_t> tex = CoordTexture(32, 32);
    for (int n : {16, 17}) {
        Clear(0xFFFFFFFF);
        // Columns 0 .. n-1: the left edge at -0.7 rounds up to pixel 0, the
        // right edge at n - 0.7 to pixel n - 1.
        Rect r(-0.7f, 0.3f, n - 0.7f, 2.3f, 0, 0, 0, (float)n);
        r.Persp();
        VxDrawPolyPersp(page.data(), 4, r.xy, r.tex, r.w, tex.data(), 32, 32);
        for (int x = 0; x < n; x++) EXPECT_EQ(At(x, 1), (uint32_t)x) << n << " px, pixel " << x;
        EXPECT_EQ(At(n, 1), 0xFFFFFFFFu);
        EXPECT_EQ(At(-1, 1), 0xFFFFFFFFu);
    }
}

TEST_F(Raster, PerspectiveMemberMatchesThePlainReference)
{
    std::vector<uint32_t> tex = CoordTexture(256, 256);
    float xy[6] = {-200.3f, -150.2f, -100.7f, 170.1f, 250.4f, 60.9f};
    float z[3] = {40, 300, 120}, t[6], w[3];
    float rows[3] = {0, 255, 30}, cols[3] = {0, 10, 250};
    for (int i = 0; i < 3; i++) {
        w[i] = 1.0f / z[i];
        t[2 * i] = rows[i] * 65536.0f * w[i];
        t[2 * i + 1] = cols[i] * 65536.0f * w[i];
    }
    Clear(0xFFFFFFFF);
    VxDrawPolyPersp(page.data(), 3, xy, t, w, tex.data(), 256, 256);
    std::vector<uint32_t> fast = page;
    std::vector<int16_t> fastZ(VxGetZBuffer(), VxGetZBuffer() + width * height);
    Clear(0xFFFFFFFF);
    VxDrawPolyPerspReference(page.data(), 3, xy, t, w, tex.data(), 256, 256);
    int covered = 0;
    for (size_t i = 0; i < page.size(); i++) {
        ASSERT_EQ(fast[i] == 0xFFFFFFFF, page[i] == 0xFFFFFFFF) << i;
        if (page[i] == 0xFFFFFFFF) continue;
        covered++;
        EXPECT_LE(std::abs((int)(fast[i] & 0xFFF) - (int)(page[i] & 0xFFF)), 1) << i;
        EXPECT_LE(std::abs((int)(fast[i] >> 12) - (int)(page[i] >> 12)), 1) << i;
        EXPECT_LE(std::abs(fastZ[i] - VxGetZBuffer()[i]), 1) << i;
    }
    EXPECT_GT(covered, 30000);
}

TEST_F(Raster, TextureCoordinatesWrap)
{
    std::vector<uint32_t> tex = CoordTexture(16, 16);
    Clear();
    Rect a(-0.5f, -0.5f, 31.5f, 31.5f, 0, 0, 32, 32);
    VxDrawPolyAffine(page.data(), 4, a.xy, a.tex, a.w, tex.data(), 16, 16);
    // Scanlines start below the top edge's rounded row, so row 0 stays empty.
    EXPECT_EQ(At(5, 0), 0u);
    for (int y = 1; y < 32; y += 3)
        for (int x = 0; x < 32; x += 3) EXPECT_EQ(At(x, y), (uint32_t)((x % 16) | (y % 16) << 12));
    Clear();
    Rect b(-0.5f, -0.5f, 15.5f, 15.5f, -32, 48, -16, 64);
    VxDrawPolyAffine(page.data(), 4, b.xy, b.tex, b.w, tex.data(), 16, 16);
    EXPECT_EQ(At(3, 5), (uint32_t)(3 | 5 << 12));
}

TEST_F(Raster, WideTextureShowsAllItsRows)
{
    // 512 x 256: rows beyond 127 must not repeat the top half.
    std::vector<uint32_t> tex = CoordTexture(512, 256);
    Clear();
    Rect r(-200.5f, -128.5f, 311.5f, 127.5f, 0, 0, 256, 512);
    VxDrawPolyAffine(page.data(), 4, r.xy, r.tex, r.w, tex.data(), 512, 256);
    for (int row : {1, 100, 128, 200, 255}) {
        uint32_t p = At(300, row - 128);
        EXPECT_EQ(p >> 12, (uint32_t)row);
        EXPECT_EQ(p & 0xFFF, 500u);
    }
}

TEST_F(Raster, DepthTestAndNearClamp)
{
    uint32_t red = 0xFF0000, green = 0x00FF00, blue = 0x0000FF;
    std::vector<uint32_t> r(16, red), g(16, green), b(16, blue);
    Clear();
    Rect near10(-10.5f, -10.5f, 10.5f, 10.5f, 0, 0, 4, 4, 0.1f);
    VxDrawPolyAffine(page.data(), 4, near10.xy, near10.tex, near10.w, r.data(), 4, 4);
    EXPECT_EQ(At(0, 0), red);
    EXPECT_EQ(Z(0, 0), (int16_t)(((int64_t)(17179869184.0 * 0.1 + 0.5)) >> 16));
    // Equal depth is drawn.
    VxDrawPolyAffine(page.data(), 4, near10.xy, near10.tex, near10.w, g.data(), 4, 4);
    EXPECT_EQ(At(0, 0), green);
    // Farther is not.
    Rect far(-10.5f, -10.5f, 10.5f, 10.5f, 0, 0, 4, 4, 0.05f);
    VxDrawPolyAffine(page.data(), 4, far.xy, far.tex, far.w, r.data(), 4, 4);
    EXPECT_EQ(At(0, 0), green);
    // Nearer than z = 8 is the nearest depth, not the farthest.
    Rect z6(-10.5f, -10.5f, 10.5f, 10.5f, 0, 0, 4, 4, 1.0f / 6.0f);
    VxDrawPolyPersp(page.data(), 4, z6.Persp().xy, z6.tex, z6.w, b.data(), 4, 4);
    EXPECT_EQ(At(0, 0), blue);
    EXPECT_EQ(Z(0, 0), 32767);
}

TEST_F(Raster, PixelOperationsStayInTheirChannels)
{
    std::vector<uint32_t> black(16, 0), add(16, 0x010101), grey(16, 0x808080);
    std::vector<uint8_t> layer(16, 0x30);
    Rect q(-2.5f, -2.5f, 2.5f, 2.5f, 0, 0, 4, 4);

    Clear(0xFFFFFF);
    VxDrawPolyHalf(page.data(), 4, q.xy, q.tex, q.w, black.data(), 4, 4);
    EXPECT_EQ(At(0, 0), 0x7F7F7Fu);

    Clear(0x00FF01);
    VxDrawPolyAdd(page.data(), 4, q.xy, q.tex, q.w, add.data(), 4, 4);
    EXPECT_EQ(At(0, 0), 0x01FF02u);
    Clear(0xFFFFFF);
    VxDrawPolyAdd(page.data(), 4, q.xy, q.tex, q.w, grey.data(), 4, 4);
    EXPECT_EQ(At(0, 0), 0xFFFFFFu);

    std::vector<uint32_t> t1(16, 0x10F0FF), t2(16, 0x200020);
    Clear();
    VxDrawPoly2Add(page.data(), 4, q.xy, q.tex, q.tex, q.w, t1.data(), 4, 4, t2.data(), 4, 4);
    EXPECT_EQ(At(0, 0), 0x30F0FFu);
    Clear();
    VxDrawPoly2Sub(page.data(), 4, q.xy, q.tex, q.tex, q.w, t1.data(), 4, 4, t2.data(), 4, 4);
    EXPECT_EQ(At(0, 0), 0x00F0DFu);
    Clear();
    VxDrawPoly2Add8(page.data(), 4, q.xy, q.tex, q.tex, q.w, t1.data(), 4, 4, layer.data(), 4, 4);
    EXPECT_EQ(At(0, 0), 0x40FFFFu);
    Clear();
    VxDrawPoly2Sub8(page.data(), 4, q.xy, q.tex, q.tex, q.w, t1.data(), 4, 4, layer.data(), 4, 4);
    EXPECT_EQ(At(0, 0), 0x00C0CFu);
}

TEST_F(Raster, TintUsesTheOldDepth)
{
    Clear(0x808080);
    Rect back(-5.5f, -5.5f, 5.5f, 5.5f, 0, 0, 0, 0, 0.01f);
    VxDrawPolyDepth(VxGetZBuffer(), 4, back.xy, back.w);
    int16_t old = Z(0, 0);
    EXPECT_EQ(At(0, 0), 0x808080u); // depth only: no colour
    Rect front(-5.5f, -5.5f, 5.5f, 5.5f, 0, 0, 0, 0, 0.0105f);
    VxDrawPolyTint(page.data(), 4, front.xy, front.w);
    int t = (Z(0, 0) - old) >> 3;
    ASSERT_GT(t, 0);
    EXPECT_EQ(At(0, 0), (uint32_t)((0x80 - t) << 16 | (0x80 - t) << 8 | 0x80));
}

// A receiver pixel is shadowed exactly when the light's depth map holds a
// nearer (greater) depth than the pixel's own light depth: one unit is enough,
// an equal depth is lit.
TEST_F(Raster, ZShadowShadowsWhenTheMapIsNearerByOneUnit)
{
    const int16_t mapDepth = 3000;
    std::vector<int16_t> depthMap(65536, mapDepth);
    std::vector<uint8_t> mask(65536, 0x10);
    std::vector<uint32_t> white(16, 0xFFFFFF);
    Rect q(-4.5f, -4.5f, 4.5f, 4.5f, 0, 0, 4, 4);
    Rect map(-4.5f, -4.5f, 4.5f, 4.5f, 100, 100, 120, 120);
    struct Case {
        float lightDepth;
        uint32_t pixel;
    } cases[] = {
        {mapDepth - 1.0f, 0x999999}, // one unit behind the map: shadowed (loses 0x66)
        {mapDepth - 100.0f, 0x999999},
        {mapDepth, 0xEFEFEF},        // on the map: lit, loses the mask byte only
        {mapDepth + 1.0f, 0xEFEFEF},
    };
    for (const Case &c : cases) {
        float light[4] = {c.lightDepth, c.lightDepth, c.lightDepth, c.lightDepth};
        Clear();
        VxDrawPolyZShadow(page.data(), 4, q.xy, q.tex, map.tex, q.w, light, white.data(), 4, 4,
                          depthMap.data(), mask.data());
        EXPECT_EQ(At(0, 0), c.pixel) << "light depth " << c.lightDepth;
        EXPECT_EQ(At(-3, -3), c.pixel) << "light depth " << c.lightDepth;
        EXPECT_EQ(At(3, 3), c.pixel) << "light depth " << c.lightDepth;
    }
}

TEST_F(Raster, CopyIgnoresDepthAndWritesItsTarget)
{
    std::vector<uint32_t> tex = CoordTexture(8, 8), target(64, 0xEEEEEEEE);
    VxSaveViewport();
    VxSetUncentredViewport(8, 8);
    // Rows start at the one after the top edge's rounded row: the top edge at
    // -1 (whole) starts at row 0 with texture row 0.5.
    float xy[8] = {-0.5f, -1.0f, -0.5f, 8.0f, 7.5f, 8.0f, 7.5f, -1.0f};
    float t[8] = {-0.5f * 65536, 0, 8.5f * 65536.f, 0, 8.5f * 65536.f, 8 * 65536.f, -0.5f * 65536, 8 * 65536.f};
    VxDrawPolyCopy(target.data(), 4, xy, t, tex.data(), 8, 8);
    VxRestoreViewport();
    for (int i = 0; i < 64; i++) EXPECT_EQ(target[i], (uint32_t)((i % 8) | (i / 8) << 12)) << i;
    EXPECT_EQ(VxGetView().viewWidth, 640);
}

// [SECTION] Fast span loops against the plain ones

// A quad over columns [x0, x1) and rows [y0, y1) whose depth runs from wl at
// the left to wr at the right; texture columns c0..c1 across, rows r0..r1 down.
struct DepthQuad {
    float xy[8], tex[8], w[4];
    DepthQuad(float x0, float y0, float x1, float y1, float wl, float wr, float c0, float c1, float r0,
              float r1, bool persp)
    {
        float px[4] = {x0, x0, x1, x1}, py[4] = {y0, y1, y1, y0};
        float tr[4] = {r0, r1, r1, r0}, tc[4] = {c0, c0, c1, c1}, tw[4] = {wl, wl, wr, wr};
        for (int i = 0; i < 4; i++) {
            xy[2 * i] = px[i];
            xy[2 * i + 1] = py[i];
            w[i] = tw[i];
            float s = persp ? tw[i] : 1.0f;
            tex[2 * i] = tr[i] * 65536.0f * s;
            tex[2 * i + 1] = tc[i] * 65536.0f * s;
        }
    }
};

enum class Member { Persp, Affine, Half, Add };

class FastLoops : public Raster {
  protected:
    std::vector<uint32_t> small = Noise(16 * 16, 1), big = Noise(256 * 256, 2), wide = Noise(512 * 256, 3);
    void TearDown() override
    {
        SetMmxFlag(0);
        VxSetWideSpans(1);
        Raster::TearDown();
    }
    static std::vector<uint32_t> Noise(size_t n, uint32_t seed)
    {
        std::mt19937 random(seed);
        std::vector<uint32_t> t(n);
        for (auto &v : t) v = random() & 0xFFFFFF;
        return t;
    }
    std::vector<int16_t> Depths() { return std::vector<int16_t>(VxGetZBuffer(), VxGetZBuffer() + width * height); }
    void Draw(Member m, int n, const float *xy, const float *tex, const float *w, int tw, int th)
    {
        const uint32_t *t = tw * th <= 256 ? small.data() : tw * th <= 65536 ? big.data() : wide.data();
        if (m == Member::Persp) VxDrawPolyPersp(page.data(), n, xy, tex, w, t, tw, th);
        if (m == Member::Affine) VxDrawPolyAffine(page.data(), n, xy, tex, w, t, tw, th);
        if (m == Member::Half) VxDrawPolyHalf(page.data(), n, xy, tex, w, t, tw, th);
        if (m == Member::Add) VxDrawPolyAdd(page.data(), n, xy, tex, w, t, tw, th);
    }
    // The fast loop kinds this processor has: the SSE2 loops, and the
    // 256-bit ones where AVX2 is present.
    static std::vector<int> FastKinds()
    {
        std::vector<int> kinds = {1};
        if (PlatformHasAvx2()) kinds.push_back(2);
        return kinds;
    }
    static void UseLoops(int kind)
    {
        SetMmxFlag(kind > 0);
        VxSetWideSpans(kind == 2);
    }
    // From the present page and z-buffer, draws with each kind of fast loop
    // and once with the plain ones; all must leave the same bytes. The plain
    // result stays in place.
    template <class F>
    void ExpectSameBytes(F draw, const std::string &what)
    {
        std::vector<uint32_t> startPage = page;
        std::vector<int16_t> startZ = Depths();
        std::vector<std::vector<uint32_t>> fastPages;
        std::vector<std::vector<int16_t>> fastZs;
        for (int kind : FastKinds()) {
            UseLoops(kind);
            ASSERT_EQ(GetMmxFlag(), 1);
            ASSERT_EQ(VxGetWideSpans(), kind == 2 ? 1 : 0);
            page = startPage;
            std::copy(startZ.begin(), startZ.end(), VxGetZBuffer());
            draw();
            fastPages.push_back(page);
            fastZs.push_back(Depths());
        }
        page = startPage;
        std::copy(startZ.begin(), startZ.end(), VxGetZBuffer());
        UseLoops(0);
        draw();
        for (size_t k = 0; k < fastPages.size(); k++) {
            int differ = 0, first = -1;
            for (size_t i = 0; i < page.size(); i++)
                if (page[i] != fastPages[k][i] || VxGetZBuffer()[i] != fastZs[k][i]) {
                    if (first < 0) first = (int)i;
                    differ++;
                }
            EXPECT_EQ(differ, 0) << what << ", " << (FastKinds()[k] == 2 ? "256-bit" : "SSE2")
                                 << " loops: first at pixel " << first;
        }
    }
};

TEST_F(FastLoops, EverySpanLengthWithMixedDepthTestsAndWrappingTextures)
{
    std::mt19937 random(7);
    // Up to 300 pixels: partial and whole batches of eight perspective runs,
    // more than one batch, and remainders after them.
    int lengths[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 31, 33, 100, 127, 128, 129, 143, 255, 256, 257, 300};
    int sizes[][2] = {{16, 16}, {256, 256}, {512, 256}};
    int equalDrawn = 0, equalSeen = 0, kept = 0;
    for (Member m : {Member::Persp, Member::Affine, Member::Half, Member::Add})
        for (auto &size : sizes)
            for (int n : lengths) {
                // Columns 0 .. n-1 on rows 0 .. 3, texture coordinates well
                // beyond the texture on both sides, depth across the span.
                DepthQuad q(-0.7f, -0.7f, n - 0.7f, 3.3f, 1.0f / 40, 1.0f / 300, -3.3f * size[0],
                            2.6f * size[0] + 7, -size[1] * 1.7f, size[1] * 0.9f, m == Member::Persp);
                // The quad's own depths, then a start buffer that is
                // farther, equal or nearer pixel by pixel.
                Clear(0x123456);
                Draw(m, 4, q.xy, q.tex, q.w, size[0], size[1]);
                std::vector<int16_t> own = Depths();
                Clear(0x123456);
                int16_t *z = VxGetZBuffer();
                for (size_t i = 0; i < own.size(); i++) {
                    if (own[i] == 0) continue;
                    int pick = (int)(random() % 4);
                    z[i] = (int16_t)(own[i] - 1 + (pick == 3 ? 1 : pick));
                    page[i] = random() & 0xFFFFFF;
                }
                std::vector<int16_t> start = Depths();
                std::vector<uint32_t> startPage = page;
                ExpectSameBytes([&] { Draw(m, 4, q.xy, q.tex, q.w, size[0], size[1]); },
                                "member " + std::to_string((int)m) + ", " + std::to_string(size[0]) + " wide, " +
                                    std::to_string(n) + " px");
                for (size_t i = 0; i < own.size(); i++) {
                    if (own[i] == 0) continue;
                    if (start[i] == own[i]) {
                        equalSeen++;
                        equalDrawn += page[i] != startPage[i];
                    } else if (start[i] > own[i]) {
                        kept += page[i] == startPage[i] && z[i] == start[i];
                    }
                }
            }
    // Equal depth draws; the few equal-depth pixels whose texel matches the
    // old colour by chance do not show.
    EXPECT_GT(equalSeen, 1000);
    EXPECT_GE(equalDrawn, equalSeen - 2);
    EXPECT_GT(kept, 1000);
}

TEST_F(FastLoops, DepthClampedAtBothEnds)
{
    for (Member m : {Member::Persp, Member::Affine}) {
        // Nearer than z = 8 at the right end: the depth saturates at 32767
        // part-way through a run.
        DepthQuad nearRight(-100.5f, -2.5f, 100.5f, 2.5f, 1.0f / 20, 1.0f / 3, 0, 90, 0, 5,
                            m == Member::Persp);
        // Behind the eye at the right end (1/z below 0): the depth floors at 0.
        DepthQuad farRight(-100.5f, 10.5f, 100.5f, 14.5f, 0.004f, -0.004f, 0, 90, 0, 5,
                           m == Member::Persp);
        Clear(0xFFFFFFFF);
        ExpectSameBytes(
            [&] {
                Draw(m, 4, nearRight.xy, nearRight.tex, nearRight.w, 16, 16);
                Draw(m, 4, farRight.xy, farRight.tex, farRight.w, 16, 16);
            },
            m == Member::Persp ? "perspective" : "affine");
        EXPECT_EQ(Z(95, 0), 32767);
        EXPECT_LT(Z(-95, 0), 32767);
        EXPECT_GT(Z(-95, 0), 0);
        EXPECT_EQ(Z(95, 12), 0);
        EXPECT_NE(At(95, 12), 0xFFFFFFFFu); // drawn at the floored depth 0
        EXPECT_GT(Z(-95, 12), 0);
    }
}

TEST_F(FastLoops, TextureCoordinatesBeyondAWordAndHugeSteps)
{
    Clear(0x10203040);
    ExpectSameBytes(
        [&] {
            // Columns cross +-32768 texels (2^31 in 16.16) part-way through
            // the spans: those run starts are converted the slow way.
            DepthQuad up(-150.5f, -60.5f, 149.5f, -40.5f, 1.0f / 30, 1.0f / 90, 32000, 33600, 0, 40, true);
            DepthQuad down(-150.5f, -30.5f, 149.5f, -10.5f, 1.0f / 90, 1.0f / 30, -33600, -32000, 5, 60, true);
            // A million texels across 200 pixels: the run steps are clamped.
            DepthQuad huge(-100.5f, 0.5f, 99.5f, 20.5f, 1.0f / 40, 1.0f / 50, -1e6f, 1e6f, -3e5f, 2e5f, true);
            for (const DepthQuad *q : {&up, &down, &huge}) Draw(Member::Persp, 4, q->xy, q->tex, q->w, 256, 256);
        },
        "coordinates beyond a word");
    EXPECT_GT(Drawn(0x10203040), 3 * 200 * 18);
}

TEST_F(FastLoops, WideSpansFollowTheProcessor)
{
    // VxInit chose them where the processor has AVX2.
    EXPECT_EQ(VxGetWideSpans(), PlatformHasAvx2());
    EXPECT_EQ(VxSetWideSpans(0), 0);
    EXPECT_EQ(VxGetWideSpans(), 0);
    EXPECT_EQ(VxSetWideSpans(1), PlatformHasAvx2());
    EXPECT_EQ(VxGetWideSpans(), PlatformHasAvx2());
}

TEST_F(FastLoops, RandomPolygonsOverdrawn)
{
    int sizes[] = {4, 8, 16, 32, 64, 128, 256};
    Clear(0);
    ExpectSameBytes(
        [&] {
            std::mt19937 random(11);
            auto uniform = [&](float a, float b) { return std::uniform_real_distribution<float>(a, b)(random); };
            for (int k = 0; k < 1500; k++) {
                int n = 3 + (int)(random() % 5);
                float cx = uniform(-330, 330), cy = uniform(-250, 250), radius = uniform(1, 150), a0 = uniform(0, 6.3f);
                float xy[14], t[14], w[7];
                for (int i = 0; i < n; i++) {
                    float a = a0 - 6.2831853f * i / n; // the walker's winding
                    xy[2 * i] = cx + radius * std::cos(a);
                    xy[2 * i + 1] = cy + radius * std::sin(a);
                    w[i] = 1.0f / uniform(random() % 8 ? 8 : 3, 2000);
                    t[2 * i] = uniform(-3000, 3000) * 65536.0f * w[i];
                    t[2 * i + 1] = uniform(-3000, 3000) * 65536.0f * w[i];
                }
                Member m = (Member)(random() % 4);
                int tw = sizes[random() % 7], th = sizes[random() % 7];
                if (m != Member::Persp)
                    for (int i = 0; i < 2 * n; i++) t[i] /= w[i / 2];
                Draw(m, n, xy, t, w, tw, th);
            }
        },
        "random polygons");
    EXPECT_GT(Drawn(0), 200000);
}

} // namespace
