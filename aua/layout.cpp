// aua — the article layout engine: loading and pre-scanning articles, the tag
// interpreter, the drawing context (target, pen, size, colour, fonts),
// pictures and their obstacle boxes, link rectangles, word and line layout
// with four alignments, and page drawing. Layout and drawing are one pass: a
// line is drawn the moment it is complete, so a page is laid out again from
// its first byte every time it is shown.
//
// [SECTION] index
//   State        the engine record and small helpers
//   Messages     AuaException and the formatted reports
//   Numbers      the "%i" and "%X" readers of tag arguments
//   Loading      AuaLoadArticle, AuaFreeArticle, AuaScanPages
//   Tags         AuaProcessTag
//   Context      AuaSetTarget, setters, AuaSaveState, AuaRestoreState
//   Fonts        AuaSelectFont, AuaTextWidth
//   Pictures     AuaPlaceImage
//   Links        AuaAddLink, AuaOpenLink, AuaCloseLink, AuaGetLinks
//   Lines        AuaAddWord, AuaFlushLine, AuaNewLine, AuaTab, limits
//   Text         AuaDrawText
//   Pages        AuaDrawPage
//   Walking      AuaSetWalker: what the layout places, told to a tool
#include "aua/aua.h"

#include "gfx/display.h"
#include "gfx/image.h"
#include "gfx/pixels.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// [SECTION] State -----------------------------------------------------------

