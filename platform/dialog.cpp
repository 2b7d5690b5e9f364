// Our small dialog manager: modeless dialogs built from templates, their
// controls (push buttons, auto radio buttons in groups, auto check boxes,
// group boxes, static bitmaps), check and enabled state, keyboard focus
// (Tab, Shift+Tab, arrows within a radio group, Space, Enter, Esc), mouse
// presses, and drawing a dialog into 32-bit pixels with the system's
// sans-serif font (PlatformFindFontFile finds it, FreeType renders it). Both
// backends use it; the SDL one shows the pixels in the dialog's own window.
//
// [SECTION] State
// [SECTION] Creation and controls
// [SECTION] Pressing and focus
// [SECTION] Window procedures
// [SECTION] Text
// [SECTION] Bitmaps
// [SECTION] Drawing
#include "platform/backend.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstring>

// [SECTION] State ---------------------------------------------------------

enum { MAX_BITMAPS = 16, GLYPH_CACHE = 128, FONT_PIXELS = 11 };

struct Glyph {
    int loaded;
    int width, height, left, top, advance;
    std::vector<uint8_t> coverage;
};

struct DialogModuleState {
    const BitmapResource *bitmaps[MAX_BITMAPS];
    int bitmapCount;
    int fontTried;
    FT_Library library;
    FT_Face face;
    int ascender, lineHeight;
    Glyph glyphs[GLYPH_CACHE];
};

static DialogModuleState dialogs;

HWND PlatformNewWindow(DWORD exStyle, const char *className, const char *title, DWORD style, int x, int y,
                       int width, int height, HWND parent);
int PlatformAttachNative(HWND window);
int PlatformShiftHeld();
static int BitmapSize(const BitmapResource *bitmap, int *width, int *height);

int DialogUnitsToPixelsX(int units)
{
    return units * 6 / 4;
}

int DialogUnitsToPixelsY(int units)
{
    return units * 13 / 8;
}

void PlatformRegisterBitmap(const BitmapResource *bitmap)
{
    if (!bitmap)
        return;
    for (int i = 0; i < dialogs.bitmapCount; i++)
        if (dialogs.bitmaps[i]->id == bitmap->id) {
            dialogs.bitmaps[i] = bitmap;
            return;
        }
    if (dialogs.bitmapCount < MAX_BITMAPS)
        dialogs.bitmaps[dialogs.bitmapCount++] = bitmap;
}

const BitmapResource *PlatformFindBitmap(int id)
{
    for (int i = 0; i < dialogs.bitmapCount; i++)
        if (dialogs.bitmaps[i]->id == id)
            return dialogs.bitmaps[i];
    return nullptr;
}

void DialogFree(PlatformDialog *dialog)
{
    delete dialog;
}

// [SECTION] Creation and controls -----------------------------------------

