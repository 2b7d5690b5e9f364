// zarn-tool sheet — one picture of a whole issue, for authors and editors
// before a release: the menu and every page of every article in reading
// order, composed as the reader composes them, as quarter-size thumbnails in
// four columns, each captioned with its topic, article and page. A screen
// on which the reader would show a message box (and stop) becomes a red
// tile carrying the message.
//
// [SECTION] Tiles
// [SECTION] Captions
// [SECTION] Command

#include "tools/screens.h"
#include "tools/tool.h"

#include "app/menuloop.h"
#include "app/viewer.h"
#include "aua/aua.h"
#include "gfx/display.h"
#include "gfx/image.h"
#include "mag/config.h"
#include "mag/menu.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

const char usage[] = "usage: zarn-tool sheet [-C DIR] [--time HH:MM] -o SHEET.png";

const char help[] =
    "usage: zarn-tool sheet [-C DIR] [--time HH:MM] -o SHEET.png\n"
    "\n"
    "Draws the whole issue in DIR (default: the current directory) on one picture:\n"
    "the menu, then every page of every article in reading order, each composed as\n"
    "the reader composes it and shown at a quarter of its size, four to a row, with\n"
    "its topic, article and page beneath. A screen on which the reader would show a\n"
    "message (and stop) is a red tile with the message on it; the messages are also\n"
    "printed on standard error and the exit status is then 1. Standard output lists\n"
    "the tiles in order. --time sets the clock shown on the screens.\n";

enum {
    SCREEN_WIDTH = MENU_PAGE_WIDTH,
    SCREEN_HEIGHT = MENU_PAGE_HEIGHT,
    SHRINK = 4,
    TILE_WIDTH = SCREEN_WIDTH / SHRINK,
    TILE_HEIGHT = SCREEN_HEIGHT / SHRINK,
    COLUMNS = 4,
    GAP = 10,
    CAPTION_HEIGHT = 30,
    CELL_WIDTH = TILE_WIDTH + GAP,
    CELL_HEIGHT = TILE_HEIGHT + CAPTION_HEIGHT + GAP,
    SHEET_WIDTH = GAP + COLUMNS * CELL_WIDTH,
    CAPTION_SIZE = 8,
};

const uint32_t sheetBackground = 0x202428;
const uint32_t failedTile = 0xB01818;

// [SECTION] Tiles -----------------------------------------------------------

struct Tile {
    std::vector<uint32_t> pixels; // TILE_WIDTH x TILE_HEIGHT
    std::string caption, detail;  // the two caption lines
    std::string error;            // the messages of a failed screen ("" when fine)
};

// Each thumbnail pixel is the mean of a SHRINK x SHRINK block of the screen.
std::vector<uint32_t> Shrink(const uint32_t *screen)
{
    std::vector<uint32_t> tile((size_t)TILE_WIDTH * TILE_HEIGHT);
    for (int y = 0; y < TILE_HEIGHT; y++)
        for (int x = 0; x < TILE_WIDTH; x++) {
            uint32_t red = 0, green = 0, blue = 0;
            for (int dy = 0; dy < SHRINK; dy++)
                for (int dx = 0; dx < SHRINK; dx++) {
                    uint32_t p = screen[(size_t)(y * SHRINK + dy) * SCREEN_WIDTH + x * SHRINK + dx];
                    red += (p >> 16) & 255;
                    green += (p >> 8) & 255;
                    blue += p & 255;
                }
            const uint32_t n = SHRINK * SHRINK;
            tile[(size_t)y * TILE_WIDTH + x] =
                ((red + n / 2) / n) << 16 | ((green + n / 2) / n) << 8 | (blue + n / 2) / n;
        }
    return tile;
}

struct SheetState {
    std::vector<Tile> tiles;
    size_t messagesSeen;
    int failures;
};

SheetState sheet;

