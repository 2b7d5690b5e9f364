// Search over what the reader shows: the layout engine's walker reports each
// word as its line is drawn, and the words read in order, with a blank where
// the page leaves space between two that have none of their own, are the
// text of the page. Pages are laid out without drawing to be searched; the
// page on the screen is collected while it is composed, with the place of
// every character, so that its matches can be lit.
//
// [SECTION] State
// [SECTION] The search line
// [SECTION] Page text
// [SECTION] Finding pages
// [SECTION] Lighting matches
#include "app/search.h"

#include "gfx/display.h"
#include "store/settings.h"

#include <cstdio>
#include <cstring>

// [SECTION] State ---------------------------------------------------------------

namespace {

enum { PAGE_WORDS = 4096 };

struct PageWord {
    int32_t start, length; // in the page text
    AuaRect rect;
};

// The text of one laid-out page; with places, where each character is drawn
// (-1 for the blanks put between words).
struct PageText {
    char text[SEARCH_PAGE_BYTES];
    int32_t length;
    int32_t places;
    int16_t left[SEARCH_PAGE_BYTES], right[SEARCH_PAGE_BYTES];
    PageWord words[PAGE_WORDS];
    int32_t wordCount;
};

struct SearchState {
    int open;
    char text[SEARCH_TEXT_BYTES];
    int notFound;
    char lit[SEARCH_TEXT_BYTES];
    PageText page;
    Article article; // the article being searched
};

SearchState search;

} // namespace

// [SECTION] The search line -----------------------------------------------------

void SearchOpen()
{
    search.open = 1;
    search.text[0] = 0;
    search.notFound = 0;
    search.lit[0] = 0;
}

void SearchClose()
{
    search.open = 0;
    search.notFound = 0;
    search.lit[0] = 0;
}

int SearchIsOpen()
{
    return search.open;
}

const char *SearchText()
{
    return search.text;
}

const char *SearchNote()
{
    return search.notFound ? "nothing found" : "";
}

void SearchSetNotFound(int notFound)
{
    search.notFound = notFound ? 1 : 0;
}

const char *SearchLitText()
{
    return search.lit;
}

void SearchLight(const char *text)
{
    snprintf(search.lit, sizeof search.lit, "%s", text ? text : "");
}

SearchAction SearchTakeInput()
{
    SearchAction action = SEARCH_NOTHING;
    size_t length = strlen(search.text);
    for (int i = 0; i < input.typedCount && i < INPUT_TYPED_MAX; i++) {
        uint32_t code = input.typed[i];
        // The articles' text is Latin-1: one byte is one character.
        int printable = (code >= 0x20 && code <= 0x7E) || (code >= 0xA0 && code <= 0xFF);
        if (!printable || length + 1 >= sizeof search.text)
            continue;
        search.text[length++] = (char)code;
        search.text[length] = 0;
        action = SEARCH_CHANGED;
    }
    input.typedCount = 0;
    int32_t key = input.lastKey;
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9') || key == VK_SPACE) {
        // Typed above as characters.
        input.lastKey = 0;
    } else if (key == VK_BACK) {
        input.lastKey = 0;
        if (length > 0) {
            search.text[length - 1] = 0;
            action = SEARCH_CHANGED;
        }
    } else if (key == VK_ESCAPE) {
        input.lastKey = 0;
        SearchClose();
        return SEARCH_CLOSED;
    } else if (key == VK_RETURN && !(input.lastKeyModifiers & KEY_ALT)) {
        input.lastKey = 0;
        if (search.text[0])
            return SEARCH_FIND;
    }
    if (action == SEARCH_CHANGED)
        search.notFound = 0;
    return action;
}

// [SECTION] Page text -----------------------------------------------------------

