// Article files as the engine reads them: loading, the page pre-scan, the
// word rules and the tag interpreter with its argument syntax.
#include "support.h"

#include "gfx/display.h"

#include <cstring>

using namespace aua_test;

// [SECTION] Loading and the page pre-scan

TEST_F(EngineTest, LoadReadsWholeFileAndClearsSpareBytes) {
    std::string text = "<font verdana>Hello<newpage>World";
    Load(text);
    EXPECT_STREQ(article.name, "article.txt");
    EXPECT_EQ(article.textSize, (int)text.size());
    EXPECT_EQ(memcmp(article.text, text.data(), text.size()), 0);
    for (int i = 0; i < AUA_SPARE_BYTES; i++) ASSERT_EQ(article.text[text.size() + i], 0) << i;
    EXPECT_EQ(article.pageCount, 2);
    EXPECT_EQ(article.pageStart[0], 0);
    EXPECT_EQ(article.pageStart[1], (int)text.find("World"));
    EXPECT_EQ(article.currentPage, 0);
    EXPECT_EQ(article.pageStateValid[0], 0);
    EXPECT_EQ(article.pageStateValid[1], 0);
}

TEST_F(EngineTest, LoadTakesTextRectangleFromTargetAndFailsQuietlyOnMissingFile) {
    std::vector<uint32_t> small(100 * 60);
    AuaSetTarget(small.data(), 100, 60);
    WriteFile("a.txt", "x");
    ASSERT_EQ(AuaLoadArticle("a.txt", &article), 1);
    EXPECT_EQ(article.textRect.left, 0);
    EXPECT_EQ(article.textRect.right, 100);
    EXPECT_EQ(article.textRect.bottom, 60);
    AuaFreeArticle(&article);
    EXPECT_EQ(article.text, nullptr);
    AuaFreeArticle(&article); // a second free is harmless

    Messages messages;
    EXPECT_EQ(AuaLoadArticle("missing.txt", &article), 0);
    EXPECT_EQ(article.text, nullptr);
    EXPECT_EQ(messages.count(), 0);
}

TEST_F(EngineTest, OnlyExactNewpageTagStartsPage) {
    Load("<font verdana>" + Linked("a", "a") + "<NewPage>" + Linked("b", "b") + "<newpage >" + Linked("c", "c") +
         "<newpage>" + Linked("d", "d"));
    ASSERT_EQ(article.pageCount, 3);
    Draw(1);
    EXPECT_EQ(LinksTo("b").size(), 1u);
    EXPECT_TRUE(LinksTo("c").empty()) << "text after <newpage > belongs to no page";
    Draw(2);
    EXPECT_EQ(Links().size(), 1u);
    EXPECT_EQ(LinksTo("d").size(), 1u);
}

TEST_F(EngineTest, TextWithoutPageBreakIsOnePage) {
    Load("just one page of words");
    EXPECT_EQ(article.pageCount, 1);
}

TEST_F(EngineTest, SurplusPageBreaksAreIgnored) {
    std::string text = "<font verdana>";
    for (int i = 0; i < 60; i++) text += Linked("p" + std::to_string(i), "page" + std::to_string(i)) + "<newpage>";
    Load(text);
    ASSERT_EQ(article.pageCount, AUA_MAX_PAGES);
    Draw(49);
    EXPECT_EQ(article.currentPage, 49);
    std::vector<PageLink> links = Links();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_STREQ(links[0].target, "p49") << "the last page ends at the next break";
    Draw(70);
    EXPECT_EQ(article.currentPage, 49) << "page numbers are clamped";
    Draw(-3);
    EXPECT_EQ(article.currentPage, 0);
}

TEST_F(EngineTest, UnclosedTagFailsPreScanAndNothingIsDrawn) {
    Messages messages;
    Load("<font verdana>text <" + std::string(130, 'x'));
    EXPECT_EQ(article.pageCount, 0);
    EXPECT_EQ(messages.last(), Exception("tag not closed!"));
    Page before = page;
    Draw(0);
    EXPECT_EQ(page.pixels, before.pixels);
    EXPECT_TRUE(Links().empty());
}