namespace {

struct PendingWord {
    LayoutState state;   // as it was when the word was added; penX is its start
    char text[128];
    int32_t width;
    int32_t glued;       // 1 when no space follows the word in the source
};

struct FontEntry {
    TtfFont font;
    char fileName[128];
};

struct ImageBox {
    int32_t used;
    int32_t left, top, right, bottom;
};

struct AuaEngine {
    uint32_t *pixels;                // drawing target; null lays out without drawing
    int32_t width, height;
    LayoutState state;
    TtfFont font;                    // copy of the selected FontTable entry
    FontEntry fonts[AUA_MAX_FONTS];
    int32_t fontCount;
    int32_t pendingCount;
    PendingWord pending[AUA_MAX_PENDING];
    int32_t lineStart, lineLimit, justifyTo;
    int32_t pageDone;
    AuaRect textRect;
    ImageBox boxes[AUA_MAX_BOXES];
    PageLink links[AUA_MAX_LINKS];
    int32_t linkOpen;
    PageLink exported[AUA_MAX_LINKS];
    int32_t exceptionCount;
    char lastException[1024];
    AuaWalker walker;                // all null: nobody is told
    int32_t textPosition;            // tag or word being read; -1 outside a scan or draw
    int32_t pageEnd;                 // where the last page draw stopped reading
};

// Before the first page no link is open: text drawn by the menu records nothing.
AuaEngine MakeEngine() {
    AuaEngine engine = {};
    engine.state.linkIndex = -1;
    engine.state.size = 10;
    engine.state.red = engine.state.green = engine.state.blue = 255;
    engine.textPosition = engine.pageEnd = -1;
    return engine;
}

AuaEngine aua = MakeEngine();

int32_t Clamp32(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

int32_t ClampByte(int32_t value) { return value < 0 ? 0 : value > 255 ? 255 : value; }

// Single-precision positions become pixels by truncation; out-of-range and
// NaN values are pinned so the conversion is always defined.
int32_t FloatToPixel(float value) {
    if (!(value == value)) return 0;
    if (value >= 2147483520.0f) return INT32_MAX;
    if (value <= -2147483520.0f) return INT32_MIN;
    return (int32_t)value;
}

int LowerAscii(int c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Names, tags and keys compare ignoring ASCII case (A-Z only).
bool SameText(const char *a, const char *b) {
    while (*a && LowerAscii((unsigned char)*a) == LowerAscii((unsigned char)*b)) {
        a++;
        b++;
    }
    return LowerAscii((unsigned char)*a) == LowerAscii((unsigned char)*b);
}

// Bounded copy that always terminates the destination.
void CopyText(char *destination, size_t size, const char *source) {
    size_t length = strnlen(source, size - 1);
    memmove(destination, source, length);
    destination[length] = 0;
}

int32_t TextWidthOfRect() { return Clamp32((int64_t)aua.textRect.right - aua.textRect.left); }

bool HaveFont() { return aua.font.face != nullptr; }

// Places a picture (Pictures); placedInline tells a walker how the tag put it.
void PlaceImage(const char *file, int32_t x, int32_t y, int transparent, int placedInline);

// The target of the page's link entry index, or null for none.
const char *LinkTarget(int32_t index) {
    if (index < 0 || index >= AUA_MAX_LINKS || !aua.links[index].used) return nullptr;
    return aua.links[index].target;
}

} // namespace

// [SECTION] Messages --------------------------------------------------------

void AuaException(const char *message) {
    // "*** AUA Exception: '%s'\n" in 1024 bytes, the message cut to fit.
    static const char prefix[] = "*** AUA Exception: '";
    static const char suffix[] = "'\n";
    char text[1024];
    size_t room = sizeof text - sizeof prefix - sizeof suffix + 1;
    size_t length = strnlen(message, room);
    memcpy(text, prefix, sizeof prefix - 1);
    memcpy(text + sizeof prefix - 1, message, length);
    memcpy(text + sizeof prefix - 1 + length, suffix, sizeof suffix);
    aua.exceptionCount++;
    CopyText(aua.lastException, sizeof aua.lastException, text);
    ErrorBox(text);
}

int AuaExceptionCount() { return aua.exceptionCount; }

const char *AuaLastException() { return aua.lastException; }

int32_t AuaTextPosition() { return aua.textPosition; }

int32_t AuaPageEnd() { return aua.pageEnd; }

void AuaLineAndColumn(const Article *article, int32_t offset, int *line, int *column) {
    *line = 1;
    *column = 1;
    for (int32_t i = 0; article->text && i < offset && i < article->textSize; i++) {
        if (article->text[i] == '\n') {
            (*line)++;
            *column = 1;
        } else {
            (*column)++;
        }
    }
}

namespace {

void Report(const char *format, ...) __attribute__((format(printf, 1, 2)));

void Report(const char *format, ...) {
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    AuaException(message);
}

// [SECTION] Numbers ---------------------------------------------------------

int DigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// The "%i" syntax: optional sign, then 0x-hexadecimal, 0-octal or decimal;
// reading stops at the first character that is not a digit of the base. No
// digits gives 0; values beyond 32 bits saturate.
int32_t ReadInteger(const char *text) {
    const unsigned char *s = (const unsigned char *)text;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    int base = 10;
    if (s[0] == '0') {
        if ((s[1] == 'x' || s[1] == 'X') && DigitValue(s[2]) < 16) {
            base = 16;
            s += 2;
        } else {
            base = 8;
        }
    }
    int64_t value = 0;
    for (; DigitValue(*s) < base; s++) {
        value = value * base + DigitValue(*s);
        if (value > (int64_t)1 << 32) value = (int64_t)1 << 32;
    }
    return Clamp32(negative ? -value : value);
}

// The "%X" syntax: optional sign and "0x", hexadecimal digits; 0 without any.
uint32_t ReadHex(const char *text) {
    const unsigned char *s = (const unsigned char *)text;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X') && DigitValue(s[2]) < 16) s += 2;
    uint64_t value = 0;
    for (; DigitValue(*s) < 16; s++) {
        value = value * 16 + DigitValue(*s);
        if (value > 0xFFFFFFFFu) value = 0xFFFFFFFFu;
    }
    uint32_t result = (uint32_t)value;
    return negative ? 0u - result : result;
}

} // namespace

// [SECTION] Loading ---------------------------------------------------------

int AuaLoadArticle(const char *name, Article *article) {
    article->text = nullptr;
    article->textSize = 0;
    article->pageCount = 0;
    article->currentPage = 0;
    DataFile *file = DataFileOpen(name, "rb");
    if (!file) return 0;
    CopyText(article->name, sizeof article->name, name);
    article->textRect = {0, 0, aua.width, aua.height};

    DataFileSeek(file, 0, 2);
    int32_t size = DataFileTell(file);
    if (size < 0 || size > INT32_MAX - AUA_SPARE_BYTES) {
        DataFileClose(file);
        return 0;
    }
    uint8_t *text = (uint8_t *)StackheapAlloc(size + AUA_SPARE_BYTES);
    if (!text) {
        DataFileClose(file);
        return 0;
    }
    // The whole block is cleared: the tag look-ahead may read the spare bytes,
    // and a short read must not expose stale memory as text.
    memset(text, 0, (size_t)size + AUA_SPARE_BYTES);
    DataFileSeek(file, 0, 0);
    int32_t got = size > 0 ? DataFileRead(text, 1, size, file) : 0;
    DataFileClose(file);

    article->text = text;
    article->textSize = got < 0 ? 0 : got;
    memset(article->pageStart, 0, sizeof article->pageStart);
    memset(article->pageStateValid, 0, sizeof article->pageStateValid);
    article->pageCount = AuaScanPages(article);
    return 1;
}

void AuaFreeArticle(Article *article) {
    if (!article->text) return;
    StackheapFree(article->text);
    // Cleared so that a second free or a draw of the emptied record is harmless.
    article->text = nullptr;
    article->textSize = 0;
    article->pageCount = 0;
}

int AuaScanPages(Article *article) {
    const uint8_t *text = article->text;
    article->pageStart[0] = 0;
    int count = 1;
    int32_t position = 0;
    while (position < article->textSize) {
        if (text[position] != '<') {
            position++;
            continue;
        }
        aua.textPosition = position;
        // The 128 bytes after the '<' lie inside the block thanks to the spare bytes.
        const uint8_t *look = text + position + 1;
        int close = -1;
        for (int i = 0; i < 128; i++) {
            if (look[i] == '>') {
                close = i;
                break;
            }
        }
        if (close < 0) {
            Report("tag not closed!");
            aua.textPosition = -1;
            return 0;
        }
        position += close + 2;
        if (close == 7 && LowerAscii(look[0]) == 'n' && LowerAscii(look[1]) == 'e' &&
            LowerAscii(look[2]) == 'w' && LowerAscii(look[3]) == 'p' && LowerAscii(look[4]) == 'a' &&
            LowerAscii(look[5]) == 'g' && LowerAscii(look[6]) == 'e') {
            // Page starts beyond the table are ignored: the last page then ends
            // at the next page break and the rest is never shown.
            if (count < AUA_MAX_PAGES) article->pageStart[count++] = position;
        }
    }
    aua.textPosition = -1;
    return count;
}

// [SECTION] Tags ------------------------------------------------------------

namespace {

struct ParsedTag {
    char word[5][128];
    int32_t number[5];
};

void SetAlignment(int alignment) {
    aua.justifyTo = aua.state.penX;
    AuaFlushLine();
    aua.state.alignment = alignment;
    aua.lineLimit = aua.justifyTo = AuaLineLimit(aua.state.penX);
    aua.lineStart = aua.state.penX;
}

bool IsBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

enum class Tag {
    Unknown, Char, Font, Color, Bold, Italic, Size, Br, NewPage, Image, ImageTrans, ImageXy, ImageXyTrans,
    B, EndB, I, EndI, Ul, EndUl, Tab, CTab, Left, Right, Center, Aj, Rem, Link, EndLink
};

// The tag names in byte order of their lower case, for a binary search.
struct TagName {
    const char *name;
    Tag tag;
};
constexpr TagName kTagNames[] = {
    {"/b", Tag::EndB},       {"/i", Tag::EndI},          {"/link", Tag::EndLink},    {"/ul", Tag::EndUl},
    {"aj", Tag::Aj},         {"b", Tag::B},              {"bold", Tag::Bold},        {"br", Tag::Br},
    {"center", Tag::Center}, {"char", Tag::Char},        {"color", Tag::Color},      {"ctab", Tag::CTab},
    {"font", Tag::Font},     {"i", Tag::I},              {"image", Tag::Image},      {"imagetrans", Tag::ImageTrans},
    {"imagexy", Tag::ImageXy}, {"imagexytrans", Tag::ImageXyTrans}, {"italic", Tag::Italic}, {"left", Tag::Left},
    {"link", Tag::Link},     {"newpage", Tag::NewPage},  {"rem", Tag::Rem},          {"right", Tag::Right},
    {"size", Tag::Size},     {"tab", Tag::Tab},          {"ul", Tag::Ul},
};

constexpr bool InByteOrder() {
    for (size_t i = 1; i < sizeof kTagNames / sizeof kTagNames[0]; i++) {
        const char *a = kTagNames[i - 1].name, *b = kTagNames[i].name;
        while (*a && *a == *b) a++, b++;
        if ((unsigned char)*a >= (unsigned char)*b) return false;
    }
    return true;
}
static_assert(InByteOrder(), "kTagNames must stay sorted for FindTag");

// Tag names compare ignoring ASCII case, like every name in an article.
Tag FindTag(const char *name) {
    char lower[16];
    size_t n = 0;
    for (; name[n]; n++) {
        if (n + 1 >= sizeof lower) return Tag::Unknown; // longer than any tag
        lower[n] = (char)LowerAscii((unsigned char)name[n]);
    }
    lower[n] = 0;
    size_t low = 0, high = sizeof kTagNames / sizeof kTagNames[0];
    while (low < high) {
        size_t middle = (low + high) / 2;
        int order = strcmp(lower, kTagNames[middle].name);
        if (order == 0) return kTagNames[middle].tag;
        if (order < 0) high = middle;
        else low = middle + 1;
    }
    return Tag::Unknown;
}

// The tag at tagText, of which available bytes may be read (at most 128 are).
int ProcessTag(const uint8_t *tagText, int32_t available) {
    char raw[129] = {};
    int32_t limit = available < 128 ? available : 128;
    if (limit > 0) memcpy(raw, tagText, (size_t)limit);
    int close = -1;
    for (int i = 0; i < limit; i++) {
        if (raw[i] == '>') {
            close = i;
            break;
        }
    }
    if (close < 0) {
        Report("tag not closed!");
        return 0;
    }
    char cut[129];
    memcpy(cut, raw, (size_t)close);
    cut[close] = 0;

    ParsedTag tag = {};
    const char *s = cut;
    for (int w = 0; w < 5; w++) {
        while (*s && IsBlank((unsigned char)*s)) s++;
        if (!*s) break;
        int n = 0;
        while (*s && !IsBlank((unsigned char)*s)) {
            if (n < 127) tag.word[w][n++] = *s;
            s++;
        }
        tag.word[w][n] = 0;
    }
    for (int w = 1; w < 5; w++) tag.number[w] = ReadInteger(tag.word[w]);

    const char *name = tag.word[0];
    LayoutState &state = aua.state;
    int result = close;
    Tag kind = FindTag(name);
    switch (kind) {
    case Tag::Char: {
        // The character sits at a fixed place, whatever the spacing of the tag.
        char word[2] = {raw[5], 0};
        AuaAddWord(word, 1);
        if (raw[5] == '>') result = close + 1;
        break;
    }
    case Tag::Font:
        AuaSelectFont(tag.word[1], state.bold, state.italic);
        break;
    case Tag::Color:
        if (tag.word[2][0]) {
            AuaSetColor(ClampByte(tag.number[1]), ClampByte(tag.number[2]), ClampByte(tag.number[3]));
        } else {
            uint32_t v = ReadHex(tag.word[1]);
            AuaSetColor((v >> 16) & 255, (v >> 8) & 255, v & 255);
        }
        break;
    case Tag::Bold:
        state.bold = SameText(tag.word[1], "on") ? 1 : 0;
        AuaSelectFont(state.faceName, state.bold, state.italic);
        break;
    case Tag::Italic:
        state.italic = SameText(tag.word[1], "on") ? 1 : 0;
        AuaSelectFont(state.faceName, state.bold, state.italic);
        break;
    case Tag::Size: {
        // Sizes are kept to what a glyph can sensibly be: negative sizes would
        // stall the line advance and huge ones exhaust the glyph cache.
        int32_t size = tag.number[1];
        AuaSetSize(size < 0 ? 0 : size > 255 ? 255 : size);
        break;
    }
    case Tag::Br:
        aua.justifyTo = state.penX;
        AuaFlushLine();
        AuaNewLine();
        aua.lineLimit = aua.justifyTo = AuaLineLimit(state.penX);
        aua.lineStart = state.penX;
        if (aua.walker.lineBreak) aua.walker.lineBreak(aua.walker.context);
        break;
    case Tag::NewPage:
        aua.pageDone = 1;
        break;
    case Tag::Image:
    case Tag::ImageTrans:
        PlaceImage(tag.word[1], Clamp32((int64_t)state.penX + 6), Clamp32((int64_t)state.penY - state.size),
                   kind == Tag::ImageTrans ? 1 : 0, 1);
        aua.lineLimit = aua.justifyTo = AuaLineLimit(state.penX);
        AuaFlushLine();
        break;
    case Tag::ImageXy:
    case Tag::ImageXyTrans:
        PlaceImage(tag.word[1], tag.number[2], tag.number[3], kind == Tag::ImageXyTrans ? 1 : 0, 0);
        break;
    case Tag::B:
        state.bold = 1;
        AuaSelectFont(state.faceName, 1, state.italic);
        break;
    case Tag::EndB:
        state.bold = 0;
        AuaSelectFont(state.faceName, 0, state.italic);
        break;
    case Tag::I:
        state.italic = 1;
        AuaSelectFont(state.faceName, state.bold, 1);
        break;
    case Tag::EndI:
        state.italic = 0;
        AuaSelectFont(state.faceName, state.bold, 0);
        break;
    case Tag::Ul:
        state.underline = 1;
        break;
    case Tag::EndUl:
        state.underline = 0;
        break;
    case Tag::Tab:
        AuaTab(tag.number[1]);
        break;
    case Tag::CTab:
        AuaTab(Clamp32((int64_t)tag.number[1] * AuaTextWidth("X")));
        break;
    case Tag::Left:
        SetAlignment(0);
        break;
    case Tag::Right:
        SetAlignment(1);
        break;
    case Tag::Center:
        SetAlignment(2);
        break;
    case Tag::Aj:
        SetAlignment(3);
        break;
    case Tag::Rem:
        break; // a comment
    case Tag::Link:
        if (aua.linkOpen) {
            Report("Unfinished link!");
            state.linkIndex = -1;
        } else {
            state.linkIndex = AuaOpenLink(tag.word[1]);
        }
        break;
    case Tag::EndLink:
        AuaCloseLink();
        state.linkIndex = -1;
        break;
    case Tag::Unknown:
        Report("unknown tag '%s'!", name);
        break;
    }
    if (aua.walker.tag) aua.walker.tag(aua.walker.context, name, aua.textPosition);
    return result;
}

} // namespace

int AuaProcessTag(const char *tagText) {
    return ProcessTag((const uint8_t *)tagText, (int32_t)strnlen(tagText, 128));
}

// [SECTION] Context ---------------------------------------------------------

void AuaSetTarget(uint32_t *pixels, int32_t width, int32_t height) {
    aua.pixels = pixels;
    aua.width = width;
    aua.height = height;
    aua.textRect = {0, 0, width, height};
    aua.state.penX = aua.state.penY = 0;
    aua.state.size = 10;
    aua.state.red = aua.state.green = aua.state.blue = 255;
}

void AuaSetColor(int32_t red, int32_t green, int32_t blue) {
    aua.state.red = red;
    aua.state.green = green;
    aua.state.blue = blue;
}

void AuaSetSize(int32_t size) { aua.state.size = size; }

void AuaMoveTo(int32_t x, int32_t y) {
    aua.state.penX = x;
    aua.state.penY = y;
}

void AuaSaveState(LayoutState *record) { *record = aua.state; }

void AuaRestoreState(const LayoutState *record) {
    // The same name, as it nearly always is, needs no case folding.
    if (strcmp(record->fontFile, aua.state.fontFile) != 0 && !SameText(record->fontFile, aua.state.fontFile))
        AuaSelectFont(record->faceName, record->bold, record->italic);
    LayoutState &state = aua.state;
    state.alignment = record->alignment;
    state.penX = record->penX;
    state.penY = record->penY;
    state.size = record->size;
    state.red = record->red;
    state.green = record->green;
    state.blue = record->blue;
    state.bold = record->bold;
    state.italic = record->italic;
    state.underline = record->underline;
    state.linkIndex = record->linkIndex;
}

// [SECTION] Fonts -----------------------------------------------------------

void AuaSelectFont(const char *face, int bold, int italic) {
    char faceCopy[128];
    CopyText(faceCopy, sizeof faceCopy, face); // face may be our own faceName
    CopyText(aua.state.faceName, sizeof aua.state.faceName, faceCopy);
    const char *letter = (bold && italic) ? "Z" : bold ? "B" : italic ? "I" : "";
    char file[140];
    snprintf(file, sizeof file, "%s%s.TTF", faceCopy, letter);
    CopyText(aua.state.fontFile, sizeof aua.state.fontFile, file);
    const char *fontFile = aua.state.fontFile;

    for (int i = 0; i < aua.fontCount; i++) {
        if (SameText(aua.fonts[i].fileName, fontFile)) {
            aua.font = aua.fonts[i].font;
            return;
        }
    }
    if (aua.fontCount >= AUA_MAX_FONTS) {
        Report("Too many fonts loaded!");
    } else {
        FontEntry &entry = aua.fonts[aua.fontCount];
        if (TtfLoadFont(fontFile, &entry.font)) {
            CopyText(entry.fileName, sizeof entry.fileName, fontFile);
            aua.fontCount++;
            aua.font = entry.font;
            return;
        }
        entry = FontEntry{};
    }
    Report("can't load font '%s' (bold=%i, italic=%i, file='%s')!", faceCopy, bold, italic, fontFile);
}

int AuaFontCount() { return aua.fontCount; }

void AuaForgetFonts() {
    for (int i = 0; i < aua.fontCount; i++) {
        TtfFreeFont(&aua.fonts[i].font);
        aua.fonts[i] = FontEntry{};
    }
    aua.fontCount = 0;
    aua.font = TtfFont{};
    // No file is the selected one now, so restoring any state selects again.
    aua.state.fontFile[0] = 0;
    TtfForgetGlyphs();
}

int32_t AuaTextWidth(const char *text) {
    if (!HaveFont()) return 0;
    return TtfStringWidth(text, aua.state.size, &aua.font, aua.state.fontFile);
}

// [SECTION] Pictures --------------------------------------------------------

void AuaPlaceImage(const char *file, int32_t x, int32_t y, int transparent) { PlaceImage(file, x, y, transparent, 0); }

namespace {

void PlaceImage(const char *file, int32_t x, int32_t y, int transparent, int placedInline) {
    const char *dot = strrchr(file, '.');
    int32_t width = 0, height = 0;
    uint32_t *pixels = (dot && SameText(dot + 1, "bmp")) ? LoadBmp(file, &width, &height)
                                                        : LoadJpeg(file, &width, &height);
    if (!pixels) {
        Report("Image: file '%s' not found!", file);
        return;
    }
    int64_t left = (int64_t)aua.textRect.left + x;
    int64_t top = (int64_t)aua.textRect.top + y;
    bool visible = aua.pixels && left < aua.width && top < aua.height && left + width > 0 && top + height > 0;
    if (visible) {
        // Magenta pixels are holes in a transparent picture.
        if (transparent)
            BlitKeyed(aua.pixels, aua.width, aua.height, (int32_t)left, (int32_t)top, pixels, width, height,
                      0x00FF00FFu);
        else
            BlitOpaque(aua.pixels, aua.width, aua.height, (int32_t)left, (int32_t)top, pixels, width, height);
    }

    int64_t boxLeft = (int64_t)x - 5, boxTop = (int64_t)y - 5;
    int64_t boxRight = (int64_t)x + width + 5, boxBottom = (int64_t)y + height + 5;
    if (boxLeft < 1) boxLeft = 1;
    if (boxTop < 1) boxTop = 1;
    int64_t maxRight = (int64_t)aua.textRect.right - aua.textRect.left - 1;
    int64_t maxBottom = (int64_t)aua.textRect.bottom - aua.textRect.top - 1;
    if (boxRight > maxRight) boxRight = maxRight;
    if (boxBottom > maxBottom) boxBottom = maxBottom;
    ImageBox *box = nullptr;
    for (ImageBox &candidate : aua.boxes) {
        if (!candidate.used) {
            box = &candidate;
            break;
        }
    }
    if (box) {
        *box = {1, Clamp32(boxLeft), Clamp32(boxTop), Clamp32(boxRight), Clamp32(boxBottom)};
    } else {
        Report("too many boxes (images)!");
    }

    int32_t link = aua.state.linkIndex;
    if (link >= 0 && link < AUA_MAX_LINKS) {
        char target[256];
        CopyText(target, sizeof target, aua.links[link].target);
        int added = AuaAddLink(x, y, Clamp32((int64_t)x + width), Clamp32((int64_t)y + height), target);
        if (added >= 0) aua.links[added].textPosition = aua.links[link].textPosition;
    }
    if (aua.walker.picture)
        aua.walker.picture(aua.walker.context, file, pixels, width, height, transparent, placedInline,
                           LinkTarget(aua.state.linkIndex));
    StackheapFree(pixels);
}

} // namespace

// [SECTION] Links -----------------------------------------------------------

int AuaAddLink(int32_t left, int32_t top, int32_t right, int32_t bottom, const char *target) {
    int index = -1;
    for (int i = 0; i < AUA_MAX_LINKS; i++) {
        if (!aua.links[i].used) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        Report("too many links on page!");
        return -1;
    }
    // Checked before the entry is taken, so no clickable rectangle without a target remains.
    if (strnlen(target, 256) > 255) {
        Report("link-string too long!");
        return -1;
    }
    PageLink &link = aua.links[index];
    link.used = 1;
    link.left = left;
    link.top = top;
    link.right = right;
    link.bottom = bottom;
    CopyText(link.target, sizeof link.target, target);
    link.textPosition = aua.textPosition;
    return index;
}

int AuaOpenLink(const char *target) {
    if (aua.linkOpen) {
        Report("Unfinished link!");
        return -1;
    }
    aua.linkOpen = 1;
    return AuaAddLink(-1, -1, -1, -1, target);
}

void AuaCloseLink() {
    if (!aua.linkOpen)
        Report("</link> without <link>!");
    else
        aua.linkOpen = 0;
}

const PageLink *AuaGetLinks(int *count) {
    int n = 0;
    for (const PageLink &link : aua.links) {
        if (!link.used) continue;
        PageLink &out = aua.exported[n++];
        out = link;
        out.left = Clamp32((int64_t)link.left + aua.textRect.left);
        out.right = Clamp32((int64_t)link.right + aua.textRect.left);
        out.top = Clamp32((int64_t)link.top + aua.textRect.top);
        out.bottom = Clamp32((int64_t)link.bottom + aua.textRect.top);
    }
    if (count) *count = n;
    return aua.exported;
}

// [SECTION] Lines -----------------------------------------------------------

namespace {

// Strict overlap: one interval has an end strictly inside the other.
bool Overlap(int64_t a, int64_t b, int64_t c, int64_t d) {
    return (a < c && c < b) || (a < d && d < b) || (c < a && a < d) || (c < b && b < d);
}

void DrawWordAt(const PendingWord &word, int32_t x) {
    AuaRestoreState(&word.state);
    aua.state.penX = x;
    AuaDrawText(word.text);
    if (aua.walker.drawnWord) {
        const LayoutState &state = aua.state;
        AuaRect rect = {Clamp32((int64_t)aua.textRect.left + x), Clamp32((int64_t)aua.textRect.top + state.penY - state.size),
                        Clamp32((int64_t)aua.textRect.left + state.penX),
                        Clamp32((int64_t)aua.textRect.top + state.penY + 5)};
        aua.walker.drawnWord(aua.walker.context, word.text, &rect);
    }
}

} // namespace

void AuaAddWord(const char *text, int glued) {
    if (aua.pendingCount >= AUA_MAX_PENDING) {
        Report("too many words in line!");
        return;
    }
    if (!text[0]) return;
    if (strnlen(text, 128) > 127) {
        Report("word too long!");
        return;
    }
    PendingWord &word = aua.pending[aua.pendingCount];
    AuaSaveState(&word.state);
    CopyText(word.text, sizeof word.text, text);
    word.width = AuaTextWidth(text);
    word.glued = glued;
    aua.state.penX = Clamp32((int64_t)aua.state.penX + word.width);
    aua.pendingCount++;
    if (aua.walker.word)
        aua.walker.word(aua.walker.context, word.text, glued, &word.state, LinkTarget(word.state.linkIndex));
}

void AuaFlushLine() {
    if (aua.pendingCount < 1) return;
    LayoutState saved;
    AuaSaveState(&saved);

    // A line's trailing spaces take no room: remeasure the last word without
    // its space, and drop words that are nothing but a space.
    while (aua.pendingCount > 0) {
        PendingWord &last = aua.pending[aua.pendingCount - 1];
        size_t length = strlen(last.text);
        if (length == 0 || last.text[length - 1] != ' ') break;
        last.text[length - 1] = 0;
        last.width = AuaTextWidth(last.text);
        if (last.width <= 0) aua.pendingCount--;
    }
    int count = aua.pendingCount;
    if (count == 0) return;

    int64_t total = 0;
    for (int i = 0; i < count; i++) total += aua.pending[i].width;

    int alignment = saved.alignment;
    float rest = 0;
    if (alignment == 3) {
        rest = (float)total - (count > 1 ? (float)aua.pending[count - 1].width : 0.0f);
        if (rest == 0) alignment = 0; // nothing to stretch: drawn left-aligned
    }
    if (alignment == 0 || alignment == 1 || alignment == 2) {
        int64_t pos = aua.lineStart;
        if (alignment == 1) pos = (int64_t)aua.lineLimit - total;
        if (alignment == 2) pos = aua.lineStart + ((int64_t)aua.lineLimit - aua.lineStart - total) / 2;
        for (int i = 0; i < count; i++) {
            DrawWordAt(aua.pending[i], Clamp32(pos));
            pos = aua.state.penX;
        }
    } else if (alignment == 3) {
        float last = count > 1 ? (float)aua.pending[count - 1].width : 0.0f;
        float scale = ((float)aua.justifyTo - (float)aua.lineStart - last) / rest;
        float pos = (float)aua.lineStart;
        float carry = 0;
        if (count == 1) {
            DrawWordAt(aua.pending[0], FloatToPixel(pos));
        } else {
            for (int i = 0; i < count - 1; i++) {
                const PendingWord &word = aua.pending[i];
                DrawWordAt(word, FloatToPixel(pos));
                float width = (float)word.width;
                if (word.glued) {
                    // Glued words stay together; their share of the stretch
                    // goes to the next word that ends in a space.
                    carry = carry + width * (scale - 1);
                    pos = pos + width;
                } else {
                    // Left to right, in floats: adding the carry to the
                    // stretched width first rounds differently and puts a
                    // word a pixel off now and then.
                    pos = pos + width * scale + carry;
                    carry = 0;
                }
            }
            DrawWordAt(aua.pending[count - 1], FloatToPixel((float)aua.justifyTo - last));
        }
    }
    aua.pendingCount = 0;
    AuaRestoreState(&saved);
}

void AuaNewLine() {
    aua.state.penX = 0;
    aua.state.penY = Clamp32((int64_t)aua.state.penY + aua.state.size + 5);
}

void AuaTab(int32_t n) {
    if (n <= 0) return;
    aua.lineLimit = aua.justifyTo = aua.state.penX;
    AuaFlushLine();
    aua.state.penX = Clamp32(((int64_t)aua.state.penX / n + 1) * n);
    aua.lineLimit = aua.justifyTo = AuaLineLimit(aua.state.penX);
    aua.lineStart = aua.state.penX;
    if (aua.walker.tab) aua.walker.tab(aua.walker.context);
}

int32_t AuaLineLimit(int32_t x) {
    int64_t top = (int64_t)aua.state.penY - aua.state.size - 5, bottom = aua.state.penY;
    bool found = false;
    int32_t best = 0;
    for (const ImageBox &box : aua.boxes) {
        if (box.used && box.left > x && Overlap(top, bottom, box.top, box.bottom) && (!found || box.left < best)) {
            best = box.left;
            found = true;
        }
    }
    return found ? best : TextWidthOfRect();
}

int32_t AuaSkipObstacle(int32_t x) {
    int64_t top = (int64_t)aua.state.penY - aua.state.size - 5, bottom = aua.state.penY;
    bool found = false;
    int32_t best = 0;
    for (const ImageBox &box : aua.boxes) {
        if (box.used && box.right > x && Overlap(top, bottom, box.top, box.bottom) && (!found || box.right < best)) {
            best = box.right;
            found = true;
        }
    }
    return found ? best : TextWidthOfRect();
}

// [SECTION] Text ------------------------------------------------------------

namespace {

// One segment at the pen; without a target only the pen moves, which is how
// a page is laid out without drawing.
void DrawSegment(const char *segment) {
    LayoutState &state = aua.state;
    int32_t x = Clamp32((int64_t)aua.textRect.left + state.penX);
    int32_t y = Clamp32((int64_t)aua.textRect.top + state.penY);
    int32_t end;
    if (aua.pixels)
        end = TtfDrawString(aua.pixels, segment, x, y, state.size, state.underline, aua.width, aua.height,
                            state.red, state.green, state.blue, &aua.font, state.fontFile);
    else
        end = Clamp32((int64_t)x + TtfStringWidth(segment, state.size, &aua.font, state.fontFile));
    state.penX = Clamp32((int64_t)end - aua.textRect.left);
}

} // namespace

void AuaDrawText(const char *text) {
    if (!HaveFont()) return;
    LayoutState &state = aua.state;
    int32_t startX = state.penX;
    size_t length = strlen(text);
    size_t i = 0;
    char segment[1024];
    while (i < length) {
        size_t j = i;
        while (j < length && j - i < 1023 && text[j] != 13 && text[j] != 10 && text[j] != ' ') j++;
        memcpy(segment, text + i, j - i);
        segment[j - i] = 0;
        int64_t width = TtfStringWidth(segment, state.size, &aua.font, state.fontFile);
        if ((int64_t)state.penX + width + aua.textRect.left > aua.textRect.right) AuaNewLine();
        DrawSegment(segment);
        char c = j < length ? text[j] : 0;
        if (c == 13 || c == 10) AuaNewLine();
        if (c == ' ') DrawSegment(" ");
        if (c == 13 || c == 10 || c == ' ') j++;
        i = j;
    }
    int32_t link = state.linkIndex;
    if (link >= 0 && link < AUA_MAX_LINKS) {
        int32_t top = Clamp32((int64_t)state.penY - state.size), bottom = Clamp32((int64_t)state.penY + 5);
        PageLink &entry = aua.links[link];
        if (entry.used && entry.left == -1) {
            entry.left = startX;
            entry.top = top;
            entry.right = state.penX;
            entry.bottom = bottom;
        } else {
            char target[256];
            CopyText(target, sizeof target, entry.target);
            int added = AuaAddLink(startX, top, state.penX, bottom, target);
            if (added >= 0) aua.links[added].textPosition = entry.textPosition;
        }
    }
}

// [SECTION] Pages -----------------------------------------------------------

namespace {

void ClearPageTables(bool links) {
    memset(aua.boxes, 0, sizeof aua.boxes);
    if (links) memset(aua.links, 0, sizeof aua.links);
}

// Places one collected word, moving past boxes and to new lines until it
// fits. Returns false after "Word too long!", which ends the page at once.
bool PlaceWord(const char *word, int glued) {
    LayoutState &state = aua.state;
    int64_t w = AuaTextWidth(word);
    for (;;) {
        if (state.penX + w < aua.lineLimit) {
            AuaAddWord(word, glued);
            if (state.penY > aua.textRect.bottom) aua.pageDone = 1;
            return true;
        }
        if (aua.pendingCount == 0 && state.penX == 0 && aua.lineLimit == TextWidthOfRect()) {
            Report("Word too long!");
            return false;
        }
        AuaFlushLine();
        state.penX = AuaSkipObstacle(Clamp32(state.penX + w));
        if ((int64_t)aua.lineLimit + aua.textRect.left < aua.textRect.right) {
            // cut short by a box: continue in the segment after it
            aua.lineLimit = aua.justifyTo = AuaLineLimit(Clamp32(state.penX + w));
            aua.lineStart = state.penX;
        } else {
            AuaNewLine();
            aua.lineLimit = aua.justifyTo = AuaLineLimit(0);
            aua.lineStart = 0;
        }
    }
}

} // namespace

void AuaDrawPage(uint32_t *pixels, int32_t width, int32_t height, Article *article) {
    aua.pageEnd = -1;
    if (!article->text || article->pageCount <= 0) {
        ClearPageTables(true);
        return;
    }
    LayoutState &state = aua.state;
    aua.pendingCount = 0;
    state.bold = state.italic = state.underline = 0;
    state.linkIndex = -1;
    aua.pageDone = 0;
    int pageCount = article->pageCount < AUA_MAX_PAGES ? article->pageCount : AUA_MAX_PAGES;
    if (article->currentPage < 0) article->currentPage = 0;
    if (article->currentPage >= pageCount) article->currentPage = pageCount - 1;
    int page = article->currentPage;
    ClearPageTables(true);
    AuaSetTarget(pixels, width, height);
    aua.textRect = article->textRect;
    state.alignment = 0;
    int32_t pos = article->pageStart[page];
    if (pos < 0) pos = 0;
    aua.textPosition = pos;
    if (article->pageStateValid[page] == 1) AuaRestoreState(&article->pageState[page]);
    state.penX = state.penY = 0;
    aua.lineLimit = aua.justifyTo = AuaLineLimit(0);
    aua.lineStart = 0;

    const uint8_t *text = article->text;
    int32_t textSize = article->textSize;
    char word[1024];
    while (pos < textSize && !aua.pageDone) {
        aua.textPosition = pos;
        if (text[pos] == '<') {
            int k = ProcessTag(text + pos + 1, textSize + AUA_SPARE_BYTES - pos - 1);
            pos += k + 2;
            continue;
        }
        int n = 0;
        int glued = 1;
        while (pos < textSize) {
            uint8_t c = text[pos];
            if (c == '<') break;
            if (n == 0) aua.textPosition = pos; // a word is where its first byte is
            pos++;
            if (c == 13) {
                word[n++] = ' ';
                glued = 0;
                break;
            }
            if (c < 32) continue; // line feeds, tabs and the rest are not text
            word[n++] = (char)c;
            if (c == ' ') {
                glued = 0;
                break;
            }
            if (n == 1023) break; // the buffer's end cuts the word
        }
        if (n == 0) continue;
        word[n] = 0;
        if (!PlaceWord(word, glued)) {
            // The page ends here without a flush or a recorded state.
            aua.pendingCount = 0;
            ClearPageTables(false);
            state.linkIndex = -1;
            aua.textPosition = -1;
            aua.pageEnd = pos;
            return;
        }
    }
    AuaFlushLine();
    if (page < pageCount - 1 && article->pageStateValid[page + 1] == 0) {
        article->pageStateValid[page + 1] = 1;
        AuaSaveState(&article->pageState[page + 1]);
    }
    ClearPageTables(false);
    state.linkIndex = -1;
    aua.textPosition = -1;
    aua.pageEnd = pos;
}

// [SECTION] Walking ---------------------------------------------------------

void AuaSetWalker(const AuaWalker *walker) { aua.walker = walker ? *walker : AuaWalker{}; }
