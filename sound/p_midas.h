// Module p_midas: the magazine's sound. Starts an output device (retrying
// while it is busy, or the silent device), runs the player thread that keeps
// the mixer fed and counts ticks (the program's animation time base), plays
// one module as background music and short 8-bit mono WAV effects on a
// channel of their own.
//
// Start-up order: InitSound(soundOn == 1 ? 0 : -1), LoadEffect x3 (effectsOn),
// StartMusic(configured name), ..., StopMusic, CloseSound, FreeEffect x3.
// Everything here is called from the user-interface thread, except the
// getters, which any thread may call.
#pragma once

#include <cstdint>

struct SoundEffect {
    int32_t rate;         // sample frames per second, from the WAV header
    uint8_t *data;        // unsigned 8-bit mono samples (Stackheap block); null when not loaded
    int32_t length;       // bytes of data
    int32_t sampleHandle; // the player's handle once registered
};

// device 0 = the real output (detected), -1 = the silent device. Returns 1
// when sound runs (player thread started), 0 after "Can't init NoSound!".
int InitSound(int device);

// One attempt to start the selected (or detected) device, module player and
// sample manager. 0 on failure.
int TrySoundDevice();

// Sets pollSleep from the poll rate ((1000 / rate) / 2 ms, 20 for rate 0)
// and starts the player thread. Returns 1 (thread failure is fatal).
int StartBackgroundPlay(int32_t pollRate);

// Starts the player thread polling every sleepMs; a thread that cannot be
// created ends the process through the player's fatal report. Nothing
// happens when the thread already runs.
void StartPlayThread(int32_t sleepMs);
// Asks the thread to stop and returns once it has acknowledged; returns at
// once when no thread runs.
void StopPlayThread();
// One polling pass: mixes and counts every pending tick. Errors are fatal.
void PollPlayer();

// Starts the music once: musicName is the configured module file (null or
// "" for none). 0 when the named module cannot be loaded or started.
int StartMusic(const char *musicName);
// Loads musicName (a loose file, exactly that name) and plays it on module
// channels + 1 channels; 0 on failure.
int LoadAndPlayModule(const char *musicName);
// Stops and frees the music, if StartMusic ran; effects go back to channel 0.
void StopMusic();
// Turns the music off (holding the song where it is) or on again (going on
// from there); the effects channel and the master volume are untouched.
// Returns the new state: 1 on, 0 off.
int ToggleMusic();
// 1 unless ToggleMusic turned the music off.
int MusicOn();
// Stops the player thread and closes the player and its samples.
void CloseSound();

// Reads an 8-bit mono WAV (0 or 1 channels) through DataFileOpen and
// registers it with the player. 0 on failure, effect->data then stays null
// unless the data had been read and the player refused it.
int LoadEffect(SoundEffect *effect, const char *fileName);

// What ReadEffect found wrong with a file.
enum EffectFault {
    EFFECT_OK = 0,
    EFFECT_NOT_FOUND,     // no such loose file or member
    EFFECT_NOT_RIFF,      // the file does not begin with "RIFF"
    EFFECT_NO_FORMAT,     // no "fmt " chunk of at least 16 bytes
    EFFECT_NOT_8BIT_MONO, // more than one channel, or not 8 bits per sample
    EFFECT_NO_SAMPLES,    // no "data" chunk, or no sample bytes in the file
    EFFECT_NO_MEMORY,
};
// The reading half of LoadEffect: the samples, rate and length of the WAV
// into effect, not registered with the player. EFFECT_OK, or why not (the
// record is then left as it was).
EffectFault ReadEffect(SoundEffect *effect, const char *fileName);
// Frees the sample data (if any); null does nothing.
void FreeEffect(SoundEffect *effect);
// Plays the effect on the effects channel (cutting off the one before) when
// effectsOn is 1 and it has data; otherwise nothing.
void PlayEffect(SoundEffect *effect);

// Master volume of music and effects, 0 .. 64 (initially 64).
int32_t MasterVolume();
// Clamps to 0 .. 64 and hands it to the player; used by the F1 step and the
// outro's fade.
void SetMasterVolume(int32_t volume);

// Player ticks counted since start (50 per second at tempo 125); any thread.
int32_t PlayerTicks();
// The channel effects play on: the module's channel count, 0 without music.
int32_t EffectChannel();
// Milliseconds the player thread sleeps between polls (10 in use).
int32_t PollSleep();
