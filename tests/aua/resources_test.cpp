// Fonts by face and style letter, pictures (opaque, transparent, boxes,
// file kinds) and link rectangles with their limits.
#include "support.h"

#include <jpeglib.h>

using namespace aua_test;

namespace {

// A baseline JPEG of one colour, written with libjpeg.
void WriteJpeg(const std::string &name, int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
    FILE *file = fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = (JDIMENSION)width;
    info.image_height = (JDIMENSION)height;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row((size_t)width * 3);
    for (int x = 0; x < width; x++) {
        row[3 * x] = red;
        row[3 * x + 1] = green;
        row[3 * x + 2] = blue;
    }
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    fclose(file);
}

bool Near(uint32_t pixel, uint32_t colour, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        int a = (int)((pixel >> shift) & 255), b = (int)((colour >> shift) & 255);
        if (a - b > tolerance || b - a > tolerance) return false;
    }
    return true;
}

} // namespace

// [SECTION] Fonts

TEST_F(EngineTest, StyleLetterChoosesFontFile) {
    AuaProcessTag("font verdana>");
    EXPECT_STREQ(CurrentState().fontFile, "verdana.TTF");
    AuaProcessTag("b>");
    EXPECT_STREQ(CurrentState().fontFile, "verdanaB.TTF");
    AuaProcessTag("i>");
    EXPECT_STREQ(CurrentState().fontFile, "verdanaZ.TTF");
    AuaProcessTag("/b>");
    EXPECT_STREQ(CurrentState().fontFile, "verdanaI.TTF");
    AuaProcessTag("/i>");
    EXPECT_STREQ(CurrentState().fontFile, "verdana.TTF");
    EXPECT_STREQ(CurrentState().faceName, "verdana");
}

TEST_F(EngineTest, BoldWordIsDrawnInBoldFont) {
    Load("<font verdana><br>" + Linked("r", "Sample ") + "<b>" + Linked("b", "Sample ") + "</b>" +
         Linked("r2", "Sample"));
    Draw();
    std::vector<PageLink> r = LinksTo("r"), b = LinksTo("b");
    ASSERT_EQ(r.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    EXPECT_GT(b[0].right - b[0].left, r[0].right - r[0].left);
    EXPECT_EQ(LinksTo("r2")[0].right - LinksTo("r2")[0].left, Width("Sample"));
}

TEST_F(EngineTest, FontLookupIgnoresCase) {
    InstallFonts("sans");
    Messages messages;
    AuaSelectFont("SANS", 0, 0); // SANS.TTF is no file on a case-sensitive disk
    ASSERT_EQ(messages.count(), 1);
    EXPECT_EQ(messages.last(), Exception("can't load font 'SANS' (bold=0, italic=0, file='SANS.TTF')!"));
    EXPECT_STREQ(CurrentState().fontFile, "SANS.TTF") << "names the face even though loading failed";
    AuaSelectFont("sans", 0, 0);
    AuaSelectFont("SANS", 0, 0);
    AuaSelectFont("Sans", 0, 0);
    EXPECT_EQ(messages.count(), 1) << "found among the loaded fonts";
    EXPECT_STREQ(CurrentState().fontFile, "Sans.TTF");
    EXPECT_GT(AuaTextWidth("abc"), 0);
}

TEST_F(EngineTest, FailedFontKeepsPreviousFont) {
    AuaSelectFont("verdana", 1, 0);
    AuaSetSize(10);
    int bold = AuaTextWidth("Sample");
    Messages messages;
    AuaSelectFont("nosuchface", 0, 0);
    EXPECT_EQ(messages.count(), 1);
    EXPECT_EQ(AuaTextWidth("Sample"), bold);
}

TEST_F(EngineTest, EleventhFontFileIsRefused) {
    for (int i = 0; i < 11; i++)
        fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "face" + std::to_string(i) + ".TTF");
    Messages messages;
    int loaded = 0;
    bool refused = false;
    for (int i = 0; i < 11; i++) {
        int before = messages.count();
        AuaSelectFont(("face" + std::to_string(i)).c_str(), 0, 0);
        if (messages.count() == before) {
            ASSERT_FALSE(refused) << "nothing loads once the table is full";
            loaded++;
        } else {
            refused = true;
            EXPECT_EQ(messages.count() - before, 2);
            EXPECT_EQ(messages.last(), Exception("can't load font 'face" + std::to_string(i) +
                                                 "' (bold=0, italic=0, file='face" + std::to_string(i) + ".TTF')!"));
        }
    }
    EXPECT_TRUE(refused);
    EXPECT_LE(loaded, AUA_MAX_FONTS - 1) << "verdana.TTF already holds one entry";
    // a font already in the table is still found
    int before = messages.count();
    AuaSelectFont("face0", 0, 0);
    EXPECT_EQ(messages.count(), before);
}

