// The operating-system services Zarn asks for, in the shape the program is
// written against: windows with a window procedure and message pumps,
// modeless dialogs built from templates, message boxes, lockable drawing
// surfaces, a registry of 32-bit values, "open with the shell", the working
// directory, the program's own folder and the user's folders, files written
// whole, files changed on disk, standard output caught, threads and
// sleeping, an audio output, local time and CPUID.
//
// Three backends implement it: on a desktop sdl (the default) or headless,
// chosen at run time by ZARN_PLATFORM (see platform/sdl/ and
// platform/headless/); in the web edition web, chosen when it is compiled
// (platform/web/).
//
// [SECTION] Types and constants
// [SECTION] Backend selection
// [SECTION] Windows and messages
// [SECTION] Dialogs and message boxes
// [SECTION] Drawing surfaces
// [SECTION] Registry
// [SECTION] Shell
// [SECTION] Files and folders
// [SECTION] File changes
// [SECTION] Output capture
// [SECTION] Threads and time
// [SECTION] Audio output
// [SECTION] Processor
// [SECTION] Fonts
#pragma once

#include <cstddef>
#include <cstdint>

// [SECTION] Types and constants -------------------------------------------

typedef int BOOL;
typedef uint32_t UINT;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;
typedef intptr_t INT_PTR;

struct PlatformWindow;
typedef PlatformWindow *HWND;
typedef void *HINSTANCE;
typedef void *HICON;
typedef void *HCURSOR;

typedef LRESULT (*WNDPROC)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
typedef INT_PTR (*DLGPROC)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct RECT {
    int32_t left, top, right, bottom;
};

struct POINT {
    int32_t x, y;
};

// Window messages (Windows numbers).
enum : UINT {
    WM_CREATE = 0x0001,
    WM_DESTROY = 0x0002,
    WM_MOVE = 0x0003,
    WM_SIZE = 0x0005,
    WM_PAINT = 0x000F, // the redraw message
    WM_CLOSE = 0x0010,
    WM_QUIT = 0x0012,
    WM_ACTIVATEAPP = 0x001C,
    WM_SETCURSOR = 0x0020,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102, // wParam: the character typed, a Unicode code point
    WM_INITDIALOG = 0x0110,
    WM_COMMAND = 0x0111,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
};

// Key-state bits of mouse messages.
enum : UINT { MK_LBUTTON = 0x0001, MK_SHIFT = 0x0004 };

// Virtual-key codes (Windows numbers); letters and digits are their ASCII
// capitals and digits.
enum : UINT {
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12, // Alt
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_F1 = 0x70,
    VK_F9 = 0x78,
    VK_F11 = 0x7A,
    VK_F12 = 0x7B,
};

// Window styles used by the program.
enum : DWORD {
    WS_OVERLAPPEDWINDOW = 0x00CF0000,
    WS_POPUP = 0x80000000,
    WS_VISIBLE = 0x10000000,
    WS_CHILD = 0x40000000,
    WS_GROUP = 0x00020000,
    WS_TABSTOP = 0x00010000,
    WS_EX_TOPMOST = 0x00000008,
};

enum : UINT { CS_VREDRAW = 0x0001, CS_HREDRAW = 0x0002 };
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5 };
enum : int { SM_CXSCREEN = 0, SM_CYSCREEN = 1 };
enum : int { CW_USEDEFAULT = (int)0x80000000 };
enum : UINT { PM_NOREMOVE = 0, PM_REMOVE = 1 };

// [SECTION] Backend selection ---------------------------------------------

// Chooses the backend: name "sdl" or "headless", or null to read ZARN_PLATFORM
// (default "sdl"). Called once before any other service; later calls do
// nothing. Returns 1, or 0 for an unknown name (the sdl backend is then used).
// The web edition has no environment and no SDL: there "headless" is the
// headless backend and anything else (null included) the web one.
int PlatformSelect(const char *name);

// "sdl", "headless" or "web": the backend in use.
const char *PlatformName();

// The program path and its arguments joined by single blanks (set by main).
void PlatformSetCommandLine(int argc, char **argv);
const char *GetCommandLineA();

