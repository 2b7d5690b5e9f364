// The executable's resources. Dialog templates are tables in dialog units;
// the loading picture and the icon are painted here into 8-bit BMP images
// (palette of 256 colours, rows bottom-up) so that nothing outside our own
// code goes into the program.
//
// [SECTION] Dialog templates
// [SECTION] Painting
// [SECTION] BMP images
// [SECTION] Registration
#include "app/resources.h"

#include <cstring>
#include <vector>

namespace {

// [SECTION] Dialog templates ------------------------------------------------

const DWORD childStyle = WS_CHILD | WS_VISIBLE;

// Order, texts, ids and positions are the dialog's own; every control but the
// group boxes is a tab stop, and each radio group starts with WS_GROUP.
const DialogControl setupControls[] = {
    {SETUP_START, DIALOG_PUSHBUTTON, "START", 211, 70, 60, 16, childStyle | WS_TABSTOP, 0},
    {SETUP_CANCEL, DIALOG_PUSHBUTTON, "Cancel", 131, 70, 60, 16, childStyle | WS_TABSTOP, 0},
    {-1, DIALOG_GROUPBOX, "Display mode", 7, 7, 83, 52, childStyle, 0},
    {SETUP_FULL_SCREEN, DIALOG_AUTORADIOBUTTON, "Full screen", 13, 22, 50, 10, childStyle | WS_GROUP | WS_TABSTOP, 0},
    {SETUP_IN_A_WINDOW, DIALOG_AUTORADIOBUTTON, "In a window", 13, 36, 54, 10, childStyle | WS_TABSTOP, 0},
    {-1, DIALOG_GROUPBOX, "Colors", 95, 7, 65, 52, childStyle, 0},
    {SETUP_16_BIT, DIALOG_AUTORADIOBUTTON, "16 bit", 102, 36, 33, 10, childStyle | WS_GROUP | WS_TABSTOP, 0},
    {SETUP_32_BIT, DIALOG_AUTORADIOBUTTON, "32 bit", 102, 22, 33, 10, childStyle | WS_TABSTOP, 0},
    {-1, DIALOG_GROUPBOX, "Sound", 165, 7, 106, 34, childStyle, 0},
    {SETUP_SHOW_CONFIG, DIALOG_AUTOCHECKBOX, "Show config at startup", 13, 73, 87, 10, childStyle | WS_TABSTOP, 0},
    {SETUP_SOUND, DIALOG_AUTOCHECKBOX, "Sound", 173, 22, 37, 10, childStyle | WS_TABSTOP, 0},
};

const DialogTemplate setupTemplate = {
    RESOURCE_SETUP_DIALOG, "Zarn Config", 278, 94, "MS Sans Serif", 8,
    setupControls, (int)(sizeof setupControls / sizeof setupControls[0]),
};

const DialogControl loadingControls[] = {
    {-1, DIALOG_STATIC_BITMAP, "", 0, 0, 213, 89, childStyle, RESOURCE_LOADING_BITMAP},
};

// No caption: the loading dialog is only its picture.
const DialogTemplate loadingTemplate = {
    RESOURCE_LOADING_DIALOG, nullptr, 213, 89, "MS Sans Serif", 8,
    loadingControls, 1,
};

// [SECTION] Painting ----------------------------------------------------------

struct Canvas {
    int width, height;
    uint8_t *pixels; // top-down, one palette index per pixel
};

// 5 x 7 capitals, one byte per row, bit 4 = leftmost column.
struct Glyph {
    char letter;
    uint8_t rows[7];
};

const Glyph glyphs[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'N', {0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
};

const Glyph *FindGlyph(char letter)
{
    for (const Glyph &glyph : glyphs)
        if (glyph.letter == letter)
            return &glyph;
    return nullptr;
}

void Plot(Canvas &canvas, int x, int y, uint8_t colour)
{
    if (x >= 0 && y >= 0 && x < canvas.width && y < canvas.height)
        canvas.pixels[y * canvas.width + x] = colour;
}

void FillBox(Canvas &canvas, int x0, int y0, int x1, int y1, uint8_t colour)
{
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            Plot(canvas, x, y, colour);
}

// Letters of scale x scale pixel blocks, spaced by one block.
int TextWidth(const char *text, int scale)
{
    int count = (int)strlen(text);
    return count ? count * 6 * scale - scale : 0;
}

// The shadow falls drop pixels right and down of each block.
void DrawText(Canvas &canvas, const char *text, int x, int y, int scale, uint8_t colour, uint8_t shadow, int drop = 2)
{
    for (; *text; text++, x += 6 * scale) {
        const Glyph *glyph = FindGlyph(*text);
        if (!glyph)
            continue;
        for (int row = 0; row < 7; row++)
            for (int column = 0; column < 5; column++) {
                if (!(glyph->rows[row] & (0x10 >> column)))
                    continue;
                int px = x + column * scale, py = y + row * scale;
                FillBox(canvas, px + drop, py + drop, px + scale + drop, py + scale + drop, shadow);
                FillBox(canvas, px, py, px + scale, py + scale, colour);
            }
    }
}

// Palette: 0-191 a ramp from night blue over teal to amber, 192-255 a ramp
// from amber to white for the lettering.
void MakePalette(uint8_t palette[256][3])
{
    for (int i = 0; i < 256; i++) {
        int r, g, b;
        if (i < 96) {
            r = 8 + i / 4;
            g = 10 + i;
            b = 40 + i;
        } else if (i < 192) {
            int t = i - 96;
            r = 32 + t * 2;
            g = 106 + t / 2;
            b = 136 - t;
        } else {
            int t = i - 192;
            r = 224 + t / 2;
            g = 154 + t * 3 / 2;
            b = 40 + t * 3;
        }
        palette[i][0] = (uint8_t)(r > 255 ? 255 : r);
        palette[i][1] = (uint8_t)(g > 255 ? 255 : g);
        palette[i][2] = (uint8_t)(b > 255 ? 255 : b);
    }
}

void PaintLoading(Canvas &canvas)
{
    // Background: a vertical ramp crossed by soft diagonal bands.
    for (int y = 0; y < canvas.height; y++)
        for (int x = 0; x < canvas.width; x++) {
            int band = ((x + y * 2) / 12) % 8;
            int level = y * 120 / canvas.height + (band < 4 ? band : 8 - band) * 6;
            canvas.pixels[y * canvas.width + x] = (uint8_t)(level > 191 ? 191 : level);
        }
    // Frame.
    FillBox(canvas, 0, 0, canvas.width, 2, 255);
    FillBox(canvas, 0, canvas.height - 2, canvas.width, canvas.height, 255);
    FillBox(canvas, 0, 0, 2, canvas.height, 255);
    FillBox(canvas, canvas.width - 2, 0, canvas.width, canvas.height, 255);

    const char *title = "ZARN";
    int scale = 8;
    DrawText(canvas, title, (canvas.width - TextWidth(title, scale)) / 2, 18, scale, 240, 20);
    const char *line = "LOADING...";
    DrawText(canvas, line, (canvas.width - TextWidth(line, 2)) / 2, 96, 2, 220, 10);
    // An empty progress bar under the word: the picture is shown while loading.
    FillBox(canvas, 60, 122, 260, 124, 200);
    FillBox(canvas, 60, 132, 260, 134, 200);
    FillBox(canvas, 60, 122, 62, 134, 200);
    FillBox(canvas, 258, 122, 260, 134, 200);
    FillBox(canvas, 64, 126, 130, 130, 250);
}

// A square of any size: a diagonal ramp and one shadowed letter, every
// measure a fixed share of the side, so the window's 32-pixel icon and the
// desktop's larger ones are the same picture.
void PaintIcon(Canvas &canvas)
{
    int size = canvas.width;
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++)
            canvas.pixels[y * size + x] = (uint8_t)(40 + (x + y) * 64 / size);
    int scale = size / 8;
    DrawText(canvas, "Z", (size - TextWidth("Z", scale)) / 2 - scale / 4, (size - 7 * scale) / 2 - scale / 4, scale,
             245, 10, scale / 2);
}

// [SECTION] BMP images --------------------------------------------------------

void Put16(uint8_t *p, uint32_t value)
{
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
}

void Put32(uint8_t *p, uint32_t value)
{
    Put16(p, value);
    Put16(p + 2, value >> 16);
}

constexpr uint32_t BmpSize(int width, int height)
{
    return 14 + 40 + 256 * 4 + (uint32_t)((width + 3) / 4 * 4) * (uint32_t)height;
}

// Writes an 8-bit BMP file image of the canvas into out (BmpSize bytes).
void WriteBmp8(const Canvas &canvas, const uint8_t palette[256][3], uint8_t *out)
{
    uint32_t stride = (uint32_t)((canvas.width + 3) / 4 * 4);
    uint32_t dataOffset = 14 + 40 + 256 * 4;
    uint32_t size = BmpSize(canvas.width, canvas.height);
    memset(out, 0, size);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out + 2, size);
    Put32(out + 10, dataOffset);
    uint8_t *info = out + 14;
    Put32(info, 40);
    Put32(info + 4, (uint32_t)canvas.width);
    Put32(info + 8, (uint32_t)canvas.height);
    Put16(info + 12, 1);
    Put16(info + 14, 8);
    Put32(info + 20, stride * (uint32_t)canvas.height);
    Put32(info + 24, 2835);
    Put32(info + 28, 2835);
    Put32(info + 32, 256);
    uint8_t *colours = out + 54;
    for (int i = 0; i < 256; i++) {
        colours[i * 4 + 0] = palette[i][2];
        colours[i * 4 + 1] = palette[i][1];
        colours[i * 4 + 2] = palette[i][0];
    }
    for (int y = 0; y < canvas.height; y++)
        memcpy(out + dataOffset + (uint32_t)(canvas.height - 1 - y) * stride,
               canvas.pixels + y * canvas.width, (size_t)canvas.width);
}