TEST_F(EngineTest, FontFilesSavedAnewAreReadOnceTheFontsAreForgotten) {
    const fs::path dejavu = "/usr/share/fonts/truetype/dejavu";
    fs::copy_file(dejavu / "DejaVuSans.ttf", "swap.TTF");
    AuaSelectFont("swap", 0, 0);
    AuaSetSize(20);
    int sans = AuaTextWidth("Mmmm");
    LayoutState inSwap = CurrentState();
    // Saved over by another face: the file loaded first stays in use...
    fs::copy_file(dejavu / "DejaVuSansMono.ttf", "swap.new");
    fs::rename("swap.new", "swap.TTF");
    AuaSelectFont("swap", 0, 0);
    EXPECT_EQ(AuaTextWidth("Mmmm"), sans);

    // ... until the fonts are forgotten: no font, no glyph, no file named.
    AuaForgetFonts();
    EXPECT_EQ(AuaFontCount(), 0);
    EXPECT_EQ(AuaTextWidth("Mmmm"), 0);
    EXPECT_STREQ(CurrentState().fontFile, "");
    for (int entry = 0; entry < TTF_CACHE_ENTRIES; entry++) EXPECT_FALSE(TtfCacheEntry(entry)->used) << entry;

    // Restoring a state selects its font again, from the new file.
    Messages messages;
    AuaRestoreState(&inSwap);
    EXPECT_EQ(messages.count(), 0);
    EXPECT_EQ(AuaFontCount(), 1);
    int mono = AuaTextWidth("Mmmm");
    EXPECT_GT(mono, 0);
    EXPECT_NE(mono, sans);
    AuaForgetFonts();
    AuaSelectFont("swap", 0, 0);
    EXPECT_EQ(AuaTextWidth("Mmmm"), mono);
}

// [SECTION] Pictures

TEST_F(EngineTest, MagentaIsTransparentOnlyInTransparentPictures) {
    auto holed = [](int x, int y) { return (x == 1 && y == 1) ? 0x00FF00FFu : 0x00336699u; };
    WriteBmp("holed.bmp", 4, 4, holed);
    Load("<font verdana><imagexytrans holed.bmp 100 100><imagexy holed.bmp 200 100>");
    Draw();
    EXPECT_EQ(page.at(120, 150), 0x00336699u);
    EXPECT_EQ(page.at(121, 151), 0x00102030u) << "page pixel kept under magenta";
    EXPECT_EQ(page.at(221, 151), 0x00FF00FFu) << "opaque picture draws magenta";
    EXPECT_EQ(page.at(223, 153), 0x00336699u);
}

TEST_F(EngineTest, PicturesOverTheEdgeAreClipped) {
    WriteSolidBmp("big.bmp", 100, 100, 0x00ABCDEFu);
    Load("<font verdana><imagexytrans big.bmp -60 -90><imagexy big.bmp 570 400><imagexytrans big.bmp 99999 5>"
         "<imagexy big.bmp -2147483600 2147483600>");
    Draw();
    EXPECT_EQ(page.at(0, 0), 0x00ABCDEFu);
    EXPECT_EQ(page.at(59, 59), 0x00ABCDEFu);
    EXPECT_EQ(page.at(60, 60), 0x00102030u);
    EXPECT_EQ(page.at(639, 479), 0x00ABCDEFu);
    EXPECT_EQ(page.at(589, 449), 0x00102030u);
}

TEST_F(EngineTest, PictureFileKindByExtension) {
    WriteSolidBmp("upper.BMP", 2, 2, 0x00010203u);
    WriteJpeg("photo.jpeg", 8, 8, 200, 40, 40);
    WriteJpeg("noextension", 8, 8, 40, 200, 40);
    WriteSolidBmp("bitmap", 2, 2, 0x00FFFFFFu); // a BMP without '.' is read as JPEG and fails
    Messages messages;
    Load("<font verdana><imagexy upper.BMP 0 0><imagexy photo.jpeg 10 0><imagexy noextension 30 0>"
         "<imagexy bitmap 50 0>");
    Draw();
    EXPECT_EQ(page.at(20, 50), 0x00010203u);
    EXPECT_TRUE(Near(page.at(34, 54), 0x00C82828u, 6));
    EXPECT_TRUE(Near(page.at(54, 54), 0x0028C828u, 6));
    EXPECT_EQ(page.at(70, 50), 0x00102030u);
    EXPECT_EQ(messages.count(), 1);
    EXPECT_EQ(messages.last(), Exception("Image: file 'bitmap' not found!"));
}

