// The pipeline: view state, camera, clipping, culling, face modes, and golden
// pictures of small scenes for every face mode and effect.
#include "vxtest.h"

#include <cmath>

#include "gfx/pixels.h"
#include "platform/platform.h"
#include "store/stackheap.h"

using namespace vxtest;

namespace {

TEST(View, BoundsFocalAndCentre)
{
    VxSetViewport(640, 480);
    VxViewInfo v = VxGetView();
    EXPECT_EQ(v.xMin, -320);
    EXPECT_EQ(v.xMax, 319);
    EXPECT_EQ(v.yMin, -240);
    EXPECT_EQ(v.yMax, 239);
    EXPECT_EQ(v.focal, 320.0f);
    EXPECT_EQ(v.centre, 153920);
    VxSetUncentredViewport(256, 128);
    v = VxGetView();
    EXPECT_EQ(v.xMin, 0);
    EXPECT_EQ(v.xMax, 255);
    EXPECT_EQ(v.yMax, 127);
    EXPECT_EQ(v.centre, 0);
}

TEST(Camera, RotationsAndTranslationInOrder)
{
    float p[3] = {1, 0, 0}, out[3];
    VxSetCamera(0, 0, 0, 0, (float)M_PI / 2, 0);
    VxTransformPoint(p, out);
    EXPECT_NEAR(out[0], 0, 1e-6);
    EXPECT_NEAR(out[2], -1, 1e-6);
    // Translation first, then Ry, then Rx, then Rz.
    VxSetCamera(0, 0, 5, (float)M_PI / 2, 0, 0);
    float q[3] = {0, 1, 0};
    VxTransformPoint(q, out);
    EXPECT_NEAR(out[1], -5, 1e-5); // (0, 1, 5) turned about X: y' = y cos - z sin
    EXPECT_NEAR(out[2], 1, 1e-5);
    VxSetCamera(0, 0, 0, 0, 0, (float)M_PI / 2);
    VxTransformPoint(p, out);
    EXPECT_NEAR(out[1], 1, 1e-6);
}

TEST(Clip, TriangleCrossingTheNearPlaneBecomesAQuad)
{
    float tri[9] = {0, 0, 4, 10, 0, 10, 0, 10, 10}, out[12];
    int n = VxClipNearPlane(tri, 3, out);
    ASSERT_EQ(n, 4);
    int atFive = 0;
    for (int i = 0; i < n; i++) atFive += out[3 * i + 2] == 5.0f;
    EXPECT_EQ(atFive, 2);
    EXPECT_NEAR(out[0], 10.0f / 6.0f, 1e-5); // from (0,0,4) towards (10,0,10)
    float behind[9] = {0, 0, 4, 1, 0, 4.9f, 0, 1, 1};
    EXPECT_EQ(VxClipNearPlane(behind, 3, out), 0);
}

// A UV sphere of radius r at (x, y, z), faces wound to face outward.
void Sphere(V3d &v, float x, float y, float z, float r, const char *tex, uint32_t mode,
            const char *tex2 = "", int n = 12)
{
    std::vector<float> vert;
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            float th = (float)M_PI * i / n, ph = 2 * (float)M_PI * j / n;
            vert.push_back(x + r * std::sin(th) * std::cos(ph));
            vert.push_back(y + r * std::cos(th));
            vert.push_back(z + r * std::sin(th) * std::sin(ph));
        }
    std::vector<V3d::Face> faces;
    auto add = [&](int a, int b, int c, float ra, float ca, float rb, float cb, float rc, float cc) {
        const float *A = &vert[3 * a], *B = &vert[3 * b], *C = &vert[3 * c];
        float u[3] = {B[0] - A[0], B[1] - A[1], B[2] - A[2]}, w[3] = {C[0] - A[0], C[1] - A[1], C[2] - A[2]};
        float nn[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
        float out = nn[0] * (A[0] - x) + nn[1] * (A[1] - y) + nn[2] * (A[2] - z);
        if (out > 0) faces.push_back({{a, c, b}, {ra, rc, rb}, {ca, cc, cb}, tex, tex2, mode});
        else faces.push_back({{a, b, c}, {ra, rb, rc}, {ca, cb, cc}, tex, tex2, mode});
    };
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            int a = i * (n + 1) + j, b = a + 1, c = a + n + 1, d = c + 1;
            float r0 = 64.f * i / n, r1 = 64.f * (i + 1) / n, c0 = 64.f * j / n, c1 = 64.f * (j + 1) / n;
            if (i > 0) add(a, b, c, r0, c0, r0, c1, r1, c0);
            if (i < n - 1) add(b, d, c, r0, c1, r1, c1, r1, c0);
        }
    v.Model(vert, faces);
}

