// zarn-tool list — prints an archive's directory, one entry per line.
#include "tools/archive.h"
#include "tools/tool.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kListHelp[] =
    "usage: zarn-tool list ARCHIVE\n"
    "\n"
    "Prints one line per directory entry, in directory order:\n"
    "  NAME METHOD PACKED UNPACKED OFFSET\n"
    "separated by single spaces (METHOD 0 = stored, 3 = LZRW3; sizes in bytes;\n"
    "OFFSET is the member's absolute offset in the file).\n";

int List(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(kListHelp, stdout);
        return 0;
    }
    if (argc != 2)
        return ToolFail("list: needs exactly one ARCHIVE (see 'zarn-tool list --help')");
    ToolBytes archive;
    std::vector<ToolArchiveEntry> entries;
    std::string error;
    if (!ToolReadFile(argv[1], &archive, &error) || !ToolReadDirectory(archive, &entries, &error))
        return ToolFail("%s: %s", argv[1], error.c_str());
    for (const ToolArchiveEntry &e : entries)
        std::printf("%s %u %u %u %u\n", e.name.c_str(), e.method, e.packedSize, e.unpackedSize, e.memberOffset);
    if (std::fflush(stdout) != 0)
        return ToolFail("standard output: write failed");
    return 0;
}

} // namespace

ZARN_TOOL_COMMAND("list", List, "list ARCHIVE  print the directory: NAME METHOD PACKED UNPACKED OFFSET");
