// AuaSetWalker: what the layout places, told in reading order with the state
// each word was added with — the words, pictures, breaks and tabs a page
// shows, and nothing it does not show.
#include "support.h"

using namespace aua_test;

namespace {

struct Walk {
    std::vector<std::string> events;
};

std::string Describe(const LayoutState &s)
{
    std::string out = std::string(s.faceName) + (s.bold ? " b" : "") + (s.italic ? " i" : "") +
                      (s.underline ? " u" : "") + " size " + std::to_string(s.size) + " rgb " +
                      std::to_string(s.red) + "," + std::to_string(s.green) + "," + std::to_string(s.blue) +
                      " align " + std::to_string(s.alignment);
    return out;
}

void OnWord(void *context, const char *text, int glued, const LayoutState *state, const char *link)
{
    static_cast<Walk *>(context)->events.push_back("word '" + std::string(text) + "'" + (glued ? " glued" : "") +
                                                   " (" + Describe(*state) + ")" +
                                                   (link ? " -> " + std::string(link) : ""));
}

void OnPicture(void *context, const char *file, const uint32_t *pixels, int32_t width, int32_t height,
               int transparent, int placedInline, const char *link)
{
    static_cast<Walk *>(context)->events.push_back(
        "picture " + std::string(file) + " " + std::to_string(width) + "x" + std::to_string(height) + " first " +
        std::to_string(pixels[0]) + (transparent ? " transparent" : "") + (placedInline ? " inline" : " placed") +
        (link ? " -> " + std::string(link) : ""));
}

void OnBreak(void *context) { static_cast<Walk *>(context)->events.push_back("br"); }

void OnTab(void *context) { static_cast<Walk *>(context)->events.push_back("tab"); }

struct WalkerTest : EngineTest {
    Walk walk;
    void SetUp() override
    {
        EngineTest::SetUp();
        AuaWalker walker = {&walk, OnWord, OnPicture, OnBreak, OnTab, nullptr, nullptr};
        AuaSetWalker(&walker);
    }
    void TearDown() override
    {
        AuaSetWalker(nullptr);
        EngineTest::TearDown();
    }
};

} // namespace

TEST_F(WalkerTest, WordsPicturesBreaksAndTabsInReadingOrder)
{
    WriteSolidBmp("pic.bmp", 12, 8, 0x00112233);
    Load("<font verdana>Hello <b>big</b> world<br><color 255 0 0><size 14><center>red<tab 50>x<image pic.bmp>after "
         "<imagexytrans pic.bmp 300 10><link http://a.example/>linked <image pic.bmp></link> end");
    Draw();
    const std::string plain = "verdana size 10 rgb 255,255,255 align 0";
    const std::string red = "verdana size 14 rgb 255,0,0 align 2";
    std::vector<std::string> expected = {
        "word 'Hello ' (" + plain + ")",
        "word 'big' glued (verdana b size 10 rgb 255,255,255 align 0)",
        "word ' ' (" + plain + ")",
        "word 'world' glued (" + plain + ")",
        "br",
        "word 'red' glued (" + red + ")",
        "tab",
        "word 'x' glued (" + red + ")",
        // The picture follows the words before its tag, though the engine draws it first.
        "picture pic.bmp 12x8 first 1122867 inline",
        "word 'after ' (" + red + ")",
        "picture pic.bmp 12x8 first 1122867 transparent placed",
        "word 'linked ' (" + red + ") -> http://a.example/",
        "picture pic.bmp 12x8 first 1122867 inline -> http://a.example/",
        "word ' ' (" + red + ")",
        "word 'end' glued (" + red + ")",
    };
    EXPECT_EQ(walk.events, expected);
}

TEST_F(WalkerTest, OnlyWhatThePageShowsIsTold)
{
    // Forty lines overflow the page: drawing stops after the first word past
    // the bottom, and the text up to the next page start is never shown.
    std::string text = "<font verdana>";
    for (int i = 0; i < 40; i++) text += "line" + std::to_string(i) + " <br>";
    Load(text + "<image missing.bmp>hidden<newpage>next");
    Messages messages;
    Draw(0);
    ASSERT_FALSE(walk.events.empty());
    EXPECT_EQ(messages.count(), 0) << "the missing picture is past the page's end";
    std::string shown;
    for (const std::string &event : walk.events)
        if (event.rfind("word 'line", 0) == 0) shown = event.substr(6, event.find('\'', 6) - 6);
    // Baselines advance by 15 from 0: line 27 (at 405) is the first past the bottom (400).
    EXPECT_EQ(shown, "line27 ");
    for (const std::string &event : walk.events) EXPECT_EQ(event.find("hidden"), std::string::npos);

    walk.events.clear();
    Draw(1);
    ASSERT_EQ(walk.events.size(), 1u);
    EXPECT_EQ(walk.events[0].rfind("word 'next' glued", 0), 0u) << walk.events[0];
}

