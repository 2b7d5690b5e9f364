// The display: the program's one top-level window (class "DDExEngine"), the
// drawing surfaces behind it, presentation of 32-bit pages, the input the
// window procedure records, and the two error reporters every layer uses.
#pragma once

#include "platform/platform.h"

#include <cstdint>

enum { KEY_CONTROL = 1, KEY_ALT = 2, KEY_SHIFT = 4, INPUT_TYPED_MAX = 32 };

// Written by the window procedure (and the pumps, the viewer), read by the loops.
struct InputState {
    int32_t lastKey;         // virtual-key code of the last key pressed, 0 = none
    int32_t redrawRequested;
    int32_t quitRequested;
    int32_t exitRequested;
    int32_t mouseX, mouseY;  // page coordinates
    int32_t buttonDown;
    int32_t clickX, clickY;  // -1 = no click pending
    int32_t lastKeyModifiers;           // KEY_* held when lastKey was pressed
    // Characters typed (WM_CHAR, Unicode code points) since a loop last took
    // them, oldest first; more than INPUT_TYPED_MAX at once are dropped.
    uint32_t typed[INPUT_TYPED_MAX];
    int32_t typedCount;
};

extern InputState input;

// 1 when the window and both surfaces exist; 0 after the failure's messages.
int CreateDisplay(HINSTANCE instance, HICON icon, int showCommand, int width, int height, int bitsPerPixel,
                  int windowed, const char *title);
// Converts a page of pixelCount 32-bit pixels to the display and shows it.
void Present(const uint32_t *page, int pixelCount);
// Releases the primary surface and the drawing system (each only if present).
void ReleaseDisplay();
LRESULT DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The display window, or null before CreateDisplay and after its destruction.
HWND DisplayWindow();

// Switches between full screen and a window while the program runs: the
// frame keeps its size, pointer positions keep mapping to page coordinates,
// the pointer is hidden in full screen; the frame on screen is shown again.
// 1 on success; 0 when there is no window or the system refuses (then
// nothing changed).
int DisplaySetFullScreen(int fullScreen);
// 1 while the display shows full screen, 0 in a window.
int DisplayFullScreen();
// The page Present converted last: the frame on the screen (null before the first).
const uint32_t *DisplayLastFrame();

// Shows "Zarn EXCEPTION: '<text>'\n" through ErrorBox; returns.
void FatalError(const char *text);
// Releases the display, shows text (unless null) in a box titled "Error",
// marks the display as closing and destroys the main window; returns.
void ErrorBox(const char *text);
// Tools: watcher (null for none) is handed every text ErrorBox is about to
// show, so that it can tell where the program was when the box came up.
void ErrorBoxSetWatcher(void (*watcher)(const char *text));
// The message a box's text carries, on one line (line breaks as blanks,
// trailing blanks dropped) and without a banner around a quoted message
// ("Zarn EXCEPTION: '...'", "*** AUA Exception: '...'"), into message (size
// bytes, cut to fit). Never fails.
void ErrorBoxMessage(const char *text, char *message, int size);
// The live preview: while catcher is set (null for none), ErrorBox hands it
// the text and does nothing else: no box, the display stays, the program goes on.
void ErrorBoxSetCatcher(void (*catcher)(const char *text));