HWND CreateDialogIndirectParamA(HINSTANCE instance, const DialogTemplate *dialogTemplate, HWND owner,
                                DLGPROC procedure, LPARAM initParam)
{
    (void)instance;
    (void)owner;
    if (!dialogTemplate || !procedure || dialogTemplate->controlCount < 0 ||
        (dialogTemplate->controlCount > 0 && !dialogTemplate->controls))
        return nullptr;
    PlatformBackendInUse();
    int width = DialogUnitsToPixelsX(dialogTemplate->width);
    int height = DialogUnitsToPixelsY(dialogTemplate->height);
    auto *dialog = new PlatformDialog();
    dialog->templateId = dialogTemplate->id;
    dialog->caption = dialogTemplate->caption ? dialogTemplate->caption : "";
    dialog->procedure = procedure;
    dialog->focus = -1;
    dialog->pressed = -1;
    for (int i = 0; i < dialogTemplate->controlCount; i++) {
        PlatformControl control;
        control.source = dialogTemplate->controls[i];
        control.text = control.source.text ? control.source.text : "";
        control.source.text = nullptr;
        control.window = nullptr;
        control.checked = 0;
        control.pixelX = DialogUnitsToPixelsX(control.source.x);
        control.pixelY = DialogUnitsToPixelsY(control.source.y);
        control.pixelWidth = DialogUnitsToPixelsX(control.source.width);
        control.pixelHeight = DialogUnitsToPixelsY(control.source.height);
        int bitmapWidth, bitmapHeight;
        if (control.source.kind == DIALOG_STATIC_BITMAP &&
            BitmapSize(PlatformFindBitmap(control.source.bitmapId), &bitmapWidth, &bitmapHeight)) {
            // A bitmap control takes its picture's size; the dialog grows to show it whole.
            control.pixelWidth = bitmapWidth;
            control.pixelHeight = bitmapHeight;
            width = std::max(width, control.pixelX + bitmapWidth);
            height = std::max(height, control.pixelY + bitmapHeight);
        }
        dialog->controls.push_back(control);
    }
    HWND window = PlatformNewWindow(0, "#32770", dialog->caption.c_str(), WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                                    width, height, nullptr);
    window->dialog = dialog;
    for (size_t i = 0; i < dialog->controls.size(); i++) {
        const PlatformControl &control = dialog->controls[i];
        HWND child = PlatformNewWindow(0, "control", control.text.c_str(), WS_CHILD | WS_VISIBLE | control.source.style,
                                       control.pixelX, control.pixelY, control.pixelWidth, control.pixelHeight, window);
        child->visible = 1;
        child->controlIndex = static_cast<int>(i);
        dialog->controls[i].window = child;
    }
    if (!PlatformAttachNative(window))
        return nullptr;
    SendMessageA(window, WM_INITDIALOG, 0, initParam);
    if (IsWindow(window) && window->dialog->focus < 0) {
        for (size_t i = 0; i < dialog->controls.size(); i++)
            if ((dialog->controls[i].source.style & WS_TABSTOP) && dialog->controls[i].window->enabled) {
                dialog->focus = static_cast<int>(i);
                break;
            }
    }
    return window;
}

static PlatformControl *FindControl(HWND dialog, int id, int *index = nullptr)
{
    if (!IsWindow(dialog) || !dialog->dialog)
        return nullptr;
    for (size_t i = 0; i < dialog->dialog->controls.size(); i++)
        if (dialog->dialog->controls[i].source.id == id) {
            if (index)
                *index = static_cast<int>(i);
            return &dialog->dialog->controls[i];
        }
    return nullptr;
}

static void Changed(HWND dialog)
{
    if (IsWindow(dialog) && dialog->dialog)
        PlatformBackendInUse()->dialogChanged(dialog);
}

HWND GetDlgItem(HWND dialog, int id)
{
    PlatformControl *control = FindControl(dialog, id);
    return control ? control->window : nullptr;
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    if (!IsWindow(window))
        return FALSE;
    BOOL wasDisabled = !window->enabled;
    window->enabled = enable ? 1 : 0;
    Changed(window->parent ? window->parent : window);
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window)
{
    return IsWindow(window) && window->enabled;
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check)
{
    PlatformControl *control = FindControl(dialog, id);
    if (!control)
        return FALSE;
    control->checked = check == BST_CHECKED;
    Changed(dialog);
    return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id)
{
    PlatformControl *control = FindControl(dialog, id);
    return control && control->checked ? BST_CHECKED : BST_UNCHECKED;
}

// [SECTION] Pressing and focus --------------------------------------------

// The radio group of control index: from the closest control at or before it
// that starts a group to the one before the next group start.
static void GroupRange(const PlatformDialog *dialog, int index, int *first, int *last)
{
    int count = static_cast<int>(dialog->controls.size());
    int start = index;
    while (start > 0 && !(dialog->controls[start].source.style & WS_GROUP))
        start--;
    int end = index;
    while (end + 1 < count && !(dialog->controls[end + 1].source.style & WS_GROUP))
        end++;
    *first = start;
    *last = end;
}