// [SECTION] Windows and messages ------------------------------------------

// 1 when windows can be shown to someone, 0 when there is no display to open
// them on (they could be made but nobody would see them, and the program
// would wait for ever for input).
int PlatformDisplayAvailable();

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    void *hbrBackground;
    const char *lpszMenuName;
    const char *lpszClassName;
};

// Non-zero on success, 0 when the class table is full or the class exists.
int RegisterClassA(const WNDCLASSA *windowClass);

// The new window, or null when the class is unknown or the window cannot be made.
HWND CreateWindowExA(DWORD exStyle, const char *className, const char *title, DWORD style, int x, int y,
                     int width, int height, HWND parent, void *menu, HINSTANCE instance, void *param);

// Sends WM_DESTROY to the window procedure and frees the window; FALSE for null.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL ShowWindow(HWND window, int showCommand);
BOOL UpdateWindow(HWND window);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowRect(HWND window, RECT *rect);
BOOL GetClientRect(HWND window, RECT *rect);
BOOL ClientToScreen(HWND window, POINT *point);
BOOL AdjustWindowRectEx(RECT *rect, DWORD style, BOOL menu, DWORD exStyle);
int GetSystemMetrics(int index);
HICON LoadIconA(HINSTANCE instance, int resourceId);
enum : int { IDC_ARROW = 32512 };
// The standard arrow (never null).
HCURSOR LoadCursorA(HINSTANCE instance, int resourceId);
// Null hides the pointer over our windows; returns the previous cursor.
HCURSOR SetCursor(HCURSOR cursor);

// Shows window full screen or back in a window while it runs. Full screen: a
// frame of width x height scaled to fill the screen with its aspect kept
// (black bars where the shapes differ); the window's client area is then that
// frame at (0, 0), pointer positions included. In a window: a client area of
// width x height centred on the desktop. The window gets WM_MOVE and WM_SIZE.
// 1 on success; 0 when the system refuses (nothing changed).
int PlatformSetFullScreen(HWND window, int fullScreen, int width, int height);
// Whether the system shows window full screen now: 1 or 0, or -1 where it
// does not say (the program's own record then holds). A browser leaves full
// screen on its own, by the user's Esc or its own controls.
int PlatformWindowFullScreen(HWND window);

