// menu — draws the main-menu screen and the article screen's frame into a
// 640 x 480 page, and keeps the four start-up pictures they are made of.
// Text goes through the article engine's pen operations in "verdana" size 10.
#include "mag/menu.h"

#include "aua/aua.h"
#include "gfx/pixels.h"
#include "mag/config.h"
#include "store/stackheap.h"

#include <cstdio>
#include <cstring>

namespace {

struct MenuState {
    MenuLayout layout;
    Picture pictures[MENU_PICTURES];
};

MenuState menu = {};

const char *const pictureNames[MENU_PICTURES] = {"_full.jpg", "_help1.jpg", "_help2.jpg", "_topbar.jpg"};

const int W = MENU_PAGE_WIDTH;
const int H = MENU_PAGE_HEIGHT;

bool IsKey(const char *key, const char *name) {
    for (;; key++, name++) {
        int a = (*key >= 'A' && *key <= 'Z') ? *key + 32 : *key;
        int b = (*name >= 'A' && *name <= 'Z') ? *name + 32 : *name;
        if (a != b) return false;
        if (!a) return true;
    }
}

// Every drawing operation starts the text the same way.
void SetUpText(uint32_t *page) {
    AuaSetTarget(page, W, H);
    MenuSelectFrameFont();
    AuaSetSize(10);
    AuaSetColor(255, 255, 255);
}

void DrawText(int x, int baseline, const char *text) {
    AuaMoveTo(x, baseline);
    AuaDrawText(text);
}

void Blit(uint32_t *page, int which, int x, int y) {
    const Picture &picture = menu.pictures[which];
    if (picture.pixels) BlitPicture(page, W, H, x, y, picture.pixels, picture.width, picture.height);
}

} // namespace

int MenuLoadPictures() {
    for (int i = 0; i < MENU_PICTURES; i++) {
        if (!menu.pictures[i].pixels) menu.pictures[i] = LoadPicture(pictureNames[i]);
    }
    for (const Picture &picture : menu.pictures) {
        if (!picture.pixels) return 0;
    }
    return 1;
}

void MenuFreePictures() {
    for (Picture &picture : menu.pictures) {
        StackheapFree(picture.pixels);
        picture = Picture{};
    }
}

const Picture *MenuGetPicture(int which) {
    static const Picture none = {};
    if (which < 0 || which >= MENU_PICTURES) return &none;
    return &menu.pictures[which];
}

const char *MenuPictureName(int which) {
    if (which < 0 || which >= MENU_PICTURES) return "";
    return pictureNames[which];
}

void MeasureMenu(uint32_t *page) {
    SetUpText(page);
    const ConfigTable *table = ConfigGetTable();
    MenuLayout layout = {};
    for (int i = 0; i < table->count && i < CONFIG_MAX_ENTRIES; i++) {
        const ConfigEntry &entry = table->entries[i];
        if (!IsKey(entry.key1, "topic")) continue;
        layout.topicCount++;
        int32_t width = AuaTextWidth(entry.value);
        if (width > layout.menuTextWidth) layout.menuTextWidth = width;
    }
    layout.menuHeight = MENU_ROW_HEIGHT * layout.topicCount;
    menu.layout = layout;
}

const MenuLayout *MenuGetLayout() { return &menu.layout; }

void DrawMenuBackground(uint32_t *page) {
    Blit(page, MENU_FULL, 0, 0);
    Blit(page, MENU_HELP1, 0, 400);
}

void DrawMenu(uint32_t *page, int selected) {
    const MenuLayout &layout = menu.layout;
    int x0 = W / 2 - layout.menuTextWidth / 2 - 20, x1 = W / 2 + layout.menuTextWidth / 2 + 20;
    int y0 = H / 2 - layout.menuHeight / 2 - 20, y1 = H / 2 + layout.menuHeight / 2 + 20;
    BlendRect(page, W, H, x0, y0, x1, y1, 20, 40, 60);
    BrightenRect(page, W, H, x0 - 2, y0 - 2, x1, y0, 20, 30, 30);
    BrightenRect(page, W, H, x0 - 2, y0, x0, y1, 30, 40, 50);
    DarkenRect(page, W, H, x1, y0 - 2, x1 + 2, y1, 20, 20, 30);
    DarkenRect(page, W, H, x0 - 2, y1, x1 + 2, y1 + 2, 30, 30, 40);

    SetUpText(page);
    const ConfigTable *table = ConfigGetTable();
    int j = 0;
    for (int i = 0; i < table->count && i < CONFIG_MAX_ENTRIES; i++) {
        const ConfigEntry &entry = table->entries[i];
        if (!IsKey(entry.key1, "topic")) continue;
        int32_t w = AuaTextWidth(entry.value);
        DrawText(W / 2 - w / 2, H / 2 - layout.menuHeight / 2 + MENU_ROW_HEIGHT * j + 10, entry.value);
        // lightened after the text, so the text is lightened with its row
        if (j == selected)
            BrightenRect(page, W, H, x0, y0 + 20 + MENU_ROW_HEIGHT * j, x1, y0 + 34 + MENU_ROW_HEIGHT * j, 60, 70, 80);
        j++;
    }
}

