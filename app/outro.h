// The outro: the last screen hangs as cloth, the ball flies into it and tears
// it, the camera circles, and picture and music fade out.
#pragma once

#include "engine3d/vx.h"

#include <cstdint>

// How the last run ended, and what it did (for tests and the benchmark).
struct OutroReport {
    int32_t frames;          // frames drawn and presented
    int32_t fadeStartFrame;  // frame count when the fade began, -1 if it never did
    int32_t fadeStartTicks;
    int32_t endTicks;        // ticks when the loop ended
    int32_t lastLevel;       // the last fade level K applied, -1 before any
    int32_t lastVolume;      // the player volume set with it
    int32_t endedBy;         // OUTRO_END_* below
};

enum { OUTRO_END_FADE = 1, OUTRO_END_KEY = 2, OUTRO_END_QUIT = 3, OUTRO_END_NO_MEMORY = 4 };

// Plays the outro into page (640 x 480, the frame on screen) with the ball
// scene loaded at start-up, and returns when it ends. "Out of mem!" through
// FatalError when the capture texture cannot be had; returns at once then.
void RunOutro(uint32_t *page, VxScene *ball);

// One fade step at level K: the page darkened by K and the player's volume
// set to trunc(volume - K * volume / 256), which is returned (never fails).
int32_t OutroFade(uint32_t *page, int32_t level, int32_t volume);

// The cloth's second texture layer: the cached "hell2", else "hell2.bmp"
// loaded into the texture cache; 0 when there is none (the cloth is then
// drawn without it).
int32_t OutroSecondLayer();

// Tests drive time: ticks is called wherever the outro reads the player's
// tick counter (null restores the real counter).
void OutroSetTickSource(int32_t (*ticks)());

// Called with every presented frame (null: none), for tests and tools.
void OutroSetFrameHook(void (*hook)(int32_t frame, const uint32_t *page));

// What the last RunOutro did (never fails).
const OutroReport *OutroLastReport();
