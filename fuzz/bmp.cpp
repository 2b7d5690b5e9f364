// Fuzz target: every BMP loader. The input is written as a loose file in a
// private directory (named by absolute path, so the fuzzer's own working
// directory, its corpus, is left alone) and loaded by each loader in turn.
#include "gfx/image.h"
#include "store/stackheap.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string directory, path;

void RemoveDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char name[] = "/tmp/zarn-fuzz-bmp-XXXXXX";
    if (!mkdtemp(name))
        std::abort();
    directory = name;
    path = directory + "/in.bmp";
    atexit(RemoveDirectory);
    StackheapInit(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *out = fopen(path.c_str(), "wb");
    if (!out)
        std::abort();
    if (size)
        fwrite(data, 1, size, out);
    fclose(out);

    int32_t w = -1, h = -1, bytes = 0;
    // Every byte of what comes back is read, so a short fill shows up under
    // the sanitizers as a read of uninitialised or freed memory.
    uint32_t sum = 0;
    if (uint32_t *pixels = LoadBmp(path.c_str(), &w, &h)) {
        if (w < 1 || h < 1 || w > IMAGE_MAX_SIDE || h > IMAGE_MAX_SIDE)
            std::abort();
        for (int64_t i = 0; i < (int64_t)w * h; i++)
            sum += pixels[i];
        StackheapFree(pixels);
    }
    if (uint8_t *indices = LoadBmpIndices(path.c_str(), &w, &h, &bytes)) {
        if (bytes != 1 && bytes != 4)
            std::abort();
        for (int64_t i = 0; i < (int64_t)w * h * bytes; i++)
            sum += indices[i];
        StackheapFree(indices);
    }
    if (uint8_t *raw = LoadBmpIndicesRaw(path.c_str(), &w, &h)) {
        for (int64_t i = 0; i < (int64_t)w * h; i++)
            sum += raw[i];
        StackheapFree(raw);
    }
    if (uint32_t *scaled = LoadBmpScaled(path.c_str(), 37, 5)) {
        for (int i = 0; i < 37 * 5; i++)
            sum += scaled[i];
        StackheapFree(scaled);
    }
    if (uint8_t *scaled = LoadBmpIndicesScaled(path.c_str(), 3, 41)) {
        for (int i = 0; i < 3 * 41; i++)
            sum += scaled[i];
        StackheapFree(scaled);
    }
    // Keeps the reads from being optimised away.
    volatile uint32_t sink = sum;
    (void)sink;
    return 0;
}
