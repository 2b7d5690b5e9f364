// The positions file: read once at start for this issue's line, rewritten
// whole (through a temporary file) with this issue's line first whenever the
// viewer closes and at exit. Whatever is wrong with the file costs the reader
// the remembered places, never the run.
//
// [SECTION] State
// [SECTION] The file
// [SECTION] Operations
#include "app/positions.h"

#include "platform/platform.h"
#include "store/datafile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// [SECTION] State ---------------------------------------------------------------

namespace {

enum { FILE_BYTES_MAX = 1 << 20, ARTICLE_MAX = 9999 };

const char header[] = "zarn positions 1";

struct Place {
    char topic[CONFIG_FIELD_BYTES];
    int32_t article, page;
};

struct PositionsState {
    std::string issue; // canonical path of the issue directory; "" when unknown
    int known;         // a place of this issue is stored or was shown
    Place place;
    int shown;         // a page was shown in this run: there is something to write
    int warned;        // a failed write was reported already
};

PositionsState positions;

struct Line {
    Place place;
    std::string path;
};

} // namespace

// [SECTION] The file ------------------------------------------------------------

namespace {

// A number of at most six digits, 0 .. limit.
int ReadNumber(const char **p, int32_t limit, int32_t *out)
{
    const char *s = *p;
    int32_t value = 0;
    int digits = 0;
    while (*s >= '0' && *s <= '9' && digits < 7) {
        value = value * 10 + (*s++ - '0');
        digits++;
    }
    if (digits == 0 || digits > 6 || value > limit)
        return 0;
    *out = value;
    *p = s;
    return 1;
}

// "TOPIC ARTICLE PAGE PATH" into line; 0 when it is not one.
int ParseLine(const std::string &text, Line *line)
{
    const char *p = text.c_str();
    size_t length = strcspn(p, " ");
    if (length == 0 || length >= sizeof line->place.topic)
        return 0;
    for (size_t i = 0; i < length; i++)
        if ((unsigned char)p[i] < 0x21 || p[i] == 0x7F)
            return 0;
    memcpy(line->place.topic, p, length);
    line->place.topic[length] = 0;
    p += length;
    if (*p++ != ' ' || !ReadNumber(&p, ARTICLE_MAX, &line->place.article) || *p++ != ' ' ||
        !ReadNumber(&p, AUA_MAX_PAGES - 1, &line->place.page) || *p++ != ' ' || *p != '/')
        return 0;
    line->path = p;
    return 1;
}

// Reads the file into lines: 1; 0 when there is none; -1 when it is not a
// positions file; -2 - n when its line n (from 1) is damaged.
int ReadLines(const char *path, std::vector<Line> *lines)
{
    lines->clear();
    FILE *file = path ? fopen(path, "rb") : nullptr;
    if (!file)
        return 0;
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() <= FILE_BYTES_MAX)
        text.append(buffer, got);
    fclose(file);
    if (text.size() > FILE_BYTES_MAX || text.compare(0, sizeof header - 1, header) != 0 ||
        (text.size() > sizeof header - 1 && text[sizeof header - 1] != '\n'))
        return -1;
    size_t at = text.find('\n');
    int number = 1;
    while (at != std::string::npos && at + 1 < text.size()) {
        number++;
        size_t end = text.find('\n', at + 1);
        // Every line ends in a newline: a last line without one was cut short.
        if (end == std::string::npos || memchr(text.data() + at + 1, 0, end - at - 1))
            return -2 - number;
        Line line;
        if (!ParseLine(text.substr(at + 1, end - at - 1), &line))
            return -2 - number;
        lines->push_back(line);
        at = end;
    }
    return 1;
}

} // namespace

// [SECTION] Operations ----------------------------------------------------------

void PositionsLoad()
{
    positions = PositionsState();
    char issue[4096];
    if (PlatformCanonicalPath(".", issue, sizeof issue))
        positions.issue = issue;
    const char *path = PlatformStateFilePath("positions");
    std::vector<Line> lines;
    int result = ReadLines(path, &lines);
    if (result == -1)
        printf("- reading positions ignored: '%s' is not a positions file\n", path);
    else if (result < -1)
        printf("- reading positions ignored: '%s' is damaged (line %d)\n", path, -2 - result);
    fflush(stdout);
    if (result != 1 || positions.issue.empty())
        return;
    for (const Line &line : lines)
        if (line.path == positions.issue) {
            positions.place = line.place;
            positions.known = 1;
            return;
        }
}

int PositionsFind(ReadingPosition *position)
{
    if (!positions.known)
        return 0;
    for (int topic = 0; topic < ReadingTopicCount(); topic++) {
        char identifier[CONFIG_FIELD_BYTES];
        if (!ReadingTopicIdentifier(topic, identifier) || !DataFileSameName(identifier, positions.place.topic))
            continue;
        if (positions.place.article >= CountArticles(identifier))
            return 0;
        *position = ReadingPosition{topic, positions.place.article, positions.place.page};
        return 1;
    }
    return 0;
}

void PositionsRemember(const char *topicIdentifier, int article, int page)
{
    if (!topicIdentifier || !*topicIdentifier || strlen(topicIdentifier) >= sizeof positions.place.topic ||
        strchr(topicIdentifier, ' ') || article < 0 || article > ARTICLE_MAX || page < 0 || page >= AUA_MAX_PAGES)
        return;
    snprintf(positions.place.topic, sizeof positions.place.topic, "%s", topicIdentifier);
    positions.place.article = article;
    positions.place.page = page;
    positions.known = positions.shown = 1;
}

int PositionsSave()
{
    if (!positions.shown || positions.issue.empty() || positions.issue.find('\n') != std::string::npos)
        return 1;
    const char *path = PlatformStateFilePath("positions");
    std::vector<Line> lines;
    // A damaged file was reported at start; its lines are lost with it.
    if (ReadLines(path, &lines) != 1)
        lines.clear();
    std::string text = std::string(header) + "\n";
    char numbers[64];
    snprintf(numbers, sizeof numbers, " %d %d ", positions.place.article, positions.place.page);
    text += positions.place.topic + std::string(numbers) + positions.issue + "\n";
    int kept = 1;
    for (const Line &line : lines) {
        if (line.path == positions.issue || kept >= POSITIONS_MAX_ISSUES)
            continue;
        snprintf(numbers, sizeof numbers, " %d %d ", line.place.article, line.place.page);
        text += line.place.topic + std::string(numbers) + line.path + "\n";
        kept++;
    }
    char reason[256] = "no home directory";
    if (path && PlatformWriteFileAtomically(path, text.data(), text.size(), reason, sizeof reason))
        return 1;
    if (!positions.warned)
        printf("- reading position not saved: cannot write '%s' (%s)\n",
               path ? path : "$HOME/.local/state/zarn/positions", reason);
    fflush(stdout);
    positions.warned = 1;
    return 0;
}
