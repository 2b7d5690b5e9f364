// config — reads "zarn.cfg" into the 64-entry table and answers the
// magazine's questions about it: topics, the articles of a topic, the music
// and the effects. Over-long words and values and surplus entries are cut or
// dropped (and remembered for lint), never written past their fields.

#include "mag/config.h"

#include "gfx/display.h"
#include "store/datafile.h"

#include <cstring>

namespace {

struct ConfigState {
    ConfigTable table;
    char musicName[CONFIG_MUSIC_BYTES];
    char articleEffect[CONFIG_FIELD_BYTES];
    char pageEffect[CONFIG_FIELD_BYTES];
    char backEffect[CONFIG_FIELD_BYTES];
    ConfigProblems problems;
};

ConfigState config;

int LowerAscii(int c) { return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c; }

int SameKey(const char *a, const char *b) {
    if (!a || !b) return 0;
    for (;; a++, b++) {
        if (LowerAscii((unsigned char)*a) != LowerAscii((unsigned char)*b)) return 0;
        if (!*a) return 1;
    }
}

// The characters "%s" treats as blanks.
int IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Byte reader over a DataFile with one byte of push-back. The end is asked of
// DataFileEof before each read (a member's DataFileGetc gives 0 at its end,
// which is also a possible byte) and seen in a loose file's -1.
struct Reader {
    DataFile *file;
    int pushed;  // -1 = none
    ConfigPlace next;  // place of the next byte read from the file
    ConfigPlace last;  // place of the byte Next returned last
};

int Next(Reader &r) {
    if (r.pushed >= 0) {
        int c = r.pushed;
        r.pushed = -1;
        return c;
    }
    if (DataFileEof(r.file)) return -1;
    int c = DataFileGetc(r.file);
    if (c < 0) return -1;
    r.last = r.next;
    if (c == '\n') {
        r.next.line++;
        r.next.column = 1;
    } else {
        r.next.column++;
    }
    return c;
}

void PushBack(Reader &r, int c) {
    if (c >= 0) r.pushed = c;
}

// Reads one blank-delimited word into a field, keeping its first 63
// characters and skipping the rest; *cut is set when it did not fit. Returns
// 0 when the file ended before any character.
int ReadWord(Reader &r, char *field, int *cut, ConfigPlace *place) {
    int c = Next(r);
    while (IsBlank(c)) c = Next(r);
    field[0] = 0;
    *cut = 0;
    if (c < 0) return 0;
    // A byte given back is still the last one read.
    *place = r.last;
    int length = 0;
    while (c >= 0 && !IsBlank(c)) {
        if (length < CONFIG_FIELD_BYTES - 1)
            field[length++] = (char)c;
        else
            *cut = 1;
        c = Next(r);
    }
    field[length] = 0;
    PushBack(r, c);
    return 1;
}

// After key2: skips spaces and tabs, then takes the rest of the line up to
// (not including) CR or LF, or up to the end of the file.
void ReadValue(Reader &r, char *field, int *cut, ConfigPlace *place) {
    int c = Next(r);
    while (c == ' ' || c == '\t') c = Next(r);
    *place = c >= 0 ? r.last : r.next;
    int length = 0;
    *cut = 0;
    while (c >= 0 && c != '\r' && c != '\n') {
        if (length < CONFIG_FIELD_BYTES - 1)
            field[length++] = (char)c;
        else
            *cut = 1;
        c = Next(r);
    }
    field[length] = 0;
    PushBack(r, c);
}

void CopyBounded(char *destination, size_t size, const char *source) {
    size_t length = strnlen(source, size - 1);
    memcpy(destination, source, length);
    destination[length] = 0;
}

}  // namespace

