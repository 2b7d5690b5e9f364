// The backend-independent half of the platform layer: choosing the backend,
// the window and class tables, the message queue and pumps, drawing surfaces
// in memory, message boxes, the shell and the audio output handed on to the
// backend. The backend supplies only what touches a real device.
//
// [SECTION] State
// [SECTION] Leak checker
// [SECTION] Backend selection
// [SECTION] Classes and windows
// [SECTION] Messages
// [SECTION] Message boxes and shell
// [SECTION] Drawing surfaces
// [SECTION] Audio output
#include "platform/backend.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

// [SECTION] State ---------------------------------------------------------

enum { MAX_CLASSES = 16 };

struct WindowClassEntry {
    WNDCLASSA wc;
    std::string name;
};

struct BackendState {
    const PlatformBackend *backend = nullptr;
    int started = 0;
    WindowClassEntry classes[MAX_CLASSES];
    int classCount = 0;
    std::vector<HWND> windows;   // live, in creation order
    std::vector<HWND> graveyard; // destroyed, freed when no dispatch runs
    int dispatchDepth = 0;
    std::mutex queueLock;
    std::deque<MSG> queue;
    HCURSOR cursor = nullptr;
    int shiftHeld = 0;
    int controlHeld = 0;
    int altHeld = 0;
};

static BackendState state;

LRESULT DialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT ControlWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
void DialogFree(PlatformDialog *dialog);

// The token handed out for the standard arrow; any non-null cursor shows one.
static char arrowCursor;

// [SECTION] Leak checker --------------------------------------------------

// In sanitizer builds the leak checker asks for these: blocks the libraries
// under us lose, not ours. fontconfig 2.14 loses one while it parses its
// configuration (the dialog manager asks it for the sans-serif font once);
// SDL's D-Bus connection is never shut down, as SDL advises.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}

// Quiet unless something is found.
extern "C" const char *__lsan_default_options()
{
    return "print_suppressions=0";
}

// [SECTION] Backend selection ---------------------------------------------

int PlatformSelect(const char *name)
{
    if (state.backend)
        return 1;
#if defined(__EMSCRIPTEN__)
    // A page has no environment to read and the web build no SDL.
    if (name && !strcmp(name, "headless"))
        state.backend = &headlessBackend;
    else
        state.backend = &webBackend;
    return 1;
#else
    if (!name) {
        name = getenv("ZARN_PLATFORM");
        if (!name || !*name)
            name = "sdl";
    }
    if (!strcmp(name, "headless")) {
        state.backend = &headlessBackend;
        return 1;
    }
    state.backend = &sdlBackend;
    return !strcmp(name, "sdl");
#endif
}

const PlatformBackend *PlatformBackendChosen()
{
    if (!state.backend)
        PlatformSelect(nullptr);
    return state.backend;
}

const PlatformBackend *PlatformBackendInUse()
{
    PlatformBackendChosen();
    if (!state.started) {
        state.started = 1;
        if (state.backend->start)
            state.backend->start();
    }
    return state.backend;
}

const char *PlatformName()
{
    return PlatformBackendInUse()->name;
}

int PlatformDisplayAvailable()
{
    return PlatformBackendInUse()->displayAvailable();
}

// [SECTION] Classes and windows -------------------------------------------

static const WindowClassEntry *FindClass(const char *name)
{
    for (int i = 0; i < state.classCount; i++)
        if (state.classes[i].name == name)
            return &state.classes[i];
    return nullptr;
}

int RegisterClassA(const WNDCLASSA *windowClass)
{
    if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc)
        return 0;
    if (FindClass(windowClass->lpszClassName) || state.classCount >= MAX_CLASSES)
        return 0;
    WindowClassEntry &entry = state.classes[state.classCount++];
    entry.wc = *windowClass;
    entry.name = windowClass->lpszClassName;
    entry.wc.lpszClassName = entry.name.c_str();
    entry.wc.lpszMenuName = nullptr;
    return state.classCount;
}

int PlatformIsLive(HWND window)
{
    if (!window)
        return 0;
    return std::find(state.windows.begin(), state.windows.end(), window) != state.windows.end();
}

std::vector<HWND> PlatformLiveWindows()
{
    return state.windows;
}

HWND PlatformFocusWindow()
{
    for (auto it = state.windows.rbegin(); it != state.windows.rend(); ++it)
        if (!(*it)->parent && (*it)->visible && (*it)->enabled)
            return *it;
    return nullptr;
}

