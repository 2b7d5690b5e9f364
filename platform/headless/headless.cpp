// The headless backend: everything the program asks of the system, without
// a display or a sound card. Windows exist only as records, input comes from
// the test (or a script file), presented frames are kept, message boxes are
// recorded and answered from a queue, shell opens are recorded, and audio is
// consumed at real-time pace into a capture. See headless.h for the script.
//
// [SECTION] State
// [SECTION] Log
// [SECTION] Windows
// [SECTION] Message boxes, dialogs, shell
// [SECTION] Surfaces and frames
// [SECTION] Audio
// [SECTION] Input helpers
// [SECTION] Script
// [SECTION] Backend table
#include "platform/headless/headless.h"

#include <png.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

// [SECTION] State ---------------------------------------------------------

enum { WAIT_LIMIT_MS = 10000, AUDIO_CAPTURE_LIMIT = 44100 * 2 * 120, WATCH_LOOK_MS = 50 };

struct ScriptLine {
    int number;
    std::vector<std::string> words;
};

struct HeadlessState {
    int desktopWidth = 1024, desktopHeight = 768;
    DrawPixelFormat desktop{32, 0xFF0000, 0xFF00, 0xFF};
    int pitchPadding = 0;
    int autoActivate = 1;
    int failWindows = 0;
    int fullScreen = 0, fullScreenSwitches = 0, refuseFullScreen = 0;
    int systemFullScreen = -1; // what PlatformWindowFullScreen says; -1: nothing
    DRAWRESULT failures[DRAWSTEP_COUNT] = {};
    std::deque<DRAWRESULT> queued[DRAWSTEP_COUNT];
    int stepCounts[DRAWSTEP_COUNT] = {};
    int frameCount = 0;
    HeadlessFrame lastFrame{};
    int haveFrame = 0;
    std::vector<HeadlessMessageBox> boxes;
    int echoBoxes = 1;
    std::deque<int> answers;
    std::vector<int> dialogsShown;
    std::vector<std::string> shellOpens;
    // Audio; the player thread queues while the test reads.
    std::mutex audioLock;
    int audioAvailable = 1;
    int audioBusy = 0; // opens still to be refused as busy; -1 = every one
    int audioOpen = 0;
    int audioRate = 0;
    std::vector<int16_t> capture;
    int64_t audioQueued = 0, audioPlayed = 0, audioLastUs = 0;
    // Script.
    FILE *log = nullptr;
    int scriptLoaded = 0;
    std::vector<ScriptLine> script;
    size_t scriptNext = 0;
    int holdOff = 0;          // an input event waits to be seen by the program
    int64_t waitStartMs = -1; // when the current wait began
    int64_t sleepUntilMs = -1;
    int64_t exhaustedMs = -1; // when the script was used up
    int graceMs = 3000;
    int closing = 0;
    // File changes: when the watch looked last, and whether it looks at once.
    int64_t lastLookMs = 0;
    int lookNow = 0;
    // The program waits for a message (blocked or with a timeout), not
    // only peeks: the pump running now came from such a wait.
    int waiting = 0;
};

static HeadlessState headless;

static int64_t NowUs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

static int64_t NowMs()
{
    return NowUs() / 1000;
}

void HeadlessEchoMessageBoxes(int on)
{
    headless.echoBoxes = on;
}

void HeadlessReset()
{
    headless.desktopWidth = 1024;
    headless.desktopHeight = 768;
    headless.desktop = DrawPixelFormat{32, 0xFF0000, 0xFF00, 0xFF};
    headless.pitchPadding = 0;
    headless.autoActivate = 1;
    headless.failWindows = 0;
    headless.fullScreen = headless.fullScreenSwitches = headless.refuseFullScreen = 0;
    headless.systemFullScreen = -1;
    for (int i = 0; i < DRAWSTEP_COUNT; i++) {
        headless.failures[i] = DRAW_OK;
        headless.queued[i].clear();
        headless.stepCounts[i] = 0;
    }
    headless.frameCount = 0;
    headless.haveFrame = 0;
    headless.lastFrame = HeadlessFrame{};
    headless.boxes.clear();
    headless.answers.clear();
    headless.dialogsShown.clear();
    headless.shellOpens.clear();
    // Windows, messages and a script left over by an earlier test would
    // steal the next one's input and focus.
    PlatformForgetWindows();
    headless.script.clear();
    headless.scriptLoaded = 0;
    headless.scriptNext = 0;
    headless.holdOff = 0;
    headless.waitStartMs = headless.sleepUntilMs = headless.exhaustedMs = -1;
    headless.graceMs = 3000;
    PlatformStopWatching();
    headless.lastLookMs = 0;
    headless.lookNow = 0;
    headless.waiting = 0;
    std::lock_guard<std::mutex> guard(headless.audioLock);
    headless.audioAvailable = 1;
    headless.audioBusy = 0;
    if (!headless.audioOpen)
        headless.audioRate = 0; // an output still open keeps pacing by its rate
    headless.capture.clear();
}