int LoadConfig() {
    memset(&config, 0, sizeof config);
    DataFile *file = DataFileOpen("zarn.cfg", "rb");
    if (!file) return 0;

    Reader reader = {file, -1, {1, 1}, {1, 1}};
    ConfigProblems &problems = config.problems;
    ConfigEntry surplus;
    for (;;) {
        if (reader.pushed < 0 && DataFileEof(file)) break;
        ConfigEntry *entry = config.table.count < CONFIG_MAX_ENTRIES ? &config.table.entries[config.table.count] : &surplus;
        int cut1 = 0, cut2 = 0, cutValue = 0;
        ConfigPlace places[3] = {};
        // Blanks or line breaks left after the last value end the file; they
        // make no empty entry.
        if (!ReadWord(reader, entry->key1, &cut1, &places[CONFIG_KEY1])) break;
        ReadWord(reader, entry->key2, &cut2, &places[CONFIG_KEY2]);
        ReadValue(reader, entry->value, &cutValue, &places[CONFIG_VALUE]);

        if (entry == &surplus) {
            if (!problems.droppedEntries) problems.firstDropped = places[CONFIG_KEY1];
            problems.droppedEntries++;
            continue;
        }
        int index = config.table.count++;
        memcpy(problems.entryPlaces[index], places, sizeof places);
        problems.entryCuts[index] = (uint8_t)((cut1 ? CONFIG_CUT_KEY1 : 0) | (cut2 ? CONFIG_CUT_KEY2 : 0) |
                                              (cutValue ? CONFIG_CUT_VALUE : 0));
        problems.cutWords += cut1 + cut2;
        problems.cutValues += cutValue;
    }
    DataFileClose(file);

    char value[CONFIG_FIELD_BYTES];
    ConfigLookup(value, "!music", "main");
    CopyBounded(config.musicName, sizeof config.musicName, value);
    ConfigLookup(config.articleEffect, "!sound", "article");
    ConfigLookup(config.pageEffect, "!sound", "page");
    ConfigLookup(config.backEffect, "!sound", "back");
    return 1;
}

void ConfigLookup(char *destination, const char *key1, const char *key2) {
    if (!destination) return;
    destination[0] = 0;
    int index = ConfigFindEntry(key1, key2);
    if (index >= 0) CopyBounded(destination, CONFIG_FIELD_BYTES, config.table.entries[index].value);
}

int ConfigFindEntry(const char *key1, const char *key2) {
    for (int i = 0; i < config.table.count; i++) {
        const ConfigEntry &e = config.table.entries[i];
        if (SameKey(e.key1, key1) && SameKey(e.key2, key2)) return i;
    }
    return -1;
}

int FindTopicEntry(int n) {
    int seen = 0;
    for (int i = 0; i < config.table.count; i++) {
        if (!SameKey(config.table.entries[i].key1, "topic")) continue;
        if (seen == n) return i;
        seen++;
    }
    FatalError("menu-index not found!");
    return 0;
}

int CountArticles(const char *topicIdentifier) {
    int count = 0;
    for (int i = 0; i < config.table.count; i++) count += SameKey(config.table.entries[i].key1, topicIdentifier);
    return count;
}

int FindArticleEntry(int n, const char *topicIdentifier) {
    int seen = 0;
    for (int i = 0; i < config.table.count; i++) {
        if (!SameKey(config.table.entries[i].key1, topicIdentifier)) continue;
        if (seen == n) return i;
        seen++;
    }
    FatalError("Topic index not found!");
    return 0;
}

void SplitTitle(const char *value, char *title, char *subtitle) {
    if (title) title[0] = 0;
    if (subtitle) subtitle[0] = 0;
    if (!value) return;
    const char *tilde = strchr(value, '~');
    size_t titleLength = tilde ? (size_t)(tilde - value) : strlen(value);
    if (titleLength > CONFIG_FIELD_BYTES - 1) titleLength = CONFIG_FIELD_BYTES - 1;
    if (title) {
        memcpy(title, value, titleLength);
        title[titleLength] = 0;
    }
    if (tilde && subtitle) CopyBounded(subtitle, CONFIG_FIELD_BYTES, tilde + 1);
}

const ConfigTable *ConfigGetTable() { return &config.table; }

const ConfigEntry *ConfigGetEntry(int index) {
    if (index < 0 || index >= config.table.count) return nullptr;
    return &config.table.entries[index];
}

const char *ConfigMusicName() { return config.musicName; }

const char *ConfigEffectName(const char *which) {
    if (SameKey(which, "article")) return config.articleEffect;
    if (SameKey(which, "page")) return config.pageEffect;
    if (SameKey(which, "back")) return config.backEffect;
    return "";
}

const ConfigProblems *ConfigGetProblems() { return &config.problems; }