// The high bit (0x8000) is set when the key was held as the message being
// handled was sent. Known for VK_SHIFT, VK_CONTROL and VK_MENU; 0 for others.
int16_t GetKeyState(int virtualKey);

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// TRUE when a message is waiting (removed with PM_REMOVE); never blocks.
BOOL PeekMessageA(MSG *message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Blocks until a message arrives; 0 for WM_QUIT, -1 on error, else non-zero.
BOOL GetMessageA(MSG *message, HWND window, UINT filterMin, UINT filterMax);
// Waits at most timeoutMs for a message to arrive; TRUE when one is waiting.
BOOL WaitMessageTimeout(DWORD timeoutMs);
BOOL TranslateMessage(const MSG *message);
LRESULT DispatchMessageA(const MSG *message);
void PostQuitMessage(int exitCode);

// [SECTION] Dialogs and message boxes -------------------------------------

enum DialogControlKind {
    DIALOG_PUSHBUTTON,
    DIALOG_DEFPUSHBUTTON,
    DIALOG_AUTORADIOBUTTON,
    DIALOG_AUTOCHECKBOX,
    DIALOG_GROUPBOX,
    DIALOG_STATIC_BITMAP,
};

// One control of a dialog template; positions and sizes in dialog units.
struct DialogControl {
    int id;             // -1 for none
    DialogControlKind kind;
    const char *text;
    int x, y, width, height;
    DWORD style;        // WS_GROUP, WS_TABSTOP
    int bitmapId;       // DIALOG_STATIC_BITMAP: resource id of the bitmap
};

struct DialogTemplate {
    int id;
    const char *caption; // null: no caption
    int width, height;   // dialog units
    const char *fontName;
    int pointSize;
    const DialogControl *controls;
    int controlCount;
};

// A bitmap resource: an uncompressed BMP file image held in the executable.
struct BitmapResource {
    int id;
    const uint8_t *bmp;
    uint32_t size;
};

// Makes a bitmap resource known to dialogs (static bitmap controls).
void PlatformRegisterBitmap(const BitmapResource *bitmap);

// A modeless dialog; WM_INITDIALOG is sent to the procedure before it returns.
// Null when it cannot be made.
HWND CreateDialogIndirectParamA(HINSTANCE instance, const DialogTemplate *dialogTemplate, HWND owner,
                                DLGPROC procedure, LPARAM initParam);
HWND GetDlgItem(HWND dialog, int id);
BOOL EnableWindow(HWND window, BOOL enable);
BOOL IsWindowEnabled(HWND window);
enum : UINT { BST_UNCHECKED = 0, BST_CHECKED = 1 };
// BM_CLICK to a control presses it as a click would; WM_COMMAND carries
// BN_CLICKED in the high word of wParam and the control id in the low word.
enum : UINT { BM_CLICK = 0x00F5, BN_CLICKED = 0 };
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
UINT IsDlgButtonChecked(HWND dialog, int id);

enum : UINT { MB_OK = 0x0000, MB_OKCANCEL = 0x0001, MB_ICONERROR = 0x0010 };
enum : int { IDOK = 1, IDCANCEL = 2 };

// Shows text in a box and waits for the answer: IDOK or IDCANCEL. Without a
// display the text goes to standard error and the answer is IDOK.
int MessageBoxA(HWND owner, const char *text, const char *caption, UINT type);

// [SECTION] Drawing surfaces ----------------------------------------------

struct DrawSystem;
struct DrawSurface;
struct DrawClipper;

typedef LONG DRAWRESULT;
enum : LONG {
    DRAW_OK = 0,
    DRAWERR_GENERIC = (LONG)0x80004005,
    DRAWERR_SURFACELOST = (LONG)0x887601C2,
    DRAWERR_WASSTILLDRAWING = (LONG)0x8876021C,
    DRAWERR_UNSUPPORTEDMODE = (LONG)0x8876024E,
};

struct DrawPixelFormat {
    int bitCount;
    uint32_t redMask, greenMask, blueMask;
};

DRAWRESULT DrawCreate(DrawSystem **system);
// exclusive: 1 = full-screen exclusive, 0 = normal (windowed).
DRAWRESULT DrawSetCooperativeLevel(DrawSystem *system, HWND window, int exclusive);
DRAWRESULT DrawSetDisplayMode(DrawSystem *system, int width, int height, int bitsPerPixel);
// backBuffers 1: the full-screen flip chain; 0: the visible desktop (windowed).
DRAWRESULT DrawCreatePrimary(DrawSystem *system, int backBuffers, DrawSurface **primary);
DRAWRESULT DrawGetBackBuffer(DrawSurface *primary, DrawSurface **back);
// An off-screen surface in the desktop's pixel layout.
DRAWRESULT DrawCreateOffscreen(DrawSystem *system, int width, int height, DrawSurface **surface);
DRAWRESULT DrawCreateClipper(DrawSystem *system, DrawClipper **clipper);
DRAWRESULT DrawClipperSetWindow(DrawClipper *clipper, HWND window);
DRAWRESULT DrawSurfaceSetClipper(DrawSurface *surface, DrawClipper *clipper);
void DrawReleaseClipper(DrawClipper *clipper);
DRAWRESULT DrawGetPixelFormat(DrawSurface *surface, DrawPixelFormat *format);
// Waits while busy; the first pixel and the row pitch in bytes.
DRAWRESULT DrawLock(DrawSurface *surface, void **pixels, int32_t *pitch);
void DrawUnlock(DrawSurface *surface);
DRAWRESULT DrawFlip(DrawSurface *primary);
DRAWRESULT DrawRestore(DrawSurface *surface);
// Stretches source (whole when sourceRect is null) onto destinationRect
// (screen coordinates) of the primary, waiting while busy.
DRAWRESULT DrawBlit(DrawSurface *destination, const RECT *destinationRect, DrawSurface *source,
                    const RECT *sourceRect);
void DrawReleaseSurface(DrawSurface *surface);
void DrawRelease(DrawSystem *system);

// [SECTION] Registry ------------------------------------------------------

struct RegistryKey;
typedef RegistryKey *HKEY;
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)
enum : LONG { ERROR_SUCCESS = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_MORE_DATA = 234 };
enum : DWORD { REG_DWORD = 4, KEY_ALL_ACCESS = 0xF003F, REG_OPTION_NON_VOLATILE = 0 };

