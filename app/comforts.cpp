// The comforts: keys that act on the display, the screen's picture and the
// music, whatever screen the reader is on.
#include "app/comforts.h"

#include "app/session.h"
#include "gfx/display.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "sound/p_midas.h"
#include "store/settings.h"

#include <cstdio>
#include <cstring>

int SaveScreenshot()
{
    const uint32_t *frame = DisplayLastFrame();
    if (!frame)
        frame = ShownPage();
    SYSTEMTIME now;
    GetLocalTime(&now);
    char name[64];
    snprintf(name, sizeof name, "zarn-%04u%02u%02u-%02u%02u%02u", (unsigned)now.wYear, (unsigned)now.wMonth,
             (unsigned)now.wDay, (unsigned)now.wHour, (unsigned)now.wMinute, (unsigned)now.wSecond);
    const char *folder = PlatformPicturesDirectory();
    char path[4096 + 80];
    // Two pictures within a second keep both.
    for (int copy = 1; copy < 100; copy++) {
        char suffix[8] = "";
        if (copy > 1)
            snprintf(suffix, sizeof suffix, "-%d", copy);
        snprintf(path, sizeof path, "%s%s%s%s.png", folder, *folder ? "/" : "", name, suffix);
        if (PlatformGetFileKind(path) == FILE_MISSING)
            break;
    }
    if (frame && SavePagePng(path, frame, appSettings.screenWidth, appSettings.screenHeight)) {
        printf("+ screenshot %s\n", path);
        fflush(stdout);
        return 1;
    }
    printf("- screenshot not saved: cannot write '%s'\n", path);
    fflush(stdout);
    return 0;
}

int TakeComfortKey()
{
    int32_t key = input.lastKey;
    int alt = (input.lastKeyModifiers & KEY_ALT) != 0;
    if (key == VK_F11 || (key == VK_RETURN && alt))
        DisplaySetFullScreen(!DisplayFullScreen());
    else if (key == VK_F12)
        SaveScreenshot();
    else if (key == 'M' && !alt && !(input.lastKeyModifiers & KEY_CONTROL))
        ToggleMusic();
    else
        return 0;
    input.lastKey = 0;
    return 1;
}

ReaderCommand TakeReaderCommand()
{
    // Characters, in the order typed: they name '/' and '?' whatever the
    // keyboard's layout.
    for (int i = 0; i < input.typedCount && i < INPUT_TYPED_MAX; i++) {
        if (input.typed[i] == '/') {
            int rest = input.typedCount - i - 1;
            memmove(input.typed, input.typed + i + 1, sizeof input.typed[0] * (size_t)rest);
            input.typedCount = rest;
            return READER_SEARCH;
        }
        if (input.typed[i] == '?') {
            input.typedCount = 0;
            input.lastKey = 0;
            return READER_HELP;
        }
    }
    input.typedCount = 0;
    int32_t key = input.lastKey, modifiers = input.lastKeyModifiers;
    int plain = !(modifiers & (KEY_CONTROL | KEY_ALT));
    if (key == 'F' && (modifiers & KEY_CONTROL) && !(modifiers & KEY_ALT)) {
        input.lastKey = 0;
        return READER_SEARCH;
    }
    if (key == 'H' && plain) {
        input.lastKey = 0;
        return READER_HELP;
    }
    TakeComfortKey();
    return READER_NOTHING;
}
