// The help overlay: the key list drawn with the layout engine's text
// operations in the frame's face, over the screen darkened so the list reads.
#include "app/help.h"

#include "app/comforts.h"
#include "app/session.h"
#include "aua/aua.h"
#include "gfx/display.h"
#include "gfx/pixels.h"
#include "mag/menu.h"
#include "store/settings.h"

#include <cstdint>
#include <cstring>

namespace {

const HelpRow rows[] = {
    {"Up, Down", "choose a topic", "previous or next article"},
    {"Left, Right", "-", "previous or next page"},
    {"Enter", "open the topic", "-"},
    {"Esc", "leave the magazine", "back to the menu"},
    {"F1", "music volume: halves, then full", "the same"},
    {"X, F9", "-", "leave the magazine at once"},
    {"mouse", "-", "click a link; pointing lights it"},
    {"R", "open the page read last", "-"},
    {"/, Ctrl+F", "search; Enter finds the next", "the same"},
    {"H, ?", "this list of keys", "the same"},
    {"M", "music off or on", "the same"},
    {"F11, Alt+Enter", "window or full screen", "the same"},
    {"F12", "save the screen as a picture", "the same"},
};

const int rowCount = (int)(sizeof rows / sizeof rows[0]);

enum { TITLE_Y = 80, HEAD_Y = 120, FIRST_ROW_Y = 145, ROW_HEIGHT = 18, HINT_Y = 410 };

void Text(int x, int baseline, const char *text, int bold)
{
    AuaSelectFont("verdana", bold, 0);
    AuaMoveTo(x, baseline);
    AuaDrawText(text);
}

} // namespace

const HelpRow *HelpRows(int *count)
{
    if (count)
        *count = rowCount;
    return rows;
}

void DrawHelp(uint32_t *page)
{
    int width = appSettings.screenWidth, height = appSettings.screenHeight;
    DarkenRect(page, width, height, 0, 0, width, height, 160, 160, 160);
    AuaSetTarget(page, width, height);
    AuaSetSize(14);
    AuaSetColor(255, 255, 255);
    Text(HELP_KEYS_X, TITLE_Y, "Keys", 1);
    AuaSetSize(10);
    AuaSetColor(170, 190, 230);
    Text(HELP_KEYS_X, HEAD_Y, "key", 1);
    Text(HELP_MENU_X, HEAD_Y, "in the menu", 1);
    Text(HELP_ARTICLE_X, HEAD_Y, "in an article", 1);
    AuaSetColor(255, 255, 255);
    for (int i = 0; i < rowCount; i++) {
        int baseline = FIRST_ROW_Y + ROW_HEIGHT * i;
        Text(HELP_KEYS_X, baseline, rows[i].keys, 1);
        Text(HELP_MENU_X, baseline, rows[i].menu, 0);
        Text(HELP_ARTICLE_X, baseline, rows[i].article, 0);
    }
    AuaSetColor(170, 190, 230);
    Text(HELP_KEYS_X, HINT_Y, "Any key closes this list.", 0);
    MenuSelectFrameFont();
}

void ShowHelp()
{
    uint32_t *overlay = DrawPage(), *shown = ShownPage();
    int pixels = appSettings.screenWidth * appSettings.screenHeight;
    memcpy(overlay, shown, (size_t)pixels * 4);
    DrawHelp(overlay);
    Present(overlay, pixels);
    input.lastKey = 0;
    input.typedCount = 0;
    while (!input.quitRequested && !input.exitRequested) {
        WaitMessages();
        int32_t key = input.lastKey;
        if (key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU) {
            input.lastKey = 0; // on the way to a combination, or nothing
            continue;
        }
        if (key == VK_F11 || key == VK_F12 || (key == VK_RETURN && (input.lastKeyModifiers & KEY_ALT))) {
            TakeComfortKey();
            continue;
        }
        if (key || input.typedCount)
            break;
    }
    input.lastKey = 0;
    input.typedCount = 0;
    input.clickX = input.clickY = -1;
    Present(shown, pixels);
}
