// The program's spine: WinMain's start-up and shutdown order, the command
// line and the loader behind the loading dialog.
//
// [SECTION] State
// [SECTION] Command line
// [SECTION] Loading dialog
// [SECTION] Loading and releasing
// [SECTION] WinMain
#include "app/shell.h"

#include "app/clock.h"
#include "app/menuloop.h"
#include "app/outro.h"
#include "app/positions.h"
#include "app/resources.h"
#include "app/session.h"
#include "app/setup.h"
#include "app/watch.h"
#include "engine3d/vx.h"
#include "gfx/display.h"
#include "gfx/image.h"
#include "gfx/pixels.h"
#include "gfx/ttf.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "sound/p_midas.h"
#include "store/datafile.h"
#include "store/settings.h"
#include "store/stackheap.h"

#include <cstdio>
#include <cstring>

// [SECTION] State ---------------------------------------------------------------

namespace {

struct ShellState {
    char argument[COMMAND_LINE_BUFFER];
    int32_t forceSetup;
    HWND loadingDialog;
    VxScene ball;           // the persistent scene holding "ball.v3d"
    int32_t engineStarted;
};

ShellState shell;

void Say(const char *line)
{
    fputs(line, stdout);
    fflush(stdout);
}

} // namespace

// [SECTION] Command line --------------------------------------------------------

void ParseCommandLine()
{
    shell.argument[0] = 0;
    const char *line = GetCommandLineA();
    if (!line)
        return;
    // The whole line is searched, so a line longer than the buffer still
    // yields its real last word; only the copy is bounded.
    size_t length = strlen(line);
    size_t i = length;
    while (i > 0 && line[i - 1] != ' ')
        i--;
    if (i == 0)
        return;
    size_t tail = length - i;
    if (tail > COMMAND_LINE_BUFFER - 1)
        tail = COMMAND_LINE_BUFFER - 1;
    memcpy(shell.argument, line + i, tail);
    shell.argument[tail] = 0;
}

const char *CommandLineArgument()
{
    return shell.argument;
}

// [SECTION] Loading dialog ------------------------------------------------------

namespace {

INT_PTR LoadingDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

} // namespace

void ShowLoadingDialog(HINSTANCE instance, int showCommand)
{
    shell.loadingDialog = CreateDialogIndirectParamA(instance, LoadingDialogTemplate(), nullptr, LoadingDialogProc, 0);
    if (!shell.loadingDialog)
        return;
    RECT rect = {0, 0, 0, 0};
    GetWindowRect(shell.loadingDialog, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
    int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
    MoveWindow(shell.loadingDialog, x, y, width, height, FALSE);
    ShowWindow(shell.loadingDialog, showCommand);
}

void CloseLoadingDialog()
{
    if (shell.loadingDialog)
        DestroyWindow(shell.loadingDialog);
    shell.loadingDialog = nullptr;
}

HWND LoadingDialogWindow()
{
    return shell.loadingDialog;
}

// [SECTION] Loading and releasing -----------------------------------------------

int LoadAll()
{
    if (!StackheapInit(0)) {
        FatalError("- error allocin' stackheap!");
        return 0;
    }

    if (!SessionAllocatePages()) {
        FatalError("- error allocating screen page!");
        return 0;
    }

    if (!LoadClockFont()) {
        FatalError("- error loading clock-font!");
        return 0;
    }

    if (!VxInit(appSettings.screenWidth, appSettings.screenHeight)) {
        FatalError("- can't init vx3d!");
        return 0;
    }
    shell.engineStarted = 1;

    // All four pictures are tried before any is tested.
    if (!MenuLoadPictures()) {
        FatalError("- bitmaps not loaded!");
        return 0;
    }

    DetectMmx();

    TtfInit();

    if (!LoadConfig()) {
        FatalError("- config not loaded!");
        return 0;
    }

    if (appSettings.effectsOn == 1) {
        // All three are loaded before any is tested.
        LoadEffect(ShellEffect(EFFECT_ARTICLE), ConfigEffectName("article"));
        LoadEffect(ShellEffect(EFFECT_PAGE), ConfigEffectName("page"));
        LoadEffect(ShellEffect(EFFECT_BACK), ConfigEffectName("back"));
        if (!ShellEffect(EFFECT_ARTICLE)->data || !ShellEffect(EFFECT_PAGE)->data ||
            !ShellEffect(EFFECT_BACK)->data) {
            FatalError("- error loading sfx! (samples have to be 8-bit mono wav)");
            return 0;
        }
    }

    MeasureMenu(ShownPage());

    Say("+ loading 3d\n");

    // The engine prints its own line when the ball cannot be loaded; the
    // program then ends without a box.
    return VxLoadScene(&shell.ball, "ball.v3d");
}

void ShutdownAll()
{
    SessionFreePages();

    MenuFreePictures();

    if (appSettings.effectsOn == 1)
        for (int which = 0; which < SHELL_EFFECTS; which++)
            FreeEffect(ShellEffect(which));

    if (shell.engineStarted) {
        VxFreeScene(&shell.ball);
        VxShutdown();
        shell.engineStarted = 0;
    }

    TtfShutdown();
}

// [SECTION] WinMain -------------------------------------------------------------

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, char *commandLine, int showCommand)
{
    (void)previousInstance;
    (void)commandLine;
    RegisterResources();

    ArchiveSetName("zarn.dat");

    ParseCommandLine();
    if (shell.argument[0])
        shell.forceSetup = 1;

    if (!RunSetup(instance, showCommand, shell.forceSetup))
        return 0;

    // Only 1 asks for the real device: any other stored value means silence.
    if (!InitSound(appSettings.soundOn == 1 ? 0 : -1)) {
        ErrorBox("- Error on Initsound!");
        return 0;
    }

    ShowLoadingDialog(instance, showCommand);
    PumpMessages();

    if (!LoadAll())
        return 0;

    PositionsLoad();

    CloseLoadingDialog();

    HICON icon = LoadIconA(instance, RESOURCE_ICON);

    if (!CreateDisplay(instance, icon, showCommand, appSettings.screenWidth, appSettings.screenHeight,
                       appSettings.bitsPerPixel, appSettings.windowed, "Zarn"))
        return 0;

    if (!StartMusic(ConfigMusicName()))
        return 0;

    WatchStart();
    MainMenuLoop();
    WatchStop();
    PositionsSave();

    if (ShownPage())
        RunOutro(ShownPage(), &shell.ball);

    StopMusic();
    CloseSound();
    ShutdownAll();
    StackheapClose();
    DestroyWindow(DisplayWindow());
    PumpMessages();
    return 0;
}