static void FreeGraveyard()
{
    if (state.dispatchDepth)
        return;
    for (HWND window : state.graveyard) {
        if (window->dialog)
            DialogFree(window->dialog);
        delete window;
    }
    state.graveyard.clear();
}

HWND PlatformNewWindow(DWORD exStyle, const char *className, const char *title, DWORD style, int x, int y,
                       int width, int height, HWND parent)
{
    auto *window = new PlatformWindow();
    window->exStyle = exStyle;
    window->style = style;
    window->className = className ? className : "";
    window->title = title ? title : "";
    window->x = x == CW_USEDEFAULT ? 64 : x;
    window->y = y == CW_USEDEFAULT ? 64 : y;
    window->clientWidth = width == CW_USEDEFAULT || width < 0 ? 0 : width;
    window->clientHeight = height == CW_USEDEFAULT || height < 0 ? 0 : height;
    window->visible = 0;
    window->enabled = 1;
    window->parent = parent;
    window->controlIndex = -1;
    state.windows.push_back(window);
    return window;
}

// Native part for top-level windows; a failure takes the record back.
int PlatformAttachNative(HWND window)
{
    if (PlatformBackendInUse()->windowCreate(window))
        return 1;
    state.windows.erase(std::find(state.windows.begin(), state.windows.end(), window));
    if (window->dialog)
        DialogFree(window->dialog);
    delete window;
    return 0;
}

HWND CreateWindowExA(DWORD exStyle, const char *className, const char *title, DWORD style, int x, int y,
                     int width, int height, HWND parent, void *menu, HINSTANCE instance, void *param)
{
    (void)menu;
    (void)instance;
    (void)param;
    PlatformBackendInUse();
    const WindowClassEntry *entry = className ? FindClass(className) : nullptr;
    if (!entry)
        return nullptr;
    HWND window = PlatformNewWindow(exStyle, className, title, style, x, y, width, height, nullptr);
    (void)parent; // owned windows behave as top-level ones here
    window->procedure = entry->wc.lpfnWndProc;
    if (!PlatformAttachNative(window))
        return nullptr;
    SendMessageA(window, WM_CREATE, 0, 0);
    if (style & WS_VISIBLE)
        ShowWindow(window, SW_SHOW);
    return window;
}

BOOL DestroyWindow(HWND window)
{
    if (!PlatformIsLive(window) || window->destroyed)
        return FALSE;
    window->destroyed = 1;
    // The procedure still sees a live window while it handles WM_DESTROY.
    SendMessageA(window, WM_DESTROY, 0, 0);
    for (HWND child : PlatformLiveWindows())
        if (child->parent == window)
            DestroyWindow(child);
    if (!window->parent)
        PlatformBackendInUse()->windowDestroy(window);
    auto it = std::find(state.windows.begin(), state.windows.end(), window);
    if (it != state.windows.end())
        state.windows.erase(it);
    state.graveyard.push_back(window);
    FreeGraveyard();
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    return PlatformIsLive(window) && !window->destroyed;
}

BOOL ShowWindow(HWND window, int showCommand)
{
    if (!IsWindow(window))
        return FALSE;
    int was = window->visible;
    window->visible = showCommand != SW_HIDE;
    if (!window->parent)
        PlatformBackendInUse()->windowShow(window, window->visible);
    return was;
}

BOOL UpdateWindow(HWND window)
{
    return IsWindow(window);
}

void PlatformWindowShown(HWND window)
{
    if (!window->painted) {
        window->painted = 1;
        // A desktop gives a newly shown window the focus before its first
        // redraw; X does so only through a window manager, and often after
        // the first expose, so a display that draws nothing until activated
        // would otherwise stay blank.
        if (!window->dialog)
            PlatformQueueMessage(window, WM_ACTIVATEAPP, 1, 0);
        PlatformQueueMessage(window, WM_PAINT, 0, 0);
    }
    if (window->dialog && PlatformBackendInUse()->dialogChanged)
        PlatformBackendInUse()->dialogChanged(window);
}

void PlatformWindowResized(HWND window, int width, int height)
{
    if (!IsWindow(window))
        return;
    window->clientWidth = width < 0 ? 0 : width;
    window->clientHeight = height < 0 ? 0 : height;
    PlatformQueueMessage(window, WM_SIZE, 0,
                         (LPARAM)(((uint32_t)window->clientHeight & 0xFFFF) << 16 |
                                  ((uint32_t)window->clientWidth & 0xFFFF)));
}

