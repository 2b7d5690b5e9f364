// The issue as the reader reads it: places in it (topic, article, page), the
// topics in menu order, and articles loaded and laid out the way the viewer
// shows them, for the viewer, the search and the remembered position.
#pragma once

#include "aua/aua.h"
#include "mag/config.h"

#include <cstdint>

// A place in the issue: topic in menu order, article within the topic, page
// within the article, all counted from 0.
struct ReadingPosition {
    int32_t topic;
    int32_t article;
    int32_t page;
};

// The number of topics in the menu.
int ReadingTopicCount();
// The configuration entry of topic (0 .. count - 1); -1 for another number
// (nothing is reported).
int ReadingTopicEntry(int topic);
// The topic number of a topic's configuration entry; -1 when it is none.
int ReadingTopicOfEntry(int entry);
// The identifier (key2) of topic into out (CONFIG_FIELD_BYTES); 0 for another number.
int ReadingTopicIdentifier(int topic, char *out);

// Loads the article file name as the viewer shows it: AuaLoadArticle, then
// the article screen's text rectangle. 1, or 0 when it cannot be loaded.
int ReadingLoadArticleFile(const char *name, Article *article);

// Loads article number articleNumber of the topic with this identifier as
// the viewer shows it: its text rectangle is the article screen's, its first
// page current. 1, or 0 when it cannot be read (article is left empty, its
// name the file that could not be read); for a number the topic does not
// have, FindArticleEntry has reported it first (and the name is "").
int ReadingLoadArticle(const char *topicIdentifier, int articleNumber, Article *article);

// The place in the issue as it is now nearest to one it had before its
// zarn.cfg changed: the topic with identifier topicIdentifier, else topic
// number was->topic; in it the article whose file is articleName, else
// article number was->article; page was->page (turning to it clamps it).
// Numbers are cut to what there is. 1 with place filled; 0 when there is no
// topic at all.
int ReadingNearestPlace(const char *topicIdentifier, const char *articleName, const ReadingPosition *was,
                        ReadingPosition *place);

// Lays out the article's current page without drawing it, recording the
// next page's start state; page 0 starts in the article frame's face, as in
// the viewer. Never fails (layout problems are reported by the engine).
void ReadingLayOutPage(Article *article);

// Makes page the article's current page, first laying out (without drawing)
// every earlier page whose start state is not known yet, from page 0 in the
// article frame's face, as turning to it page by page would. page is
// clamped to the article's pages.
void ReadingTurnTo(Article *article, int page);
