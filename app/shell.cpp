// The program's spine: WinMain's start-up and shutdown order, the command
// line, the loader behind the loading dialog and the two message pumps.
//
// [SECTION] State
// [SECTION] Command line
// [SECTION] Message pumps
// [SECTION] Loading dialog
// [SECTION] Loading and releasing
// [SECTION] WinMain
#include "app/shell.h"

#include "app/clock.h"
#include "app/menuloop.h"
#include "app/resources.h"
#include "app/setup.h"
#include "gfx/display.h"
#include "gfx/image.h"
#include "gfx/pixels.h"
#include "gfx/ttf.h"
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
    uint32_t *shownPage;
    uint32_t *drawPage;
    uint32_t *sparePage;
    HWND loadingDialog;
};

ShellState shell;

void Say(const char *line)
{
    fputs(line, stdout);
    fflush(stdout);
}

} // namespace

uint32_t *ShownPage()
{
    return shell.shownPage;
}

uint32_t *DrawPage()
{
    return shell.drawPage;
}

uint32_t *SparePage()
{
    return shell.sparePage;
}

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

// [SECTION] Message pumps -------------------------------------------------------

void PumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // -1 is a broken queue: treat it as the end so no loop spins on it.
            input.quitRequested = 1;
            return;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void WaitMessages()
{
    MSG message;
    BOOL got = GetMessageA(&message, nullptr, 0, 0);
    if (got == 0 || got == -1)
        input.quitRequested = 1;
    if (got != -1) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    PumpMessages();
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

    int32_t pageBytes = appSettings.screenWidth * appSettings.screenHeight * 4;
    shell.shownPage = (uint32_t *)StackheapAlloc(pageBytes);
    shell.drawPage = (uint32_t *)StackheapAlloc(pageBytes);
    shell.sparePage = (uint32_t *)StackheapAlloc(pageBytes);
    if (!shell.shownPage || !shell.drawPage || !shell.sparePage) {
        FatalError("- error allocating screen page!");
        return 0;
    }

    if (!LoadClockFont()) {
        FatalError("- error loading clock-font!");
        return 0;
    }

    // The 3D engine starts here (VxInit for screenWidth x screenHeight).

    DetectMmx();

    TtfInit();

    Say("+ loading 3d\n");

    // "ball.v3d" is loaded into the persistent scene here (VxLoadScene).
    return 1;
}

void ShutdownAll()
{
    StackheapFree(shell.shownPage);
    StackheapFree(shell.drawPage);
    StackheapFree(shell.sparePage);
    shell.shownPage = shell.drawPage = shell.sparePage = nullptr;

    // The scene holding "ball.v3d" is freed here (VxFreeScene), then the 3D
    // engine shut down (VxShutdown).

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

    ShowLoadingDialog(instance, showCommand);
    PumpMessages();

    if (!LoadAll())
        return 0;

    CloseLoadingDialog();

    HICON icon = LoadIconA(instance, RESOURCE_ICON);

    if (!CreateDisplay(instance, icon, showCommand, appSettings.screenWidth, appSettings.screenHeight,
                       appSettings.bitsPerPixel, appSettings.windowed, "Zarn"))
        return 0;

    MainMenuLoop();

    // The outro runs here.

    ShutdownAll();
    StackheapClose();
    DestroyWindow(DisplayWindow());
    PumpMessages();
    return 0;
}
