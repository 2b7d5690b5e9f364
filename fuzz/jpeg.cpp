// Fuzz target: the JPEG loader, on the input served from memory as the
// archive member "in.jpg" (libjpeg reads it from the archive's stream).
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
    ServedMember input("in.jpg", data, size);
    int32_t w = -1, h = -1;
    uint32_t *pixels = LoadJpeg("in.jpg", &w, &h);
    if (pixels) {
        if (w < 1 || h < 1 || w > IMAGE_MAX_SIDE || h > IMAGE_MAX_SIDE || int64_t(w) * h > IMAGE_MAX_PIXELS ||
            int64_t(w) * h > int64_t(JPEG_MAX_PIXELS_PER_BYTE) * int64_t(size))
            std::abort();
        uint32_t sum = 0;
        for (int64_t i = 0; i < (int64_t)w * h; i++)
            sum |= pixels[i];
        // Pixels are 0x00RRGGBB: the fourth byte must stay 0.
        if (sum >> 24)
            std::abort();
        StackheapFree(pixels);
    }
    // At most JPEG_MAX_PIXELS_PER_BYTE pixels of 4 bytes for each byte.
    RequireEarned(size, 4 * JPEG_MAX_PIXELS_PER_BYTE, 4096);
    return 0;
}
