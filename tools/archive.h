// Archive helpers shared by the zarn-tool commands pack, list, extract and
// lzrw3: whole-file reads, atomic writes and a checked reader of the archive
// directory. The reader's own layer (store/datafile) stays the authority for
// `cat`; these helpers exist because the tool must see every entry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using ToolBytes = std::vector<uint8_t>;

struct ToolArchiveEntry {
    uint32_t memberOffset;
    uint32_t method;
    uint32_t packedSize;
    uint32_t unpackedSize;
    std::string name;
};

// The archive file's fixed sizes and the tool's signature in the header's
// first 8 bytes (the reader ignores them).
enum { TOOL_HEADER_SIZE = 16, TOOL_ENTRY_SIZE = 80, TOOL_NAME_MAX = 63 };
extern const char toolArchiveSignature[9];

// False with a message in *error (no file name) when path cannot be read.
bool ToolReadFile(const std::string &path, ToolBytes *out, std::string *error);

// PlatformWriteFileAtomically with its reason as the tool reports it: path
// holds the old contents or the new, never a part. False with a message in
// *error (no file name).
bool ToolWriteFileAtomically(const std::string &path, const uint8_t *data, size_t size, std::string *error);

// Parses header and directory of an archive held in memory. False with a
// message in *error when the header is short or the directory does not lie
// wholly inside the file.
bool ToolReadDirectory(const ToolBytes &archive, std::vector<ToolArchiveEntry> *entries, std::string *error);

// The member's content, unpacked. False with a message in *error for an
// unknown method, stored bytes beyond the end of the file, or a damaged block.
bool ToolMemberContent(const ToolBytes &archive, const ToolArchiveEntry &entry, ToolBytes *out, std::string *error);

// Member names compare ignoring ASCII case (A-Z only), as the reader does.
bool ToolSameName(const std::string &a, const std::string &b);
