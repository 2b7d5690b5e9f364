// zarn-tool lint — checks a whole issue the way the reader meets it, running
// the reader's own code on the headless platform: the start-up files (clock
// font, 3D engine, the four pictures, zarn.cfg, the effects, the menu font,
// ball.v3d and its textures, the music), then every article loaded and every
// page composed as the viewer composes it, in order. What would stop the
// reader or bring up its error box is an error; what it accepts but an author
// would not want is a warning. Each problem is printed once, GNU style:
//
//   FILE:LINE:COLUMN: error: message      (or warning:)
//   FILE: error: message                  (a problem of the whole file)
//
// where FILE is a loose file's path, or zarn.dat(NAME) for an archive member.
// A summary line ends the report; the exit status is 1 when there is an error
// (with --strict, also a warning). The reader's own diagnostic lines and
// boxes are caught while it runs, so standard output carries only the report
// and standard error only the tool's own failures.
//
// [SECTION] Problems
// [SECTION] Output of the reader
// [SECTION] Watching the reader
// [SECTION] Start-up files
// [SECTION] zarn.cfg
// [SECTION] Effects, 3D and music
// [SECTION] Articles
// [SECTION] Archive members
// [SECTION] Command

#include "tools/tool.h"

#include "app/clock.h"
#include "app/outro.h"
#include "app/reading.h"
#include "app/viewer.h"
#include "aua/aua.h"
#include "engine3d/vx.h"
#include "gfx/display.h"
#include "gfx/image.h"
#include "gfx/pixels.h"
#include "gfx/ttf.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "platform/platform.h"
#include "sound/modplayer.h"
#include "sound/p_midas.h"
#include "store/datafile.h"
#include "store/settings.h"
#include "store/stackheap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// [SECTION] Problems ---------------------------------------------------------

enum Severity { LINT_ERROR, LINT_WARNING };

// Files are reported in this order: zarn.cfg, the articles in the order
// zarn.cfg lists them, then every other file by name.
enum { RANK_CONFIG = 0, RANK_FIRST_ARTICLE = 1, RANK_OTHER = 1 << 20 };

struct Problem {
    int rank;
    std::string file;  // as printed
    int line, column;  // 0, 0 for the whole file
    Severity severity;
    std::string message;
    bool oncePerFile;  // the same message elsewhere in the file is a repeat
};

// A box the reader brought up while lint ran its code.
struct ReaderMessage {
    std::string text;       // one line, without the banner around it
    int32_t position;       // AuaTextPosition when it came up
    std::string fontFile;   // the font the layout had selected then
    bool fromLayout;        // raised by AuaException
};

// Every DataFileOpen the reader made while lint recorded.
struct OpenRecord {
    std::string name;
    bool found, member;
    std::string loosePath;
};

struct LintState {
    std::vector<Problem> problems;
    std::vector<ReaderMessage> messages;  // not yet taken
    int layoutMessages;                   // AuaExceptionCount already seen
    std::vector<OpenRecord> opens;
    bool recordOpens;                     // opens are uses of the issue's files
    std::string probedPath;               // while not recording: the last loose path opened
    int musicFiles;                       // 1 when the music module was read
};

LintState lint;

bool SameName(const std::string &a, const std::string &b) { return DataFileSameName(a.c_str(), b.c_str()) != 0; }

void Report(int rank, const std::string &file, int line, int column, Severity severity, const std::string &message) {
    lint.problems.push_back(Problem{rank, file, line, column, severity, message, false});
}

// Where the reader found a file (its last successful open): the loose path,
// or zarn.dat(NAME); the bare name when it never found it.
std::string FileLabel(const std::string &name) {
    for (auto it = lint.opens.rbegin(); it != lint.opens.rend(); ++it) {
        if (!it->found || !SameName(it->name, name)) continue;
        return it->member ? "zarn.dat(" + name + ")" : it->loosePath;
    }
    return name;
}

bool WasFound(const std::string &name) {
    for (const OpenRecord &open : lint.opens)
        if (open.found && SameName(open.name, name)) return true;
    return false;
}

