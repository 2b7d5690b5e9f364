// Test control of the headless backend (ZARN_PLATFORM=headless): no display,
// no sound card. Tests choose the desktop's size and pixel layout, refuse
// any drawing step, send input, answer message boxes and dialogs, and read
// back what the program presented, asked, opened and played.
//
// Script files for runs of the real program: ZARN_HEADLESS_SCRIPT=FILE names
// a script read at start; ZARN_HEADLESS_LOG=FILE names an event log written
// while the program runs (one line per event, flushed at once);
// ZARN_HEADLESS_AUDIO=none gives a system without an audio output, =busy one
// whose output is always taken by another program, =busy:N one whose output
// refuses the first N opens.
//
// Script language, one command per line; blank lines and lines starting with
// '#' are skipped; words are separated by blanks:
//
//   key NAME          a key press (WM_KEYDOWN, WM_KEYUP) to the focused window;
//                     NAME is Return (or Enter), Escape (or Esc), Left, Up,
//                     Right, Down, Space, Tab, Shift, Ctrl, Alt, Backspace,
//                     F1 ... F12, a letter A-Z, a digit 0-9, or a decimal key
//                     code; Ctrl+NAME, Alt+NAME and Shift+NAME (in any
//                     combination) hold the modifiers down around it
//   keys N NAME       the same key pressed N times, one at a time
//   type TEXT         the characters of TEXT (the rest of the line, its words
//                     joined by single blanks), one at a time, each as its
//                     key's WM_KEYDOWN (letters, digits, the blank), WM_CHAR
//                     and WM_KEYUP
//   move X Y [left]   pointer moved to client point X Y (left: button held)
//   click X Y         left button pressed and released at client point X Y
//   press ID          presses control ID of the open dialog (waits until a
//                     dialog with that control is shown)
//   answer ok|cancel  the answer for the next message box (default ok)
//   paint             a redraw message to the focused window
//   activate          the application-activation message to it
//   resize W H        the focused window's client area becomes W × H
//   close             WM_CLOSE to the focused window
//   wait frames N     until N frames have been presented in all
//   wait idle         until the program blocks waiting for a message
//   wait settled      until the program waits for a message with its queue
//                     empty, blocked or with a timeout (a loop that polls
//                     while it animates): what the input before brought is
//                     done and drawn, however long that took
//   wait dialog ID    until dialog ID is shown
//   sleep MS          lets MS milliseconds pass
//   save FILE         writes the last presented frame as a PNG
//   copy FROM TO      saves TO with the bytes of FROM, the way many editors
//                     do: written beside it under a hidden name and renamed
//                     over it; a watch looks at once (see below)
//   remove FILE       deletes FILE; a watch looks at once
//   grace MS          how long a program that never blocks may run on once
//                     the script is used up (default 3000)
//   end               the script ends here
//
// Input commands are handed over one at a time: the next one is sent only
// after the program has found its queue empty once, so a loop that keeps one
// last key sees every key. A wait the program can no longer satisfy (it is
// blocked and nothing else will come) is logged as "script: ..." and passed.
// Waits give up after 10 s. When the script is used up and the program
// blocks (or the grace time has passed), the backend closes the run: every
// top-level window is destroyed, which for the display posts the quit message.
// Without a script, a program that blocks with an empty queue is closed the
// same way, so a run always ends.
//
// File changes (PlatformWatchDirectory) are found by polling: while a watch
// runs, the backend looks at the tree whenever the program pumps messages and
// 50 ms have passed since the last look, and at once after "copy" and
// "remove", so a script can rely on the program having been told before it
// blocks or waits again. Changes found are posted as WM_FILESCHANGED.
//
// Log lines: "messagebox CAPTION: TEXT" (newlines written as \n), "dialog ID
// shown", "shell open TARGET", "frame N WIDTHxHEIGHT BITS", "saved FILE",
// "audio open RATE", "audio busy", "full screen on|off", "script: ...".
#pragma once

#include "platform/backend.h"

#include <cstdint>
#include <string>
#include <vector>

struct HeadlessMessageBox {
    HWND owner;
    std::string text, caption;
    UINT type;
    int answer;
};

struct HeadlessFrame {
    int width, height;
    int32_t pitch;
    DrawPixelFormat format;
    std::vector<uint8_t> pixels; // pitch × height bytes as presented
    RECT destination;            // blits: the client rectangle on the screen
    int flipped;                 // 1 for a full-screen flip, 0 for a blit
};

