// Module p_midas: connects the magazine to the module player. Device start
// with the retry dialog, the player thread and its tick counter, the
// background music, the WAV effects and the master volume.
//
// [SECTION] State
// [SECTION] Device start
// [SECTION] Player thread
// [SECTION] Music
// [SECTION] Effects
// [SECTION] Volume and counters
#include "sound/p_midas.h"

#include "platform/platform.h"
#include "sound/modplayer.h"
#include "store/datafile.h"
#include "store/settings.h"
#include "store/stackheap.h"

#include <atomic>
#include <cstdio>
#include <cstring>

// [SECTION] State ---------------------------------------------------------

namespace {

struct MidasState {
    int32_t effectChannel = 0;
    int32_t musicStarted = 0;
    MpModule *module = nullptr;
    int32_t playHandle = 0;
    std::atomic<int32_t> pollSleep{10}; // read by the player thread
    std::atomic<int32_t> masterVolume{64};
    // Written by the user-interface thread only.
    std::atomic<int32_t> playerInitialised{0};
    std::atomic<int32_t> playerActive{0};
    // Set by the user-interface thread, cleared by the player thread.
    std::atomic<int32_t> stopRequest{0};
    // Written by the player thread only.
    std::atomic<int32_t> playerTicks{0};
    PlatformThread *thread = nullptr;
};

MidasState midas;

const char *const busyText = "Sounddevice in use.\nClick OK to retry or CANCEL to start\nwithout sound.";

[[noreturn]] void PlayerFailed(const char *where, int32_t error)
{
    char message[160];
    std::snprintf(message, sizeof message, "%s: %s", where, MpErrorText(error));
    MpFatal(message);
}

// Asks each device in order whether it is there and selects the first.
int DetectSoundDevice()
{
    for (int32_t device = 0; device < MP_DEVICE_COUNT; device++) {
        int32_t present = 0;
        if (MpDeviceDetect(device, &present) != MP_OK)
            return 0;
        if (present)
            return MpSelectDevice(device) == MP_OK;
    }
    return 0;
}

} // namespace

// [SECTION] Device start --------------------------------------------------

int TrySoundDevice()
{
    int32_t selected = MpSelectedDevice();
    if (selected == MP_DEVICE_AUTO) {
        if (!DetectSoundDevice())
            return 0;
    } else {
        // A device chosen earlier checks itself again before each attempt.
        int32_t present = 0;
        if (MpDeviceDetect(selected, &present) != MP_OK || !present)
            return 0;
    }
    if (MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO) != MP_OK)
        return 0;
    midas.playerInitialised = 1;
    if (MpPlayerInit() != MP_OK || MpSampleInit() != MP_OK) {
        // Leave nothing half-started for the next attempt.
        midas.playerInitialised = 0;
        MpDeviceClose();
        return 0;
    }
    midas.playerActive = 1;
    return 1;
}

int InitSound(int device)
{
    MpSetDefaults();
    MpSetMasterVolume(midas.masterVolume);
    if (device == -1) {
        MpSelectDevice(MP_DEVICE_SILENT);
        if (!TrySoundDevice()) {
            MessageBoxA(nullptr, "Can't init NoSound!", "Error", MB_OK);
            return 0;
        }
    } else {
        while (!TrySoundDevice()) {
            if (MessageBoxA(nullptr, busyText, "Error", MB_OKCANCEL | MB_ICONERROR) != IDCANCEL)
                continue;
            MpSelectDevice(MP_DEVICE_SILENT);
            if (!TrySoundDevice()) {
                MessageBoxA(nullptr, "Can't init NoSound!", "Error", MB_OK);
                return 0;
            }
            break;
        }
    }
    return StartBackgroundPlay(50);
}

void CloseSound()
{
    StopPlayThread();
    if (midas.module) {
        MpFreeModule(midas.module);
        midas.module = nullptr;
        midas.playHandle = 0;
    }
    MpSampleClose();
    MpDeviceClose();
    midas.playerActive = 0;
    midas.playerInitialised = 0;
}

// [SECTION] Player thread -------------------------------------------------

namespace {

DWORD PlayerThread(void *)
{
    // Refused without privileges; the thread then runs at normal priority.
    SetCurrentThreadPriority(THREAD_PRIORITY_ABOVE_NORMAL);
    for (;;) {
        if (midas.stopRequest.load()) {
            midas.stopRequest.store(0);
            return 0;
        }
        PollPlayer();
        Sleep(static_cast<DWORD>(midas.pollSleep));
    }
}

} // namespace