void PlatformWindowMoved(HWND window, int x, int y)
{
    if (!IsWindow(window))
        return;
    window->x = x;
    window->y = y;
    PlatformQueueMessage(window, WM_MOVE, 0, (LPARAM)(((uint32_t)y & 0xFFFF) << 16 | ((uint32_t)x & 0xFFFF)));
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint)
{
    (void)repaint;
    if (!IsWindow(window))
        return FALSE;
    window->x = x;
    window->y = y;
    window->clientWidth = width < 0 ? 0 : width;
    window->clientHeight = height < 0 ? 0 : height;
    if (!window->parent)
        PlatformBackendInUse()->windowGeometry(window);
    // Moving a window tells its procedure at once, as the desktop does.
    SendMessageA(window, WM_MOVE, 0, (LPARAM)(((uint32_t)y & 0xFFFF) << 16 | ((uint32_t)x & 0xFFFF)));
    SendMessageA(window, WM_SIZE, 0,
                 (LPARAM)(((uint32_t)window->clientHeight & 0xFFFF) << 16 |
                          ((uint32_t)window->clientWidth & 0xFFFF)));
    return TRUE;
}

int PlatformSetFullScreen(HWND window, int fullScreen, int width, int height)
{
    if (!IsWindow(window) || window->parent || width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return 0;
    const PlatformBackend *backend = PlatformBackendInUse();
    if (!backend->setFullScreen(window, fullScreen ? 1 : 0, width, height))
        return 0;
    // The frame is the client area in full screen; a window is centred.
    window->x = fullScreen ? 0 : backend->desktopWidth() / 2 - width / 2;
    window->y = fullScreen ? 0 : backend->desktopHeight() / 2 - height / 2;
    window->clientWidth = width;
    window->clientHeight = height;
    SendMessageA(window, WM_MOVE, 0, (LPARAM)(((uint32_t)window->y & 0xFFFF) << 16 | ((uint32_t)window->x & 0xFFFF)));
    SendMessageA(window, WM_SIZE, 0, (LPARAM)(((uint32_t)height & 0xFFFF) << 16 | ((uint32_t)width & 0xFFFF)));
    return 1;
}

int PlatformWindowFullScreen(HWND window)
{
    const PlatformBackend *backend = PlatformBackendInUse();
    if (!IsWindow(window) || window->parent || !backend->fullScreenNow)
        return -1;
    int shown = backend->fullScreenNow(window);
    return shown < 0 ? -1 : shown ? 1 : 0;
}

BOOL GetWindowRect(HWND window, RECT *rect)
{
    if (!IsWindow(window) || !rect)
        return FALSE;
    // Decorations belong to the window manager: the outer rectangle is the client's.
    *rect = RECT{window->x, window->y, window->x + window->clientWidth, window->y + window->clientHeight};
    return TRUE;
}

BOOL GetClientRect(HWND window, RECT *rect)
{
    if (!IsWindow(window) || !rect)
        return FALSE;
    *rect = RECT{0, 0, window->clientWidth, window->clientHeight};
    return TRUE;
}

BOOL ClientToScreen(HWND window, POINT *point)
{
    if (!IsWindow(window) || !point)
        return FALSE;
    point->x += window->x;
    point->y += window->y;
    return TRUE;
}

BOOL AdjustWindowRectEx(RECT *rect, DWORD style, BOOL menu, DWORD exStyle)
{
    (void)style;
    (void)menu;
    (void)exStyle;
    return rect != nullptr;
}

int GetSystemMetrics(int index)
{
    const PlatformBackend *backend = PlatformBackendInUse();
    if (index == SM_CXSCREEN)
        return backend->desktopWidth();
    if (index == SM_CYSCREEN)
        return backend->desktopHeight();
    return 0;
}

HICON LoadIconA(HINSTANCE instance, int resourceId)
{
    (void)instance;
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(resourceId ? resourceId : 1));
}

HCURSOR LoadCursorA(HINSTANCE instance, int resourceId)
{
    (void)instance;
    (void)resourceId;
    return &arrowCursor;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    HCURSOR previous = state.cursor;
    state.cursor = cursor;
    PlatformBackendInUse()->setCursor(cursor);
    return previous;
}