// [SECTION] Output of the reader ---------------------------------------------
// The reader writes its "+ " and "- " lines to standard output and some
// libraries write to standard error. While lint runs the reader's code, the
// platform catches both; what the reader said since the last look is read
// back here.

std::string CaughtOutput() {
    size_t length = 0;
    const char *text = PlatformCaughtOutput(&length);
    return std::string(text, length);
}

// The last "- " line the reader printed (its reason for a failure), or "".
std::string LastFailureLine(const std::string &text) {
    std::string last;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (line.compare(0, 2, "- ") == 0) last = line;
        start = end + 1;
    }
    return last;
}

// [SECTION] Watching the reader ----------------------------------------------

// A box's text on one line, without the banner around the message.
std::string MessageOfBox(const char *text) {
    char message[1024];
    ErrorBoxMessage(text, message, sizeof message);
    return message;
}

void WatchBox(const char *text) {
    int count = AuaExceptionCount();
    LayoutState state;
    AuaSaveState(&state);
    lint.messages.push_back(ReaderMessage{MessageOfBox(text), AuaTextPosition(), state.fontFile,
                                          count != lint.layoutMessages});
    lint.layoutMessages = count;
}

void WatchOpen(const char *name, const DataFile *file, const char *loosePath) {
    if (!lint.recordOpens) {
        lint.probedPath = loosePath ? loosePath : "";
        return;
    }
    lint.opens.push_back(OpenRecord{name, file != nullptr, file && file->kind == DATAFILE_MEMBER,
                                    loosePath ? loosePath : ""});
}

bool IsFontFailure(const std::string &message) { return message.compare(0, 15, "can't load font") == 0; }

// The boxes since the last call, with the boxes of one failed font request
// made one: the font layer's own box before "can't load font", and "can't
// load font" after "Too many fonts loaded!".
std::vector<ReaderMessage> TakeMessages() {
    std::vector<ReaderMessage> taken;
    for (size_t i = 0; i < lint.messages.size(); i++) {
        const ReaderMessage &m = lint.messages[i];
        bool next = i + 1 < lint.messages.size();
        if (next && !m.fromLayout && lint.messages[i + 1].fromLayout && IsFontFailure(lint.messages[i + 1].text) &&
            lint.messages[i + 1].position == m.position)
            continue;
        if (!taken.empty() && IsFontFailure(m.text) && taken.back().text == "Too many fonts loaded!" &&
            taken.back().position == m.position)
            continue;
        taken.push_back(m);
    }
    lint.messages.clear();
    return taken;
}

// A message about a font, or from the font layer, is one problem however
// often a page asks for that font again.
bool OncePerFile(const ReaderMessage &m) {
    return !m.fromLayout || IsFontFailure(m.text) || m.text == "Too many fonts loaded!";
}

// Reports the messages taken: inside an article at the place the layout was
// reading (text given), elsewhere for the font in use.
void ReportMessages(const std::vector<ReaderMessage> &messages, int rank, const std::string &file,
                    const Article *article) {
    for (const ReaderMessage &m : messages) {
        if (article && article->text && m.position >= 0) {
            int line, column;
            AuaLineAndColumn(article, m.position, &line, &column);
            Report(rank, file, line, column, LINT_ERROR, m.text);
        } else {
            Report(RANK_OTHER, m.fontFile.empty() ? "zarn.dat" : m.fontFile, 0, 0, LINT_ERROR, m.text);
        }
        lint.problems.back().oncePerFile = OncePerFile(m);
    }
}

// [SECTION] Start-up files -----------------------------------------------------

std::string NotFoundOr(const std::string &name, const char *otherwise) {
    return WasFound(name) ? otherwise : "not found";
}

void CheckClockFont() {
    if (LoadClockFont()) return;
    Report(RANK_OTHER, FileLabel("_clkfont.bmp"), 0, 0, LINT_ERROR,
           NotFoundOr("_clkfont.bmp", "the clock font does not load") +
               ": the reader stops with \"- error loading clock-font!\"");
}

