// Fuzz target: arbitrary bytes as a loose zarn.cfg, loaded and then asked
// every question the reader asks of the magazine model.

#include "mag/config.h"

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "store/stackheap.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // FatalError goes to a recorded message box, never a window.
    PlatformSelect("headless");
    StackheapInit(0);
    char pattern[] = "/tmp/zarn-fuzz-config-XXXXXX";
    if (!mkdtemp(pattern) || chdir(pattern) != 0) abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    HeadlessReset();  // the recorded message boxes would pile up otherwise
    FILE *f = fopen("zarn.cfg", "wb");
    if (!f) abort();
    if (size) fwrite(data, 1, size, f);
    fclose(f);
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
    // One question past the end of each view (for some inputs only: each
    // one shows a box, which the headless backend also prints).
    if (size && (data[0] & 1)) {
        FindTopicEntry(topics);
        if (table->count) FindArticleEntry(table->count, ConfigGetEntry(0)->key1);
    }
    if (strlen(ConfigMusicName()) >= CONFIG_MUSIC_BYTES) abort();
    ConfigEffectName("article");
    ConfigEffectName("page");
    ConfigEffectName("back");
    return 0;
}