// [SECTION] Messages ------------------------------------------------------

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)wParam;
    (void)lParam;
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SETCURSOR: {
        const WindowClassEntry *entry = IsWindow(window) ? FindClass(window->className.c_str()) : nullptr;
        SetCursor(entry && entry->wc.hCursor ? entry->wc.hCursor : &arrowCursor);
        return FALSE;
    }
    default:
        return 0;
    }
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!PlatformIsLive(window))
        return 0;
    // Modifiers as of the message being handled, so a key that arrives with
    // others in one batch still sees the ones held when it was pressed.
    if (message == WM_KEYDOWN || message == WM_KEYUP) {
        int held = message == WM_KEYDOWN;
        if (wParam == VK_SHIFT)
            state.shiftHeld = held;
        if (wParam == VK_CONTROL)
            state.controlHeld = held;
        if (wParam == VK_MENU)
            state.altHeld = held;
    }
    state.dispatchDepth++;
    LRESULT result;
    if (window->dialog)
        result = DialogWindowProc(window, message, wParam, lParam);
    else if (window->parent)
        result = ControlWindowProc(window, message, wParam, lParam);
    else if (window->procedure)
        result = window->procedure(window, message, wParam, lParam);
    else
        result = DefWindowProcA(window, message, wParam, lParam);
    state.dispatchDepth--;
    return result;
}

uint32_t PlatformWidenChannel(uint32_t pixel, uint32_t mask)
{
    if (!mask)
        return 0;
    int shift = 0, bits = 0;
    while (!((mask >> shift) & 1))
        shift++;
    while (shift + bits < 32 && ((mask >> (shift + bits)) & 1))
        bits++;
    uint32_t value = (pixel & mask) >> shift;
    if (bits >= 8)
        return (value >> (bits - 8)) & 0xFF;
    uint32_t wide = 0;
    for (int have = 0; have < 8; have += bits)
        wide |= value << (8 - bits) >> have;
    return wide & 0xFF;
}

int PlatformShiftHeld()
{
    return state.shiftHeld;
}

int16_t GetKeyState(int virtualKey)
{
    int held = virtualKey == VK_SHIFT ? state.shiftHeld
               : virtualKey == VK_CONTROL ? state.controlHeld
               : virtualKey == VK_MENU    ? state.altHeld
                                          : 0;
    return held ? static_cast<int16_t>(0x8000) : 0;
}

void PlatformQueueMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    {
        std::lock_guard<std::mutex> guard(state.queueLock);
        state.queue.push_back(MSG{window, message, wParam, lParam});
    }
    if (state.backend && state.backend->wake)
        state.backend->wake();
}

void PlatformQueueCharacters(HWND window, const char *text)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text ? text : "");
    while (*p) {
        uint32_t code = *p;
        int extra = code < 0x80 ? 0 : (code & 0xE0) == 0xC0 ? 1 : (code & 0xF0) == 0xE0 ? 2 : (code & 0xF8) == 0xF0 ? 3 : -1;
        if (extra < 0) {
            p++;
            continue;
        }
        code &= extra == 0 ? 0x7Fu : extra == 1 ? 0x1Fu : extra == 2 ? 0x0Fu : 0x07u;
        int i = 1;
        for (; i <= extra && (p[i] & 0xC0) == 0x80; i++)
            code = code << 6 | (p[i] & 0x3Fu);
        if (i == extra + 1)
            PlatformQueueMessage(window, WM_CHAR, code, 1);
        p += i;
    }
}

void PlatformForgetWindows()
{
    for (HWND window : state.windows)
        if (!window->parent && state.backend)
            state.backend->windowDestroy(window);
    state.graveyard.insert(state.graveyard.end(), state.windows.begin(), state.windows.end());
    state.windows.clear();
    FreeGraveyard();
    state.shiftHeld = state.controlHeld = state.altHeld = 0;
    std::lock_guard<std::mutex> guard(state.queueLock);
    state.queue.clear();
}

int PlatformQueueLength()
{
    std::lock_guard<std::mutex> guard(state.queueLock);
    return static_cast<int>(state.queue.size());
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (window && !PlatformIsLive(window))
        return FALSE;
    PlatformQueueMessage(window, message, wParam, lParam);
    return TRUE;
}