bool CheckEngine3d() {
    size_t first = lint.opens.size();
    if (VxInit(appSettings.screenWidth, appSettings.screenHeight)) return true;
    std::string missing;
    for (size_t i = first; i < lint.opens.size(); i++)
        if (!lint.opens[i].found) missing += (missing.empty() ? "" : ", ") + lint.opens[i].name;
    Report(RANK_OTHER, "zarn.dat", 0, 0, LINT_ERROR,
           "the 3D engine does not start (the reader stops with \"- can't init vx3d!\")" +
               (missing.empty() ? std::string() : "; not found: " + missing));
    return false;
}

void CheckPictures() {
    MenuLoadPictures();
    for (int i = 0; i < MENU_PICTURES; i++) {
        if (MenuGetPicture(i)->pixels) continue;
        std::string name = MenuPictureName(i);
        Report(RANK_OTHER, FileLabel(name), 0, 0, LINT_ERROR,
               NotFoundOr(name, "the picture does not load") + ": the reader stops with \"- bitmaps not loaded!\"");
    }
}

// [SECTION] zarn.cfg -----------------------------------------------------------

struct ConfigCheck {
    std::string label;                 // how zarn.cfg is printed
    std::vector<std::string> ignored;  // key2 of the entries the reader ignores
};

ConfigCheck configCheck;

void ReportAt(int entry, int part, Severity severity, const std::string &message) {
    const ConfigPlace *places = ConfigGetProblems()->entryPlaces[entry];
    ConfigPlace place = places[part].line ? places[part] : places[CONFIG_KEY1];
    Report(RANK_CONFIG, configCheck.label, place.line, place.column, severity, message);
}

bool IsTopic(const ConfigEntry &e) { return DataFileSameName(e.key1, "topic"); }

bool CheckConfig() {
    if (!LoadConfig()) {
        Report(RANK_CONFIG, "zarn.cfg", 0, 0, LINT_ERROR, "not found: the reader stops with \"- config not loaded!\"");
        return false;
    }
    configCheck.label = FileLabel("zarn.cfg");
    const ConfigTable *table = ConfigGetTable();
    const ConfigProblems *problems = ConfigGetProblems();
    if (problems->droppedEntries)
        Report(RANK_CONFIG, configCheck.label, problems->firstDropped.line, problems->firstDropped.column,
               LINT_WARNING,
               std::to_string(problems->droppedEntries) + " entries beyond the 64th are ignored, this one first");
    int topics = 0;
    for (int i = 0; i < table->count; i++) {
        const ConfigEntry &e = table->entries[i];
        uint8_t cuts = problems->entryCuts[i];
        if (cuts & CONFIG_CUT_KEY1) ReportAt(i, CONFIG_KEY1, LINT_WARNING, "word over 63 characters, cut");
        if (cuts & CONFIG_CUT_KEY2) ReportAt(i, CONFIG_KEY2, LINT_WARNING, "word over 63 characters, cut");
        if (cuts & CONFIG_CUT_VALUE) ReportAt(i, CONFIG_VALUE, LINT_WARNING, "value over 63 characters, cut");
        if (IsTopic(e)) {
            topics++;
            if (CountArticles(e.key2) == 0)
                ReportAt(i, CONFIG_KEY2, LINT_ERROR,
                         std::string("topic '") + e.key2 +
                             "' has no articles: opening it stops the reader with \"Topic index not found!\"");
        } else if (DataFileSameName(e.key1, "!music") || DataFileSameName(e.key1, "!sound")) {
            bool music = DataFileSameName(e.key1, "!music");
            bool known = music ? DataFileSameName(e.key2, "main")
                               : DataFileSameName(e.key2, "article") || DataFileSameName(e.key2, "page") ||
                                     DataFileSameName(e.key2, "back");
            if (!known)
                ReportAt(i, CONFIG_KEY2, LINT_WARNING,
                         std::string("entry ignored: the reader asks for ") +
                             (music ? "\"!music main\"" : "\"!sound\" article, page and back") + " only");
            else if (ConfigFindEntry(e.key1, e.key2) != i)
                ReportAt(i, CONFIG_KEY1, LINT_WARNING, "entry ignored: an earlier entry has the same keys");
        } else if (e.key1[0] != '!' && ConfigFindEntry("topic", e.key1) < 0) {
            // Other "!" entries are settings for the authors' tools, not typing errors.
            configCheck.ignored.push_back(e.key2);
            ReportAt(i, CONFIG_KEY1, LINT_WARNING,
                     std::string("entry ignored: there is no topic '") + e.key1 + "'");
        }
    }
    if (!topics)
        Report(RANK_CONFIG, configCheck.label, 0, 0, LINT_ERROR,
               "no topics: Enter on the empty menu stops the reader with \"menu-index not found!\"");
    return true;
}