TEST_F(WalkerTest, APictureThatDoesNotLoadIsNotTold)
{
    Load("<font verdana>a<image missing.jpg>b");
    Messages messages;
    Draw();
    EXPECT_EQ(messages.count(), 1);
    ASSERT_EQ(walk.events.size(), 2u);
    EXPECT_EQ(walk.events[0].rfind("word 'a'", 0), 0u);
    EXPECT_EQ(walk.events[1].rfind("word 'b'", 0), 0u);

    // Without a walker nothing is told.
    AuaSetWalker(nullptr);
    walk.events.clear();
    Draw();
    EXPECT_TRUE(walk.events.empty());
}

namespace {

struct Tags {
    std::vector<std::string> events;
};

void OnTag(void *context, const char *name, int32_t position)
{
    LayoutState state;
    AuaSaveState(&state);
    static_cast<Tags *>(context)->events.push_back(std::string(name) + " at " + std::to_string(position) +
                                                   (state.bold ? " bold" : ""));
}

} // namespace

TEST_F(EngineTest, TheWalkerIsToldOfEveryTagAtItsPlaceWithItsEffectMade)
{
    Tags tags;
    AuaWalker walker = {&tags, nullptr, nullptr, nullptr, nullptr, nullptr, OnTag};
    AuaSetWalker(&walker);
    // 0         1         2         3
    // 0123456789012345678901234567890123456789
    // <font verdana>a <B>b</b><blink>c<newpage>d
    Load("<font verdana>a <B>b</b><blink>c<newpage>d<i>");
    Messages messages;
    Draw(0);
    EXPECT_EQ(messages.count(), 1) << "the unknown tag is told too, after its message";
    EXPECT_EQ(tags.events,
              (std::vector<std::string>{"font at 0", "B at 16 bold", "/b at 20", "blink at 24", "newpage at 32"}));
    tags.events.clear();
    Draw(1);
    EXPECT_EQ(tags.events, (std::vector<std::string>{"i at 42"}));
    AuaSetWalker(nullptr);
}

namespace {

struct Drawn {
    std::vector<std::string> texts;
    std::vector<AuaRect> rects;
    std::vector<int> widths; // AuaTextWidth of the text, measured inside the call
};

void OnDrawn(void *context, const char *text, const AuaRect *rect)
{
    Drawn *drawn = static_cast<Drawn *>(context);
    drawn->texts.push_back(text);
    drawn->rects.push_back(*rect);
    drawn->widths.push_back(AuaTextWidth(text));
}

struct DrawnWordTest : EngineTest {
    Drawn drawn;
    void SetUp() override
    {
        EngineTest::SetUp();
        AuaWalker walker = {&drawn, nullptr, nullptr, nullptr, nullptr, OnDrawn, nullptr};
        AuaSetWalker(&walker);
    }
    void TearDown() override
    {
        AuaSetWalker(nullptr);
        EngineTest::TearDown();
    }
};

} // namespace

TEST_F(DrawnWordTest, EveryDrawnWordWithTheRectangleItCovers)
{
    Load("<font verdana>Hello <b>big</b> world<br><size 14><right>to the right<br><aj>"
         "justified words spread over the whole width of the text area until the line is full and breaks here "
         "and a short last line<br>");
    for (uint32_t &pixel : page.pixels) pixel = 0;
    Draw();
    ASSERT_GE(drawn.texts.size(), 12u);
    // In drawing order, as drawn: the line's last word without its space.
    EXPECT_EQ(drawn.texts[0], "Hello ");
    EXPECT_EQ(drawn.texts[1], "big");
    EXPECT_EQ(drawn.texts[2], " ");
    EXPECT_EQ(drawn.texts[3], "world");
    EXPECT_EQ(drawn.texts[4], "to ");
    EXPECT_EQ(drawn.texts[6], "right");
    // Left-aligned words follow each other from the text rectangle's left edge;
    // each is as wide as its text in its own font, and as tall as a link.
    EXPECT_EQ(drawn.rects[0].left, 20);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(drawn.rects[i].right - drawn.rects[i].left, drawn.widths[i]) << drawn.texts[i];
        EXPECT_EQ(drawn.rects[i].top, 50 + 0 - 10); // the first baseline is the rectangle's top
        EXPECT_EQ(drawn.rects[i].bottom, 50 + 0 + 5);
        if (i > 0) {
            EXPECT_EQ(drawn.rects[i].left, drawn.rects[i - 1].right);
        }
    }
    AuaSelectFont("verdana", 1, 0);
    AuaSetSize(10);
    int bold = AuaTextWidth("big");
    EXPECT_EQ(drawn.widths[1], bold) << "measured in the word's own (bold) face";
    EXPECT_NE(bold, Width("big"));
    // The right-aligned line ends at the text rectangle's right edge.
    EXPECT_EQ(drawn.rects[6].right, 620);
    EXPECT_EQ(drawn.rects[6].top, drawn.rects[6].bottom - 5 - 14);
    // Every pixel the text drew lies inside a reported rectangle, but for a
    // glyph's overhang (the hook of a "j" reaches left of its pen).
    int outside = 0, inside = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            if (!page.at(x, y)) continue;
            bool covered = false;
            for (const AuaRect &r : drawn.rects)
                covered |= x >= r.left - 2 && x < r.right + 2 && y >= r.top && y < r.bottom + 2;
            if (covered)
                inside++;
            else
                outside++;
        }
    EXPECT_GT(inside, 1000);
    EXPECT_EQ(outside, 0);
}
