// The web backend: the reader in a browser page, compiled with Emscripten.
// The page (platform/web/index.html) fetches the issue into the in-memory
// file system and starts the program; the browser side of each service is
// platform/web/web.js. What the services become here:
//
// - windows: the display window is the page's <canvas id="zarn"> (640 × 480,
//   scaled by the page with its aspect kept); each dialog is a small canvas
//   of its own over it, with its caption above. The "desktop" is the 640 ×
//   480 screen they sit on, so dialogs centre themselves on it.
// - input: DOM key, pointer and touch events become window messages with
//   virtual-key codes and client coordinates; a tap is a click, a swipe an
//   arrow key (web.js).
// - waits: GetMessage, WaitMessageTimeout and Sleep give the browser its turn
//   through Asyncify (web.js's zarn_web_wait), waking on input or at their
//   deadline; Present waits until the browser has drawn the frame before, so
//   a fade runs at the display's rate; PeekMessage lets the browser draw
//   what was shown, and yields now and then. A wait costs no processor time.
// - threads: there are none without shared memory, so CreateThread makes a
//   cooperative task (an Asyncify fiber); its Sleep hands control back, and
//   every wait of the program runs the tasks whose sleep has ended.
// - audio: Web Audio at the asked rate, fed from a queue; the queue drains in
//   real time by the clock whether or not the browser plays it yet (sound
//   starts with the first key, click or tap), so the mixer keeps its pace.
// - message boxes: drawn in the page, waited for; stored settings: the
//   page's local storage, one item per value under its own name; the shell:
//   web and mail addresses, and documents of the issue, in a new tab.
//
// [SECTION] Browser side
// [SECTION] State
// [SECTION] Waiting and tasks
// [SECTION] Events
// [SECTION] Windows
// [SECTION] Message boxes and dialogs
// [SECTION] Surfaces
// [SECTION] Audio
// [SECTION] Shell, settings and fonts
// [SECTION] Backend table
#include "platform/backend.h"

#include <emscripten.h>
#include <emscripten/fiber.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

// [SECTION] Browser side --------------------------------------------------

// Implemented in web.js.
extern "C" {
void zarn_web_start(void);
// Lets the browser run for at most milliseconds; wake asks to be woken early
// by input (WAKE_INPUT) or once what the windows were last given has been
// drawn (WAKE_PAINTED). Returns what ended the wait (WOKE_*).
int zarn_web_wait(int milliseconds, int wake);
// 1 when the browser has drawn what the windows were last given.
int zarn_web_painted(void);
// The next input event as five numbers (kind, window, a, b, c); 0 when none.
int zarn_web_next_event(int *fields);
void zarn_web_window(int id, int dialog, int x, int y, int width, int height, int visible, const char *caption);
void zarn_web_window_gone(int id);
void zarn_web_show(int id, const uint8_t *rgba, int width, int height);
void zarn_web_cursor(int visible);
int zarn_web_is_full_screen();
void zarn_web_full_screen(int on);
void zarn_web_box_open(const char *text, const char *caption, int withCancel);
// IDOK or IDCANCEL once the box is answered (and gone), else 0.
int zarn_web_box_answer(void);
int zarn_web_audio_present(void);
void zarn_web_audio_open(int rate);
void zarn_web_audio_queue(const int16_t *frames, int frameCount);
void zarn_web_audio_close(void);
void zarn_web_open(const char *target, int document);
int zarn_web_setting_read(const char *name, char *text, int size);
int zarn_web_setting_write(const char *name, const char *text);
}