// [SECTION] Effects, 3D and music ----------------------------------------------

void CheckEffects() {
    const char *effects[] = {"article", "page", "back"};
    const char *stop = ": the reader stops with \"- error loading sfx! (samples have to be 8-bit mono wav)\"";
    for (const char *which : effects) {
        const char *name = ConfigEffectName(which);
        if (!name[0]) {
            Report(RANK_CONFIG, configCheck.label, 0, 0, LINT_ERROR,
                   std::string("no \"!sound ") + which + "\" entry" + stop);
            continue;
        }
        SoundEffect effect = {};
        EffectFault fault = ReadEffect(&effect, name);
        StackheapFree(effect.data);
        const char *why = fault == EFFECT_NOT_RIFF        ? "the effect is not a WAV file (no \"RIFF\" at its start)"
                          : fault == EFFECT_NO_FORMAT     ? "the effect has no \"fmt \" chunk"
                          : fault == EFFECT_NOT_8BIT_MONO ? "the effect is not 8-bit mono"
                          : fault == EFFECT_NO_SAMPLES    ? "the effect has no sample data"
                          : fault == EFFECT_NO_MEMORY     ? "the effect is too large to load"
                                                          : nullptr;
        if (fault == EFFECT_NOT_FOUND)
            ReportAt(ConfigFindEntry("!sound", which), CONFIG_VALUE, LINT_ERROR,
                     std::string("effect '") + name + "' not found" + stop);
        else if (why)
            Report(RANK_OTHER, FileLabel(name), 0, 0, LINT_ERROR, std::string(why) + stop);
    }
}

// The ball and the textures it names; a texture that cannot be read is
// replaced by the engine's default one.
void CheckBall(VxScene *ball) {
    CaughtOutput();
    if (!VxLoadScene(ball, "ball.v3d")) {
        std::string reason = LastFailureLine(CaughtOutput());
        std::string what = WasFound("ball.v3d") ? "the 3D file does not load" : "not found";
        if (WasFound("ball.v3d") && !reason.empty()) what += " (\"" + reason + "\")";
        Report(RANK_OTHER, FileLabel("ball.v3d"), 0, 0, LINT_ERROR,
               what + ": the reader ends at start-up without a message");
        return;
    }
    std::vector<std::string> missing;
    for (int32_t o = 0; o < VxSceneObjectCount(ball); o++) {
        const VxObject &object = ball->objects[o];
        if (object.kind != VX_MODEL || !object.payload) continue;
        const VxMesh *mesh = (const VxMesh *)object.payload;
        for (int32_t f = 0; f < mesh->faceCount; f++) {
            const VxFace &face = mesh->faces[f];
            if (face.texName1[0] && face.tex1 == 0) missing.push_back(face.texName1);
            if (face.texName2[0] && face.tex2 == 0) missing.push_back(face.texName2);
        }
    }
    std::vector<std::string> reported;
    for (const std::string &name : missing) {
        if (std::find(reported.begin(), reported.end(), name) != reported.end()) continue;
        reported.push_back(name);
        Report(RANK_OTHER, FileLabel("ball.v3d"), 0, 0, LINT_WARNING,
               "texture '" + name + ".bmp' not found: the default texture is drawn instead");
    }
}

bool IsArchiveMember(const std::string &name) {
    for (int32_t i = 0; i < ArchiveMemberCount(); i++)
        if (SameName(ArchiveMemberName(i), name)) return true;
    return false;
}

