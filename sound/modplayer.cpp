// The module player over libxmp: songs are rendered one libxmp frame per
// tick, our own voices (the effects channel) are resampled and mixed into
// each tick, and the block goes to the platform's audio output or to the
// silent device. One lock guards the whole player, so the user-interface
// thread and the player thread may call in at any time.
//
// [SECTION] State
// [SECTION] Errors
// [SECTION] Settings and devices
// [SECTION] Mixing
// [SECTION] Polling and ticks
// [SECTION] Modules and songs
// [SECTION] Samples and channels
// [SECTION] Volume and fatal report
// [SECTION] Test hooks
#include "sound/modplayer.h"

#include "platform/platform.h"

#include <xmp.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

// [SECTION] State ---------------------------------------------------------

namespace {

enum { SILENT_TICK_FRAMES = MP_MIX_RATE / 50 }; // a tick without a song: 1/50 s

struct Voice {
    int32_t sample;    // handle, 0 = none
    int32_t volume;    // 0 .. 64
    int32_t panning;   // -64 .. 64
    int32_t playing;
    uint64_t position; // 16.16 fixed point, in sample frames
    uint64_t step;     // advance per output frame, 16.16
};

struct Sample {
    uint8_t *data; // null = free slot
    int32_t length;
};

struct ModuleRecord {
    xmp_context context;
};

struct PlayerState {
    std::mutex lock;
    int32_t rate = MP_MIX_RATE;
    int32_t mode = MP_MODE_AUTO;
    int32_t selected = MP_DEVICE_AUTO;
    int32_t started = -1;     // the running device, -1 = none
    int32_t audioClaimed = 0; // the platform output is open
    int32_t playerReady = 0;
    int32_t samplesReady = 0;
    int32_t tickPending = 0;  // announced by MpMix, not yet processed
    int32_t channelCount = 0;
    Voice voices[MP_MAX_CHANNELS] = {};
    Sample samples[MP_MAX_SAMPLES] = {};
    MpModule *song = nullptr; // the module whose song plays
    int32_t songHandle = 0;
    int32_t songPaused = 0;   // held by MpPauseSong: ticks render silence
    int32_t lastHandle = 0;
    int32_t masterVolume = 64;
    // The silent device: frames handed over versus frames the clock says
    // have been played since it started.
    uint32_t lastClock = 0;
    uint64_t clockRemainder = 0; // frame thousandths not yet whole
    uint64_t playedFrames = 0;
    uint64_t renderedFrames = 0;
    uint32_t (*clock)() = nullptr;
    void (*tap)(const int16_t *frames, int32_t frameCount, void *user) = nullptr;
    void *tapUser = nullptr;
    xmp_frame_info frameInfo;
    int16_t mix[MP_TICK_FRAMES_MAX * 2];
};

PlayerState player;

const char *const deviceNames[MP_DEVICE_COUNT] = {"SDL Audio Sound Device", "Mixing No Sound Sound Device"};

uint32_t ClockNow()
{
    return player.clock ? player.clock() : GetTickCount();
}

int32_t XmpVolume(int32_t masterVolume)
{
    // libxmp amplifies beyond 100, so 64 must land exactly on 100.
    int32_t volume = masterVolume * 100 / 64;
    return volume < 0 ? 0 : volume > 100 ? 100 : volume;
}

void StopSongLocked()
{
    if (!player.song)
        return;
    xmp_end_player(static_cast<ModuleRecord *>(player.song->internal)->context);
    player.song = nullptr;
    player.songHandle = 0;
}

void FreeSamplesLocked()
{
    for (Sample &sample : player.samples) {
        delete[] sample.data;
        sample = Sample{};
    }
    for (Voice &voice : player.voices)
        voice = Voice{};
}

} // namespace

// [SECTION] Errors --------------------------------------------------------

const char *MpErrorText(int32_t error)
{
    switch (error) {
    case MP_OK: return "OK";
    case MP_ERR_NOT_INITIALISED: return "sound device not initialised";
    case MP_ERR_BAD_ARGUMENT: return "invalid argument";
    case MP_ERR_NO_DEVICE: return "no sound device";
    case MP_ERR_DEVICE_BUSY: return "sound device in use";
    case MP_ERR_LOAD: return "module could not be loaded";
    case MP_ERR_NO_MEMORY: return "out of memory";
    case MP_ERR_FULL: return "sample table full";
    case MP_ERR_PLAYING: return "a song is already playing";
    case MP_ERR_PLAYER: return "module player error";
    default: return "unknown error";
    }
}

// [SECTION] Settings and devices ------------------------------------------

