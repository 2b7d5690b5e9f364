// The article viewer loop. It polls rather than blocks, because page turns
// animate; while nothing animates a pass waits up to 10 ms for the next
// message so a page being read costs next to no processor time.
//
// The frame on the screen (ShownPage) is the composed screen (SparePage,
// with the search line over its top bar while that is open) with the
// search's matches and the link under the pointer lit on top.
//
// In the live preview a saved file loads the shown article again and shows
// the same page at once; a problem is drawn on the page it belongs to.
//
// [SECTION] State
// [SECTION] Links
// [SECTION] Composition and fade
// [SECTION] The search line
// [SECTION] The loop
#include "app/viewer.h"

#include "app/clock.h"
#include "app/keys.h"
#include "app/positions.h"
#include "app/search.h"
#include "app/session.h"
#include "app/watch.h"
#include "gfx/display.h"
#include "gfx/pixels.h"
#include "gfx/xfade.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "sound/p_midas.h"
#include "store/settings.h"

#include <cstdio>
#include <cstring>

// [SECTION] State ---------------------------------------------------------------

namespace {

enum { VIEWER_MAX_LINKS = 40 };

// Where the loop is, kept in one record so that a jump can move it.
struct ViewerState {
    int highlighted;                  // index into the shown page's links, -1 = none
    int topicEntry;                   // the topic's configuration entry
    char topic[CONFIG_FIELD_BYTES];   // its identifier
    int lastArticle;                  // its last article's number
    int articleNumber;                // the article wanted
    int wantedPage;                   // the page to turn to once it is loaded, -1 = none
    int loadedArticle;                // the article whose file is loaded, -1 = none
    int shownPage;                    // the page on the screen, -1 = none yet
    Article article;
    PageLink links[VIEWER_MAX_LINKS]; // the shown page's links
    int linkCount;
    AuaRect lit[SEARCH_MAX_RECTS];    // the search's matches on the shown page
    int litCount;
    int reloading;                    // the live preview reads the shown article again
    int instant;                      // the next screen is shown without a fade
    int keptArticle, keptPage;        // the live preview's place when a save came last
};

ViewerState viewer = {-1, 0, "", -1, 0, -1, -1, -1, {}, {}, 0, {}, 0, 0, 0, -1, 0};

int PageWidth()
{
    return appSettings.screenWidth;
}

int PageHeight()
{
    return appSettings.screenHeight;
}

int PagePixels()
{
    return appSettings.screenWidth * appSettings.screenHeight;
}

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

int SameIgnoringCase(const char *a, const char *b)
{
    for (; *a && *b; a++, b++)
        if (Lower(*a) != Lower(*b))
            return 0;
    return *a == *b;
}

int StartsWithIgnoringCase(const char *text, const char *prefix)
{
    for (; *prefix; text++, prefix++)
        if (Lower(*text) != Lower(*prefix))
            return 0;
    return 1;
}

int EndsWithIgnoringCase(const char *text, const char *suffix)
{
    size_t length = strlen(text), suffixLength = strlen(suffix);
    return length >= suffixLength && SameIgnoringCase(text + length - suffixLength, suffix);
}

// The page's links, copied because the engine's list changes with the next page.
int CopyLinks(PageLink *links)
{
    int count = 0;
    const PageLink *source = AuaGetLinks(&count);
    if (count < 0)
        count = 0;
    if (count > VIEWER_MAX_LINKS)
        count = VIEWER_MAX_LINKS;
    memcpy(links, source, sizeof(PageLink) * (size_t)count);
    return count;
}

} // namespace

int HighlightedLink()
{
    return viewer.highlighted;
}

// [SECTION] Links ---------------------------------------------------------------