namespace {

enum { WAKE_INPUT = 1, WAKE_PAINTED = 2 };
enum { WOKE_TIME = 0, WOKE_INPUT = 1, WOKE_PAINTED = 2 };

// Input events from web.js.
enum {
    EVENT_KEY_DOWN = 1, // a: virtual key, b: 1 for an auto-repeat
    EVENT_KEY_UP = 2,   // a: virtual key
    EVENT_MOVE = 3,     // window, a: x, b: y, c: key state (MK_*)
    EVENT_PRESS = 4,    // window, a: x, b: y, c: key state
    EVENT_RELEASE = 5,  // window, a: x, b: y, c: key state
    EVENT_PAINT = 6,    // window (0: every window shown)
    EVENT_CHAR = 7,     // a: the Unicode code point typed
};

enum {
    SCREEN_WIDTH = 640,
    SCREEN_HEIGHT = 480,
    PAINT_WAIT_LIMIT_MS = 100, // a hidden page draws no frames: do not wait for ever
    YIELD_EVERY_MS = 20,       // a program that only polls still lets the page breathe
    TASK_STACK = 256 * 1024,
    UNWIND_STACK = 64 * 1024,  // what Asyncify keeps of a suspended call stack
};

const char dialogFontPath[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// [SECTION] State ---------------------------------------------------------

// A cooperative task standing in for a thread.
struct WebTask {
    PlatformThread *thread;
    emscripten_fiber_t fiber;
    std::vector<uint8_t> stack, unwindStack;
    double due;   // when its Sleep ends
    int finished; // its procedure returned
};

struct WebAudio {
    int open;
    int rate;
    int64_t written, played; // frames handed over, frames the clock says were played
    double lastMs, carry;
};

struct WebState {
    int nextWindowId;
    emscripten_fiber_t mainFiber;
    std::vector<uint8_t> mainUnwindStack;
    int fibersReady;
    std::vector<WebTask *> tasks;
    WebTask *running;  // the task whose fiber runs now, null for the program
    double lastYield;
    std::vector<uint32_t> rgba;
    WebAudio audio;
};

WebState web;

double Now()
{
    return emscripten_get_now();
}

// [SECTION] Waiting and tasks ---------------------------------------------

void TaskEntry(void *argument)
{
    auto *task = static_cast<WebTask *>(argument);
    task->thread->procedure(task->thread->argument);
    task->finished = 1;
    // A fiber must never return: it is switched away from for good.
    for (;;)
        emscripten_fiber_swap(&task->fiber, &web.mainFiber);
}

// Runs every task whose sleep has ended, each until it sleeps again.
void RunDueTasks()
{
    if (web.running)
        return;
    for (size_t i = 0; i < web.tasks.size(); i++) {
        WebTask *task = web.tasks[i];
        if (task->finished || task->due > Now())
            continue;
        web.running = task;
        emscripten_fiber_swap(&web.mainFiber, &task->fiber);
        web.running = nullptr;
    }
}

double NextTaskDue()
{
    double due = INFINITY;
    for (WebTask *task : web.tasks)
        if (!task->finished && task->due < due)
            due = task->due;
    return due;
}

// Lets the browser run until deadline, or until what wake asks for comes;
// tasks run meanwhile whenever they are due. A task that waits gives control
// back to the program until its deadline instead. Returns what ended it.
int Wait(double deadline, int wake)
{
    if (web.running) {
        WebTask *task = web.running;
        task->due = deadline;
        emscripten_fiber_swap(&task->fiber, &web.mainFiber);
        return WOKE_TIME;
    }
    for (;;) {
        RunDueTasks();
        double now = Now();
        double until = std::fmin(deadline, NextTaskDue());
        double span = until > now ? std::ceil(until - now) : 0;
        // Long waits are taken in pieces: a timer's delay is a 32-bit number.
        int woke = zarn_web_wait(span > 1000000 ? 1000000 : static_cast<int>(span), wake);
        web.lastYield = Now();
        if (woke != WOKE_TIME)
            return woke;
        if (web.lastYield >= deadline) {
            RunDueTasks();
            return WOKE_TIME;
        }
    }
}

// Until the browser has drawn what the windows were last given (or has
// drawn nothing for a while: a hidden page).
void WaitForPaint()
{
    double limit = Now() + PAINT_WAIT_LIMIT_MS;
    while (!zarn_web_painted() && Now() < limit)
        Wait(limit, WAKE_PAINTED);
}

void SleepWeb(DWORD milliseconds)
{
    Wait(Now() + milliseconds, 0);
}

int TaskStart(PlatformThread *thread)
{
    if (!web.fibersReady) {
        web.mainUnwindStack.resize(UNWIND_STACK);
        emscripten_fiber_init_from_current_context(&web.mainFiber, web.mainUnwindStack.data(),
                                                   web.mainUnwindStack.size());
        web.fibersReady = 1;
    }
    auto *task = new WebTask();
    task->thread = thread;
    task->stack.resize(thread->stackSize > TASK_STACK ? thread->stackSize : TASK_STACK);
    task->unwindStack.resize(UNWIND_STACK);
    emscripten_fiber_init(&task->fiber, TaskEntry, task, task->stack.data(), task->stack.size(),
                          task->unwindStack.data(), task->unwindStack.size());
    task->due = Now(); // runs at the program's next wait
    thread->native = task;
    web.tasks.push_back(task);
    return 1;
}

void TaskJoin(PlatformThread *thread)
{
    auto *task = static_cast<WebTask *>(thread->native);
    if (!task)
        return;
    // Joining from a task would wait for ever: nothing else would run it.
    while (!task->finished && !web.running)
        Wait(task->due, 0);
    for (size_t i = 0; i < web.tasks.size(); i++)
        if (web.tasks[i] == task)
            web.tasks.erase(web.tasks.begin() + static_cast<long>(i));
    if (task->finished)
        delete task;
    thread->native = nullptr;
}

// [SECTION] Events --------------------------------------------------------

HWND WindowById(int id)
{
    for (HWND window : PlatformLiveWindows())
        if (!window->parent && reinterpret_cast<intptr_t>(window->native) == id)
            return window;
    return nullptr;
}

LPARAM Point(int x, int y)
{
    x = x < 0 ? 0 : x > 0xFFFF ? 0xFFFF : x;
    y = y < 0 ? 0 : y > 0xFFFF ? 0xFFFF : y;
    return static_cast<LPARAM>(static_cast<uint32_t>(y) << 16 | static_cast<uint32_t>(x));
}

void Translate(const int *event)
{
    int kind = event[0];
    switch (kind) {
    case EVENT_KEY_DOWN:
    case EVENT_KEY_UP: {
        HWND window = PlatformFocusWindow();
        if (!window || event[2] <= 0 || event[2] > 0xFF)
            break;
        LPARAM flags = kind == EVENT_KEY_UP ? static_cast<LPARAM>(0xC0000001u) : (1 | (event[3] ? 1 << 30 : 0));
        PlatformQueueMessage(window, kind == EVENT_KEY_DOWN ? WM_KEYDOWN : WM_KEYUP, static_cast<WPARAM>(event[2]),
                             flags);
        break;
    }
    case EVENT_MOVE:
    case EVENT_PRESS:
    case EVENT_RELEASE: {
        HWND window = WindowById(event[1]);
        if (!window)
            break;
        UINT state = static_cast<UINT>(event[4]) & (MK_LBUTTON | MK_SHIFT);
        if (kind == EVENT_MOVE) {
            PlatformQueueMessage(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), 1);
            PlatformQueueMessage(window, WM_MOUSEMOVE, state, Point(event[2], event[3]));
        } else {
            PlatformQueueMessage(window, kind == EVENT_PRESS ? WM_LBUTTONDOWN : WM_LBUTTONUP, state,
                                 Point(event[2], event[3]));
        }
        break;
    }
    case EVENT_CHAR: {
        // After its key, as on the desktop: the search line reads these.
        HWND window = PlatformFocusWindow();
        if (window && event[2] > 0 && event[2] <= 0x10FFFF)
            PlatformQueueMessage(window, WM_CHAR, static_cast<WPARAM>(event[2]), 1);
        break;
    }
    case EVENT_PAINT:
        for (HWND window : PlatformLiveWindows())
            if (!window->parent && window->visible && (!event[1] || WindowById(event[1]) == window))
                PlatformQueueMessage(window, WM_PAINT, 0, 0);
        break;
    default:
        break;
    }
}

void TakeEvents()
{
    int event[5];
    while (zarn_web_next_event(event))
        Translate(event);
}

void PumpEvents(int timeoutMs)
{
    TakeEvents();
    if (timeoutMs == 0) {
        // A poll: the tasks keep their pace, and a program that never waits
        // still lets the browser draw (what it just showed first: a dialog
        // before a long load, each frame of a fade) and take input.
        RunDueTasks();
        if (!zarn_web_painted())
            WaitForPaint();
        else if (Now() - web.lastYield > YIELD_EVERY_MS)
            Wait(Now(), 0);
        TakeEvents();
        return;
    }
    double deadline = timeoutMs < 0 ? INFINITY : Now() + timeoutMs;
    while (!PlatformQueueLength()) {
        int woke = Wait(deadline, WAKE_INPUT);
        TakeEvents();
        if (woke == WOKE_TIME)
            break;
    }
}

void Start()
{
    web.lastYield = Now();
    zarn_web_start();
}

// [SECTION] Windows -------------------------------------------------------

int Id(HWND window)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(window->native));
}