// [SECTION] Log -----------------------------------------------------------

void HeadlessSetLog(const char *path)
{
    if (headless.log)
        fclose(headless.log);
    headless.log = path && *path ? fopen(path, "w") : nullptr;
}

// Writes one line to the log file, if one is open. The parts are joined only
// then: a run without a log builds no strings for it.
template <typename... Parts>
static void Log(const Parts &...parts)
{
    if (!headless.log)
        return;
    std::string line, escaped;
    ((line += parts), ...);
    for (char c : line)
        if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    fprintf(headless.log, "%s\n", escaped.c_str());
    fflush(headless.log);
}

// ZARN_HEADLESS_AUDIO: "none", "busy" or "busy:N".
static void SetAudioFromEnvironment()
{
    const char *audio = getenv("ZARN_HEADLESS_AUDIO");
    if (!audio || !*audio)
        return;
    if (!strcmp(audio, "none"))
        HeadlessSetAudioAvailable(0);
    else if (!strcmp(audio, "busy"))
        HeadlessSetAudioBusy(-1);
    else if (!strncmp(audio, "busy:", 5) && audio[5] >= '0' && audio[5] <= '9')
        HeadlessSetAudioBusy(atoi(audio + 5));
    else
        fprintf(stderr, "headless: ZARN_HEADLESS_AUDIO=%s is not none, busy or busy:N\n", audio);
}

static void Start()
{
    SetAudioFromEnvironment();
    const char *log = getenv("ZARN_HEADLESS_LOG");
    if (log && *log)
        HeadlessSetLog(log);
    const char *script = getenv("ZARN_HEADLESS_SCRIPT");
    if (script && *script && !HeadlessLoadScript(script))
        fprintf(stderr, "headless: cannot read script %s\n", script);
}

// [SECTION] Windows -------------------------------------------------------

void HeadlessSetDesktop(int width, int height, int bitCount, uint32_t redMask, uint32_t greenMask,
                        uint32_t blueMask)
{
    headless.desktopWidth = width;
    headless.desktopHeight = height;
    headless.desktop = DrawPixelFormat{bitCount, redMask, greenMask, blueMask};
}

void HeadlessSetPitchPadding(int bytes)
{
    headless.pitchPadding = bytes < 0 ? 0 : bytes;
}

void HeadlessSetAutoActivate(int on)
{
    headless.autoActivate = on;
}

void HeadlessFailWindows(int count)
{
    headless.failWindows = count;
}

static int WindowCreate(HWND window)
{
    if (!window->dialog && headless.failWindows > 0) {
        headless.failWindows--;
        return 0;
    }
    return 1;
}

static void WindowDestroy(HWND window)
{
    (void)window;
}

static void WindowShow(HWND window, int show)
{
    if (!show || window->painted)
        return;
    window->painted = 1;
    if (window->dialog) {
        headless.dialogsShown.push_back(window->dialog->templateId);
        Log("dialog ", std::to_string(window->dialog->templateId), " shown");
        return;
    }
    if (headless.autoActivate) {
        PlatformQueueMessage(window, WM_ACTIVATEAPP, 1, 0);
        PlatformQueueMessage(window, WM_PAINT, 0, 0);
    }
}

static void WindowGeometry(HWND window)
{
    (void)window;
}

static int SetFullScreen(HWND window, int fullScreen, int width, int height)
{
    (void)window;
    (void)width;
    (void)height;
    if (headless.refuseFullScreen)
        return 0;
    headless.fullScreen = fullScreen;
    if (headless.systemFullScreen >= 0)
        headless.systemFullScreen = fullScreen;
    headless.fullScreenSwitches++;
    Log(fullScreen ? "full screen on" : "full screen off");
    return 1;
}

static int FullScreenNow(HWND window)
{
    (void)window;
    return headless.systemFullScreen;
}

void HeadlessSystemLeavesFullScreen()
{
    headless.systemFullScreen = 0;
    Log("full screen left by the system");
}

