// make_art — draws every picture and sound of the demo issue from code, so the
// issue carries no third-party art: the start-up screens and key bars, the
// clock digits, the article pictures and the three effects.
//
// usage: make_art OUTDIR FONTDIR
//   FONTDIR holds DejaVuSans.ttf and DejaVuSans-Bold.ttf (the text on the
//   pictures is set with them).
//
// [SECTION] Canvas
// [SECTION] Text
// [SECTION] Writers (BMP, JPEG, WAV)
// [SECTION] The pictures
// [SECTION] The effects

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

// [SECTION] Canvas ----------------------------------------------------------

struct Canvas {
    int width, height;
    std::vector<uint32_t> pixels; // 0x00RRGGBB
    Canvas(int w, int h, uint32_t fill = 0) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    void Put(int x, int y, uint32_t c)
    {
        if (x >= 0 && y >= 0 && x < width && y < height)
            pixels[size_t(y) * width + x] = c;
    }
    uint32_t Get(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

uint32_t Rgb(int r, int g, int b)
{
    auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    return (uint32_t(clamp(r)) << 16) | (uint32_t(clamp(g)) << 8) | uint32_t(clamp(b));
}

uint32_t Mix(uint32_t a, uint32_t b, double t)
{
    auto ch = [&](int s) {
        double x = ((a >> s) & 255) * (1 - t) + ((b >> s) & 255) * t;
        return int(x + 0.5);
    };
    return Rgb(ch(16), ch(8), ch(0));
}

void FillRect(Canvas &c, int x0, int y0, int x1, int y1, uint32_t colour)
{
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            c.Put(x, y, colour);
}

void VerticalGradient(Canvas &c, uint32_t top, uint32_t bottom)
{
    for (int y = 0; y < c.height; y++) {
        uint32_t row = Mix(top, bottom, c.height > 1 ? double(y) / (c.height - 1) : 0);
        for (int x = 0; x < c.width; x++)
            c.Put(x, y, row);
    }
}

void FrameRect(Canvas &c, int x0, int y0, int x1, int y1, uint32_t colour)
{
    for (int x = x0; x < x1; x++) {
        c.Put(x, y0, colour);
        c.Put(x, y1 - 1, colour);
    }
    for (int y = y0; y < y1; y++) {
        c.Put(x0, y, colour);
        c.Put(x1 - 1, y, colour);
    }
}

void Disc(Canvas &c, double cx, double cy, double r, uint32_t colour)
{
    for (int y = int(cy - r - 1); y <= int(cy + r + 1); y++)
        for (int x = int(cx - r - 1); x <= int(cx + r + 1); x++) {
            double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            double cover = r + 0.5 - d;
            if (cover <= 0 || x < 0 || y < 0 || x >= c.width || y >= c.height)
                continue;
            c.Put(x, y, Mix(c.Get(x, y), colour, cover > 1 ? 1 : cover));
        }
}

// [SECTION] Text ------------------------------------------------------------

struct Fonts {
    FT_Library library = nullptr;
    FT_Face regular = nullptr, bold = nullptr;
};

Fonts fonts;

// Draws text with its baseline at y; returns the x after it.
int DrawText(Canvas &c, int x, int y, const char *text, int pixelSize, uint32_t colour, bool bold = false)
{
    FT_Face face = bold ? fonts.bold : fonts.regular;
    FT_Set_Pixel_Sizes(face, 0, pixelSize);
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        if (FT_Load_Char(face, *p, FT_LOAD_RENDER))
            continue;
        FT_GlyphSlot g = face->glyph;
        for (unsigned row = 0; row < g->bitmap.rows; row++)
            for (unsigned col = 0; col < g->bitmap.width; col++) {
                int a = g->bitmap.buffer[row * g->bitmap.pitch + col];
                int px = x + g->bitmap_left + int(col), py = y - g->bitmap_top + int(row);
                if (a && px >= 0 && py >= 0 && px < c.width && py < c.height)
                    c.Put(px, py, Mix(c.Get(px, py), colour, a / 255.0));
            }
        x += int(g->advance.x >> 6);
    }
    return x;
}

int TextWidth(const char *text, int pixelSize, bool bold = false)
{
    FT_Face face = bold ? fonts.bold : fonts.regular;
    FT_Set_Pixel_Sizes(face, 0, pixelSize);
    int w = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++)
        if (!FT_Load_Char(face, *p, FT_LOAD_DEFAULT))
            w += int(face->glyph->advance.x >> 6);
    return w;
}