// A horizontal floor at height y from z0 to z1.
void Floor(V3d &v, float y, float z0, float z1, float half, const char *tex, uint32_t mode,
           const char *tex2 = "")
{
    std::vector<float> vert = {-half, y, z1, half, y, z1, half, y, z0, -half, y, z0};
    v.Model(vert, {{{0, 3, 2}, {0, 63, 63}, {0, 0, 63}, tex, tex2, mode},
                   {{0, 2, 1}, {0, 63, 0}, {0, 63, 63}, tex, tex2, mode}});
}

// The same floor as a grid of n x n cells, for effects interpolated affinely.
void GridFloor(V3d &v, float y, float z0, float z1, float half, const char *tex, uint32_t mode, int n)
{
    std::vector<float> vert;
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            vert.push_back(-half + 2 * half * j / n);
            vert.push_back(y);
            vert.push_back(z1 - (z1 - z0) * i / n);
        }
    std::vector<V3d::Face> faces;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            int a = i * (n + 1) + j, b = a + 1, c = a + n + 1, d = c + 1;
            float r0 = 64.f * i / n, r1 = 64.f * (i + 1) / n, c0 = 64.f * j / n, c1 = 64.f * (j + 1) / n;
            faces.push_back({{a, c, d}, {r0, r1, r1}, {c0, c0, c1}, tex, "", mode});
            faces.push_back({{a, d, b}, {r0, r1, r0}, {c0, c1, c1}, tex, "", mode});
        }
    v.Model(vert, faces);
}

class Scene : public Engine {
  protected:
    VxScene scene{};
    std::vector<uint32_t> page;
    void Prepare() override
    {
        width = 320;
        height = 240;
    }
    void TearDown() override
    {
        VxFreeScene(&scene);
        Engine::TearDown();
    }
    void Render(const V3d &v, uint32_t background = 0x202020, float ax = 0, float ay = 0, int frames = 1)
    {
        WriteFile("s.v3d", v.Bytes());
        VxFreeScene(&scene);
        ASSERT_EQ(VxLoadScene(&scene, "s.v3d"), 1);
        for (int f = 0; f < frames; f++) {
            page.assign((size_t)width * height, background);
            VxClearZBuffer();
            VxSetCamera(0, 0, 0, ax, ay, 0);
            VxStepScene(&scene);
            VxDrawScene(page.data(), &scene);
        }
    }
    int Differs(uint32_t background)
    {
        int n = 0;
        for (uint32_t p : page) n += p != background;
        return n;
    }
};

TEST_F(Scene, CullingAndDroppedTriangles)
{
    V3d v;
    Quad(v, 0, 0, 100, 20, "checker", 0);
    Render(v);
    int front = Differs(0x202020);
    EXPECT_GT(front, 2000);
    // Seen from behind the same quad is culled.
    V3d back;
    std::vector<float> vert = {-20, 20, 100, 20, 20, 100, 20, -20, 100, -20, -20, 100};
    back.Model(vert, {{{0, 2, 3}, {0, 0, 0}, {0, 0, 0}, "checker", "", 0}});
    Render(back);
    EXPECT_EQ(Differs(0x202020), 0);
    // Wholly left of the view, and wholly behind the camera.
    V3d off;
    Quad(off, -400, 0, 100, 20, "checker", 0);
    Quad(off, 0, 0, -100, 20, "checker", 0);
    Render(off);
    EXPECT_EQ(Differs(0x202020), 0);
}