static int Pressable(const PlatformControl &control)
{
    return control.source.kind != DIALOG_GROUPBOX && control.source.kind != DIALOG_STATIC_BITMAP &&
           control.window->enabled;
}

void DialogPressControl(HWND dialog, int index)
{
    if (!IsWindow(dialog) || !dialog->dialog || index < 0 ||
        index >= static_cast<int>(dialog->dialog->controls.size()))
        return;
    PlatformDialog *state = dialog->dialog;
    PlatformControl &control = state->controls[index];
    if (!Pressable(control))
        return;
    if (control.source.kind == DIALOG_AUTORADIOBUTTON) {
        int first, last;
        GroupRange(state, index, &first, &last);
        for (int i = first; i <= last; i++)
            if (state->controls[i].source.kind == DIALOG_AUTORADIOBUTTON)
                state->controls[i].checked = i == index;
    } else if (control.source.kind == DIALOG_AUTOCHECKBOX) {
        control.checked = !control.checked;
    }
    state->focus = index;
    int id = control.source.id;
    HWND controlWindow = control.window;
    Changed(dialog);
    // The procedure may destroy the dialog: nothing of it is touched after.
    SendMessageA(dialog, WM_COMMAND, static_cast<WPARAM>((BN_CLICKED << 16) | (id & 0xFFFF)),
                 reinterpret_cast<LPARAM>(controlWindow));
}

int DialogControlAt(HWND dialog, int x, int y)
{
    if (!IsWindow(dialog) || !dialog->dialog)
        return -1;
    const auto &controls = dialog->dialog->controls;
    for (int i = static_cast<int>(controls.size()) - 1; i >= 0; i--) {
        const PlatformControl &control = controls[i];
        if (control.source.kind == DIALOG_GROUPBOX || control.source.kind == DIALOG_STATIC_BITMAP)
            continue;
        if (x >= control.pixelX && x < control.pixelX + control.pixelWidth && y >= control.pixelY &&
            y < control.pixelY + control.pixelHeight)
            return i;
    }
    return -1;
}

// A control Tab stops at: a tab stop that is enabled; of a radio group only
// the checked button (or the first enabled one when none is checked).
static int TabStop(const PlatformDialog *dialog, int index)
{
    const PlatformControl &control = dialog->controls[index];
    if (!(control.source.style & WS_TABSTOP) || !Pressable(control))
        return 0;
    if (control.source.kind != DIALOG_AUTORADIOBUTTON)
        return 1;
    int first, last;
    GroupRange(dialog, index, &first, &last);
    int anyChecked = 0;
    for (int i = first; i <= last; i++)
        if (dialog->controls[i].source.kind == DIALOG_AUTORADIOBUTTON && dialog->controls[i].checked &&
            Pressable(dialog->controls[i]))
            anyChecked = 1;
    if (anyChecked)
        return control.checked;
    for (int i = first; i <= last; i++)
        if (dialog->controls[i].source.kind == DIALOG_AUTORADIOBUTTON && Pressable(dialog->controls[i]))
            return i == index;
    return 0;
}

static void MoveFocus(HWND dialog, int step)
{
    PlatformDialog *state = dialog->dialog;
    int count = static_cast<int>(state->controls.size());
    if (!count)
        return;
    int index = state->focus < 0 ? (step > 0 ? -1 : 0) : state->focus;
    for (int tries = 0; tries < count; tries++) {
        index = (index + step + count) % count;
        if (TabStop(state, index)) {
            state->focus = index;
            Changed(dialog);
            return;
        }
    }
}

