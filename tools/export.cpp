// zarn-tool export html — an issue as a small static web site that screen
// readers, search engines and phones can read: index.html listing the topics
// and their articles, one page per article with its text in reading order,
// the pictures as PNG or JPEG, the issue's fonts as web fonts, and the music
// rendered once to Ogg Vorbis with a player on the index page.
//
// The articles are read by the layout engine itself (AuaSetWalker), page by
// page as the reader lays them out, so the site holds exactly the words,
// pictures and links the reader shows: paragraphs end at <br>, styles become
// CSS classes, and a link becomes a link only when the reader would open its
// target. It is made for reading, not for pixel fidelity. An issue the reader
// would stop on (any message box) is not exported.
//
// [SECTION] Text
// [SECTION] Resources: pictures, fonts, documents
// [SECTION] Article pages
// [SECTION] Site
// [SECTION] Command

#include "tools/archive.h"
#include "tools/music.h"
#include "tools/screens.h"
#include "tools/tool.h"

#include "app/viewer.h"
#include "aua/aua.h"
#include "gfx/image.h"
#include "gfx/ttf.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "platform/platform.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char usage[] = "usage: zarn-tool export html [-C DIR] -o OUT";

const char help[] =
    "usage: zarn-tool export html [-C DIR] -o OUT\n"
    "\n"
    "Writes the issue in DIR (default: the current directory) as a static web site\n"
    "into the directory OUT: index.html with the topics and articles, one page per\n"
    "article with its text in reading order (styles as CSS classes, pictures as PNG\n"
    "or JPEG with their file name as alternative text, links only to what the reader\n"
    "would open), the issue's fonts as web fonts, and the music rendered once to\n"
    "music.ogg with a player on the index page (it never starts by itself). OUT must\n"
    "be new, empty or an earlier export, which is replaced. Nothing is written when\n"
    "the reader would stop on the issue: its messages are printed as FILE: message.\n";

const char markerFile[] = ".zarn-export";

// [SECTION] Text ------------------------------------------------------------