TEST_F(Scene, HiddenAndMirrorOnlyModelsDrawNothing)
{
    V3d v;
    Quad(v, 0, 0, 100, 20, "checker", 0x2);
    Quad(v, 50, 0, 100, 20, "checker", 0x40);
    Render(v);
    EXPECT_EQ(Differs(0x202020), 0);
    V3d h;
    Quad(h, 0, 0, 100, 20, "checker", 0x48);
    Render(h, 0xFFFFFF);
    EXPECT_GT(Differs(0xFFFFFF), 2000);
    EXPECT_EQ(page[120 * 320 + 160] & 0x808080, 0x000000u + (page[120 * 320 + 160] & 0x808080));
}

TEST_F(Scene, SunFlareGlareAndOcclusion)
{
    V3d v;
    v.Sun(0, 0, 100);
    Render(v, 0);
    EXPECT_EQ(VxState().glare, 100); // exactly at the centre
    EXPECT_EQ(page[0] & 0xFF, 100u); // the whole page brightened
    ExpectGolden("sun", page.data(), width, height);

    // A small quad right in front of the sun: no glare, no flares.
    V3d behind;
    Quad(behind, 0, 0, 50, 12, "checker", 0);
    behind.Sun(0, 0, 100);
    Render(behind, 0);
    EXPECT_EQ(VxState().glare, 0);
    std::vector<uint32_t> withSun = page;
    V3d plain;
    Quad(plain, 0, 0, 50, 12, "checker", 0);
    Render(plain, 0);
    EXPECT_EQ(withSun, page);
    ExpectGolden("sun_behind_model", withSun.data(), width, height);

    V3d off;
    off.Sun(30, 20, 100);
    Render(off, 0);
    EXPECT_GT(VxState().glare, 0);
    ExpectGolden("sun_off_centre", page.data(), width, height);
}

TEST_F(Scene, ParticleRamps)
{
    V3d v;
    for (int kind = 0; kind <= 9; kind++) {
        v.Object(VX_PARTICLE);
        Put32(v.body, (uint32_t)kind);
        Put32(v.body, 200);
        PutF(v.body, -90.0f + 20 * kind); PutF(v.body, 0); PutF(v.body, 150);
        PutF(v.body, 0); PutF(v.body, 1); PutF(v.body, 0);
    }
    std::srand(1);
    Render(v, 0);
    for (int kind : {0, 1, 2, 5, 6, 7}) EXPECT_EQ(((VxParticleEmitter *)scene.objects[kind].payload)->ramp[0], 0u);
    VxParticleEmitter *k9 = (VxParticleEmitter *)scene.objects[9].payload;
    EXPECT_EQ(k9->particles[5].position[0], 0.0f);
    EXPECT_EQ(k9->particles[5].age, 0);
    // Kind 3's ramp has only its first 100 entries set.
    VxParticleEmitter *k3 = (VxParticleEmitter *)scene.objects[3].payload;
    EXPECT_EQ(k3->ramp[99], 0xC8C8FFu);
    EXPECT_EQ(k3->ramp[150], 0u);
    EXPECT_EQ(((VxParticleEmitter *)scene.objects[4].payload)->ramp[0], 0xFF0000u);
    // Only kinds 3, 4 and 8 have a visible first entry: their glows show.
    EXPECT_GT(Differs(0), 50);
    ExpectGolden("particles", page.data(), width, height);
}

struct GoldenCase {
    const char *name;
    std::function<void(V3d &)> build;
    float ax;
    int frames;
};

class Golden : public Scene, public ::testing::WithParamInterface<GoldenCase> {};

