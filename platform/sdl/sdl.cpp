// The SDL2 backend: each top-level window and dialog is an SDL window with
// its own renderer; SDL events become our window messages (virtual-key codes,
// client coordinates, the redraw and activation messages); a finished back
// buffer goes to the screen through a streaming texture in its own layout
// (5-5-5, 5-6-5 or 32 bits); full screen is desktop full screen with the
// frame scaled to fit and black bars; message boxes, audio (44 100 Hz s16
// stereo through SDL's queue) and the desktop opener (xdg-open, spawned
// directly) complete it.
//
// [SECTION] State
// [SECTION] Start and events
// [SECTION] Windows
// [SECTION] Message boxes and dialogs
// [SECTION] Surfaces
// [SECTION] Audio
// [SECTION] Shell
// [SECTION] Backend table
#include "platform/backend.h"

#include <SDL.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

extern char **environ;

// [SECTION] State ---------------------------------------------------------

struct SdlWindow {
    SDL_Window *window;
    SDL_Renderer *renderer;
    SDL_Texture *texture;
    int textureWidth, textureHeight;
    Uint32 textureFormat;
    int fullscreen; // desktop full screen with a logical size
    int shownWidth, shownHeight; // the window's size at the last present
};

struct SdlState {
    int started;
    int videoOk;
    Uint32 wakeEvent;
    SDL_AudioDeviceID audio;
    std::vector<pid_t> children;
};

static SdlState sdl;

static SdlWindow *Native(HWND window)
{
    return window && PlatformIsLive(window) ? static_cast<SdlWindow *>(window->native) : nullptr;
}

static HWND WindowOf(Uint32 windowId)
{
    for (HWND window : PlatformLiveWindows()) {
        SdlWindow *native = static_cast<SdlWindow *>(window->native);
        if (native && native->window && SDL_GetWindowID(native->window) == windowId)
            return window;
    }
    return nullptr;
}

// [SECTION] Start and events ----------------------------------------------

void SdlPreferTrueColorVisual();

static int Named(const char *variable)
{
    const char *value = SDL_getenv(variable);
    return value && *value;
}

static void Start()
{
    SdlPreferTrueColorVisual();
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // Ctrl+C in a terminal should end the program, not be swallowed as an event.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Nothing names a display or a driver: SDL would find only its invisible
    // offscreen driver, after a noisy look for Wayland.
    sdl.videoOk = (Named("DISPLAY") || Named("WAYLAND_DISPLAY") || Named("SDL_VIDEODRIVER")) &&
                  SDL_Init(SDL_INIT_VIDEO) == 0;
    if (!sdl.videoOk)
        SDL_Init(SDL_INIT_EVENTS);
    // Typed characters (WM_CHAR) come from text input, in the keyboard's layout.
    if (sdl.videoOk)
        SDL_StartTextInput();
    sdl.wakeEvent = SDL_RegisterEvents(1);
    sdl.started = 1;
}

static UINT VirtualKey(const SDL_Keysym &key)
{
    SDL_Keycode sym = key.sym;
    if (sym >= SDLK_a && sym <= SDLK_z)
        return static_cast<UINT>('A' + (sym - SDLK_a));
    if (sym >= SDLK_0 && sym <= SDLK_9)
        return static_cast<UINT>('0' + (sym - SDLK_0));
    if (sym >= SDLK_F1 && sym <= SDLK_F12)
        return VK_F1 + static_cast<UINT>(sym - SDLK_F1);
    switch (sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return 0x11;
    case SDLK_LALT:
    case SDLK_RALT:
        return 0x12;
    case SDLK_PAGEUP:
        return 0x21;
    case SDLK_PAGEDOWN:
        return 0x22;
    case SDLK_END:
        return 0x23;
    case SDLK_HOME:
        return 0x24;
    case SDLK_INSERT:
        return 0x2D;
    case SDLK_DELETE:
        return 0x2E;
    default:
        return 0;
    }
}

