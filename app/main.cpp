// The zarn executable: reads its own command line (an issue to open, the
// options), then picks the backend (ZARN_PLATFORM), makes sure a window can
// be seen, and runs the program.
#include "app/options.h"
#include "app/shell.h"

#include <cstdio>

int main(int argc, char **argv)
{
    // Progress lines are read by people and tests as they happen.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    int exitCode = 0;
    if (!StartCommandLine(argc, argv, &exitCode))
        return exitCode;
    PlatformSelect(nullptr);
    // Without a display the setup dialog would wait, unseen, for ever.
    if (!PlatformDisplayAvailable()) {
        fputs("zarn: no display to open a window on (set DISPLAY, or use ZARN_PLATFORM=headless)\n", stderr);
        return 1;
    }
    char empty[1] = {0};
    return WinMain(nullptr, nullptr, empty, SW_SHOWNORMAL);
}