TEST_P(Golden, LooksAsBefore)
{
    // The plain span loops, the SSE2 ones and (where the processor has
    // AVX2) the 256-bit ones draw the same picture.
    for (int kind : {0, 1, 2}) {
        if (kind == 2 && !PlatformHasAvx2()) continue;
        SCOPED_TRACE(kind == 0 ? "plain loops" : kind == 1 ? "SSE2 loops" : "256-bit loops");
        SetMmxFlag(kind > 0);
        ASSERT_EQ(GetMmxFlag(), kind > 0 ? 1 : 0);
        ASSERT_EQ(VxSetWideSpans(kind == 2), kind == 2 ? 1 : 0);
        V3d v;
        GetParam().build(v);
        Render(v, 0x202020, GetParam().ax, 0, GetParam().frames);
        ExpectGolden(GetParam().name, page.data(), width, height);
    }
    SetMmxFlag(0);
    VxSetWideSpans(1);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, Golden,
    ::testing::Values(
        GoldenCase{"persp_floor", [](V3d &v) { Floor(v, -30, 20, 400, 80, "checker", 0); }, 0, 1},
        GoldenCase{"affine_floor", [](V3d &v) { Floor(v, -30, 20, 400, 80, "checker", 0x1000); }, 0, 1},
        GoldenCase{"half_add_outline_tint",
                   [](V3d &v) {
                       Quad(v, 0, 0, 200, 90, "grad", 0);
                       Quad(v, -45, 30, 150, 25, "checker", 0x8);
                       Quad(v, 45, 30, 150, 25, "checker", 0x40000);
                       Quad(v, -45, -35, 150, 25, "checker", 0x2000);
                       Sphere(v, 45, -35, 150, 28, "checker", 0x400000);
                   },
                   0, 1},
        GoldenCase{"two_texture",
                   [](V3d &v) {
                       Sphere(v, -40, 0, 150, 35, "checker", 0x200, "layer");
                       Sphere(v, 40, 0, 150, 35, "checker", 0x200 | 0x20000, "grad");
                   },
                   0, 1},
        GoldenCase{"two_texture_sub",
                   [](V3d &v) {
                       Sphere(v, -40, 0, 150, 35, "grad", 0x200 | 0x4000, "layer");
                       Sphere(v, 40, 0, 150, 35, "grad", 0x200 | 0x80000, "checker");
                   },
                   0, 1},
        GoldenCase{"env_sphere", [](V3d &v) { Sphere(v, 0, 0, 120, 40, "grad", 0x4, "", 16); }, 0, 1},
        GoldenCase{"sprites",
                   [](V3d &v) {
                       Quad(v, 0, 0, 300, 120, "grad", 0);
                       Sphere(v, 0, 0, 150, 40, "spark", 0x200000, "", 6);
                   },
                   0, 1},
        GoldenCase{"reflect",
                   [](V3d &v) {
                       Quad(v, 0, 0, 300, 150, "checker", 0);
                       Sphere(v, 0, 0, 120, 35, "grad", 0x80 | 0x4, "", 16);
                   },
                   0, 1},
        GoldenCase{"mirror",
                   [](V3d &v) {
                       Floor(v, -40, 60, 300, 100, "standard", 0x48);
                       Sphere(v, 0, 0, 150, 30, "checker", 0);
                   },
                   0, 1},
        GoldenCase{"shadow",
                   [](V3d &v) {
                       Floor(v, -40, 60, 300, 100, "grad", 0x0, "layer");
                       v.Object(VX_SHADOW);
                       PutF(v.body, 0); PutF(v.body, 0); PutF(v.body, 180);
                       for (int i = 0; i < 3; i++) PutF(v.body, 0);
                       Put32(v.body, 0);
                       PutF(v.body, 0.3f);
                       for (int i = 0; i < 4; i++) Put32(v.body, 0);
                       Put32(v.body, 0);
                   },
                   0, 1},
        GoldenCase{"shadow_two_source",
                   [](V3d &v) {
                       Floor(v, -40, 60, 300, 100, "grad", 0x0, "layer");
                       for (int s = 0; s < 2; s++) {
                           v.Object(VX_SHADOW);
                           PutF(v.body, s ? 50.f : -50.f); PutF(v.body, 0); PutF(v.body, 180);
                           for (int i = 0; i < 3; i++) PutF(v.body, 0);
                           Put32(v.body, 3);
                           PutF(v.body, 0.2f);
                           for (int i = 0; i < 4; i++) Put32(v.body, 0);
                           Put32(v.body, s ? 1 : 0); // the second names the first as its partner
                       }
                   },
                   0, 1},
        GoldenCase{"zshadow",
                   [](V3d &v) {
                       GridFloor(v, -40, 60, 300, 120, "checker", 0x100000, 8);
                       Sphere(v, 0, 0, 160, 30, "grad", 0x100000);
                       v.Object(VX_ZSHADOW);
                       PutF(v.body, 0); PutF(v.body, -300); PutF(v.body, -160);
                       PutF(v.body, -(float)M_PI / 2); PutF(v.body, 0); PutF(v.body, 0);
                       PutF(v.body, 1.0f);
                   },
                   0, 1},
        GoldenCase{"bump",
                   [](V3d &v) {
                       Sphere(v, 0, 0, 120, 40, "checker", 0x10000, "layer", 16);
                       v.Object(VX_BUMP);
                       Put32(v.body, 0);
                   },
                   0, 3},
        GoldenCase{"sunlit",
                   [](V3d &v) {
                       Floor(v, -40, 60, 300, 100, "checker", 0x10);
                       Sphere(v, 0, 0, 150, 25, "grad", 0x20);
                       v.Sun(0, 200, 150);
                   },
                   0, 1}),
    [](const ::testing::TestParamInfo<GoldenCase> &info) { return std::string(info.param.name); });