int HeadlessFullScreen()
{
    return headless.fullScreen;
}

int HeadlessFullScreenSwitches()
{
    return headless.fullScreenSwitches;
}

void HeadlessRefuseFullScreen(int refuse)
{
    headless.refuseFullScreen = refuse;
}

// Windows here are records a test reads: always someone to show them to.
static int DisplayAvailable()
{
    return 1;
}

static int DesktopWidth()
{
    return headless.desktopWidth;
}

static int DesktopHeight()
{
    return headless.desktopHeight;
}

static void SetCursorShape(HCURSOR cursor)
{
    (void)cursor;
}

// [SECTION] Message boxes, dialogs, shell ---------------------------------

static int MessageBoxShow(HWND owner, const char *text, const char *caption, UINT type)
{
    int answer = IDOK;
    if (!headless.answers.empty()) {
        answer = headless.answers.front();
        headless.answers.pop_front();
    }
    if ((type & 0xF) == MB_OK)
        answer = IDOK;
    headless.boxes.push_back(HeadlessMessageBox{owner, text, caption, type, answer});
    if (headless.echoBoxes)
        fprintf(stderr, "%s: %s\n", caption, text);
    Log("messagebox ", caption, ": ", text);
    return answer;
}

const std::vector<HeadlessMessageBox> &HeadlessMessageBoxes()
{
    return headless.boxes;
}

void HeadlessQueueAnswer(int answer)
{
    headless.answers.push_back(answer);
}

static void DialogChanged(HWND dialog)
{
    (void)dialog;
}

const std::vector<int> &HeadlessDialogsShown()
{
    return headless.dialogsShown;
}

HWND HeadlessTopDialog()
{
    std::vector<HWND> windows = PlatformLiveWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->dialog && (*it)->visible && !(*it)->destroyed)
            return *it;
    return nullptr;
}

int HeadlessPressControl(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return 0;
    PlatformQueueMessage(control, BM_CLICK, 0, 0);
    return 1;
}

static INT_PTR ShellOpen(const char *verb, const char *file, const char *parameters)
{
    (void)verb;
    (void)parameters;
    headless.shellOpens.push_back(file);
    Log("shell open ", file);
    return 42;
}

const std::vector<std::string> &HeadlessShellOpens()
{
    return headless.shellOpens;
}

// [SECTION] Surfaces and frames -------------------------------------------

static void DesktopFormat(DrawPixelFormat *format)
{
    *format = headless.desktop;
}

static DRAWRESULT DrawStepResult(int step, DrawSystem *system)
{
    (void)system;
    if (step < 0 || step >= DRAWSTEP_COUNT)
        return DRAW_OK;
    headless.stepCounts[step]++;
    if (!headless.queued[step].empty()) {
        DRAWRESULT result = headless.queued[step].front();
        headless.queued[step].pop_front();
        return result;
    }
    return headless.failures[step];
}

void HeadlessFailStep(DrawStep step, DRAWRESULT result)
{
    if (step >= 0 && step < DRAWSTEP_COUNT)
        headless.failures[step] = result;
}

void HeadlessQueueStepResult(DrawStep step, DRAWRESULT result)
{
    if (step >= 0 && step < DRAWSTEP_COUNT)
        headless.queued[step].push_back(result);
}

int HeadlessStepCount(DrawStep step)
{
    return step >= 0 && step < DRAWSTEP_COUNT ? headless.stepCounts[step] : 0;
}

static int PitchPadding()
{
    return headless.pitchPadding;
}

static void KeepFrame(DrawSurface *source, const RECT *destination, int flipped)
{
    HeadlessFrame &frame = headless.lastFrame;
    frame.width = source->width;
    frame.height = source->height;
    frame.pitch = source->pitch;
    frame.format = source->format;
    frame.pixels = source->pixels;
    frame.destination = destination ? *destination : RECT{0, 0, source->width, source->height};
    frame.flipped = flipped;
    headless.haveFrame = 1;
    headless.frameCount++;
    Log("frame ", std::to_string(headless.frameCount), " ", std::to_string(frame.width), "x",
        std::to_string(frame.height), " ", std::to_string(frame.format.bitCount));
}

static DRAWRESULT ShowFlip(DrawSurface *primary, DrawSurface *back)
{
    (void)primary;
    KeepFrame(back, nullptr, 1);
    return DRAW_OK;
}

