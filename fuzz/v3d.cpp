// Fuzz target for the V3D loader (the input served from memory as the archive
// member "t.v3d"): whatever loads is also stepped and drawn for one frame, so
// every index the loader let through is exercised, on the plain, SSE2 or
// 256-bit span loops. The textures it may name are members made at start.
#include "engine3d/vx.h"
#include "fuzz_support.h"
#include "gfx/pixels.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Bmp(int w, int h, int bits)
{
    int rowBytes = bits == 8 ? w : ((w * 3 + 3) / 4) * 4;
    int offset = bits == 8 ? 1078 : 54;
    std::vector<uint8_t> b(offset + rowBytes * h, 0);
    b[0] = 'B';
    b[1] = 'M';
    auto put = [&](int at, uint32_t v) { for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)(v >> (8 * i)); };
    put(2, (uint32_t)b.size());
    put(10, (uint32_t)offset);
    put(14, 40);
    put(18, (uint32_t)w);
    put(22, (uint32_t)h);
    b[26] = 1;
    b[28] = (uint8_t)bits;
    for (size_t i = offset; i < b.size(); i++) b[i] = (uint8_t)(i * 7);
    return b;
}

struct Setup {
    std::vector<uint32_t> page;
    Setup()
    {
        QuietTarget();
        StackheapInit(0);
        AddFixedMember("lens.bmp", Bmp(16, 16, 24));
        AddFixedMember("tex.bmp", Bmp(30, 17, 24));
        AddFixedMember("mask.bmp", Bmp(32, 8, 8));
        page.resize(160 * 120);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup setup;
    ServedMember input("t.v3d", data, size);
    // The engine starts once (it costs far more than a scene), and afresh
    // when the texture cache, whose slots are never reused, is past 64 of its
    // 100: every input finds at least 36 free, while it can load only three
    // texture files (bump maps take two more slots each, as they would after
    // a fresh start).
    static int started = 0;
    if (started && VxTextureCount() > 64) {
        VxShutdown();
        started = 0;
    }
    if (!started && !(started = VxInit(160, 120))) std::abort();
    // The input's length picks the span loops: plain, SSE2 or 256-bit.
    SetMmxFlag(size % 3 != 0);
    VxSetWideSpans(size % 3 == 2);
    VxScene scene{};
    int32_t slotsBefore = VxTextureCount();
    if (VxLoadScene(&scene, "t.v3d")) {
        VxClearZBuffer();
        VxSetCamera(0, 0, 0, 0, 0, 0);
        VxStepScene(&scene);
        VxDrawScene(setup.page.data(), &scene);
    }
    VxFreeScene(&scene);
    // A bump map's work textures stay in the cache until shutdown; freed
    // here, as shutdown would, every input gives back what it took (and the
    // fuzzer need not scan for leaks after it).
    for (int32_t slot = slotsBefore; slot < VxTextureCount(); slot++)
        VxFreeTexture(slot);
    // Counts are held to the file's length (object tables, keys and meshes a
    // few times the bytes that hold them); the engine's own buffers and an
    // emitter's particles are a fixed allowance.
    RequireEarned(size, 4, 5 << 18);
    return 0;
}