void Place(HWND window)
{
    zarn_web_window(Id(window), window->dialog ? 1 : 0, window->x, window->y, window->clientWidth,
                    window->clientHeight, window->visible, window->dialog ? window->title.c_str() : "");
}

int WindowCreate(HWND window)
{
    window->native = reinterpret_cast<void *>(static_cast<intptr_t>(++web.nextWindowId));
    Place(window);
    return 1;
}

void WindowDestroy(HWND window)
{
    zarn_web_window_gone(Id(window));
    window->native = nullptr;
}

void DialogChanged(HWND dialog);

void WindowShow(HWND window, int show)
{
    Place(window);
    if (show)
        PlatformWindowShown(window);
}

void WindowGeometry(HWND window)
{
    Place(window);
}

int DisplayAvailable()
{
    return 1;
}

int DesktopWidth()
{
    return SCREEN_WIDTH;
}

int DesktopHeight()
{
    return SCREEN_HEIGHT;
}

void SetCursorShape(HCURSOR cursor)
{
    zarn_web_cursor(cursor != nullptr);
}

// [SECTION] Message boxes and dialogs -------------------------------------

int MessageBoxShow(HWND owner, const char *text, const char *caption, UINT type)
{
    (void)owner;
    int withCancel = (type & 0xF) == MB_OKCANCEL;
    zarn_web_box_open(text, caption, withCancel);
    int answer;
    while (!(answer = zarn_web_box_answer()))
        Wait(INFINITY, WAKE_INPUT);
    return withCancel && answer == IDCANCEL ? IDCANCEL : IDOK;
}

