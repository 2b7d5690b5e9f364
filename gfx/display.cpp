// The display: the program's one top-level window (class "DDExEngine"), the
// drawing surfaces behind it (a flip chain in full screen, an off-screen back
// buffer blitted into the client area in a window), presentation of 32-bit
// pages in the display's layout, the window procedure that fills InputState,
// and the two error reporters FatalError and ErrorBox.
//
// [SECTION] State
// [SECTION] Error reporters
// [SECTION] Creation
// [SECTION] Presenting
// [SECTION] Full screen at run time
// [SECTION] Window procedure
#include "gfx/display.h"

#include "gfx/pixels.h"

#include <cstdio>
#include <string>

// [SECTION] State ---------------------------------------------------------

struct DisplayState {
    int32_t width, height;
    int32_t formatCode; // 15, 16 or 32; the asked depth until the surface was asked
    int32_t windowed;   // what the window shows now: 1 a window, 0 full screen
    int32_t flipChain;  // the surfaces made: 1 a full-screen flip chain, 0 a back buffer blitted into the window
    int32_t active;     // set by the first WM_ACTIVATEAPP, for good
    int32_t closing;    // set by ErrorBox
    const uint32_t *lastFrame;
    RECT clientRect;
    HWND window;
    DrawSystem *system;
    DrawSurface *primary;
    DrawSurface *back;
    void *lockedPixels;
    void (*boxWatcher)(const char *text);
    void (*boxCatcher)(const char *text);
};

static DisplayState display;

InputState input = {0, 0, 0, 0, 0, 0, 0, -1, -1, 0, {}, 0};

enum { FLIP_RETRY_LIMIT = 10000 };

HWND DisplayWindow()
{
    return display.window;
}

// [SECTION] Error reporters -----------------------------------------------

void FatalError(const char *text)
{
    char buffer[1024];
    snprintf(buffer, sizeof buffer, "Zarn EXCEPTION: '%s'\n", text ? text : "");
    ErrorBox(buffer);
}

void ErrorBoxSetWatcher(void (*watcher)(const char *text))
{
    display.boxWatcher = watcher;
}

void ErrorBoxMessage(const char *text, char *message, int size)
{
    if (!message || size <= 0)
        return;
    std::string line;
    for (const char *c = text ? text : ""; *c; c++)
        line += (*c == '\n' || *c == '\r') ? ' ' : *c;
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    size_t open = line.find(": '");
    if (open != std::string::npos && line.size() > open + 3 && line.back() == '\'')
        line = line.substr(open + 3, line.size() - open - 4);
    snprintf(message, (size_t)size, "%s", line.c_str());
}

void ErrorBoxSetCatcher(void (*catcher)(const char *text))
{
    display.boxCatcher = catcher;
}

void ErrorBox(const char *text)
{
    if (text && display.boxWatcher)
        display.boxWatcher(text);
    if (display.boxCatcher) {
        display.boxCatcher(text ? text : "");
        return;
    }
    ReleaseDisplay();
    if (text)
        MessageBoxA(nullptr, text, "Error", MB_OK);
    display.closing = 1;
    if (display.window)
        DestroyWindow(display.window);
}

// [SECTION] Creation ------------------------------------------------------

void ReleaseDisplay()
{
    // The windowed back buffer is ours alone; the flip chain's goes with the primary.
    if (display.back && !display.flipChain)
        DrawReleaseSurface(display.back);
    display.back = nullptr;
    if (display.primary) {
        DrawReleaseSurface(display.primary);
        display.primary = nullptr;
    }
    if (display.system) {
        DrawRelease(display.system);
        display.system = nullptr;
    }
}

