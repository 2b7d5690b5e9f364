// Fuzz target: the archive reader. The input is the archive, read from
// memory; every name in its directory (and a few fixed ones) is opened and
// every DataFile operation is run on what opens.
#include "fuzz_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Exercise(DataFile *file, const uint8_t *data, size_t size)
{
    char word[64];
    int number = 0;
    uint8_t buffer[300];
    // A fixed tour, then a data-driven one.
    DataFileScan(file, "%63s", word);
    DataFileScan(file, "%i", &number);
    DataFileSeek(file, 0, 2);
    int32_t length = DataFileTell(file);
    DataFileSeek(file, length, 0);
    DataFileGetc(file);
    DataFileEof(file);
    DataFileSeek(file, 0, 0);
    for (size_t i = 0; i + 1 < size && i < 64; i += 2) {
        int32_t arg = int8_t(data[i + 1]) * 37;
        switch (data[i] % 6) {
        case 0:
            DataFileRead(buffer, 1 + data[i + 1] % 7, 1 + data[i + 1] % 40, file);
            break;
        case 1:
            DataFileGetc(file);
            break;
        case 2:
            DataFileSeek(file, arg, data[i + 1] % 4);
            break;
        case 3:
            DataFileScan(file, "%63s", word);
            break;
        case 4:
            DataFileScan(file, "%X", &number);
            break;
        default:
            if (DataFileTell(file) < 0 || (file->kind == DATAFILE_MEMBER && DataFileTell(file) > file->size))
                std::abort();
            DataFileEof(file);
        }
        if (file->kind == DATAFILE_MEMBER && (file->position < 0 || file->position > file->size))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QuietTarget();
    // Members only: the names come from the input, and the working
    // directory (the corpus) is no part of it.
    DataFileSearchLooseFiles(0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The input is the archive, read through a stream over its bytes. The
    // stream only reads, whatever fmemopen's signature says.
    ArchiveResetForTests();
    ArchiveOpenStream(size ? fmemopen(const_cast<uint8_t *>(data), size, "rb") : nullptr);

    // Names from the directory as it claims to be, read independently.
    std::vector<std::string> names = {"zarn.cfg", "ZARN.CFG", "a", ""};
    if (size >= 16) {
        uint32_t offset, count;
        std::memcpy(&offset, data + 8, 4);
        std::memcpy(&count, data + 12, 4);
        for (uint32_t i = 0; i < count && i < 32; i++) {
            uint64_t at = uint64_t(offset) + uint64_t(i) * 80 + 16;
            if (at + 64 > size)
                break;
            names.emplace_back(reinterpret_cast<const char *>(data + at), strnlen(reinterpret_cast<const char *>(data + at), 64));
        }
    }
    for (const std::string &name : names) {
        DataFile *file = DataFileOpen(name.c_str(), "rb");
        if (!file)
            continue;
        if (file->kind == DATAFILE_MEMBER && file->data[file->size] != 0)
            std::abort();
        Exercise(file, data, size);
        DataFileClose(file);
    }
    // A member is as long as its stored bytes, or at most 8.5 times its
    // packed ones; the directory as long as its entries.
    RequireEarned(size, 9, 4096);
    // Leave nothing that reads the input's bytes once they are gone.
    ArchiveResetForTests();
    return 0;
}