// The module player reads the music itself, from the issue directory only.
void CheckMusic() {
    // Music is optional: without a "!music main" entry the reader plays none.
    const char *name = ConfigMusicName();
    if (!name[0]) return;
    const char *stop = ": the reader ends at start-up without a message";
    MpModule *module = nullptr;
    if (MpLoadModule(name, &module) == MP_OK) {
        MpFreeModule(module);
        lint.musicFiles = 1;
        return;
    }
    if (PlatformGetFileKind(name) == FILE_MISSING)
        ReportAt(ConfigFindEntry("!music", "main"), CONFIG_VALUE, LINT_ERROR,
                 std::string("music '") + name + "' not found in the issue directory" +
                     (IsArchiveMember(name) ? " (the module player does not read zarn.dat)" : "") + stop);
    else
        Report(RANK_OTHER, name, 0, 0, LINT_ERROR, std::string("not a module the player can load") + stop);
}

// [SECTION] Articles -----------------------------------------------------------

// A picture a page placed, as the layout tells it.
struct PlacedPicture {
    std::string file;
    int32_t width, height;
    int32_t position;  // the offset of its tag
};

// A style the article turned on: where the tag that did it stands, -1 while off.
struct StyleOn {
    int32_t bold = -1, italic = -1, underline = -1;
};

struct ArticleCheck {
    std::string name, label;
    int rank;
    Article article;
    bool errorOnPage;  // the layout failed on the page: where it stopped tells nothing
    std::vector<PlacedPicture> pictures;  // placed on the page being checked
    StyleOn styles;
};

// The layout tells lint what it does while a page is composed.
void OnPicture(void *context, const char *file, const uint32_t *, int32_t width, int32_t height, int, int,
               const char *) {
    static_cast<ArticleCheck *>(context)->pictures.push_back(PlacedPicture{file, width, height, AuaTextPosition()});
}

// A style stays open at the tag that turned it on until one turns it off.
void OnTag(void *context, const char *, int32_t position) {
    StyleOn &styles = static_cast<ArticleCheck *>(context)->styles;
    LayoutState state;
    AuaSaveState(&state);
    auto follow = [position](int32_t on, int32_t &openedAt) {
        if (!on)
            openedAt = -1;
        else if (openedAt < 0)
            openedAt = position;
    };
    follow(state.bold, styles.bold);
    follow(state.italic, styles.italic);
    follow(state.underline, styles.underline);
}

void ReportInArticle(ArticleCheck &check, int32_t offset, Severity severity, const std::string &message) {
    int line = 0, column = 0;
    if (offset >= 0) AuaLineAndColumn(&check.article, offset, &line, &column);
    Report(check.rank, check.label, line, column, severity, message);
}

// Offset of the first byte after offset (up to end) that is not blank or a
// control character; -1 when there is none.
int32_t FirstInk(const Article &article, int32_t offset, int32_t end) {
    for (int32_t i = offset; i < end && i < article.textSize; i++)
        if (article.text[i] > 32) return i;
    return -1;
}

void CheckLinks(ArticleCheck &check) {
    int count = 0;
    const PageLink *links = AuaGetLinks(&count);
    for (int i = 0; i < count; i++)
        if (!LinkTargetAllowed(links[i].target))
            ReportInArticle(check, links[i].textPosition, LINT_WARNING,
                            std::string("link target '") + links[i].target +
                                "' is refused by the reader: it opens web and mail addresses and documents of "
                                "the issue only");
}

// Pictures the page placed: wider or taller than the text area they are cut
// off by the screen's edges or run over the key bar.
void CheckPictureSizes(ArticleCheck &check) {
    int32_t areaWidth = check.article.textRect.right - check.article.textRect.left;
    int32_t areaHeight = check.article.textRect.bottom - check.article.textRect.top;
    for (const PlacedPicture &picture : check.pictures)
        if (picture.width > areaWidth || picture.height > areaHeight)
            ReportInArticle(check, picture.position, LINT_WARNING,
                            "picture '" + picture.file + "' is " + std::to_string(picture.width) + "x" +
                                std::to_string(picture.height) + ", larger than the text area (" +
                                std::to_string(areaWidth) + "x" + std::to_string(areaHeight) + ")");
}

