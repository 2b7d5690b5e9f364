// Fuzz target: LoadEffect on arbitrary bytes. The input is written as a loose
// file in a private directory (by absolute path, so the fuzzer's working
// directory, its corpus, is left alone), loaded, and when it loads it is
// played for one tick through the silent device, so the mixer meets every
// rate and length the reader lets through.
#include "platform/platform.h"
#include "sound/modplayer.h"
#include "sound/p_midas.h"
#include "store/settings.h"
#include "store/stackheap.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string directory, path;
uint32_t fakeNow = 0;

void RemoveDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

uint32_t FakeClock()
{
    return fakeNow;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char name[] = "/tmp/zarn-fuzz-wav-XXXXXX";
    if (!mkdtemp(name))
        std::abort();
    directory = name;
    path = directory + "/in.wav";
    atexit(RemoveDirectory);
    PlatformSelect("headless");
    StackheapInit(0);
    appSettings.effectsOn = 1;
    // The player without its thread: the target polls it itself.
    MpSetClockHook(FakeClock);
    MpSetDefaults();
    MpSelectDevice(MP_DEVICE_SILENT);
    if (MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO) != MP_OK || MpPlayerInit() != MP_OK || MpSampleInit() != MP_OK ||
        MpOpenChannels(1) != MP_OK)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (size && std::fwrite(data, 1, size, file) != size)
        std::abort();
    std::fclose(file);

    SoundEffect effect = {};
    if (LoadEffect(&effect, path.c_str())) {
        if (!effect.data || effect.length <= 0 || size_t(effect.length) > size)
            std::abort();
        PlayEffect(&effect);
        fakeNow += 20;
        int32_t due = 0;
        MpStartPoll();
        do {
            MpMix(&due);
            if (due)
                MpPlayerTick();
        } while (due);
        MpFreeSample(effect.sampleHandle);
    } else if (effect.data) {
        std::abort(); // refused input must not leave data behind
    }
    FreeEffect(&effect);
    return 0;
}