// Takes the first queued message that passes the filter; messages of windows
// that no longer exist are dropped on the way.
static int TakeMessage(MSG *out, HWND window, UINT filterMin, UINT filterMax, int remove)
{
    std::lock_guard<std::mutex> guard(state.queueLock);
    for (auto it = state.queue.begin(); it != state.queue.end();) {
        if (it->hwnd && (!PlatformIsLive(it->hwnd) || it->hwnd->destroyed)) {
            it = state.queue.erase(it);
            continue;
        }
        int windowMatches = !window || it->hwnd == window || it->message == WM_QUIT;
        int rangeMatches = (filterMin == 0 && filterMax == 0) ||
                           (it->message >= filterMin && it->message <= filterMax);
        if (windowMatches && rangeMatches) {
            if (out)
                *out = *it;
            if (remove)
                state.queue.erase(it);
            return 1;
        }
        ++it;
    }
    return 0;
}

BOOL PeekMessageA(MSG *message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    const PlatformBackend *backend = PlatformBackendInUse();
    FreeGraveyard();
    if (TakeMessage(message, window, filterMin, filterMax, removeFlags & PM_REMOVE))
        return TRUE;
    backend->pumpEvents(0);
    return TakeMessage(message, window, filterMin, filterMax, removeFlags & PM_REMOVE);
}

BOOL GetMessageA(MSG *message, HWND window, UINT filterMin, UINT filterMax)
{
    if (!message)
        return -1;
    const PlatformBackend *backend = PlatformBackendInUse();
    FreeGraveyard();
    while (!TakeMessage(message, window, filterMin, filterMax, 1))
        backend->pumpEvents(-1);
    return message->message != WM_QUIT;
}

BOOL WaitMessageTimeout(DWORD timeoutMs)
{
    const PlatformBackend *backend = PlatformBackendInUse();
    if (TakeMessage(nullptr, nullptr, 0, 0, 0))
        return TRUE;
    backend->pumpEvents(timeoutMs > 0x7FFFFFFF ? -1 : static_cast<int>(timeoutMs));
    return TakeMessage(nullptr, nullptr, 0, 0, 0);
}

BOOL TranslateMessage(const MSG *message)
{
    return message && message->message == WM_KEYDOWN;
}

LRESULT DispatchMessageA(const MSG *message)
{
    if (!message || !message->hwnd)
        return 0;
    LRESULT result = SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
    // A window destroyed while its message was handled (a dialog closed by
    // its own button) is freed now, not at the next pump, which may never come.
    FreeGraveyard();
    return result;
}

void PostQuitMessage(int exitCode)
{
    PlatformQueueMessage(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
}

// [SECTION] Message boxes and shell ---------------------------------------

int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type)
{
    return PlatformBackendInUse()->messageBox(owner, text ? text : "", caption ? caption : "", type);
}

INT_PTR ShellExecuteA(HWND owner, const char *verb, const char *file, const char *parameters,
                      const char *directory, int showCommand)
{
    (void)owner;
    (void)directory;
    (void)showCommand;
    if (!file || !*file)
        return 2; // file not found
    return PlatformBackendInUse()->shellOpen(verb ? verb : "open", file, parameters);
}

int PlatformFindFontFile(const char *family, int bold, int italic, char *path, int size)
{
    if (!family || !path || size <= 0)
        return 0;
    path[0] = 0;
    const PlatformBackend *backend = PlatformBackendInUse();
    return backend->findFontFile ? backend->findFontFile(family, bold, italic, path, size) : 0;
}

PlatformFileKind PlatformGetFileKind(const char *path)
{
    struct stat info;
    if (!path || stat(path, &info) != 0)
        return FILE_MISSING;
    if (S_ISDIR(info.st_mode))
        return FILE_DIRECTORY;
    if (!S_ISREG(info.st_mode))
        return FILE_OTHER;
    return (info.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) ? FILE_EXECUTABLE : FILE_REGULAR;
}

// [SECTION] Drawing surfaces ----------------------------------------------

static DRAWRESULT Step(int step, DrawSystem *system)
{
    return PlatformBackendInUse()->drawStep(step, system);
}

static int BytesPerPixel(const DrawPixelFormat &format)
{
    int bytes = (format.bitCount + 7) / 8;
    return bytes < 1 ? 1 : (bytes > 4 ? 4 : bytes);
}

static DrawSurface *NewSurface(DrawSystem *system, DrawSurfaceKind kind, int width, int height,
                               const DrawPixelFormat &format, int withPixels)
{
    auto *surface = new DrawSurface();
    surface->kind = kind;
    surface->system = system;
    surface->width = width;
    surface->height = height;
    surface->format = format;
    int padding = PlatformBackendInUse()->pitchPadding();
    surface->pitch = width * BytesPerPixel(format) + (padding > 0 ? padding : 0);
    if (withPixels)
        surface->pixels.assign(static_cast<size_t>(surface->pitch) * static_cast<size_t>(height), 0);
    return surface;
}