// The reader's text is 8-bit. Bytes 0x80-0x9F are what an author's Windows
// keyboard typed (quotes, dashes, the euro sign) and read as such here.
const uint16_t windows1252[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                  0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void PutUtf8(std::string &out, unsigned code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// 8-bit text as HTML text (or an attribute value): UTF-8, markup characters escaped.
std::string Html(const std::string &text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else if (c < 32 || c == 127)
            out += ' ';
        else if (c >= 0x80 && c < 0xA0)
            PutUtf8(out, windows1252[c - 0x80]);
        else
            PutUtf8(out, c);
    }
    return out;
}

// A name safe in a URL and on any file system: letters, digits, '.', '-', '_'.
std::string SafeName(const std::string &name)
{
    std::string out;
    for (char c : name)
        out += (std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 128) || c == '.' ||
                       c == '-' || c == '_'
                   ? c
                   : '_';
    if (out.empty() || out[0] == '.')
        out = "_" + out;
    return out;
}

std::string Lower(std::string text)
{
    for (char &c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

bool StartsWithIgnoringCase(const std::string &text, const char *prefix)
{
    return Lower(text.substr(0, std::strlen(prefix))) == prefix;
}

// [SECTION] Resources: pictures, fonts, documents ---------------------------

struct FontFace {
    std::string family; // the CSS family of the face
    std::string file;   // the font file, as the engine names it
    int bold, italic;
};

struct ExportState {
    fs::path stage;                             // the site being written
    std::map<std::string, std::string> names;   // lower-cased output path -> taken
    std::map<std::string, std::string> pictures; // picture key -> URL
    std::map<std::string, FontFace> fonts;       // lower-cased font file -> face
    std::map<std::string, std::string> faces;    // lower-cased face name -> CSS class
    std::map<std::string, std::string> documents; // link target -> URL
    std::map<std::string, int> sizes;            // CSS class -> size
    std::map<std::string, uint32_t> colours;     // CSS class -> colour
    std::vector<std::string> notes;              // links left out, said once each
    std::string error;                           // the first failure writing the site
};

ExportState site;

// A free path in folder ("" for the top) for name, a number added when
// taken; the URL. Names that differ only in case count as taken too.
std::string ClaimName(const std::string &folder, const std::string &name)
{
    std::string base = SafeName(name), stem = base, extension;
    size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        stem = base.substr(0, dot);
        extension = base.substr(dot);
    }
    std::string prefix = folder.empty() ? "" : folder + "/";
    std::string url = prefix + base;
    for (int n = 2; site.names.count(Lower(url)); n++)
        url = prefix + stem + "-" + std::to_string(n) + extension;
    site.names[Lower(url)] = url;
    return url;
}

void Failed(const std::string &message)
{
    if (site.error.empty())
        site.error = message;
}

// The whole file as the reader finds it (loose or archive member).
bool ReadDataFile(const char *name, std::vector<uint8_t> *bytes)
{
    DataFile *file = DataFileOpen(name, "rb");
    if (!file)
        return false;
    bool ok = DataFileSeek(file, 0, 2) != 0;
    int32_t size = ok ? DataFileTell(file) : -1;
    ok = ok && size >= 0 && DataFileSeek(file, 0, 0) != 0;
    if (ok) {
        bytes->resize((size_t)size);
        ok = size == 0 || DataFileRead(bytes->data(), 1, size, file) == size;
    }
    DataFileClose(file);
    return ok;
}

// The URL of a picture: JPEG files shown opaque are copied as they are;
// everything else becomes PNG (transparent ones with real transparency).
std::string PictureUrl(const char *file, const uint32_t *pixels, int32_t width, int32_t height, int transparent)
{
    std::string key = Lower(file) + (transparent ? "|t" : "|o");
    auto known = site.pictures.find(key);
    if (known != site.pictures.end())
        return known->second;
    std::string base = fs::path(std::string(file)).filename().string();
    size_t slash = base.find_last_of('\\');
    if (slash != std::string::npos)
        base = base.substr(slash + 1);
    const char *dot = std::strrchr(file, '.');
    bool jpeg = !(dot && Lower(dot + 1) == "bmp");
    std::string stem = base.substr(0, base.rfind('.') == std::string::npos ? base.size() : base.rfind('.'));
    std::string url;
    std::vector<uint8_t> bytes;
    if (jpeg && !transparent && ReadDataFile(file, &bytes)) {
        url = ClaimName("pictures", stem + ".jpg");
        std::string error;
        if (!ToolWriteFileAtomically((site.stage / url).string(), bytes.data(), bytes.size(), &error))
            Failed(url + ": " + error);
    } else {
        url = ClaimName("pictures", stem + ".png");
        if (!SavePicturePng((site.stage / url).c_str(), pixels, width, height, transparent))
            Failed(url + ": cannot be written");
    }
    site.pictures[key] = url;
    return url;
}

// The CSS class of a face, declaring the font file in the style that
// selected it as one of the face's web fonts.
std::string FaceClass(const LayoutState &state)
{
    std::string face = Lower(state.faceName);
    auto known = site.faces.find(face);
    std::string cls;
    if (known != site.faces.end()) {
        cls = known->second;
    } else {
        std::string name = "f-";
        for (char c : face)
            name += std::isalnum(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 128 ? c : '-';
        cls = name;
        for (int n = 2;; n++) {
            bool taken = false;
            for (const auto &entry : site.faces)
                taken = taken || entry.second == cls;
            if (!taken)
                break;
            cls = name + "-" + std::to_string(n);
        }
        site.faces[face] = cls;
    }
    std::string fontKey = Lower(state.fontFile);
    if (!site.fonts.count(fontKey) && PlatformGetFileKind(state.fontFile) == FILE_REGULAR) {
        std::string url = ClaimName("fonts", state.fontFile);
        std::error_code ec;
        fs::copy_file(state.fontFile, site.stage / url, ec);
        if (ec)
            Failed(url + ": " + ec.message());
        site.fonts[fontKey] = FontFace{"zarn-" + cls.substr(2), url, state.bold ? 1 : 0, state.italic ? 1 : 0};
    }
    return cls;
}

// Where a link goes in the site, or "" when the reader would not open its
// target. Documents inside the issue are copied into the site.
std::string LinkUrl(const char *target)
{
    if (!target)
        return "";
    auto known = site.documents.find(target);
    if (known != site.documents.end())
        return known->second;
    std::string url;
    std::string text = target;
    const char *why = "the reader would not open it";
    if (LinkTargetAllowed(target)) {
        if (StartsWithIgnoringCase(text, "http:") || StartsWithIgnoringCase(text, "https:") ||
            StartsWithIgnoringCase(text, "ftp:") || StartsWithIgnoringCase(text, "mailto:")) {
            url = text;
        } else {
            // Only a document that lies inside the issue travels with the site.
            std::error_code ec;
            fs::path issue = fs::canonical(fs::current_path(), ec);
            fs::path document = fs::weakly_canonical(fs::absolute(text), ec);
            auto inside = std::mismatch(issue.begin(), issue.end(), document.begin(), document.end());
            if (!ec && inside.first == issue.end()) {
                url = ClaimName("files", document.filename().string());
                fs::copy_file(document, site.stage / url, ec);
                if (ec)
                    Failed(url + ": " + ec.message());
            } else {
                why = "a document outside the issue";
            }
        }
    }
    if (url.empty())
        site.notes.push_back("link target not exported (" + std::string(why) + "): " + text);
    site.documents[target] = url;
    return url;
}

// [SECTION] Article pages ---------------------------------------------------

// The HTML of one article, built while the engine walks its pages.
struct PageWriter {
    std::string html;
    bool paragraph = false;
    size_t paragraphStart = 0; // where its opening tag begins in html
    bool heading = false;      // every word so far bold and large, nothing else
    bool space = false;        // a blank is owed before the next piece
    int alignment = 0;
    bool link = false;
    std::string href;
    bool span = false;
    std::string classes;
};

const char *AlignmentClass(int alignment)
{
    static const char *const names[] = {"al-left", "al-right", "al-center", "al-justify"};
    return alignment >= 0 && alignment < 4 ? names[alignment] : "al-left";
}

void CloseSpan(PageWriter &w)
{
    if (w.span)
        w.html += "</span>";
    w.span = false;
}

void CloseLink(PageWriter &w)
{
    CloseSpan(w);
    if (w.link)
        w.html += "</a>";
    w.link = false;
}

// A paragraph of nothing but large bold words reads as a heading.
void CloseParagraph(PageWriter &w)
{
    CloseLink(w);
    if (w.paragraph && w.heading) {
        w.html.replace(w.paragraphStart, 2, "<h2");
        w.html += "</h2>\n";
    } else if (w.paragraph) {
        w.html += "</p>\n";
    }
    w.paragraph = false;
    w.space = false;
}

// The blank owed before the next piece, outside any span that piece will not continue.
void PutSpace(PageWriter &w, bool continuesSpan)
{
    if (!w.space)
        return;
    if (!continuesSpan)
        CloseSpan(w);
    w.html += ' ';
    w.space = false;
}

// Opens the paragraph and link the next piece belongs to.
void Place(PageWriter &w, int alignment, const std::string &href)
{
    // An alignment tag in mid-line starts new alignment: a new paragraph.
    if (w.paragraph && alignment != w.alignment)
        CloseParagraph(w);
    if (!w.paragraph) {
        w.paragraphStart = w.html.size();
        w.html += std::string("<p class=\"") + AlignmentClass(alignment) + "\">";
        w.paragraph = true;
        w.heading = true;
        w.space = false;
        w.alignment = alignment;
    }
    if (href != (w.link ? w.href : "")) {
        CloseLink(w);
        PutSpace(w, false); // a blank between two links belongs to neither
        if (!href.empty()) {
            w.html += "<a href=\"" + Html(href) + "\">";
            w.link = true;
            w.href = href;
        }
    }
}

std::string StyleClasses(const LayoutState &s)
{
    std::string classes = FaceClass(s);
    if (s.bold)
        classes += " b";
    if (s.italic)
        classes += " i";
    if (s.underline)
        classes += " u";
    if (s.size != 10) {
        std::string size = "s" + std::to_string(s.size);
        site.sizes[size] = s.size;
        classes += " " + size;
    }
    uint32_t colour = (uint32_t)(s.red & 255) << 16 | (uint32_t)(s.green & 255) << 8 | (uint32_t)(s.blue & 255);
    if (colour != 0xFFFFFF) {
        char name[16];
        std::snprintf(name, sizeof name, "c%06x", colour);
        site.colours[name] = colour;
        classes += std::string(" ") + name;
    }
    return classes;
}

void OnWord(void *context, const char *text, int, const LayoutState *state, const char *linkTarget)
{
    PageWriter &w = *static_cast<PageWriter *>(context);
    // Blanks (a space after a tag, a second space) only separate words: a
    // paragraph does not start with them and no span holds nothing else.
    if (text[std::strspn(text, " ")] == 0) {
        w.space = w.paragraph;
        return;
    }
    Place(w, state->alignment, LinkUrl(linkTarget));
    std::string classes = StyleClasses(*state);
    bool continues = w.span && classes == w.classes;
    PutSpace(w, continues);
    if (!continues) {
        CloseSpan(w);
        w.html += "<span class=\"" + classes + "\">";
        w.span = true;
        w.classes = classes;
    }
    w.heading = w.heading && state->bold && state->size >= 14;
    w.html += Html(text);
}

void OnPicture(void *context, const char *file, const uint32_t *pixels, int32_t width, int32_t height,
               int transparent, int placedInline, const char *linkTarget)
{
    PageWriter &w = *static_cast<PageWriter *>(context);
    LayoutState state;
    AuaSaveState(&state);
    Place(w, state.alignment, LinkUrl(linkTarget));
    PutSpace(w, false);
    CloseSpan(w);
    w.heading = false;
    w.html += "<img class=\"" + std::string(placedInline ? "inline" : "placed") + "\" src=\"" +
              Html(PictureUrl(file, pixels, width, height, transparent)) + "\" alt=\"" + Html(file) +
              "\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(height) + "\">";
}

void OnBreak(void *context)
{
    CloseParagraph(*static_cast<PageWriter *>(context));
}

void OnTab(void *context)
{
    PageWriter &w = *static_cast<PageWriter *>(context);
    LayoutState state;
    AuaSaveState(&state);
    Place(w, state.alignment, w.link ? w.href : "");
    w.space = false;
    CloseSpan(w);
    w.heading = false;
    w.html += "<span class=\"tab\">&#8195;</span>";
}

struct ArticleEntry {
    int topic;
    std::string file, title, subtitle, url;
    std::string body; // the article's pages
};

struct TopicEntry {
    std::string text;
    std::vector<size_t> articles; // indexes into the article list
};

// Lays out every page of the article as the viewer turns them and keeps the
// HTML. False after the messages the reader would have shown.
bool WalkArticle(ArticleEntry &entry, size_t *messagesSeen, std::vector<std::string> *problems)
{
    static Article article;
    // The viewer's header selects this face last before the first page.
    AuaSetTarget(nullptr, MENU_PAGE_WIDTH, MENU_PAGE_HEIGHT);
    AuaSelectFont("verdana", 0, 0);
    if (!AuaLoadArticle(entry.file.c_str(), &article)) {
        problems->push_back(entry.file + ": article does not load");
        return false;
    }
    article.textRect = {20, 50, MENU_PAGE_WIDTH - 20, MENU_PAGE_HEIGHT - 80};
    PageWriter writer;
    AuaWalker walker = {&writer, OnWord, OnPicture, OnBreak, OnTab, nullptr, nullptr};
    AuaSetWalker(&walker);
    bool ok = true;
    for (int p = 0; p < article.pageCount; p++) {
        size_t start = writer.html.size();
        writer.html += "<section class=\"page\" id=\"page-" + std::to_string(p + 1) + "\">\n";
        size_t opened = writer.html.size();
        article.currentPage = p;
        AuaDrawPage(nullptr, MENU_PAGE_WIDTH, MENU_PAGE_HEIGHT, &article);
        CloseParagraph(writer);
        if (writer.html.size() == opened)
            writer.html.resize(start); // a page with nothing on it
        else
            writer.html += "</section>\n";
        std::string messages = ToolTakeMessages(messagesSeen);
        for (size_t from = 0, end; (end = messages.find('\n', from)) != std::string::npos; from = end + 1) {
            problems->push_back(entry.file + ": page " + std::to_string(p + 1) + ": " +
                                messages.substr(from, end - from));
            ok = false;
        }
    }
    if (article.pageCount <= 0) {
        // The pre-scan's message ("tag not closed!") came while loading.
        std::string messages = ToolTakeMessages(messagesSeen);
        if (messages.empty())
            messages = "no pages found\n";
        problems->push_back(entry.file + ": " + messages.substr(0, messages.size() - 1));
        ok = false;
    }
    AuaSetWalker(nullptr);
    AuaFreeArticle(&article);
    entry.body = writer.html;
    return ok;
}

// [SECTION] Site ------------------------------------------------------------

std::string Head(const std::string &title)
{
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta name=\"generator\" content=\"zarn-tool export html\">\n"
           "<title>" + title + "</title>\n<link rel=\"stylesheet\" href=\"zarn.css\">\n</head>\n<body>\n";
}

std::string Stylesheet()
{
    std::string css =
        "/* Made by zarn-tool export html. The text sizes are the reader's: points at 96 dots per inch. */\n";
    for (const auto &entry : site.fonts)
        css += "@font-face { font-family: \"" + entry.second.family + "\"; src: url(\"" + entry.second.file +
               "\") format(\"truetype\"); font-weight: " + (entry.second.bold ? "bold" : "normal") +
               "; font-style: " + (entry.second.italic ? "italic" : "normal") + "; }\n";
    css += "body { margin: 0 auto; max-width: 46em; padding: 1em 1.5em 3em; background: #0e1424; color: #fff;\n"
           "       font-family: \"DejaVu Sans\", Verdana, sans-serif; font-size: 10pt; line-height: 1.45; }\n"
           "a { color: inherit; text-decoration-color: #8ab4ff; }\n"
           "a:focus, a:hover { background: #2a3a66; }\n"
           "nav { margin: 1em 0; color: #a8b8d8; }\n"
           "nav a { margin-right: 1.5em; }\n"
           "h1 { font-size: 20pt; margin: .3em 0; }\n"
           "h2 { font-size: 14pt; margin: 1.2em 0 .3em; }\n"
           "article h2 { font-size: inherit; font-weight: inherit; margin: 0 0 .6em; }\n"
           ".topic, .subtitle { color: #a8b8d8; margin: 0; }\n"
           ".page + .page { border-top: 1px solid #33415f; margin-top: 1.5em; padding-top: 1em; }\n"
           "p { margin: 0 0 .6em; }\n"
           ".al-left { text-align: left; }\n.al-right { text-align: right; }\n"
           ".al-center { text-align: center; }\n.al-justify { text-align: justify; }\n"
           ".b { font-weight: bold; }\n.i { font-style: italic; }\n.u { text-decoration: underline; }\n"
           ".tab { display: inline-block; width: 3em; }\n"
           "img { max-width: 100%; height: auto; }\n"
           "img.inline { float: left; margin: .2em 1em .5em 0; }\n"
           "img.placed { display: block; margin: .5em 0; }\n"
           "section::after { content: \"\"; display: block; clear: both; }\n"
           "audio { width: 100%; max-width: 30em; }\n";
    for (const auto &entry : site.faces) {
        std::string family = entry.second.substr(2);
        bool declared = false;
        for (const auto &font : site.fonts)
            declared = declared || font.second.family == "zarn-" + family;
        css += "." + entry.second + " { font-family: " + (declared ? "\"zarn-" + family + "\", " : std::string()) +
               "\"DejaVu Sans\", Verdana, sans-serif; }\n";
    }
    for (const auto &entry : site.sizes)
        css += "." + entry.first + " { font-size: " + std::to_string(entry.second) + "pt; }\n";
    for (const auto &entry : site.colours) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "%06x", entry.second);
        css += "." + entry.first + " { color: #" + colour + "; }\n";
    }
    return css;
}

std::string Navigation(const std::vector<ArticleEntry> &articles, size_t i)
{
    std::string nav = "<nav>\n<a href=\"index.html\">Contents</a>\n";
    if (i > 0)
        nav += "<a rel=\"prev\" href=\"" + articles[i - 1].url + "\">Previous: " + Html(articles[i - 1].title) +
               "</a>\n";
    if (i + 1 < articles.size())
        nav += "<a rel=\"next\" href=\"" + articles[i + 1].url + "\">Next: " + Html(articles[i + 1].title) +
               "</a>\n";
    return nav + "</nav>\n";
}

std::string ArticlePage(const std::vector<ArticleEntry> &articles, const std::vector<TopicEntry> &topics, size_t i,
                        const std::string &issueTitle)
{
    const ArticleEntry &a = articles[i];
    std::string html = Head(Html(a.title) + " - " + Html(issueTitle));
    html += Navigation(articles, i);
    html += "<header>\n<p class=\"topic\">" + Html(topics[(size_t)a.topic].text) + "</p>\n<h1>" + Html(a.title) +
            "</h1>\n";
    if (!a.subtitle.empty())
        html += "<p class=\"subtitle\">" + Html(a.subtitle) + "</p>\n";
    html += "</header>\n<main>\n<article>\n" + a.body + "</article>\n</main>\n" + Navigation(articles, i);
    return html + "</body>\n</html>\n";
}

std::string IndexPage(const std::vector<ArticleEntry> &articles, const std::vector<TopicEntry> &topics,
                      const std::string &issueTitle, bool music)
{
    std::string html = Head(Html(issueTitle));
    html += "<header>\n<h1>" + Html(issueTitle) + "</h1>\n</header>\n<main>\n";
    for (const TopicEntry &topic : topics) {
        html += "<section>\n<h2>" + Html(topic.text) + "</h2>\n<ul>\n";
        for (size_t i : topic.articles) {
            html += "<li><a href=\"" + articles[i].url + "\">" + Html(articles[i].title) + "</a>";
            if (!articles[i].subtitle.empty())
                html += " <span class=\"subtitle\">" + Html(articles[i].subtitle) + "</span>";
            html += "</li>\n";
        }
        html += "</ul>\n</section>\n";
    }
    html += "</main>\n";
    if (music)
        html += "<footer>\n<p>The issue's music:</p>\n<audio controls preload=\"metadata\" src=\"music.ogg\">"
                "<a href=\"music.ogg\">music.ogg</a></audio>\n</footer>\n";
    return html + "</body>\n</html>\n";
}

bool WriteText(const std::string &url, const std::string &text)
{
    std::string error;
    if (ToolWriteFileAtomically((site.stage / url).string(), reinterpret_cast<const uint8_t *>(text.data()),
                                text.size(), &error))
        return true;
    Failed(url + ": " + error);
    return false;
}

// Builds the site in site.stage. 0, or the exit status after the messages.
int BuildSite(const fs::path &issueDirectory)
{
    for (const char *name : {"index.html", "zarn.css", "music.ogg", markerFile})
        ClaimName("", name);
    std::vector<TopicEntry> topics;
    std::vector<ArticleEntry> articles;
    for (int t = 0; t < MenuGetLayout()->topicCount; t++) {
        const ConfigEntry *topic = ConfigGetEntry(FindTopicEntry(t));
        TopicEntry entry{topic ? topic->value : "", {}};
        int count = topic ? CountArticles(topic->key2) : 0;
        for (int a = 0; a < count; a++) {
            const ConfigEntry *article = ConfigGetEntry(FindArticleEntry(a, topic->key2));
            char title[CONFIG_FIELD_BYTES], subtitle[CONFIG_FIELD_BYTES];
            SplitTitle(article->value, title, subtitle);
            std::string stem = fs::path(std::string(article->key2)).stem().string();
            entry.articles.push_back(articles.size());
            articles.push_back(ArticleEntry{t, article->key2, title, subtitle, "", ""});
            articles.back().url = ClaimName("", Lower(stem) + ".html");
        }
        topics.push_back(entry);
    }

    std::vector<std::string> problems;
    size_t messagesSeen = 0;
    ToolTakeMessages(&messagesSeen); // the start-up's, reported by the menu's own check
    for (ArticleEntry &article : articles)
        WalkArticle(article, &messagesSeen, &problems);
    if (!problems.empty()) {
        for (const std::string &problem : problems)
            std::fprintf(stderr, "%s\n", problem.c_str());
        return ToolFail("export: the reader would stop on this issue; nothing written");
    }

    char configured[CONFIG_FIELD_BYTES];
    ConfigLookup(configured, "!issue", "title");
    std::string issueTitle = configured[0] ? configured : issueDirectory.filename().string();

    const char *music = ConfigMusicName();
    bool haveMusic = music[0] && PlatformGetFileKind(music) == FILE_REGULAR;
    ToolMusicRender render = {};
    if (haveMusic) {
        std::string error;
        if (!ToolModuleToOgg(music, (site.stage / "music.ogg").c_str(), &render, &error))
            return ToolFail("export: %s", error.c_str());
    }
    for (size_t i = 0; i < articles.size(); i++)
        WriteText(articles[i].url, ArticlePage(articles, topics, i, issueTitle));
    WriteText("index.html", IndexPage(articles, topics, issueTitle, haveMusic));
    WriteText("zarn.css", Stylesheet());
    WriteText(markerFile, "This directory was made by zarn-tool export html; the next export replaces it.\n");
    if (!site.error.empty())
        return ToolFail("export: %s", site.error.c_str());

    for (const std::string &note : site.notes)
        std::printf("%s\n", note.c_str());
    size_t files = 0;
    for (const auto &document : site.documents)
        files += document.second.rfind("files/", 0) == 0;
    std::printf("index.html and %zu article pages, %zu pictures, %zu fonts, %zu link targets (%zu documents)\n",
                articles.size(), site.pictures.size(), site.fonts.size(), site.documents.size() - site.notes.size(),
                files);
    if (haveMusic)
        std::printf("music.ogg: %.2f s rendered (module %.2f s)\n", render.renderedSeconds, render.moduleSeconds);
    return 0;
}

// [SECTION] Command ---------------------------------------------------------

int ExportHtml(int argc, char **argv)
{
    const char *directory = nullptr, *output = nullptr;
    for (int i = 2; i < argc; i++) {
        if (!ToolTakeIssueOption(argc, argv, &i, &directory, &output))
            return ToolFail("export: unexpected '%s'\n%s", argv[i], usage);
    }
    if (!output)
        return ToolFail("export: no output directory (-o OUT)\n%s", usage);
    std::error_code ec;
    fs::path issue = fs::absolute(directory ? directory : ".", ec).lexically_normal();
    if (issue.filename().empty())
        issue = issue.parent_path();
    ToolOutputDirectory out;
    if (ToolStartOutputDirectory("export", output, markerFile, &out))
        return 1;
    site = ExportState();
    site.stage = out.stage;
    if (int status = ToolOpenScreens(directory, -1, -1)) {
        ToolFinishOutputDirectory("export", &out, false);
        return status;
    }
    for (const char *folder : {"pictures", "fonts", "files"})
        fs::create_directory(site.stage / folder, ec);
    int status = BuildSite(issue);
    // Folders nothing went into are left out.
    for (const char *folder : {"pictures", "fonts", "files"})
        if (fs::is_empty(site.stage / folder, ec))
            fs::remove(site.stage / folder, ec);
    return ToolFinishOutputDirectory("export", &out, status == 0) ? 1 : 0;
}

int Export(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(help, stdout);
        return 0;
    }
    if (argc >= 2 && !std::strcmp(argv[1], "html"))
        return ExportHtml(argc, argv);
    return ToolFail("export: which kind? %s", usage);
}

} // namespace

std::string ToolHtmlText(const std::string &text)
{
    return Html(text);
}

ZARN_TOOL_COMMAND("export", Export, "export html [-C DIR] -o OUT — the issue as a static web site");
