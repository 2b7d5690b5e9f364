// V3D loading, the texture cache and the shutdown report.
#include "vxtest.h"

#include "store/stackheap.h"

using namespace vxtest;

namespace {

class Loader : public Engine {
  protected:
    VxScene scene{};
    std::string Load(const std::vector<uint8_t> &bytes, int *result)
    {
        WriteFile("t.v3d", bytes);
        Capture cap;
        return cap.Run([&] { *result = VxLoadScene(&scene, "t.v3d"); });
    }
    void TearDown() override
    {
        VxFreeScene(&scene);
        Engine::TearDown();
    }
};

std::vector<uint8_t> Format1(int32_t vertices, const char *name, int faces = 1)
{
    std::vector<uint8_t> b = {'V', 'X', '3', 'D'};
    Put32(b, 0x100);
    Put32(b, 1);
    while (b.size() < 256) b.push_back(0xAA);
    Put32(b, (uint32_t)vertices);
    Put32(b, (uint32_t)faces);
    for (int i = 0; i < vertices * 3; i++) PutF(b, (float)i);
    for (int f = 0; f < faces; f++) {
        for (int k = 0; k < 3; k++) Put32(b, (uint32_t)k);
        for (int k = 0; k < 6; k++) PutF(b, 1.0f);
        char n[10] = {};
        std::memcpy(n, name, std::strlen(name) < 10 ? std::strlen(name) : 10);
        PutBytes(b, n, 10);
    }
    return b;
}

TEST_F(Loader, RejectsWrongMagicAndVersions)
{
    int r = -1;
    std::vector<uint8_t> bad(300, 7);
    std::memcpy(bad.data(), "VX3E", 4);
    EXPECT_EQ(Load(bad, &r), "- no V3D-File!\n");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(VxSceneObjectCount(&scene), 0);
    for (int i = 0; i < 256; i++) ASSERT_EQ(scene.header[i], 0) << i;

    for (uint32_t version : {0xFFu, 0x101u, 0x300u}) {
        V3d v;
        v.version = version;
        EXPECT_EQ(Load(v.Bytes(), &r), "- v3d-version not supported!\n") << version;
        EXPECT_EQ(r, 0);
        EXPECT_EQ(VxSceneObjectCount(&scene), 0);
    }
    Capture cap;
    EXPECT_EQ(cap.Run([&] { r = VxLoadScene(&scene, "missing.v3d"); }), "- file not found!\n");
    EXPECT_EQ(r, 0);
}

TEST_F(Loader, Format1NamePrefixSetsModeAndSetsMarker)
{
    int r = 0;
    char name[] = "\x81" "checker";
    EXPECT_EQ(Load(Format1(3, name, 2), &r), "");
    ASSERT_EQ(r, 1);
    uint32_t marker, reserved[3];
    std::memcpy(&marker, scene.header + 12, 4);
    std::memcpy(reserved, scene.header + 16, 12);
    EXPECT_EQ(marker, 0x11223344u);
    EXPECT_EQ(reserved[0] | reserved[1] | reserved[2], 0u);
    VxMesh *m = (VxMesh *)scene.objects[0].payload;
    ASSERT_EQ(m->faceCount, 2);
    int32_t slot = m->faces[0].tex1;
    EXPECT_GT(slot, 0);
    for (int f = 0; f < 2; f++) {
        EXPECT_EQ(m->faces[f].mode, 2u);
        EXPECT_STREQ(m->faces[f].texName1, "checker");
        EXPECT_EQ(m->faces[f].tex1, slot);
    }
    EXPECT_EQ(VxGetTexture(slot)->refs, 2);
    EXPECT_STREQ(VxGetTexture(slot)->name, "checker");
}

TEST_F(Loader, Format1VertexLimit)
{
    int r = 0;
    EXPECT_EQ(Load(Format1(30001, "x"), &r), "- too many vertexes! (over 30000)\n");
    EXPECT_EQ(r, 0);
    EXPECT_EQ(VxSceneObjectCount(&scene), 0);
    EXPECT_EQ(Load(Format1(30000, "x"), &r), "");
    EXPECT_EQ(r, 1);
    EXPECT_EQ(((VxMesh *)scene.objects[0].payload)->vertexCount, 30000);
    // A missing texture degrades to the default slot without a word.
    EXPECT_EQ(((VxMesh *)scene.objects[0].payload)->faces[0].tex1, 0);
}

TEST_F(Loader, KeyMarkerDecidesWhetherKeysAreRead)
{
    V3d v;
    v.Object(VX_SUN, 5, 0x12345678); // invalid marker: no key data follows
    PutF(v.body, 1); PutF(v.body, 2); PutF(v.body, 3);
    int16_t kind = 1, size = 10;
    PutBytes(v.body, &kind, 2);
    PutBytes(v.body, &size, 2);
    v.Object(VX_SUN, 2, 0x42420000); // valid: 7 tracks of 2 words
    for (int i = 0; i < 14; i++) Put32(v.body, (uint32_t)(100 + i));
    PutF(v.body, 4); PutF(v.body, 5); PutF(v.body, 6);
    PutBytes(v.body, &kind, 2);
    PutBytes(v.body, &size, 2);
    int r = 0;
    EXPECT_EQ(Load(v.Bytes(), &r), "");
    ASSERT_EQ(r, 1);
    EXPECT_EQ(scene.objects[0].keyCount, 0);
    EXPECT_EQ(scene.objects[0].keyMarker, 0x42424242u);
    VxSun *s0 = (VxSun *)scene.objects[0].payload;
    EXPECT_EQ(s0->position[2], 3.0f);
    EXPECT_EQ(s0->lightKind, 1);
    EXPECT_EQ(s0->lightSize, 10);
    EXPECT_EQ(scene.objects[1].keyCount, 2);
    EXPECT_EQ(scene.objects[1].keyTracks[6][1], 113u);
    EXPECT_EQ(((VxSun *)scene.objects[1].payload)->position[0], 4.0f);
}

TEST_F(Loader, UnknownKindsFailTheLoad)
{
    for (int32_t kind : {(int32_t)VX_LIGHT, (int32_t)VX_BLOB, 42}) {
        SCOPED_TRACE(kind);
        V3d v;
        Quad(v, 0, 0, 100, 10, "checker", 0);
        v.Object(kind);
        int r = 1;
        EXPECT_EQ(Load(v.Bytes(), &r), "- unknown object!\n");
        EXPECT_EQ(r, 0);
        // What was built is released again: no reference stays behind.
        EXPECT_EQ(VxSceneObjectCount(&scene), 0);
        EXPECT_EQ(VxGetTexture(VxTextureCount() - 1)->pixels, nullptr);
        // The record alone is 36 bytes, the shortest an object can be.
        V3d alone;
        alone.Object(kind);
        ASSERT_EQ(alone.Bytes().size(), 256u + 36u);
        r = 1;
        EXPECT_EQ(Load(alone.Bytes(), &r), "- unknown object!\n");
        EXPECT_EQ(r, 0);
        EXPECT_EQ(VxSceneObjectCount(&scene), 0);
    }
}

TEST_F(Loader, FacesSharingATextureShareOneSlot)
{
    V3d v;
    Quad(v, 0, 0, 100, 10, "checker", 0, "layer");
    Quad(v, 0, 0, 100, 10, "checker", 0, "layer");
    int r = 0;
    EXPECT_EQ(Load(v.Bytes(), &r), "");
    ASSERT_EQ(r, 1);
    VxMesh *a = (VxMesh *)scene.objects[0].payload, *b = (VxMesh *)scene.objects[1].payload;
    EXPECT_EQ(a->faces[0].tex1, b->faces[1].tex1);
    EXPECT_EQ(VxGetTexture(a->faces[0].tex1)->refs, 4);
    const VxTexture *layer = VxGetTexture(a->faces[0].tex2);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(layer->bytesPerTexel, 1);
    EXPECT_EQ(layer->refs, 4);
    EXPECT_EQ(((uint8_t *)layer->pixels)[16], 96);
    VxFreeScene(&scene);
    EXPECT_EQ(VxGetTexture(a == nullptr ? 0 : VxTextureCount() - 1)->pixels, nullptr);
}

TEST_F(Loader, IndicesAndCountsAreChecked)
{
    int r = 1;
    {
        V3d v;
        v.Model({0, 0, 10, 1, 0, 10, 0, 1, 10}, {{{0, 1, 3}, {0, 0, 0}, {0, 0, 0}, "x", "", 0}});
        EXPECT_EQ(Load(v.Bytes(), &r), "- face index out of range!\n");
        EXPECT_EQ(r, 0);
        EXPECT_EQ(VxSceneObjectCount(&scene), 0);
    }
    for (int32_t receiver : {-1, 2, 7}) { // beyond the table either way
        V3d v;
        Quad(v, 0, 0, 100, 10, "x", 0);
        v.Shadow(0, 0, 0, 0, 1.0f, receiver);
        EXPECT_EQ(Load(v.Bytes(), &r), "- shadow receiver out of range!\n") << receiver;
        EXPECT_EQ(r, 0);
    }
    for (int32_t receiver : {-1, 0, 2}) {
        for (int32_t followed : {-1, 0, 2}) {
            if (receiver == 0 && followed == 0) continue;
            V3d v;
            Quad(v, 0, 0, 100, 10, "x", 0);
            v.ShadowLink(receiver, followed);
            EXPECT_EQ(Load(v.Bytes(), &r), followed != 0 ? "- shadow link target out of range!\n"
                                                         : "- shadow receiver out of range!\n")
                << receiver << " " << followed;
            EXPECT_EQ(r, 0);
        }
    }
    {
        V3d v;
        v.Object(VX_BUMP);
        Put32(v.body, 0); // names itself, not an earlier MODEL
        EXPECT_EQ(Load(v.Bytes(), &r), "- bump model out of range!\n");
    }
    {
        // Counts far beyond what the file holds are refused before allocating.
        V3d v;
        v.Object(VX_MODEL);
        Put32(v.body, 0x7FFFFFFF);
        Put32(v.body, 0x7FFFFFFF);
        EXPECT_EQ(Load(v.Bytes(), &r), "- corrupt v3d-file!\n");
        EXPECT_EQ(Load(V3d().Bytes(1000000), &r), "- corrupt v3d-file!\n");
        V3d k;
        k.Object(VX_SUN, 0x40000000, 0x42420001);
        EXPECT_EQ(Load(k.Bytes(), &r), "- corrupt v3d-file!\n");
    }
    {
        V3d v;
        Quad(v, 0, 0, 100, 10, "x", 0);
        std::vector<uint8_t> b = v.Bytes();
        b.resize(b.size() - 3);
        EXPECT_EQ(Load(b, &r), "- corrupt v3d-file!\n");
        EXPECT_EQ(r, 0);
    }
}

// Every count is held to what the rest of the file can hold: at the edge the
// load goes on, one beyond it is refused before anything of its size is asked
// for. An emitter's particles, made rather than read, have a fixed ceiling.
TEST_F(Loader, CountsAreHeldToTheFileLength)
{
    int r = 0;
    // Loads a file that holds exactly `held` items but claims `claim`: at the
    // edge it loads and asks for `block` bytes at most; beyond it, it is
    // refused before asking for even `below`.
    auto edge = [&](const V3d &v, uint32_t claim, uint32_t held, int32_t block, int32_t below) {
        StackheapResetLargestRequest();
        std::string out = Load(v.Bytes(), &r);
        if (claim == held) {
            EXPECT_EQ(out, "");
            EXPECT_EQ(r, 1);
            EXPECT_EQ(StackheapLargestRequest(), block);
        } else {
            EXPECT_EQ(out, "- corrupt v3d-file!\n");
            EXPECT_LT(StackheapLargestRequest(), below);
        }
        VxFreeScene(&scene);
    };
    const uint32_t vertices = 1000, keys = 1000;
    for (uint32_t claim : {vertices, vertices + 1}) {
        V3d v;
        v.Object(VX_MODEL);
        Put32(v.body, claim);
        Put32(v.body, 0);
        for (uint32_t i = 0; i < vertices * 3; i++) PutF(v.body, 1.0f);
        edge(v, claim, vertices, int32_t(vertices * 12), int32_t(vertices * 12));
    }
    // Seven tracks of 4 bytes a key, then the sun's 16 bytes.
    for (uint32_t claim : {keys, keys + 1}) {
        V3d v;
        v.Object(VX_SUN, int32_t(claim), 0x42420000);
        for (uint32_t i = 0; i < 7 * keys; i++) Put32(v.body, i);
        for (int i = 0; i < 4; i++) Put32(v.body, 0);
        edge(v, claim, keys, int32_t(keys * 16), int32_t(keys * 4));
    }
    // Objects: at least 36 bytes each (the record of a kind without
    // payload). The table for 100 is asked for (the objects then turn out to
    // be empty models running out of bytes).
    std::vector<uint8_t> objects = V3d().Bytes(100);
    objects.resize(256 + 36 * 100, 0);
    StackheapResetLargestRequest();
    Load(objects, &r);
    EXPECT_EQ(StackheapLargestRequest(), int32_t(100 * sizeof(VxObject)));
    VxFreeScene(&scene);
    objects[8] = 101; // the header's object count; the file stays as long
    StackheapResetLargestRequest();
    EXPECT_EQ(Load(objects, &r), "- corrupt v3d-file!\n");
    EXPECT_LT(StackheapLargestRequest(), int32_t(100 * sizeof(VxObject)));
    VxFreeScene(&scene);

    for (int32_t count : {int32_t(VX_MAX_PARTICLES), int32_t(VX_MAX_PARTICLES) + 1}) {
        V3d v;
        v.Object(VX_PARTICLE);
        Put32(v.body, 1);
        Put32(v.body, uint32_t(count));
        for (int i = 0; i < 6; i++) PutF(v.body, 0.0f);
        std::string out = Load(v.Bytes(), &r);
        EXPECT_EQ(r, count == VX_MAX_PARTICLES ? 1 : 0) << count;
        if (count > VX_MAX_PARTICLES) {
            EXPECT_EQ(out, "- corrupt v3d-file!\n");
        }
        VxFreeScene(&scene);
    }
}

TEST_F(Loader, OddTextureSidesAreResampledToPowersOfTwo)
{
    WriteBmp24("odd.bmp", 100, 3, [](int x, int) { return x < 50 ? 0x0000FFu : 0xFF0000u; });
    int32_t slot = VxLoadTexture("odd.bmp");
    ASSERT_GT(slot, 0);
    const VxTexture *t = VxGetTexture(slot);
    EXPECT_EQ(t->width, 128);
    EXPECT_EQ(t->height, 4);
    EXPECT_EQ(((uint32_t *)t->pixels)[0], 0x0000FFu);
    EXPECT_EQ(((uint32_t *)t->pixels)[127], 0xFF0000u);
    EXPECT_STREQ(t->name, "odd");
    // A failed read retries with the extension spelt "BMP"; an unknown
    // extension is not read at all.
    WriteBmp24("CAPS.BMP", 4, 4, [](int, int) { return 0x123456u; });
    int32_t caps = VxLoadTexture("CAPS.bmp");
    ASSERT_GT(caps, 0);
    EXPECT_STREQ(VxGetTexture(caps)->name, "CAPS");
    EXPECT_EQ(VxLoadTexture("checker.png"), 0);
    EXPECT_EQ(VxFindTexture("odd"), slot);
    EXPECT_EQ(VxFindTexture("ODD"), 0);
}

TEST_F(Loader, FullCacheGivesTheDefaultSlot)
{
    while (VxTextureCount() < VX_MAX_TEXTURES) ASSERT_GT(VxLoadTexture("checker.bmp"), 0);
    EXPECT_EQ(VxLoadTexture("checker.bmp"), 0);
    EXPECT_EQ(VxLoadMaskTexture("layer.bmp"), 0);
    void *block = StackheapAlloc(64);
    EXPECT_EQ(VxRegisterTexture("$x$", block, 4, 4, 4, 1), 0);
    StackheapFree(block);
}

TEST_F(Loader, ReleaseFreesAtZeroAndNeverTouchesSlotZero)
{
    int32_t slot = VxLoadTexture("checker.bmp");
    VxAddRef(slot);
    VxAddRef(slot);
    VxRelease(slot);
    EXPECT_NE(VxGetTexture(slot)->pixels, nullptr);
    VxRelease(slot);
    EXPECT_EQ(VxGetTexture(slot)->pixels, nullptr);
    EXPECT_STREQ(VxGetTexture(slot)->name, "$");
    VxRelease(0);
    VxAddRef(0);
    EXPECT_EQ(VxGetTexture(0)->refs, VX_DEFAULT_REFS);
    EXPECT_NE(VxGetTexture(0)->pixels, nullptr);
}

TEST(EngineLifetime, InitOrderAndShutdownReport)
{
    char tmpl[] = "/tmp/vx3dXXXXXX";
    std::string dir = mkdtemp(tmpl);
    std::string old = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
    // Without lens.bmp the engine does not start.
    EXPECT_EQ(VxInit(640, 480), 0);
    WriteBmp24("lens.bmp", 16, 16, [](int, int) { return 0x101010u; });
    ASSERT_EQ(VxInit(640, 480), 1);
    // No standard.bmp: the blue-green ramp.
    const VxTexture *t0 = VxGetTexture(0);
    EXPECT_EQ(t0->width, 128);
    EXPECT_EQ(((uint32_t *)t0->pixels)[3 * 128 + 5], (6u << 8) | 10u);
    EXPECT_STREQ(VxGetTexture(1)->name, "$env$");
    EXPECT_STREQ(VxGetTexture(2)->name, "$shadow$");
    EXPECT_EQ(VxGetTexture(2)->width, 512);
    EXPECT_EQ(VxState().flareSide[0], 160);
    EXPECT_EQ(VxState().flareSide[1], 96);
    EXPECT_EQ(VxState().flareSide[2], 76);
    EXPECT_EQ(VxState().flareSide[3], 56);
    EXPECT_EQ(VxState().flareSide[4], 14);
    WriteBmp8("hell2.bmp", 8, 8, [](int, int) { return 1; });
    int32_t slot = VxLoadMaskTexture("hell2.bmp");
    VxAddRef(slot);
    VxAddRef(slot);
    Capture cap;
    EXPECT_EQ(cap.Run([] { VxShutdown(); }), "- still textures in cache: {hell2[2] }\n");
    EXPECT_EQ(cap.Run([] {
        VxInit(640, 480);
        VxShutdown();
    }), "");
    std::filesystem::current_path(old);
    std::filesystem::remove_all(dir);
}

TEST_F(Loader, SceneBuiltInMemory)
{
    ASSERT_EQ(VxNewScene(&scene, 2), 1);
    EXPECT_EQ(VxSceneObjectCount(&scene), 2);
    VxMesh *m = VxNewModel(&scene, 1, 3, 1);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(VxNewModel(&scene, 1, 3, 1), nullptr);
    EXPECT_EQ(VxNewModel(&scene, 2, 3, 1), nullptr);
    int32_t slot = VxLoadTexture("checker.bmp");
    VxSetFaceTextures(&m->faces[0], slot, 0);
    EXPECT_EQ(VxGetTexture(slot)->refs, 1);
    VxFreeScene(&scene);
    EXPECT_EQ(VxGetTexture(slot)->pixels, nullptr);
    EXPECT_EQ(VxSceneObjectCount(&scene), 0);
}

} // namespace
