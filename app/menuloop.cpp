// The main menu loop. Blocks in WaitMessages between keys, so an idle menu
// costs no processor time; every key press redraws the menu once.
#include "app/menuloop.h"

#include "app/clock.h"
#include "app/session.h"
#include "app/viewer.h"
#include "gfx/display.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "store/settings.h"

namespace {

struct MenuLoopState {
    int32_t selection;
};

MenuLoopState menuLoop;

void DrawMenuScreen()
{
    uint32_t *page = ShownPage();
    ComposeMenuScreen(page, menuLoop.selection);
    Present(page, appSettings.screenWidth * appSettings.screenHeight);
}

} // namespace

void ComposeMenuScreen(uint32_t *page, int selected)
{
    DrawMenuBackground(page);
    DrawMenu(page, selected);
    DrawClock(page, appSettings.screenWidth, appSettings.screenHeight, 611, 427);
}

int32_t MenuSelection()
{
    return menuLoop.selection;
}

void MainMenuLoop()
{
    menuLoop.selection = 0;
    int leave = 0;
    for (;;) {
        if (input.quitRequested || leave || input.exitRequested)
            return;
        if (input.redrawRequested) {
            DrawMenuScreen();
            input.redrawRequested = 0;
        }
        WaitMessages();
        int32_t key = input.lastKey;
        if (key == 0)
            continue;
        input.redrawRequested = 1;
        switch (key) {
        case VK_RETURN: {
            input.lastKey = 0;
            int entry = FindTopicEntry(menuLoop.selection);
            ArticleViewer(entry);
            break;
        }
        case VK_ESCAPE:
            leave = 1;
            break;
        case VK_UP:
            if (menuLoop.selection > 0)
                menuLoop.selection--;
            break;
        case VK_DOWN:
            if (menuLoop.selection < MenuGetLayout()->topicCount - 1)
                menuLoop.selection++;
            break;
        case VK_F1:
            VolumeStep();
            break;
        default:
            break;
        }
        input.lastKey = 0;
    }
}