void ShowRgba(HWND window, int width, int height)
{
    zarn_web_show(Id(window), reinterpret_cast<const uint8_t *>(web.rgba.data()), width, height);
}

void DialogChanged(HWND dialog)
{
    if (!IsWindow(dialog) || !dialog->visible || dialog->clientWidth <= 0 || dialog->clientHeight <= 0)
        return;
    size_t count = static_cast<size_t>(dialog->clientWidth) * dialog->clientHeight;
    std::vector<uint32_t> pixels(count);
    if (!DialogRender(dialog, pixels.data(), dialog->clientWidth, dialog->clientHeight))
        return;
    web.rgba.resize(count);
    for (size_t i = 0; i < count; i++) {
        uint32_t p = pixels[i];
        web.rgba[i] = (p >> 16 & 0xFF) | (p & 0xFF00) | (p & 0xFF) << 16 | 0xFF000000u;
    }
    ShowRgba(dialog, dialog->clientWidth, dialog->clientHeight);
}

// [SECTION] Surfaces ------------------------------------------------------

void DesktopFormat(DrawPixelFormat *format)
{
    *format = DrawPixelFormat{32, 0xFF0000, 0xFF00, 0xFF};
}

DRAWRESULT DrawStepWeb(int step, DrawSystem *system)
{
    // Full screen is the page's canvas filling the screen, where the browser
    // allows it (after a key, click or tap); the frame is 640 × 480 either way.
    if (step == DRAWSTEP_DISPLAYMODE && system && system->exclusive)
        zarn_web_full_screen(1);
    return DRAW_OK;
}