// Arrows walk the focused radio group in screen order (top to bottom, then
// left to right) and select the button they land on.
static void MoveInGroup(HWND dialog, int step)
{
    PlatformDialog *state = dialog->dialog;
    int focus = state->focus;
    if (focus < 0 || state->controls[focus].source.kind != DIALOG_AUTORADIOBUTTON)
        return;
    int first, last;
    GroupRange(state, focus, &first, &last);
    std::vector<int> order;
    for (int i = first; i <= last; i++)
        if (state->controls[i].source.kind == DIALOG_AUTORADIOBUTTON && Pressable(state->controls[i]))
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [state](int a, int b) {
        const PlatformControl &ca = state->controls[a], &cb = state->controls[b];
        return ca.pixelY != cb.pixelY ? ca.pixelY < cb.pixelY : ca.pixelX < cb.pixelX;
    });
    auto at = std::find(order.begin(), order.end(), focus);
    if (at == order.end() || order.size() < 2)
        return;
    int position = static_cast<int>(at - order.begin());
    int count = static_cast<int>(order.size());
    DialogPressControl(dialog, order[(position + step + count) % count]);
}

static void PressById(HWND dialog, int id)
{
    int index;
    if (FindControl(dialog, id, &index))
        DialogPressControl(dialog, index);
    else
        SendMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

// [SECTION] Window procedures ---------------------------------------------

LRESULT DialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    PlatformDialog *state = dialog->dialog;
    INT_PTR handled = state->procedure(dialog, message, wParam, lParam);
    if (handled || !IsWindow(dialog))
        return handled;
    switch (message) {
    case WM_PAINT:
        Changed(dialog);
        return 0;
    case WM_CLOSE:
        PressById(dialog, IDCANCEL);
        return 0;
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_TAB:
            MoveFocus(dialog, PlatformShiftHeld() ? -1 : 1);
            break;
        case VK_LEFT:
        case VK_UP:
            MoveInGroup(dialog, -1);
            break;
        case VK_RIGHT:
        case VK_DOWN:
            MoveInGroup(dialog, 1);
            break;
        case VK_SPACE:
            DialogPressControl(dialog, state->focus);
            break;
        case VK_RETURN:
            PressById(dialog, IDOK);
            break;
        case VK_ESCAPE:
            PressById(dialog, IDCANCEL);
            break;
        }
        return 0;
    case WM_LBUTTONDOWN: {
        int x = static_cast<int16_t>(lParam & 0xFFFF), y = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
        state->pressed = DialogControlAt(dialog, x, y);
        Changed(dialog);
        return 0;
    }
    case WM_LBUTTONUP: {
        int x = static_cast<int16_t>(lParam & 0xFFFF), y = static_cast<int16_t>((lParam >> 16) & 0xFFFF);
        int pressed = state->pressed;
        state->pressed = -1;
        Changed(dialog);
        if (pressed >= 0 && pressed == DialogControlAt(dialog, x, y))
            DialogPressControl(dialog, pressed);
        return 0;
    }
    default:
        return DefWindowProcA(dialog, message, wParam, lParam);
    }
}

LRESULT ControlWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == BM_CLICK && IsWindow(control->parent)) {
        DialogPressControl(control->parent, control->controlIndex);
        return 0;
    }
    return DefWindowProcA(control, message, wParam, lParam);
}

// [SECTION] Text ----------------------------------------------------------

static void LoadFont()
{
    if (dialogs.fontTried)
        return;
    dialogs.fontTried = 1;
    char found[1024];
    std::string path;
    if (PlatformFindFontFile("sans-serif", 0, 0, found, sizeof found))
        path = found;
    if (path.empty())
        path = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (FT_Init_FreeType(&dialogs.library))
        return;
    if (FT_New_Face(dialogs.library, path.c_str(), 0, &dialogs.face) ||
        FT_Set_Pixel_Sizes(dialogs.face, 0, FONT_PIXELS)) {
        if (dialogs.face)
            FT_Done_Face(dialogs.face);
        dialogs.face = nullptr;
        return;
    }
    dialogs.ascender = static_cast<int>(dialogs.face->size->metrics.ascender >> 6);
    dialogs.lineHeight = static_cast<int>(dialogs.face->size->metrics.height >> 6);
}