static LPARAM Point(int x, int y)
{
    x = std::max(0, std::min(x, 0xFFFF));
    y = std::max(0, std::min(y, 0xFFFF));
    return static_cast<LPARAM>(static_cast<uint32_t>(y) << 16 | static_cast<uint32_t>(x));
}

static UINT KeyState(Uint32 buttons)
{
    UINT state = (buttons & SDL_BUTTON_LMASK) ? UINT(MK_LBUTTON) : 0u;
    if (SDL_GetModState() & KMOD_SHIFT)
        state |= MK_SHIFT;
    return state;
}

static void Translate(const SDL_Event &event)
{
    switch (event.type) {
    case SDL_QUIT:
        break; // every window's own close request has come already
    case SDL_WINDOWEVENT: {
        HWND window = WindowOf(event.window.windowID);
        SdlWindow *native = Native(window);
        if (!native)
            break;
        switch (event.window.event) {
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_EXPOSED:
            window->painted = 1;
            PlatformQueueMessage(window, WM_PAINT, 0, 0);
            break;
        case SDL_WINDOWEVENT_MOVED:
            if (!native->fullscreen)
                PlatformWindowMoved(window, event.window.data1, event.window.data2);
            break;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            if (!native->fullscreen)
                PlatformWindowResized(window, event.window.data1, event.window.data2);
            PlatformQueueMessage(window, WM_PAINT, 0, 0);
            break;
        case SDL_WINDOWEVENT_MINIMIZED:
            if (!native->fullscreen)
                PlatformWindowResized(window, 0, 0);
            break;
        case SDL_WINDOWEVENT_RESTORED:
            if (!native->fullscreen) {
                int width, height;
                SDL_GetWindowSize(native->window, &width, &height);
                PlatformWindowResized(window, width, height);
            }
            PlatformQueueMessage(window, WM_PAINT, 0, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            PlatformQueueMessage(window, WM_ACTIVATEAPP, 1, 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            // Their releases go to another window: none is held here any more.
            for (UINT key : {UINT(VK_SHIFT), UINT(VK_CONTROL), UINT(VK_MENU)})
                PlatformQueueMessage(window, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
            break;
        case SDL_WINDOWEVENT_CLOSE:
            PlatformQueueMessage(window, WM_CLOSE, 0, 0);
            break;
        }
        break;
    }
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        UINT key = VirtualKey(event.key.keysym);
        HWND window = WindowOf(event.key.windowID);
        if (!window)
            window = PlatformFocusWindow();
        if (!key || !window)
            break;
        LPARAM flags = 1 | (event.key.repeat ? (1 << 30) : 0);
        if (event.type == SDL_KEYUP)
            flags = static_cast<LPARAM>(0xC0000001u);
        PlatformQueueMessage(window, event.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, key, flags);
        break;
    }
    case SDL_TEXTINPUT: {
        HWND window = WindowOf(event.text.windowID);
        if (!window)
            window = PlatformFocusWindow();
        if (window)
            PlatformQueueCharacters(window, event.text.text);
        break;
    }
    case SDL_MOUSEMOTION: {
        HWND window = WindowOf(event.motion.windowID);
        if (!window)
            break;
        PlatformQueueMessage(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), 1);
        PlatformQueueMessage(window, WM_MOUSEMOVE, KeyState(event.motion.state), Point(event.motion.x, event.motion.y));
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        HWND window = WindowOf(event.button.windowID);
        if (!window || event.button.button != SDL_BUTTON_LEFT)
            break;
        int down = event.type == SDL_MOUSEBUTTONDOWN;
        PlatformQueueMessage(window, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, KeyState(SDL_GetMouseState(nullptr, nullptr)) |
                                                                              (down ? UINT(MK_LBUTTON) : 0u),
                             Point(event.button.x, event.button.y));
        break;
    }
    default:
        break;
    }
}

static void ReapChildren()
{
    for (auto it = sdl.children.begin(); it != sdl.children.end();) {
        int status;
        if (waitpid(*it, &status, WNOHANG) != 0)
            it = sdl.children.erase(it);
        else
            ++it;
    }
}

static void PumpEvents(int timeoutMs)
{
    ReapChildren();
    SDL_Event event;
    int any = 0;
    while (SDL_PollEvent(&event)) {
        Translate(event);
        any = 1;
    }
    if (any || timeoutMs == 0 || PlatformQueueLength())
        return;
    // One wait, then whatever else came with it.
    if (SDL_WaitEventTimeout(&event, timeoutMs < 0 ? 1000 : timeoutMs)) {
        Translate(event);
        while (SDL_PollEvent(&event))
            Translate(event);
    }
}

// Asked for no driver by name, SDL falls back to its offscreen driver (or
// the dummy one) when no display can be had: windows that nobody sees. A
// driver named in SDL_VIDEODRIVER is taken as meant, whichever it is.
static int DisplayAvailable()
{
    if (!sdl.videoOk)
        return 0;
    if (Named("SDL_VIDEODRIVER"))
        return 1;
    const char *driver = SDL_GetCurrentVideoDriver();
    return driver && strcmp(driver, "offscreen") != 0 && strcmp(driver, "dummy") != 0;
}

static void Wake()
{
    if (!sdl.started)
        return;
    SDL_Event event;
    SDL_zero(event);
    event.type = sdl.wakeEvent;
    SDL_PushEvent(&event);
}

// [SECTION] Windows -------------------------------------------------------

static int WindowCreate(HWND window)
{
    if (!sdl.videoOk)
        return 0;
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (window->dialog) {
        if (window->title.empty())
            flags |= SDL_WINDOW_BORDERLESS;
    } else if (window->style & WS_POPUP)
        flags |= SDL_WINDOW_BORDERLESS;
    else
        flags |= SDL_WINDOW_RESIZABLE;
    auto *native = new SdlWindow();
    native->window = SDL_CreateWindow(window->title.c_str(), window->x, window->y, std::max(1, window->clientWidth),
                                      std::max(1, window->clientHeight), flags);
    if (!native->window) {
        delete native;
        return 0;
    }
    native->renderer = SDL_CreateRenderer(native->window, -1, 0);
    if (!native->renderer)
        native->renderer = SDL_CreateRenderer(native->window, -1, SDL_RENDERER_SOFTWARE);
    if (!native->renderer) {
        SDL_DestroyWindow(native->window);
        delete native;
        return 0;
    }
    window->native = native;
    return 1;
}

static void WindowDestroy(HWND window)
{
    SdlWindow *native = static_cast<SdlWindow *>(window->native);
    if (!native)
        return;
    if (native->texture)
        SDL_DestroyTexture(native->texture);
    SDL_DestroyRenderer(native->renderer);
    SDL_DestroyWindow(native->window);
    delete native;
    window->native = nullptr;
}

static void DialogChanged(HWND dialog);

static void WindowShow(HWND window, int show)
{
    SdlWindow *native = Native(window);
    if (!native)
        return;
    if (!show) {
        SDL_HideWindow(native->window);
        return;
    }
    SDL_ShowWindow(native->window);
    SDL_RaiseWindow(native->window);
    PlatformWindowShown(window);
}

static void WindowGeometry(HWND window)
{
    SdlWindow *native = Native(window);
    if (!native || native->fullscreen)
        return;
    SDL_SetWindowPosition(native->window, window->x, window->y);
    SDL_SetWindowSize(native->window, std::max(1, window->clientWidth), std::max(1, window->clientHeight));
}

static int DesktopWidth()
{
    SDL_DisplayMode mode;
    return sdl.videoOk && SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.w : 640;
}

static int DesktopHeight()
{
    SDL_DisplayMode mode;
    return sdl.videoOk && SDL_GetDesktopDisplayMode(0, &mode) == 0 ? mode.h : 480;
}

static void SetCursorShape(HCURSOR cursor)
{
    if (sdl.videoOk)
        SDL_ShowCursor(cursor ? SDL_ENABLE : SDL_DISABLE);
}

// [SECTION] Message boxes and dialogs -------------------------------------

static int MessageBoxShow(HWND owner, const char *text, const char *caption, UINT type)
{
    int okCancel = (type & 0xF) == MB_OKCANCEL;
    if (sdl.videoOk) {
        SDL_MessageBoxButtonData buttons[2] = {
            {static_cast<Uint32>(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT |
                                 (okCancel ? 0 : SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT)),
             IDOK,
             "OK"},
            {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDCANCEL, "Cancel"},
        };
        SdlWindow *parent = Native(owner);
        SDL_MessageBoxData data{};
        data.flags = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        data.window = parent && (SDL_GetWindowFlags(parent->window) & SDL_WINDOW_SHOWN) ? parent->window : nullptr;
        data.title = caption;
        data.message = text;
        data.numbuttons = okCancel ? 2 : 1;
        data.buttons = buttons;
        int answer = 0;
        if (SDL_ShowMessageBox(&data, &answer) == 0)
            return answer == IDCANCEL ? IDCANCEL : IDOK;
    }
    fprintf(stderr, "%s: %s\n", caption, text);
    return IDOK;
}

// Shows pixels (0x00RRGGBB or a surface layout) in the window's texture.
static void ShowPixels(SdlWindow *native, const void *pixels, int width, int height, int pitch, Uint32 format)
{
    if (!native->texture || native->textureWidth != width || native->textureHeight != height ||
        native->textureFormat != format) {
        if (native->texture)
            SDL_DestroyTexture(native->texture);
        native->texture = SDL_CreateTexture(native->renderer, format, SDL_TEXTUREACCESS_STREAMING, width, height);
        native->textureWidth = width;
        native->textureHeight = height;
        native->textureFormat = format;
        if (!native->texture)
            return;
    }
    SDL_UpdateTexture(native->texture, nullptr, pixels, pitch);
    // A GL drawable may learn of a new window size only when it is swapped
    // (Mesa's software rasterizer on X does), so the first frame after a
    // resize would be drawn at the old size - for a new window 1 x 1, and
    // the menu's first frame would stay black until a key. Such a frame is
    // drawn twice.
    int windowWidth = 0, windowHeight = 0;
    SDL_GetWindowSize(native->window, &windowWidth, &windowHeight);
    int passes = windowWidth != native->shownWidth || windowHeight != native->shownHeight ? 2 : 1;
    native->shownWidth = windowWidth;
    native->shownHeight = windowHeight;
    for (int pass = 0; pass < passes; pass++) {
        SDL_SetRenderDrawColor(native->renderer, 0, 0, 0, 255);
        SDL_RenderClear(native->renderer);
        SDL_RenderCopy(native->renderer, native->texture, nullptr, nullptr);
        SDL_RenderPresent(native->renderer);
    }
}

static void DialogChanged(HWND dialog)
{
    SdlWindow *native = Native(dialog);
    if (!native || !dialog->visible || dialog->clientWidth <= 0 || dialog->clientHeight <= 0)
        return;
    std::vector<uint32_t> pixels(static_cast<size_t>(dialog->clientWidth) * dialog->clientHeight);
    if (DialogRender(dialog, pixels.data(), dialog->clientWidth, dialog->clientHeight))
        ShowPixels(native, pixels.data(), dialog->clientWidth, dialog->clientHeight, dialog->clientWidth * 4,
                   SDL_PIXELFORMAT_RGB888);
}

// [SECTION] Surfaces ------------------------------------------------------

static void DesktopFormat(DrawPixelFormat *format)
{
    *format = DrawPixelFormat{32, 0xFF0000, 0xFF00, 0xFF};
    SDL_DisplayMode mode;
    if (!sdl.videoOk || SDL_GetDesktopDisplayMode(0, &mode) != 0 || mode.format == SDL_PIXELFORMAT_UNKNOWN)
        return;
    int bits;
    Uint32 red, green, blue, alpha;
    if (!SDL_PixelFormatEnumToMasks(mode.format, &bits, &red, &green, &blue, &alpha))
        return;
    int bytes = SDL_BYTESPERPIXEL(mode.format);
    // Stored width for 16- and 32-bit words (a 24-bit colour in 32-bit words
    // is a 32-bit desktop); anything else reports its real depth.
    if (bytes == 4 && (bits == 24 || bits == 32))
        bits = 32;
    else if (bytes == 2 && (bits == 15 || bits == 16))
        bits = 16;
    *format = DrawPixelFormat{bits, red, green, blue};
}

// Desktop full screen with a logical size: the frame is scaled to fit with
// black bars, and pointer positions arrive in the frame's coordinates.
static int EnterFullScreen(SdlWindow *native, int width, int height)
{
    if (SDL_SetWindowFullscreen(native->window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
        return 0;
    if (SDL_RenderSetLogicalSize(native->renderer, width, height) != 0) {
        SDL_SetWindowFullscreen(native->window, 0);
        return 0;
    }
    native->fullscreen = 1;
    return 1;
}

static DRAWRESULT DrawStep(int step, DrawSystem *system)
{
    if (step == DRAWSTEP_DISPLAYMODE && system && system->exclusive) {
        SdlWindow *native = Native(system->window);
        if (!native)
            return DRAWERR_GENERIC;
        if (!EnterFullScreen(native, system->modeWidth, system->modeHeight))
            return DRAWERR_UNSUPPORTEDMODE;
    }
    return DRAW_OK;
}

// Back in a window: decorated, resizable, the frame stretched to the client
// area again, centred on the desktop.
static int SetFullScreen(HWND window, int fullScreen, int width, int height)
{
    SdlWindow *native = Native(window);
    if (!native)
        return 0;
    if (fullScreen) {
        // Covering the screen first, as a window made for full screen does:
        // without a window manager to honour the full-screen state the
        // window would otherwise keep its size.
        SDL_SetWindowBordered(native->window, SDL_FALSE);
        SDL_SetWindowPosition(native->window, 0, 0);
        SDL_SetWindowSize(native->window, DesktopWidth(), DesktopHeight());
        if (EnterFullScreen(native, width, height))
            return 1;
        SDL_SetWindowBordered(native->window, SDL_TRUE);
        SDL_SetWindowSize(native->window, window->clientWidth, window->clientHeight);
        SDL_SetWindowPosition(native->window, window->x, window->y);
        return 0;
    }
    if (SDL_SetWindowFullscreen(native->window, 0) != 0)
        return 0;
    SDL_RenderSetLogicalSize(native->renderer, 0, 0);
    native->fullscreen = 0;
    SDL_SetWindowBordered(native->window, SDL_TRUE);
    SDL_SetWindowResizable(native->window, SDL_TRUE);
    SDL_SetWindowSize(native->window, width, height);
    SDL_SetWindowPosition(native->window, DesktopWidth() / 2 - width / 2, DesktopHeight() / 2 - height / 2);
    return 1;
}

static int PitchPadding()
{
    return 0;
}

static Uint32 TextureFormat(const DrawPixelFormat &format)
{
    if (format.bitCount == 16 || format.bitCount == 15)
        return format.redMask == 0x7C00 ? SDL_PIXELFORMAT_RGB555 : SDL_PIXELFORMAT_RGB565;
    return SDL_PIXELFORMAT_RGB888;
}

static DRAWRESULT ShowSurface(DrawSurface *source)
{
    SdlWindow *native = source && source->system ? Native(source->system->window) : nullptr;
    if (!native)
        return DRAWERR_GENERIC;
    ShowPixels(native, source->pixels.data(), source->width, source->height, source->pitch,
               TextureFormat(source->format));
    return DRAW_OK;
}

static DRAWRESULT ShowFlip(DrawSurface *primary, DrawSurface *back)
{
    (void)primary;
    return ShowSurface(back);
}

static DRAWRESULT ShowBlit(DrawSurface *primary, const RECT *destination, DrawSurface *source)
{
    (void)primary;
    (void)destination; // the renderer covers exactly the client area
    return ShowSurface(source);
}

static void SystemRelease(DrawSystem *system)
{
    (void)system;
}

// [SECTION] Audio ---------------------------------------------------------

static int StartAudio()
{
    return SDL_WasInit(SDL_INIT_AUDIO) || SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

// An output exists when one of SDL's drivers starts and lists at least one
// output device (or cannot list them: -1). Without a sound card, or with no
// sound server and no card, SDL lists none; a device that is listed but will
// not open is taken, not missing.
static int AudioPresentSdl()
{
    if (sdl.audio)
        return 1;
    return StartAudio() && SDL_GetNumAudioDevices(0) != 0;
}

static int AudioOpenSdl(int rate)
{
    if (sdl.audio || !StartAudio())
        return 0;
    SDL_AudioSpec want{}, have{};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    sdl.audio = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!sdl.audio)
        return 0;
    SDL_PauseAudioDevice(sdl.audio, 0);
    return 1;
}

static int AudioQueueSdl(const int16_t *frames, int frameCount)
{
    if (!sdl.audio)
        return 0;
    return SDL_QueueAudio(sdl.audio, frames, static_cast<Uint32>(frameCount) * 4) == 0;
}

static int AudioQueuedSdl()
{
    return sdl.audio ? static_cast<int>(SDL_GetQueuedAudioSize(sdl.audio) / 4) : 0;
}

static void AudioCloseSdl()
{
    if (!sdl.audio)
        return;
    SDL_CloseAudioDevice(sdl.audio);
    sdl.audio = 0;
}

// [SECTION] Shell ---------------------------------------------------------

// Started directly with an argument vector: the target is never seen by a
// shell, whatever characters it holds. Not waited for; reaped while pumping.
static INT_PTR ShellOpen(const char *verb, const char *file, const char *parameters)
{
    (void)verb;
    (void)parameters;
    char program[] = "xdg-open";
    std::string target = file;
    char *arguments[] = {program, &target[0], nullptr};
    pid_t child;
    if (posix_spawnp(&child, program, nullptr, nullptr, arguments, environ) != 0)
        return 2; // file not found
    sdl.children.push_back(child);
    return 42;
}

// [SECTION] Backend table -------------------------------------------------

const PlatformBackend sdlBackend = {
    "sdl",
    Start,
    WindowCreate,
    WindowDestroy,
    WindowShow,
    WindowGeometry,
    PumpEvents,
    Wake,
    DisplayAvailable,
    DesktopWidth,
    DesktopHeight,
    SetCursorShape,
    MessageBoxShow,
    DialogChanged,
    DesktopFormat,
    DrawStep,
    PitchPadding,
    ShowFlip,
    ShowBlit,
    SystemRelease,
    AudioPresentSdl,
    AudioOpenSdl,
    AudioQueueSdl,
    AudioQueuedSdl,
    AudioCloseSdl,
    ShellOpen,
    PlatformFontconfigFind,
    nullptr, // threads and sleeping: the system's
    nullptr,
    nullptr,
    nullptr, // settings: the file
    nullptr,
    SetFullScreen,
    nullptr, // the window leaves full screen only when we ask
    PlatformInotifyWatchStart,
    PlatformInotifyWatchStop,
};
