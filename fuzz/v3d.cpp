// Fuzz target for the V3D loader: whatever loads is also stepped and drawn
// for one frame, so every index the loader let through is exercised, on the
// plain, SSE2 or 256-bit span loops.
#include "engine3d/vx.h"
#include "gfx/pixels.h"
#include "store/stackheap.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void WriteBmp(const char *path, int w, int h, int bits)
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
    FILE *f = std::fopen(path, "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

struct Setup {
    std::vector<uint32_t> page;
    Setup()
    {
        char tmpl[] = "/tmp/fuzzv3dXXXXXX";
        if (!mkdtemp(tmpl) || chdir(tmpl) != 0) std::abort();
        StackheapInit(0);
        WriteBmp("lens.bmp", 16, 16, 24);
        WriteBmp("tex.bmp", 30, 17, 24);
        WriteBmp("mask.bmp", 32, 8, 8);
        page.resize(160 * 120);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Setup setup;
    FILE *f = std::fopen("t.v3d", "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    if (!VxInit(160, 120)) return 0;
    // The input's length picks the span loops: plain, SSE2 or 256-bit.
    SetMmxFlag(size % 3 != 0);
    VxSetWideSpans(size % 3 == 2);
    VxScene scene{};
    if (VxLoadScene(&scene, "t.v3d")) {
        VxClearZBuffer();
        VxSetCamera(0, 0, 0, 0, 0, 0);
        VxStepScene(&scene);
        VxDrawScene(setup.page.data(), &scene);
    }
    VxFreeScene(&scene);
    VxShutdown();
    return 0;
}
