// zarn-tool lint — checks a whole issue the way the reader meets it, without a
// window: zarn.cfg and its bounds, topics with articles, every article loaded,
// pre-scanned and every page laid out and drawn as the viewer draws it (any
// message box the reader would show is a problem), the fonts and pictures
// they name, the start-up pictures and the clock font, the three effects
// (8-bit mono WAV) and the music module (a loose file), when there is one. Problems are printed
// as "FILE: message"; the exit status is 1 when there is any.
//
// [SECTION] Problems and message boxes
// [SECTION] Sound files
// [SECTION] Checks
// [SECTION] Command

#include "tools/tool.h"

#include "app/clock.h"
#include "aua/aua.h"
#include "gfx/image.h"
#include "gfx/pixels.h"
#include "gfx/ttf.h"
#include "mag/config.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

namespace {

enum { LINT_PAGE_WIDTH = 640, LINT_PAGE_HEIGHT = 480 };

// [SECTION] Problems and message boxes

struct LintState {
    std::vector<std::string> problems;
    size_t boxesSeen;
};

LintState lint;

// A font that cannot be loaded is reported again at every reselection; one
// line per distinct problem is enough.
void Problem(const std::string &file, const std::string &message) {
    std::string line = file + ": " + message;
    for (const std::string &known : lint.problems)
        if (known == line) return;
    lint.problems.push_back(line);
}

// A box's text on one line: line breaks inside become blanks, trailing ones go.
std::string OneLine(const std::string &text) {
    std::string line;
    for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// Every message box shown since the last call becomes a problem of file.
// Returns how many there were.
int TakeBoxes(const std::string &file, const std::string &where) {
    const std::vector<HeadlessMessageBox> &boxes = HeadlessMessageBoxes();
    int taken = 0;
    for (; lint.boxesSeen < boxes.size(); lint.boxesSeen++, taken++)
        Problem(file, where + OneLine(boxes[lint.boxesSeen].text));
    return taken;
}

// [SECTION] Sound files

uint32_t Le32(const uint8_t *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24); }
uint32_t Le16(const uint8_t *p) { return p[0] | (p[1] << 8); }

// Walks the RIFF chunks of an effect: "fmt " must say 0 or 1 channels and 8
// bits, and a non-empty "data" chunk must follow. "" when it is fine.
std::string CheckEffect(const char *name) {
    DataFile *file = DataFileOpen(name, "rb");
    if (!file) return "effect not found";
    uint8_t header[12];
    std::string result;
    // Like the reader, only "RIFF" is required; the form type is not looked at.
    if (DataFileRead(header, 12, 1, file) != 1 || memcmp(header, "RIFF", 4) != 0) {
        DataFileClose(file);
        return "not a RIFF file";
    }
    bool haveFormat = false, haveData = false;
    uint8_t chunk[8];
    while (!haveData && DataFileRead(chunk, 8, 1, file) == 1) {
        uint32_t size = Le32(chunk + 4);
        int32_t next = DataFileTell(file) + (int32_t)((size + 1) & ~1u);
        if (memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t format[16];
            if (size < 16 || DataFileRead(format, 16, 1, file) != 1) {
                result = "\"fmt \" chunk too short";
                break;
            }
            haveFormat = true;
            unsigned channels = Le16(format + 2), bits = Le16(format + 14);
            if (channels > 1) {
                result = std::to_string(channels) + " channels (effects must be mono)";
                break;
            }
            if (bits != 8) {
                result = std::to_string(bits) + " bits per sample (effects must be 8-bit)";
                break;
            }
        } else if (memcmp(chunk, "data", 4) == 0) {
            haveData = true;
            // The reader takes only the bytes really there, whatever the chunk claims.
            int32_t dataOffset = DataFileTell(file), fileSize = -1;
            if (DataFileSeek(file, 0, 2)) fileSize = DataFileTell(file);
            int64_t available = (int64_t)fileSize - dataOffset;
            if (!haveFormat) result = "\"data\" chunk before \"fmt \"";
            else if (size == 0 || available <= 0) result = "no sample data";
            break;
        }
        if (size > 0x7FFFFFFEu || next < 0 || !DataFileSeek(file, next, 0)) break;
    }
    DataFileClose(file);
    if (result.empty() && !haveFormat) return "no \"fmt \" chunk";
    if (result.empty() && !haveData) return "no \"data\" chunk";
    return result;
}

// The music is read by the module player itself, from the directory only.
std::string CheckMusic(const char *name) {
    FILE *f = fopen(name, "rb");
    if (!f) return "music module is not a loose file in the issue directory";
    char magic[17];
    size_t got = fread(magic, 1, sizeof magic, f);
    fclose(f);
    if (got != sizeof magic || memcmp(magic, "Extended Module: ", sizeof magic) != 0) return "not an XM module";
    return "";
}

// [SECTION] Checks

void CheckStartupFiles() {
    const char *pictures[] = {"_full.jpg", "_help1.jpg", "_help2.jpg", "_topbar.jpg"};
    for (const char *name : pictures) {
        Picture picture = LoadPicture(name);
        if (!picture.pixels) Problem(name, "picture does not load");
        StackheapFree(picture.pixels);
    }
    if (!LoadClockFont()) Problem("_clkfont.bmp", "clock font does not load");
}

bool CheckConfig() {
    if (!LoadConfig()) {
        Problem("zarn.cfg", "cannot be opened");
        return false;
    }
    const ConfigTable *table = ConfigGetTable();
    const ConfigProblems *cuts = ConfigGetProblems();
    if (cuts->droppedEntries)
        Problem("zarn.cfg", "line " + std::to_string(cuts->firstDroppedLine) + ": " +
                                std::to_string(cuts->droppedEntries) + " entries beyond 64 ignored");
    for (int i = 0; i < table->count; i++) {
        std::string line = "line " + std::to_string(cuts->entryLines[i]) + ": ";
        if (cuts->entryCuts[i] & CONFIG_CUT_KEY1) Problem("zarn.cfg", line + "first word over 63 characters, cut");
        if (cuts->entryCuts[i] & CONFIG_CUT_KEY2) Problem("zarn.cfg", line + "second word over 63 characters, cut");
        if (cuts->entryCuts[i] & CONFIG_CUT_VALUE) Problem("zarn.cfg", line + "value over 63 characters, cut");
    }
    int topics = 0;
    for (int i = 0; i < table->count; i++) {
        const ConfigEntry &e = table->entries[i];
        if (!strcasecmp(e.key1, "topic")) {
            topics++;
            if (CountArticles(e.key2) == 0)
                Problem("zarn.cfg", "line " + std::to_string(cuts->entryLines[i]) + ": topic '" + e.key2 +
                                        "' has no articles");
        }
    }
    if (!topics) Problem("zarn.cfg", "no topics");
    return true;
}

// The menu's text is verdana at size 10, whatever the articles use.
void CheckMenuFont(uint32_t *page) {
    AuaSetTarget(page, LINT_PAGE_WIDTH, LINT_PAGE_HEIGHT);
    AuaSelectFont("verdana", 0, 0);
    AuaTextWidth("Menu");
    TakeBoxes("verdana.TTF", "menu font: ");
}

// Loads one article and draws all its pages in order, as the viewer would
// turn them, so that each page starts from the state the last one left.
void CheckArticle(const char *name, uint32_t *page) {
    Article article;
    memset(&article, 0, sizeof article);
    AuaSetTarget(page, LINT_PAGE_WIDTH, LINT_PAGE_HEIGHT);
    if (!AuaLoadArticle(name, &article)) {
        TakeBoxes(name, "");
        Problem(name, "article does not load");
        return;
    }
    int scanMessages = TakeBoxes(name, "");
    if (article.pageCount <= 0) {
        if (!scanMessages) Problem(name, "no pages found");
        AuaFreeArticle(&article);
        return;
    }
    article.textRect = AuaRect{20, 50, LINT_PAGE_WIDTH - 20, LINT_PAGE_HEIGHT - 80};
    for (int p = 0; p < article.pageCount; p++) {
        memset(page, 0, (size_t)LINT_PAGE_WIDTH * LINT_PAGE_HEIGHT * 4);
        article.currentPage = p;
        AuaDrawPage(page, LINT_PAGE_WIDTH, LINT_PAGE_HEIGHT, &article);
        TakeBoxes(name, "page " + std::to_string(p + 1) + ": ");
    }
    AuaFreeArticle(&article);
}

void CheckArticles(uint32_t *page) {
    const ConfigTable *table = ConfigGetTable();
    // An article is an entry whose key1 names a topic; each file is checked once.
    std::vector<std::string> done;
    for (int i = 0; i < table->count; i++) {
        const ConfigEntry &topic = table->entries[i];
        if (strcasecmp(topic.key1, "topic")) continue;
        int count = CountArticles(topic.key2);
        for (int n = 0; n < count; n++) {
            const ConfigEntry *article = ConfigGetEntry(FindArticleEntry(n, topic.key2));
            bool seen = false;
            for (const std::string &d : done) seen = seen || !strcasecmp(d.c_str(), article->key2);
            if (seen) continue;
            done.push_back(article->key2);
            if (!article->key2[0]) {
                Problem("zarn.cfg", std::string("article of topic '") + topic.key2 + "' has no file name");
                continue;
            }
            CheckArticle(article->key2, page);
        }
    }
}

void CheckSounds() {
    const char *effects[] = {"article", "page", "back"};
    for (const char *which : effects) {
        const char *name = ConfigEffectName(which);
        if (!name[0]) {
            Problem("zarn.cfg", std::string("no \"!sound ") + which + "\" entry");
            continue;
        }
        std::string problem = CheckEffect(name);
        if (!problem.empty()) Problem(name, problem);
    }
    // Music is optional: without a "!music main" entry the reader plays none.
    const char *music = ConfigMusicName();
    if (music[0]) {
        std::string problem = CheckMusic(music);
        if (!problem.empty()) Problem(music, problem);
    }
}

// [SECTION] Command

int Lint(int argc, char **argv) {
    if (ToolWantsHelp(argc, argv)) {
        printf("usage: zarn-tool lint [-C DIR]\n"
               "Checks the issue in DIR (default: the current directory) as the reader would meet it.\n"
               "Prints every problem as FILE: message and exits 1, or prints \"ok\" and exits 0.\n");
        return 0;
    }
    const char *directory = nullptr;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-C") && i + 1 < argc)
            directory = argv[++i];
        else
            return ToolFail("lint: unexpected argument '%s' (usage: zarn-tool lint [-C DIR])", argv[i]);
    }
    if (int status = ToolEnterIssue(directory)) return status;

    PlatformSelect("headless");
    StackheapInit(0);
    DetectMmx();
    TtfInit();
    lint.boxesSeen = 0;
    TakeBoxes("zarn-tool", "");

    std::vector<uint32_t> page((size_t)LINT_PAGE_WIDTH * LINT_PAGE_HEIGHT);
    CheckStartupFiles();
    TakeBoxes("zarn.dat", "");
    if (CheckConfig()) {
        TakeBoxes("zarn.cfg", "");
        CheckMenuFont(page.data());
        CheckArticles(page.data());
        CheckSounds();
    }
    TakeBoxes("zarn.dat", "");
    TtfShutdown();

    for (const std::string &problem : lint.problems) printf("%s\n", problem.c_str());
    if (!lint.problems.empty()) return 1;
    printf("ok\n");
    return 0;
}

}  // namespace

ZARN_TOOL_COMMAND("lint", Lint, "lint [-C DIR] — check a whole issue as the reader would meet it");
