// The live preview: the issue directory watched through the platform's file
// changes, what the whole run keeps read again when its file is saved, and
// the reader's error boxes caught while the preview runs, printed and kept
// for the screen they belong to.
//
// [SECTION] State
// [SECTION] Starting and stopping
// [SECTION] Reloading
// [SECTION] Problems
#include "app/watch.h"

#include "app/clock.h"
#include "app/session.h"
#include "gfx/display.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "platform/platform.h"
#include "store/datafile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// [SECTION] State ---------------------------------------------------------------

namespace {

enum CatchScope { SCOPE_PRINT, SCOPE_LOAD, SCOPE_DRAW };

struct Problem {
    std::string line;
    CatchScope scope; // SCOPE_LOAD or SCOPE_DRAW: which of the screen's steps raised it
};

struct WatchState {
    int requested;
    int active;
    CatchScope scope;
    const Article *article;
    int quiet;                           // boxes raised meanwhile are dropped
    std::vector<Problem> screen;         // the problems of the screen shown
    std::vector<std::string> printed;    // printed since the last reload
};

WatchState watch = {0, 0, SCOPE_PRINT, nullptr, 0, {}, {}};

void Say(const char *format, const char *text)
{
    printf(format, text);
    fflush(stdout);
}

void CatchBox(const char *text);

} // namespace

// [SECTION] Starting and stopping -----------------------------------------------

void WatchRequest(int on)
{
    watch.requested = on;
}

int WatchStart()
{
    if (!watch.requested || watch.active)
        return watch.active;
    char here[4096];
    if (!PlatformCanonicalPath(".", here, sizeof here))
        snprintf(here, sizeof here, ".");
    int result = PlatformWatchDirectory(".");
    if (result != WATCH_STARTED) {
        Say(result == WATCH_UNSUPPORTED ? "- live preview: this system cannot tell when files change%s\n"
                                        : "- live preview: cannot watch '%s'\n",
            result == WATCH_UNSUPPORTED ? "" : here);
        return 0;
    }
    watch.active = 1;
    ErrorBoxSetCatcher(CatchBox);
    Say("+ watching %s\n", here);
    return 1;
}

void WatchStop()
{
    if (!watch.active)
        return;
    PlatformStopWatching();
    ErrorBoxSetCatcher(nullptr);
    watch.active = 0;
    watch.scope = SCOPE_PRINT;
    watch.article = nullptr;
    watch.screen.clear();
    watch.printed.clear();
}

int WatchActive()
{
    return watch.active;
}

// [SECTION] Reloading -----------------------------------------------------------