// Whether each message box is also written to standard error as "CAPTION:
// TEXT" (default 1), for people running the program headless. Callers that
// read the boxes back (tests, tools, fuzz targets) turn it off. A choice for
// the whole process: HeadlessReset keeps it.
void HeadlessEchoMessageBoxes(int on);

// Back to a fresh desktop: clears every record, queued answer, failure and
// setting below, frees every window without a message to its procedure,
// empties the message queue, ends a file watch and forgets the script (the
// log stays open).
void HeadlessReset();

// Desktop: size and pixel layout (bit count and masks). Default 1024 × 768,
// 32 bits 0xFF0000 / 0xFF00 / 0xFF.
void HeadlessSetDesktop(int width, int height, int bitCount, uint32_t redMask, uint32_t greenMask,
                        uint32_t blueMask);
// Extra bytes at the end of every surface row (0 = rows are contiguous).
void HeadlessSetPitchPadding(int bytes);
// Whether showing a top-level window activates it and asks for a redraw, as
// a desktop does (default 1).
void HeadlessSetAutoActivate(int on);
// Makes the next count CreateWindowExA calls fail.
void HeadlessFailWindows(int count);
// Full screen at run time (PlatformSetFullScreen): whether the last switch
// asked for full screen (0 before any), how many switches were made, and
// whether switches are refused (default 0).
int HeadlessFullScreen();
int HeadlessFullScreenSwitches();
void HeadlessRefuseFullScreen(int refuse);
// As a browser does by the user's Esc: the window is no longer full screen,
// and PlatformWindowFullScreen says so from now on (it says nothing before).
void HeadlessSystemLeavesFullScreen();

// Drawing-system steps: a step given a result other than DRAW_OK returns it
// every time until it is set back to DRAW_OK; queued results are used first,
// one per call.
void HeadlessFailStep(DrawStep step, DRAWRESULT result);
void HeadlessQueueStepResult(DrawStep step, DRAWRESULT result);
// How often a step was asked since the last reset.
int HeadlessStepCount(DrawStep step);

// Presented frames: how many, and the last one (null before the first).
int HeadlessFrameCount();
const HeadlessFrame *HeadlessLastFrame();
// A pixel of a frame as 0x00RRGGBB (each channel widened to 8 bits); 0
// outside the frame.
uint32_t HeadlessFramePixel(const HeadlessFrame *frame, int x, int y);
// Writes the last frame as an 8-bit RGB PNG; 0 when there is none or the
// file cannot be written.
int HeadlessSaveFramePng(const char *path);

// Message boxes shown so far, in order; answers for the next ones.
const std::vector<HeadlessMessageBox> &HeadlessMessageBoxes();
void HeadlessQueueAnswer(int answer);

// Dialogs shown (template ids in order) and the visible dialog made last.
const std::vector<int> &HeadlessDialogsShown();
HWND HeadlessTopDialog();
// Posts a press of control id to the dialog; 0 when it has no such control.
int HeadlessPressControl(HWND dialog, int id);

// Targets handed to the shell, in order (never opened).
const std::vector<std::string> &HeadlessShellOpens();

// Input to a window (null: the focused one), queued as the desktop would.
void HeadlessKey(HWND window, UINT virtualKey);
// A key pressed with modifiers held around it (VK_SHIFT, VK_CONTROL, VK_MENU;
// count of them), pressed in order and released in reverse.
void HeadlessKeyWith(HWND window, UINT virtualKey, const UINT *modifiers, int count);
// A character typed: its key's WM_KEYDOWN (letters, digits, blank), WM_CHAR
// with code, WM_KEYUP.
void HeadlessType(HWND window, uint32_t code);
void HeadlessMouseMove(HWND window, int x, int y, UINT keyState);
void HeadlessClick(HWND window, int x, int y);
void HeadlessResize(HWND window, int width, int height);

// Audio: no output at all (0) or one (1, default); an output that is there
// but taken by another program, refusing the next opens (-1: every open;
// 0: none, the default); every frame queued since opening, interleaved
// stereo; the rate of the last open (0 when none since the reset).
void HeadlessSetAudioAvailable(int available);
void HeadlessSetAudioBusy(int opens);
const std::vector<int16_t> &HeadlessAudioCapture();
int HeadlessAudioRate();

// Script and log as named by the environment, or set by a test; 0 when the
// script cannot be read.
int HeadlessLoadScript(const char *path);
int HeadlessScriptText(const char *text);
void HeadlessSetLog(const char *path);
