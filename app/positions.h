// Where each issue was left: for every issue directory (its canonical path)
// the topic, article and page shown last, kept in the state file
// "positions" ($XDG_STATE_HOME/zarn/positions) so that R in the menu opens
// it again on a later run.
//
// The file: a first line "zarn positions 1", then one line per issue, the
// one read last first: "TOPIC ARTICLE PAGE PATH" - the topic's identifier
// in zarn.cfg, the article's and the page's numbers counted from 0, and the
// issue directory's canonical path (the rest of the line). At most
// POSITIONS_MAX_ISSUES lines are kept.
#pragma once

#include "app/reading.h"

enum { POSITIONS_MAX_ISSUES = 100 };

// Reads the position stored for the issue in the working directory. A file
// that is not a positions file or is damaged is ignored with a "- " line on
// standard output; a missing one is no position. Never fails.
void PositionsLoad();

// The stored position of this issue as a place in it: 1 with *position
// filled when one is stored and its topic and article still exist (the page
// is clamped when it is shown), else 0.
int PositionsFind(ReadingPosition *position);

// Notes the page being shown (topic by its identifier).
void PositionsRemember(const char *topicIdentifier, int article, int page);

// Writes the noted position into the file, replacing this issue's line and
// keeping the other issues' (written whole, never half). Nothing is written
// before a page was shown. A file that cannot be written gets one "- " line
// on standard output per run. 1 when written or nothing to write, 0 on failure.
int PositionsSave();