// Projected shadows fall on models only: one naming a sun as its receiver
// loads and leaves the picture as it is.
TEST_F(Scene, ShadowsOntoObjectsThatAreNotModelsDrawNothing)
{
    // A floor that takes projected shadows, and a sun behind the camera (no flare).
    auto build = [](V3d &v) {
        Floor(v, -40, 60, 300, 100, "grad", 0x0, "layer");
        v.Sun(0, 0, -100);
    };
    V3d plain;
    build(plain);
    Render(plain);
    std::vector<uint32_t> without = page;
    V3d onFloor;
    build(onFloor);
    onFloor.Shadow(0, 0, 180, 0, 0.3f, 0);
    Render(onFloor);
    EXPECT_TRUE(page != without); // a shadow that lands shows
    V3d onSun;
    build(onSun);
    onSun.Shadow(0, 0, 180, 0, 0.3f, 1);
    onSun.ShadowLink(1, 2);
    Render(onSun);
    EXPECT_TRUE(page == without);
}

// Every frame a link takes the first three words of the object it follows,
// whatever its kind; a model's record starts with no such words.
TEST_F(Scene, ShadowLinkTakesThePositionWordsOfWhatItFollows)
{
    V3d v;
    Floor(v, -40, 60, 300, 100, "grad", 0x0, "layer");
    v.Object(VX_PARTICLE);
    Put32(v.body, 9); // a kind that leaves its particles alone
    Put32(v.body, 3);
    PutF(v.body, 7); PutF(v.body, 8); PutF(v.body, 9);
    PutF(v.body, 0); PutF(v.body, 1); PutF(v.body, 0);
    v.Sun(5, 6, 7);
    v.ShadowLink(0, 1);
    v.ShadowLink(0, 2);
    v.ShadowLink(0, 0);
    Render(v);
    auto link = [&](int i) { return (const VxShadowLink *)scene.objects[i].payload; };
    uint32_t words[3];
    std::memcpy(words, link(3)->position, 12);
    EXPECT_EQ(words[0], 9u);
    EXPECT_EQ(words[1], 3u);
    EXPECT_EQ(link(3)->position[2], 7.0f);
    EXPECT_EQ(link(4)->position[0], 5.0f);
    EXPECT_EQ(link(4)->position[1], 6.0f);
    EXPECT_EQ(link(4)->position[2], 7.0f);
    for (int k = 0; k < 3; k++) EXPECT_EQ(link(5)->position[k], 0.0f);
}

