// config — the magazine model read from "zarn.cfg": a flat table of up to 64
// entries (key1, key2, value) in file order. Topics ("topic" entries), the
// articles of a topic (entries whose key1 is its identifier), the music
// ("!music main") and the three effects ("!sound article|page|back") are all
// views of the one table. Keys compare ignoring ASCII case.
#pragma once

#include <cstdint>

enum {
    CONFIG_FIELD_BYTES = 64,   // key1, key2 and value: at most 63 characters and a NUL
    CONFIG_MAX_ENTRIES = 64,
    CONFIG_MUSIC_BYTES = 80,   // the music name: at most 79 characters
};

struct ConfigEntry {
    char key1[CONFIG_FIELD_BYTES];
    char key2[CONFIG_FIELD_BYTES];
    char value[CONFIG_FIELD_BYTES];
};

struct ConfigTable {
    ConfigEntry entries[CONFIG_MAX_ENTRIES];
    int32_t count;
};

// What LoadConfig had to cut to fit the table and where each entry stands in
// the file, so that lint can report it and point at it.
enum { CONFIG_CUT_KEY1 = 1, CONFIG_CUT_KEY2 = 2, CONFIG_CUT_VALUE = 4 };
enum { CONFIG_KEY1 = 0, CONFIG_KEY2 = 1, CONFIG_VALUE = 2 };
struct ConfigPlace {
    int32_t line, column; // 1-based (columns count bytes); 0, 0 = not in the file
};
struct ConfigProblems {
    int32_t droppedEntries;                 // entries after the 64th, not stored
    ConfigPlace firstDropped;               // key1 of the first dropped entry
    int32_t cutWords, cutValues;            // over-long keys and values among the stored entries
    uint8_t entryCuts[CONFIG_MAX_ENTRIES];  // CONFIG_CUT_* bits of each stored entry
    // Where key1, key2 and the value (CONFIG_KEY1 ...) of each stored entry
    // begin; an empty value is placed where it would begin, a key2 the file
    // ended before is not in the file.
    ConfigPlace entryPlaces[CONFIG_MAX_ENTRIES][3];
};

// Reads "zarn.cfg" through DataFileOpen into the table (replacing what was
// there) and resolves the music and effect names. 1 when the file was read;
// 0 when it cannot be opened (the table is then empty).
int LoadConfig();

// Copies the value of the first entry whose keys match (ignoring case) into
// destination (CONFIG_FIELD_BYTES bytes); an empty string when none matches.
void ConfigLookup(char *destination, const char *key1, const char *key2);

// Table index of the first entry whose keys match (ignoring case), or -1.
int ConfigFindEntry(const char *key1, const char *key2);

// Table index of the n-th "topic" entry; 0 after FatalError("menu-index not found!").
int FindTopicEntry(int n);

// Number of entries whose key1 equals topicIdentifier (ignoring case); 0 for null.
int CountArticles(const char *topicIdentifier);

// Table index of the n-th article of the topic; 0 after FatalError("Topic index not found!").
int FindArticleEntry(int n, const char *topicIdentifier);

// Splits value at the first '~' into title and subtitle (each CONFIG_FIELD_BYTES
// bytes, cut to fit); without '~' the title is the whole value and the
// subtitle is empty. Never fails.
void SplitTitle(const char *value, char *title, char *subtitle);

// The table (empty before LoadConfig); never null.
const ConfigTable *ConfigGetTable();
// One entry, or null when index is outside 0 .. count - 1.
const ConfigEntry *ConfigGetEntry(int index);
// The resolved names ("" when absent): the music module, and the effects
// "article", "page" and "back" (any other name gives ""). Never null.
const char *ConfigMusicName();
const char *ConfigEffectName(const char *which);
// What the last LoadConfig cut; never null.
const ConfigProblems *ConfigGetProblems();