namespace {

// What a reader expects an article to open: text, PDF, HTML, pictures, sound
// and music. The desktop's opener starts programs for many other names (an
// .exe through Wine, a .jar through Java, launchers), so nothing else opens.
const char *const documentTypes[] = {
    ".txt", ".nfo", ".md",  ".pdf",  ".htm", ".html", ".png", ".jpg", ".jpeg", ".gif", ".bmp",
    ".webp", ".wav", ".mp3", ".ogg", ".flac", ".mid", ".midi", ".xm",  ".mod",  ".s3m", ".it",
};

int IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

// Relative to the issue directory and never leaving it: no leading
// separator, no ".." step, and no colon, because the opener takes
// "name:rest" for an address of scheme "name" and may start its handler.
int StaysInTheIssue(const char *path)
{
    if (IsSeparator(path[0]) || strchr(path, ':'))
        return 0;
    for (const char *step = path; *step;) {
        const char *end = step;
        while (*end && !IsSeparator(*end))
            end++;
        if (end - step == 2 && step[0] == '.' && step[1] == '.')
            return 0;
        step = *end ? end + 1 : end;
    }
    return 1;
}

int HasDocumentType(const char *path)
{
    for (const char *type : documentTypes)
        if (EndsWithIgnoringCase(path, type))
            return 1;
    return 0;
}

// Openers that look inside a file (rather than at its name) would still run
// a program given a document's name: refuse Windows and Linux programs,
// scripts, Java archives (and every other zip) and classes, and launchers.
int StartsLikeAProgram(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return 1;
    char head[1024];
    size_t length = fread(head, 1, sizeof head, file);
    fclose(file);
    static const struct {
        const char *bytes;
        size_t length;
    } programs[] = {{"MZ", 2}, {"\x7f" "ELF", 4}, {"#!", 2}, {"PK\x03\x04", 4}, {"\xCA\xFE\xBA\xBE", 4}};
    for (const auto &program : programs)
        if (length >= program.length && memcmp(head, program.bytes, program.length) == 0)
            return 1;
    static const char launcher[] = "[Desktop Entry]";
    for (size_t at = 0; at + sizeof launcher - 1 <= length; at++)
        if ((at == 0 || head[at - 1] == '\n') && memcmp(head + at, launcher, sizeof launcher - 1) == 0)
            return 1;
    return 0;
}

} // namespace

int LinkTargetAllowed(const char *target)
{
    if (!target || !*target)
        return 0;
    static const char *const schemes[] = {"http:", "https:", "ftp:", "mailto:"};
    for (const char *scheme : schemes)
        if (StartsWithIgnoringCase(target, scheme))
            return 1;
    // A name starting with '-' would reach the opener as an option.
    if (target[0] == '-' || !StaysInTheIssue(target) || !HasDocumentType(target))
        return 0;
    return PlatformGetFileKind(target) == FILE_REGULAR && !StartsLikeAProgram(target);
}

int OpenLinksAt(const PageLink *links, int count, int x, int y)
{
    if (count > VIEWER_MAX_LINKS)
        count = VIEWER_MAX_LINKS;
    int hits = 0;
    for (int i = 0; i < count; i++) {
        const PageLink &link = links[i];
        if (!link.used || !(link.left < x && x < link.right && link.top < y && y < link.bottom))
            continue;
        hits++;
        if (LinkTargetAllowed(link.target)) {
            ShellExecuteA(nullptr, "open", link.target, nullptr, nullptr, 0);
        } else {
            printf("- link target not opened: '%s'\n", link.target);
            fflush(stdout);
        }
    }
    return hits;
}

namespace {

// ShownPage from SparePage with the matches and the highlighted link's
// rectangles (every one of its target) lit, then shown.
void RedrawShown(const PageLink *links, int count)
{
    uint32_t *shown = ShownPage();
    memcpy(shown, SparePage(), (size_t)PagePixels() * 4);
    for (int i = 0; i < viewer.litCount; i++) {
        const AuaRect &rect = viewer.lit[i];
        BrightenRect(shown, PageWidth(), PageHeight(), rect.left, rect.top, rect.right, rect.bottom, 40, 50, 70);
    }
    if (viewer.highlighted >= 0 && viewer.highlighted < count) {
        const char *target = links[viewer.highlighted].target;
        for (int i = 0; i < count; i++) {
            const PageLink &link = links[i];
            if (link.used && SameIgnoringCase(link.target, target))
                BrightenRect(shown, PageWidth(), PageHeight(), link.left, link.top, link.right, link.bottom, 40, 50,
                             70);
        }
    }
    Present(shown, PagePixels());
}

} // namespace

int HoverLinks(const PageLink *links, int count, int x, int y)
{
    if (count > VIEWER_MAX_LINKS)
        count = VIEWER_MAX_LINKS;
    int found = -1;
    for (int i = 0; i < count; i++) {
        const PageLink &link = links[i];
        if (link.used && link.left < x && x <= link.right && link.top < y && y <= link.bottom) {
            found = i;
            break;
        }
    }
    if (found < 0) {
        if (viewer.highlighted == -1)
            return 0;
        viewer.highlighted = -1;
        RedrawShown(links, count);
        return 1;
    }
    if (viewer.highlighted >= 0 && viewer.highlighted < count &&
        SameIgnoringCase(links[viewer.highlighted].target, links[found].target))
        return 0;
    viewer.highlighted = found;
    RedrawShown(links, count);
    return 1;
}

