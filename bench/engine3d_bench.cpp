// 3D engine: one frame of a scene of 4608 textured triangles at 640 x 480
// drawn with VxDrawPolyPersp, and the fill rate of the perspective and affine
// members over a 512 x 400 rectangle beside a memset of the same pixels.
// Counters: pixels/s (items_per_second) and ns_per_pixel; compare the Fill*
// times per pixel with BM_Engine3dMemset. The Fill* argument picks the span
// loops: 0 plain, 1 SSE2, 2 256-bit (skipped without AVX2); the scene frame
// runs with the MMX flag detected as start-up does and the SSE2 (1) or
// 256-bit (2) loops.
#include "engine3d/vx.h"
#include "gfx/pixels.h"
#include "store/stackheap.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

struct Engine3dBench {
    bool ready = false;
    int32_t texture = 0;
    std::vector<uint32_t> page;
    Engine3dBench()
    {
        std::filesystem::path dir = std::filesystem::temp_directory_path() / "zarn-engine3d-bench";
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
        // A small lens.bmp: the engine needs one to start.
        FILE *f = std::fopen("lens.bmp", "wb");
        if (!f) return;
        uint8_t header[54] = {'B', 'M'};
        header[10] = 54;
        header[14] = 40;
        header[18] = 4;
        header[22] = 4;
        header[26] = 1;
        header[28] = 24;
        std::fwrite(header, 1, 54, f);
        uint8_t pixels[48] = {};
        std::fwrite(pixels, 1, 48, f);
        std::fclose(f);
        StackheapInit(0);
        std::fflush(stdout);
        if (!VxInit(640, 480)) return;
        uint32_t *t = (uint32_t *)StackheapAlloc(256 * 256 * 4);
        for (int i = 0; i < 65536; i++) t[i] = (uint32_t)(i * 2654435761u) & 0xFFFFFF;
        texture = VxRegisterTexture("bench", t, 256, 256, 4, 1000);
        page.assign(640 * 480, 0);
        ready = true;
    }
};

Engine3dBench &Bench()
{
    static Engine3dBench bench;
    return bench;
}

// A wavy sheet of 48 x 48 cells (4608 triangles) filling most of the view.
void BuildSheet(VxScene *scene)
{
    const int n = 48;
    VxNewScene(scene, 1);
    VxMesh *m = VxNewModel(scene, 0, (n + 1) * (n + 1), 2 * n * n);
    for (int i = 0; i <= n; i++)
        for (int j = 0; j <= n; j++) {
            float *v = m->vertices + 3 * (i * (n + 1) + j);
            v[0] = -300.0f + 600.0f * j / n;
            v[1] = 220.0f - 440.0f * i / n;
            v[2] = 330.0f + 20.0f * std::sin(j * 0.5f) * std::cos(i * 0.4f);
        }
    int f = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
            int a = i * (n + 1) + j, b = a + 1, c = a + n + 1, d = c + 1;
            int tri[2][3] = {{a, c, d}, {a, d, b}};
            for (auto &t : tri) {
                VxFace &face = m->faces[f++];
                for (int k = 0; k < 3; k++) {
                    face.corner[k] = t[k];
                    int r = t[k] / (n + 1), cc = t[k] % (n + 1);
                    face.row[k] = r * 256.0f / n * 2;
                    face.col[k] = cc * 256.0f / n * 2;
                }
                VxSetFaceTextures(&face, Bench().texture, 0);
            }
        }
}

void BM_Engine3dSceneFrame(benchmark::State &state)
{
    Engine3dBench &b = Bench();
    if (!b.ready) {
        state.SkipWithError("engine did not start");
        return;
    }
    VxScene scene{};
    BuildSheet(&scene);
    DetectMmx();
    if (VxSetWideSpans(state.range(0) == 2) != (state.range(0) == 2)) {
        state.SkipWithError("no AVX2 on this processor");
        VxFreeScene(&scene);
        return;
    }
    for (auto _ : state) {
        std::memset(b.page.data(), 0, b.page.size() * 4);
        VxClearZBuffer();
        VxSetCamera(0, 0, 0, 0, 0, 0);
        VxStepScene(&scene);
        VxDrawScene(b.page.data(), &scene);
        benchmark::ClobberMemory();
    }
    state.counters["triangles"] = 4608;
    VxSetWideSpans(1);
    VxFreeScene(&scene);
}
BENCHMARK(BM_Engine3dSceneFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

const int kFillW = 512, kFillH = 400;

template <bool persp>
void Fill(benchmark::State &state)
{
    Engine3dBench &b = Bench();
    if (!b.ready) {
        state.SkipWithError("engine did not start");
        return;
    }
    const VxTexture *t = VxGetTexture(b.texture);
    // A slanted rectangle: depth varies across it, so every run divides.
    float x0 = -256.5f, x1 = x0 + kFillW, y0 = -200.0f, y1 = y0 + kFillH;
    float xy[8] = {x0, y0, x0, y1, x1, y1, x1, y0};
    float z[4] = {100, 100, 300, 300}, tex[8], w[4];
    float rows[4] = {0, 400, 400, 0}, cols[4] = {0, 0, 512, 512};
    for (int i = 0; i < 4; i++) {
        w[i] = 1.0f / z[i];
        float s = persp ? w[i] : 1.0f;
        tex[2 * i] = rows[i] * 65536.0f * s;
        tex[2 * i + 1] = cols[i] * 65536.0f * s;
    }
    SetMmxFlag(state.range(0) > 0);
    if (VxSetWideSpans(state.range(0) == 2) != (state.range(0) == 2)) {
        state.SkipWithError("no AVX2 on this processor");
        return;
    }
    VxClearZBuffer();
    for (auto _ : state) {
        if (persp)
            VxDrawPolyPersp(b.page.data(), 4, xy, tex, w, (const uint32_t *)t->pixels, 256, 256);
        else
            VxDrawPolyAffine(b.page.data(), 4, xy, tex, w, (const uint32_t *)t->pixels, 256, 256);
        benchmark::ClobberMemory();
    }
    SetMmxFlag(0);
    VxSetWideSpans(1);
    state.SetItemsProcessed(state.iterations() * kFillW * kFillH);
    state.counters["ns_per_pixel"] = benchmark::Counter(
        (double)state.iterations() * kFillW * kFillH * 1e-9,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Engine3dFillPersp(benchmark::State &state) { Fill<true>(state); }
void BM_Engine3dFillAffine(benchmark::State &state) { Fill<false>(state); }
BENCHMARK(BM_Engine3dFillPersp)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_Engine3dFillAffine)->Arg(0)->Arg(1)->Arg(2);

void BM_Engine3dMemset(benchmark::State &state)
{
    Engine3dBench &b = Bench();
    for (auto _ : state) {
        for (int y = 0; y < kFillH; y++) std::memset(b.page.data() + y * 640, 0x5A, kFillW * 4);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFillW * kFillH);
    state.counters["ns_per_pixel"] = benchmark::Counter(
        (double)state.iterations() * kFillW * kFillH * 1e-9,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Engine3dMemset);

} // namespace