TEST_F(EngineTest, UnclosedTagNearEndOfFileSeesOnlyClearedBytes) {
    Messages messages;
    Load("abc<rem never closed");
    EXPECT_EQ(article.pageCount, 0);
    EXPECT_EQ(messages.count(), 1);
}

TEST_F(EngineTest, TagOf127CharactersIsAcceptedAnd128IsNot) {
    Messages messages;
    Load("<rem " + std::string(123, 'r') + ">ok");
    EXPECT_EQ(article.pageCount, 1);
    EXPECT_EQ(messages.count(), 0);
    Load("<rem " + std::string(124, 'r') + ">ok");
    EXPECT_EQ(article.pageCount, 0);
    EXPECT_EQ(messages.last(), Exception("tag not closed!"));
}

// [SECTION] Words

TEST_F(EngineTest, CarriageReturnIsSpaceAndBareLineFeedJoinsWords) {
    Load("<font verdana>" + Linked("a", "one\r\ntwo") + "<br>" + Linked("b", "one\ntwo"));
    Draw();
    std::vector<PageLink> a = LinksTo("a"), b = LinksTo("b");
    ASSERT_EQ(a.size(), 2u) << "CR LF separates two words";
    ASSERT_EQ(b.size(), 1u) << "a bare LF does not end the word";
    EXPECT_EQ(b[0].right - b[0].left, Width("onetwo"));
    EXPECT_EQ(a[0].right - a[0].left, Width("one "));
}

TEST_F(EngineTest, SecondSpaceIsWordOfItsOwn) {
    Load("<font verdana>" + Linked("a", "x  y"));
    Draw();
    std::vector<PageLink> a = LinksTo("a");
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[1].left, a[0].right);
    EXPECT_EQ(a[1].right - a[1].left, Width(" "));
    EXPECT_EQ(a[2].left, a[1].right);
}

TEST_F(EngineTest, OverlongWordIsCutAndRejected) {
    Messages messages;
    Load("<font verdana>" + std::string(3000, 'm'));
    Draw();
    EXPECT_GE(messages.count(), 1);
    EXPECT_EQ(messages.last(), Exception("Word too long!"));
}

// [SECTION] Tags and arguments

TEST_F(EngineTest, NumbersReadDecimalOctalAndHexadecimal) {
    struct Case {
        const char *tag;
        int size;
    } cases[] = {{"size 12>", 12}, {"size 010>", 8},  {"size 0x10>", 16}, {"size 0X1f>", 31}, {"size 14pt>", 14},
                 {"size>", 0},     {"size abc>", 0},  {"size +9>", 9},    {"size 09>", 0},    {"size 0x>", 0},
                 {"size -4>", 0},  {"size 9999>", 255}};
    for (const Case &c : cases) {
        AuaSetSize(77);
        AuaProcessTag(c.tag);
        EXPECT_EQ(CurrentState().size, c.size) << c.tag;
    }
}

TEST_F(EngineTest, ColourForms) {
    struct Case {
        const char *tag;
        int red, green, blue;
    } cases[] = {
        {"color FF8000>", 255, 128, 0}, {"color 255 128 0>", 255, 128, 0}, {"color 10>", 0, 0, 16},
        {"COLOR 0x102030>", 16, 32, 48}, {"color 255 128>", 255, 128, 0},  {"color 300 -5 0x40>", 255, 0, 64},
        {"color zz>", 0, 0, 0},          {"color 010 0x10 16>", 8, 16, 16},
    };
    for (const Case &c : cases) {
        AuaSetColor(1, 2, 3);
        AuaProcessTag(c.tag);
        LayoutState state = CurrentState();
        EXPECT_EQ(state.red, c.red) << c.tag;
        EXPECT_EQ(state.green, c.green) << c.tag;
        EXPECT_EQ(state.blue, c.blue) << c.tag;
    }
}