TEST_F(Scene, SunlitFaceRestoresItsTexture)
{
    V3d v;
    Floor(v, -40, 60, 300, 100, "checker", 0x10);
    Sphere(v, 0, 0, 150, 25, "grad", 0x20);
    v.Sun(0, 200, 150);
    WriteFile("s.v3d", v.Bytes());
    ASSERT_EQ(VxLoadScene(&scene, "s.v3d"), 1);
    const VxTexture *t = VxGetTexture(((VxMesh *)scene.objects[0].payload)->faces[0].tex1);
    std::vector<uint32_t> before((uint32_t *)t->pixels, (uint32_t *)t->pixels + 64 * 64);
    page.assign((size_t)width * height, 0);
    VxClearZBuffer();
    VxSetCamera(0, 0, 0, 0, 0, 0);
    VxStepScene(&scene);
    VxDrawScene(page.data(), &scene);
    std::vector<uint32_t> after((uint32_t *)t->pixels, (uint32_t *)t->pixels + 64 * 64);
    EXPECT_EQ(before, after);
    EXPECT_GT(VxFindTexture("checker@"), 0);
}

} // namespace

namespace {

// The outro's use: slot 0 replaced by a 512 x 256 capture, a model built in
// memory with mode 0x200 and an 8-bit second layer; all rows of the capture
// reach the page.
TEST_F(Scene, CaptureTextureShowsAllRows)
{
    uint32_t *capture = (uint32_t *)StackheapAlloc(512 * 256 * 4);
    ASSERT_NE(capture, nullptr);
    for (int r = 0; r < 256; r++)
        for (int c = 0; c < 512; c++) capture[r * 512 + c] = (uint32_t)r << 8;
    ASSERT_EQ(VxReplaceTexture(0, capture, 512, 256, 4, 1000000), 1);
    WriteBmp8("zero.bmp", 8, 8, [](int, int) { return 0; });
    int32_t layer = VxLoadMaskTexture("zero.bmp");
    ASSERT_GT(layer, 0);
    ASSERT_EQ(VxNewScene(&scene, 1), 1);
    VxMesh *m = VxNewModel(&scene, 0, 4, 2);
    ASSERT_NE(m, nullptr);
    float v[12] = {-100, 100, 100, 100, 100, 100, 100, -100, 100, -100, -100, 100};
    std::memcpy(m->vertices, v, sizeof v);
    int corners[2][3] = {{0, 3, 2}, {0, 2, 1}};
    float rows[2][3] = {{0, 256, 256}, {0, 256, 0}}, cols[2][3] = {{0, 0, 512}, {0, 512, 512}};
    for (int f = 0; f < 2; f++) {
        for (int k = 0; k < 3; k++) {
            m->faces[f].corner[k] = corners[f][k];
            m->faces[f].row[k] = rows[f][k];
            m->faces[f].col[k] = cols[f][k];
        }
        m->faces[f].mode = 0x200;
        VxSetFaceTextures(&m->faces[f], 0, layer);
    }
    page.assign((size_t)width * height, 0);
    VxClearZBuffer();
    VxSetCamera(0, 0, 0, 0, 0, 0);
    VxStepScene(&scene);
    VxDrawScene(page.data(), &scene);
    // The quad reaches beyond the view (focal 160 at z 100), which shows
    // capture rows 32..223: green rises with the row past the capture's
    // middle, never wrapping back to its top half.
    int seenHigh = 0, prev = -1, falls = 0;
    for (int y = 2; y < 238; y++) {
        int g = (int)((page[y * 320 + 100] >> 8) & 255);
        if (g >= 200) seenHigh++;
        if (prev >= 0 && g + 4 < prev) falls++;
        prev = g;
    }
    EXPECT_GT(seenHigh, 5);
    EXPECT_EQ(falls, 0);
}

} // namespace