TEST_F(EngineTest, TruncatedJpegIsDrawnWithItsMissingPartGrey) {
    WriteJpeg("whole.jpg", 64, 128, 200, 40, 40);
    FILE *file = fopen("whole.jpg", "rb");
    ASSERT_NE(file, nullptr);
    std::string bytes;
    for (int c; (c = fgetc(file)) != EOF;) bytes += (char)c;
    fclose(file);
    // Keep the headers and half of the scan data.
    size_t sos = bytes.find("\xFF\xDA");
    ASSERT_NE(sos, std::string::npos);
    size_t start = sos + 2 + ((size_t)(uint8_t)bytes[sos + 2] << 8 | (uint8_t)bytes[sos + 3]);
    WriteFile("cut.jpg", bytes.substr(0, start + (bytes.size() - start) / 2));
    Messages messages;
    Load("<font verdana><imagexy cut.jpg 0 0>" + Linked("after", "after"));
    Draw();
    EXPECT_EQ(messages.count(), 0) << messages.last();
    EXPECT_TRUE(Near(page.at(20 + 5, 50 + 5), 0x00C82828u, 6));
    EXPECT_EQ(page.at(20 + 5, 50 + 120), 0x00808080u);
    EXPECT_EQ(page.at(20 + 64, 50 + 120), 0x00102030u);
    EXPECT_EQ(LinksTo("after").size(), 1u) << "the page goes on after the picture";
}

TEST_F(EngineTest, EleventhPictureIsDrawnWithoutBox) {
    WriteSolidBmp("dot.bmp", 4, 4, 0x00FFFF00u);
    std::string text = "<font verdana>";
    for (int i = 0; i < 11; i++) text += "<imagexy dot.bmp " + std::to_string(20 * i) + " 200>";
    Messages messages;
    Load(text);
    Draw();
    EXPECT_EQ(messages.count(), 1);
    EXPECT_EQ(messages.last(), Exception("too many boxes (images)!"));
    EXPECT_EQ(page.at(20 + 200, 50 + 200), 0x00FFFF00u);
}

// [SECTION] Links

TEST_F(EngineTest, LinkAroundThreeWordsGivesThreeRectangles) {
    Load("<font verdana><br>before <link http://example.org/a>one two three</link> after");
    Draw();
    std::vector<PageLink> links = Links();
    // the opened link's own entry takes the first run, then two new entries
    ASSERT_EQ(links.size(), 3u);
    int x = 20 + Width("before ");
    for (const PageLink &link : links) {
        EXPECT_STREQ(link.target, "http://example.org/a");
        EXPECT_EQ(link.left, x);
        EXPECT_EQ(link.top, 50 + 15 - 10);
        EXPECT_EQ(link.bottom, 50 + 15 + 5);
        x = link.right;
    }
    EXPECT_EQ(links[2].right - links[2].left, Width("three"));
}

TEST_F(EngineTest, LinkAcrossLinesAndAroundPicture) {
    WriteSolidBmp("p.bmp", 10, 12, 0x00FFFFFFu);
    Load("<font verdana><br><link doc.pdf>first<br>second<imagexy p.bmp 300 200></link>");
    Draw();
    std::vector<PageLink> links = Links();
    ASSERT_EQ(links.size(), 3u);
    EXPECT_EQ(links[0].top, 50 + 5);
    EXPECT_EQ(links[1].left, 320) << "the picture's own rectangle";
    EXPECT_EQ(links[1].top, 250);
    EXPECT_EQ(links[1].right, 330);
    EXPECT_EQ(links[1].bottom, 262);
    EXPECT_EQ(links[2].top, 50 + 20) << "the second word is drawn when its line is flushed";
    for (const PageLink &link : links) EXPECT_STREQ(link.target, "doc.pdf");
}

TEST_F(EngineTest, FortyFirstLinkRectangleIsRefused) {
    std::string text = "<font verdana><size 6><link many>";
    for (int i = 0; i < 41; i++) text += "w ";
    text += "</link>";
    Messages messages;
    Load(text);
    Draw();
    EXPECT_EQ(Links().size(), (size_t)AUA_MAX_LINKS);
    EXPECT_EQ(messages.count(), 1);
    EXPECT_EQ(messages.last(), Exception("too many links on page!"));
}

TEST_F(EngineTest, OpenedLinkWithoutTextKeepsEmptyRectangle) {
    Load("<font verdana><link nothing></link>");
    Draw();
    std::vector<PageLink> links = Links();
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].left, links[0].right);
    EXPECT_EQ(links[0].top, links[0].bottom);
}

TEST_F(EngineTest, LinkApiLimits) {
    Load("");
    Draw();
    Messages messages;
    EXPECT_EQ(AuaAddLink(1, 2, 3, 4, std::string(255, 't').c_str()), 0);
    EXPECT_EQ(AuaAddLink(1, 2, 3, 4, std::string(256, 't').c_str()), -1);
    EXPECT_EQ(messages.last(), Exception("link-string too long!"));
    EXPECT_EQ(AuaAddLink(5, 6, 7, 8, "next"), 1) << "a refused target takes no entry";
    EXPECT_EQ(AuaOpenLink("a"), 2);
    EXPECT_EQ(AuaOpenLink("b"), -1);
    EXPECT_EQ(messages.last(), Exception("Unfinished link!"));
    AuaCloseLink();
    AuaCloseLink();
    EXPECT_EQ(messages.last(), Exception("</link> without <link>!"));
    EXPECT_EQ(messages.count(), 3);
}
