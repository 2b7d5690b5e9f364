// zarn-tool pack — builds an archive from files. Members are LZRW3 blocks
// unless that would not make them smaller; JPEG members are always stored,
// because the reader decodes them straight from the archive file.
#include "tools/archive.h"
#include "tools/tool.h"

#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char kPackHelp[] =
    "usage: zarn-tool pack -o ARCHIVE [--store] PATH...\n"
    "\n"
    "Builds ARCHIVE from the files named by PATH; a directory PATH contributes its\n"
    "regular files (not recursively, in name order). Each member is named after its\n"
    "file's base name (at most 63 characters; names equal ignoring case clash).\n"
    "Members are LZRW3-compressed (method 3) unless --store is given or compression\n"
    "would not make them smaller; JPEG files (starting FF D8 FF) are always stored\n"
    "(method 0). The directory goes at the end of the file. ARCHIVE is written to a\n"
    "temporary file first and renamed into place, so a failure leaves no half-written\n"
    "archive.\n";

void Put32(ToolBytes &out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

bool IsJpeg(const ToolBytes &content)
{
    return content.size() >= 3 && content[0] == 0xFF && content[1] == 0xD8 && content[2] == 0xFF;
}

// Adds path's files to files; false (after reporting) when it is neither a
// regular file nor a directory.
bool Collect(const std::string &path, const fs::path &output, std::vector<fs::path> *files)
{
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        ToolFail("%s: no such file or directory", path.c_str());
        return false;
    }
    if (fs::is_regular_file(status)) {
        files->push_back(path);
        return true;
    }
    if (!fs::is_directory(status)) {
        ToolFail("%s: not a regular file or directory", path.c_str());
        return false;
    }
    std::vector<fs::path> found;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ignored;
        if (!it->is_regular_file(ignored))
            continue;
        // Packing an issue directory into itself must not swallow the old archive.
        if (fs::exists(output, ignored) && fs::equivalent(it->path(), output, ignored))
            continue;
        found.push_back(it->path());
    }
    if (ec) {
        ToolFail("%s: cannot read the directory: %s", path.c_str(), ec.message().c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    files->insert(files->end(), found.begin(), found.end());
    return true;
}

int Pack(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(kPackHelp, stdout);
        return 0;
    }
    std::string output;
    bool store = false;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "-o")) {
            if (i + 1 >= argc)
                return ToolFail("pack: -o needs an archive name (see 'zarn-tool pack --help')");
            output = argv[++i];
        } else if (!std::strcmp(argv[i], "--store")) {
            store = true;
        } else if (argv[i][0] == '-' && argv[i][1]) {
            return ToolFail("pack: unknown option '%s' (see 'zarn-tool pack --help')", argv[i]);
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (output.empty() || paths.empty())
        return ToolFail("pack: needs -o ARCHIVE and at least one PATH (see 'zarn-tool pack --help')");

    std::vector<fs::path> files;
    for (const std::string &path : paths)
        if (!Collect(path, output, &files))
            return 1;

    ToolBytes archive(TOOL_HEADER_SIZE, 0);
    std::memcpy(archive.data(), toolArchiveSignature, 8);
    std::vector<ToolArchiveEntry> entries;
    for (const fs::path &file : files) {
        std::string name = file.filename().string();
        if (name.size() > TOOL_NAME_MAX)
            return ToolFail("%s: member name '%s' is longer than %d characters", file.c_str(), name.c_str(),
                            TOOL_NAME_MAX);
        if (name.find('\\') != std::string::npos)
            return ToolFail("%s: member name '%s' contains a backslash", file.c_str(), name.c_str());
        for (const ToolArchiveEntry &entry : entries)
            if (ToolSameName(entry.name, name))
                return ToolFail("%s: member name '%s' clashes with '%s' (names ignore case)", file.c_str(),
                                name.c_str(), entry.name.c_str());
        ToolBytes content;
        std::string error;
        if (!ToolReadFile(file.string(), &content, &error))
            return ToolFail("%s: %s", file.c_str(), error.c_str());
        if (content.size() > uint64_t(INT32_MAX - LZRW3_COMPRESS_OVERRUN))
            return ToolFail("%s: too large for an archive member", file.c_str());

        ToolArchiveEntry entry{uint32_t(archive.size()), 0, uint32_t(content.size()), uint32_t(content.size()), name};
        const uint8_t *stored = content.data();
        uint8_t *packed = nullptr;
        if (!store && !IsJpeg(content) && !content.empty()) {
            uint32_t packedLength = 0;
            packed = Lzrw3Compress(content.data(), uint32_t(content.size()), &packedLength);
            if (!packed)
                return ToolFail("%s: out of memory while compressing", file.c_str());
            if (packedLength < content.size()) {
                entry.method = 3;
                entry.packedSize = packedLength;
                stored = packed;
            }
        }
        if (archive.size() + entry.packedSize + uint64_t(entries.size() + 1) * TOOL_ENTRY_SIZE > UINT32_MAX) {
            StackheapFree(packed);
            return ToolFail("%s: the archive would pass 4 GB", file.c_str());
        }
        archive.insert(archive.end(), stored, stored + entry.packedSize);
        StackheapFree(packed);
        entries.push_back(entry);
    }

    Put32(archive, 8, uint32_t(archive.size()));
    Put32(archive, 12, uint32_t(entries.size()));
    for (const ToolArchiveEntry &entry : entries) {
        size_t at = archive.size();
        archive.resize(at + TOOL_ENTRY_SIZE, 0);
        Put32(archive, at, entry.memberOffset);
        Put32(archive, at + 4, entry.method);
        Put32(archive, at + 8, entry.packedSize);
        Put32(archive, at + 12, entry.unpackedSize);
        std::memcpy(&archive[at + 16], entry.name.data(), entry.name.size());
    }
    std::string error;
    if (!ToolWriteFileAtomically(output, archive.data(), archive.size(), &error))
        return ToolFail("%s: %s", output.c_str(), error.c_str());
    return 0;
}

} // namespace

ZARN_TOOL_COMMAND("pack", Pack, "pack -o ARCHIVE [--store] PATH...  build an archive from files");
