// The module player: a small facade that loads and plays tracker modules
// through libxmp, keeps 8-bit effect samples and mixes its own voices (the
// effects channel) into the music, and feeds the result to one of two
// devices: the platform's audio output or a silent device that consumes
// the mix at real-time pace and throws it away.
//
// Every operation returns an MpError (MP_OK = 0 on success) unless it says
// otherwise. All of them may be called from any thread: the player takes its
// own lock, so the user-interface thread may load, play and set volumes while
// the player thread mixes.
//
// [SECTION] Errors and limits
// [SECTION] Settings and devices
// [SECTION] Polling and ticks
// [SECTION] Modules and songs
// [SECTION] Samples and channels
// [SECTION] Volume and fatal report
// [SECTION] Test hooks
#pragma once

#include <cstdint>

// [SECTION] Errors and limits ---------------------------------------------

enum MpError : int32_t {
    MP_OK = 0,
    MP_ERR_NOT_INITIALISED = 1, // device or module player not started
    MP_ERR_BAD_ARGUMENT = 2,    // out-of-range channel, handle, count or value
    MP_ERR_NO_DEVICE = 3,       // no device selected or the device is absent
    MP_ERR_DEVICE_BUSY = 4,     // the audio output would not open
    MP_ERR_LOAD = 5,            // the module file is missing or not a module
    MP_ERR_NO_MEMORY = 6,
    MP_ERR_FULL = 7,            // the sample table is full
    MP_ERR_PLAYING = 8,         // a song is already playing
    MP_ERR_PLAYER = 9,          // libxmp refused to start or stop the song
};

enum {
    MP_DEVICE_AUDIO = 0,  // "SDL Audio Sound Device"
    MP_DEVICE_SILENT = 1, // "Mixing No Sound Sound Device"
    MP_DEVICE_COUNT = 2,
    MP_DEVICE_AUTO = -1,  // chosen by detection

    MP_MIX_RATE = 44100,
    MP_MODE_AUTO = 0,         // 16-bit stereo, the only mode there is
    MP_MAX_CHANNELS = 65,     // 64 module channels and the effects channel
    MP_MAX_SAMPLES = 16,
    MP_TICK_FRAMES_MAX = 8192, // one tick at the slowest tempo (20) is 5513 frames
    MP_QUEUE_TARGET = 3528,    // 80 ms kept queued: ticks stay close to real time
};

// Text for an error code (never null).
const char *MpErrorText(int32_t error);

// [SECTION] Settings and devices ------------------------------------------

// Resets rate (44100), mode (automatic) and device (detect) and closes nothing.
void MpSetDefaults();

// Device name in detection order; null for an unknown index.
const char *MpDeviceName(int32_t device);

// Selects a device for the next MpDeviceInit (MP_DEVICE_AUTO = detect there).
// MP_ERR_BAD_ARGUMENT for an unknown index.
int32_t MpSelectDevice(int32_t device);
// The selected device, or MP_DEVICE_AUTO.
int32_t MpSelectedDevice();

// Asks a device whether it is there; *present is 1 or 0. The audio device is
// there when the system has an output, even one another program holds (it
// is not opened here). MP_ERR_BAD_ARGUMENT for an unknown index.
int32_t MpDeviceDetect(int32_t device, int32_t *present);

// Starts the selected device at rate (only 44100) in mode (only automatic).
// MP_ERR_NO_DEVICE when none is selected, MP_ERR_DEVICE_BUSY when the output
// will not open, MP_ERR_BAD_ARGUMENT for another rate or mode.
int32_t MpDeviceInit(int32_t rate, int32_t mode);

// Stops the song, frees the module player's and the sample manager's state,
// closes the device. Safe to call when nothing is open.
void MpDeviceClose();

// Makes channels 0 .. count-1 usable (1 .. MP_MAX_CHANNELS); every voice stops.
int32_t MpOpenChannels(int32_t count);
// Channels open now (0 before MpOpenChannels).
int32_t MpChannelCount();

// [SECTION] Polling and ticks ---------------------------------------------

// Begins a polling pass (MP_ERR_NOT_INITIALISED without a device).
int32_t MpStartPoll();

