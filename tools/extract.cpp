// zarn-tool extract — writes archive members out as files. Member names come
// from the archive, so any that could leave the target directory are refused.
#include "tools/archive.h"
#include "tools/tool.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char kExtractHelp[] =
    "usage: zarn-tool extract ARCHIVE [-C DIR] [NAME...]\n"
    "\n"
    "Writes the members of ARCHIVE (all of them, or those named; names ignore case)\n"
    "as files into DIR (default: the current directory, created when missing).\n"
    "Member names containing '/', '\\' or '..' are refused. When two entries share a\n"
    "name, the first is the one the reader sees and the one written. Each file is\n"
    "written to a temporary file and renamed, so none is left half-written.\n";

bool SafeName(const std::string &name)
{
    return !name.empty() && name.find('/') == std::string::npos && name.find('\\') == std::string::npos &&
           name.find("..") == std::string::npos;
}

int Extract(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(kExtractHelp, stdout);
        return 0;
    }
    std::string archivePath, directory = ".";
    std::vector<std::string> names;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "-C")) {
            if (i + 1 >= argc)
                return ToolFail("extract: -C needs a directory (see 'zarn-tool extract --help')");
            directory = argv[++i];
        } else if (archivePath.empty()) {
            archivePath = argv[i];
        } else {
            names.push_back(argv[i]);
        }
    }
    if (archivePath.empty())
        return ToolFail("extract: needs an ARCHIVE (see 'zarn-tool extract --help')");

    ToolBytes archive;
    std::vector<ToolArchiveEntry> entries;
    std::string error;
    if (!ToolReadFile(archivePath, &archive, &error) || !ToolReadDirectory(archive, &entries, &error))
        return ToolFail("%s: %s", archivePath.c_str(), error.c_str());

    // The entries to write: the first of each name, as the reader resolves them.
    std::vector<const ToolArchiveEntry *> chosen;
    if (names.empty()) {
        for (const ToolArchiveEntry &entry : entries) {
            bool seen = false;
            for (const ToolArchiveEntry *c : chosen)
                seen = seen || ToolSameName(c->name, entry.name);
            if (!seen)
                chosen.push_back(&entry);
        }
    } else {
        for (const std::string &name : names) {
            const ToolArchiveEntry *found = nullptr;
            for (const ToolArchiveEntry &entry : entries)
                if (!found && ToolSameName(entry.name, name))
                    found = &entry;
            if (!found)
                return ToolFail("%s: no member named '%s'", archivePath.c_str(), name.c_str());
            chosen.push_back(found);
        }
    }
    for (const ToolArchiveEntry *entry : chosen)
        if (!SafeName(entry->name))
            return ToolFail("%s: refusing member name '%s' (it could leave the target directory)",
                            archivePath.c_str(), entry->name.c_str());

    std::error_code ec;
    fs::create_directories(directory, ec);
    if (ec || !fs::is_directory(directory))
        return ToolFail("%s: cannot use as the target directory%s%s", directory.c_str(), ec ? ": " : "",
                        ec ? ec.message().c_str() : "");
    for (const ToolArchiveEntry *entry : chosen) {
        ToolBytes content;
        if (!ToolMemberContent(archive, *entry, &content, &error))
            return ToolFail("%s: member '%s': %s", archivePath.c_str(), entry->name.c_str(), error.c_str());
        std::string target = (fs::path(directory) / entry->name).string();
        if (!ToolWriteFileAtomically(target, content.data(), content.size(), &error))
            return ToolFail("%s: %s", target.c_str(), error.c_str());
    }
    return 0;
}

} // namespace

ZARN_TOOL_COMMAND("extract", Extract, "extract ARCHIVE [-C DIR] [NAME...]  write members into DIR");
