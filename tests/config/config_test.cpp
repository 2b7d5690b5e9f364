// The magazine model: zarn.cfg parsed into the table (as a loose file and as
// an archive member), the queries on it, and the bounds on words, values and
// entries.

#include "mag/config.h"

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

class ConfigTest : public ::testing::Test {
protected:
    fs::path oldDir, dir;

    void SetUp() override {
        oldDir = fs::current_path();
        char pattern[] = "/tmp/zarn-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        fs::current_path(dir);
        PlatformSelect("headless");
        StackheapInit(0);
        ArchiveResetForTests();
    }
    void TearDown() override {
        fs::current_path(oldDir);
        fs::remove_all(dir);
    }

    static void Write(const char *name, const std::string &bytes) {
        FILE *f = fopen(name, "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    // Writes zarn.cfg as a loose file and loads it.
    static int Load(const std::string &text) {
        Write("zarn.cfg", text);
        return LoadConfig();
    }
    static std::string Value(int index) { return ConfigGetEntry(index) ? ConfigGetEntry(index)->value : "<none>"; }
    static std::string Key1(int index) { return ConfigGetEntry(index) ? ConfigGetEntry(index)->key1 : "<none>"; }
    static std::string Key2(int index) { return ConfigGetEntry(index) ? ConfigGetEntry(index)->key2 : "<none>"; }
};

void Put32(std::string &s, uint32_t v) {
    for (int i = 0; i < 4; i++) s += (char)(v >> (8 * i));
}

// An archive holding one stored member.
std::string Archive(const char *name, const std::string &content) {
    std::string file(8, 'Z');
    Put32(file, 16 + (uint32_t)content.size());  // directory after the data
    Put32(file, 1);
    file += content;
    Put32(file, 16);
    Put32(file, 0);
    Put32(file, (uint32_t)content.size());
    Put32(file, (uint32_t)content.size());
    std::string entryName(name);
    entryName.resize(64, '\0');
    return file + entryName;
}

// [SECTION] Parsing

const char *kIssue =
    "TOPIC news Latest news\r\n"
    "topic  reviews\tReviews \r\n"
    "News intro.txt Welcome~Issue one\r\n"
    "reviews game.txt A game\r\n"
    "news second.txt Second\r\n"
    "!music main tune.xm\r\n"
    "!sound article art.wav\r\n"
    "!sound page page.wav\r\n"
    "!sound back back.wav\r\n";

TEST_F(ConfigTest, AnIssueParsesIntoEntriesInFileOrder) {
    ASSERT_EQ(Load(kIssue), 1);
    ASSERT_EQ(ConfigGetTable()->count, 9);  // the final CR LF makes no empty entry
    EXPECT_EQ(Key1(0), "TOPIC");
    EXPECT_EQ(Key2(0), "news");
    EXPECT_EQ(Value(0), "Latest news");
    EXPECT_EQ(Value(1), "Reviews ");  // tab skipped, trailing space kept
    EXPECT_EQ(Value(2), "Welcome~Issue one");
    EXPECT_STREQ(ConfigMusicName(), "tune.xm");
    EXPECT_STREQ(ConfigEffectName("article"), "art.wav");
    EXPECT_STREQ(ConfigEffectName("page"), "page.wav");
    EXPECT_STREQ(ConfigEffectName("back"), "back.wav");
    EXPECT_STREQ(ConfigEffectName("other"), "");
    const ConfigProblems *p = ConfigGetProblems();
    EXPECT_EQ(p->droppedEntries + p->cutWords + p->cutValues, 0);
    EXPECT_EQ(p->entryPlaces[0][CONFIG_KEY1].line, 1);
    EXPECT_EQ(p->entryPlaces[8][CONFIG_KEY1].line, 9);
}

TEST_F(ConfigTest, KeysCrossLineBreaksAndValuesEndAtTheLine) {
    ASSERT_EQ(Load("lonely\nkey2 rest of the line\n\n   topic x   \n  a b\r c\n"), 1);
    ASSERT_EQ(ConfigGetTable()->count, 4);
    EXPECT_EQ(Key1(0), "lonely");
    EXPECT_EQ(Key2(0), "key2");
    EXPECT_EQ(Value(0), "rest of the line");
    EXPECT_EQ(Key1(1), "topic");
    EXPECT_EQ(Key2(1), "x");
    EXPECT_EQ(Value(1), "");  // only blanks after key2: spaces dropped, value empty
    // A CR ends a value as well; the next word after it is a new key1.
    EXPECT_EQ(Key1(2), "a");
    EXPECT_EQ(Key2(2), "b");
    EXPECT_EQ(Value(2), "");
    EXPECT_EQ(Key1(3), "c");
    EXPECT_EQ(Key2(3), "");
    // Where each part begins, for the messages of lint: columns count bytes
    // from 1, a CR is a byte of its line, a key2 on the next line has that
    // line, an empty value sits where it would begin and an absent one after
    // the last byte.
    auto place = [](int entry, int part) {
        const ConfigPlace &p = ConfigGetProblems()->entryPlaces[entry][part];
        return std::to_string(p.line) + ":" + std::to_string(p.column);
    };
    EXPECT_EQ(place(0, CONFIG_KEY1), "1:1");
    EXPECT_EQ(place(0, CONFIG_KEY2), "2:1");
    EXPECT_EQ(place(0, CONFIG_VALUE), "2:6");
    EXPECT_EQ(place(1, CONFIG_KEY1), "4:4");
    EXPECT_EQ(place(1, CONFIG_KEY2), "4:10");
    EXPECT_EQ(place(1, CONFIG_VALUE), "4:14");
    EXPECT_EQ(place(2, CONFIG_KEY1), "5:3");
    EXPECT_EQ(place(2, CONFIG_VALUE), "5:6");
    EXPECT_EQ(place(3, CONFIG_KEY1), "5:8");
    EXPECT_EQ(place(3, CONFIG_KEY2), "0:0");
}

TEST_F(ConfigTest, TheFinalLineWithoutABreakKeepsItsLastCharacter) {
    ASSERT_EQ(Load("topic t Last line"), 1);
    ASSERT_EQ(ConfigGetTable()->count, 1);
    EXPECT_EQ(Value(0), "Last line");
    ASSERT_EQ(Load("topic t Trailing  "), 1);
    EXPECT_EQ(Value(0), "Trailing  ");
}

TEST_F(ConfigTest, TheFirstMusicEntryWins) {
    ASSERT_EQ(Load("!MUSIC MAIN first.xm\n!music main second.xm\n"), 1);
    EXPECT_STREQ(ConfigMusicName(), "first.xm");
    char value[CONFIG_FIELD_BYTES];
    ConfigLookup(value, "!music", "Main");
    EXPECT_STREQ(value, "first.xm");
    ConfigLookup(value, "!music", "other");
    EXPECT_STREQ(value, "");
    EXPECT_STREQ(ConfigEffectName("page"), "");  // absent effect: empty name
}

TEST_F(ConfigTest, AMissingFileFailsAndEmptiesTheTable) {
    ASSERT_EQ(Load(kIssue), 1);
    fs::remove("zarn.cfg");
    EXPECT_EQ(LoadConfig(), 0);
    EXPECT_EQ(ConfigGetTable()->count, 0);
    EXPECT_STREQ(ConfigMusicName(), "");
    EXPECT_EQ(ConfigGetEntry(0), nullptr);
}

TEST_F(ConfigTest, AnArchiveMemberParsesLikeTheLooseFile) {
    // Members end in a 0 byte that DataFileGetc also gives at the end; the
    // last value must neither lose its last character nor gain one.
    Write("zarn.dat", Archive("ZARN.CFG", "topic a First\nA one.txt One~sub\n!music main m.xm"));
    ASSERT_EQ(ArchiveSetName("zarn.dat"), 1);
    ASSERT_EQ(LoadConfig(), 1);
    ASSERT_EQ(ConfigGetTable()->count, 3);
    EXPECT_EQ(Value(1), "One~sub");
    EXPECT_STREQ(ConfigMusicName(), "m.xm");
    EXPECT_EQ(CountArticles("a"), 1);
    // A loose zarn.cfg overrides the member.
    Write("zarn.cfg", "topic b Loose\n");
    ASSERT_EQ(LoadConfig(), 1);
    ASSERT_EQ(ConfigGetTable()->count, 1);
    EXPECT_EQ(Value(0), "Loose");
}

// [SECTION] Bounds

TEST_F(ConfigTest, SixtyFiveEntriesKeepSixtyFourAndCountTheRest) {
    std::string text;
    for (int i = 0; i < 67; i++) text += "topic t" + std::to_string(i) + " Topic " + std::to_string(i) + "\n";
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(ConfigGetTable()->count, CONFIG_MAX_ENTRIES);
    EXPECT_EQ(Value(63), "Topic 63");
    EXPECT_EQ(ConfigGetEntry(64), nullptr);
    EXPECT_EQ(ConfigGetProblems()->droppedEntries, 3);
    EXPECT_EQ(ConfigGetProblems()->firstDropped.line, 65);
    EXPECT_EQ(ConfigGetProblems()->firstDropped.column, 1);
    EXPECT_EQ(FindTopicEntry(63), 63);
}

TEST_F(ConfigTest, OverlongWordsAndValuesAreCutAndRecorded) {
    std::string longKey(100, 'k'), longValue(90, 'v');
    ASSERT_EQ(Load(longKey + " " + longKey + "x " + longValue + "\ntopic next fine\n"), 1);
    ASSERT_EQ(ConfigGetTable()->count, 2);
    EXPECT_EQ(Key1(0), std::string(63, 'k'));
    EXPECT_EQ(Key2(0), std::string(63, 'k'));
    EXPECT_EQ(Value(0), std::string(63, 'v'));
    // The rest of the cut word is skipped, not taken as the next key.
    EXPECT_EQ(Key1(1), "topic");
    EXPECT_EQ(Key2(1), "next");
    EXPECT_EQ(Value(1), "fine");
    const ConfigProblems *p = ConfigGetProblems();
    EXPECT_EQ(p->cutWords, 2);
    EXPECT_EQ(p->cutValues, 1);
    EXPECT_EQ(p->entryCuts[0], CONFIG_CUT_KEY1 | CONFIG_CUT_KEY2 | CONFIG_CUT_VALUE);
    EXPECT_EQ(p->entryCuts[1], 0);
    // Exactly 63 characters fit.
    ASSERT_EQ(Load(std::string(63, 'a') + " b " + std::string(63, 'c')), 1);
    EXPECT_EQ(Value(0), std::string(63, 'c'));
    EXPECT_EQ(ConfigGetProblems()->cutWords + ConfigGetProblems()->cutValues, 0);
}

TEST_F(ConfigTest, BinaryJunkStaysWithinTheTable) {
    std::string junk;
    for (int i = 0; i < 20000; i++) junk += (char)((i * 7919) >> 3);
    ASSERT_EQ(Load(junk), 1);
    EXPECT_LE(ConfigGetTable()->count, CONFIG_MAX_ENTRIES);
    for (int i = 0; i < ConfigGetTable()->count; i++) {
        EXPECT_LT(strlen(ConfigGetEntry(i)->key1), (size_t)CONFIG_FIELD_BYTES);
        EXPECT_LT(strlen(ConfigGetEntry(i)->value), (size_t)CONFIG_FIELD_BYTES);
    }
}

// [SECTION] Queries

TEST_F(ConfigTest, TopicsAndArticlesAreViewsOfTheTable) {
    ASSERT_EQ(Load(kIssue), 1);
    EXPECT_EQ(FindTopicEntry(0), 0);
    EXPECT_EQ(FindTopicEntry(1), 1);
    EXPECT_EQ(CountArticles("news"), 2 + 0);  // News intro.txt, news second.txt
    EXPECT_EQ(CountArticles("NEWS"), 2);
    EXPECT_EQ(CountArticles("reviews"), 1);
    EXPECT_EQ(CountArticles("none"), 0);
    EXPECT_EQ(CountArticles(nullptr), 0);
    EXPECT_EQ(FindArticleEntry(0, "news"), 2);
    EXPECT_EQ(FindArticleEntry(1, "news"), 4);
    EXPECT_EQ(FindArticleEntry(0, "Reviews"), 3);
    EXPECT_STREQ(ConfigGetEntry(FindArticleEntry(0, "news"))->key2, "intro.txt");
}

TEST_F(ConfigTest, NumbersBeyondTheTableGiveEntryZero) {
    ASSERT_EQ(Load(kIssue), 1);
    const std::vector<HeadlessMessageBox> &boxes = HeadlessMessageBoxes();
    size_t before = boxes.size();
    EXPECT_EQ(FindTopicEntry(1), 1);
    EXPECT_EQ(boxes.size(), before);  // a topic that exists reports nothing
    EXPECT_EQ(FindTopicEntry(2), 0);
    ASSERT_EQ(boxes.size(), before + 1);
    EXPECT_EQ(boxes.back().text, "Zarn EXCEPTION: 'menu-index not found!'\n");
    EXPECT_EQ(FindTopicEntry(-1), 0);
    EXPECT_EQ(FindArticleEntry(2, "news"), 0);
    ASSERT_EQ(boxes.size(), before + 3);
    EXPECT_EQ(boxes.back().text, "Zarn EXCEPTION: 'Topic index not found!'\n");
    EXPECT_EQ(FindArticleEntry(0, "none"), 0);
    EXPECT_EQ(boxes.size(), before + 4);
}

TEST_F(ConfigTest, SplitTitleAtTheFirstTilde) {
    char title[CONFIG_FIELD_BYTES], subtitle[CONFIG_FIELD_BYTES];
    SplitTitle("Welcome~Issue one", title, subtitle);
    EXPECT_STREQ(title, "Welcome");
    EXPECT_STREQ(subtitle, "Issue one");
    SplitTitle("No subtitle", title, subtitle);
    EXPECT_STREQ(title, "No subtitle");
    EXPECT_STREQ(subtitle, "");
    SplitTitle("a~b~c", title, subtitle);
    EXPECT_STREQ(title, "a");
    EXPECT_STREQ(subtitle, "b~c");
    SplitTitle("~only", title, subtitle);
    EXPECT_STREQ(title, "");
    EXPECT_STREQ(subtitle, "only");
    std::string longer(100, 't');
    SplitTitle((longer + "~" + longer).c_str(), title, subtitle);
    EXPECT_EQ(std::string(title), std::string(63, 't'));
    EXPECT_EQ(std::string(subtitle), std::string(63, 't'));
}

}  // namespace