// Adds the screen as a tile; the messages shown while it was composed make
// it a failed one, reported as FILE: message.
void AddTile(const uint32_t *screen, const std::string &caption, const std::string &detail, const std::string &file)
{
    Tile tile;
    tile.pixels = Shrink(screen);
    tile.caption = caption;
    tile.detail = detail;
    tile.error = ToolTakeMessages(&sheet.messagesSeen);
    if (!tile.error.empty()) {
        sheet.failures++;
        size_t start = 0;
        for (size_t end; (end = tile.error.find('\n', start)) != std::string::npos; start = end + 1)
            std::fprintf(stderr, "%s: %s\n", file.c_str(), tile.error.substr(start, end - start).c_str());
    }
    std::printf("%zu %s, %s%s\n", sheet.tiles.size() + 1, caption.c_str(), detail.c_str(),
                tile.error.empty() ? "" : " (failed)");
    sheet.tiles.push_back(tile);
}

void AddMenu(uint32_t *screen)
{
    ComposeMenuScreen(screen, 0);
    AddTile(screen, "Menu", std::to_string(MenuGetLayout()->topicCount) + " topics", "zarn.cfg");
}

// Every page of one article, in order, as the viewer turns them: each page
// starts from the state the one before it left.
void AddArticle(uint32_t *screen, const char *topicIdentifier, const std::string &topicText, int number)
{
    const ConfigEntry *entry = ConfigGetEntry(FindArticleEntry(number, topicIdentifier));
    char title[CONFIG_FIELD_BYTES], subtitle[CONFIG_FIELD_BYTES];
    SplitTitle(entry ? entry->value : "", title, subtitle);
    std::string caption = topicText + ": " + title;
    std::string file = entry ? entry->key2 : "zarn.cfg";
    static Article article;
    if (!entry || !AuaLoadArticle(entry->key2, &article)) {
        // The viewer stops here with its own message.
        FatalError("Can't load AUA!");
        std::memset(screen, 0, (size_t)SCREEN_WIDTH * SCREEN_HEIGHT * 4);
        AddTile(screen, caption, file + ", not loaded", file);
        return;
    }
    article.textRect = {20, 50, SCREEN_WIDTH - 20, SCREEN_HEIGHT - 80};
    int pages = article.pageCount > 0 ? article.pageCount : 1;
    for (int p = 0; p < pages; p++) {
        article.currentPage = p;
        std::memset(screen, 0, (size_t)SCREEN_WIDTH * SCREEN_HEIGHT * 4);
        ComposeArticleScreen(screen, &article, number, topicIdentifier);
        AddTile(screen, caption, file + ", page " + std::to_string(p + 1) + "/" + std::to_string(pages), file);
    }
    AuaFreeArticle(&article);
}

// [SECTION] Captions --------------------------------------------------------

// Text cut to width, ending in "..." when cut.
std::string Fit(const std::string &text, int width)
{
    if (AuaTextWidth(text.c_str()) <= width)
        return text;
    std::string cut = text;
    while (!cut.empty() && AuaTextWidth((cut + "...").c_str()) > width)
        cut.pop_back();
    return cut + "...";
}

void DrawLine(int x, int baseline, const std::string &text, int bold, int grey)
{
    AuaSelectFont("verdana", bold, 0);
    AuaSetSize(CAPTION_SIZE);
    AuaSetColor(grey, grey, grey);
    AuaMoveTo(x, baseline);
    AuaDrawText(Fit(text, TILE_WIDTH).c_str());
}

// The messages wrapped into the red tile, word by word.
void DrawError(int x, int y, const std::string &error)
{
    AuaSelectFont("verdana", 0, 0);
    AuaSetSize(CAPTION_SIZE);
    AuaSetColor(255, 255, 255);
    int baseline = y + CAPTION_SIZE + 6;
    std::string line, word;
    auto flush = [&]() {
        if (!line.empty() && baseline < y + TILE_HEIGHT) {
            AuaMoveTo(x + 4, baseline);
            AuaDrawText(Fit(line, TILE_WIDTH - 8).c_str());
        }
        baseline += CAPTION_SIZE + 5;
        line.clear();
    };
    for (size_t i = 0; i <= error.size(); i++) {
        char c = i < error.size() ? error[i] : '\n';
        if (c != ' ' && c != '\n') {
            word += c;
            continue;
        }
        std::string longer = line.empty() ? word : line + " " + word;
        if (!line.empty() && AuaTextWidth(longer.c_str()) > TILE_WIDTH - 8) {
            flush();
            longer = word;
        }
        line = longer;
        word.clear();
        if (c == '\n')
            flush();
    }
}

