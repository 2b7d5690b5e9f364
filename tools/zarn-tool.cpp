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

bool ToolTakeIssueOption(int argc, char **argv, int *i, const char **directory, const char **output)
{
    if (*i + 1 >= argc)
        return false;
    const char **slot = !std::strcmp(argv[*i], "-C") ? directory : !std::strcmp(argv[*i], "-o") ? output : nullptr;
    if (!slot)
        return false;
    *slot = argv[++*i];
    return true;
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

int ToolStartOutputDirectory(const char *command, const char *path, const char *earlierMarker,
                             ToolOutputDirectory *output)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path target = fs::absolute(path, error).lexically_normal();
    if (target.filename().empty())
        target = target.parent_path();
    output->target = target.string();
    output->replace = false;
    if (fs::exists(target, error)) {
        if (!fs::is_directory(target, error))
            return ToolFail("%s: %s exists and is not a directory", command, path);
        output->replace = !fs::is_empty(target, error);
        if (output->replace && !(earlierMarker && fs::exists(target / earlierMarker, error)))
            return ToolFail("%s: %s is not empty%s; it is left as it is", command, path,
                            earlierMarker ? " and holds no earlier output" : "");
    }
    fs::create_directories(target.parent_path(), error);
    if (error)
        return ToolFail("%s: cannot make %s: %s", command, target.parent_path().c_str(), error.message().c_str());
    // A hidden name beside the target: the same file system, so the rename is whole.
    for (int n = 0; n < 1000; n++) {
        fs::path stage = target.parent_path() / ("." + target.filename().string() + ".part" + std::to_string(n));
        if (fs::create_directory(stage, error)) {
            output->stage = stage.string();
            return 0;
        }
    }
    return ToolFail("%s: cannot make a directory beside %s", command, path);
}

int ToolFinishOutputDirectory(const char *command, ToolOutputDirectory *output, bool ok)
{
    namespace fs = std::filesystem;
    std::error_code error;
    if (ok) {
        if (output->replace)
            fs::remove_all(output->target, error);
        // rename() also takes the place of an empty directory.
        fs::rename(output->stage, output->target, error);
        if (error) {
            fs::remove_all(output->stage, error);
            return ToolFail("%s: cannot move the result into %s: %s", command, output->target.c_str(),
                            error.message().c_str());
        }
        return 0;
    }
    fs::remove_all(output->stage, error);
    return 1;
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