static DRAWRESULT ShowBlit(DrawSurface *primary, const RECT *destination, DrawSurface *source)
{
    (void)primary;
    KeepFrame(source, destination, 0);
    return DRAW_OK;
}

static void SystemRelease(DrawSystem *system)
{
    (void)system;
}

int HeadlessFrameCount()
{
    return headless.frameCount;
}

const HeadlessFrame *HeadlessLastFrame()
{
    return headless.haveFrame ? &headless.lastFrame : nullptr;
}

uint32_t HeadlessFramePixel(const HeadlessFrame *frame, int x, int y)
{
    if (!frame || x < 0 || y < 0 || x >= frame->width || y >= frame->height)
        return 0;
    int bytes = (frame->format.bitCount + 7) / 8;
    size_t at = static_cast<size_t>(y) * frame->pitch + static_cast<size_t>(x) * bytes;
    if (bytes < 1 || bytes > 4 || at + bytes > frame->pixels.size())
        return 0;
    uint32_t pixel = 0;
    for (int i = 0; i < bytes; i++)
        pixel |= static_cast<uint32_t>(frame->pixels[at + i]) << (8 * i);
    const DrawPixelFormat &format = frame->format;
    return PlatformWidenChannel(pixel, format.redMask) << 16 | PlatformWidenChannel(pixel, format.greenMask) << 8 |
           PlatformWidenChannel(pixel, format.blueMask);
}

