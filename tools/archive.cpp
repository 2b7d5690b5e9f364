// Archive helpers of zarn-tool: file I/O with atomic replacement and a
// directory reader that checks every extent against the file.
#include "tools/archive.h"

#include "platform/platform.h"
#include "store/datafile.h"
#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const char toolArchiveSignature[9] = "ZARNPAK1";

namespace {

uint32_t ReadLe32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

} // namespace

bool ToolReadFile(const std::string &path, ToolBytes *out, std::string *error)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        *error = std::strerror(errno);
        return false;
    }
    out->clear();
    uint8_t buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        out->insert(out->end(), buffer, buffer + got);
    bool failed = std::ferror(file) != 0;
    int savedErrno = errno;
    std::fclose(file);
    if (failed) {
        *error = savedErrno == EISDIR ? "is a directory" : std::strerror(savedErrno);
        return false;
    }
    return true;
}

bool ToolWriteFileAtomically(const std::string &path, const uint8_t *data, size_t size, std::string *error)
{
    char reason[512];
    if (PlatformWriteFileAtomically(path.c_str(), data, size, reason, sizeof reason))
        return true;
    *error = reason;
    return false;
}

bool ToolReadDirectory(const ToolBytes &archive, std::vector<ToolArchiveEntry> *entries, std::string *error)
{
    if (archive.size() < TOOL_HEADER_SIZE) {
        *error = "too short for an archive header";
        return false;
    }
    uint32_t directoryOffset = ReadLe32(&archive[8]);
    int32_t count = int32_t(ReadLe32(&archive[12]));
    if (count < 0) {
        *error = "negative entry count";
        return false;
    }
    if (uint64_t(directoryOffset) + uint64_t(count) * TOOL_ENTRY_SIZE > archive.size()) {
        *error = "directory of " + std::to_string(count) + " entries at offset " + std::to_string(directoryOffset) +
                 " lies beyond the end of the file";
        return false;
    }
    entries->clear();
    for (int32_t i = 0; i < count; i++) {
        const uint8_t *e = &archive[directoryOffset + size_t(i) * TOOL_ENTRY_SIZE];
        ToolArchiveEntry entry;
        entry.memberOffset = ReadLe32(e);
        entry.method = ReadLe32(e + 4);
        entry.packedSize = ReadLe32(e + 8);
        entry.unpackedSize = ReadLe32(e + 12);
        const char *name = reinterpret_cast<const char *>(e + 16);
        entry.name.assign(name, strnlen(name, TOOL_NAME_MAX));
        entries->push_back(entry);
    }
    return true;
}

bool ToolMemberContent(const ToolBytes &archive, const ToolArchiveEntry &entry, ToolBytes *out, std::string *error)
{
    if (entry.method != 0 && entry.method != 3) {
        *error = "unknown method " + std::to_string(entry.method);
        return false;
    }
    uint32_t stored = entry.method == 0 ? entry.unpackedSize : entry.packedSize;
    if (uint64_t(entry.memberOffset) + stored > archive.size()) {
        *error = "stored bytes lie beyond the end of the file";
        return false;
    }
    const uint8_t *at = archive.data() + entry.memberOffset;
    if (entry.method == 0) {
        out->assign(at, at + stored);
        return true;
    }
    uint8_t *data = Lzrw3Decompress(at, stored, entry.unpackedSize);
    if (!data) {
        *error = "damaged LZRW3 block (does not unpack to " + std::to_string(entry.unpackedSize) + " bytes)";
        return false;
    }
    out->assign(data, data + entry.unpackedSize);
    StackheapFree(data);
    return true;
}

bool ToolSameName(const std::string &a, const std::string &b)
{
    // The reader's own rule; the lengths keep a name with a NUL in it apart.
    return a.size() == b.size() && DataFileSameName(a.c_str(), b.c_str());
}
