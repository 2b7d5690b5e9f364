// Inside the platform layer: the records every backend shares (windows,
// dialogs and their controls, drawing surfaces) and the one table of function
// pointers through which the common code reaches the backend chosen at run
// time. Nothing outside platform/ (and its tests) includes this header.
//
// [SECTION] Windows
// [SECTION] Threads
// [SECTION] Surfaces
// [SECTION] Backend table
// [SECTION] Common helpers for backends
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <vector>

// [SECTION] Windows -------------------------------------------------------

struct PlatformDialog;

struct PlatformWindow {
    WNDPROC procedure;         // null for dialogs and their controls
    DWORD style, exStyle;
    std::string className, title;
    int x, y;                  // client origin in screen coordinates
    int clientWidth, clientHeight;
    int visible;
    int enabled;
    int destroyed;             // DestroyWindow ran; freed once no dispatch uses it
    int painted;               // a first redraw message was posted
    PlatformWindow *parent;    // controls: their dialog
    PlatformDialog *dialog;    // dialogs: their template state; null otherwise
    // Controls only.
    int controlIndex;
    void *native;              // the backend's own record (SDL window, ...)
};

struct PlatformControl {
    DialogControl source;      // copied from the template (text copied below)
    std::string text;
    HWND window;               // the control's child window
    int checked;
    int pixelX, pixelY, pixelWidth, pixelHeight;
};

struct PlatformDialog {
    int templateId;
    std::string caption;
    DLGPROC procedure;
    std::vector<PlatformControl> controls;
    int focus;                 // index of the control with keyboard focus, -1 none
    int pressed;               // index of the control drawn pressed, -1 none
};

// [SECTION] Threads --------------------------------------------------------

// A thread as CreateThread hands it out; native is the backend's own record
// (a POSIX thread where the backend leaves threads to the system).
struct PlatformThread {
    THREADPROC procedure;
    void *argument;
    uint32_t stackSize;
    void *native;
};

// [SECTION] Surfaces ------------------------------------------------------

enum DrawSurfaceKind { SURFACE_PRIMARY, SURFACE_BACK, SURFACE_OFFSCREEN };

struct DrawSystem {
    HWND window;
    int exclusive;
    int modeWidth, modeHeight, modeBits; // 0 until a display mode was set
    void *native;
};

struct DrawClipper {
    HWND window;
    int references;
};

struct DrawSurface {
    DrawSurfaceKind kind;
    DrawSystem *system;
    int width, height;
    int32_t pitch;             // bytes per row, at least width × bytes per pixel
    DrawPixelFormat format;
    std::vector<uint8_t> pixels;
    DrawSurface *back;         // primary of a flip chain: its back buffer
    DrawClipper *clipper;
    int locked;
    int lost;
};

// [SECTION] Backend table -------------------------------------------------

// What a backend supplies; the common code in platform/backend.cpp does the
// rest (window table, message queue, dialog manager, surface memory).
struct PlatformBackend {
    const char *name;
    void (*start)();
    // Native side of a window: made on creation, after geometry or visibility
    // changes, and dropped on destruction. Return 0 when it cannot be made.
    int (*windowCreate)(HWND window);
    void (*windowDestroy)(HWND window);
    void (*windowShow)(HWND window, int show);
    void (*windowGeometry)(HWND window);
    // Feeds native events into the message queue: waits at most timeoutMs
    // (-1 = until something arrives) when blocking is asked and nothing came.
    void (*pumpEvents)(int timeoutMs);
    // Wakes a pumpEvents wait from another thread.
    void (*wake)();
    // 1 when windows reach a screen (see PlatformDisplayAvailable).
    int (*displayAvailable)();
    int (*desktopWidth)();
    int (*desktopHeight)();
    void (*setCursor)(HCURSOR cursor);
    int (*messageBox)(HWND owner, const char *text, const char *caption, UINT type);
    // Redraws a dialog window after its state changed.
    void (*dialogChanged)(HWND dialog);
    // Surfaces: the pixel layout of the visible desktop, failure injection
    // (0 = go on, else the error to return), extra bytes per row, and the
    // two ways a finished back buffer reaches the screen.
    void (*desktopFormat)(DrawPixelFormat *format);
    DRAWRESULT (*drawStep)(int step, DrawSystem *system);
    int (*pitchPadding)();
    DRAWRESULT (*showFlip)(DrawSurface *primary, DrawSurface *back);
    DRAWRESULT (*showBlit)(DrawSurface *primary, const RECT *destination, DrawSurface *source);
    void (*systemRelease)(DrawSystem *system);
    int (*audioPresent)();
    int (*audioOpen)(int rate);
    int (*audioQueue)(const int16_t *frames, int frameCount);
    int (*audioQueuedFrames)();
    void (*audioClose)();
    INT_PTR (*shellOpen)(const char *verb, const char *file, const char *parameters);
    // PlatformFindFontFile.
    int (*findFontFile)(const char *family, int bold, int italic, char *path, int size);
    // Threads and sleeping where the system's own cannot serve; null: POSIX
    // threads and nanosleep (platform/system.cpp). threadStart returns 1 when
    // the thread runs.
    int (*threadStart)(PlatformThread *thread);
    void (*threadJoin)(PlatformThread *thread);
    void (*sleep)(DWORD milliseconds);
    // The registry's values where they are not kept in the settings file;
    // null: the file. settingRead copies a value's decimal text into text
    // (size bytes) and returns 1, or 0 when the value is not stored;
    // settingWrite stores it and returns 1, or 0 when it cannot.
    int (*settingRead)(const char *name, char *text, int size);
    int (*settingWrite)(const char *name, const char *text);
    // Native side of PlatformSetFullScreen (the common code then updates the
    // window's record and sends its messages). 1, or 0 when refused.
    int (*setFullScreen)(HWND window, int fullScreen, int width, int height);
    // PlatformWindowFullScreen: 1 or 0, or -1 when the system does not say.
    // Left null, it never says.
    int (*fullScreenNow)(HWND window);
    // PlatformWatchDirectory with an absolute directory path: WATCH_* (see
    // the watchers below); stop ends it. Left null, the platform answers
    // WATCH_UNSUPPORTED.
    int (*watchStart)(const char *path);
    void (*watchStop)();
};