LONG RegOpenKeyExA(HKEY root, const char *subKey, DWORD options, DWORD access, HKEY *key);
LONG RegCreateKeyExA(HKEY root, const char *subKey, DWORD reserved, char *className, DWORD options,
                     DWORD access, void *security, HKEY *key, DWORD *disposition);
LONG RegQueryValueExA(HKEY key, const char *name, DWORD *reserved, DWORD *type, uint8_t *data, DWORD *size);
LONG RegSetValueExA(HKEY key, const char *name, DWORD reserved, DWORD type, const uint8_t *data, DWORD size);
LONG RegCloseKey(HKEY key);

// [SECTION] Shell ---------------------------------------------------------

// Hands target to the desktop's opener (never through a shell). Returns a
// value above 32 when the opener was started.
INT_PTR ShellExecuteA(HWND owner, const char *verb, const char *file, const char *parameters,
                      const char *directory, int showCommand);

enum PlatformFileKind {
    FILE_MISSING = 0,
    FILE_REGULAR = 1,
    FILE_EXECUTABLE = 2,
    FILE_OTHER = 3,
    FILE_DIRECTORY = 4,
};
// What path names: missing, a regular non-executable file, an executable
// regular file, a directory, or anything else (device, socket, ...).
PlatformFileKind PlatformGetFileKind(const char *path);

// [SECTION] Files and folders ---------------------------------------------

// Makes path the working directory. Returns 1, or 0 when it cannot be
// entered (missing, not a directory, no permission).
int PlatformSetWorkingDirectory(const char *path);

// The directory that holds the running program, without a trailing
// separator; "" when the system cannot tell. Never null.
const char *PlatformProgramDirectory();

// The absolute form of an existing path, without "." or ".." steps or
// symbolic links, into out (size bytes). 1, or 0 when the path does not
// exist or the result does not fit.
int PlatformCanonicalPath(const char *path, char *out, int size);

// path itself when it exists; otherwise the entry of its directory whose name
// equals path's last step ignoring ASCII case (the first in byte order when
// several do), as a path into out (size bytes). 1, or 0 when there is none or
// it does not fit.
int PlatformFindIgnoringCase(const char *path, char *out, int size);

// Writes size bytes to path through a temporary file beside it, flushed to
// the disk and renamed over path, so path holds the old contents or the new,
// never a part; missing directories on the way are made. A new file gets
// mode 0666 less the umask. 1, or 0 with path unchanged and, when reason is
// not null, why in reason (reasonSize bytes, cut to fit): the step that
// failed and the system's word for it, as in "cannot create a temporary file
// beside it: Permission denied".
int PlatformWriteFileAtomically(const char *path, const void *data, size_t size, char *reason, int reasonSize);

// Where the program keeps a state file between runs:
// $XDG_STATE_HOME/zarn/NAME, or ~/.local/state/zarn/NAME when XDG_STATE_HOME
// is not an absolute path. Null when there is no home directory either.
const char *PlatformStateFilePath(const char *name);

// The user's pictures folder: $XDG_PICTURES_DIR, else the one the user-dirs
// file names ($XDG_CONFIG_HOME/user-dirs.dirs), else ~/Pictures; the first
// of them that is a directory. "" when none is (the working directory is
// then meant). Never null.
const char *PlatformPicturesDirectory();

// [SECTION] File changes ------------------------------------------------

// Posted to no window when files below the watched directory changed; the
// files themselves are taken with PlatformTakeChangedFile.
enum : UINT { WM_FILESCHANGED = 0x8001 };

enum PlatformWatchResult { WATCH_UNSUPPORTED = -1, WATCH_FAILED = 0, WATCH_STARTED = 1 };