namespace {

int Fold(unsigned char c)
{
    // ASCII and Latin-1 capitals (but the multiplication sign) to small letters.
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 32;
    return c;
}

// Where text first occurs in the page text at or after from, ignoring case; -1 for nowhere.
int32_t FindIn(const PageText &page, const char *text, int32_t from)
{
    int32_t length = (int32_t)strlen(text);
    if (length == 0)
        return -1;
    for (int32_t at = from; at + length <= page.length; at++) {
        int32_t i = 0;
        while (i < length && Fold((unsigned char)page.text[at + i]) == Fold((unsigned char)text[i]))
            i++;
        if (i == length)
            return at;
    }
    return -1;
}

void Append(PageText &page, char c, int16_t left, int16_t right)
{
    if (page.length >= SEARCH_PAGE_BYTES - 1)
        return;
    page.left[page.length] = left;
    page.right[page.length] = right;
    page.text[page.length++] = c;
    page.text[page.length] = 0;
}

int16_t Pixel(int32_t x)
{
    return (int16_t)(x < -32768 ? -32768 : x > 32767 ? 32767 : x);
}

void OnDrawnWord(void *context, const char *text, const AuaRect *rect)
{
    PageText &page = *static_cast<PageText *>(context);
    if (page.wordCount > 0) {
        // Words of one line that touch are one run of text; anything else
        // (the end of a line, a picture or tab between) reads as a blank.
        const PageWord &last = page.words[page.wordCount - 1];
        int spaced = last.length > 0 && page.text[last.start + last.length - 1] == ' ';
        if (!spaced && (rect->bottom != last.rect.bottom || rect->left != last.rect.right))
            Append(page, ' ', -1, -1);
    }
    int32_t start = page.length;
    int32_t x = rect->left;
    for (const char *c = text; *c; c++) {
        int32_t width = 0;
        if (page.places) {
            char one[2] = {*c, 0};
            width = AuaTextWidth(one);
        }
        Append(page, *c, Pixel(x), Pixel(x + width));
        x += width;
    }
    if (page.wordCount < PAGE_WORDS)
        page.words[page.wordCount++] = PageWord{start, page.length - start, *rect};
}

void BeginPage(int places)
{
    search.page.length = 0;
    search.page.text[0] = 0;
    search.page.wordCount = 0;
    search.page.places = places;
    AuaWalker walker = {&search.page, nullptr, nullptr, nullptr, nullptr, OnDrawnWord, nullptr};
    AuaSetWalker(&walker);
}

} // namespace

// [SECTION] Finding pages -------------------------------------------------------

int SearchPageContains(Article *article, const char *text)
{
    BeginPage(0);
    ReadingLayOutPage(article);
    AuaSetWalker(nullptr);
    return FindIn(search.page, text, 0) >= 0;
}

int SearchFindPage(const char *text, const ReadingPosition *from, int includeFrom, ReadingPosition *found)
{
    if (!text || !text[0] || !from || !found)
        return 0;
    // Every article of the issue in reading order, as (topic, article).
    struct Place {
        int32_t topic, article;
    };
    static Place places[CONFIG_MAX_ENTRIES];
    int count = 0, start = 0;
    char identifiers[CONFIG_MAX_ENTRIES][CONFIG_FIELD_BYTES];
    for (int topic = 0; topic < ReadingTopicCount() && topic < CONFIG_MAX_ENTRIES; topic++) {
        if (!ReadingTopicIdentifier(topic, identifiers[topic]))
            continue;
        int articles = CountArticles(identifiers[topic]);
        for (int article = 0; article < articles && count < CONFIG_MAX_ENTRIES; article++) {
            if (topic == from->topic && article == from->article)
                start = count;
            places[count++] = Place{topic, article};
        }
    }
    // The article of from comes first and last: its later pages now, its
    // earlier ones (and from itself) once everything else was searched.
    int haveWrapped = 0;
    ReadingPosition wrapped = {0, 0, 0};
    for (int step = 0; step < count; step++) {
        const Place &place = places[(start + step) % count];
        Article &article = search.article;
        if (!ReadingLoadArticle(identifiers[place.topic], place.article, &article))
            continue;
        int pages = article.pageCount < AUA_MAX_PAGES ? article.pageCount : AUA_MAX_PAGES;
        for (int page = 0; page < pages; page++) {
            article.currentPage = page;
            if (!SearchPageContains(&article, text))
                continue;
            ReadingPosition here = {place.topic, place.article, page};
            int first = step == 0 && place.topic == from->topic && place.article == from->article;
            if (first && !(page > from->page || (includeFrom && page == from->page))) {
                if (!haveWrapped)
                    wrapped = here;
                haveWrapped = 1;
                continue;
            }
            AuaFreeArticle(&article);
            *found = here;
            return 1;
        }
        AuaFreeArticle(&article);
    }
    if (haveWrapped)
        *found = wrapped;
    return haveWrapped;
}

// [SECTION] Lighting matches ----------------------------------------------------

void SearchCollectBegin()
{
    BeginPage(1);
}

void SearchCollectEnd()
{
    AuaSetWalker(nullptr);
}

int SearchMatchRects(const char *text, AuaRect *rects, int max)
{
    const PageText &page = search.page;
    int32_t length = text ? (int32_t)strlen(text) : 0;
    int count = 0;
    for (int32_t at = FindIn(page, text ? text : "", 0); at >= 0 && count < max; at = FindIn(page, text, at + length)) {
        // One rectangle for the part of the match in each word it spans.
        for (int w = 0; w < page.wordCount && count < max; w++) {
            const PageWord &word = page.words[w];
            int32_t low = at > word.start ? at : word.start;
            int32_t high = at + length < word.start + word.length ? at + length : word.start + word.length;
            if (low >= high)
                continue;
            rects[count++] = AuaRect{page.left[low], word.rect.top, page.right[high - 1], word.rect.bottom};
        }
    }
    return count;
}
