// The setup step: the stored settings under Software\Zarn\Zarn and the small
// dialog 101 that lets the reader choose full screen or window, 16 or 32 bits
// and sound before anything else starts.
#pragma once

#include "platform/platform.h"

// Sets the defaults, then takes the stored values over them; a missing key
// leaves the defaults.
void LoadSettings();

// Writes "Show setup", "bpp", "windowed" and "sound"; a key that cannot be
// created stores nothing, silently.
void SaveSettings();

// Loads the settings and shows the dialog when asked (stored "Show setup" or
// forceSetup). 0 when the reader cancelled, else 1.
int RunSetup(HINSTANCE instance, int showCommand, int forceSetup);

// TRUE for the initialisation message and the two buttons, FALSE otherwise.
INT_PTR SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The "Show setup" value in effect (1 or 0; stored values pass through as they are).
int SetupShowSetup();

// 0 while the dialog is open, 1 after START, 2 after Cancel.
int SetupDialogResult();