// [SECTION] Composition and fade -----------------------------------------------

void ComposeArticleScreen(uint32_t *page, Article *article, int articleNumber, const char *topicIdentifier)
{
    DrawArticleBackground(page);
    DrawClock(page, PageWidth(), PageHeight(), 611, 427);
    // An article the live preview could not read has no pages to count.
    if (article->pageCount > 0)
        DrawPageCounter(page, article->currentPage + 1, article->pageCount);
    DrawArticleList(page, articleNumber, topicIdentifier);
    AuaDrawPage(page, PageWidth(), PageHeight(), article);
}

namespace {

// Rows 20 to 419 fade from the old screen to the new one; the bars above and
// below change at once. A key ends the fade and stays in lastKey.
void FadeIn()
{
    uint32_t *draw = DrawPage(), *spare = SparePage(), *shown = ShownPage();
    int width = PageWidth();
    memcpy(spare, draw, (size_t)PagePixels() * 4);
    uint32_t t0 = (uint32_t)PlayerTicks();
    int32_t level = 0;
    for (;;) {
        CopyRect(spare, draw, width, 0, 20, width, 420);
        CrossFade(spare + 20 * width, shown + 20 * width, level, width * 400);
        Present(spare, PagePixels());
        uint32_t elapsed = (uint32_t)PlayerTicks() - t0;
        level = (int32_t)(elapsed * 256.0 / 50.0 / 0.5);
        PumpMessages();
        // A quit during the fade ends it too: nothing is shown any more.
        if (input.lastKey != 0 || level >= 256 || input.quitRequested)
            break;
    }
}

} // namespace

// [SECTION] The search line ----------------------------------------------------

namespace {

// The place on the screen (kept after the viewer returns).
ReadingPosition Here()
{
    return ReadingPosition{ReadingTopicOfEntry(viewer.topicEntry), viewer.articleNumber, viewer.shownPage};
}

// Composes the shown page into DrawPage: the article screen, the matches
// of the lit text collected on the way, the page's links, the search line.
void ComposeShown()
{
    uint32_t *draw = DrawPage();
    const char *lit = SearchLitText();
    if (*lit)
        SearchCollectBegin();
    WatchCatchBegin(WATCH_CATCH_DRAW, &viewer.article);
    ComposeArticleScreen(draw, &viewer.article, viewer.articleNumber, viewer.topic);
    WatchCatchEnd();
    if (*lit)
        SearchCollectEnd();
    viewer.litCount = *lit ? SearchMatchRects(lit, viewer.lit, SEARCH_MAX_RECTS) : 0;
    // Before anything else is drawn: the link list is read in the page's coordinates.
    viewer.linkCount = CopyLinks(viewer.links);
    WatchDrawProblems(draw);
    if (SearchIsOpen())
        DrawSearchLine(draw, SearchText(), SearchNote());
}

// The same page again at once, without a fade: the search line opened or
// closed, or its matches lit.
void RecomposeInPlace()
{
    ComposeShown();
    memcpy(SparePage(), DrawPage(), (size_t)PagePixels() * 4);
    RedrawShown(viewer.links, viewer.linkCount);
}

// The line's text or note changed: only the top bar is drawn again.
void RedrawSearchLine()
{
    DrawSearchLine(SparePage(), SearchText(), SearchNote());
    RedrawShown(viewer.links, viewer.linkCount);
}

// Enter: the next page with the text, from the one shown on. Found here
// again (the only page with it), its matches are lit in place; elsewhere it
// is turned to like a page or an article.
void FindNext()
{
    ReadingPosition here = Here(), found;
    if (!SearchFindPage(SearchText(), &here, 0, &found)) {
        SearchSetNotFound(1);
        RedrawSearchLine();
        return;
    }
    SearchLight(SearchText());
    if (found.topic == here.topic && found.article == here.article && found.page == here.page) {
        RecomposeInPlace();
        return;
    }
    SoundShellEffect(found.topic == here.topic && found.article == here.article ? EFFECT_PAGE : EFFECT_ARTICLE);
    ViewerShow(&found);
}

// The reader's own keys, and what the screen does after them.
void TakeReaderKeysHere()
{
    switch (TakeReaderKeys()) {
    case READER_KEYS_LINE_OPENED:
        RecomposeInPlace();
        break;
    case READER_KEYS_LINE_CHANGED:
        RedrawSearchLine();
        break;
    case READER_KEYS_FIND:
        FindNext();
        break;
    case READER_KEYS_LINE_CLOSED:
        viewer.litCount = 0;
        RecomposeInPlace();
        break;
    case READER_KEYS_HELP_SHOWN:
    case READER_KEYS_NOTHING:
        break;
    }
}

} // namespace