// A key cap: a small bevelled box with the key's name, then its meaning.
int KeyHint(Canvas &c, int x, int baseline, const char *key, const char *meaning)
{
    int w = TextWidth(key, 11, true) + 10;
    FillRect(c, x, baseline - 12, x + w, baseline + 4, Rgb(70, 80, 100));
    FrameRect(c, x, baseline - 12, x + w, baseline + 4, Rgb(150, 165, 190));
    DrawText(c, x + 5, baseline, key, 11, Rgb(255, 255, 255), true);
    return DrawText(c, x + w + 5, baseline, meaning, 11, Rgb(210, 220, 235)) + 12;
}

// [SECTION] Writers (BMP, JPEG, WAV) ---------------------------------------

void Put16(std::vector<uint8_t> &b, unsigned v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t> &b, uint32_t v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

bool WriteFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

void BmpHeader(std::vector<uint8_t> &b, int w, int h, int bits, uint32_t dataOffset, uint32_t dataSize)
{
    b.push_back('B');
    b.push_back('M');
    Put32(b, dataOffset + dataSize);
    Put32(b, 0);
    Put32(b, dataOffset);
    Put32(b, 40);
    Put32(b, uint32_t(w));
    Put32(b, uint32_t(h));
    Put16(b, 1);
    Put16(b, unsigned(bits));
    Put32(b, 0);
    Put32(b, dataSize);
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, bits == 8 ? 256 : 0);
    Put32(b, 0);
}

bool SaveBmp24(const std::string &path, const Canvas &c)
{
    int pad = (4 - (c.width * 3) % 4) % 4;
    uint32_t size = uint32_t((c.width * 3 + pad) * c.height);
    std::vector<uint8_t> b;
    BmpHeader(b, c.width, c.height, 24, 54, size);
    for (int y = c.height - 1; y >= 0; y--) {
        for (int x = 0; x < c.width; x++) {
            uint32_t p = c.Get(x, y);
            b.push_back(uint8_t(p));
            b.push_back(uint8_t(p >> 8));
            b.push_back(uint8_t(p >> 16));
        }
        for (int i = 0; i < pad; i++)
            b.push_back(0);
    }
    return WriteFile(path, b);
}