// F11 and Alt+Enter: the page's element in or out of the browser's full
// screen; the canvas keeps its 640 × 480 frame, scaled to fit.
int SetFullScreenWeb(HWND window, int fullScreen, int width, int height)
{
    (void)window;
    (void)width;
    (void)height;
    zarn_web_full_screen(fullScreen);
    return 1;
}

// The browser's own word: the page may have left full screen without us.
int FullScreenNowWeb(HWND window)
{
    (void)window;
    return zarn_web_is_full_screen();
}

int PitchPadding()
{
    return 0;
}

// Converts a surface to the canvas's bytes (red, green, blue, opaque) and
// shows it once the browser has drawn the one before: a loop that presents
// without pause runs at the display's rate, one that presents now and then
// (25 times a second in the outro) is not held back.
DRAWRESULT ShowSurface(DrawSurface *source)
{
    HWND window = source && source->system ? source->system->window : nullptr;
    if (!IsWindow(window) || source->pixels.empty())
        return DRAWERR_GENERIC;
    int width = source->width, height = source->height;
    web.rgba.resize(static_cast<size_t>(width) * height);
    uint32_t *out = web.rgba.data();
    const DrawPixelFormat &format = source->format;
    for (int y = 0; y < height; y++) {
        const uint8_t *row = source->pixels.data() + static_cast<size_t>(y) * source->pitch;
        if (format.bitCount == 32) {
            const uint32_t *in = reinterpret_cast<const uint32_t *>(row);
            for (int x = 0; x < width; x++) {
                uint32_t p = in[x];
                *out++ = (p >> 16 & 0xFF) | (p & 0xFF00) | (p & 0xFF) << 16 | 0xFF000000u;
            }
        } else {
            for (int x = 0; x < width; x++) {
                uint32_t p = static_cast<uint32_t>(row[2 * x]) | static_cast<uint32_t>(row[2 * x + 1]) << 8;
                *out++ = PlatformWidenChannel(p, format.redMask) | PlatformWidenChannel(p, format.greenMask) << 8 |
                         PlatformWidenChannel(p, format.blueMask) << 16 | 0xFF000000u;
            }
        }
    }
    WaitForPaint();
    ShowRgba(window, width, height);
    return DRAW_OK;
}

DRAWRESULT ShowFlip(DrawSurface *primary, DrawSurface *back)
{
    (void)primary;
    return ShowSurface(back);
}

DRAWRESULT ShowBlit(DrawSurface *primary, const RECT *destination, DrawSurface *source)
{
    (void)primary;
    (void)destination; // the canvas is the client area, scaled by the page
    return ShowSurface(source);
}

void SystemRelease(DrawSystem *system)
{
    (void)system;
}

// [SECTION] Audio ---------------------------------------------------------

// The play position follows the clock: a queue that ran dry does not make
// the lost time up, as a real output would not.
void AdvanceAudio()
{
    WebAudio &audio = web.audio;
    double now = Now();
    double frames = (now - audio.lastMs) * audio.rate / 1000.0 + audio.carry;
    audio.lastMs = now;
    double whole = std::floor(frames);
    audio.carry = frames - whole;
    audio.played += static_cast<int64_t>(whole);
    if (audio.played >= audio.written) {
        audio.played = audio.written;
        audio.carry = 0;
    }
}

int AudioPresentWeb()
{
    return zarn_web_audio_present();
}

int AudioOpenWeb(int rate)
{
    if (web.audio.open || !zarn_web_audio_present())
        return 0;
    web.audio = WebAudio{1, rate, 0, 0, Now(), 0};
    zarn_web_audio_open(rate);
    return 1;
}

