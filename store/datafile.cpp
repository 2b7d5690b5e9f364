// DataFile — the file layer every loader reads through. A name resolves to a
// loose file in one of twelve directories first, then to a member of the one
// archive, which is read wholly into memory (and unpacked when compressed).
// The archive's header, directory and member extents are checked against the
// file before anything is used, so a damaged archive is absent, not trusted.
//
// [SECTION] Archive state and initialisation
// [SECTION] Open and close
// [SECTION] Member and loose-file operations
#include "store/datafile.h"

#include "platform/platform.h"
#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

namespace {

// [SECTION] Archive state and initialisation ===================================

enum {
    kHeaderSize = 16,
    kEntrySize = 80,
    kEntryNameSize = 64,
    kFileNameSize = 128,
    kPathSize = 256,
    kMethodStored = 0,
    kMethodLzrw3 = 3,
};

struct ArchiveEntry {
    uint32_t memberOffset;
    uint32_t method;
    uint32_t packedSize;
    uint32_t unpackedSize;
    char name[kEntryNameSize];
};

struct ArchiveState {
    char fileName[kFileNameSize];
    int initialised;
    FILE *stream;
    int64_t fileSize;
    int32_t entryCount;
    ArchiveEntry *directory;
    int searchLoose; // look for loose files before the archive
};

ArchiveState archive = {"data.cr", 0, nullptr, 0, 0, nullptr, 1};

DataFileOpenWatcher openWatcher = nullptr;

// A backslash in these is a directory separator on this platform.
const char *const LooseFileDirectories[12] = {
    "",      "tex/",     "lens/",    "spher2c/", "misc/", "spher/",
    "spherc/", "phong/", "hellenvc/", "hellenv/", "env/",  "vtx/",
};

uint32_t ReadLe32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void CloseArchive()
{
    if (archive.stream)
        std::fclose(archive.stream);
    StackheapFree(archive.directory);
    archive.stream = nullptr;
    archive.directory = nullptr;
    archive.entryCount = 0;
    archive.fileSize = 0;
}

// Leaves the archive open only when the header and the whole directory were
// read from inside the stream; otherwise there is no archive.
void InitialiseFromStream(FILE *stream)
{
    archive.initialised = 1;
    if (!stream)
        return;
    archive.stream = stream;
    uint8_t header[kHeaderSize];
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        CloseArchive();
        return;
    }
    long end = std::ftell(stream);
    if (end < kHeaderSize || std::fseek(stream, 0, SEEK_SET) != 0 ||
        std::fread(header, 1, kHeaderSize, stream) != kHeaderSize) {
        CloseArchive();
        return;
    }
    archive.fileSize = end;
    uint32_t directoryOffset = ReadLe32(header + 8);
    int32_t count = int32_t(ReadLe32(header + 12));
    // The count must be non-negative, its byte size must fit one allocation,
    // and the directory must lie inside the file.
    if (count < 0 || int64_t(count) > INT32_MAX / kEntrySize ||
        int64_t(directoryOffset) + int64_t(count) * kEntrySize > archive.fileSize) {
        CloseArchive();
        return;
    }
    archive.entryCount = count;
    if (count == 0)
        return;
    int32_t bytes = count * kEntrySize;
    auto *raw = static_cast<uint8_t *>(StackheapAlloc(bytes));
    auto *directory = static_cast<ArchiveEntry *>(StackheapAlloc(count * int32_t(sizeof(ArchiveEntry))));
    if (!raw || !directory || std::fseek(stream, long(directoryOffset), SEEK_SET) != 0 ||
        std::fread(raw, 1, size_t(bytes), stream) != size_t(bytes)) {
        StackheapFree(raw);
        StackheapFree(directory);
        CloseArchive();
        return;
    }
    for (int32_t i = 0; i < count; i++) {
        const uint8_t *e = raw + int64_t(i) * kEntrySize;
        ArchiveEntry &entry = directory[i];
        entry.memberOffset = ReadLe32(e);
        entry.method = ReadLe32(e + 4);
        entry.packedSize = ReadLe32(e + 8);
        entry.unpackedSize = ReadLe32(e + 12);
        std::memcpy(entry.name, e + 16, kEntryNameSize);
        entry.name[kEntryNameSize - 1] = 0; // a name without its 0 byte ends at 63 characters
    }
    StackheapFree(raw);
    archive.directory = directory;
}

