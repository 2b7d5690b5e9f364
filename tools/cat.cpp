// zarn-tool cat — writes a file to standard output exactly as the reader
// would find it: loose files in their twelve directories first, then zarn.dat.
#include "tools/tool.h"

#include "store/datafile.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kCatHelp[] =
    "usage: zarn-tool cat [-C DIR] NAME\n"
    "\n"
    "Opens NAME in DIR (default: the current directory) the way the reader does:\n"
    "a loose file in DIR or one of its subdirectories tex, lens, spher2c, misc,\n"
    "spher, spherc, phong, hellenvc, hellenv, env, vtx (in that order), else the\n"
    "member of DIR/zarn.dat whose name matches ignoring case. Writes its content to\n"
    "standard output.\n";

int Cat(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(kCatHelp, stdout);
        return 0;
    }
    const char *directory = nullptr, *name = nullptr;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "-C")) {
            if (i + 1 >= argc)
                return ToolFail("cat: -C needs a directory (see 'zarn-tool cat --help')");
            directory = argv[++i];
        } else if (!name) {
            name = argv[i];
        } else {
            return ToolFail("cat: takes one NAME (see 'zarn-tool cat --help')");
        }
    }
    if (!name)
        return ToolFail("cat: needs a NAME (see 'zarn-tool cat --help')");
    if (int status = ToolEnterIssue(directory))
        return status;
    DataFile *file = DataFileOpen(name, "rb");
    if (!file)
        return ToolFail("%s: not found as a loose file or a readable member of zarn.dat", name);
    char buffer[1 << 16];
    int32_t got;
    bool failed = false;
    while (!failed && (got = DataFileRead(buffer, 1, sizeof buffer, file)) > 0)
        failed = std::fwrite(buffer, 1, size_t(got), stdout) != size_t(got);
    bool readError = file->kind == DATAFILE_LOOSE && std::ferror(file->stream);
    DataFileClose(file);
    if (readError)
        return ToolFail("%s: read failed", name);
    if (failed || std::fflush(stdout) != 0)
        return ToolFail("standard output: write failed");
    return 0;
}

} // namespace

ZARN_TOOL_COMMAND("cat", Cat, "cat [-C DIR] NAME  write a file as the reader finds it");
