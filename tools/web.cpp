// zarn-tool web — the web edition of an issue: a folder any static web server
// can serve as it is. The reader's web files (the page, zarn.js, zarn.wasm
// and the dialogs' face) come from the installation or the web build; the
// issue's own files go under issue/, listed with their sizes in files.json,
// which the page fetches before it starts the reader. The issue is checked
// first, exactly as lint checks it: one with errors is refused, and nothing
// is written.
//
// [SECTION] The reader's files
// [SECTION] The issue's files
// [SECTION] Command
#include "tools/tool.h"

#include "tools/archive.h"

#include "mag/config.h"
#include "platform/platform.h"
#include "store/datafile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#ifndef ZARN_WEB_FROM_PROGRAM
#define ZARN_WEB_FROM_PROGRAM "../share/zarn/web"
#endif
#ifndef ZARN_WEB_BUILD_FILES
#define ZARN_WEB_BUILD_FILES ""
#endif

namespace {

namespace fs = std::filesystem;

const char usage[] = "usage: zarn-tool web [-C DIR] -o SITE";

const char help[] =
    "usage: zarn-tool web [-C DIR] -o SITE\n"
    "\n"
    "Writes the web edition of the issue in DIR (default: the current directory)\n"
    "into SITE: index.html, the reader (zarn.js and zarn.wasm), the face its dialogs\n"
    "are drawn with, files.json, and under issue/ the issue's files: those of DIR\n"
    "and of its loose-file folders (tex/, lens/, ... vtx/). Any static web server\n"
    "can serve SITE as it is; the reader runs in the browser exactly as on the\n"
    "desktop.\n"
    "\n"
    "The issue is checked first as 'zarn-tool lint' checks it, and the report is\n"
    "printed; an issue with errors is refused and nothing is written. SITE must be\n"
    "new, empty or an earlier output of this command, which is replaced.\n"
    "\n"
    "The reader's files come from the installation (share/zarn/web beside the\n"
    "program's folder) or from the web build (make web-build); the environment\n"
    "variable ZARN_WEB_FILES names another folder that holds them.\n";

// What the page fetches and what else it needs; files.json marks a folder
// this command wrote.
const char *const readerFiles[] = {"index.html", "zarn.js", "zarn.wasm", "DejaVuSans.ttf"};
const char manifestName[] = "files.json";

struct SiteFile {
    std::string path; // relative, '/' between folders
    uintmax_t size;
};

// [SECTION] The reader's files ------------------------------------------------

bool HoldsReader(const fs::path &folder)
{
    std::error_code ec;
    for (const char *name : readerFiles)
        if (!fs::is_regular_file(folder / name, ec))
            return false;
    return true;
}

// The folder with the reader's web files, or "" after listing where it looked.
fs::path FindReader()
{
    std::vector<fs::path> places;
    if (const char *named = std::getenv("ZARN_WEB_FILES"); named && *named)
        places.push_back(named);
    else {
        if (*PlatformProgramDirectory())
            places.push_back(fs::path(PlatformProgramDirectory()) / ZARN_WEB_FROM_PROGRAM);
        if (*ZARN_WEB_BUILD_FILES)
            places.push_back(ZARN_WEB_BUILD_FILES);
    }
    for (const fs::path &place : places)
        if (HoldsReader(place))
            return place.lexically_normal();
    std::string looked;
    for (const fs::path &place : places)
        looked += "\n  " + place.lexically_normal().string();
    ToolFail("web: the reader's web files (index.html, zarn.js, zarn.wasm, DejaVuSans.ttf) are in none of:%s\n"
             "build them with 'make web-build', or name their folder in ZARN_WEB_FILES",
             looked.empty() ? " (no place known)" : looked.c_str());
    return fs::path();
}

// The page, with the issue's title as the page's title.
std::string PageText(const fs::path &reader, const std::string &title)
{
    std::ifstream in(reader / "index.html", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string page = text.str();
    const std::string placeholder = "<title>Zarn</title>";
    size_t at = page.find(placeholder);
    if (at != std::string::npos && !title.empty())
        page.replace(at, placeholder.size(), "<title>" + ToolHtmlText(title) + "</title>");
    return page;
}

// [SECTION] The issue's files -------------------------------------------------

// Names the page can ask a server for: printable, no quote or backslash, and
// any byte above 127 part of valid UTF-8.
bool PlainName(const std::string &name)
{
    for (size_t i = 0; i < name.size();) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\')
            return false;
        size_t more = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 9;
        if (i + more >= name.size() + (more ? 0 : 1))
            return false;
        for (size_t k = 1; k <= more; k++)
            if ((static_cast<unsigned char>(name[i + k]) & 0xC0) != 0x80)
                return false;
        i += more + 1;
    }
    return !name.empty();
}

// The regular files the reader can open: the issue's own and those of its
// loose-file folders, in the order the reader searches them, by name.
bool IssueFiles(const fs::path &issue, std::vector<SiteFile> *files)
{
    for (int i = 0; const char *prefix = DataFileLooseDirectory(i); i++) {
        fs::path folder = issue / prefix;
        std::error_code ec;
        if (!fs::is_directory(folder, ec))
            continue;
        std::vector<SiteFile> here;
        for (const fs::directory_entry &entry : fs::directory_iterator(folder, ec)) {
            std::string name = entry.path().filename().string();
            if (name[0] == '.' || !fs::is_regular_file(entry.path(), ec))
                continue;
            if (!PlainName(name)) {
                std::fprintf(stderr, "zarn-tool: web: %s%s left out: the page cannot ask for such a name\n", prefix,
                             name.c_str());
                continue;
            }
            here.push_back(SiteFile{prefix + name, fs::file_size(entry.path(), ec)});
        }
        if (ec) {
            ToolFail("web: cannot list %s: %s", folder.c_str(), ec.message().c_str());
            return false;
        }
        std::sort(here.begin(), here.end(), [](const SiteFile &a, const SiteFile &b) { return a.path < b.path; });
        files->insert(files->end(), here.begin(), here.end());
    }
    return true;
}

std::string Manifest(const std::vector<SiteFile> &reader, const std::vector<SiteFile> &issue)
{
    auto list = [](const std::vector<SiteFile> &files) {
        std::string text;
        for (size_t i = 0; i < files.size(); i++)
            text += std::string(i ? ",\n" : "\n") + "    {\"path\": \"" + files[i].path +
                    "\", \"size\": " + std::to_string(files[i].size) + "}";
        return text + "\n  ";
    };
    return "{\n  \"made by\": \"zarn-tool web\",\n  \"reader\": [" + list(reader) + "],\n  \"issue\": [" +
           list(issue) + "]\n}\n";
}

bool WriteText(const fs::path &path, const std::string &text)
{
    std::string error;
    if (ToolWriteFileAtomically(path.string(), reinterpret_cast<const uint8_t *>(text.data()), text.size(), &error))
        return true;
    ToolFail("web: %s", error.c_str());
    return false;
}

// Fills the stage. 0, or the exit status after a message.
int WriteSite(const fs::path &reader, const fs::path &issue, const fs::path &stage)
{
    std::error_code ec;
    std::vector<SiteFile> readerList, issueList;
    char title[CONFIG_FIELD_BYTES] = "";
    ConfigLookup(title, "!issue", "title");
    if (!WriteText(stage / "index.html", PageText(reader, title)))
        return 1;
    for (const char *name : readerFiles) {
        if (std::strcmp(name, "index.html") != 0 && !fs::copy_file(reader / name, stage / name, ec))
            return ToolFail("web: cannot copy %s: %s", (reader / name).c_str(), ec.message().c_str());
        readerList.push_back(SiteFile{name, fs::file_size(stage / name, ec)});
    }
    if (!IssueFiles(issue, &issueList))
        return 1;
    uintmax_t bytes = 0;
    for (const SiteFile &file : issueList) {
        fs::path target = stage / "issue" / file.path;
        fs::create_directories(target.parent_path(), ec);
        if (ec || !fs::copy_file(issue / file.path, target, ec))
            return ToolFail("web: cannot copy %s: %s", (issue / file.path).c_str(), ec.message().c_str());
        bytes += file.size;
    }
    for (const SiteFile &file : readerList)
        bytes += file.size;
    if (!WriteText(stage / manifestName, Manifest(readerList, issueList)))
        return 1;
    std::printf("web: the reader and %zu files of the issue, %ju bytes in all\n", issueList.size(), bytes);
    return 0;
}

// [SECTION] Command -----------------------------------------------------------

int Web(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(help, stdout);
        return 0;
    }
    const char *directory = nullptr, *output = nullptr;
    for (int i = 1; i < argc; i++) {
        if (!ToolTakeIssueOption(argc, argv, &i, &directory, &output))
            return ToolFail("web: unexpected '%s' (%s)", argv[i], usage);
    }
    if (!output)
        return ToolFail("web: no output folder (-o SITE; %s)", usage);
    std::error_code ec;
    fs::path issue = fs::absolute(directory ? directory : ".", ec).lexically_normal();
    fs::path site = fs::absolute(output, ec).lexically_normal();
    fs::path reader = FindReader();
    if (reader.empty())
        return 1;
    reader = fs::absolute(reader, ec);
    // The report of the reader's own checks, then the verdict.
    int errors = 0;
    int status = ToolLintIssue(directory, false, &errors);
    if (errors)
        return ToolFail("web: the issue has %d error%s (listed above); nothing written", errors,
                        errors == 1 ? "" : "s");
    if (status)
        return status;
    ToolOutputDirectory out;
    if (ToolStartOutputDirectory("web", site.c_str(), manifestName, &out))
        return 1;
    status = WriteSite(reader, issue, out.stage);
    return ToolFinishOutputDirectory("web", &out, status == 0) ? 1 : status;
}

} // namespace

ZARN_TOOL_COMMAND("web", Web, "web [-C DIR] -o SITE — the issue as a web edition: the reader in a page");