// Mixes what is owed to the device; *tickDue = 1 when the device wants the
// next tick (its queue is below MP_QUEUE_TARGET), else 0. A tick announced
// but never processed is mixed as silence here, so output never stalls.
int32_t MpMix(int32_t *tickDue);

// Marks the module player ready (needs a started device).
int32_t MpPlayerInit();
// Processes one tick: one libxmp frame of the song (or 1/50 s of silence
// without a song), the voices mixed in, the result handed to the device.
int32_t MpPlayerTick();

// Whether the device runs ticks off its own timer (never for ours: 0).
int32_t MpDeviceTempoDriven();

// [SECTION] Modules and songs ---------------------------------------------

struct MpModule {
    int32_t channelCount; // the module's channels
    void *internal;       // the player's own record
};

// Loads a module file (XM; MOD and S3M load too) under exactly fileName.
// MP_ERR_LOAD when it is missing or unreadable, MP_ERR_NO_MEMORY.
int32_t MpLoadModule(const char *fileName, MpModule **module);
// The same from bytes in memory (copied by the loader).
int32_t MpLoadModuleFromMemory(const void *data, int32_t size, MpModule **module);

// Starts the song from its first position on channels 0 .. n-1; *handle > 0.
// MP_ERR_PLAYING when another song plays, MP_ERR_PLAYER when libxmp refuses.
int32_t MpPlaySong(MpModule *module, int32_t *handle);
// Stops the song of handle (MP_ERR_BAD_ARGUMENT for an unknown handle).
int32_t MpStopSong(int32_t handle);
// Frees a module (stops its song first if it still plays); null is MP_OK.
int32_t MpFreeModule(MpModule *module);
// Holds the song where it is (1) or lets it go on from there (0): while held,
// ticks render silence under the voices. A new song starts unheld. Always MP_OK.
int32_t MpPauseSong(int32_t paused);
// 1 while the song is held.
int32_t MpSongPaused();

// [SECTION] Samples and channels ------------------------------------------

// Readies the sample manager (needs a started device).
int32_t MpSampleInit();
// Frees every registered sample and silences the voices that played them.
void MpSampleClose();

// Registers an unsigned 8-bit mono sample (length > 0 bytes), copied into
// the player's memory; loops are not supported (loopStart and loopEnd 0).
// *handle > 0. MP_ERR_FULL, MP_ERR_NO_MEMORY, MP_ERR_BAD_ARGUMENT.
int32_t MpAddSample(const uint8_t *data, int32_t length, int32_t loopStart, int32_t loopEnd, int32_t *handle);
// Frees one sample (voices playing it stop).
int32_t MpFreeSample(int32_t handle);

// A voice at volume 64 sounds as loud as one module voice of libxmp.
// Channel operations; MP_ERR_BAD_ARGUMENT for a channel that is not open or a
// value out of range. Each takes effect at the next mix.
int32_t MpChannelStop(int32_t channel);
int32_t MpChannelSetSample(int32_t channel, int32_t handle);
int32_t MpChannelSetVolume(int32_t channel, int32_t volume);   // 0 .. 64
int32_t MpChannelSetPanning(int32_t channel, int32_t panning); // -64 left .. 0 centre .. 64 right
int32_t MpChannelPlay(int32_t channel, int32_t rate);          // sample frames per second, > 0
// 1 while the channel's voice sounds, 0 otherwise.
int32_t MpChannelPlaying(int32_t channel);

// [SECTION] Volume and fatal report ---------------------------------------

// Scales music and voices: 0 .. 64 (64 = unchanged). Music maps onto libxmp's
// 0 .. 100 and never above. MP_ERR_BAD_ARGUMENT outside 0 .. 64.
int32_t MpSetMasterVolume(int32_t volume);
int32_t MpMasterVolume();

// Writes message to standard error and ends the process with status 255.
[[noreturn]] void MpFatal(const char *message);

// [SECTION] Test hooks ----------------------------------------------------
// For tests and benchmarks only; the program never calls these.

// Replaces the silent device's millisecond clock (null restores GetTickCount).
void MpSetClockHook(uint32_t (*clock)());
// Every mixed block (interleaved stereo, frameCount frames) is also handed to
// tap, on either device, inside the player's lock (null removes it).
void MpSetOutputTap(void (*tap)(const int16_t *frames, int32_t frameCount, void *user), void *user);