// Text after the point where a page stopped and before the next page start
// is on no page.
void CheckUnshownText(ArticleCheck &check, int page) {
    const Article &article = check.article;
    int32_t end = AuaPageEnd();
    int32_t next = page + 1 < article.pageCount ? article.pageStart[page + 1] : article.textSize;
    if (check.errorOnPage || end < 0) return;
    int32_t ink = FirstInk(article, end, next);
    if (ink < 0) return;
    LayoutState state;
    AuaSaveState(&state);
    std::string number = std::to_string(page + 1);
    if (state.penY > article.textRect.bottom)
        ReportInArticle(check, ink, LINT_WARNING,
                        "page " + number + " is full: the text from here to the next page is never shown");
    else if (page + 1 == AUA_MAX_PAGES)
        ReportInArticle(check, ink, LINT_WARNING,
                        "text after the 50th page start is never shown: an article has at most 50 pages");
    else
        ReportInArticle(check, ink, LINT_WARNING,
                        "text after the end of page " + number +
                            " is never shown: only a tag of exactly <newpage> starts a page");
}

// After the last page: styles still on (reported at the tag that turned
// each on), and a link still open, which the reader carries into whatever
// article it shows next.
void CheckArticleEnd(ArticleCheck &check) {
    const Article &article = check.article;
    int32_t end = article.textSize;
    while (end > 0 && article.text[end - 1] <= 32) end--;
    LayoutState state;
    AuaSaveState(&state);
    auto at = [end](int32_t openedAt) { return openedAt >= 0 ? openedAt : end; };
    if (state.bold)
        ReportInArticle(check, at(check.styles.bold), LINT_WARNING,
                        "bold is still on at the end of the article: <b> without </b>");
    if (state.italic)
        ReportInArticle(check, at(check.styles.italic), LINT_WARNING,
                        "italic is still on at the end of the article: <i> without </i>");
    if (state.underline)
        ReportInArticle(check, at(check.styles.underline), LINT_WARNING,
                        "underline is still on at the end of the article: <ul> without </ul>");
    // Closing a link reports "</link> without <link>!" unless one is open; so
    // a silent close finds an open link (and closes it for the next article).
    size_t before = lint.messages.size();
    AuaCloseLink();
    if (lint.messages.size() == before)
        ReportInArticle(check, end, LINT_ERROR,
                        "a <link> is still open at the end of the article: the next <link> the reader meets, in "
                        "any article, stops it with \"Unfinished link!\"");
    lint.messages.resize(before);
}

void CheckArticle(const ConfigEntry &entry, int entryIndex, int articleNumber, int rank, uint32_t *page) {
    ArticleCheck check;
    check.name = entry.key2;
    check.rank = rank;
    memset(&check.article, 0, sizeof check.article);
    Article &article = check.article;
    if (!ReadingLoadArticleFile(entry.key2, &article)) {
        ReportAt(entryIndex, CONFIG_KEY2, LINT_ERROR,
                 std::string("article '") + entry.key2 + "' " + NotFoundOr(entry.key2, "does not load") +
                     ": showing it stops the reader with \"Can't load AUA!\"");
        TakeMessages();
        return;
    }
    check.label = FileLabel(check.name);
    ReportMessages(TakeMessages(), rank, check.label, &article);
    AuaWalker walker = {&check, nullptr, OnPicture, nullptr, nullptr, nullptr, OnTag};
    for (int p = 0; p < article.pageCount; p++) {
        article.currentPage = p;
        size_t firstProblem = lint.problems.size();
        check.pictures.clear();
        AuaSetWalker(&walker);
        ComposeArticleScreen(page, &article, articleNumber, entry.key1);
        AuaSetWalker(nullptr);
        ReportMessages(TakeMessages(), rank, check.label, &article);
        check.errorOnPage = false;
        for (size_t i = firstProblem; i < lint.problems.size(); i++)
            check.errorOnPage = check.errorOnPage || lint.problems[i].file == check.label;
        CheckLinks(check);
        CheckPictureSizes(check);
        CheckUnshownText(check, p);
    }
    if (article.pageCount > 0) CheckArticleEnd(check);
    AuaFreeArticle(&article);
}

