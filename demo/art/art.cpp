// art — pictures, sounds and 3D textures of an issue drawn from code (see art.h).
//
// [SECTION] Canvas and colours
// [SECTION] Text
// [SECTION] Writers
// [SECTION] Pictures
// [SECTION] 3D files
// [SECTION] Effects
// [SECTION] Sets of files

#include "demo/art/art.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

// [SECTION] Canvas and colours --------------------------------------------

uint32_t ArtRgb(int r, int g, int b)
{
    auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    return (uint32_t(clamp(r)) << 16) | (uint32_t(clamp(g)) << 8) | uint32_t(clamp(b));
}

uint32_t ArtMix(uint32_t a, uint32_t b, double t)
{
    auto ch = [&](int s) {
        double x = ((a >> s) & 255) * (1 - t) + ((b >> s) & 255) * t;
        return int(x + 0.5);
    };
    return ArtRgb(ch(16), ch(8), ch(0));
}

void ArtFillRect(ArtCanvas &c, int x0, int y0, int x1, int y1, uint32_t colour)
{
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            c.Put(x, y, colour);
}

void ArtVerticalGradient(ArtCanvas &c, uint32_t top, uint32_t bottom)
{
    for (int y = 0; y < c.height; y++) {
        uint32_t row = ArtMix(top, bottom, c.height > 1 ? double(y) / (c.height - 1) : 0);
        for (int x = 0; x < c.width; x++)
            c.Put(x, y, row);
    }
}

void ArtFrameRect(ArtCanvas &c, int x0, int y0, int x1, int y1, uint32_t colour)
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

void ArtDisc(ArtCanvas &c, double cx, double cy, double r, uint32_t colour)
{
    for (int y = int(cy - r - 1); y <= int(cy + r + 1); y++)
        for (int x = int(cx - r - 1); x <= int(cx + r + 1); x++) {
            double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
            double cover = r + 0.5 - d;
            if (cover <= 0 || x < 0 || y < 0 || x >= c.width || y >= c.height)
                continue;
            c.Put(x, y, ArtMix(c.Get(x, y), colour, cover > 1 ? 1 : cover));
        }
}

// [SECTION] Text ----------------------------------------------------------

namespace {

struct ArtFonts {
    FT_Library library = nullptr;
    FT_Face regular = nullptr, bold = nullptr;
};

ArtFonts fonts;

FT_Face Face(bool bold)
{
    return bold ? fonts.bold : fonts.regular;
}

} // namespace

int ArtLoadFonts(const char *regularFile, const char *boldFile)
{
    ArtCloseFonts();
    if (FT_Init_FreeType(&fonts.library))
        return 0;
    if (FT_New_Face(fonts.library, regularFile, 0, &fonts.regular) ||
        FT_New_Face(fonts.library, boldFile, 0, &fonts.bold)) {
        ArtCloseFonts();
        return 0;
    }
    return 1;
}

void ArtCloseFonts()
{
    if (fonts.regular)
        FT_Done_Face(fonts.regular);
    if (fonts.bold)
        FT_Done_Face(fonts.bold);
    if (fonts.library)
        FT_Done_FreeType(fonts.library);
    fonts = ArtFonts();
}

int ArtDrawText(ArtCanvas &c, int x, int y, const char *text, int pixelSize, uint32_t colour, bool bold)
{
    FT_Face face = Face(bold);
    if (!face)
        return x;
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize));
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        if (FT_Load_Char(face, *p, FT_LOAD_RENDER))
            continue;
        FT_GlyphSlot g = face->glyph;
        for (unsigned row = 0; row < g->bitmap.rows; row++)
            for (unsigned col = 0; col < g->bitmap.width; col++) {
                int a = g->bitmap.buffer[row * g->bitmap.pitch + col];
                int px = x + g->bitmap_left + int(col), py = y - g->bitmap_top + int(row);
                if (a && px >= 0 && py >= 0 && px < c.width && py < c.height)
                    c.Put(px, py, ArtMix(c.Get(px, py), colour, a / 255.0));
            }
        x += int(g->advance.x >> 6);
    }
    return x;
}

int ArtTextWidth(const char *text, int pixelSize, bool bold)
{
    FT_Face face = Face(bold);
    if (!face)
        return 0;
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(pixelSize));
    int w = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++)
        if (!FT_Load_Char(face, *p, FT_LOAD_DEFAULT))
            w += int(face->glyph->advance.x >> 6);
    return w;
}