void MpSetDefaults()
{
    std::lock_guard<std::mutex> hold(player.lock);
    player.rate = MP_MIX_RATE;
    player.mode = MP_MODE_AUTO;
    player.selected = MP_DEVICE_AUTO;
}

const char *MpDeviceName(int32_t device)
{
    return device >= 0 && device < MP_DEVICE_COUNT ? deviceNames[device] : nullptr;
}

int32_t MpSelectDevice(int32_t device)
{
    if (device != MP_DEVICE_AUTO && (device < 0 || device >= MP_DEVICE_COUNT))
        return MP_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> hold(player.lock);
    player.selected = device;
    return MP_OK;
}

int32_t MpSelectedDevice()
{
    std::lock_guard<std::mutex> hold(player.lock);
    return player.selected;
}

int32_t MpDeviceDetect(int32_t device, int32_t *present)
{
    if (!present || device < 0 || device >= MP_DEVICE_COUNT)
        return MP_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> hold(player.lock);
    if (device == MP_DEVICE_SILENT) {
        *present = 1;
        return MP_OK;
    }
    // Present means the system has an output, not that it opens now: one
    // taken by another program is found here and refused by MpDeviceInit as
    // busy, so the user is asked to retry instead of being left silent.
    *present = player.audioClaimed || AudioPresent() ? 1 : 0;
    return MP_OK;
}

int32_t MpDeviceInit(int32_t rate, int32_t mode)
{
    if (rate != MP_MIX_RATE || mode != MP_MODE_AUTO)
        return MP_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> hold(player.lock);
    if (player.started >= 0)
        return MP_ERR_DEVICE_BUSY;
    if (player.selected == MP_DEVICE_AUTO)
        return MP_ERR_NO_DEVICE;
    if (player.selected == MP_DEVICE_AUDIO) {
        if (!player.audioClaimed && !AudioOpen(MP_MIX_RATE))
            return MP_ERR_DEVICE_BUSY;
        player.audioClaimed = 1;
    } else if (player.audioClaimed) {
        AudioClose();
        player.audioClaimed = 0;
    }
    player.rate = rate;
    player.mode = mode;
    player.started = player.selected;
    player.tickPending = 0;
    player.lastClock = ClockNow();
    player.clockRemainder = 0;
    player.playedFrames = 0;
    player.renderedFrames = 0;
    return MP_OK;
}

void MpDeviceClose()
{
    std::lock_guard<std::mutex> hold(player.lock);
    StopSongLocked();
    FreeSamplesLocked();
    player.channelCount = 0;
    player.playerReady = 0;
    player.samplesReady = 0;
    player.tickPending = 0;
    if (player.audioClaimed)
        AudioClose();
    player.audioClaimed = 0;
    player.started = -1;
}

int32_t MpOpenChannels(int32_t count)
{
    if (count < 1 || count > MP_MAX_CHANNELS)
        return MP_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> hold(player.lock);
    if (player.started < 0)
        return MP_ERR_NOT_INITIALISED;
    for (Voice &voice : player.voices)
        voice = Voice{};
    player.channelCount = count;
    return MP_OK;
}

int32_t MpChannelCount()
{
    std::lock_guard<std::mutex> hold(player.lock);
    return player.channelCount;
}

// [SECTION] Mixing --------------------------------------------------------