void CheckArticles(uint32_t *page) {
    const ConfigTable *table = ConfigGetTable();
    std::vector<std::string> checked;
    int rank = RANK_FIRST_ARTICLE;
    for (int i = 0; i < table->count; i++) {
        const ConfigEntry &e = table->entries[i];
        if (IsTopic(e) || ConfigFindEntry("topic", e.key1) < 0) continue;
        // The article's number within its topic, as the viewer counts.
        int number = 0;
        for (int j = 0; j < i; j++) number += SameName(table->entries[j].key1, e.key1);
        bool seen = false;
        for (const std::string &name : checked) seen = seen || SameName(name, e.key2);
        if (seen) continue;
        checked.push_back(e.key2);
        CheckArticle(e, i, number, rank++, page);
    }
}

// [SECTION] Archive members ----------------------------------------------------

bool IsArticleName(const std::string &name) {
    return name.size() > 4 && DataFileSameName(name.c_str() + name.size() - 4, ".txt");
}

// Members nothing opened, and loose files that take a member's place. Run
// after every other check: the opens made here are not uses.
void CheckMembers() {
    lint.recordOpens = false;
    for (int32_t i = 0; i < ArchiveMemberCount(); i++) {
        std::string name = ArchiveMemberName(i);
        DataFileClose(DataFileOpen(name.c_str(), "rb"));
        std::string loosePath = lint.probedPath;
        if (!loosePath.empty()) {
            Report(RANK_OTHER, loosePath, 0, 0, LINT_WARNING,
                   "takes the place of member '" + name + "' of zarn.dat: the reader uses this loose file");
            continue;
        }
        bool used = false;
        for (const OpenRecord &open : lint.opens) used = used || (open.found && open.member && SameName(open.name, name));
        if (used) continue;
        bool listedButIgnored = false;
        for (const std::string &ignored : configCheck.ignored) listedButIgnored = listedButIgnored || SameName(ignored, name);
        if (listedButIgnored) continue;
        Report(RANK_OTHER, "zarn.dat(" + name + ")", 0, 0, LINT_WARNING,
               IsArticleName(name) ? "an article no zarn.cfg entry lists" : "nothing in the issue uses this member");
    }
}

// Distinct files the checks read: through the file layer, the fonts and the music.
int FilesRead() {
    std::vector<std::string> labels;
    for (const OpenRecord &open : lint.opens) {
        if (!open.found) continue;
        std::string label = open.member ? "zarn.dat(" + open.name + ")" : open.loosePath;
        bool seen = false;
        for (const std::string &l : labels) seen = seen || SameName(l, label);
        if (!seen) labels.push_back(label);
    }
    return (int)labels.size() + AuaFontCount() + lint.musicFiles;
}

// [SECTION] Command ------------------------------------------------------------

const char kLintHelp[] =
    "usage: zarn-tool lint [-C DIR] [--strict]\n"
    "\n"
    "Checks the issue in DIR (default: the current directory) as the reader meets it,\n"
    "with the reader's own code: zarn.cfg, the start-up pictures and clock font, the\n"
    "effects, the music, ball.v3d and its textures, every article page by page with\n"
    "the fonts, pictures and links it names, and the members of zarn.dat.\n"
    "\n"
    "Each problem is printed once, as FILE:LINE:COLUMN: error: MESSAGE (or warning:),\n"
    "or FILE: error: MESSAGE for a whole file; FILE is a loose file's path or\n"
    "zarn.dat(NAME) for an archive member, after DIR/ when -C is given. Errors are\n"
    "what stops the reader or brings up its error box; warnings are what it accepts\n"
    "but an author would not want. A summary line follows.\n"
    "\n"
    "Exit status: 1 when there is an error (with --strict, also a warning), else 0.\n";