int AudioQueueWeb(const int16_t *frames, int frameCount)
{
    if (!web.audio.open)
        return 0;
    AdvanceAudio();
    web.audio.written += frameCount;
    zarn_web_audio_queue(frames, frameCount);
    return 1;
}

int AudioQueuedWeb()
{
    if (!web.audio.open)
        return 0;
    AdvanceAudio();
    return static_cast<int>(web.audio.written - web.audio.played);
}

void AudioCloseWeb()
{
    if (!web.audio.open)
        return;
    web.audio.open = 0;
    zarn_web_audio_close();
}

// [SECTION] Shell, settings and fonts -------------------------------------

int StartsWithIgnoringCase(const char *text, const char *prefix)
{
    for (; *prefix; text++, prefix++) {
        char a = *text >= 'A' && *text <= 'Z' ? static_cast<char>(*text + 32) : *text;
        if (a != *prefix)
            return 0;
    }
    return 1;
}

// A file of the issue, named relative to it and staying inside it.
int IssueDocument(const char *target)
{
    if (!*target || target[0] == '/' || target[0] == '\\' || target[0] == '-' || strchr(target, ':'))
        return 0;
    for (const char *step = target; *step;) {
        const char *end = step;
        while (*end && *end != '/' && *end != '\\')
            end++;
        if (end - step == 2 && step[0] == '.' && step[1] == '.')
            return 0;
        step = *end ? end + 1 : end;
    }
    return PlatformGetFileKind(target) == FILE_REGULAR;
}

// Web and mail addresses open in a new tab; a document of the issue opens
// from the site's copy of the issue; nothing else opens. The page gets no
// hold on what it opened.
INT_PTR ShellOpen(const char *verb, const char *file, const char *parameters)
{
    (void)verb;
    (void)parameters;
    static const char *const schemes[] = {"http:", "https:", "ftp:", "mailto:"};
    for (const char *scheme : schemes)
        if (StartsWithIgnoringCase(file, scheme)) {
            zarn_web_open(file, 0);
            return 42;
        }
    if (IssueDocument(file)) {
        std::string path = file;
        for (char &c : path)
            if (c == '\\')
                c = '/';
        zarn_web_open(path.c_str(), 1);
        return 42;
    }
    return 5; // access denied
}

int SettingRead(const char *name, char *text, int size)
{
    return zarn_web_setting_read(name, text, size);
}

int SettingWrite(const char *name, const char *text)
{
    return zarn_web_setting_write(name, text);
}

// The page brings one face along, DejaVu Sans, for the dialogs: it answers
// for the generic sans-serif family; no other family is installed.
int FindFontFile(const char *family, int bold, int italic, char *path, int size)
{
    (void)bold;
    (void)italic;
    if (strcmp(family, "sans-serif") != 0 && strcmp(family, "sans") != 0)
        return 0;
    if (PlatformGetFileKind(dialogFontPath) != FILE_REGULAR || static_cast<int>(sizeof dialogFontPath) > size)
        return 0;
    memcpy(path, dialogFontPath, sizeof dialogFontPath);
    return 1;
}

} // namespace

// [SECTION] Backend table -------------------------------------------------

const PlatformBackend webBackend = {
    "web",
    Start,
    WindowCreate,
    WindowDestroy,
    WindowShow,
    WindowGeometry,
    PumpEvents,
    nullptr, // nothing runs beside the program to wake it
    DisplayAvailable,
    DesktopWidth,
    DesktopHeight,
    SetCursorShape,
    MessageBoxShow,
    DialogChanged,
    DesktopFormat,
    DrawStepWeb,
    PitchPadding,
    ShowFlip,
    ShowBlit,
    SystemRelease,
    AudioPresentWeb,
    AudioOpenWeb,
    AudioQueueWeb,
    AudioQueuedWeb,
    AudioCloseWeb,
    ShellOpen,
    FindFontFile,
    TaskStart,
    TaskJoin,
    SleepWeb,
    SettingRead,
    SettingWrite,
    SetFullScreenWeb,
    FullScreenNowWeb,
    nullptr, // a page's files do not change under it: no watching
    nullptr,
};
