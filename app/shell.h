// The program's spine: the entry logic WinMain, the command-line rule, the
// start-up and shutdown order and the loader behind the loading dialog. The
// pages, pumps and effects they set up live in app/session.h.
#pragma once

#include "platform/platform.h"

#include <cstdint>

enum { COMMAND_LINE_BUFFER = 1024 };

// Runs the whole program; always returns 0 (the command-line text is not
// used: the line is read again through GetCommandLineA).
int WinMain(HINSTANCE instance, HINSTANCE previousInstance, char *commandLine, int showCommand);

// Fills the argument buffer with the last blank-separated word of the command
// line (empty when there is no blank or the line ends in one); a longer line
// than the buffer keeps the word's first 1,023 bytes. Never fails.
void ParseCommandLine();
// The argument buffer (never null; "" when empty).
const char *CommandLineArgument();

// 1 when everything is loaded, 0 after the failing step's report.
int LoadAll();
// Releases what LoadAll acquired (each only if present).
void ShutdownAll();

// Shows dialog 105; without a dialog the loading simply goes on unseen.
void ShowLoadingDialog(HINSTANCE instance, int showCommand);
void CloseLoadingDialog();
// The loading dialog, or null when none is shown.
HWND LoadingDialogWindow();