// Files in the stable order, within a file by line and column; repeats dropped.
void SortAndDeduplicate() {
    std::vector<Problem> &all = lint.problems;
    // A file reported as an article keeps that place for all its problems.
    for (Problem &p : all)
        for (const Problem &q : all)
            if (q.rank < p.rank && q.file == p.file) p.rank = q.rank;
    std::stable_sort(all.begin(), all.end(), [](const Problem &a, const Problem &b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        if (a.rank == RANK_OTHER && a.file != b.file) return a.file < b.file;
        if (a.line != b.line) return a.line < b.line;
        return a.column < b.column;
    });
    std::vector<Problem> kept;
    for (const Problem &p : all) {
        bool repeat = false;
        for (const Problem &k : kept)
            repeat = repeat || (k.file == p.file && k.message == p.message && k.severity == p.severity &&
                                ((k.line == p.line && k.column == p.column) || p.oncePerFile));
        if (!repeat) kept.push_back(p);
    }
    all = kept;
}

} // namespace

int ToolLintIssue(const char *directory, bool strict, int *errorCount) {
    if (errorCount) *errorCount = 0;
    if (int status = ToolEnterIssue(directory)) return status;
    if (!PlatformCatchOutput())
        return ToolFail("lint: cannot set up a scratch file for the reader's output");

    PlatformSelect("headless");
    StackheapInit(0);
    lint.recordOpens = true;
    DataFileWatchOpens(WatchOpen);
    ErrorBoxSetWatcher(WatchBox);
    std::vector<uint32_t> page((size_t)appSettings.screenWidth * appSettings.screenHeight);

    // The reader's start-up order.
    if (PlatformGetFileKind("zarn.dat") != FILE_MISSING && !ArchiveMemberCount() && !ArchiveSetName("zarn.dat"))
        Report(RANK_OTHER, "zarn.dat", 0, 0, LINT_WARNING, "not an archive the reader can read: it uses loose files only");
    CheckClockFont();
    bool engine = CheckEngine3d();
    CheckPictures();
    DetectMmx();
    TtfInit();
    ReportMessages(TakeMessages(), RANK_OTHER, "", nullptr);
    VxScene ball = {};
    if (CheckConfig()) {
        CheckEffects();
        MeasureMenu(page.data());
        ReportMessages(TakeMessages(), RANK_OTHER, "", nullptr);
        if (engine) {
            CheckBall(&ball);
            OutroSecondLayer();  // the outro's own texture is a use as well
        }
        CheckMusic();
        CheckArticles(page.data());
    }
    int files = FilesRead();
    CheckMembers();

    DataFileWatchOpens(nullptr);
    ErrorBoxSetWatcher(nullptr);
    if (engine) {
        VxFreeScene(&ball);
        VxShutdown();
    }
    MenuFreePictures();
    TtfShutdown();
    PlatformReleaseOutput();

    SortAndDeduplicate();
    // Paths lead from where lint was started, so that an editor finds them.
    std::string prefix = directory ? directory : "";
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    int errors = 0, warnings = 0;
    for (const Problem &p : lint.problems) {
        if (p.line > 0)
            printf("%s%s:%d:%d: ", prefix.c_str(), p.file.c_str(), p.line, p.column);
        else
            printf("%s%s: ", prefix.c_str(), p.file.c_str());
        printf("%s: %s\n", p.severity == LINT_ERROR ? "error" : "warning", p.message.c_str());
        (p.severity == LINT_ERROR ? errors : warnings)++;
    }
    printf("%d error%s, %d warning%s in %d file%s\n", errors, errors == 1 ? "" : "s", warnings,
           warnings == 1 ? "" : "s", files, files == 1 ? "" : "s");
    if (errorCount) *errorCount = errors;
    if (fflush(stdout) != 0) return ToolFail("standard output: write failed");
    return errors || (strict && warnings) ? 1 : 0;
}

namespace {

int Lint(int argc, char **argv) {
    if (ToolWantsHelp(argc, argv)) {
        fputs(kLintHelp, stdout);
        return 0;
    }
    const char *directory = nullptr;
    bool strict = false;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "-C") && i + 1 < argc)
            directory = argv[++i];
        else if (!strcmp(argv[i], "--strict"))
            strict = true;
        else
            return ToolFail("lint: unexpected argument '%s' (usage: zarn-tool lint [-C DIR] [--strict])", argv[i]);
    }
    return ToolLintIssue(directory, strict, nullptr);
}

} // namespace

ZARN_TOOL_COMMAND("lint", Lint, "lint [-C DIR] [--strict] — check a whole issue as the reader would meet it");
