// The article viewer: one topic's articles page by page, with cross-faded
// page turns, sound effects, clickable links and a hover highlight.
#pragma once

#include "app/reading.h"
#include "aua/aua.h"

#include <cstdint>

// Shows the topic whose configuration entry is topicEntry from its first
// article's first page until Esc, exitRequested or quitRequested (never
// fails; a missing article is reported through FatalError and ends the
// call). The place shown last is written to the positions file then.
void ArticleViewer(int topicEntry);

// The same from position (its article and page clamped to what exists),
// sounding effect (EFFECT_*, -1 for none) as it starts. Returns the topic
// shown last, or -1 (nothing shown) when position names no topic.
int ViewerRun(const ReadingPosition *position, int effect);

// While the viewer runs: position is shown next, composed and faded in on
// the loop's next pass like a turned page (another topic, article or page).
// A position naming no topic is ignored.
void ViewerShow(const ReadingPosition *position);

// The place the viewer is at (or was at last).
ReadingPosition ViewerPosition();

// Composes the article screen for the article's current page into page
// (appSettings' size): background, clock, page counter, the topic's article
// list around articleNumber, then the laid-out page, whose links AuaGetLinks
// then gives. Never fails; layout problems are reported by the engine.
void ComposeArticleScreen(uint32_t *page, Article *article, int articleNumber, const char *topicIdentifier);

// Whether the reader opens a link's target: 1 for a web or mail address
// (http:, https:, ftp:, mailto:) or a document in the issue directory (the
// working directory): a relative path without ".." steps or colons, ending
// in a document type (.txt .nfo .md .pdf .htm .html .png .jpg .jpeg .gif .bmp
// .webp .wav .mp3 .ogg .flac .mid .midi .xm .mod .s3m .it, any case), naming
// an existing regular file that is not executable and does not start like a
// program; 0 for anything else.
int LinkTargetAllowed(const char *target);

// Hands the target of every used link strictly containing (x, y) to the
// shell, in table order; a refused target gets a "- " line on standard output.
// Returns the number of links hit.
int OpenLinksAt(const PageLink *links, int count, int x, int y);

// Highlights the link under (x, y) (right and bottom edges included) with
// every link of the same target; redraws only when that changes. Returns 1
// when it presented a frame.
int HoverLinks(const PageLink *links, int count, int x, int y);

// The highlighted link's index, or -1.
int HighlightedLink();