// [SECTION] The loop ------------------------------------------------------------

namespace {

// A new topic: its articles are counted, and its first wanted article is
// loaded on the next pass.
void SetTopic(int topicEntry)
{
    viewer.topicEntry = topicEntry;
    viewer.topic[0] = 0;
    if (const ConfigEntry *entry = ConfigGetEntry(topicEntry))
        snprintf(viewer.topic, sizeof viewer.topic, "%s", entry->key2);
    viewer.lastArticle = CountArticles(viewer.topic) - 1;
    viewer.loadedArticle = -1;
}

// Loads the wanted article when another one is loaded and turns to the
// wanted page. 1 when a new article came; 0 when none was needed; -1 after
// "Can't load AUA!". In the live preview an article that cannot be read is
// shown as an empty page with the message, except one that was shown and
// has gone since: that one returns to the menu.
int LoadWantedArticle()
{
    Article &article = viewer.article;
    int loaded = 0;
    if (viewer.loadedArticle != viewer.articleNumber) {
        WatchCatchBegin(WATCH_CATCH_LOAD, &article);
        int read = ReadingLoadArticle(viewer.topic, viewer.articleNumber, &article);
        // An article the topic does not have (no name) was reported already;
        // the preview, which goes on, needs no second line for it.
        if (!read && !viewer.reloading && (!WatchActive() || article.name[0]))
            FatalError("Can't load AUA!");
        WatchCatchEnd();
        if (!read && (viewer.reloading || !WatchActive())) {
            if (viewer.reloading) {
                printf("- %s can no longer be read: back to the menu\n", article.name[0] ? article.name : "the article");
                fflush(stdout);
            }
            viewer.reloading = 0;
            return -1;
        }
        viewer.loadedArticle = viewer.articleNumber;
        loaded = 1;
    }
    viewer.reloading = 0;
    if (viewer.wantedPage >= 0) {
        ReadingTurnTo(&article, viewer.wantedPage);
        viewer.wantedPage = -1;
    }
    return loaded;
}

// Composes the wanted page and fades it in; afterwards SparePage holds it,
// ShownPage too with its matches lit, and no link is highlighted.
void ShowNewScreen()
{
    Article &article = viewer.article;
    viewer.shownPage = article.currentPage;
    ComposeShown();
    PositionsRemember(viewer.topic, viewer.articleNumber, article.currentPage);
    uint32_t *draw = DrawPage();
    if (!viewer.instant)
        FadeIn();
    viewer.instant = 0;
    Present(draw, PagePixels());
    memcpy(ShownPage(), draw, (size_t)PagePixels() * 4);
    memcpy(SparePage(), draw, (size_t)PagePixels() * 4);
    // The new screen carries no highlight.
    viewer.highlighted = -1;
    if (viewer.litCount)
        RedrawShown(viewer.links, viewer.linkCount);
}

// Acts on lastKey as the viewer's keys say. Returns 1 for Esc (leave).
int ActOnKey()
{
    Article &article = viewer.article;
    int leave = 0;
    switch (input.lastKey) {
    case VK_LEFT:
        if (article.currentPage > 0) {
            SoundShellEffect(EFFECT_PAGE);
            article.currentPage--;
        }
        break;
    case VK_RIGHT:
        if (article.currentPage < article.pageCount - 1) {
            SoundShellEffect(EFFECT_PAGE);
            article.currentPage++;
        }
        break;
    case VK_UP:
        if (viewer.articleNumber > 0) {
            SoundShellEffect(EFFECT_ARTICLE);
            viewer.articleNumber--;
        }
        break;
    case VK_DOWN:
        if (viewer.articleNumber < viewer.lastArticle) {
            SoundShellEffect(EFFECT_ARTICLE);
            viewer.articleNumber++;
        }
        break;
    case VK_ESCAPE:
        SoundShellEffect(EFFECT_BACK);
        leave = 1;
        break;
    case 'X':
    case VK_F9:
        input.exitRequested = 1;
        break;
    case VK_F1:
        VolumeStep();
        break;
    default:
        break;
    }
    input.lastKey = 0;
    return leave;
}

// The live preview: files saved while a page is read. The same place is
// loaded again (the nearest one when zarn.cfg changed) and shown at once.
// 1 when zarn.cfg leaves nothing of the topic to show.
int FollowChanges()
{
    int page = viewer.shownPage < 0 ? 0 : viewer.shownPage;
    // A save that left the article without pages (a tag not closed) does not
    // lose the page: the fix comes back to the one read before.
    if (viewer.article.pageCount == 0 && viewer.keptArticle == viewer.articleNumber)
        page = viewer.keptPage;
    ReadingPosition was = {ReadingTopicOfEntry(viewer.topicEntry), viewer.articleNumber, page};
    char name[sizeof viewer.article.name];
    memcpy(name, viewer.article.name, sizeof name);
    int changes = WatchReload();
    if (!changes)
        return 0;
    ReadingPosition place = was;
    if (changes & WATCH_CONFIG) {
        char topic[CONFIG_FIELD_BYTES];
        if (!ReadingNearestPlace(viewer.topic, name, &was, &place) || !ReadingTopicIdentifier(place.topic, topic) ||
            CountArticles(topic) == 0) {
            printf("- zarn.cfg lists no article to show here any more: back to the menu\n");
            fflush(stdout);
            return 1;
        }
        SetTopic(ReadingTopicEntry(place.topic));
    }
    viewer.keptArticle = place.article;
    viewer.keptPage = place.page;
    // An article shown as its "Can't load AUA!" stays on that page until it can be read.
    viewer.reloading = viewer.article.text != nullptr;
    viewer.instant = 1;
    viewer.loadedArticle = -1;
    ViewerShow(&place);
    return 0;
}

// The loop proper, from the place the record holds until Esc, an exit or a
// quit; the place shown last is written to the positions file then.
void RunLoop()
{
    Article &article = viewer.article;
    int leave = 0;
    uint32_t pressSeen = ButtonPressCount();
    viewer.highlighted = -1;
    input.typedCount = 0;

    for (;;) {
        if (input.quitRequested || leave || input.exitRequested) {
            AuaFreeArticle(&article);
            viewer.loadedArticle = -1;
            break;
        }

        int loaded = LoadWantedArticle();
        if (loaded < 0)
            break;
        if (viewer.shownPage != article.currentPage || loaded)
            ShowNewScreen();

        // Input the fade took in is acted on at once, without a wait first.
        MSG waiting;
        int pending = input.lastKey != 0 || input.clickX != -1;
        if (!pending && !PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE))
            WaitMessageTimeout(10);
        PumpMessages();
        if (WatchActive() && FollowChanges()) {
            leave = 1;
            continue;
        }

        // A held button reports a click with every pointer move; a link
        // opens once per press, and a click left over from the menu not at all.
        if (input.clickX != -1) {
            if (ButtonPressCount() != pressSeen)
                OpenLinksAt(viewer.links, viewer.linkCount, input.clickX, input.clickY);
            pressSeen = ButtonPressCount();
            input.clickX = input.clickY = -1;
        }

        HoverLinks(viewer.links, viewer.linkCount, input.mouseX, input.mouseY);

        TakeReaderKeysHere();
        leave = ActOnKey();
    }
    SearchClose();
    viewer.litCount = 0;
    PositionsSave();
}

