// The menu screen and the article frame: panel geometry and bevel, the
// highlight over its text, the blend, the article list and page counter, and
// the four start-up pictures.
#include "../aua/support.h"

#include "mag/config.h"
#include "mag/menu.h"

using namespace aua_test;

namespace {

uint32_t Rgb(int r, int g, int b) { return ((uint32_t)r << 16) | ((uint32_t)g << 8) | (uint32_t)b; }

uint32_t Brighten(uint32_t p, int r, int g, int b) {
    auto up = [](int c, int a) { return c + a > 255 ? 255 : c + a; };
    return Rgb(up((p >> 16) & 255, r), up((p >> 8) & 255, g), up(p & 255, b));
}

struct MenuTest : ::testing::Test {
    WorkDir dir;
    Page page{Rgb(100, 100, 100)};

    void SetUp() override {
        StartEngineOnce();
        InstallFonts("verdana");
        MenuFreePictures();
    }

    int Width(const std::string &text) {
        AuaSetTarget(page.data(), 640, 480);
        AuaSelectFont("verdana", 0, 0);
        AuaSetSize(10);
        return AuaTextWidth(text.c_str());
    }

    // A text of exactly the given width in verdana 10, from two letters.
    std::string TextOfWidth(int width) {
        const char letters[] = "aeinorstlmcwx";
        for (char a : letters) {
            for (char b : letters) {
                if (!a || !b) continue;
                int wa = Width(std::string(1, a)), wb = Width(std::string(1, b));
                for (int n = 0; n * wa <= width; n++) {
                    if ((width - n * wa) % wb == 0) return std::string(n, a) + std::string((width - n * wa) / wb, b);
                }
            }
        }
        return "";
    }

    void LoadMenu(const std::string &config) {
        WriteFile("zarn.cfg", config);
        ASSERT_EQ(LoadConfig(), 1);
        MeasureMenu(page.data());
    }

    // Whether any pixel in the rectangle differs from the page fill.
    bool Inked(const Page &p, int x0, int y0, int x1, int y1, uint32_t fill) {
        for (int y = y0; y < y1; y++)
            for (int x = x0; x < x1; x++)
                if (p.at(x, y) != fill) return true;
        return false;
    }
};

} // namespace

TEST_F(MenuTest, ThreeTopicsOfWidth100GiveThePanelOfTheExample) {
    std::string wide = TextOfWidth(100);
    ASSERT_EQ(Width(wide), 100);
    LoadMenu("topic one " + wide + "\r\ntopic two short\r\nTOPIC three mid\r\none a.txt A\r\n");
    const MenuLayout *layout = MenuGetLayout();
    EXPECT_EQ(layout->topicCount, 3);
    EXPECT_EQ(layout->menuTextWidth, 100);
    EXPECT_EQ(layout->menuHeight, 42);

    DrawMenu(page.data(), 1);
    uint32_t blended = Rgb(60, 70, 80), background = Rgb(100, 100, 100);
    // panel (250, 199)-(390, 281), half-open
    EXPECT_EQ(page.at(250, 199), blended);
    EXPECT_EQ(page.at(389, 280), blended);
    EXPECT_EQ(page.at(249, 205), Rgb(130, 140, 150)) << "left bevel";
    EXPECT_EQ(page.at(248, 205), Rgb(130, 140, 150));
    EXPECT_EQ(page.at(247, 205), background);
    EXPECT_EQ(page.at(300, 198), Rgb(120, 130, 130)) << "top bevel";
    EXPECT_EQ(page.at(300, 197), Rgb(120, 130, 130));
    EXPECT_EQ(page.at(300, 196), background);
    EXPECT_EQ(page.at(390, 205), Rgb(80, 80, 70)) << "right bevel";
    EXPECT_EQ(page.at(391, 205), Rgb(80, 80, 70));
    EXPECT_EQ(page.at(392, 205), background);
    EXPECT_EQ(page.at(300, 281), Rgb(70, 70, 60)) << "bottom bevel";
    EXPECT_EQ(page.at(300, 282), Rgb(70, 70, 60));
    EXPECT_EQ(page.at(300, 283), background);
    // highlighted row of the second topic: y 233 to 246
    EXPECT_EQ(page.at(252, 232), blended);
    EXPECT_EQ(page.at(252, 233), Brighten(blended, 60, 70, 80));
    EXPECT_EQ(page.at(252, 246), Brighten(blended, 60, 70, 80));
    EXPECT_EQ(page.at(252, 247), blended);
}

