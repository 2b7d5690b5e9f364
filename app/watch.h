// The live preview (zarn --watch): while the reader runs, the issue's
// directory is watched; a saved article, picture, font, zarn.cfg or zarn.dat
// is read again and the screen shows the same place again, or the nearest
// that still exists. The problems the reader meets meanwhile (the layout
// engine's, the font layer's, "Can't load AUA!") do not end the program:
// they are printed, and those of the screen shown are drawn on it, until a
// save fixes them. Without --watch nothing here does anything.
#pragma once

#include "aua/aua.h"

#include <cstdint>

// The command line asks for the preview (1) or not (0); WatchStart acts on it.
void WatchRequest(int on);
// Starts watching the working directory when the preview was asked for,
// printing "+ watching DIR". 1 when it runs; 0 when it was not asked for, or
// (after a "- " line saying why) when the system cannot tell of changes.
int WatchStart();
// Ends the preview; nothing when it does not run.
void WatchStop();
// 1 while the preview runs.
int WatchActive();

enum { WATCH_CHANGED = 1, WATCH_CONFIG = 2 };

// Takes the files changed since the last call and reads again what the
// reader keeps for the whole run: zarn.dat, zarn.cfg and the menu's measures,
// the start-up pictures, the clock digits, the fonts. Prints "+ reloaded
// NAME" for every changed file the reader reads (articles zarn.cfg lists,
// pictures, fonts, zarn.cfg, zarn.dat), "- NAME was removed" for such a file
// it can no longer find. Returns 0 when none was, else
// WATCH_CHANGED, with WATCH_CONFIG when zarn.cfg was read again (topics and
// articles may have moved). Never fails; 0 when the preview does not run.
int WatchReload();

// Where the problems raised from now on belong: to the screen being loaded
// (an article, or the menu: every problem shown before is dropped), or to
// the screen being drawn (the problems of its last drawing are dropped).
// article (may be null) is the one being read, whose name and the place the
// layout is reading at locate a problem. Until WatchCatchEnd; nothing
// without the preview.
enum WatchCatchKind { WATCH_CATCH_LOAD, WATCH_CATCH_DRAW };
void WatchCatchBegin(WatchCatchKind kind, const Article *article);
// Problems raised from now on are only printed.
void WatchCatchEnd();
// Draws the problems of the screen onto page (appSettings' size) as a band
// over the text area; nothing when there are none.
void WatchDrawProblems(uint32_t *page);
