// The issue as the reader reads it: topics in menu order, articles loaded
// with the article screen's text rectangle, and pages reached directly with
// the state they would have had if turned to one by one.
#include "app/reading.h"

#include "mag/menu.h"
#include "store/datafile.h"
#include "store/settings.h"

#include <cstdio>

int ReadingTopicCount()
{
    return MenuGetLayout()->topicCount;
}

int ReadingTopicEntry(int topic)
{
    // Only numbers the menu lists: FindTopicEntry reports any other one.
    if (topic < 0 || topic >= ReadingTopicCount())
        return -1;
    return FindTopicEntry(topic);
}

int ReadingTopicOfEntry(int entry)
{
    for (int topic = 0; topic < ReadingTopicCount(); topic++)
        if (FindTopicEntry(topic) == entry)
            return topic;
    return -1;
}

int ReadingTopicIdentifier(int topic, char *out)
{
    const ConfigEntry *entry = ConfigGetEntry(ReadingTopicEntry(topic));
    if (!entry)
        return 0;
    snprintf(out, CONFIG_FIELD_BYTES, "%s", entry->key2);
    return 1;
}

int ReadingLoadArticleFile(const char *name, Article *article)
{
    if (!AuaLoadArticle(name, article))
        return 0;
    article->textRect.left = 20;
    article->textRect.top = 50;
    article->textRect.right = appSettings.screenWidth - 20;
    article->textRect.bottom = appSettings.screenHeight - 80;
    return 1;
}

int ReadingLoadArticle(const char *topicIdentifier, int articleNumber, Article *article)
{
    AuaFreeArticle(article);
    article->name[0] = 0;
    int index = FindArticleEntry(articleNumber, topicIdentifier);
    // A number the topic does not have was reported, and the entry given back
    // then (one that goes on, in the live preview) is not the article's.
    const ConfigEntry *entry = articleNumber >= 0 && articleNumber < CountArticles(topicIdentifier)
                                   ? ConfigGetEntry(index)
                                   : nullptr;
    if (!entry)
        return 0;
    if (ReadingLoadArticleFile(entry->key2, article))
        return 1;
    // Whoever reports the failure can say which file it was.
    snprintf(article->name, sizeof article->name, "%s", entry->key2);
    return 0;
}

int ReadingNearestPlace(const char *topicIdentifier, const char *articleName, const ReadingPosition *was,
                        ReadingPosition *place)
{
    int topics = ReadingTopicCount();
    if (topics <= 0)
        return 0;
    int topic = ReadingTopicOfEntry(ConfigFindEntry("topic", topicIdentifier ? topicIdentifier : ""));
    if (topic < 0)
        topic = was->topic < 0 ? 0 : was->topic >= topics ? topics - 1 : was->topic;
    char identifier[CONFIG_FIELD_BYTES];
    ReadingTopicIdentifier(topic, identifier);
    int articles = CountArticles(identifier);
    int article = -1;
    for (int number = 0; number < articles && article < 0 && articleName && *articleName; number++) {
        const ConfigEntry *entry = ConfigGetEntry(FindArticleEntry(number, identifier));
        if (entry && DataFileSameName(entry->key2, articleName))
            article = number;
    }
    if (article < 0)
        article = was->article >= articles ? articles - 1 : was->article;
    *place = ReadingPosition{topic, article < 0 ? 0 : article, was->page < 0 ? 0 : was->page};
    return 1;
}

void ReadingLayOutPage(Article *article)
{
    // The viewer draws the frame's text just before the page, leaving its face selected.
    if (article->currentPage <= 0)
        MenuSelectFrameFont();
    AuaDrawPage(nullptr, appSettings.screenWidth, appSettings.screenHeight, article);
}

void ReadingTurnTo(Article *article, int page)
{
    int pages = article->pageCount < AUA_MAX_PAGES ? article->pageCount : AUA_MAX_PAGES;
    if (page >= pages)
        page = pages - 1;
    if (page < 0)
        page = 0;
    // A page starts with the state the one before it ended with, which is
    // known only once that one was laid out.
    for (int earlier = 0; earlier < page; earlier++) {
        if (article->pageStateValid[earlier + 1])
            continue;
        article->currentPage = earlier;
        ReadingLayOutPage(article);
    }
    article->currentPage = page;
}