TEST_F(MenuTest, HighlightLightensRowWithItsText) {
    LoadMenu("topic a First topic\ntopic b Second topic\ntopic c Third\n");
    Page plain = page, selected = page;
    DrawMenu(plain.data(), -1);
    DrawMenu(selected.data(), 1);
    const MenuLayout *layout = MenuGetLayout();
    int x0 = 320 - layout->menuTextWidth / 2 - 20, x1 = 320 + layout->menuTextWidth / 2 + 20;
    int y0 = 240 - layout->menuHeight / 2 - 20;
    int rowTop = y0 + 20 + 14, rowBottom = y0 + 34 + 14;
    ASSERT_TRUE(Inked(plain, x0, rowTop, x1, rowBottom, Rgb(60, 70, 80))) << "the row holds text";
    for (int y = 0; y < 480; y++) {
        for (int x = 0; x < 640; x++) {
            bool inRow = x >= x0 && x < x1 && y >= rowTop && y < rowBottom;
            uint32_t expected = inRow ? Brighten(plain.at(x, y), 60, 70, 80) : plain.at(x, y);
            ASSERT_EQ(selected.at(x, y), expected) << x << "," << y;
        }
    }
}

TEST_F(MenuTest, BlendOfWhite) {
    LoadMenu("topic a A\n");
    Page white(0x00FFFFFF);
    DrawMenu(white.data(), -1);
    EXPECT_EQ(white.at(320, 240 - 7 - 20), Rgb(137, 147, 157));
}

TEST_F(MenuTest, TopicTextsAreCentredInTheirRows) {
    LoadMenu("topic a Wide topic text here\ntopic b Hi\n");
    Page drawn = page;
    DrawMenu(drawn.data(), -1);
    int w = Width("Hi");
    int baseline = 240 - 14 + 14 + 10;
    // the second row's text lies within its centred advance box
    EXPECT_TRUE(Inked(drawn, 320 - w / 2, baseline - 10, 320 - w / 2 + w, baseline + 1, Rgb(60, 70, 80)));
    EXPECT_FALSE(Inked(drawn, 250, baseline - 10, 320 - w / 2 - 1, baseline + 1, Rgb(60, 70, 80)));
}

TEST_F(MenuTest, ArticleListShowsNeighboursOfSelection) {
    LoadMenu("topic t Topic\nt a.txt First~one\nt b.txt Second~two\nt c.txt Third~three\nsolo s.txt Alone\n");
    uint32_t fill = page.at(0, 0);
    Page first = page;
    DrawArticleList(first.data(), 0, "t");
    EXPECT_FALSE(Inked(first, 170, 430, 480, 443, fill)) << "no previous title when the first is selected";
    EXPECT_TRUE(Inked(first, 180, 445, 470, 458, fill));
    EXPECT_TRUE(Inked(first, 180, 460, 470, 473, fill));
    EXPECT_TRUE(Inked(first, 60, 2, 370, 16, fill)) << "selected title and subtitle in the top bar";

    Page middle = page;
    DrawArticleList(middle.data(), 1, "T");
    EXPECT_TRUE(Inked(middle, 180, 430, 470, 443, fill)) << "topic identifier matched ignoring case";
    // the subtitle ends at x 470
    int w = 0;
    AuaSelectFont("verdana", 1, 0);
    w = AuaTextWidth("two");
    EXPECT_TRUE(Inked(middle, 470 - w, 445, 470, 458, fill));
    EXPECT_FALSE(Inked(middle, 472, 430, 640, 480, fill));

    Page solo = page;
    DrawArticleList(solo.data(), 0, "solo");
    EXPECT_FALSE(Inked(solo, 0, 430, 640, 443, fill));
    EXPECT_FALSE(Inked(solo, 0, 460, 640, 480, fill));
    EXPECT_TRUE(Inked(solo, 180, 445, 260, 458, fill));
    EXPECT_FALSE(Inked(solo, 300, 445, 640, 458, fill)) << "no '~': nothing right-aligned";
}

TEST_F(MenuTest, PageCounterReadsCurrentOverCount) {
    Page counter = page, expected = page;
    DrawPageCounter(counter.data(), 2, 5);
    AuaSetTarget(expected.data(), 640, 480);
    AuaSelectFont("verdana", 0, 0);
    AuaSetSize(10);
    AuaSetColor(255, 255, 255);
    AuaMoveTo(580, 13);
    AuaDrawText("2/5");
    EXPECT_EQ(counter.pixels, expected.pixels);
    EXPECT_TRUE(Inked(counter, 580, 2, 640, 16, page.at(0, 0)));
}