// Chooses the conversion for the primary surface's layout; 0 (after the box)
// for a depth the program cannot show.
static int SelectPixelFormat(const DrawPixelFormat &format)
{
    if (format.bitCount == 15 || format.bitCount == 16) {
        display.formatCode = format.redMask == 0x7C00 && format.greenMask == 0x03E0 && format.blueMask == 0x001F ? 15 : 16;
        return 1;
    }
    if (format.bitCount == 32) {
        display.formatCode = 32;
        return 1;
    }
    MessageBoxA(display.window, "Videomode not supported!\nPlease switch to a 16 or 32 BPP mode.", "ERROR", MB_OK);
    return 0;
}

static void InitFailed(DRAWRESULT code)
{
    char text[64];
    snprintf(text, sizeof text, "Direct Draw Init Failed (%08lx)\n", static_cast<unsigned long>(static_cast<DWORD>(code)));
    MessageBoxA(display.window, text, "ERROR", MB_OK);
    ReleaseDisplay();
    HWND window = display.window;
    DestroyWindow(window);
    display.window = nullptr;
}

static int AskPixelFormat()
{
    DrawPixelFormat format{0, 0, 0, 0};
    if (DrawGetPixelFormat(display.primary, &format) != DRAW_OK)
        format.bitCount = 0; // unknown layout: refused like any other
    return SelectPixelFormat(format);
}

static int CreateFullScreen(HINSTANCE instance, int showCommand, const char *title, int bitsPerPixel)
{
    display.window = CreateWindowExA(WS_EX_TOPMOST, "DDExEngine", title, WS_POPUP, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                                     GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, nullptr);
    if (!display.window)
        return 0;
    ShowWindow(display.window, showCommand);
    UpdateWindow(display.window);
    DRAWRESULT result = DrawCreate(&display.system);
    if (result == DRAW_OK)
        result = DrawSetCooperativeLevel(display.system, display.window, 1);
    if (result == DRAW_OK)
        result = DrawSetDisplayMode(display.system, display.width, display.height, bitsPerPixel);
    if (result == DRAW_OK)
        result = DrawCreatePrimary(display.system, 1, &display.primary);
    if (result != DRAW_OK) {
        InitFailed(result);
        return 0;
    }
    if (!AskPixelFormat())
        return 0;
    SetConversionFormat(display.width, display.height, display.formatCode);
    result = DrawGetBackBuffer(display.primary, &display.back);
    if (result != DRAW_OK) {
        InitFailed(result);
        return 0;
    }
    return 1;
}

// The windowed steps that report themselves, in order; a failure shows its
// own text and then every earlier one back to the first.
static const char *const windowedSteps[] = {
    "-> DirectDrawCreate", "-> SetCooperativeLevel", "-> CreateSurface",        "-> CreateClipper",
    "-> SetHwnd",          "-> SetClipper",          "-> Generating BackBuffer",
};

static void WindowedFailed(int step, DRAWRESULT code)
{
    for (int i = step; i >= 0; i--)
        MessageBoxA(display.window, windowedSteps[i], "ERROR", MB_OK);
    InitFailed(code);
}

