// zarn-tool — the dispatcher: `zarn-tool COMMAND ARGS...` runs the registered
// command with argv[0] = COMMAND; and the few helpers every command shares.
#include "tools/tool.h"

#include "app/options.h"
#include "store/datafile.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

struct ToolCommand {
    const char *name;
    ToolCommandFunction function;
    const char *summary;
};

struct ToolState {
    ToolCommand commands[32];
    int count;
};

ToolState &Tool()
{
    static ToolState state;
    return state;
}

void PrintUsage(FILE *out)
{
    std::fprintf(out, "usage: zarn-tool COMMAND [ARGS...]\n\ncommands:\n");
    for (int i = 0; i < Tool().count; i++)
        std::fprintf(out, "  %s\n", Tool().commands[i].summary);
    std::fprintf(out, "\n'zarn-tool COMMAND --help' describes one command; 'zarn-tool --version' prints the version.\n");
}

} // namespace

ToolCommandRegistration::ToolCommandRegistration(const char *name, ToolCommandFunction function,
                                                 const char *summary)
{
    ToolState &tool = Tool();
    if (tool.count < static_cast<int>(sizeof tool.commands / sizeof tool.commands[0]))
        tool.commands[tool.count++] = ToolCommand{name, function, summary};
}

int ToolFail(const char *format, ...)
{
    std::fputs("zarn-tool: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    return 1;
}

bool ToolWantsHelp(int argc, char **argv)
{
    for (int i = 1; i < argc; i++)
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
            return true;
    return false;
}

int ToolEnterIssue(const char *directory)
{
    if (directory) {
        std::error_code error;
        std::filesystem::current_path(directory, error);
        if (error) return ToolFail("cannot enter '%s': %s", directory, error.message().c_str());
    }
    ArchiveSetName("zarn.dat");
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("zarn-tool %s\n", ProgramVersion());
        return 0;
    }
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
        PrintUsage(stdout);
        return argc < 2 ? 1 : 0;
    }
    for (int i = 0; i < Tool().count; i++)
        if (!std::strcmp(Tool().commands[i].name, argv[1]))
            return Tool().commands[i].function(argc - 1, argv + 1);
    ToolFail("unknown command '%s' (see 'zarn-tool --help')", argv[1]);
    return 1;
}
