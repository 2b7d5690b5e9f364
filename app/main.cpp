// The zarn executable: hands the command line to the platform, picks the
// backend (ZARN_PLATFORM) and runs the program.
#include "app/shell.h"

#include <cstdio>

int main(int argc, char **argv)
{
    // Progress lines are read by people and tests as they happen.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    PlatformSetCommandLine(argc, argv);
    PlatformSelect(nullptr);
    char empty[1] = {0};
    return WinMain(nullptr, nullptr, empty, SW_SHOWNORMAL);
}