namespace {

// A key cap: a small bevelled box with the key's name, then its meaning.
int KeyHint(ArtCanvas &c, int x, int baseline, const char *key, const char *meaning)
{
    int w = ArtTextWidth(key, 11, true) + 10;
    ArtFillRect(c, x, baseline - 12, x + w, baseline + 4, ArtRgb(70, 80, 100));
    ArtFrameRect(c, x, baseline - 12, x + w, baseline + 4, ArtRgb(150, 165, 190));
    ArtDrawText(c, x + 5, baseline, key, 11, ArtRgb(255, 255, 255), true);
    return ArtDrawText(c, x + w + 5, baseline, meaning, 11, ArtRgb(210, 220, 235)) + 12;
}

// [SECTION] Writers -------------------------------------------------------

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

} // namespace

bool ArtSaveBmp24(const std::string &path, const ArtCanvas &c)
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

bool ArtSaveBmp8(const std::string &path, int width, int height, const std::vector<uint8_t> &indices)
{
    if (width <= 0 || height <= 0 || width % 4 || indices.size() != size_t(width) * height)
        return false;
    std::vector<uint8_t> b;
    BmpHeader(b, width, height, 8, 1078, uint32_t(indices.size()));
    for (int i = 0; i < 256; i++)
        b.insert(b.end(), {uint8_t(i), uint8_t(i), uint8_t(i), 0});
    for (int y = height - 1; y >= 0; y--)
        b.insert(b.end(), indices.begin() + ptrdiff_t(y) * width, indices.begin() + ptrdiff_t(y + 1) * width);
    return WriteFile(path, b);
}

bool ArtSaveJpeg(const std::string &path, const ArtCanvas &c, int quality)
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
    bool ok = !std::ferror(f);
    return std::fclose(f) == 0 && ok;
}

bool ArtSaveWav(const std::string &path, int rate, const std::vector<uint8_t> &samples)
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

// [SECTION] Pictures ------------------------------------------------------

ArtCanvas ArtBackground(const char *title, const char *subtitle)
{
    ArtCanvas c(640, 480);
    ArtVerticalGradient(c, ArtRgb(18, 30, 58), ArtRgb(6, 10, 22));
    for (int y = 0; y < 480; y += 32)
        for (int x = 0; x < 640; x++)
            c.Put(x, y, ArtMix(c.Get(x, y), ArtRgb(60, 90, 140), 0.25));
    for (int x = 0; x < 640; x += 32)
        for (int y = 0; y < 480; y++)
            c.Put(x, y, ArtMix(c.Get(x, y), ArtRgb(60, 90, 140), 0.25));
    for (int i = 0; i < 6; i++)
        ArtDisc(c, 520 + 18 * std::cos(i * 1.047), 90 + 18 * std::sin(i * 1.047), 7, ArtRgb(40, 62, 104));
    ArtDisc(c, 520, 90, 9, ArtRgb(92, 84, 60));
    // A long title gets smaller until it fits between the margins.
    int size = 64;
    while (size > 20 && ArtTextWidth(title, size, true) > 560)
        size -= 4;
    ArtDrawText(c, 40, 100, title, size, ArtRgb(44, 64, 108), true);
    if (subtitle[0])
        ArtDrawText(c, 44, 128, subtitle, 15, ArtRgb(52, 72, 112));
    return c;
}