TEST_F(MenuTest, PicturesAreAllTriedThenTested) {
    WriteSolidBmp("_full.jpg", 640, 480, Rgb(200, 100, 50));
    WriteSolidBmp("_help1.jpg", 640, 80, Rgb(10, 20, 30));
    WriteSolidBmp("_topbar.jpg", 640, 20, Rgb(5, 6, 7));
    EXPECT_EQ(MenuLoadPictures(), 0) << "_help2.jpg is missing";
    EXPECT_NE(MenuGetPicture(MENU_TOPBAR)->pixels, nullptr) << "loaded after the missing one";
    EXPECT_EQ(MenuGetPicture(MENU_HELP2)->pixels, nullptr);
    WriteSolidBmp("_help2.jpg", 640, 80, Rgb(40, 50, 60));
    EXPECT_EQ(MenuLoadPictures(), 1);

    DrawMenuBackground(page.data());
    EXPECT_EQ(page.at(10, 399), Rgb(200, 100, 50));
    EXPECT_EQ(page.at(10, 400), Rgb(10, 20, 30));

    DrawArticleBackground(page.data());
    EXPECT_EQ(page.at(10, 19), Rgb(5, 6, 7)) << "top bar over the background";
    EXPECT_EQ(page.at(10, 20), Rgb(170, 70, 20)) << "text area darkened";
    EXPECT_EQ(page.at(10, 419), Rgb(10, 20, 30)) << "upper rows of the key bar darkened too";
    EXPECT_EQ(page.at(10, 420), Rgb(40, 50, 60));
    MenuFreePictures();
    EXPECT_EQ(MenuGetPicture(MENU_FULL)->pixels, nullptr);
}

TEST_F(MenuTest, OversizedPictureIsCutAtThePageEdge) {
    WriteSolidBmp("_full.jpg", 700, 500, Rgb(1, 2, 3));
    WriteSolidBmp("_help1.jpg", 640, 100, Rgb(4, 5, 6));
    WriteSolidBmp("_help2.jpg", 640, 80, Rgb(4, 5, 6));
    WriteSolidBmp("_topbar.jpg", 640, 20, Rgb(4, 5, 6));
    ASSERT_EQ(MenuLoadPictures(), 1);
    DrawMenuBackground(page.data());
    EXPECT_EQ(page.at(639, 0), Rgb(1, 2, 3));
    EXPECT_EQ(page.at(639, 479), Rgb(4, 5, 6));
    MenuFreePictures();
}

TEST_F(MenuTest, ProblemBandSitsAtTheFootOfTheTextAreaAndCutsWhatDoesNotFit) {
    const uint32_t red = Rgb(160, 24, 24);
    // One line: a solid band from y 376 to 396 between x 20 and 620, white text on it, nothing else touched.
    const char *one[] = {"first.txt:3:7: unknown tag 'bogus'!"};
    Page drawn = page;
    DrawProblemBand(drawn.data(), one, 1);
    for (int y = 0; y < 480; y++) {
        for (int x = 0; x < 640; x++) {
            bool inBand = x >= 20 && x < 620 && y >= 376 && y < 396;
            if (!inBand) {
                ASSERT_EQ(drawn.at(x, y), page.at(x, y)) << x << "," << y;
            } else if (x >= 500 || y < 378) {
                ASSERT_EQ(drawn.at(x, y), red) << x << "," << y;
            }
        }
    }
    EXPECT_TRUE(Inked(drawn, 26, 380, 500, 394, red)) << "the message";

    // A line wider than the band ends in "..." inside it.
    std::string wide(400, 'm');
    const char *long_[] = {wide.c_str()};
    Page cut = page;
    DrawProblemBand(cut.data(), long_, 1);
    EXPECT_TRUE(Inked(cut, 580, 380, 614, 394, red));
    EXPECT_FALSE(Inked(cut, 614, 376, 620, 396, red)) << "the margin stays clear";

    // Fourteen problems: eleven lines and one saying how many more, the band grown upwards.
    std::vector<std::string> texts;
    std::vector<const char *> many;
    for (int i = 0; i < 14; i++) texts.push_back("problem " + std::to_string(i));
    for (const std::string &text : texts) many.push_back(text.c_str());
    Page crowded = page, written = page;
    DrawProblemBand(crowded.data(), many.data(), 14);
    std::vector<const char *> shown(many.begin(), many.begin() + 11);
    shown.push_back("... and 3 more");
    DrawProblemBand(written.data(), shown.data(), 12);
    EXPECT_EQ(crowded.pixels, written.pixels);
    EXPECT_EQ(crowded.at(300, 396 - 6 - 12 * 14), red) << "twelve rows high";
    EXPECT_EQ(crowded.at(300, 396 - 6 - 12 * 14 - 1), page.at(300, 396 - 6 - 12 * 14 - 1));

    // Nothing to say, nothing drawn.
    Page none = page;
    DrawProblemBand(none.data(), many.data(), 0);
    EXPECT_EQ(none.pixels, page.pixels);
}