void InitialiseArchive()
{
    FILE *stream = std::fopen(archive.fileName, "rb");
    // Issues made on systems that ignore case may carry ZARN.DAT or Zarn.dat.
    char found[kPathSize];
    if (!stream && PlatformFindIgnoringCase(archive.fileName, found, sizeof found))
        stream = std::fopen(found, "rb");
    InitialiseFromStream(stream);
}

int FoldCase(int c)
{
    return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
}

bool SameName(const char *a, const char *b)
{
    for (;; a++, b++) {
        if (FoldCase(static_cast<unsigned char>(*a)) != FoldCase(static_cast<unsigned char>(*b)))
            return false;
        if (!*a)
            return true;
    }
}

const ArchiveEntry *FindEntry(const char *name)
{
    for (int32_t i = 0; i < archive.entryCount; i++)
        if (SameName(archive.directory[i].name, name))
            return &archive.directory[i];
    return nullptr;
}

// [SECTION] Open and close =====================================================

DataFile *NewRecord(const char *name, int32_t kind)
{
    auto *file = static_cast<DataFile *>(StackheapAlloc(int32_t(sizeof(DataFile))));
    if (!file)
        return nullptr;
    std::memset(file, 0, sizeof *file);
    file->kind = kind;
    std::strncpy(file->name, name, sizeof file->name - 1);
    file->name[sizeof file->name - 1] = 0;
    return file;
}

// A directory opens for reading on this platform but reads fail; such a hit is
// not a file.
FILE *OpenLoose(const char *path, const char *mode)
{
    FILE *stream = std::fopen(path, mode);
    if (!stream)
        return nullptr;
    int c = std::fgetc(stream);
    if (c == EOF && std::ferror(stream)) {
        std::fclose(stream);
        return nullptr;
    }
    std::rewind(stream);
    return stream;
}

DataFile *OpenMember(const ArchiveEntry &entry, const char *name)
{
    if (entry.method != kMethodStored && entry.method != kMethodLzrw3)
        return nullptr;
    uint32_t stored = entry.method == kMethodStored ? entry.unpackedSize : entry.packedSize;
    if (int64_t(entry.memberOffset) + stored > archive.fileSize)
        return nullptr;
    if (entry.unpackedSize > uint32_t(INT32_MAX - 128))
        return nullptr;
    DataFile *file = NewRecord(name, DATAFILE_MEMBER);
    if (!file)
        return nullptr;
    uint8_t *data = nullptr;
    if (std::fseek(archive.stream, long(entry.memberOffset), SEEK_SET) == 0) {
        if (entry.method == kMethodStored) {
            data = static_cast<uint8_t *>(StackheapAlloc(int32_t(entry.unpackedSize + 1)));
            if (data && std::fread(data, 1, entry.unpackedSize, archive.stream) != entry.unpackedSize) {
                StackheapFree(data);
                data = nullptr;
            }
        } else {
            auto *packed = static_cast<uint8_t *>(StackheapAlloc(int32_t(entry.packedSize)));
            if (packed && std::fread(packed, 1, entry.packedSize, archive.stream) == entry.packedSize)
                data = Lzrw3Decompress(packed, entry.packedSize, entry.unpackedSize);
            StackheapFree(packed);
        }
    }
    if (!data) {
        StackheapFree(file);
        return nullptr;
    }
    data[entry.unpackedSize] = 0;
    file->stream = archive.stream;
    file->memberOffset = entry.memberOffset;
    file->data = data;
    file->position = 0;
    file->size = int32_t(entry.unpackedSize);
    return file;
}