ArtCanvas ArtKeyBar(bool viewer)
{
    ArtCanvas c(640, 80);
    ArtVerticalGradient(c, ArtRgb(40, 48, 70), ArtRgb(16, 20, 32));
    ArtFillRect(c, 0, 0, 640, 2, ArtRgb(120, 140, 180));
    ArtFillRect(c, 604, 22, 640, 44, ArtRgb(10, 12, 20)); // clock well at (611, 427)
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

ArtCanvas ArtTopBar()
{
    ArtCanvas c(640, 20);
    ArtVerticalGradient(c, ArtRgb(70, 90, 140), ArtRgb(30, 40, 70));
    ArtFillRect(c, 0, 19, 640, 20, ArtRgb(140, 160, 210));
    ArtDisc(c, 30, 10, 6, ArtRgb(230, 200, 90));
    return c;
}

ArtCanvas ArtClockFont()
{
    ArtCanvas c(60, 10, ArtRgb(10, 12, 20));
    // Seven-segment figures: a top, b/c right, d bottom, e/f left, g middle.
    static const char *segments[10] = {"abcdef", "bc", "abged", "abgcd", "fgbc", "afgcd", "afgedc", "abc", "abcdefg", "abcdfg"};
    uint32_t on = ArtRgb(120, 220, 140);
    for (int d = 0; d < 10; d++) {
        int x0 = d * 6 + 1;
        for (const char *s = segments[d]; *s; s++) {
            switch (*s) {
            case 'a': ArtFillRect(c, x0, 0, x0 + 4, 1, on); break;
            case 'b': ArtFillRect(c, x0 + 3, 0, x0 + 4, 5, on); break;
            case 'c': ArtFillRect(c, x0 + 3, 4, x0 + 4, 9, on); break;
            case 'd': ArtFillRect(c, x0, 8, x0 + 4, 9, on); break;
            case 'e': ArtFillRect(c, x0, 4, x0 + 1, 9, on); break;
            case 'f': ArtFillRect(c, x0, 0, x0 + 1, 5, on); break;
            case 'g': ArtFillRect(c, x0, 4, x0 + 4, 5, on); break;
            }
        }
    }
    return c;
}

ArtCanvas ArtArchiveDiagram()
{
    ArtCanvas c(260, 120, ArtRgb(20, 26, 40));
    ArtFrameRect(c, 0, 0, 260, 120, ArtRgb(120, 140, 180));
    struct Box { int x0, x1; uint32_t colour; const char *label; } boxes[] = {
        {10, 50, ArtRgb(200, 120, 60), "head"},  {50, 105, ArtRgb(70, 130, 200), "member"},
        {105, 160, ArtRgb(70, 150, 120), "member"}, {160, 190, ArtRgb(110, 110, 160), "..."},
        {190, 250, ArtRgb(190, 170, 70), "directory"}};
    for (const Box &b : boxes) {
        ArtFillRect(c, b.x0, 40, b.x1 - 2, 80, b.colour);
        ArtDrawText(c, b.x0 + 3, 64, b.label, 10, ArtRgb(255, 255, 255));
    }
    ArtDrawText(c, 10, 24, "zarn.dat", 13, ArtRgb(230, 235, 255), true);
    ArtDrawText(c, 10, 104, "offsets are absolute", 11, ArtRgb(180, 195, 225));
    return c;
}

ArtCanvas ArtLayoutSketch()
{
    ArtCanvas c(200, 150, ArtRgb(235, 232, 220));
    ArtFillRect(c, 110, 20, 180, 80, ArtRgb(90, 120, 170));
    for (int y = 14; y < 140; y += 12) {
        bool blocked = y > 14 && y < 92;
        ArtFillRect(c, 12, y, blocked ? 100 : 188, y + 5, ArtRgb(80, 80, 80));
    }
    return c;
}

ArtCanvas ArtBadge()
{
    ArtCanvas c(72, 72, ArtRgb(255, 0, 255));
    for (int y = 0; y < 72; y++)
        for (int x = 0; x < 72; x++) {
            double d = std::hypot(x + 0.5 - 36, y + 0.5 - 36);
            if (d < 34)
                c.Put(x, y, d < 30 ? ArtMix(ArtRgb(250, 210, 80), ArtRgb(200, 120, 30), d / 30) : ArtRgb(120, 60, 20));
        }
    int w = ArtTextWidth("NEW", 16, true);
    ArtDrawText(c, 36 - w / 2, 42, "NEW", 16, ArtRgb(90, 30, 10), true);
    return c;
}

ArtCanvas ArtLandscape(int w, int h)
{
    ArtCanvas c(w, h);
    ArtVerticalGradient(c, ArtRgb(120, 170, 230), ArtRgb(240, 200, 150));
    for (int x = 0; x < w; x++) {
        int ridge = int(h * 0.55 + h * 0.12 * std::sin(x * 0.035) + h * 0.05 * std::sin(x * 0.11));
        for (int y = ridge; y < h; y++)
            c.Put(x, y, ArtMix(ArtRgb(60, 90, 70), ArtRgb(30, 45, 40), double(y - ridge) / (h - ridge + 1)));
    }
    ArtDisc(c, w * 0.75, h * 0.28, h * 0.09, ArtRgb(255, 240, 200));
    return c;
}

// [SECTION] 3D files ------------------------------------------------------

namespace {

// A channel from a formula: truncated toward zero, then kept to 0..255.
int Channel(double v)
{
    int i = int(v);
    return i < 0 ? 0 : i > 255 ? 255 : i;
}

} // namespace

ArtCanvas ArtStandardTexture()
{
    ArtCanvas c(128, 128);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++)
            c.Put(x, y, ArtRgb(60, 60 + (x ^ y) % 64, 120 + ((x / 16 + y / 16) % 2) * 80));
    return c;
}

ArtCanvas ArtBallTexture()
{
    ArtCanvas c(256, 128);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 256; x++)
            c.Put(x, y, ArtRgb(Channel(200 + 55 * std::sin(x / 8.0)), Channel(90 + 60 * std::sin(y / 6.0)),
                               (x / 32 + y / 32) % 2 ? 40 : 160));
    return c;
}