void DrawArticleBackground(uint32_t *page) {
    Blit(page, MENU_FULL, 0, 0);
    Blit(page, MENU_HELP2, 0, 400);
    Blit(page, MENU_TOPBAR, 0, 0);
    DarkenRect(page, W, H, 0, 20, 640, 420, 30, 30, 30);
}

void DrawArticleList(uint32_t *page, int selected, const char *topicIdentifier) {
    SetUpText(page);
    if (!topicIdentifier) return;
    const ConfigTable *table = ConfigGetTable();
    int article = 0;
    for (int i = 0; i < table->count && i < CONFIG_MAX_ENTRIES; i++) {
        const ConfigEntry &entry = table->entries[i];
        if (!IsKey(entry.key1, topicIdentifier)) continue;
        int n = article++;
        if (n < selected - 1 || n > selected + 1) continue;
        char title[CONFIG_FIELD_BYTES], subtitle[CONFIG_FIELD_BYTES];
        SplitTitle(entry.value, title, subtitle);
        AuaSelectFont("verdana", n == selected ? 1 : 0, 0);
        int baseline = 455 + 15 * (n - selected);
        DrawText(180, baseline, title);
        DrawText(470 - AuaTextWidth(subtitle), baseline, subtitle);
        if (n == selected) {
            AuaSelectFont("verdana", 0, 0);
            DrawText(60, 13, title);
            DrawText(370 - AuaTextWidth(subtitle), 13, subtitle);
        }
    }
}

void DrawPageCounter(uint32_t *page, int current, int count) {
    SetUpText(page);
    char text[32];
    snprintf(text, sizeof text, "%i/%i", current, count);
    DrawText(580, 13, text);
}

void MenuSelectFrameFont() { AuaSelectFont("verdana", 0, 0); }

void DrawProblemBand(uint32_t *page, const char *const *lines, int count) {
    enum { LEFT = 20, RIGHT = 620, BOTTOM = 396, MARGIN = 6, MOST = 12 };
    if (count <= 0) return;
    int shown = count > MOST ? MOST : count;
    // At the foot of the text area: the top of the page, where an author
    // looks first, stays readable.
    int top = BOTTOM - MARGIN - MENU_ROW_HEIGHT * shown;
    // Solid: the text of the page under the band would blur the message.
    DarkenRect(page, W, H, LEFT, top, RIGHT, BOTTOM, 255, 255, 255);
    BrightenRect(page, W, H, LEFT, top, RIGHT, BOTTOM, 160, 24, 24);
    SetUpText(page);
    for (int i = 0; i < shown; i++) {
        char line[256];
        if (i == shown - 1 && count > shown)
            snprintf(line, sizeof line, "... and %d more", count - shown + 1);
        else
            snprintf(line, sizeof line, "%s", lines[i] ? lines[i] : "");
        size_t length = strlen(line);
        while (length > 3 && AuaTextWidth(line) > RIGHT - LEFT - 2 * MARGIN) {
            length--;
            memcpy(line + length - 3, "...", 4);
        }
        DrawText(LEFT + MARGIN, top + MENU_ROW_HEIGHT * (i + 1), line);
    }
}

void DrawSearchLine(uint32_t *page, const char *text, const char *note) {
    Blit(page, MENU_TOPBAR, 0, 0);
    SetUpText(page);
    DrawText(10, 13, "Search:");
    char line[128];
    snprintf(line, sizeof line, "%s_", text ? text : "");
    DrawText(60, 13, line);
    if (note && *note) {
        AuaSetColor(255, 200, 120);
        DrawText(630 - AuaTextWidth(note), 13, note);
    }
}
