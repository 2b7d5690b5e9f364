// zarn-tool — what the commands that draw the reader's screens share
// (render, sheet): opening an issue the way the reader's start-up does, on
// the headless platform, and the message boxes the reader would have shown.
#pragma once

#include <cstddef>
#include <string>

// Reads "HH:MM" (00:00 to 23:59). False for anything else.
bool ToolReadTime(const char *text, int *hour, int *minute);

// Selects the headless platform, enters directory (null: stay) and loads
// what the reader loads before its first screen: the clock digits, the four
// start-up pictures, the TrueType layer, zarn.cfg and the menu's measures.
// A fixed time (hour >= 0) replaces the clock's time of day. Returns 0, or 1
// after a message naming the step that failed.
int ToolOpenScreens(const char *directory, int hour, int minute);

// The message boxes shown since the last call, each as one line (line
// breaks inside become blanks). From is where the caller stopped last; it
// is moved past the boxes returned.
std::string ToolTakeMessages(size_t *from);
