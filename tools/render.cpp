// zarn-tool render — draws one screen of an issue to a PNG exactly as the
// reader would present it (before any fade or link highlight): the main menu
// with a topic selected, or an article page composed as the viewer composes
// it. Runs on the headless platform; every message the reader would show in
// a box is printed on standard error and makes the exit status 1.
#include "tools/screens.h"
#include "tools/tool.h"

#include "app/menuloop.h"
#include "app/viewer.h"
#include "aua/aua.h"
#include "gfx/display.h"
#include "gfx/image.h"
#include "mag/config.h"
#include "mag/menu.h"
#include "platform/headless/headless.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

const char usage[] =
    "usage: zarn-tool render [-C DIR] [--time HH:MM] (--menu [--select N] | --topic N [--article A] "
    "[--page P]) -o OUT.png";

struct RenderOptions {
    const char *directory = nullptr;
    const char *output = nullptr;
    int hour = -1, minute = -1;
    bool menu = false;
    int select = 0;
    int topic = -1;
    int article = 0;
    int page = 0;
};

bool ReadNumber(const char *text, int *value) {
    char *end = nullptr;
    long number = strtol(text, &end, 10);
    if (!*text || *end || number < 0 || number > 1000000) return false;
    *value = (int)number;
    return true;
}

// Returns 0 when the arguments are good, else the tool's error status.
int ParseOptions(int argc, char **argv, RenderOptions *options) {
    for (int i = 1; i < argc; i++) {
        const char *arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool takesValue = !strcmp(arg, "-C") || !strcmp(arg, "--time") || !strcmp(arg, "--select") ||
                          !strcmp(arg, "--topic") || !strcmp(arg, "--article") || !strcmp(arg, "--page") ||
                          !strcmp(arg, "-o");
        if (!strcmp(arg, "--menu")) {
            options->menu = true;
            continue;
        }
        if (!takesValue) return ToolFail("unknown argument '%s'\n%s", arg, usage);
        if (!value) return ToolFail("%s needs a value\n%s", arg, usage);
        i++;
        bool good = true;
        if (!strcmp(arg, "-C"))
            options->directory = value;
        else if (!strcmp(arg, "-o"))
            options->output = value;
        else if (!strcmp(arg, "--time"))
            good = ToolReadTime(value, &options->hour, &options->minute);
        else if (!strcmp(arg, "--select"))
            good = ReadNumber(value, &options->select);
        else if (!strcmp(arg, "--topic"))
            good = ReadNumber(value, &options->topic);
        else if (!strcmp(arg, "--article"))
            good = ReadNumber(value, &options->article);
        else if (!strcmp(arg, "--page"))
            good = ReadNumber(value, &options->page);
        if (!good) return ToolFail("bad value '%s' for %s", value, arg);
    }
    if (!options->output) return ToolFail("no output file (-o OUT.png)\n%s", usage);
    if (options->menu == (options->topic >= 0)) return ToolFail("give either --menu or --topic N\n%s", usage);
    return 0;
}

// Prints the message boxes shown so far; returns how many there were.
size_t ReportMessages() {
    size_t count = 0;
    fputs(ToolTakeMessages(&count).c_str(), stderr);
    return count;
}

int Render(int argc, char **argv) {
    if (ToolWantsHelp(argc, argv)) {
        printf("%s\n", usage);
        return 0;
    }
    RenderOptions options;
    if (int status = ParseOptions(argc, argv, &options)) return status;

    // The boxes are read back and reported here, once.
    HeadlessEchoMessageBoxes(0);
    // The output path is taken before changing directory, so a relative one
    // names a file where the tool was started.
    std::error_code error;
    std::filesystem::path output = std::filesystem::absolute(options.output, error);
    if (int status = ToolOpenScreens(options.directory, options.hour, options.minute)) return status;

    std::vector<uint32_t> screen((size_t)MENU_PAGE_WIDTH * MENU_PAGE_HEIGHT, 0);
    uint32_t *page = screen.data();

    if (options.menu) {
        if (options.select >= MenuGetLayout()->topicCount)
            return ToolFail("no topic %d (the issue has %d)", options.select, MenuGetLayout()->topicCount);
        ComposeMenuScreen(page, options.select);
    } else {
        if (options.topic >= MenuGetLayout()->topicCount)
            return ToolFail("no topic %d (the issue has %d)", options.topic, MenuGetLayout()->topicCount);
        const ConfigEntry *topic = ConfigGetEntry(FindTopicEntry(options.topic));
        char topicIdentifier[CONFIG_FIELD_BYTES];
        snprintf(topicIdentifier, sizeof topicIdentifier, "%s", topic ? topic->key2 : "");
        int count = CountArticles(topicIdentifier);
        if (options.article >= count && count > 0)
            return ToolFail("no article %d in topic %d (it has %d)", options.article, options.topic, count);
        const ConfigEntry *entry = ConfigGetEntry(FindArticleEntry(options.article, topicIdentifier));
        static Article article;
        if (!entry || !AuaLoadArticle(entry->key2, &article)) {
            FatalError("Can't load AUA!");
            ReportMessages();
            return 1;
        }
        article.textRect = {20, 50, MENU_PAGE_WIDTH - 20, MENU_PAGE_HEIGHT - 80};
        if (options.page > 0 && options.page >= article.pageCount) {
            AuaFreeArticle(&article);
            return ToolFail("no page %d in '%s' (it has %d)", options.page, entry->key2, article.pageCount);
        }
        // The viewer reaches page P through pages 0 .. P - 1, whose draws
        // record the states the later pages start from.
        for (int p = 0; p <= options.page; p++) {
            article.currentPage = p;
            memset(page, 0, screen.size() * sizeof(uint32_t));
            ComposeArticleScreen(page, &article, options.article, topicIdentifier);
        }
        int linkCount = 0;
        const PageLink *links = AuaGetLinks(&linkCount);
        printf("pages %d\n", article.pageCount);
        for (int i = 0; i < linkCount; i++)
            printf("link %d %d %d %d %s\n", links[i].left, links[i].top, links[i].right, links[i].bottom,
                   links[i].target);
        AuaFreeArticle(&article);
    }

    if (!SavePagePng(output.c_str(), page, MENU_PAGE_WIDTH, MENU_PAGE_HEIGHT))
        return ToolFail("cannot write '%s'", output.c_str());
    return ReportMessages() ? 1 : 0;
}

} // namespace

ZARN_TOOL_COMMAND("render", Render,
                  "render [-C DIR] [--time HH:MM] (--menu [--select N] | --topic N [--article A] [--page P]) "
                  "-o OUT.png — draw one screen of an issue to a PNG");
