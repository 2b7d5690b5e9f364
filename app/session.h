// What the parts of a running reader share: the three screen pages, the two
// message pumps, the three sound effects and the F1 volume step. The start-up
// order, both loops, the outro and the reader's comforts call down into it;
// it calls nothing of theirs.
#pragma once

#include "sound/p_midas.h"

#include <cstdint>

// The three effects, in load order.
enum { EFFECT_ARTICLE = 0, EFFECT_PAGE = 1, EFFECT_BACK = 2, SHELL_EFFECTS = 3 };

// Takes the three pages (appSettings' size) from the Stackheap, all three
// before any is tested. 1, or 0 when any is missing (the others are kept
// until SessionFreePages).
int SessionAllocatePages();
// Returns the three pages to the Stackheap (each only if present).
void SessionFreePages();

// The three screen pages (null before SessionAllocatePages and after
// SessionFreePages).
uint32_t *ShownPage();
uint32_t *DrawPage();
uint32_t *SparePage();

// Dispatches every waiting message; sets quitRequested on the quit message.
void PumpMessages();
// Blocks for one message, dispatches it, then runs PumpMessages.
void WaitMessages();

// Left-button presses dispatched by the pumps so far (never fails).
uint32_t ButtonPressCount();

// One of the three effect records; null for another number.
SoundEffect *ShellEffect(int which);
// Sounds effect which when effects are on; nothing otherwise.
void SoundShellEffect(int which);

// The F1 step: masterVolume halved, below 1 back to 64, handed to the player.
// Returns the new volume.
int32_t VolumeStep();