bool IsMemberMode(const char *mode)
{
    return (mode[0] == 'r' || mode[0] == 'R') && (mode[1] == 'b' || mode[1] == 'B') && mode[2] == 0;
}

bool IsSpaceOrControl(uint8_t c)
{
    return c <= 32;
}

} // namespace

int DataFileSameName(const char *a, const char *b)
{
    return a && b && SameName(a, b);
}

int DataFileLooseFolder(const char *path)
{
    if (!path)
        return 0;
    const char *slash = std::strrchr(path, '/');
    if (!slash)
        return 1;
    std::string folder(path, (size_t)(slash - path) + 1);
    for (const char *prefix : LooseFileDirectories)
        if (*prefix && SameName(folder.c_str(), prefix))
            return 1;
    return 0;
}

int ArchiveSetName(const char *fileName)
{
    std::strncpy(archive.fileName, fileName, kFileNameSize - 1);
    archive.fileName[kFileNameSize - 1] = 0;
    if (!archive.initialised)
        InitialiseArchive();
    return archive.stream != nullptr;
}

int ArchiveOpenStream(FILE *stream)
{
    CloseArchive();
    InitialiseFromStream(stream);
    return archive.stream != nullptr;
}

void DataFileSearchLooseFiles(int on)
{
    archive.searchLoose = on;
}

int ArchiveReopen()
{
    CloseArchive();
    InitialiseArchive();
    return archive.stream != nullptr;
}

void ArchiveResetForTests()
{
    CloseArchive();
    std::strcpy(archive.fileName, "data.cr");
    archive.initialised = 0;
}

namespace {

// DataFileOpen without the watcher; a loose file's path goes to loosePath
// (kPathSize bytes).
DataFile *OpenFile(const char *name, const char *mode, char *loosePath)
{
    if (!archive.initialised)
        InitialiseArchive();
    // The file layer only reads: a writing mode would create or truncate a
    // loose file in the magazine's directory.
    if (mode[0] != 'r' && mode[0] != 'R')
        return nullptr;
    for (const char *prefix : LooseFileDirectories) {
        if (!archive.searchLoose)
            break;
        char path[kPathSize];
        size_t prefixLength = std::strlen(prefix), nameLength = std::strlen(name);
        if (prefixLength + nameLength >= sizeof path)
            continue;
        std::memcpy(path, prefix, prefixLength);
        std::memcpy(path + prefixLength, name, nameLength + 1);
        FILE *stream = OpenLoose(path, mode);
        if (!stream)
            continue;
        DataFile *file = NewRecord(name, DATAFILE_LOOSE);
        if (!file) {
            std::fclose(stream);
            return nullptr;
        }
        file->stream = stream;
        std::memcpy(loosePath, path, sizeof path);
        return file;
    }
    if (!archive.stream)
        return nullptr;
    const ArchiveEntry *entry = FindEntry(name);
    if (!entry || !IsMemberMode(mode))
        return nullptr;
    return OpenMember(*entry, name);
}

} // namespace

DataFile *DataFileOpen(const char *name, const char *mode)
{
    if (!name || !mode)
        return nullptr;
    char loosePath[kPathSize];
    DataFile *file = OpenFile(name, mode, loosePath);
    if (openWatcher)
        openWatcher(name, file, file && file->kind == DATAFILE_LOOSE ? loosePath : nullptr);
    return file;
}

const char *DataFileLooseDirectory(int index)
{
    int count = static_cast<int>(sizeof LooseFileDirectories / sizeof LooseFileDirectories[0]);
    return index >= 0 && index < count ? LooseFileDirectories[index] : nullptr;
}

void DataFileWatchOpens(DataFileOpenWatcher watcher)
{
    openWatcher = watcher;
}

