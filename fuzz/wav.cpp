// Fuzz target: LoadEffect on arbitrary bytes, served from memory as the
// archive member "in.wav"; what loads is played for one tick through the
// silent device, so the mixer meets every rate and length the reader lets
// through.
#include "fuzz_support.h"
#include "sound/modplayer.h"
#include "sound/p_midas.h"
#include "store/settings.h"

#include <cstdint>
#include <cstdlib>

namespace {

uint32_t fakeNow = 0;

uint32_t FakeClock()
{
    return fakeNow;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QuietTarget();
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
    ServedMember input("in.wav", data, size);
    SoundEffect effect = {};
    if (LoadEffect(&effect, "in.wav")) {
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
    // The samples are as many as the file holds.
    RequireEarned(size, 1, 4096);
    return 0;
}