// A fresh start in the topic of topicEntry.
void Enter(int topicEntry)
{
    memset(&viewer.article, 0, sizeof viewer.article);
    memset(viewer.links, 0, sizeof viewer.links);
    viewer.linkCount = 0;
    viewer.litCount = 0;
    SetTopic(topicEntry);
    viewer.articleNumber = 0;
    viewer.wantedPage = -1;
    viewer.shownPage = -1;
    viewer.reloading = viewer.instant = 0;
    viewer.keptArticle = -1;
}

} // namespace

void ArticleViewer(int topicEntry)
{
    Enter(topicEntry);
    RunLoop();
}

int ViewerRun(const ReadingPosition *position, int effect)
{
    int entry = position ? ReadingTopicEntry(position->topic) : -1;
    if (entry < 0)
        return -1;
    Enter(entry);
    ViewerShow(position);
    SoundShellEffect(effect);
    RunLoop();
    return ViewerPosition().topic;
}

void ViewerShow(const ReadingPosition *position)
{
    int entry = position ? ReadingTopicEntry(position->topic) : -1;
    if (entry < 0)
        return;
    if (entry != viewer.topicEntry)
        SetTopic(entry);
    int article = position->article;
    viewer.articleNumber = article < 0 ? 0 : article > viewer.lastArticle ? viewer.lastArticle : article;
    viewer.wantedPage = position->page < 0 ? 0 : position->page;
}

ReadingPosition ViewerPosition()
{
    return Here();
}