namespace {

int16_t Saturate(int32_t value)
{
    return static_cast<int16_t>(value > 32767 ? 32767 : value < -32768 ? -32768 : value);
}

// Adds every sounding voice into the block, resampled by linear
// interpolation and scaled by voice volume, panning and master volume.
void MixVoicesLocked(int16_t *out, int32_t frames)
{
    for (int32_t channel = 0; channel < player.channelCount; channel++) {
        Voice &voice = player.voices[channel];
        if (!voice.playing || voice.sample < 1 || voice.sample > MP_MAX_SAMPLES)
            continue;
        const Sample &sample = player.samples[voice.sample - 1];
        if (!sample.data) {
            voice.playing = 0;
            continue;
        }
        // Gains are products of three 0..64 factors (2^18 at full). Dividing
        // by 2^20 puts a voice at the level of one libxmp module voice (a
        // full-scale 8-bit sample peaks at 127 * 64), so an effect sits in
        // the music as one more channel instead of clipping over it.
        int64_t left = int64_t(voice.volume) * player.masterVolume * (voice.panning > 0 ? 64 - voice.panning : 64);
        int64_t right = int64_t(voice.volume) * player.masterVolume * (voice.panning < 0 ? 64 + voice.panning : 64);
        uint64_t length = static_cast<uint64_t>(sample.length);
        for (int32_t i = 0; i < frames; i++) {
            uint64_t index = voice.position >> 16;
            if (index >= length) {
                voice.playing = 0;
                break;
            }
            int32_t a = int32_t(sample.data[index]) - 128;
            int32_t b = index + 1 < length ? int32_t(sample.data[index + 1]) - 128 : a;
            int64_t fraction = static_cast<int64_t>(voice.position & 0xFFFF);
            int64_t value = int64_t(a) * 256 + (int64_t(b - a) * 256 * fraction) / 65536;
            out[2 * i] = Saturate(out[2 * i] + static_cast<int32_t>(value * left / 1048576));
            out[2 * i + 1] = Saturate(out[2 * i + 1] + static_cast<int32_t>(value * right / 1048576));
            voice.position += voice.step;
        }
    }
}

// Frames the device holds and has not played yet.
uint64_t QueuedLocked()
{
    if (player.started == MP_DEVICE_AUDIO) {
        int queued = AudioQueuedFrames();
        return queued > 0 ? static_cast<uint64_t>(queued) : 0;
    }
    uint32_t now = ClockNow();
    uint32_t elapsed = now - player.lastClock;
    player.lastClock = now;
    player.clockRemainder += uint64_t(elapsed) * MP_MIX_RATE;
    player.playedFrames += player.clockRemainder / 1000;
    player.clockRemainder %= 1000;
    // Like a real output that ran dry: the lost time is not made up.
    if (player.playedFrames > player.renderedFrames)
        player.playedFrames = player.renderedFrames;
    return player.renderedFrames - player.playedFrames;
}

void OutputLocked(const int16_t *frames, int32_t count)
{
    if (player.tap)
        player.tap(frames, count, player.tapUser);
    if (player.started == MP_DEVICE_AUDIO)
        AudioQueue(frames, count);
    else
        player.renderedFrames += static_cast<uint64_t>(count);
}

// One tick of output: a libxmp frame when the song plays and the module
// player processes ticks, else 1/50 s of silence; voices on top.
int32_t RenderTickLocked(int useSong)
{
    int32_t frames = SILENT_TICK_FRAMES;
    int rendered = 0;
    if (useSong && player.song && !player.songPaused) {
        xmp_context context = static_cast<ModuleRecord *>(player.song->internal)->context;
        // A song that has ended (-XMP_END) goes on as silence.
        if (xmp_play_frame(context) == 0) {
            xmp_get_frame_info(context, &player.frameInfo);
            int32_t available = player.frameInfo.buffer_size / 4;
            if (available > MP_TICK_FRAMES_MAX)
                available = MP_TICK_FRAMES_MAX;
            if (available > 0 && player.frameInfo.buffer) {
                frames = available;
                std::memcpy(player.mix, player.frameInfo.buffer, size_t(frames) * 4);
                rendered = 1;
            }
        }
    }
    if (!rendered)
        std::memset(player.mix, 0, size_t(frames) * 4);
    MixVoicesLocked(player.mix, frames);
    OutputLocked(player.mix, frames);
    return MP_OK;
}

} // namespace

// [SECTION] Polling and ticks ---------------------------------------------

int32_t MpStartPoll()
{
    std::lock_guard<std::mutex> hold(player.lock);
    return player.started < 0 ? MP_ERR_NOT_INITIALISED : MP_OK;
}

int32_t MpMix(int32_t *tickDue)
{
    if (!tickDue)
        return MP_ERR_BAD_ARGUMENT;
    *tickDue = 0;
    std::lock_guard<std::mutex> hold(player.lock);
    if (player.started < 0)
        return MP_ERR_NOT_INITIALISED;
    if (player.tickPending) {
        RenderTickLocked(0);
        player.tickPending = 0;
    }
    if (QueuedLocked() < MP_QUEUE_TARGET) {
        *tickDue = 1;
        player.tickPending = 1;
    }
    return MP_OK;
}

int32_t MpPlayerInit()
{
    std::lock_guard<std::mutex> hold(player.lock);
    if (player.started < 0)
        return MP_ERR_NOT_INITIALISED;
    player.playerReady = 1;
    return MP_OK;
}

int32_t MpPlayerTick()
{
    std::lock_guard<std::mutex> hold(player.lock);
    if (player.started < 0 || !player.playerReady)
        return MP_ERR_NOT_INITIALISED;
    player.tickPending = 0;
    return RenderTickLocked(1);
}

int32_t MpDeviceTempoDriven()
{
    return 0;
}

// [SECTION] Modules and songs ---------------------------------------------