static const Glyph *GetGlyph(unsigned char c)
{
    if (c >= GLYPH_CACHE)
        c = '?';
    Glyph &glyph = dialogs.glyphs[c];
    if (glyph.loaded || !dialogs.face)
        return glyph.loaded == 1 ? &glyph : nullptr;
    glyph.loaded = 2;
    if (FT_Load_Char(dialogs.face, c, FT_LOAD_RENDER))
        return nullptr;
    FT_GlyphSlot slot = dialogs.face->glyph;
    const FT_Bitmap &bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.rows)
        return nullptr;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.height = static_cast<int>(bitmap.rows);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    glyph.advance = static_cast<int>(slot->advance.x >> 6);
    glyph.coverage.resize(static_cast<size_t>(glyph.width) * glyph.height);
    for (int row = 0; row < glyph.height; row++)
        memcpy(&glyph.coverage[static_cast<size_t>(row) * glyph.width], bitmap.buffer + row * bitmap.pitch,
               static_cast<size_t>(glyph.width));
    glyph.loaded = 1;
    return &glyph;
}

static int TextWidth(const std::string &text)
{
    LoadFont();
    int width = 0;
    for (unsigned char c : text)
        if (const Glyph *glyph = GetGlyph(c))
            width += glyph->advance;
    return width;
}

struct Canvas {
    uint32_t *pixels;
    int width, height;
};

static uint32_t Mix(uint32_t under, uint32_t over, int coverage)
{
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        int a = (under >> shift) & 255, b = (over >> shift) & 255;
        out |= static_cast<uint32_t>(a + (b - a) * coverage / 255) << shift;
    }
    return out;
}

// Draws text with its top-left corner at (x, y); returns the width drawn.
static int DrawText(Canvas &canvas, int x, int y, const std::string &text, uint32_t colour)
{
    LoadFont();
    int penX = x;
    int baseline = y + dialogs.ascender;
    for (unsigned char c : text) {
        const Glyph *glyph = GetGlyph(c);
        if (!glyph)
            continue;
        for (int row = 0; row < glyph->height; row++) {
            int py = baseline - glyph->top + row;
            if (py < 0 || py >= canvas.height)
                continue;
            for (int column = 0; column < glyph->width; column++) {
                int px = penX + glyph->left + column;
                int coverage = glyph->coverage[static_cast<size_t>(row) * glyph->width + column];
                if (px < 0 || px >= canvas.width || !coverage)
                    continue;
                uint32_t &pixel = canvas.pixels[static_cast<size_t>(py) * canvas.width + px];
                pixel = Mix(pixel, colour, coverage);
            }
        }
        penX += glyph->advance;
    }
    return penX - x;
}

// [SECTION] Bitmaps -------------------------------------------------------