static int CreateWindowed(HINSTANCE instance, int showCommand, const char *title)
{
    const DWORD style = WS_OVERLAPPEDWINDOW, exStyle = 0;
    display.window = CreateWindowExA(exStyle, "DDExEngine", title, style, CW_USEDEFAULT, 5, 0, 0, nullptr, nullptr,
                                     instance, nullptr);
    if (!display.window)
        return 0;
    RECT outer{0, 0, display.width, display.height};
    AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    MoveWindow(display.window, GetSystemMetrics(SM_CXSCREEN) / 2 - display.width / 2,
               GetSystemMetrics(SM_CYSCREEN) / 2 - display.height / 2, outer.right - outer.left,
               outer.bottom - outer.top, FALSE);
    DrawClipper *clipper = nullptr;
    DRAWRESULT result = DrawCreate(&display.system);
    if (result != DRAW_OK)
        return WindowedFailed(0, result), 0;
    result = DrawSetCooperativeLevel(display.system, display.window, 0);
    if (result != DRAW_OK)
        return WindowedFailed(1, result), 0;
    result = DrawCreatePrimary(display.system, 0, &display.primary);
    if (result != DRAW_OK)
        return WindowedFailed(2, result), 0;
    result = DrawCreateClipper(display.system, &clipper);
    if (result != DRAW_OK)
        return WindowedFailed(3, result), 0;
    int failedStep = -1;
    result = DrawClipperSetWindow(clipper, display.window);
    if (result != DRAW_OK)
        failedStep = 4;
    else if ((result = DrawSurfaceSetClipper(display.primary, clipper)) != DRAW_OK)
        failedStep = 5;
    // The primary holds the clipper from here; one it never took goes now.
    DrawReleaseClipper(clipper);
    if (failedStep >= 0)
        return WindowedFailed(failedStep, result), 0;
    if (!AskPixelFormat())
        return 0;
    SetConversionFormat(display.width, display.height, display.formatCode);
    result = DrawCreateOffscreen(display.system, display.width, display.height, &display.back);
    if (result != DRAW_OK)
        return WindowedFailed(6, result), 0;
    ShowWindow(display.window, showCommand);
    return 1;
}

int CreateDisplay(HINSTANCE instance, HICON icon, int showCommand, int width, int height, int bitsPerPixel,
                  int windowed, const char *title)
{
    display.width = width;
    display.height = height;
    display.formatCode = bitsPerPixel;
    display.windowed = windowed ? 1 : 0;
    display.flipChain = windowed ? 0 : 1;
    display.active = 0;
    display.closing = 0;
    display.lastFrame = nullptr;
    display.clientRect = RECT{0, 0, 0, 0};
    SetConversionFormat(width, height, bitsPerPixel);
    // Nothing is loaded at run time and no routine keeps values in its own
    // code, so there is no library to look up and no code region to unlock.
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = DisplayWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon;
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszMenuName = "DDExEngine";
    windowClass.lpszClassName = "DDExEngine";
    RegisterClassA(&windowClass); // already registered by an earlier display: the same class
    if (width <= 0 || height <= 0)
        return 0;
    return display.windowed ? CreateWindowed(instance, showCommand, title)
                            : CreateFullScreen(instance, showCommand, title, bitsPerPixel);
}

// [SECTION] Presenting ----------------------------------------------------

void Present(const uint32_t *page, int pixelCount)
{
    if (display.closing)
        return;
    int32_t rowSize = display.width * (display.formatCode == 32 ? 4 : 2);
    if (!display.active || !page)
        return;
    void *pixels = nullptr;
    int32_t pitch = 0;
    if (display.back && DrawLock(display.back, &pixels, &pitch) == DRAW_OK) {
        display.lockedPixels = pixels;
        // Never more than the surface holds, whatever count the caller gives.
        int32_t limit = display.width * display.height;
        int32_t count = pixelCount < limit ? pixelCount : limit;
        if (pitch == rowSize)
            ConvertPixels(pixels, page, count);
        else if (pitch > rowSize)
            for (int32_t row = 0; row < display.height; row++)
                ConvertPixels(static_cast<uint8_t *>(pixels) + static_cast<size_t>(row) * pitch,
                              page + static_cast<size_t>(row) * display.width, display.width);
        DrawUnlock(display.back);
        display.lockedPixels = nullptr;
        display.lastFrame = page;
    }
    if (!display.flipChain) {
        if (display.clientRect.right - display.clientRect.left > 0 &&
            display.clientRect.bottom - display.clientRect.top > 0 && display.primary && display.back)
            DrawBlit(display.primary, &display.clientRect, display.back, nullptr);
        return;
    }
    for (int attempt = 0; attempt < FLIP_RETRY_LIMIT; attempt++) {
        DRAWRESULT result = DrawFlip(display.primary);
        if (result == DRAWERR_WASSTILLDRAWING)
            continue;
        if (result == DRAWERR_SURFACELOST)
            DrawRestore(display.primary);
        break;
    }
}

