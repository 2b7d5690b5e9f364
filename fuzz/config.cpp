// Fuzz target: arbitrary bytes as zarn.cfg (served from memory as an archive
// member), loaded and then asked every question the reader asks of the
// magazine model.

#include "fuzz_support.h"
#include "mag/config.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <strings.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // FatalError goes to a recorded message box, never a window.
    QuietTarget();
    StackheapInit(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ServedMember input("zarn.cfg", data, size);
    if (!LoadConfig()) abort();

    const ConfigTable *table = ConfigGetTable();
    if (table->count < 0 || table->count > CONFIG_MAX_ENTRIES) abort();
    int topics = 0;
    for (int i = 0; i < table->count; i++) {
        const ConfigEntry *e = ConfigGetEntry(i);
        if (strnlen(e->key1, CONFIG_FIELD_BYTES) == CONFIG_FIELD_BYTES ||
            strnlen(e->key2, CONFIG_FIELD_BYTES) == CONFIG_FIELD_BYTES ||
            strnlen(e->value, CONFIG_FIELD_BYTES) == CONFIG_FIELD_BYTES)
            abort();
        char value[CONFIG_FIELD_BYTES], title[CONFIG_FIELD_BYTES], subtitle[CONFIG_FIELD_BYTES];
        ConfigLookup(value, e->key1, e->key2);
        SplitTitle(e->value, title, subtitle);
        int articles = CountArticles(e->key1);
        if (articles < 1) abort();
        if (articles == 1 && FindArticleEntry(0, e->key1) != i) abort();
        if (strcasecmp(e->key1, "topic") == 0) {
            int entry = FindTopicEntry(topics++);
            if (entry != i) abort();
            CountArticles(e->key2);
            if (CountArticles(e->key2) > 0) FindArticleEntry(0, e->key2);
        }
    }
    // One question past the end of each view: each shows a box.
    FindTopicEntry(topics);
    if (table->count) FindArticleEntry(table->count, ConfigGetEntry(0)->key1);
    if (strlen(ConfigMusicName()) >= CONFIG_MUSIC_BYTES) abort();
    ConfigEffectName("article");
    ConfigEffectName("page");
    ConfigEffectName("back");
    // The boxes this input raised go with it, so that every block it took
    // is given back within it (and the boxes do not pile up).
    HeadlessReset();
    // The table is fixed; the file is read as it is.
    RequireEarned(size, 2, 4096);
    return 0;
}