static DrawPixelFormat FormatForDepth(int bits)
{
    if (bits == 16)
        return DrawPixelFormat{16, 0xF800, 0x07E0, 0x001F};
    return DrawPixelFormat{32, 0x00FF0000, 0x0000FF00, 0x000000FF};
}

DRAWRESULT DrawCreate(DrawSystem **system)
{
    if (!system)
        return DRAWERR_GENERIC;
    *system = nullptr;
    if (DRAWRESULT failed = Step(DRAWSTEP_CREATE, nullptr))
        return failed;
    *system = new DrawSystem();
    return DRAW_OK;
}

DRAWRESULT DrawSetCooperativeLevel(DrawSystem *system, HWND window, int exclusive)
{
    if (!system || !IsWindow(window))
        return DRAWERR_GENERIC;
    system->window = window;
    system->exclusive = exclusive;
    return Step(DRAWSTEP_COOPERATIVE, system);
}

DRAWRESULT DrawSetDisplayMode(DrawSystem *system, int width, int height, int bitsPerPixel)
{
    if (!system || width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return DRAWERR_GENERIC;
    if (bitsPerPixel != 16 && bitsPerPixel != 32)
        return DRAWERR_UNSUPPORTEDMODE;
    system->modeWidth = width;
    system->modeHeight = height;
    system->modeBits = bitsPerPixel;
    if (DRAWRESULT failed = Step(DRAWSTEP_DISPLAYMODE, system))
        return failed;
    // The exclusive window covers the screen, which now has the mode's size.
    if (system->exclusive && IsWindow(system->window))
        MoveWindow(system->window, 0, 0, width, height, FALSE);
    return DRAW_OK;
}

DRAWRESULT DrawCreatePrimary(DrawSystem *system, int backBuffers, DrawSurface **primary)
{
    if (!system || !primary)
        return DRAWERR_GENERIC;
    *primary = nullptr;
    if (DRAWRESULT failed = Step(DRAWSTEP_PRIMARY, system))
        return failed;
    const PlatformBackend *backend = PlatformBackendInUse();
    if (backBuffers > 0) {
        if (!system->modeBits)
            return DRAWERR_GENERIC;
        DrawPixelFormat format = FormatForDepth(system->modeBits);
        DrawSurface *surface = NewSurface(system, SURFACE_PRIMARY, system->modeWidth, system->modeHeight, format, 0);
        surface->back = NewSurface(system, SURFACE_BACK, system->modeWidth, system->modeHeight, format, 1);
        *primary = surface;
    } else {
        DrawPixelFormat format;
        backend->desktopFormat(&format);
        // The desktop itself is never locked: it needs no memory of its own.
        *primary = NewSurface(system, SURFACE_PRIMARY, backend->desktopWidth(), backend->desktopHeight(), format, 0);
    }
    return DRAW_OK;
}

DRAWRESULT DrawGetBackBuffer(DrawSurface *primary, DrawSurface **back)
{
    if (!primary || !back)
        return DRAWERR_GENERIC;
    *back = nullptr;
    if (DRAWRESULT failed = Step(DRAWSTEP_BACKBUFFER, primary->system))
        return failed;
    if (!primary->back)
        return DRAWERR_GENERIC;
    *back = primary->back;
    return DRAW_OK;
}

DRAWRESULT DrawCreateOffscreen(DrawSystem *system, int width, int height, DrawSurface **surface)
{
    if (!system || !surface)
        return DRAWERR_GENERIC;
    *surface = nullptr;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return DRAWERR_GENERIC;
    if (DRAWRESULT failed = Step(DRAWSTEP_OFFSCREEN, system))
        return failed;
    DrawPixelFormat format;
    PlatformBackendInUse()->desktopFormat(&format);
    *surface = NewSurface(system, SURFACE_OFFSCREEN, width, height, format, 1);
    return DRAW_OK;
}

DRAWRESULT DrawCreateClipper(DrawSystem *system, DrawClipper **clipper)
{
    if (!system || !clipper)
        return DRAWERR_GENERIC;
    *clipper = nullptr;
    if (DRAWRESULT failed = Step(DRAWSTEP_CLIPPER, system))
        return failed;
    *clipper = new DrawClipper{nullptr, 1};
    return DRAW_OK;
}

DRAWRESULT DrawClipperSetWindow(DrawClipper *clipper, HWND window)
{
    if (!clipper)
        return DRAWERR_GENERIC;
    if (DRAWRESULT failed = Step(DRAWSTEP_CLIPPERWINDOW, nullptr))
        return failed;
    clipper->window = window;
    return DRAW_OK;
}

DRAWRESULT DrawSurfaceSetClipper(DrawSurface *surface, DrawClipper *clipper)
{
    if (!surface || !clipper)
        return DRAWERR_GENERIC;
    if (DRAWRESULT failed = Step(DRAWSTEP_SETCLIPPER, surface->system))
        return failed;
    if (surface->clipper)
        DrawReleaseClipper(surface->clipper);
    surface->clipper = clipper;
    clipper->references++;
    return DRAW_OK;
}

void DrawReleaseClipper(DrawClipper *clipper)
{
    if (clipper && --clipper->references <= 0)
        delete clipper;
}

DRAWRESULT DrawGetPixelFormat(DrawSurface *surface, DrawPixelFormat *format)
{
    if (!surface || !format)
        return DRAWERR_GENERIC;
    if (DRAWRESULT failed = Step(DRAWSTEP_PIXELFORMAT, surface->system))
        return failed;
    *format = surface->format;
    return DRAW_OK;
}

DRAWRESULT DrawLock(DrawSurface *surface, void **pixels, int32_t *pitch)
{
    if (!surface || !pixels || !pitch || surface->pixels.empty() || surface->locked)
        return DRAWERR_GENERIC;
    if (DRAWRESULT failed = Step(DRAWSTEP_LOCK, surface->system))
        return failed;
    surface->locked = 1;
    *pixels = surface->pixels.data();
    *pitch = surface->pitch;
    return DRAW_OK;
}

void DrawUnlock(DrawSurface *surface)
{
    if (surface)
        surface->locked = 0;
}

DRAWRESULT DrawFlip(DrawSurface *primary)
{
    if (!primary || !primary->back)
        return DRAWERR_GENERIC;
    if (primary->lost)
        return DRAWERR_SURFACELOST;
    if (DRAWRESULT failed = Step(DRAWSTEP_FLIP, primary->system)) {
        if (failed == DRAWERR_SURFACELOST)
            primary->lost = 1;
        return failed;
    }
    return PlatformBackendInUse()->showFlip(primary, primary->back);
}

DRAWRESULT DrawRestore(DrawSurface *surface)
{
    if (!surface)
        return DRAWERR_GENERIC;
    if (DRAWRESULT failed = Step(DRAWSTEP_RESTORE, surface->system))
        return failed;
    surface->lost = 0;
    return DRAW_OK;
}

DRAWRESULT DrawBlit(DrawSurface *destination, const RECT *destinationRect, DrawSurface *source,
                    const RECT *sourceRect)
{
    (void)sourceRect; // only whole-surface blits are asked for
    if (!destination || !source || !destinationRect || source->pixels.empty())
        return DRAWERR_GENERIC;
    if (DRAWRESULT failed = Step(DRAWSTEP_BLIT, destination->system))
        return failed;
    return PlatformBackendInUse()->showBlit(destination, destinationRect, source);
}

void DrawReleaseSurface(DrawSurface *surface)
{
    if (!surface)
        return;
    if (surface->back)
        delete surface->back;
    if (surface->clipper)
        DrawReleaseClipper(surface->clipper);
    delete surface;
}

void DrawRelease(DrawSystem *system)
{
    if (!system)
        return;
    PlatformBackendInUse()->systemRelease(system);
    delete system;
}

// [SECTION] Audio output --------------------------------------------------

int AudioPresent()
{
    return PlatformBackendInUse()->audioPresent();
}

int AudioOpen(int rate)
{
    if (rate <= 0 || rate > 192000)
        return 0;
    return PlatformBackendInUse()->audioOpen(rate);
}

int AudioQueue(const int16_t *frames, int frameCount)
{
    if (!frames || frameCount < 0)
        return 0;
    return PlatformBackendInUse()->audioQueue(frames, frameCount);
}

int AudioQueuedFrames()
{
    return PlatformBackendInUse()->audioQueuedFrames();
}

void AudioClose()
{
    PlatformBackendInUse()->audioClose();
}
