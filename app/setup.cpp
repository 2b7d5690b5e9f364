// The setup step: stored settings and the setup dialog. The dialog runs
// before the sound device and the display exist, so it has a message loop of
// its own.
#include "app/setup.h"

#include "app/resources.h"
#include "store/settings.h"

#include <cstring>

namespace {

const char *const settingsKey = "Software\\Zarn\\Zarn";

struct SetupState {
    int32_t showSetup;
    int32_t result; // 0 open, 1 START, 2 Cancel
    HWND dialog;
};

SetupState setup = {1, 0, nullptr};

// A stored value of at most four bytes is taken as a little-endian number
// laid over the default's bytes, whatever its type; anything else keeps the
// default.
void ReadValue(HKEY key, const char *name, int32_t *value)
{
    uint8_t data[4];
    uint32_t current = (uint32_t)*value;
    for (int i = 0; i < 4; i++)
        data[i] = (uint8_t)(current >> (8 * i));
    DWORD type = 0;
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, &type, data, &size) != ERROR_SUCCESS || size > 4)
        return;
    *value = (int32_t)((uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 |
                       (uint32_t)data[3] << 24);
}

void WriteValue(HKEY key, const char *name, int32_t value)
{
    uint8_t data[4];
    for (int i = 0; i < 4; i++)
        data[i] = (uint8_t)((uint32_t)value >> (8 * i));
    RegSetValueExA(key, name, 0, REG_DWORD, data, sizeof data);
}

void EnableDepthButtons(HWND dialog, BOOL enable)
{
    EnableWindow(GetDlgItem(dialog, SETUP_16_BIT), enable);
    EnableWindow(GetDlgItem(dialog, SETUP_32_BIT), enable);
}

} // namespace

void LoadSettings()
{
    setup.showSetup = 1;
    appSettings.bitsPerPixel = 32;
    appSettings.windowed = 0;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, settingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    ReadValue(key, "Show setup", &setup.showSetup);
    ReadValue(key, "bpp", &appSettings.bitsPerPixel);
    ReadValue(key, "windowed", &appSettings.windowed);
    ReadValue(key, "sound", &appSettings.soundOn);
    RegCloseKey(key);
}

void SaveSettings()
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, settingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS)
        return;
    WriteValue(key, "Show setup", setup.showSetup);
    WriteValue(key, "bpp", appSettings.bitsPerPixel);
    WriteValue(key, "windowed", appSettings.windowed);
    WriteValue(key, "sound", appSettings.soundOn);
    RegCloseKey(key);
}

INT_PTR SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_COMMAND)
        return FALSE;
    switch ((int)(wParam & 0xFFFF)) {
    case SETUP_START:
        setup.result = 1;
        DestroyWindow(dialog);
        return TRUE;
    case SETUP_CANCEL:
        setup.result = 2;
        DestroyWindow(dialog);
        return TRUE;
    case SETUP_FULL_SCREEN:
        appSettings.windowed = 0;
        EnableDepthButtons(dialog, TRUE);
        break;
    case SETUP_IN_A_WINDOW:
        appSettings.windowed = 1;
        EnableDepthButtons(dialog, FALSE);
        break;
    case SETUP_16_BIT:
        appSettings.bitsPerPixel = 16;
        break;
    case SETUP_32_BIT:
        appSettings.bitsPerPixel = 32;
        break;
    case SETUP_SHOW_CONFIG:
        setup.showSetup = (setup.showSetup + 1) & 1;
        break;
    case SETUP_SOUND:
        appSettings.soundOn = (appSettings.soundOn + 1) & 1;
        break;
    default:
        break;
    }
    return FALSE;
}

int RunSetup(HINSTANCE instance, int showCommand, int forceSetup)
{
    LoadSettings();
    if (forceSetup == 1)
        setup.showSetup = 1;
    else if (setup.showSetup == 0)
        return 1;

    setup.result = 0;
    setup.dialog = CreateDialogIndirectParamA(instance, SetupDialogTemplate(), nullptr, SetupDialogProc, 0);
    HWND dialog = setup.dialog;
    if (!dialog) {
        // Without a dialog the stored choices stand; nothing is written.
        appSettings.musicOn = appSettings.effectsOn = appSettings.soundOn ? 1 : 0;
        return 1;
    }
    {
        RECT rect = {0, 0, 0, 0};
        GetWindowRect(dialog, &rect);
        int width = rect.right - rect.left, height = rect.bottom - rect.top;
        int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
        int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
        MoveWindow(dialog, x, y, width, height, FALSE);
        ShowWindow(dialog, showCommand);

        if (appSettings.bitsPerPixel == 16)
            CheckDlgButton(dialog, SETUP_16_BIT, BST_CHECKED);
        if (appSettings.bitsPerPixel == 32)
            CheckDlgButton(dialog, SETUP_32_BIT, BST_CHECKED);
        int mode = appSettings.windowed ? SETUP_IN_A_WINDOW : SETUP_FULL_SCREEN;
        CheckDlgButton(dialog, mode, BST_CHECKED);
        SendMessageA(dialog, WM_COMMAND, (WPARAM)mode, 0);
        if (setup.showSetup)
            CheckDlgButton(dialog, SETUP_SHOW_CONFIG, BST_CHECKED);
        if (appSettings.soundOn)
            CheckDlgButton(dialog, SETUP_SOUND, BST_CHECKED);

        // Waits between messages instead of spinning: the dialog may stand
        // for minutes and should cost no processor time meanwhile.
        MSG message;
        while (setup.result == 0) {
            if (!PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
                WaitMessageTimeout(10);
                continue;
            }
            BOOL got = GetMessageA(&message, nullptr, 0, 0);
            if (got == 0 || got == -1)
                break;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    // The quit message ends the loop with result 0, which counts as START.
    setup.dialog = nullptr;
    if (setup.result == 2)
        return 0;
    SaveSettings();
    appSettings.musicOn = appSettings.effectsOn = appSettings.soundOn ? 1 : 0;
    return 1;
}

int SetupShowSetup()
{
    return setup.showSetup;
}

int SetupDialogResult()
{
    return setup.result;
}
