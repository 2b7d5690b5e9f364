// Fuzz target: every BMP loader, on the input served from memory as the
// archive member "in.bmp".
#include "fuzz_support.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QuietTarget();
    StackheapInit(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ServedMember input("in.bmp", data, size);
    const char *name = "in.bmp";

    int32_t w = -1, h = -1, bytes = 0;
    // Every byte of what comes back is read, so a short fill shows up under
    // the sanitizers as a read of uninitialised or freed memory.
    uint32_t sum = 0;
    if (uint32_t *pixels = LoadBmp(name, &w, &h)) {
        if (w < 1 || h < 1 || w > IMAGE_MAX_SIDE || h > IMAGE_MAX_SIDE || int64_t(w) * h > IMAGE_MAX_PIXELS)
            std::abort();
        for (int64_t i = 0; i < (int64_t)w * h; i++)
            sum += pixels[i];
        StackheapFree(pixels);
    }
    if (uint8_t *indices = LoadBmpIndices(name, &w, &h, &bytes)) {
        if (bytes != 1 && bytes != 4)
            std::abort();
        for (int64_t i = 0; i < (int64_t)w * h * bytes; i++)
            sum += indices[i];
        StackheapFree(indices);
    }
    if (uint8_t *raw = LoadBmpIndicesRaw(name, &w, &h)) {
        for (int64_t i = 0; i < (int64_t)w * h; i++)
            sum += raw[i];
        StackheapFree(raw);
    }
    if (uint32_t *scaled = LoadBmpScaled(name, 37, 5)) {
        for (int i = 0; i < 37 * 5; i++)
            sum += scaled[i];
        StackheapFree(scaled);
    }
    if (uint8_t *scaled = LoadBmpIndicesScaled(name, 3, 41)) {
        for (int i = 0; i < 3 * 41; i++)
            sum += scaled[i];
        StackheapFree(scaled);
    }
    // Keeps the reads from being optimised away.
    volatile uint32_t sink = sum;
    (void)sink;
    // The pixel data must be in the file: 4 bytes of output for each of its
    // bytes at most (an 8-bit picture), and the resampled copies.
    RequireEarned(size, 4, 4096);
    return 0;
}