int HeadlessSaveFramePng(const char *path)
{
    const HeadlessFrame *frame = HeadlessLastFrame();
    if (!frame || !path)
        return 0;
    FILE *file = fopen(path, "wb");
    if (!file)
        return 0;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> row(static_cast<size_t>(frame->width) * 3);
    int ok = 0;
    if (png && info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(frame->width), static_cast<png_uint_32>(frame->height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < frame->height; y++) {
            for (int x = 0; x < frame->width; x++) {
                uint32_t pixel = HeadlessFramePixel(frame, x, y);
                row[x * 3] = static_cast<uint8_t>(pixel >> 16);
                row[x * 3 + 1] = static_cast<uint8_t>(pixel >> 8);
                row[x * 3 + 2] = static_cast<uint8_t>(pixel);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = 1;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return fclose(file) == 0 && ok;
}

// [SECTION] Audio ---------------------------------------------------------

// Moves the play position on by the time passed; an empty queue stalls it.
static void AdvanceAudio()
{
    int64_t now = NowUs();
    int64_t played = (now - headless.audioLastUs) * headless.audioRate / 1000000;
    if (played > 0) {
        headless.audioPlayed += played;
        headless.audioLastUs += played * 1000000 / headless.audioRate;
    }
    if (headless.audioPlayed >= headless.audioQueued) {
        headless.audioPlayed = headless.audioQueued;
        headless.audioLastUs = now;
    }
}

static int AudioPresentHeadless()
{
    std::lock_guard<std::mutex> guard(headless.audioLock);
    return headless.audioAvailable;
}

static int AudioOpenHeadless(int rate)
{
    std::lock_guard<std::mutex> guard(headless.audioLock);
    if (!headless.audioAvailable || headless.audioOpen)
        return 0;
    if (headless.audioBusy) {
        if (headless.audioBusy > 0)
            headless.audioBusy--;
        Log("audio busy");
        return 0;
    }
    headless.audioOpen = 1;
    headless.audioRate = rate;
    headless.capture.clear();
    headless.audioQueued = headless.audioPlayed = 0;
    headless.audioLastUs = NowUs();
    Log("audio open ", std::to_string(rate));
    return 1;
}

static int AudioQueueHeadless(const int16_t *frames, int frameCount)
{
    std::lock_guard<std::mutex> guard(headless.audioLock);
    if (!headless.audioOpen)
        return 0;
    AdvanceAudio();
    size_t room = AUDIO_CAPTURE_LIMIT > headless.capture.size() ? AUDIO_CAPTURE_LIMIT - headless.capture.size() : 0;
    size_t samples = static_cast<size_t>(frameCount) * 2;
    headless.capture.insert(headless.capture.end(), frames, frames + (samples < room ? samples : room));
    headless.audioQueued += frameCount;
    return 1;
}

static int AudioQueuedHeadless()
{
    std::lock_guard<std::mutex> guard(headless.audioLock);
    if (!headless.audioOpen)
        return 0;
    AdvanceAudio();
    return static_cast<int>(headless.audioQueued - headless.audioPlayed);
}

static void AudioCloseHeadless()
{
    std::lock_guard<std::mutex> guard(headless.audioLock);
    headless.audioOpen = 0;
}

void HeadlessSetAudioAvailable(int available)
{
    std::lock_guard<std::mutex> guard(headless.audioLock);
    headless.audioAvailable = available;
}

void HeadlessSetAudioBusy(int opens)
{
    std::lock_guard<std::mutex> guard(headless.audioLock);
    headless.audioBusy = opens < -1 ? -1 : opens;
}

const std::vector<int16_t> &HeadlessAudioCapture()
{
    return headless.capture;
}

int HeadlessAudioRate()
{
    return headless.audioRate;
}

// [SECTION] Input helpers -------------------------------------------------

static HWND Target(HWND window)
{
    return window ? window : PlatformFocusWindow();
}

static LPARAM Point(int x, int y)
{
    return static_cast<LPARAM>((static_cast<uint32_t>(y) & 0xFFFF) << 16 | (static_cast<uint32_t>(x) & 0xFFFF));
}

void HeadlessKey(HWND window, UINT virtualKey)
{
    HWND target = Target(window);
    if (!target)
        return;
    PlatformQueueMessage(target, WM_KEYDOWN, virtualKey, 1);
    PlatformQueueMessage(target, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

void HeadlessKeyWith(HWND window, UINT virtualKey, const UINT *modifiers, int count)
{
    HWND target = Target(window);
    if (!target)
        return;
    for (int i = 0; i < count; i++)
        PlatformQueueMessage(target, WM_KEYDOWN, modifiers[i], 1);
    HeadlessKey(target, virtualKey);
    for (int i = count - 1; i >= 0; i--)
        PlatformQueueMessage(target, WM_KEYUP, modifiers[i], static_cast<LPARAM>(0xC0000001u));
}

void HeadlessType(HWND window, uint32_t code)
{
    HWND target = Target(window);
    if (!target)
        return;
    UINT key = code >= 'a' && code <= 'z' ? code - 32 : (code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9') || code == ' ' ? code : 0;
    if (key)
        PlatformQueueMessage(target, WM_KEYDOWN, key, 1);
    PlatformQueueMessage(target, WM_CHAR, code, 1);
    if (key)
        PlatformQueueMessage(target, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

void HeadlessMouseMove(HWND window, int x, int y, UINT keyState)
{
    HWND target = Target(window);
    if (!target)
        return;
    PlatformQueueMessage(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), 1);
    PlatformQueueMessage(target, WM_MOUSEMOVE, keyState, Point(x, y));
}

void HeadlessClick(HWND window, int x, int y)
{
    HWND target = Target(window);
    if (!target)
        return;
    PlatformQueueMessage(target, WM_LBUTTONDOWN, MK_LBUTTON, Point(x, y));
    PlatformQueueMessage(target, WM_LBUTTONUP, 0, Point(x, y));
}

void HeadlessResize(HWND window, int width, int height)
{
    HWND target = Target(window);
    if (target)
        PlatformWindowResized(target, width, height);
}

// [SECTION] Script --------------------------------------------------------

static int ParseScript(const std::string &text)
{
    headless.script.clear();
    headless.scriptNext = 0;
    headless.exhaustedMs = -1;
    headless.waitStartMs = -1;
    headless.sleepUntilMs = -1;
    int number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        number++;
        ScriptLine parsed{number, {}};
        size_t at = 0;
        while (at < line.size()) {
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
                at++;
            size_t wordEnd = at;
            while (wordEnd < line.size() && line[wordEnd] != ' ' && line[wordEnd] != '\t' && line[wordEnd] != '\r')
                wordEnd++;
            if (wordEnd > at)
                parsed.words.push_back(line.substr(at, wordEnd - at));
            at = wordEnd;
        }
        if (!parsed.words.empty() && parsed.words[0][0] != '#')
            headless.script.push_back(parsed);
        if (end == text.size())
            break;
    }
    headless.scriptLoaded = 1;
    return 1;
}

int HeadlessScriptText(const char *text)
{
    return text ? ParseScript(text) : 0;
}

int HeadlessLoadScript(const char *path)
{
    FILE *file = fopen(path, "r");
    if (!file)
        return 0;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    fclose(file);
    return ParseScript(text);
}

// The virtual-key code of a key name; 0 when unknown.
static UINT KeyCode(const std::string &name)
{
    static const struct {
        const char *name;
        UINT code;
    } names[] = {
        {"return", VK_RETURN}, {"enter", VK_RETURN}, {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE},
        {"left", VK_LEFT},     {"up", VK_UP},        {"right", VK_RIGHT},   {"down", VK_DOWN},
        {"space", VK_SPACE},   {"tab", VK_TAB},      {"shift", VK_SHIFT},   {"backspace", VK_BACK},
        {"ctrl", VK_CONTROL},  {"alt", VK_MENU},
    };
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    for (const auto &entry : names)
        if (lower == entry.name)
            return entry.code;
    if (lower.size() == 1 && lower[0] >= 'a' && lower[0] <= 'z')
        return static_cast<UINT>(lower[0] - 32);
    if (lower.size() == 1 && lower[0] >= '0' && lower[0] <= '9')
        return static_cast<UINT>(lower[0]);
    if (lower.size() >= 2 && lower[0] == 'f') {
        int n = atoi(lower.c_str() + 1);
        if (n >= 1 && n <= 12 && lower.find_first_not_of("0123456789", 1) == std::string::npos)
            return VK_F1 + static_cast<UINT>(n - 1);
    }
    if (lower.find_first_not_of("0123456789") == std::string::npos && lower.size() <= 3) {
        int code = atoi(lower.c_str());
        if (code > 0 && code < 256)
            return static_cast<UINT>(code);
    }
    return 0;
}

static HWND DialogWithControl(int id)
{
    std::vector<HWND> windows = PlatformLiveWindows();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if ((*it)->dialog && (*it)->visible && !(*it)->destroyed && GetDlgItem(*it, id))
            return *it;
    return nullptr;
}

static HWND VisibleDialog(int id)
{
    for (HWND window : PlatformLiveWindows())
        if (window->dialog && window->visible && !window->destroyed && window->dialog->templateId == id)
            return window;
    return nullptr;
}

static void Note(const ScriptLine &line, const std::string &what)
{
    Log("script: line ", std::to_string(line.number), ": ", what);
}

static int Number(const ScriptLine &line, size_t index, int fallback)
{
    if (index >= line.words.size())
        return fallback;
    return atoi(line.words[index].c_str());
}

// A wait that is not met: 1 = keep waiting, 0 = give up and go on.
static int KeepWaiting(const ScriptLine &line, int idle, const std::string &what)
{
    int64_t now = NowMs();
    if (headless.waitStartMs < 0)
        headless.waitStartMs = now;
    if (idle) {
        Note(line, what + " never came (the program waits for input)");
        return 0;
    }
    if (now - headless.waitStartMs > WAIT_LIMIT_MS) {
        Note(line, what + " did not come within 10 s");
        return 0;
    }
    return 1;
}

// Saves to with the bytes of from through a hidden file beside it and a
// rename, as an editor does; 1 on success.
static int CopyFile(const std::string &from, const std::string &to)
{
    FILE *source = fopen(from.c_str(), "rb");
    if (!source)
        return 0;
    size_t slash = to.rfind('/');
    std::string temporary = slash == std::string::npos ? "." + to + ".copy"
                                                       : to.substr(0, slash + 1) + "." + to.substr(slash + 1) + ".copy";
    FILE *target = fopen(temporary.c_str(), "wb");
    int ok = target != nullptr;
    char buffer[4096];
    size_t n;
    while (ok && (n = fread(buffer, 1, sizeof buffer, source)) > 0)
        ok = fwrite(buffer, 1, n, target) == n;
    fclose(source);
    if (target)
        ok = fclose(target) == 0 && ok;
    if (ok && rename(temporary.c_str(), to.c_str()) == 0)
        return 1;
    remove(temporary.c_str());
    return 0;
}

// Runs one command; 1 = done (go on with the next), 0 = not yet.
static int RunCommand(const ScriptLine &line, int idle)
{
    const std::string &command = line.words[0];
    size_t count = line.words.size();
    if (command == "key" || command == "keys") {
        int times = command == "keys" ? Number(line, 1, 1) : 1;
        std::string name = count > (command == "keys" ? 2u : 1u) ? line.words[command == "keys" ? 2 : 1] : "";
        // Modifiers before the key, joined by '+': Ctrl+F, Alt+Return.
        UINT modifiers[3];
        int held = 0;
        for (size_t plus; (plus = name.find('+')) != std::string::npos && plus + 1 < name.size() && held < 3;) {
            UINT modifier = KeyCode(name.substr(0, plus));
            if (modifier != VK_SHIFT && modifier != VK_CONTROL && modifier != VK_MENU)
                break;
            modifiers[held++] = modifier;
            name.erase(0, plus + 1);
        }
        UINT code = KeyCode(name);
        if (!code) {
            Note(line, "unknown key");
            return 1;
        }
        HeadlessKeyWith(nullptr, code, modifiers, held);
        headless.holdOff = 1;
        if (command == "keys" && times > 1) {
            // Rewrite the remaining presses as one fewer, so each goes alone.
            ScriptLine &rest = headless.script[headless.scriptNext];
            rest.words[1] = std::to_string(times - 1);
            return 0;
        }
        return 1;
    }
    if (command == "type") {
        std::string text;
        for (size_t i = 1; i < count; i++)
            text += (i > 1 ? " " : "") + line.words[i];
        if (text.empty())
            return 1;
        // One character now; the rest stays on the line for the next turn.
        size_t length = 1;
        while (length < text.size() && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            length++;
        HWND target = PlatformFocusWindow();
        uint32_t code = static_cast<unsigned char>(text[0]);
        if (length > 1 || code >= 0x80) {
            // Other characters go through the same decoding as the desktop's.
            if (target)
                PlatformQueueCharacters(target, text.substr(0, length).c_str());
        } else {
            HeadlessType(target, code);
        }
        headless.holdOff = 1;
        if (length < text.size()) {
            ScriptLine &rest = headless.script[headless.scriptNext];
            rest.words.assign(1, "type");
            std::string remaining = text.substr(length);
            // A blank at the front of the rest must survive the word split.
            rest.words.push_back(remaining);
            return 0;
        }
        return 1;
    }
    if (command == "move") {
        UINT state = count > 3 && line.words[3] == "left" ? UINT(MK_LBUTTON) : 0u;
        HeadlessMouseMove(nullptr, Number(line, 1, 0), Number(line, 2, 0), state);
        headless.holdOff = 1;
        return 1;
    }
    if (command == "click") {
        HeadlessClick(nullptr, Number(line, 1, 0), Number(line, 2, 0));
        headless.holdOff = 1;
        return 1;
    }
    if (command == "press") {
        int id = Number(line, 1, -1);
        HWND dialog = DialogWithControl(id);
        if (!dialog)
            return !KeepWaiting(line, idle, "a dialog with control " + std::to_string(id));
        HeadlessPressControl(dialog, id);
        headless.holdOff = 1;
        return 1;
    }
    if (command == "answer") {
        std::string word = count > 1 ? line.words[1] : "ok";
        HeadlessQueueAnswer(word == "cancel" || word == "2" ? IDCANCEL : IDOK);
        return 1;
    }
    if (command == "paint" || command == "activate" || command == "close") {
        HWND target = PlatformFocusWindow();
        if (target)
            PlatformQueueMessage(target, command == "paint" ? WM_PAINT : command == "close" ? WM_CLOSE : WM_ACTIVATEAPP,
                                 command == "activate" ? 1 : 0, 0);
        headless.holdOff = 1;
        return 1;
    }
    if (command == "resize") {
        HeadlessResize(nullptr, Number(line, 1, 0), Number(line, 2, 0));
        headless.holdOff = 1;
        return 1;
    }
    if (command == "wait") {
        std::string what = count > 1 ? line.words[1] : "";
        if (what == "frames") {
            int wanted = Number(line, 2, 1);
            if (headless.frameCount >= wanted)
                return 1;
            return !KeepWaiting(line, idle, std::to_string(wanted) + " frames (have " +
                                                std::to_string(headless.frameCount) + ")");
        }
        if (what == "idle") {
            if (idle)
                return 1;
            return !KeepWaiting(line, 0, "idle");
        }
        if (what == "settled") {
            if (headless.waiting)
                return 1;
            return !KeepWaiting(line, 0, "a wait for input");
        }
        if (what == "dialog") {
            int id = Number(line, 2, -1);
            if (VisibleDialog(id))
                return 1;
            return !KeepWaiting(line, idle, "dialog " + std::to_string(id));
        }
        Note(line, "unknown wait");
        return 1;
    }
    if (command == "sleep") {
        int64_t now = NowMs();
        if (headless.sleepUntilMs < 0)
            headless.sleepUntilMs = now + Number(line, 1, 0);
        if (now >= headless.sleepUntilMs)
            return 1;
        if (idle) {
            // Nothing else can happen meanwhile: let the time pass here.
            Sleep(static_cast<DWORD>(headless.sleepUntilMs - now));
            return 1;
        }
        return 0;
    }
    if (command == "save") {
        if (count < 2 || !HeadlessSaveFramePng(line.words[1].c_str()))
            Note(line, "no frame saved");
        else
            Log("saved ", line.words[1]);
        return 1;
    }
    if (command == "copy" || command == "remove") {
        int done = command == "copy" ? count > 2 && CopyFile(line.words[1], line.words[2])
                                     : count > 1 && remove(line.words[1].c_str()) == 0;
        if (!done)
            Note(line, command + " failed");
        headless.lookNow = 1;
        headless.holdOff = 1;
        return 1;
    }
    if (command == "grace") {
        headless.graceMs = Number(line, 1, 3000);
        return 1;
    }
    if (command == "end") {
        headless.scriptNext = headless.script.size() - 1;
        return 1;
    }
    Note(line, "unknown command " + command);
    return 1;
}

// Ends the run: the top-level windows go, newest first; with none left the
// quit message is posted directly.
static void CloseRun()
{
    if (headless.closing)
        return;
    headless.closing = 1;
    std::vector<HWND> windows = PlatformLiveWindows();
    int any = 0;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (!(*it)->parent && IsWindow(*it)) {
            DestroyWindow(*it);
            any = 1;
        }
    if (!any || !PlatformQueueLength())
        PostQuitMessage(0);
    headless.closing = 0;
}

// Looks for file changes when a watch runs and a look is due; 1 when it
// found some (they are posted).
static int LookForChanges()
{
    if (!PlatformPollWatching())
        return 0;
    int64_t now = NowMs();
    if (!headless.lookNow && now - headless.lastLookMs < WATCH_LOOK_MS)
        return 0;
    headless.lookNow = 0;
    headless.lastLookMs = now;
    return PlatformPollWatchLook() > 0;
}

static void PumpEvents(int timeoutMs)
{
    int idle = timeoutMs < 0;
    headless.waiting = timeoutMs != 0;
    if (PlatformQueueLength() || LookForChanges())
        return;
    if (headless.holdOff) {
        // The program has now seen its queue empty after the last event.
        headless.holdOff = 0;
        if (!idle)
            return;
    }
    while (headless.scriptLoaded && headless.scriptNext < headless.script.size()) {
        const ScriptLine &line = headless.script[headless.scriptNext];
        if (!RunCommand(line, idle)) {
            if (headless.holdOff)
                return; // a repeated key went out; the rest follows later
            if (!idle && timeoutMs > 0)
                Sleep(static_cast<DWORD>(timeoutMs < 5 ? timeoutMs : 5));
            return;
        }
        headless.scriptNext++;
        headless.waitStartMs = -1;
        headless.sleepUntilMs = -1;
        if (headless.holdOff)
            return;
    }
    if (headless.scriptLoaded && headless.exhaustedMs < 0)
        headless.exhaustedMs = NowMs();
    if (idle) {
        if (headless.scriptLoaded)
            Log("script: used up, closing");
        CloseRun();
        return;
    }
    if (headless.scriptLoaded && NowMs() - headless.exhaustedMs > headless.graceMs) {
        Log("script: used up, grace time over, closing");
        CloseRun();
        headless.exhaustedMs = NowMs();
        return;
    }
    if (timeoutMs > 0)
        Sleep(static_cast<DWORD>(timeoutMs));
}

// [SECTION] Backend table -------------------------------------------------

const PlatformBackend headlessBackend = {
    "headless",
    Start,
    WindowCreate,
    WindowDestroy,
    WindowShow,
    WindowGeometry,
    PumpEvents,
    nullptr,
    DisplayAvailable,
    DesktopWidth,
    DesktopHeight,
    SetCursorShape,
    MessageBoxShow,
    DialogChanged,
    DesktopFormat,
    DrawStepResult,
    PitchPadding,
    ShowFlip,
    ShowBlit,
    SystemRelease,
    AudioPresentHeadless,
    AudioOpenHeadless,
    AudioQueueHeadless,
    AudioQueuedHeadless,
    AudioCloseHeadless,
    ShellOpen,
#if defined(ZARN_NO_FONTCONFIG)
    nullptr, // no system fonts without fontconfig
#else
    PlatformFontconfigFind,
#endif
    nullptr, // threads and sleeping: the system's
    nullptr,
    nullptr,
    nullptr, // settings: the file
    nullptr,
    SetFullScreen,
    FullScreenNow,
    PlatformPollWatchStart,
    PlatformPollWatchStop,
};
