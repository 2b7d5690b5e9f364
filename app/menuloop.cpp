// The main menu loop. Blocks in WaitMessages between keys, so an idle menu
// costs no processor time; every key press redraws the menu once. Beside
// the topics it offers the search line, the help, the comforts and R, which
// opens the page read last. In the live preview a saved file wakes it too.
#include "app/menuloop.h"

#include "app/clock.h"
#include "app/keys.h"
#include "app/positions.h"
#include "app/search.h"
#include "app/session.h"
#include "app/viewer.h"
#include "app/watch.h"
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
    WatchCatchBegin(WATCH_CATCH_LOAD, nullptr);
    ComposeMenuScreen(page, menuLoop.selection);
    WatchCatchEnd();
    WatchDrawProblems(page);
    if (SearchIsOpen())
        DrawSearchLine(page, SearchText(), SearchNote());
    Present(page, appSettings.screenWidth * appSettings.screenHeight);
}

// The viewer at position, as a jump: the article effect, then the fade from
// the menu. The menu comes back with the topic shown last selected.
void OpenViewerAt(const ReadingPosition *position)
{
    input.lastKey = 0;
    menuLoop.selection = position->topic;
    int topic = ViewerRun(position, EFFECT_ARTICLE);
    if (topic >= 0)
        menuLoop.selection = topic;
}

// Enter on the search line: the first page with the text from the selected
// topic on.
void FindFromMenu()
{
    ReadingPosition from = {menuLoop.selection, 0, 0}, found;
    if (!SearchFindPage(SearchText(), &from, 1, &found)) {
        SearchSetNotFound(1);
        return;
    }
    SearchLight(SearchText());
    OpenViewerAt(&found);
}

// The live preview: files saved while the menu waits are read again and the
// menu drawn anew, with the same topic selected while it exists.
void FollowChanges()
{
    char topic[CONFIG_FIELD_BYTES] = "";
    ReadingTopicIdentifier(menuLoop.selection, topic);
    ReadingPosition was = {menuLoop.selection, 0, 0}, place;
    int changes = WatchReload();
    if (!changes)
        return;
    if (changes & WATCH_CONFIG)
        menuLoop.selection = ReadingNearestPlace(topic, "", &was, &place) ? place.topic : 0;
    input.redrawRequested = 1;
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
    input.typedCount = 0;
    for (;;) {
        if (input.quitRequested || leave || input.exitRequested)
            return;
        if (input.redrawRequested) {
            DrawMenuScreen();
            input.redrawRequested = 0;
        }
        WaitMessages();
        if (WatchActive())
            FollowChanges();
        if (input.lastKey == 0 && input.typedCount == 0)
            continue;
        input.redrawRequested = 1;
        if (TakeReaderKeys() == READER_KEYS_FIND)
            FindFromMenu();
        switch (input.lastKey) {
        case VK_RETURN: {
            input.lastKey = 0;
            // A zarn.cfg saved without topics leaves the preview nothing to open.
            if (WatchActive() && ReadingTopicCount() == 0)
                break;
            int entry = FindTopicEntry(menuLoop.selection);
            ArticleViewer(entry);
            int topic = ViewerPosition().topic;
            if (topic >= 0)
                menuLoop.selection = topic;
            break;
        }
        case 'R': {
            ReadingPosition position;
            if (!(input.lastKeyModifiers & (KEY_CONTROL | KEY_ALT)) && PositionsFind(&position))
                OpenViewerAt(&position);
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
