// zarn-tool — opening an issue for the commands that draw screens (see screens.h).
#include "tools/screens.h"
#include "tools/tool.h"

#include "app/clock.h"
#include "gfx/ttf.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "store/stackheap.h"

#include <cstdint>
#include <cstdio>
#include <vector>

bool ToolReadTime(const char *text, int *hour, int *minute)
{
    int h = 0, m = 0;
    char tail = 0;
    if (std::sscanf(text, "%d:%d%c", &h, &m, &tail) != 2)
        return false;
    if (h < 0 || h > 23 || m < 0 || m > 59)
        return false;
    *hour = h;
    *minute = m;
    return true;
}

int ToolOpenScreens(const char *directory, int hour, int minute)
{
    PlatformSelect("headless");
    if (int status = ToolEnterIssue(directory))
        return status;
    StackheapInit(0);
    if (hour >= 0)
        ClockSetFixedTime(hour, minute);
    if (!LoadClockFont())
        return ToolFail("- error loading clock-font!");
    int picturesLoaded = MenuLoadPictures();
    TtfInit();
    if (!picturesLoaded)
        return ToolFail("- bitmaps not loaded!");
    if (!LoadConfig())
        return ToolFail("- config not loaded!");
    // The menu is measured with a page of the screen's size as text target.
    std::vector<uint32_t> page((size_t)MENU_PAGE_WIDTH * MENU_PAGE_HEIGHT);
    MeasureMenu(page.data());
    return 0;
}

std::string ToolTakeMessages(size_t *from)
{
    const std::vector<HeadlessMessageBox> &boxes = HeadlessMessageBoxes();
    std::string lines;
    for (; *from < boxes.size(); ++*from) {
        const HeadlessMessageBox &box = boxes[*from];
        std::string line = box.caption + ": ";
        for (char c : box.text)
            line += (c == '\n' || c == '\r') ? ' ' : c;
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        lines += line + "\n";
    }
    return lines;
}
