// Sound mixing cost: one second of output (44 100 stereo frames) mixed by the
// module player on the silent device, music alone and music with an effect
// playing on its channel. The counter audio_s_per_s is the processor time
// spent per second of sound, i.e. the share of one core the mixer needs. A
// memcpy of one second of output is the baseline.

#include "platform/platform.h"
#include "sound/modplayer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const char *kModuleFile = "/usr/share/games/ballz/finalman-quickie.xm";

uint32_t fakeNow = 0;
uint32_t FakeClock()
{
    return fakeNow;
}

struct Mixer {
    int ready = 0;
    int32_t effectChannel = 0;
    int32_t effectSample = 0;
};

// The player without its thread, playing the demo module, started once.
Mixer &Setup()
{
    static Mixer mixer;
    static bool tried = false;
    if (tried)
        return mixer;
    tried = true;
    PlatformSelect("headless");
    MpSetClockHook(FakeClock);
    MpSetDefaults();
    MpSelectDevice(MP_DEVICE_SILENT);
    if (MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO) != MP_OK || MpPlayerInit() != MP_OK || MpSampleInit() != MP_OK)
        return mixer;
    MpModule *module = nullptr;
    int32_t handle = 0;
    if (MpLoadModule(kModuleFile, &module) != MP_OK || MpOpenChannels(module->channelCount + 1) != MP_OK ||
        MpPlaySong(module, &handle) != MP_OK)
        return mixer;
    // A second of a 22 050 Hz effect: a rough chirp, every byte different.
    std::vector<uint8_t> effect(22050);
    for (size_t i = 0; i < effect.size(); i++)
        effect[i] = uint8_t(128 + ((i * i / 64) % 96) - 48);
    if (MpAddSample(effect.data(), int32_t(effect.size()), 0, 0, &mixer.effectSample) != MP_OK)
        return mixer;
    mixer.effectChannel = module->channelCount;
    mixer.ready = 1;
    return mixer;
}

struct Heard {
    int64_t frames = 0;
    int peak = 0;
};

void Listen(const int16_t *frames, int32_t count, void *user)
{
    auto *heard = static_cast<Heard *>(user);
    heard->frames += count;
    for (int32_t i = 0; i < count * 2; i++)
        heard->peak = std::max(heard->peak, std::abs(int(frames[i])));
}

// One second of sound in 10 ms polls, as the player thread runs them.
void MixOneSecond(const Mixer &mixer, bool withEffect)
{
    for (int poll = 0; poll < 100; poll++) {
        if (withEffect && !MpChannelPlaying(mixer.effectChannel)) {
            MpChannelSetSample(mixer.effectChannel, mixer.effectSample);
            MpChannelSetVolume(mixer.effectChannel, 64);
            MpChannelPlay(mixer.effectChannel, 22050);
        }
        fakeNow += 10;
        MpStartPoll();
        int32_t due = 0;
        do {
            MpMix(&due);
            if (due)
                MpPlayerTick();
        } while (due);
    }
}

void Run(benchmark::State &state, bool withEffect)
{
    Mixer &mixer = Setup();
    if (!mixer.ready) {
        state.SkipWithError("the demo module could not be played");
        return;
    }
    MixOneSecond(mixer, withEffect); // the queue fills first
    // One untimed second heard through the tap: the figure is only worth
    // something if a full second of real sound was mixed.
    Heard heard;
    MpSetOutputTap(Listen, &heard);
    MixOneSecond(mixer, withEffect);
    MpSetOutputTap(nullptr, nullptr);
    if (heard.peak == 0 || heard.frames < MP_MIX_RATE - 1000 || heard.frames > MP_MIX_RATE + 1000) {
        state.SkipWithError("the mixer did not produce one second of sound");
        return;
    }
    for (auto _ : state)
        MixOneSecond(mixer, withEffect);
    // Still music after all those seconds (the song loops rather than ends).
    Heard after;
    MpSetOutputTap(Listen, &after);
    MixOneSecond(mixer, false);
    MpSetOutputTap(nullptr, nullptr);
    state.counters["peak_after"] = after.peak;
    state.counters["audio_s_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_MixSecondMusic(benchmark::State &state)
{
    Run(state, false);
}
BENCHMARK(BM_MixSecondMusic)->Unit(benchmark::kMillisecond);

void BM_MixSecondMusicAndEffect(benchmark::State &state)
{
    Run(state, true);
}
BENCHMARK(BM_MixSecondMusicAndEffect)->Unit(benchmark::kMillisecond);

void BM_MixSecondBaselineMemcpy(benchmark::State &state)
{
    std::vector<int16_t> source(size_t(MP_MIX_RATE) * 2, 7), destination(source.size());
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), source.size() * sizeof(int16_t));
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.counters["audio_s_per_s"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MixSecondBaselineMemcpy)->Unit(benchmark::kMillisecond);

} // namespace