// [SECTION] Full screen at run time ----------------------------------------

int DisplaySetFullScreen(int fullScreen)
{
    if (!display.window || display.closing)
        return 0;
    // The surfaces stay as they were made: a flip chain still flips and a
    // back buffer is still blitted, both onto whatever the window shows now.
    if (!PlatformSetFullScreen(display.window, fullScreen, display.width, display.height))
        return 0;
    // The window's WM_MOVE and WM_SIZE have shown the frame again already.
    display.windowed = fullScreen ? 0 : 1;
    SetCursor(fullScreen ? nullptr : LoadCursorA(nullptr, IDC_ARROW));
    return 1;
}

int DisplayFullScreen()
{
    // The system may have left full screen without us (a browser's Esc): its
    // word wins, so the next switch goes the way the user expects.
    int shown = display.window && !display.closing ? PlatformWindowFullScreen(display.window) : -1;
    if (shown >= 0)
        display.windowed = shown ? 0 : 1;
    return display.windowed ? 0 : 1;
}

const uint32_t *DisplayLastFrame()
{
    return display.lastFrame;
}

// [SECTION] Window procedure ----------------------------------------------

static void RefreshClientRect(HWND window)
{
    RECT client;
    if (!GetClientRect(window, &client))
        return;
    POINT topLeft{client.left, client.top}, bottomRight{client.right, client.bottom};
    ClientToScreen(window, &topLeft);
    ClientToScreen(window, &bottomRight);
    display.clientRect = RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
}

// Client coordinate to page coordinate; an empty client area keeps the old
// value rather than divide by zero.
static int32_t ScalePointer(uint32_t position, int32_t size, int32_t clientSize, int32_t previous)
{
    if (clientSize <= 0)
        return previous;
    return static_cast<int32_t>(static_cast<int64_t>(position) * size / clientSize);
}

LRESULT DisplayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        ReleaseDisplay();
        PostQuitMessage(0);
        if (window == display.window)
            display.window = nullptr;
        break;
    case WM_MOVE:
    case WM_SIZE:
        RefreshClientRect(window);
        if (display.lastFrame)
            Present(display.lastFrame, display.width * display.height);
        break;
    case WM_PAINT:
        input.redrawRequested = 1;
        if (display.lastFrame)
            Present(display.lastFrame, display.width * display.height);
        break;
    case WM_ACTIVATEAPP:
        display.active = 1;
        break;
    case WM_SETCURSOR:
        if (DisplayFullScreen()) {
            SetCursor(nullptr);
            return TRUE;
        }
        break;
    case WM_KEYDOWN:
        input.lastKey = static_cast<int32_t>(wParam);
        input.lastKeyModifiers = ((GetKeyState(VK_CONTROL) & 0x8000) ? KEY_CONTROL : 0) |
                                 ((GetKeyState(VK_MENU) & 0x8000) ? KEY_ALT : 0) |
                                 ((GetKeyState(VK_SHIFT) & 0x8000) ? KEY_SHIFT : 0);
        break;
    case WM_CHAR:
        if (input.typedCount >= 0 && input.typedCount < INPUT_TYPED_MAX)
            input.typed[input.typedCount++] = static_cast<uint32_t>(wParam);
        break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN: {
        uint32_t x = static_cast<uint32_t>(lParam) & 0xFFFF, y = (static_cast<uint32_t>(lParam) >> 16) & 0xFFFF;
        input.mouseX = ScalePointer(x, display.width, display.clientRect.right - display.clientRect.left, input.mouseX);
        input.mouseY = ScalePointer(y, display.height, display.clientRect.bottom - display.clientRect.top, input.mouseY);
        input.buttonDown = (wParam & MK_LBUTTON) ? 1 : 0;
        if (input.buttonDown) {
            input.clickX = input.mouseX;
            input.clickY = input.mouseY;
        }
        break;
    }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