ArtCanvas ArtLensFlare()
{
    ArtCanvas c(128, 128);
    for (int y = 0; y < 128; y++)
        for (int x = 0; x < 128; x++) {
            double d = std::hypot(x - 63.5, y - 63.5) / 64.0;
            double glow = std::pow(std::fmax(0.0, 1.0 - d), 2);
            double ring = std::fmax(0.0, 1.0 - std::fabs(d - 0.7) * 20);
            c.Put(x, y, ArtRgb(Channel(255 * glow + 60 * ring), Channel(220 * glow + 40 * ring),
                               Channel(160 * glow + 90 * ring)));
        }
    return c;
}

std::vector<uint8_t> ArtClothLayer()
{
    std::vector<uint8_t> b(256 * 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            b[size_t(y) * 256 + x] = uint8_t(
                Channel(40 + 40 * std::sin(x / 11.0) * std::cos(y / 13.0) + 30 * std::sin((x + y) / 7.0)));
    return b;
}

std::vector<uint8_t> ArtShadowMask()
{
    std::vector<uint8_t> b(256 * 256);
    for (int y = 0; y < 256; y++)
        for (int x = 0; x < 256; x++)
            b[size_t(y) * 256 + x] = uint8_t(Channel(std::hypot(x - 127.5, y - 127.5) / 1.8));
    return b;
}

std::string ArtSphereObj(double radius, int rings, int segments)
{
    std::string obj = "# sphere\n";
    char line[128];
    for (int i = 0; i <= rings; i++) {
        double th = M_PI * i / rings;
        for (int j = 0; j <= segments; j++) {
            double ph = 2 * M_PI * j / segments;
            std::snprintf(line, sizeof line, "v %.5f %.5f %.5f\n", radius * std::sin(th) * std::cos(ph),
                          radius * std::cos(th), radius * std::sin(th) * std::sin(ph));
            obj += line;
            std::snprintf(line, sizeof line, "vt %.5f %.5f\n", double(j) / segments, 1 - double(i) / rings);
            obj += line;
        }
    }
    int stride = segments + 1;
    for (int i = 0; i < rings; i++)
        for (int j = 0; j < segments; j++) {
            int a = i * stride + j + 1;
            int b = a + 1, c = a + stride, d = a + stride + 1;
            // Anticlockwise seen from outside, as OBJ expects; one triangle at the poles.
            if (i > 0) {
                std::snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d\n", a, a, b, b, c, c);
                obj += line;
            }
            if (i < rings - 1) {
                std::snprintf(line, sizeof line, "f %d/%d %d/%d %d/%d\n", b, b, d, d, c, c);
                obj += line;
            }
        }
    return obj;
}

// [SECTION] Effects -------------------------------------------------------

std::vector<uint8_t> ArtTone(int rate, double seconds, double f0, double f1, double decay)
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

// [SECTION] Sets of files -------------------------------------------------

bool ArtWriteIssueFiles(const std::string &directory, const char *title, const char *subtitle, std::string *error)
{
    std::string out = directory + "/";
    // Each step runs only when the ones before it succeeded.
    const char *failed = nullptr;
    auto step = [&](const char *name, auto write) {
        if (!failed && !write(out + name))
            failed = name;
    };
    step("_full.jpg", [&](const std::string &p) { return ArtSaveJpeg(p, ArtBackground(title, subtitle)); });
    step("_help1.jpg", [&](const std::string &p) { return ArtSaveJpeg(p, ArtKeyBar(false)); });
    step("_help2.jpg", [&](const std::string &p) { return ArtSaveJpeg(p, ArtKeyBar(true)); });
    step("_topbar.jpg", [&](const std::string &p) { return ArtSaveJpeg(p, ArtTopBar()); });
    step("_clkfont.bmp", [&](const std::string &p) { return ArtSaveBmp24(p, ArtClockFont()); });
    step("article.wav", [&](const std::string &p) { return ArtSaveWav(p, 22050, ArtTone(22050, 0.18, 660, 990, 14)); });
    step("page.wav", [&](const std::string &p) { return ArtSaveWav(p, 22050, ArtTone(22050, 0.09, 1200, 800, 30)); });
    step("back.wav", [&](const std::string &p) { return ArtSaveWav(p, 11025, ArtTone(11025, 0.25, 500, 250, 10)); });
    step("standard.bmp", [&](const std::string &p) { return ArtSaveBmp24(p, ArtStandardTexture()); });
    step("ball.bmp", [&](const std::string &p) { return ArtSaveBmp24(p, ArtBallTexture()); });
    step("lens.bmp", [&](const std::string &p) { return ArtSaveBmp24(p, ArtLensFlare()); });
    step("hell2.bmp", [&](const std::string &p) { return ArtSaveBmp8(p, 256, 256, ArtClothLayer()); });
    step("zs_mask.bmp", [&](const std::string &p) { return ArtSaveBmp8(p, 256, 256, ArtShadowMask()); });
    if (failed && error)
        *error = out + failed;
    return !failed;
}