// Watches directory path and the directories below it (directories made
// later included; files and directories whose names start with '.' left
// out) for files saved (written and closed, or moved into place), made and
// deleted, until PlatformStopWatching; a new call replaces the watch before
// it. Changes come in batches, each told by one WM_FILESCHANGED: a burst of
// them (an editor's save) is one batch, told a fifth of a second after it
// began at the latest (the headless backend tells a batch when it looks,
// see headless.h). WATCH_STARTED; WATCH_FAILED when path is no directory or
// the system refuses; WATCH_UNSUPPORTED when this platform cannot tell of
// file changes.
int PlatformWatchDirectory(const char *path);
// Takes one changed file: its path below the watched directory, with '/'
// between the steps, into name (size bytes). 1, or 0 when none is waiting. A
// file changed several times since it was last taken is given once.
int PlatformTakeChangedFile(char *name, int size);
// Ends the watch and drops the changes not yet taken; nothing when none runs.
void PlatformStopWatching();

// [SECTION] Output capture ------------------------------------------------

// From now on what the program writes to standard output and standard error
// -- through stdio or straight to the descriptors, by our code or by a
// library's -- goes to a scratch file instead, until PlatformReleaseOutput.
// What stdio held back is written out where it was going first. One catch
// at a time, from one thread. 1, or 0 with nothing changed (a catch is on
// already, the system refuses a scratch file or a descriptor, or this is
// the web edition, whose console keeps nothing that could be read back).
int PlatformCatchOutput();
// What was written to either since the catch began or since the last call,
// in the order it reached the descriptors (stdio's buffers are flushed
// first), with its length in *length; it ends in a NUL and stays until the
// next call. "" when nothing was written or no catch is on. Never null.
const char *PlatformCaughtOutput(size_t *length);
// Sends standard output and standard error back where they went before the
// catch and drops the scratch file and what is left in it. Nothing when no
// catch is on.
void PlatformReleaseOutput();

// [SECTION] Threads and time ----------------------------------------------

struct PlatformThread;
typedef DWORD (*THREADPROC)(void *argument);
enum : int { THREAD_PRIORITY_NORMAL = 0, THREAD_PRIORITY_ABOVE_NORMAL = 1 };

// A running thread, or null when it cannot be created.
PlatformThread *CreateThread(uint32_t stackSize, THREADPROC procedure, void *argument);
// Raises or lowers the calling thread; FALSE when the system refuses.
BOOL SetCurrentThreadPriority(int priority);
// Waits for the thread to end and frees its handle.
void PlatformJoinThread(PlatformThread *thread);
void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary start, monotonic.
DWORD GetTickCount();

struct SYSTEMTIME {
    uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};
void GetLocalTime(SYSTEMTIME *time);

// [SECTION] Audio output --------------------------------------------------

// 1 when the system has an audio output, whether or not it can be opened
// now (another program may hold it); 0 when there is none.
int AudioPresent();
// 16-bit signed interleaved stereo at rate frames per second. Returns 1 when
// the output is open, 0 when there is none or it is in use.
int AudioOpen(int rate);
// Appends frames to the output queue; returns 1, or 0 when not open.
int AudioQueue(const int16_t *frames, int frameCount);
// Frames queued and not yet played.
int AudioQueuedFrames();
void AudioClose();

// [SECTION] Processor -----------------------------------------------------

// 1 when the processor has the CPUID instruction.
int PlatformHasCpuid();
// Registers EAX, EBX, ECX, EDX of CPUID function leaf (all 0 without CPUID).
void PlatformCpuid(uint32_t leaf, uint32_t registers[4]);
// 1 when the processor has AVX2 and the system saves the 256-bit registers
// (CPUID leaves 1 and 7, XCR0), else 0.
int PlatformHasAvx2();

// [SECTION] Fonts ---------------------------------------------------------

// Finds the installed font file that best matches family in the asked
// weight and slant (bold, italic: 0 or 1) and copies its path into path
// (size bytes). A generic family ("sans-serif", "serif", "monospace") takes
// whatever the system puts in its place; any other family must be installed.
// Returns 1, or 0 when there is no such font (or no font service at all) or
// the path does not fit.
int PlatformFindFontFile(const char *family, int bold, int italic, char *path, int size);
