// Fuzz target: the JPEG loader, through a DataFile on a loose file written in
// a private directory (named by absolute path; the fuzzer's working directory
// holds its corpus).
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
    char name[] = "/tmp/zarn-fuzz-jpeg-XXXXXX";
    if (!mkdtemp(name))
        std::abort();
    directory = name;
    path = directory + "/in.jpg";
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

    int32_t w = -1, h = -1;
    uint32_t *pixels = LoadJpeg(path.c_str(), &w, &h);
    if (pixels) {
        if (w < 1 || h < 1 || w > IMAGE_MAX_SIDE || h > IMAGE_MAX_SIDE)
            std::abort();
        uint32_t sum = 0;
        for (int64_t i = 0; i < (int64_t)w * h; i++)
            sum |= pixels[i];
        // Pixels are 0x00RRGGBB: the fourth byte must stay 0.
        if (sum >> 24)
            std::abort();
        StackheapFree(pixels);
    }
    return 0;
}