const uint32_t loadingSize = BmpSize(LOADING_BITMAP_WIDTH, LOADING_BITMAP_HEIGHT);
const uint32_t iconSize = BmpSize(ICON_SIZE, ICON_SIZE);

struct ResourceState {
    int painted;
    int registered;
    uint8_t loadingPixels[LOADING_BITMAP_WIDTH * LOADING_BITMAP_HEIGHT];
    uint8_t iconPixels[ICON_SIZE * ICON_SIZE];
    uint8_t loadingBmp[loadingSize];
    uint8_t iconBmp[iconSize];
    BitmapResource loadingResource;
    BitmapResource iconResource;
};

ResourceState resources;

void PaintAll()
{
    if (resources.painted)
        return;
    uint8_t palette[256][3];
    MakePalette(palette);
    Canvas loading = {LOADING_BITMAP_WIDTH, LOADING_BITMAP_HEIGHT, resources.loadingPixels};
    PaintLoading(loading);
    WriteBmp8(loading, palette, resources.loadingBmp);
    Canvas icon = {ICON_SIZE, ICON_SIZE, resources.iconPixels};
    PaintIcon(icon);
    WriteBmp8(icon, palette, resources.iconBmp);
    resources.painted = 1;
}

} // namespace

// [SECTION] Registration --------------------------------------------------------