TEST_F(EngineTest, TagResultIsOffsetOfClosingBracket) {
    EXPECT_EQ(AuaProcessTag("ul>rest"), 2);
    EXPECT_EQ(AuaProcessTag("rem a b c d e f>"), 15);
    EXPECT_EQ(AuaProcessTag("/ul  \r\n >"), 8) << "tags may span lines";
    Messages messages;
    EXPECT_EQ(AuaProcessTag("ul without end"), 0);
    EXPECT_EQ(messages.last(), Exception("tag not closed!"));
}

TEST_F(EngineTest, UnknownTagIsReportedAndIgnored) {
    Messages messages;
    AuaSetSize(10);
    AuaProcessTag("blink fast>");
    EXPECT_EQ(messages.last(), Exception("unknown tag 'blink'!"));
    EXPECT_EQ(CurrentState().size, 10);
}

// Names are found by a search of a sorted table: every one of them, in any
// case, is a tag, and names that only begin or end like one are not.
TEST_F(EngineTest, EveryTagNameIsKnownInAnyCaseAndNearMissesAreNot) {
    AuaProcessTag("font verdana>");
    const char *names[] = {"CHAR",   "Font",    "COLOR",      "BOLD",  "Italic",     "SIZE",   "BR",
                           "NewPage", "IMAGE", "ImageTrans", "IMAGEXY", "ImageXYTrans", "B",  "/B",
                           "I",      "/I",      "UL",         "/UL",   "TAB",        "CTab",   "LEFT",
                           "Right",  "CENTER", "AJ",         "REM",   "LINK",       "/LINK"};
    for (const char *name : names) {
        Messages messages;
        // "LINK verdana" is closed by "/LINK"; a picture "verdana" is missing
        AuaProcessTag((std::string(name) + " verdana>").c_str());
        EXPECT_TRUE(messages.count() == 0 || messages.last().find("unknown tag") == std::string::npos) << name;
    }
    const char *misses[] = {"", "/", "a", "bb", "brr", "imagex", "imagexytransx", "links", "/linkx", "z", "~"};
    for (const char *name : misses) {
        Messages messages;
        AuaProcessTag((std::string(name) + ">").c_str());
        EXPECT_EQ(messages.last(), Exception("unknown tag '" + std::string(name) + "'!")) << name;
    }
}

TEST_F(EngineTest, StyleFlagsFromTags) {
    AuaProcessTag("font verdana>");
    AuaProcessTag("bold ON>");
    EXPECT_EQ(CurrentState().bold, 1);
    AuaProcessTag("bold yes>");
    EXPECT_EQ(CurrentState().bold, 0);
    AuaProcessTag("italic on>");
    EXPECT_EQ(CurrentState().italic, 1);
    EXPECT_STREQ(CurrentState().fontFile, "verdanaI.TTF");
    AuaProcessTag("UL>");
    EXPECT_EQ(CurrentState().underline, 1);
    AuaProcessTag("/ul>");
    EXPECT_EQ(CurrentState().underline, 0);
}

TEST_F(EngineTest, CharTagAddsBracketsAndSkipsSecondBracket) {
    Load("<font verdana>" + Linked("a", "<char >>x") + "<br>" + Linked("b", "<char <>y"));
    Messages messages;
    Draw();
    EXPECT_EQ(messages.count(), 0);
    std::vector<PageLink> a = LinksTo("a"), b = LinksTo("b");
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(a[0].right - a[0].left, Width(">"));
    EXPECT_EQ(a[1].right - a[1].left, Width("x"));
    EXPECT_EQ(a[1].left, a[0].right);
    EXPECT_EQ(b[0].right - b[0].left, Width("<"));
    EXPECT_EQ(AuaProcessTag("char >>"), 6);
    EXPECT_EQ(AuaProcessTag("char <>"), 6);
}

TEST_F(EngineTest, LinkTagsReportMisuse) {
    Load("<font verdana><link a><link b>x</link></link>");
    Messages messages;
    Draw();
    ASSERT_EQ(messages.count(), 2);
    EXPECT_EQ(messages.last(), Exception("</link> without <link>!"));
    std::vector<PageLink> links = Links();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_STREQ(links[0].target, "a");
    EXPECT_EQ(links[0].left, -1 + 20) << "the word drawn with linkIndex -1 adds no rectangle";
}

