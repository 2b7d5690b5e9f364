// art — the pictures, sounds and 3D textures of an issue, drawn from code so
// that an issue carries no third-party art. The demo issue's build (make_art)
// and `zarn-tool new` both draw with it: the start-up screens and key bars,
// the clock digits, article pictures, the three effects, the outro's
// textures and the ball's mesh.
//
// The drawing helpers (canvas, colours, shapes, text, writers) are plain
// functions meant for any picture made in code.
//
// [SECTION] Canvas and colours
// [SECTION] Text
// [SECTION] Writers
// [SECTION] Pictures
// [SECTION] 3D files
// [SECTION] Effects
// [SECTION] Sets of files
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// [SECTION] Canvas and colours --------------------------------------------

// Pixels 0x00RRGGBB, rows top first.
struct ArtCanvas {
    int width, height;
    std::vector<uint32_t> pixels;
    ArtCanvas(int w, int h, uint32_t fill = 0) : width(w), height(h), pixels(size_t(w) * h, fill) {}
    // Writes outside the canvas are ignored.
    void Put(int x, int y, uint32_t colour)
    {
        if (x >= 0 && y >= 0 && x < width && y < height)
            pixels[size_t(y) * width + x] = colour;
    }
    // The pixel at x, y; 0 outside the canvas.
    uint32_t Get(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height ? pixels[size_t(y) * width + x] : 0;
    }
};

// Channels are clamped to 0..255.
uint32_t ArtRgb(int red, int green, int blue);
// a blended toward b by t (0 = a, 1 = b), rounded per channel.
uint32_t ArtMix(uint32_t a, uint32_t b, double t);
// Rectangles are half-open: x0 up to x1, y0 up to y1; parts outside the canvas are skipped.
void ArtFillRect(ArtCanvas &canvas, int x0, int y0, int x1, int y1, uint32_t colour);
void ArtFrameRect(ArtCanvas &canvas, int x0, int y0, int x1, int y1, uint32_t colour);
// Top row top, bottom row bottom, rows between blended.
void ArtVerticalGradient(ArtCanvas &canvas, uint32_t top, uint32_t bottom);
// An anti-aliased disc blended over what is there.
void ArtDisc(ArtCanvas &canvas, double cx, double cy, double radius, uint32_t colour);

// [SECTION] Text ----------------------------------------------------------

// Loads the regular and the bold face every text drawn here uses (TrueType
// files). Returns 1, or 0 when either cannot be loaded (text then draws
// nothing and measures 0).
int ArtLoadFonts(const char *regularFile, const char *boldFile);
void ArtCloseFonts();
// Draws 8-bit (Latin-1) text with its baseline at y, blended; returns the x after it.
int ArtDrawText(ArtCanvas &canvas, int x, int y, const char *text, int pixelSize, uint32_t colour,
                bool bold = false);
// Width in pixels of text at pixelSize (0 without fonts).
int ArtTextWidth(const char *text, int pixelSize, bool bold = false);

// [SECTION] Writers -------------------------------------------------------
// Each returns true, or false when the file cannot be written.

// A 24-bit bottom-up BMP, rows padded to four bytes.
bool ArtSaveBmp24(const std::string &path, const ArtCanvas &canvas);
// An 8-bit BMP with a grey palette; indices hold width x height bytes, top
// row first, and width must be a multiple of 4.
bool ArtSaveBmp8(const std::string &path, int width, int height, const std::vector<uint8_t> &indices);
// A baseline JPEG.
bool ArtSaveJpeg(const std::string &path, const ArtCanvas &canvas, int quality = 90);
// A canonical 8-bit mono WAV (44-byte header) of unsigned samples.
bool ArtSaveWav(const std::string &path, int rate, const std::vector<uint8_t> &samples);

// [SECTION] Pictures ------------------------------------------------------

// The full-screen background (640 x 480): a night-blue gradient with a faint
// grid, the title large (shrunk to fit the width) and the subtitle ("" for none).
ArtCanvas ArtBackground(const char *title, const char *subtitle);
// A key bar (640 x 80) for the menu or, with viewer, the article screen; it
// keeps the article list (x 180 to 470) and the clock well at (611, 427) clear.
ArtCanvas ArtKeyBar(bool viewer);
// The article screen's top bar (640 x 20).
ArtCanvas ArtTopBar();
// The clock digits 0-9, 6 x 10 pixels each, side by side (60 x 10).
ArtCanvas ArtClockFont();
// The archive's layout: header, members, directory at the end (260 x 120).
ArtCanvas ArtArchiveDiagram();
// Text lines flowing around a picture box (200 x 150).
ArtCanvas ArtLayoutSketch();
// A round "NEW" badge on magenta, for the transparent picture tags (72 x 72).
ArtCanvas ArtBadge();
// A photo-like landscape of hills under a sky.
ArtCanvas ArtLandscape(int width, int height);

// [SECTION] 3D files ------------------------------------------------------

// The engine's default texture, "standard.bmp" (128 x 128).
ArtCanvas ArtStandardTexture();
// The ball's texture, "ball.bmp" (256 x 128).
ArtCanvas ArtBallTexture();
// The main lens-flare picture, "lens.bmp" (128 x 128).
ArtCanvas ArtLensFlare();
// Index bytes (256 x 256, top row first) of "hell2.bmp", the cloth's second
// layer, and of "zs_mask.bmp", the z-shadow mask.
std::vector<uint8_t> ArtClothLayer();
std::vector<uint8_t> ArtShadowMask();
// A UV sphere as Wavefront OBJ text: rings x segments quads, triangles at the poles.
std::string ArtSphereObj(double radius = 40.0, int rings = 16, int segments = 24);

// [SECTION] Effects -------------------------------------------------------

// Unsigned 8-bit mono samples: a tone gliding from f0 to f1 Hz that decays.
std::vector<uint8_t> ArtTone(int rate, double seconds, double f0, double f1, double decay);

// [SECTION] Sets of files -------------------------------------------------
// Each writes into directory (which must exist) and returns true, or false
// with *error naming the file that could not be written. Fonts must be loaded.

// What every issue needs besides its articles: "_full.jpg" (with title and
// subtitle), "_help1.jpg", "_help2.jpg", "_topbar.jpg", "_clkfont.bmp", the
// effects "article.wav", "page.wav", "back.wav", and the outro's textures
// "standard.bmp", "ball.bmp", "lens.bmp", "hell2.bmp", "zs_mask.bmp".
// "ball.v3d" is made from ArtSphereObj by the 3D import of zarn-tool.
bool ArtWriteIssueFiles(const std::string &directory, const char *title, const char *subtitle, std::string *error);