namespace {

int EndsWith(const std::string &name, const char *suffix)
{
    size_t length = strlen(suffix);
    return name.size() >= length && DataFileSameName(name.c_str() + name.size() - length, suffix);
}

int IsPicture(const std::string &name)
{
    return EndsWith(name, ".bmp") || EndsWith(name, ".jpg") || EndsWith(name, ".jpeg");
}

int IsStartUpPicture(const std::string &name)
{
    for (int i = 0; i < MENU_PICTURES; i++)
        if (DataFileSameName(name.c_str(), MenuPictureName(i)))
            return 1;
    return 0;
}

// An article: the file of an entry that is neither a topic nor a setting.
int IsArticle(const std::string &name)
{
    const ConfigTable *table = ConfigGetTable();
    for (int i = 0; i < table->count; i++) {
        const ConfigEntry &entry = table->entries[i];
        if (entry.key1[0] != '!' && !DataFileSameName(entry.key1, "topic") &&
            DataFileSameName(entry.key2, name.c_str()))
            return 1;
    }
    return 0;
}

std::string BaseName(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// zarn.cfg read again, unless it cannot be read at all (half-written, or
// deleted on the way to a new one): the table read before then stays.
int ReloadConfig()
{
    DataFile *probe = DataFileOpen("zarn.cfg", "rb");
    if (!probe) {
        Say("- %s cannot be read: the reader keeps the one it read before\n", "zarn.cfg");
        return 0;
    }
    DataFileClose(probe);
    LoadConfig();
    return 1;
}

void ReloadStartUpPictures()
{
    MenuFreePictures();
    MenuLoadPictures();
    for (int i = 0; i < MENU_PICTURES; i++)
        if (!MenuGetPicture(i)->pixels)
            Say("- %s does not load: the screens are drawn without it\n", MenuPictureName(i));
}

// A link left open by an article that has been fixed must not be reported in
// the next one the reader lays out.
void ForgetOpenLink()
{
    watch.quiet = 1;
    AuaCloseLink();
    watch.quiet = 0;
}

} // namespace

int WatchReload()
{
    if (!watch.active)
        return 0;
    std::vector<std::string> names;
    char name[4096];
    while (PlatformTakeChangedFile(name, sizeof name))
        names.push_back(name);
    if (names.empty())
        return 0;

    // The archive and zarn.cfg first: what they list decides what the other
    // names are.
    // Only files where the reader looks: the directory and its loose-file folders.
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string &path) { return !DataFileLooseFolder(path.c_str()); }),
                names.end());
    int archive = 0, config = 0;
    for (const std::string &path : names) {
        std::string base = BaseName(path);
        if (base == path && DataFileSameName(base.c_str(), "zarn.dat"))
            archive = 1;
        else if (DataFileSameName(base.c_str(), "zarn.cfg"))
            config = 1;
        else
            continue;
        Say("+ reloaded %s\n", path.c_str());
    }
    if (archive)
        ArchiveReopen();
    int configRead = (archive || config) && ReloadConfig();

    int changed = archive || config, startUp = archive, clock = archive, fonts = 0;
    for (const std::string &path : names) {
        std::string base = BaseName(path);
        if ((base == path && DataFileSameName(base.c_str(), "zarn.dat")) || DataFileSameName(base.c_str(), "zarn.cfg"))
            continue;
        int isFont = EndsWith(base, ".ttf");
        if (!isFont && !IsPicture(base) && !IsArticle(base))
            continue;
        fonts |= isFont;
        startUp |= IsStartUpPicture(base);
        clock |= DataFileSameName(base.c_str(), "_clkfont.bmp");
        changed = 1;
        // Deleted, or the archive's member of that name now shows through.
        DataFile *file = DataFileOpen(base.c_str(), "rb");
        Say(file ? "+ reloaded %s\n" : "- %s was removed\n", path.c_str());
        if (file)
            DataFileClose(file);
    }
    if (!changed)
        return 0;

    if (startUp)
        ReloadStartUpPictures();
    if (clock && !LoadClockFont())
        Say("- %s does not load: the clock keeps the digits it had\n", "_clkfont.bmp");
    if (fonts)
        AuaForgetFonts();
    if (configRead || fonts)
        MeasureMenu(DrawPage());
    ForgetOpenLink();
    // Problems still there after the save are worth saying again.
    watch.printed.clear();
    return WATCH_CHANGED | (configRead ? WATCH_CONFIG : 0);
}

// [SECTION] Problems ------------------------------------------------------------

namespace {

// "FILE:LINE:COLUMN: message" where the layout was reading in the article,
// "FILE: message" for an article that could not be read, else the message.
std::string Locate(const char *text)
{
    char message[1024];
    ErrorBoxMessage(text, message, sizeof message);
    const Article *article = watch.article;
    if (!article || !article->name[0])
        return message;
    int32_t at = AuaTextPosition();
    if (article->text && at >= 0) {
        int line, column;
        AuaLineAndColumn(article, at, &line, &column);
        return std::string(article->name) + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
               message;
    }
    if (!article->text)
        return std::string(article->name) + ": " + message;
    return message;
}

void CatchBox(const char *text)
{
    if (watch.quiet)
        return;
    std::string line = Locate(text);
    if (watch.scope != SCOPE_PRINT) {
        auto same = [&line](const Problem &problem) { return problem.line == line; };
        if (std::none_of(watch.screen.begin(), watch.screen.end(), same))
            watch.screen.push_back(Problem{line, watch.scope});
    }
    if (std::find(watch.printed.begin(), watch.printed.end(), line) == watch.printed.end()) {
        watch.printed.push_back(line);
        Say("- %s\n", line.c_str());
    }
}

} // namespace

void WatchCatchBegin(WatchCatchKind kind, const Article *article)
{
    if (!watch.active)
        return;
    CatchScope scope = kind == WATCH_CATCH_LOAD ? SCOPE_LOAD : SCOPE_DRAW;
    auto stale = [scope](const Problem &problem) { return scope == SCOPE_LOAD || problem.scope == SCOPE_DRAW; };
    watch.screen.erase(std::remove_if(watch.screen.begin(), watch.screen.end(), stale), watch.screen.end());
    watch.scope = scope;
    watch.article = article;
}

void WatchCatchEnd()
{
    watch.scope = SCOPE_PRINT;
    watch.article = nullptr;
}

void WatchDrawProblems(uint32_t *page)
{
    if (!watch.active || watch.screen.empty())
        return;
    std::vector<const char *> lines;
    for (const Problem &problem : watch.screen)
        lines.push_back(problem.line.c_str());
    DrawProblemBand(page, lines.data(), (int)lines.size());
}