// [SECTION] Where the engine is reading

namespace {

std::vector<int32_t> positionsSeen;

void RecordPosition(const char *) { positionsSeen.push_back(AuaTextPosition()); }

// The offsets AuaTextPosition gave at each box raised while call ran.
std::vector<int32_t> PositionsOfMessages(const std::function<void()> &call) {
    positionsSeen.clear();
    ErrorBoxSetWatcher(RecordPosition);
    call();
    ErrorBoxSetWatcher(nullptr);
    return positionsSeen;
}

} // namespace

TEST_F(EngineTest, MessagesComeWithTheOffsetOfTheTagOrWordBeingRead) {
    // A tag is placed at its '<', a word at its first byte; "Word too long!"
    // ends the page at the long word, so the picture is never reached.
    std::string text = "<font verdana>Hi <nope> there\r\n" + std::string(100, 'W') + " <image none.bmp>x";
    Load(text);
    EXPECT_EQ(PositionsOfMessages([&] { Draw(); }), (std::vector<int32_t>{17, 31}));
    EXPECT_EQ(AuaPageEnd(), 132) << "after the word and the space that ended it";
    EXPECT_EQ(AuaTextPosition(), -1);

    // The pre-scan places "tag not closed!" at the '<' it could not close.
    AuaFreeArticle(&article);
    WriteFile("open.txt", "ok <b and more");
    EXPECT_EQ(PositionsOfMessages([&] { AuaLoadArticle("open.txt", &article); }), (std::vector<int32_t>{3}));
    EXPECT_EQ(article.pageCount, 0);

    // Outside a scan or a page there is no article position.
    EXPECT_EQ(PositionsOfMessages([] { AuaSelectFont("nosuchface", 0, 0); }).size(), 2u);
    EXPECT_EQ(positionsSeen[1], -1);
    AuaSelectFont("verdana", 0, 0);
}

TEST_F(EngineTest, PageEndIsWhereTheDrawStoppedReading) {
    Load("<font verdana>one<newpage>two<newpage >gone<newpage>three");
    ASSERT_EQ(article.pageCount, 3);
    Draw(0);
    EXPECT_EQ(AuaPageEnd(), 26) << "just after the first <newpage>, the next page start";
    EXPECT_EQ(article.pageStart[1], 26);
    Draw(1);
    EXPECT_EQ(AuaPageEnd(), 39) << "after <newpage >, before \"gone\"";
    Draw(2);
    EXPECT_EQ(AuaPageEnd(), article.textSize);
}

TEST_F(EngineTest, EveryRectangleOfALinkKnowsItsTag) {
    WriteSolidBmp("pic.bmp", 8, 8, 0x00FF0000u);
    Load("<font verdana>a <link first>b c <image pic.bmp></link> <link second>d</link>");
    Draw();
    std::vector<PageLink> first = LinksTo("first"), second = LinksTo("second");
    ASSERT_EQ(first.size(), 3u);
    for (const PageLink &link : first) EXPECT_EQ(link.textPosition, 16);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].textPosition, 55);
    // A link made outside an article has no position.
    EXPECT_GE(AuaAddLink(0, 0, 1, 1, "x"), 0);
    EXPECT_EQ(LinksTo("x")[0].textPosition, -1);
}

TEST_F(EngineTest, FontCountGrowsWithEachFontFileLoaded) {
    int before = AuaFontCount();
    AuaSelectFont("verdana", 0, 0); // loaded in SetUp
    EXPECT_EQ(AuaFontCount(), before);
    InstallFonts("other");
    AuaSelectFont("other", 1, 1);
    EXPECT_EQ(AuaFontCount(), before + 1);
    AuaSelectFont("absent", 0, 0);
    EXPECT_EQ(AuaFontCount(), before + 1);
    AuaSelectFont("verdana", 0, 0);
}