bool SaveJpeg(const std::string &path, const Canvas &c, int quality = 90)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = JDIMENSION(c.width);
    cinfo.image_height = JDIMENSION(c.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t(c.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < c.width; x++) {
            uint32_t p = c.Get(x, int(cinfo.next_scanline));
            row[size_t(x) * 3] = uint8_t(p >> 16);
            row[size_t(x) * 3 + 1] = uint8_t(p >> 8);
            row[size_t(x) * 3 + 2] = uint8_t(p);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(f) == 0;
}

// A canonical 8-bit mono WAV (44-byte header).
bool SaveWav(const std::string &path, int rate, const std::vector<uint8_t> &samples)
{
    std::vector<uint8_t> b;
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    Put32(b, uint32_t(36 + samples.size()));
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(b, 16);
    Put16(b, 1);
    Put16(b, 1);
    Put32(b, uint32_t(rate));
    Put32(b, uint32_t(rate));
    Put16(b, 1);
    Put16(b, 8);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    Put32(b, uint32_t(samples.size()));
    b.insert(b.end(), samples.begin(), samples.end());
    if (samples.size() & 1)
        b.push_back(128);
    return WriteFile(path, b);
}

// [SECTION] The pictures ----------------------------------------------------

// The full-screen background: a night-blue gradient with a faint grid and
// the magazine's name.
Canvas Background()
{
    Canvas c(640, 480);
    VerticalGradient(c, Rgb(18, 30, 58), Rgb(6, 10, 22));
    for (int y = 0; y < 480; y += 32)
        for (int x = 0; x < 640; x++)
            c.Put(x, y, Mix(c.Get(x, y), Rgb(60, 90, 140), 0.25));
    for (int x = 0; x < 640; x += 32)
        for (int y = 0; y < 480; y++)
            c.Put(x, y, Mix(c.Get(x, y), Rgb(60, 90, 140), 0.25));
    for (int i = 0; i < 6; i++)
        Disc(c, 520 + 18 * std::cos(i * 1.047), 90 + 18 * std::sin(i * 1.047), 7, Rgb(40, 62, 104));
    Disc(c, 520, 90, 9, Rgb(92, 84, 60));
    DrawText(c, 40, 100, "ZARN", 64, Rgb(44, 64, 108), true);
    DrawText(c, 44, 128, "the magazine on a disk  -  issue one", 15, Rgb(52, 72, 112));
    return c;
}

// A key bar of 640 x 80; hints are placed so that the article list (x 180 to
// 470 on the article screen) and the clock (x 611) stay clear.
Canvas KeyBar(bool viewer)
{
    Canvas c(640, 80);
    VerticalGradient(c, Rgb(40, 48, 70), Rgb(16, 20, 32));
    FillRect(c, 0, 0, 640, 2, Rgb(120, 140, 180));
    FillRect(c, 604, 22, 640, 44, Rgb(10, 12, 20)); // clock well at (611, 427)
    if (!viewer) {
        int x = KeyHint(c, 24, 34, "Up/Down", "choose a topic");
        x = KeyHint(c, x, 34, "Enter", "open it");
        KeyHint(c, 24, 62, "F1", "music volume");
        KeyHint(c, 200, 62, "Esc", "leave the magazine");
    } else {
        KeyHint(c, 8, 30, "Left/Right", "page");
        KeyHint(c, 8, 52, "Up/Down", "article");
        KeyHint(c, 8, 74, "Esc", "menu");
        KeyHint(c, 484, 52, "F1", "volume");
        KeyHint(c, 484, 74, "X/F9", "quit");
    }
    return c;
}

Canvas TopBar()
{
    Canvas c(640, 20);
    VerticalGradient(c, Rgb(70, 90, 140), Rgb(30, 40, 70));
    FillRect(c, 0, 19, 640, 20, Rgb(140, 160, 210));
    Disc(c, 30, 10, 6, Rgb(230, 200, 90));
    return c;
}

// Ten digits 0-9, each 6 x 10 pixels, drawn as seven-segment figures.
Canvas ClockFont()
{
    Canvas c(60, 10, Rgb(10, 12, 20));
    static const char *segments[10] = {"abcdef", "bc", "abged", "abgcd", "fgbc", "afgcd", "afgedc", "abc", "abcdefg", "abcdfg"};
    uint32_t on = Rgb(120, 220, 140);
    for (int d = 0; d < 10; d++) {
        int x0 = d * 6 + 1;
        for (const char *s = segments[d]; *s; s++) {
            switch (*s) {
            case 'a': FillRect(c, x0, 0, x0 + 4, 1, on); break;
            case 'b': FillRect(c, x0 + 3, 0, x0 + 4, 5, on); break;
            case 'c': FillRect(c, x0 + 3, 4, x0 + 4, 9, on); break;
            case 'd': FillRect(c, x0, 8, x0 + 4, 9, on); break;
            case 'e': FillRect(c, x0, 4, x0 + 1, 9, on); break;
            case 'f': FillRect(c, x0, 0, x0 + 1, 5, on); break;
            case 'g': FillRect(c, x0, 4, x0 + 4, 5, on); break;
            }
        }
    }
    return c;
}

// The archive diagram: header, members, directory at the end.
Canvas ArchiveDiagram()
{
    Canvas c(260, 120, Rgb(20, 26, 40));
    FrameRect(c, 0, 0, 260, 120, Rgb(120, 140, 180));
    struct Box { int x0, x1; uint32_t colour; const char *label; } boxes[] = {
        {10, 50, Rgb(200, 120, 60), "head"},  {50, 105, Rgb(70, 130, 200), "member"},
        {105, 160, Rgb(70, 150, 120), "member"}, {160, 190, Rgb(110, 110, 160), "..."},
        {190, 250, Rgb(190, 170, 70), "directory"}};
    for (const Box &b : boxes) {
        FillRect(c, b.x0, 40, b.x1 - 2, 80, b.colour);
        DrawText(c, b.x0 + 3, 64, b.label, 10, Rgb(255, 255, 255));
    }
    DrawText(c, 10, 24, "zarn.dat", 13, Rgb(230, 235, 255), true);
    DrawText(c, 10, 104, "offsets are absolute", 11, Rgb(180, 195, 225));
    return c;
}

// A page-layout sketch: text lines flowing around a picture box.
Canvas LayoutSketch()
{
    Canvas c(200, 150, Rgb(235, 232, 220));
    FillRect(c, 110, 20, 180, 80, Rgb(90, 120, 170));
    for (int y = 14; y < 140; y += 12) {
        bool blocked = y > 14 && y < 92;
        FillRect(c, 12, y, blocked ? 100 : 188, y + 5, Rgb(80, 80, 80));
    }
    return c;
}

// A round badge on magenta: the magenta pixels are transparent when the
// article places it with imagetrans / imagexytrans.
Canvas Badge()
{
    Canvas c(72, 72, Rgb(255, 0, 255));
    for (int y = 0; y < 72; y++)
        for (int x = 0; x < 72; x++) {
            double d = std::hypot(x + 0.5 - 36, y + 0.5 - 36);
            if (d < 34)
                c.Put(x, y, d < 30 ? Mix(Rgb(250, 210, 80), Rgb(200, 120, 30), d / 30) : Rgb(120, 60, 20));
        }
    int w = TextWidth("NEW", 16, true);
    DrawText(c, 36 - w / 2, 42, "NEW", 16, Rgb(90, 30, 10), true);
    return c;
}

// A photo-like landscape for the JPEG examples.
Canvas Landscape(int w, int h)
{
    Canvas c(w, h);
    VerticalGradient(c, Rgb(120, 170, 230), Rgb(240, 200, 150));
    for (int x = 0; x < w; x++) {
        int ridge = int(h * 0.55 + h * 0.12 * std::sin(x * 0.035) + h * 0.05 * std::sin(x * 0.11));
        for (int y = ridge; y < h; y++)
            c.Put(x, y, Mix(Rgb(60, 90, 70), Rgb(30, 45, 40), double(y - ridge) / (h - ridge + 1)));
    }
    Disc(c, w * 0.75, h * 0.28, h * 0.09, Rgb(255, 240, 200));
    return c;
}

// [SECTION] The effects ----------------------------------------------------

std::vector<uint8_t> Tone(int rate, double seconds, double f0, double f1, double decay)
{
    std::vector<uint8_t> s(size_t(rate * seconds));
    double phase = 0;
    for (size_t i = 0; i < s.size(); i++) {
        double t = double(i) / rate;
        double f = f0 + (f1 - f0) * t / seconds;
        phase += 2 * M_PI * f / rate;
        double env = std::exp(-t * decay) * std::fmin(1.0, t * 400);
        s[i] = uint8_t(128 + 90 * env * (std::sin(phase) + 0.3 * std::sin(2 * phase)) / 1.3);
    }
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_art OUTDIR FONTDIR\n");
        return 1;
    }
    std::string out = std::string(argv[1]) + "/", fontDir = std::string(argv[2]) + "/";
    if (FT_Init_FreeType(&fonts.library) || FT_New_Face(fonts.library, (fontDir + "DejaVuSans.ttf").c_str(), 0, &fonts.regular) ||
        FT_New_Face(fonts.library, (fontDir + "DejaVuSans-Bold.ttf").c_str(), 0, &fonts.bold)) {
        std::fprintf(stderr, "make_art: cannot load the fonts in %s\n", fontDir.c_str());
        return 1;
    }
    bool ok = SaveJpeg(out + "_full.jpg", Background()) && SaveJpeg(out + "_help1.jpg", KeyBar(false)) &&
              SaveJpeg(out + "_help2.jpg", KeyBar(true)) && SaveJpeg(out + "_topbar.jpg", TopBar()) &&
              SaveBmp24(out + "_clkfont.bmp", ClockFont()) && SaveBmp24(out + "archive.bmp", ArchiveDiagram()) &&
              SaveBmp24(out + "layout.bmp", LayoutSketch()) && SaveBmp24(out + "badge.bmp", Badge()) &&
              SaveJpeg(out + "hills.jpg", Landscape(180, 110)) && SaveJpeg(out + "valley.jpg", Landscape(280, 90), 80) &&
              SaveWav(out + "article.wav", 22050, Tone(22050, 0.18, 660, 990, 14)) &&
              SaveWav(out + "page.wav", 22050, Tone(22050, 0.09, 1200, 800, 30)) &&
              SaveWav(out + "back.wav", 11025, Tone(11025, 0.25, 500, 250, 10));
    if (!ok) {
        std::fprintf(stderr, "make_art: cannot write into %s\n", out.c_str());
        return 1;
    }
    return 0;
}