int StartBackgroundPlay(int32_t pollRate)
{
    int32_t sleepMs = pollRate > 0 ? (1000 / pollRate) / 2 : 20;
    StartPlayThread(sleepMs);
    return 1;
}

void StartPlayThread(int32_t sleepMs)
{
    // Sleeping 0 ms would spin the player thread on one of the cores.
    midas.pollSleep = sleepMs < 1 ? 1 : sleepMs;
    if (midas.thread)
        return;
    midas.stopRequest = 0;
    midas.thread = CreateThread(4096, PlayerThread, nullptr);
    if (!midas.thread)
        MpFatal("StartPlayThread: Couldn't create player thread!");
}

void StopPlayThread()
{
    if (!midas.thread)
        return;
    midas.stopRequest = 1;
    int32_t half = midas.pollSleep / 2;
    DWORD wait = static_cast<DWORD>(half > 0 ? half : 1);
    while (midas.stopRequest.load())
        Sleep(wait);
    PlatformJoinThread(midas.thread);
    midas.thread = nullptr;
}

void PollPlayer()
{
    if (!midas.playerInitialised)
        return;
    int32_t error = MpStartPoll();
    if (error != MP_OK)
        PlayerFailed("PollPlayer", error);
    int32_t tickDue = 0;
    do {
        error = MpMix(&tickDue);
        if (error != MP_OK)
            PlayerFailed("PollPlayer", error);
        if (tickDue) {
            midas.playerTicks.fetch_add(1);
            if (midas.playerActive) {
                error = MpPlayerTick();
                if (error != MP_OK)
                    PlayerFailed("PollPlayer", error);
            }
        }
    } while (tickDue && !MpDeviceTempoDriven());
}

// [SECTION] Music ---------------------------------------------------------

int LoadAndPlayModule(const char *musicName)
{
    MpModule *module = nullptr;
    if (MpLoadModule(musicName, &module) != MP_OK)
        return 0;
    int32_t handle = 0;
    if (MpOpenChannels(module->channelCount + 1) != MP_OK || MpPlaySong(module, &handle) != MP_OK) {
        MpFreeModule(module);
        return 0;
    }
    midas.module = module;
    midas.playHandle = handle;
    return 1;
}

int StartMusic(const char *musicName)
{
    if (midas.musicStarted)
        return 1;
    midas.musicStarted = 1;
    if (appSettings.musicOn == 1 && musicName && musicName[0]) {
        if (!LoadAndPlayModule(musicName))
            return 0;
        midas.effectChannel = midas.module->channelCount;
        return 1;
    }
    MpOpenChannels(1);
    midas.effectChannel = 0;
    return 1;
}

void StopMusic()
{
    if (!midas.musicStarted)
        return;
    midas.musicStarted = 0;
    if (midas.module) {
        MpStopSong(midas.playHandle);
        MpFreeModule(midas.module);
        midas.module = nullptr;
        midas.playHandle = 0;
    }
    MpOpenChannels(1);
    midas.effectChannel = 0;
}

int ToggleMusic()
{
    MpPauseSong(!MpSongPaused());
    return MusicOn();
}

int MusicOn()
{
    return !MpSongPaused();
}

// [SECTION] Effects -------------------------------------------------------

namespace {

uint32_t Word16(const uint8_t *bytes)
{
    return uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8;
}

uint32_t Word32(const uint8_t *bytes)
{
    return Word16(bytes) | Word16(bytes + 2) << 16;
}

int ReadExactly(DataFile *file, uint8_t *destination, int32_t count)
{
    return DataFileRead(destination, 1, count, file) == count;
}

// Walks the RIFF chunks for "fmt " and "data". For the canonical 44-byte
// header this reads exactly the bytes at offsets 22, 24, 34, 40 and 44.
struct WaveLayout {
    int32_t haveFormat;
    uint32_t channels, rate, bits;
    int32_t haveData;
    int64_t dataOffset;
    uint32_t dataSize;
};

void WalkChunks(DataFile *file, WaveLayout *layout)
{
    int64_t position = 12;
    while (!(layout->haveFormat && layout->haveData) && position <= 0x7FFFFFF0) {
        uint8_t header[8];
        if (!DataFileSeek(file, static_cast<int32_t>(position), 0) || !ReadExactly(file, header, 8))
            return;
        uint32_t size = Word32(header + 4);
        if (!layout->haveFormat && std::memcmp(header, "fmt ", 4) == 0) {
            uint8_t format[16];
            // Too short to hold channels, rate and bits: not a format we read.
            if (size < 16 || !ReadExactly(file, format, 16))
                return;
            layout->haveFormat = 1;
            layout->channels = Word16(format + 2);
            layout->rate = Word32(format + 4);
            layout->bits = Word16(format + 14);
        } else if (!layout->haveData && std::memcmp(header, "data", 4) == 0) {
            layout->haveData = 1;
            layout->dataOffset = position + 8;
            layout->dataSize = size;
        }
        // Chunks are padded to an even size.
        position += 8 + int64_t(size) + (size & 1);
    }
}

} // namespace