std::vector<uint32_t> DrawSheet(int *height)
{
    int rows = ((int)sheet.tiles.size() + COLUMNS - 1) / COLUMNS;
    *height = GAP + rows * CELL_HEIGHT;
    std::vector<uint32_t> pixels((size_t)SHEET_WIDTH * *height, sheetBackground);
    for (size_t i = 0; i < sheet.tiles.size(); i++) {
        const Tile &tile = sheet.tiles[i];
        int x = GAP + (int)(i % COLUMNS) * CELL_WIDTH, y = GAP + (int)(i / COLUMNS) * CELL_HEIGHT;
        for (int row = 0; row < TILE_HEIGHT; row++)
            for (int column = 0; column < TILE_WIDTH; column++)
                pixels[(size_t)(y + row) * SHEET_WIDTH + x + column] =
                    tile.error.empty() ? tile.pixels[(size_t)row * TILE_WIDTH + column] : failedTile;
    }
    // Text last: the engine's text operations draw into the whole sheet.
    AuaSetTarget(pixels.data(), SHEET_WIDTH, *height);
    for (size_t i = 0; i < sheet.tiles.size(); i++) {
        const Tile &tile = sheet.tiles[i];
        int x = GAP + (int)(i % COLUMNS) * CELL_WIDTH, y = GAP + (int)(i / COLUMNS) * CELL_HEIGHT;
        if (!tile.error.empty())
            DrawError(x, y, tile.error);
        DrawLine(x, y + TILE_HEIGHT + 12, tile.caption, 1, 230);
        DrawLine(x, y + TILE_HEIGHT + 25, tile.detail, 0, 170);
    }
    return pixels;
}

// [SECTION] Command ---------------------------------------------------------

int Sheet(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(help, stdout);
        return 0;
    }
    const char *directory = nullptr, *output = nullptr;
    int hour = -1, minute = -1;
    for (int i = 1; i < argc; i++) {
        bool more = i + 1 < argc;
        if (ToolTakeIssueOption(argc, argv, &i, &directory, &output))
            continue;
        if (!std::strcmp(argv[i], "--time") && more) {
            if (!ToolReadTime(argv[++i], &hour, &minute))
                return ToolFail("sheet: bad time '%s' (HH:MM)", argv[i]);
        } else
            return ToolFail("sheet: unexpected '%s'\n%s", argv[i], usage);
    }
    if (!output)
        return ToolFail("sheet: no output file (-o SHEET.png)\n%s", usage);
    std::error_code error;
    std::filesystem::path outputPath = std::filesystem::absolute(output, error);
    if (int status = ToolOpenScreens(directory, hour, minute))
        return status;
    // Messages of the start-up itself (a font the menu needs, say) belong to the menu's tile.
    sheet = SheetState();

    std::vector<uint32_t> screen((size_t)SCREEN_WIDTH * SCREEN_HEIGHT);
    AddMenu(screen.data());
    int topics = MenuGetLayout()->topicCount;
    for (int t = 0; t < topics; t++) {
        const ConfigEntry *topic = ConfigGetEntry(FindTopicEntry(t));
        char identifier[CONFIG_FIELD_BYTES];
        std::snprintf(identifier, sizeof identifier, "%s", topic ? topic->key2 : "");
        std::string text = topic ? topic->value : "";
        int count = CountArticles(identifier);
        for (int a = 0; a < count; a++)
            AddArticle(screen.data(), identifier, text, a);
    }

    int height = 0;
    std::vector<uint32_t> pixels = DrawSheet(&height);
    if (!SavePagePng(outputPath.c_str(), pixels.data(), SHEET_WIDTH, height))
        return ToolFail("sheet: cannot write '%s'", outputPath.c_str());
    std::printf("tiles %zu, failed %d\n", sheet.tiles.size(), sheet.failures);
    return sheet.failures ? 1 : 0;
}

} // namespace

ZARN_TOOL_COMMAND("sheet", Sheet, "sheet [-C DIR] [--time HH:MM] -o SHEET.png — the menu and every page of an issue on one picture");