namespace {

int32_t FinishLoad(xmp_context context, int result, MpModule **module)
{
    if (result != 0) {
        xmp_free_context(context);
        return MP_ERR_LOAD;
    }
    xmp_module_info info;
    xmp_get_module_info(context, &info);
    int32_t channels = info.mod ? info.mod->chn : 0;
    auto *record = new (std::nothrow) ModuleRecord{context};
    auto *made = record ? new (std::nothrow) MpModule{channels, record} : nullptr;
    if (!made || channels < 1 || channels > XMP_MAX_CHANNELS) {
        delete record;
        delete made;
        xmp_release_module(context);
        xmp_free_context(context);
        return made ? MP_ERR_LOAD : MP_ERR_NO_MEMORY;
    }
    *module = made;
    return MP_OK;
}

} // namespace

int32_t MpLoadModule(const char *fileName, MpModule **module)
{
    if (!fileName || !module)
        return MP_ERR_BAD_ARGUMENT;
    *module = nullptr;
    // A fresh context touches no shared state: no lock while the file loads.
    xmp_context context = xmp_create_context();
    if (!context)
        return MP_ERR_NO_MEMORY;
    return FinishLoad(context, xmp_load_module(context, fileName), module);
}

int32_t MpLoadModuleFromMemory(const void *data, int32_t size, MpModule **module)
{
    if (!data || size <= 0 || !module)
        return MP_ERR_BAD_ARGUMENT;
    *module = nullptr;
    xmp_context context = xmp_create_context();
    if (!context)
        return MP_ERR_NO_MEMORY;
    return FinishLoad(context, xmp_load_module_from_memory(context, data, size), module);
}

int32_t MpPlaySong(MpModule *module, int32_t *handle)
{
    if (!module || !handle)
        return MP_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> hold(player.lock);
    if (player.started < 0)
        return MP_ERR_NOT_INITIALISED;
    if (player.song)
        return MP_ERR_PLAYING;
    xmp_context context = static_cast<ModuleRecord *>(module->internal)->context;
    if (xmp_start_player(context, MP_MIX_RATE, 0) != 0)
        return MP_ERR_PLAYER;
    // The volume can only be set once the player runs.
    xmp_set_player(context, XMP_PLAYER_VOLUME, XmpVolume(player.masterVolume));
    player.song = module;
    player.songPaused = 0;
    player.lastHandle = player.lastHandle >= 0x7FFFFFFF ? 1 : player.lastHandle + 1;
    player.songHandle = player.lastHandle;
    *handle = player.songHandle;
    return MP_OK;
}

int32_t MpStopSong(int32_t handle)
{
    std::lock_guard<std::mutex> hold(player.lock);
    if (!player.song || handle != player.songHandle)
        return MP_ERR_BAD_ARGUMENT;
    StopSongLocked();
    return MP_OK;
}

int32_t MpFreeModule(MpModule *module)
{
    if (!module)
        return MP_OK;
    {
        std::lock_guard<std::mutex> hold(player.lock);
        if (player.song == module)
            StopSongLocked();
    }
    auto *record = static_cast<ModuleRecord *>(module->internal);
    xmp_release_module(record->context);
    xmp_free_context(record->context);
    delete record;
    delete module;
    return MP_OK;
}

int32_t MpPauseSong(int32_t paused)
{
    std::lock_guard<std::mutex> hold(player.lock);
    player.songPaused = paused ? 1 : 0;
    return MP_OK;
}

int32_t MpSongPaused()
{
    std::lock_guard<std::mutex> hold(player.lock);
    return player.songPaused;
}

// [SECTION] Samples and channels ------------------------------------------

int32_t MpSampleInit()
{
    std::lock_guard<std::mutex> hold(player.lock);
    if (player.started < 0)
        return MP_ERR_NOT_INITIALISED;
    player.samplesReady = 1;
    return MP_OK;
}

void MpSampleClose()
{
    std::lock_guard<std::mutex> hold(player.lock);
    FreeSamplesLocked();
    player.samplesReady = 0;
}

int32_t MpAddSample(const uint8_t *data, int32_t length, int32_t loopStart, int32_t loopEnd, int32_t *handle)
{
    if (!data || length <= 0 || loopStart != 0 || loopEnd != 0 || !handle)
        return MP_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> hold(player.lock);
    if (!player.samplesReady)
        return MP_ERR_NOT_INITIALISED;
    for (int32_t slot = 0; slot < MP_MAX_SAMPLES; slot++) {
        Sample &sample = player.samples[slot];
        if (sample.data)
            continue;
        sample.data = new (std::nothrow) uint8_t[size_t(length)];
        if (!sample.data)
            return MP_ERR_NO_MEMORY;
        std::memcpy(sample.data, data, size_t(length));
        sample.length = length;
        *handle = slot + 1;
        return MP_OK;
    }
    return MP_ERR_FULL;
}

