// zarn-tool new — makes a new issue directory that lints clean and that the
// reader shows at once: zarn.cfg with two topics, a welcome article that
// shows the common tags at work and an article on the authors' workflow,
// the start-up pictures, key bars and clock digits, two article pictures,
// the three effects and the outro's 3D files (all drawn by the issue art
// library), and the system's DejaVu faces copied under the face names the
// articles use. Music only when --music names a module.
//
// The issue is assembled in a directory beside DIR and renamed into place
// (ToolStartOutputDirectory), so a failure leaves nothing behind.
//
// [SECTION] Text for the reader
// [SECTION] The articles
// [SECTION] Files
// [SECTION] Command

#include "tools/archive.h"
#include "tools/tool.h"
#include "tools/v3d.h"

#include "demo/art/art.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>

namespace {

namespace fs = std::filesystem;

const char usage[] = "usage: zarn-tool new DIR [--title TEXT] [--music FILE.xm]";

const char help[] =
    "usage: zarn-tool new DIR [--title TEXT] [--music FILE.xm]\n"
    "\n"
    "Makes a new issue in DIR (created; an existing DIR must be empty): zarn.cfg with\n"
    "two topics, a welcome article showing the common tags and an article on\n"
    "writing an issue, the start-up pictures, the clock digits, two pictures, the\n"
    "three effects, the 3D files of the outro, and the fonts (the system's DejaVu\n"
    "faces, found through fontconfig, copied as verdana*.TTF, georgia*.TTF and\n"
    "courier*.TTF). TEXT (default: DIR's name) is the issue's title: it is drawn on\n"
    "the background picture, heads the welcome article and is kept in zarn.cfg as\n"
    "'!issue title'. --music copies an XM module into the issue as its music; without\n"
    "it the issue has none. The issue lints clean and the reader shows it at once.\n";

// [SECTION] Text for the reader --------------------------------------------

// The reader's text is 8-bit (Latin-1); a title from the command line is
// UTF-8 when it decodes as such, else taken as Latin-1 already. Characters
// beyond Latin-1 become '?', control characters blanks.
std::string ToLatin1(const std::string &text)
{
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text.c_str());
    size_t n = text.size();
    std::string decoded;
    bool utf8 = true;
    for (size_t i = 0; i < n && utf8;) {
        unsigned c = s[i];
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        utf8 = extra >= 0 && i + size_t(extra) < n;
        unsigned code = extra > 0 ? c & (0x3Fu >> extra) : c;
        for (int k = 1; utf8 && k <= extra; k++) {
            utf8 = (s[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (s[i + k] & 0x3F);
        }
        decoded += code <= 0xFF ? char(code) : '?';
        i += size_t(extra) + 1;
    }
    std::string out = utf8 ? decoded : text;
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = ' ';
    return out;
}

// A title as article text: '<' would open a tag, so it is written with <char <>.
std::string ArticleText(const std::string &latin1)
{
    std::string out;
    for (char c : latin1)
        out += c == '<' ? std::string("<char <>") : std::string(1, c);
    return out;
}

// zarn.cfg keeps 63 characters of a value.
std::string ConfigValue(const std::string &value)
{
    return value.substr(0, 63);
}

// Articles are kept with CR LF line ends: a bare line feed joins words.
std::string WithCrLf(const std::string &text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// [SECTION] The articles ---------------------------------------------------

std::string WelcomeArticle(const std::string &title)
{
    return WithCrLf(
        "<font georgia><color 235 240 255><size 20><b>" + ArticleText(title) + "</b>\n"
        "<br><font verdana><size 10><aj>Welcome to your new issue. What you read is welcome.txt, a plain\n"
        "text file with tags in angle brackets: change it, save it and look again. A file lying loose in\n"
        "the issue directory always wins over the packed archive.\n"
        "<br><br><b>Bold</b>, <i>italic</i>, <b><i>both</i></b> and <ul>underlined</ul> words;\n"
        "<size 14>larger<size 10> and <size 8>smaller<size 10> sizes; colours given by three numbers,\n"
        "<color 255 200 80>like these<color 235 240 255>, or by one hexadecimal value,\n"
        "<color 80FF80>like this<color 235 240 255>.\n"
        "<br><br><image hills.jpg>A picture placed with <font courier><char <>image hills.jpg><font verdana> sits\n"
        "at the pen, and the text flows around it until it has passed the picture's lower edge.\n"
        "Pictures may be JPEG or BMP files. A picture goes to a fixed place with\n"
        "<font courier><char <>imagexy><font verdana> instead, and the tags ending in <i>trans</i> leave its\n"
        "magenta pixels out.\n"
        "Each tag acts where it stands and holds until another one changes it.\n"
        "<br><br><center>Centred with <font courier><char <>center><font verdana>,\n"
        "<br><right>right-aligned with <font courier><char <>right><font verdana>,\n"
        "<br><left>and back on the left with <font courier><char <>left><font verdana>.\n"
        "<br><newpage><font verdana><color 235 240 255><size 14><b>Links, columns and pages</b>\n"
        "<br><size 10><left>A link opens in the browser when it is clicked:\n"
        "<link https://example.org/>example.org</link>. The reader opens web and mail addresses and\n"
        "plain documents, never programs.\n"
        "<br><br><font courier><char <>br><tab 160><font verdana>ends a line; a blank line takes two\n"
        "<br><font courier><char <>tab N><tab 160><font verdana>moves on to the next multiple of N pixels\n"
        "<br><font courier><char <>font NAME><tab 160><font verdana>changes the face:\n"
        "<font georgia>georgia<font verdana>, <font courier>courier<font verdana> or verdana\n"
        "<br><font courier><char <>newpage><tab 160><font verdana>starts the next page\n"
        "<br><font courier><char <>rem TEXT><tab 160><font verdana>is a comment<rem that nobody sees>\n"
        "<br><br><imagetrans badge.bmp><aj>The badge was placed with\n"
        "<font courier><char <>imagetrans badge.bmp><font verdana>: its magenta corners let the page\n"
        "show through. The second topic of\n"
        "the menu tells how to go on from here: adding articles, checking the issue, and packing it\n"
        "for your readers.\n"
        "<br>\n");
}

std::string WritingArticle()
{
    return WithCrLf(
        "<font verdana><color 235 240 255><size 14><b>Writing an issue</b>\n"
        "<br><size 10><aj>The menu lists the topics of zarn.cfg, and a topic shows its articles. Each\n"
        "line of zarn.cfg is one entry: a topic is <font courier>topic ID Menu text<font verdana>, and an\n"
        "article of that topic is <font courier>ID file.txt Title~Subtitle<font verdana>. Add a line, write\n"
        "the file next to it, and the article is there.\n"
        "<br><br><left>Four commands look after the issue:\n"
        "<br><font courier>zarn-tool lint<tab 160><font verdana>checks every file as the reader meets it\n"
        "<br><font courier>zarn-tool sheet<tab 160><font verdana>draws every page on one picture\n"
        "<br><font courier>zarn-tool pack<tab 160><font verdana>packs the articles and pictures\n"
        "<br><font courier>zarn-tool export<tab 160><font verdana>makes a small web site of the issue\n"
        "<br><br><aj>Articles use the faces verdana, georgia and courier; the files beside zarn.cfg named\n"
        "after them hold the fonts, one per style. A module named by a line\n"
        "<font courier>!music main song.xm<font verdana> plays while the issue is read.\n"
        "<br><br><i>The README that came with the reader walks through every step.</i>\n"
        "<br>\n");
}

std::string Config(const std::string &title, const std::string &music)
{
    std::string cfg = "!issue title " + ConfigValue(title) + "\n";
    if (!music.empty())
        cfg += "!music main " + music + "\n";
    cfg += "!sound article article.wav\n"
           "!sound page page.wav\n"
           "!sound back back.wav\n"
           "topic welcome Welcome\n"
           "welcome welcome.txt " + ConfigValue("Welcome~" + title) + "\n"
           "topic writing Writing an issue\n"
           "writing writing.txt Your first article~how to go on\n";
    return WithCrLf(cfg);
}

// [SECTION] Files -----------------------------------------------------------

struct FontCopy {
    const char *family, *generic;
    int bold, italic;
    const char *name; // the file as the articles' face and style name it
};

const FontCopy fontCopies[] = {
    {"DejaVu Sans", "sans-serif", 0, 0, "verdana.TTF"},  {"DejaVu Sans", "sans-serif", 1, 0, "verdanaB.TTF"},
    {"DejaVu Sans", "sans-serif", 0, 1, "verdanaI.TTF"}, {"DejaVu Sans", "sans-serif", 1, 1, "verdanaZ.TTF"},
    {"DejaVu Serif", "serif", 0, 0, "georgia.TTF"},      {"DejaVu Serif", "serif", 1, 0, "georgiaB.TTF"},
    {"DejaVu Serif", "serif", 0, 1, "georgiaI.TTF"},     {"DejaVu Serif", "serif", 1, 1, "georgiaZ.TTF"},
    {"DejaVu Sans Mono", "monospace", 0, 0, "courier.TTF"},
};

// The DejaVu face, or whatever the system has for its generic family.
bool FindFont(const FontCopy &font, std::string *path)
{
    char found[4096];
    if (PlatformFindFontFile(font.family, font.bold, font.italic, found, sizeof found) ||
        PlatformFindFontFile(font.generic, font.bold, font.italic, found, sizeof found)) {
        *path = found;
        return true;
    }
    return false;
}

bool WriteText(const fs::path &path, const std::string &text, std::string *error)
{
    std::string message;
    if (ToolWriteFileAtomically(path.string(), reinterpret_cast<const uint8_t *>(text.data()), text.size(), &message))
        return true;
    *error = path.string() + ": " + message;
    return false;
}

// The module's first bytes say whether it is an XM module.
bool IsXmModule(const std::string &path)
{
    ToolBytes bytes;
    std::string error;
    return ToolReadFile(path, &bytes, &error) && bytes.size() >= 17 &&
           std::memcmp(bytes.data(), "Extended Module: ", 17) == 0;
}

// Fills the empty directory stage. False with *error.
bool MakeIssue(const fs::path &stage, const std::string &title, const std::string &music, std::string *error)
{
    std::string fontFiles[sizeof fontCopies / sizeof fontCopies[0]];
    for (size_t i = 0; i < sizeof fontCopies / sizeof fontCopies[0]; i++) {
        if (!FindFont(fontCopies[i], &fontFiles[i])) {
            *error = std::string("no system font for ") + fontCopies[i].family + (fontCopies[i].bold ? " bold" : "") +
                     (fontCopies[i].italic ? " italic" : "") + " (Debian: fonts-dejavu-core)";
            return false;
        }
    }
    // The pictures' text is set in the sans face, regular and bold.
    if (!ArtLoadFonts(fontFiles[0].c_str(), fontFiles[1].c_str())) {
        *error = "cannot load " + fontFiles[0] + " or " + fontFiles[1];
        return false;
    }
    std::string failed;
    bool ok = ArtWriteIssueFiles(stage.string(), title.c_str(), "", &failed) &&
              ArtSaveJpeg((stage / "hills.jpg").string(), ArtLandscape(180, 110)) &&
              ArtSaveBmp24((stage / "badge.bmp").string(), ArtBadge());
    ArtCloseFonts();
    if (!ok) {
        *error = failed.empty() ? "cannot write the pictures in " + stage.string() : "cannot write " + failed;
        return false;
    }

    // The ball's texture coordinates are sized by ball.bmp, which the import
    // finds in the working directory.
    std::error_code ec;
    fs::path before = fs::current_path(ec);
    if (ToolEnterIssue(stage.c_str()) != 0) {
        *error = "cannot enter " + stage.string();
        return false;
    }
    std::istringstream obj(ArtSphereObj());
    std::string summary;
    ok = ToolImportObj(obj, "ball.v3d", "ball", 0, 1.0f, &summary, error);
    fs::current_path(before, ec);
    if (!ok)
        return false;

    for (size_t i = 0; i < sizeof fontCopies / sizeof fontCopies[0]; i++) {
        fs::copy_file(fontFiles[i], stage / fontCopies[i].name, ec);
        if (ec) {
            *error = "cannot copy " + fontFiles[i] + ": " + ec.message();
            return false;
        }
    }
    std::string musicName;
    if (!music.empty()) {
        musicName = fs::path(music).filename().string();
        fs::copy_file(music, stage / musicName, ec);
        if (ec) {
            *error = "cannot copy " + music + ": " + ec.message();
            return false;
        }
    }
    return WriteText(stage / "zarn.cfg", Config(title, musicName), error) &&
           WriteText(stage / "welcome.txt", WelcomeArticle(title), error) &&
           WriteText(stage / "writing.txt", WritingArticle(), error);
}

// [SECTION] Command ---------------------------------------------------------

int New(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(help, stdout);
        return 0;
    }
    const char *directory = nullptr, *title = nullptr, *music = nullptr;
    for (int i = 1; i < argc; i++) {
        bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--title") && more)
            title = argv[++i];
        else if (!std::strcmp(argv[i], "--music") && more)
            music = argv[++i];
        else if (argv[i][0] != '-' && !directory)
            directory = argv[i];
        else
            return ToolFail("new: unexpected '%s'\n%s", argv[i], usage);
    }
    if (!directory || !directory[0])
        return ToolFail("new: no directory given\n%s", usage);

    std::error_code ec;
    std::string musicPath;
    if (music) {
        musicPath = fs::absolute(music, ec).string();
        if (!fs::is_regular_file(musicPath, ec))
            return ToolFail("new: %s: no such file", music);
        if (!IsXmModule(musicPath))
            return ToolFail("new: %s: not an XM module (the reader plays XM music)", music);
        if (fs::path(musicPath).filename().string().size() > 63)
            return ToolFail("new: %s: the name is longer than 63 characters", music);
    }
    fs::path named = fs::absolute(directory, ec).lexically_normal();
    if (named.filename().empty())
        named = named.parent_path(); // "DIR/" names DIR
    std::string issueTitle = ToLatin1(title ? title : named.filename().string());
    if (issueTitle.find_first_not_of(' ') == std::string::npos)
        return ToolFail("new: the title is empty");

    ToolOutputDirectory output;
    if (ToolStartOutputDirectory("new", directory, nullptr, &output))
        return 1;
    PlatformSelect("headless");
    std::string error;
    bool ok = MakeIssue(output.stage, issueTitle, musicPath, &error);
    if (!ok)
        ToolFail("new: %s", error.c_str());
    if (ToolFinishOutputDirectory("new", &output, ok))
        return 1;
    std::printf("new issue in %s: lint it with 'zarn-tool lint -C %s', read it with 'zarn %s'\n",
                directory, directory, directory);
    return 0;
}

} // namespace

ZARN_TOOL_COMMAND("new", New, "new DIR [--title TEXT] [--music FILE.xm] — make a new issue that the reader shows at once");