void RegisterResources()
{
    PaintAll();
    if (resources.registered)
        return;
    resources.loadingResource = {RESOURCE_LOADING_BITMAP, resources.loadingBmp, loadingSize};
    resources.iconResource = {RESOURCE_ICON, resources.iconBmp, iconSize};
    PlatformRegisterBitmap(&resources.loadingResource);
    PlatformRegisterBitmap(&resources.iconResource);
    resources.registered = 1;
}

const DialogTemplate *SetupDialogTemplate()
{
    return &setupTemplate;
}

const DialogTemplate *LoadingDialogTemplate()
{
    return &loadingTemplate;
}

const uint8_t *LoadingBitmap(uint32_t *size)
{
    PaintAll();
    *size = loadingSize;
    return resources.loadingBmp;
}

const uint8_t *IconBitmap(uint32_t *size)
{
    PaintAll();
    *size = iconSize;
    return resources.iconBmp;
}

int PaintIconImage(int size, uint32_t *pixels)
{
    if (size < ICON_IMAGE_MIN || size > ICON_IMAGE_MAX || !pixels)
        return 0;
    uint8_t palette[256][3];
    MakePalette(palette);
    std::vector<uint8_t> indices((size_t)size * (size_t)size);
    Canvas canvas = {size, size, indices.data()};
    PaintIcon(canvas);
    for (size_t i = 0; i < indices.size(); i++) {
        const uint8_t *colour = palette[indices[i]];
        pixels[i] = (uint32_t)colour[0] << 16 | (uint32_t)colour[1] << 8 | colour[2];
    }
    return 1;
}