static uint32_t Read32(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// Reads the header of an uncompressed 8- or 24-bit BMP; 0 when it is not one
// or the pixel rows would run past the end of the data.
static int BitmapHeader(const BitmapResource *bitmap, int *width, int *height, int *bits, uint32_t *offset,
                        uint32_t *stride)
{
    if (!bitmap || !bitmap->bmp || bitmap->size < 54 || bitmap->bmp[0] != 'B' || bitmap->bmp[1] != 'M')
        return 0;
    const uint8_t *p = bitmap->bmp;
    int32_t w = static_cast<int32_t>(Read32(p + 18)), h = static_cast<int32_t>(Read32(p + 22));
    int bitCount = p[28] | p[29] << 8;
    uint32_t compression = Read32(p + 30);
    if (w <= 0 || w > 4096 || h == 0 || h < -4096 || h > 4096 || compression != 0 ||
        (bitCount != 8 && bitCount != 24))
        return 0;
    uint32_t rowBytes = ((static_cast<uint32_t>(w) * bitCount + 31) / 32) * 4;
    uint32_t rows = static_cast<uint32_t>(h < 0 ? -h : h);
    uint32_t start = Read32(p + 10);
    if (start > bitmap->size || rowBytes * rows > bitmap->size - start)
        return 0;
    *width = w;
    *height = h;
    *bits = bitCount;
    *offset = start;
    *stride = rowBytes;
    return 1;
}

static int BitmapSize(const BitmapResource *bitmap, int *width, int *height)
{
    int bits;
    uint32_t offset, stride;
    if (!BitmapHeader(bitmap, width, height, &bits, &offset, &stride))
        return 0;
    *height = *height < 0 ? -*height : *height;
    return 1;
}

static void DrawBitmap(Canvas &canvas, int x, int y, const BitmapResource *bitmap)
{
    int width, height, bits;
    uint32_t offset, stride;
    if (!BitmapHeader(bitmap, &width, &height, &bits, &offset, &stride))
        return;
    const uint8_t *p = bitmap->bmp;
    uint32_t headerSize = Read32(p + 14);
    uint32_t paletteStart = 14 + headerSize;
    uint32_t colours = Read32(p + 46);
    if (colours == 0 || colours > 256)
        colours = 256;
    int rows = height < 0 ? -height : height;
    for (int row = 0; row < rows; row++) {
        int sourceRow = height < 0 ? row : rows - 1 - row;
        const uint8_t *line = p + offset + static_cast<size_t>(sourceRow) * stride;
        int py = y + row;
        if (py < 0 || py >= canvas.height)
            continue;
        for (int column = 0; column < width; column++) {
            int px = x + column;
            if (px < 0 || px >= canvas.width)
                continue;
            uint32_t colour = 0;
            if (bits == 24) {
                const uint8_t *c = line + column * 3;
                colour = c[0] | c[1] << 8 | static_cast<uint32_t>(c[2]) << 16;
            } else {
                uint32_t index = line[column];
                uint32_t entry = paletteStart + index * 4;
                if (index < colours && entry + 3 <= bitmap->size)
                    colour = p[entry] | p[entry + 1] << 8 | static_cast<uint32_t>(p[entry + 2]) << 16;
            }
            canvas.pixels[static_cast<size_t>(py) * canvas.width + px] = colour;
        }
    }
}

// [SECTION] Drawing -------------------------------------------------------

enum : uint32_t {
    FACE = 0xD4D0C8,
    LIGHT = 0xFFFFFF,
    SHADOW = 0x808080,
    DARK = 0x404040,
    TEXT = 0x000000,
    GREYED = 0x808080,
};

static void Fill(Canvas &canvas, int x, int y, int width, int height, uint32_t colour)
{
    int x0 = std::max(x, 0), y0 = std::max(y, 0);
    int x1 = std::min(x + width, canvas.width), y1 = std::min(y + height, canvas.height);
    for (int py = y0; py < y1; py++)
        for (int px = x0; px < x1; px++)
            canvas.pixels[static_cast<size_t>(py) * canvas.width + px] = colour;
}

static void Frame(Canvas &canvas, int x, int y, int width, int height, uint32_t topLeft, uint32_t bottomRight)
{
    Fill(canvas, x, y, width, 1, topLeft);
    Fill(canvas, x, y, 1, height, topLeft);
    Fill(canvas, x, y + height - 1, width, 1, bottomRight);
    Fill(canvas, x + width - 1, y, 1, height, bottomRight);
}

static void FocusFrame(Canvas &canvas, int x, int y, int width, int height)
{
    for (int i = 0; i < width; i += 2) {
        Fill(canvas, x + i, y, 1, 1, TEXT);
        Fill(canvas, x + i, y + height - 1, 1, 1, TEXT);
    }
    for (int i = 0; i < height; i += 2) {
        Fill(canvas, x, y + i, 1, 1, TEXT);
        Fill(canvas, x + width - 1, y + i, 1, 1, TEXT);
    }
}

static void DrawControl(Canvas &canvas, const PlatformDialog *dialog, int index)
{
    const PlatformControl &control = dialog->controls[index];
    int x = control.pixelX, y = control.pixelY, w = control.pixelWidth, h = control.pixelHeight;
    uint32_t ink = control.window->enabled ? TEXT : GREYED;
    int focused = dialog->focus == index;
    int lineHeight = dialogs.lineHeight ? dialogs.lineHeight : FONT_PIXELS + 2;
    switch (control.source.kind) {
    case DIALOG_PUSHBUTTON:
    case DIALOG_DEFPUSHBUTTON: {
        int down = dialog->pressed == index;
        Fill(canvas, x, y, w, h, FACE);
        if (down)
            Frame(canvas, x, y, w, h, DARK, LIGHT);
        else {
            Frame(canvas, x, y, w, h, LIGHT, DARK);
            Frame(canvas, x + 1, y + 1, w - 2, h - 2, FACE, SHADOW);
        }
        int textWidth = TextWidth(control.text);
        DrawText(canvas, x + (w - textWidth) / 2 + down, y + (h - lineHeight) / 2 + down, control.text, ink);
        if (focused)
            FocusFrame(canvas, x + 3, y + 3, w - 6, h - 6);
        break;
    }
    case DIALOG_AUTORADIOBUTTON:
    case DIALOG_AUTOCHECKBOX: {
        int box = 11;
        int by = y + (h - box) / 2;
        int round = control.source.kind == DIALOG_AUTORADIOBUTTON;
        Fill(canvas, x + 1, by + 1, box - 2, box - 2, control.window->enabled ? LIGHT : FACE);
        Frame(canvas, x, by, box, box, SHADOW, LIGHT);
        if (round) { // soften the corners so radio buttons read as round
            Fill(canvas, x, by, 2, 2, FACE);
            Fill(canvas, x + box - 2, by, 2, 2, FACE);
            Fill(canvas, x, by + box - 2, 2, 2, FACE);
            Fill(canvas, x + box - 2, by + box - 2, 2, 2, FACE);
        }
        if (control.checked) {
            if (round)
                Fill(canvas, x + 4, by + 4, 3, 3, ink);
            else
                for (int i = 0; i < 5; i++) {
                    int px = x + 3 + i, py = by + (i < 2 ? 5 + i : 8 - i);
                    Fill(canvas, px, py - 1, 1, 2, ink);
                }
        }
        int textX = x + box + 4;
        int textWidth = DrawText(canvas, textX, y + (h - lineHeight) / 2, control.text, ink);
        if (focused)
            FocusFrame(canvas, textX - 1, y, std::min(textWidth + 2, w - box - 3), h);
        break;
    }
    case DIALOG_GROUPBOX: {
        int top = y + lineHeight / 2;
        Frame(canvas, x, top, w - 1, h - (top - y) - 1, SHADOW, SHADOW);
        Frame(canvas, x + 1, top + 1, w - 1, h - (top - y) - 1, LIGHT, LIGHT);
        int textWidth = TextWidth(control.text);
        Fill(canvas, x + 6, y, textWidth + 4, lineHeight, FACE);
        DrawText(canvas, x + 8, y, control.text, ink);
        break;
    }
    case DIALOG_STATIC_BITMAP:
        DrawBitmap(canvas, x, y, PlatformFindBitmap(control.source.bitmapId));
        break;
    }
}

int DialogRender(HWND dialog, uint32_t *pixels, int width, int height)
{
    if (!IsWindow(dialog) || !dialog->dialog || !pixels || width != dialog->clientWidth ||
        height != dialog->clientHeight)
        return 0;
    LoadFont();
    Canvas canvas{pixels, width, height};
    Fill(canvas, 0, 0, width, height, FACE);
    // Group boxes first so the controls inside them draw over their frames.
    for (int pass = 0; pass < 2; pass++)
        for (size_t i = 0; i < dialog->dialog->controls.size(); i++)
            if ((dialog->dialog->controls[i].source.kind == DIALOG_GROUPBOX) == (pass == 0))
                DrawControl(canvas, dialog->dialog, static_cast<int>(i));
    return 1;
}