int32_t MpFreeSample(int32_t handle)
{
    std::lock_guard<std::mutex> hold(player.lock);
    if (handle < 1 || handle > MP_MAX_SAMPLES || !player.samples[handle - 1].data)
        return MP_ERR_BAD_ARGUMENT;
    for (Voice &voice : player.voices)
        if (voice.sample == handle)
            voice = Voice{};
    delete[] player.samples[handle - 1].data;
    player.samples[handle - 1] = Sample{};
    return MP_OK;
}

namespace {

Voice *OpenVoiceLocked(int32_t channel)
{
    return channel >= 0 && channel < player.channelCount ? &player.voices[channel] : nullptr;
}

} // namespace

int32_t MpChannelStop(int32_t channel)
{
    std::lock_guard<std::mutex> hold(player.lock);
    Voice *voice = OpenVoiceLocked(channel);
    if (!voice)
        return MP_ERR_BAD_ARGUMENT;
    voice->playing = 0;
    return MP_OK;
}

int32_t MpChannelSetSample(int32_t channel, int32_t handle)
{
    std::lock_guard<std::mutex> hold(player.lock);
    Voice *voice = OpenVoiceLocked(channel);
    if (!voice || handle < 1 || handle > MP_MAX_SAMPLES || !player.samples[handle - 1].data)
        return MP_ERR_BAD_ARGUMENT;
    voice->sample = handle;
    voice->playing = 0;
    voice->position = 0;
    return MP_OK;
}

int32_t MpChannelSetVolume(int32_t channel, int32_t volume)
{
    std::lock_guard<std::mutex> hold(player.lock);
    Voice *voice = OpenVoiceLocked(channel);
    if (!voice || volume < 0 || volume > 64)
        return MP_ERR_BAD_ARGUMENT;
    voice->volume = volume;
    return MP_OK;
}

int32_t MpChannelSetPanning(int32_t channel, int32_t panning)
{
    std::lock_guard<std::mutex> hold(player.lock);
    Voice *voice = OpenVoiceLocked(channel);
    if (!voice || panning < -64 || panning > 64)
        return MP_ERR_BAD_ARGUMENT;
    voice->panning = panning;
    return MP_OK;
}

int32_t MpChannelPlay(int32_t channel, int32_t rate)
{
    std::lock_guard<std::mutex> hold(player.lock);
    Voice *voice = OpenVoiceLocked(channel);
    if (!voice || rate <= 0 || voice->sample < 1 || !player.samples[voice->sample - 1].data)
        return MP_ERR_BAD_ARGUMENT;
    voice->step = (uint64_t(rate) << 16) / MP_MIX_RATE;
    if (voice->step == 0)
        voice->step = 1;
    voice->position = 0;
    voice->playing = 1;
    return MP_OK;
}

int32_t MpChannelPlaying(int32_t channel)
{
    std::lock_guard<std::mutex> hold(player.lock);
    Voice *voice = OpenVoiceLocked(channel);
    return voice && voice->playing ? 1 : 0;
}

// [SECTION] Volume and fatal report ---------------------------------------

int32_t MpSetMasterVolume(int32_t volume)
{
    if (volume < 0 || volume > 64)
        return MP_ERR_BAD_ARGUMENT;
    std::lock_guard<std::mutex> hold(player.lock);
    player.masterVolume = volume;
    if (player.song)
        xmp_set_player(static_cast<ModuleRecord *>(player.song->internal)->context, XMP_PLAYER_VOLUME,
                       XmpVolume(volume));
    return MP_OK;
}

int32_t MpMasterVolume()
{
    std::lock_guard<std::mutex> hold(player.lock);
    return player.masterVolume;
}

void MpFatal(const char *message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", message ? message : "module player: fatal error");
    std::fflush(stderr);
    // Another thread may be inside the player: leave without running
    // destructors that would pull its state away.
    std::_Exit(255);
}

// [SECTION] Test hooks ----------------------------------------------------

void MpSetClockHook(uint32_t (*clock)())
{
    std::lock_guard<std::mutex> hold(player.lock);
    player.clock = clock;
    player.lastClock = ClockNow();
}

void MpSetOutputTap(void (*tap)(const int16_t *frames, int32_t frameCount, void *user), void *user)
{
    std::lock_guard<std::mutex> hold(player.lock);
    player.tap = tap;
    player.tapUser = user;
}