int32_t ArchiveMemberCount()
{
    if (!archive.initialised)
        InitialiseArchive();
    return archive.stream ? archive.entryCount : 0;
}

const char *ArchiveMemberName(int32_t index)
{
    if (index < 0 || index >= ArchiveMemberCount())
        return nullptr;
    return archive.directory[index].name;
}

int DataFileClose(DataFile *file)
{
    if (!file)
        return 0;
    int result = 1;
    if (file->kind == DATAFILE_LOOSE)
        result = std::fclose(file->stream);
    else
        StackheapFree(file->data);
    StackheapFree(file);
    return result;
}

// [SECTION] Member and loose-file operations ===================================

int32_t DataFileRead(void *destination, int32_t itemSize, int32_t itemCount, DataFile *file)
{
    if (!file || !destination || itemSize <= 0 || itemCount <= 0)
        return 0;
    if (file->kind == DATAFILE_LOOSE)
        return int32_t(std::fread(destination, size_t(itemSize), size_t(itemCount), file->stream));
    if (file->position >= file->size)
        return 0;
    int64_t bytes = int64_t(itemSize) * itemCount;
    if (file->position + bytes > file->size)
        bytes = file->size - file->position;
    std::memcpy(destination, file->data + file->position, size_t(bytes));
    file->position += int32_t(bytes);
    // A trailing partial item is copied but not counted.
    return int32_t(bytes / itemSize);
}

int DataFileGetc(DataFile *file)
{
    if (!file)
        return -1;
    if (file->kind == DATAFILE_LOOSE)
        return std::fgetc(file->stream);
    if (file->position < file->size)
        return file->data[file->position++];
    return 0;
}

int DataFileSeek(DataFile *file, int32_t offset, int origin)
{
    if (!file || origin < 0 || origin > 2)
        return 0;
    if (file->kind == DATAFILE_LOOSE) {
        static const int whence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};
        return std::fseek(file->stream, offset, whence[origin]) == 0;
    }
    int64_t size = file->size;
    int64_t target;
    if (origin == 2) {
        target = size + offset;
        if (target > size)
            target = size;
    } else {
        target = origin == 0 ? int64_t(offset) : int64_t(file->position) + offset;
        // An empty member has no last byte: its position stays 0.
        if (target >= size)
            target = size > 0 ? size - 1 : 0;
    }
    if (target < 0)
        target = 0;
    file->position = int32_t(target);
    return 1;
}

int32_t DataFileTell(DataFile *file)
{
    if (!file)
        return -1;
    if (file->kind == DATAFILE_LOOSE) {
        long at = std::ftell(file->stream);
        return (at < 0 || at > INT32_MAX) ? -1 : int32_t(at);
    }
    return file->position;
}

int DataFileEof(DataFile *file)
{
    if (!file)
        return 1;
    if (file->kind == DATAFILE_LOOSE)
        return std::feof(file->stream) != 0;
    return file->position >= file->size;
}

int DataFileScan(DataFile *file, const char *format, void *destination)
{
    if (!file || !format)
        return EOF;
    if (file->kind == DATAFILE_LOOSE)
        return std::fscanf(file->stream, format, destination);
    int32_t size = file->size;
    int32_t start = file->position < size ? file->position : size;
    int32_t at = start;
    while (at < size && IsSpaceOrControl(file->data[at]))
        at++;
    int32_t wordEnd = at;
    while (wordEnd < size && !IsSpaceOrControl(file->data[wordEnd]))
        wordEnd++;
    // The conversion sees the text up to the end of this field only: it could
    // not use more, and the C library would otherwise measure the whole rest
    // of the member on every call.
    uint8_t saved = file->data[wordEnd];
    file->data[wordEnd] = 0;
    int converted = std::sscanf(reinterpret_cast<const char *>(file->data + start), format, destination);
    file->data[wordEnd] = saved;
    file->position = wordEnd;
    return converted;
}
