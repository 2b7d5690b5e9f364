// What every fuzz target shares: inputs served from memory as archive members
// (no file written per input), the program's own reports silenced (no target
// checks them, and writing them costs more than parsing), and the bound on the
// memory an input may ask for.
#pragma once

#include "gfx/image.h"
#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// Progress and diagnostic lines ("- no V3D-File!") go to standard output,
// which libFuzzer does not use; message boxes are recorded, not echoed; and
// libjpeg keeps its complaints about damaged files to itself. libFuzzer and
// the sanitizers report on standard error, which stays open.
inline void QuietTarget()
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    PlatformSelect("headless");
    HeadlessEchoMessageBoxes(0);
    ImageJpegMessages(0);
}

struct FuzzMember {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Members every input of the target finds beside it (pictures, textures).
inline std::vector<FuzzMember> &FixedMembers()
{
    static std::vector<FuzzMember> members;
    return members;
}

inline void AddFixedMember(const char *name, const std::vector<uint8_t> &bytes)
{
    FixedMembers().push_back(FuzzMember{name, bytes});
}

// Makes data the member `name` (stored, not packed) of an archive built in
// memory with the fixed members, and opens that archive. Loose files are not
// searched: nothing in the working directory can stand in for a member.
inline void ServeAsMember(const char *name, const uint8_t *data, size_t size)
{
    static std::vector<uint8_t> image;
    // The open archive reads image; close it before image changes.
    ArchiveResetForTests();
    DataFileSearchLooseFiles(0);
    const std::vector<FuzzMember> &fixed = FixedMembers();
    const uint32_t count = uint32_t(fixed.size()) + 1, directory = 16;
    uint32_t at = directory + 80 * count;
    size_t total = at + size;
    for (const FuzzMember &member : fixed)
        total += member.bytes.size();
    image.assign(total, 0);
    auto put32 = [](uint8_t *to, uint32_t value) {
        for (int i = 0; i < 4; i++)
            to[i] = uint8_t(value >> (8 * i));
    };
    put32(&image[8], directory);
    put32(&image[12], count);
    auto add = [&](uint32_t index, const char *memberName, const uint8_t *bytes, size_t length) {
        uint8_t *entry = &image[directory + 80 * index];
        put32(entry, at);
        put32(entry + 8, uint32_t(length));
        put32(entry + 12, uint32_t(length));
        std::strncpy(reinterpret_cast<char *>(entry + 16), memberName, 63);
        if (length)
            std::memcpy(&image[at], bytes, length);
        at += uint32_t(length);
    };
    for (uint32_t i = 0; i < fixed.size(); i++)
        add(i, fixed[i].name.c_str(), fixed[i].bytes.data(), fixed[i].bytes.size());
    add(count - 1, name, data, size);
    FILE *stream = fmemopen(image.data(), image.size(), "rb");
    if (!stream || !ArchiveOpenStream(stream))
        std::abort();
}

// ServeAsMember for the life of one input: the archive is closed again at
// its end, so that every block an input takes is given back within it (the
// fuzzer's leak check compares the two counts after each input).
struct ServedMember {
    ServedMember(const char *name, const uint8_t *data, size_t size)
    {
        ServeAsMember(name, data, size);
    }
    ~ServedMember()
    {
        ArchiveResetForTests();
    }
};

// Memory an input may ask for in one block: ratio bytes for each of its own,
// plus a fixed allowance for what every run needs whatever the input (pages,
// textures, fonts). Aborts, as a finding, when a reader asked for more.
inline void RequireEarned(size_t size, int64_t ratio, int64_t allowance)
{
    int64_t largest = StackheapLargestRequest();
    if (largest > int64_t(size) * ratio + allowance) {
        std::fprintf(stderr, "input of %zu bytes asked for a block of %lld bytes\n", size, (long long)largest);
        std::abort();
    }
    StackheapResetLargestRequest();
}