// Steps of the drawing system that a backend may refuse (headless tests do).
enum DrawStep {
    DRAWSTEP_CREATE,
    DRAWSTEP_COOPERATIVE,
    DRAWSTEP_DISPLAYMODE,
    DRAWSTEP_PRIMARY,
    DRAWSTEP_BACKBUFFER,
    DRAWSTEP_OFFSCREEN,
    DRAWSTEP_CLIPPER,
    DRAWSTEP_CLIPPERWINDOW,
    DRAWSTEP_SETCLIPPER,
    DRAWSTEP_PIXELFORMAT,
    DRAWSTEP_LOCK,
    DRAWSTEP_FLIP,
    DRAWSTEP_RESTORE,
    DRAWSTEP_BLIT,
    DRAWSTEP_COUNT,
};

extern const PlatformBackend sdlBackend;
extern const PlatformBackend headlessBackend;
extern const PlatformBackend webBackend;

// The backend in use (selects the default on first use).
const PlatformBackend *PlatformBackendInUse();
// The backend chosen (selecting the default), not yet started: for the
// services that need no device (threads, sleeping, settings).
const PlatformBackend *PlatformBackendChosen();

// [SECTION] Common helpers for backends -----------------------------------

// Appends a message to the queue (any thread).
void PlatformQueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Queues WM_CHAR for each code point of UTF-8 text; broken sequences are dropped.
void PlatformQueueCharacters(HWND window, const char *text);

// One channel of a pixel (the bits of mask) as 8 bits: wider channels keep
// their top bits, narrower ones repeat theirs, so full intensity stays 255.
uint32_t PlatformWidenChannel(uint32_t pixel, uint32_t mask);
// Number of messages waiting.
int PlatformQueueLength();
// Frees every window and drops every queued message without telling any
// window procedure: a fresh desktop for the next test.
void PlatformForgetWindows();
// Live windows in creation order (destroyed ones left out).
std::vector<HWND> PlatformLiveWindows();
// The top-level window created last that is still alive and visible, or null.
HWND PlatformFocusWindow();
// 1 while window is a live window.
int PlatformIsLive(HWND window);
// Client-area size change seen by the backend: updates the record, posts
// WM_SIZE; position change: WM_MOVE.
void PlatformWindowResized(HWND window, int width, int height);
void PlatformWindowMoved(HWND window, int x, int y);
// A window on the screen: the first time, a top-level one activates the
// program and every window gets its first WM_PAINT; a dialog's pixels are
// drawn anew on every show.
void PlatformWindowShown(HWND window);

// Dialog geometry: dialog units to pixels (a base unit of 6 × 13 pixels).
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);
// Presses a control the way a click or the Space key does: auto buttons take
// their new check state, then the dialog procedure gets WM_COMMAND.
void DialogPressControl(HWND dialog, int index);
// Index of the control under the client point, or -1.
int DialogControlAt(HWND dialog, int x, int y);
// Renders the dialog into pixels (0x00RRGGBB, width × height of its client
// area). Returns 0 when the size does not match the dialog.
int DialogRender(HWND dialog, uint32_t *pixels, int width, int height);
// The bitmap resource with this id, or null.
const BitmapResource *PlatformFindBitmap(int id);

// Makes every missing directory on the way to path's last step. 1, or 0 with
// errno telling why when one cannot be made (ENOTDIR: a file stands in the
// way).
int PlatformMakeDirectoriesFor(const char *path);

// The settings file that stands for the registry: the path in use.
const char *RegistryFilePath();
void RegistrySetFilePath(const char *path); // null: back to the default

// The system's font files through fontconfig (both native backends use it).
int PlatformFontconfigFind(const char *family, int bold, int italic, char *path, int size);

// File changes. Any thread: a changed file (its path below the watched
// directory) is noted for PlatformTakeChangedFile, and once a batch is
// noted, WM_FILESCHANGED is posted.
void PlatformNoteChangedFile(const char *name);
void PlatformPostFileChanges();
// The kernel's notifications (Linux inotify): a thread that sleeps until the
// kernel tells of a change, so a watch costs nothing while nothing changes.
// WATCH_UNSUPPORTED where the system has no inotify.
int PlatformInotifyWatchStart(const char *path);
void PlatformInotifyWatchStop();
// Polling: each look compares the tree's modification times, sizes and
// file numbers with the last look's, notes every file that differs, appeared
// or went, and posts when any did. Looks happen only when asked for.
int PlatformPollWatchStart(const char *path);
void PlatformPollWatchStop();
// 1 while a polling watch runs.
int PlatformPollWatching();
// One look now; returns the number of files noted.
int PlatformPollWatchLook();