EffectFault ReadEffect(SoundEffect *effect, const char *fileName)
{
    if (!effect || !fileName)
        return EFFECT_NOT_FOUND;
    DataFile *file = DataFileOpen(fileName, "rb");
    if (!file)
        return EFFECT_NOT_FOUND;
    EffectFault fault = EFFECT_OK;
    uint8_t tag[4];
    WaveLayout layout = {};
    if (!ReadExactly(file, tag, 4) || std::memcmp(tag, "RIFF", 4) != 0) {
        fault = EFFECT_NOT_RIFF;
    } else {
        WalkChunks(file, &layout);
        if (!layout.haveFormat)
            fault = EFFECT_NO_FORMAT;
        else if (layout.channels > 1 || layout.bits != 8)
            fault = EFFECT_NOT_8BIT_MONO;
        else if (!layout.haveData)
            fault = EFFECT_NO_SAMPLES;
    }
    // Only the bytes really in the file: a header may claim far more.
    int64_t length = 0;
    if (fault == EFFECT_OK) {
        int64_t fileSize = -1;
        if (DataFileSeek(file, 0, 2))
            fileSize = DataFileTell(file);
        int64_t available = fileSize - layout.dataOffset;
        length = layout.dataSize < available ? int64_t(layout.dataSize) : available;
        if (length <= 0 || length > 0x7FFFFFFF || !DataFileSeek(file, static_cast<int32_t>(layout.dataOffset), 0))
            fault = EFFECT_NO_SAMPLES;
    }
    uint8_t *data = nullptr;
    if (fault == EFFECT_OK) {
        data = static_cast<uint8_t *>(StackheapAlloc(static_cast<int32_t>(length)));
        if (!data)
            fault = EFFECT_NO_MEMORY;
    }
    int32_t read = 0;
    if (fault == EFFECT_OK) {
        read = DataFileRead(data, 1, static_cast<int32_t>(length), file);
        if (read <= 0) {
            StackheapFree(data);
            fault = EFFECT_NO_SAMPLES;
        }
    }
    DataFileClose(file);
    if (fault != EFFECT_OK)
        return fault;
    effect->rate = static_cast<int32_t>(layout.rate);
    effect->data = data;
    effect->length = read;
    return EFFECT_OK;
}

int LoadEffect(SoundEffect *effect, const char *fileName)
{
    if (ReadEffect(effect, fileName) != EFFECT_OK)
        return 0;
    int32_t handle = 0;
    if (MpAddSample(effect->data, effect->length, 0, 0, &handle) != MP_OK)
        return 0;
    effect->sampleHandle = handle;
    return 1;
}

void FreeEffect(SoundEffect *effect)
{
    if (!effect || !effect->data)
        return;
    StackheapFree(effect->data);
    effect->data = nullptr;
}

void PlayEffect(SoundEffect *effect)
{
    if (!effect || appSettings.effectsOn == 0 || !effect->data)
        return;
    int32_t channel = midas.effectChannel;
    if (MpChannelStop(channel) != MP_OK || MpChannelSetSample(channel, effect->sampleHandle) != MP_OK)
        return;
    MpChannelSetVolume(channel, 64);
    if (MpChannelSetPanning(channel, 0) != MP_OK)
        return;
    MpChannelPlay(channel, effect->rate);
}

// [SECTION] Volume and counters -------------------------------------------

int32_t MasterVolume()
{
    return midas.masterVolume;
}

void SetMasterVolume(int32_t volume)
{
    volume = volume < 0 ? 0 : volume > 64 ? 64 : volume;
    midas.masterVolume = volume;
    MpSetMasterVolume(volume);
}

int32_t PlayerTicks()
{
    return midas.playerTicks;
}

int32_t EffectChannel()
{
    return midas.effectChannel;
}

int32_t PollSleep()
{
    return midas.pollSleep;
}
