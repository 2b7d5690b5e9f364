// zarn-tool lzrw3 — one raw LZRW3 block, flag header included, exactly as the
// codec makes and reads it.
#include "tools/archive.h"
#include "tools/tool.h"

#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kLzrw3Help[] =
    "usage: zarn-tool lzrw3 compress IN OUT\n"
    "       zarn-tool lzrw3 decompress IN OUT SIZE\n"
    "\n"
    "compress writes IN as one LZRW3 block (4 flag bytes, then the groups; a copy\n"
    "block when compression does not pay). decompress unpacks one such block and\n"
    "fails when it is corrupt or does not yield exactly SIZE bytes. OUT is written\n"
    "to a temporary file and renamed, so a failure leaves no half-written file.\n";

int Lzrw3Command(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::fputs(kLzrw3Help, stdout);
        return 0;
    }
    bool compress = argc == 4 && !std::strcmp(argv[1], "compress");
    bool decompress = argc == 5 && !std::strcmp(argv[1], "decompress");
    if (!compress && !decompress)
        return ToolFail("lzrw3: expected 'compress IN OUT' or 'decompress IN OUT SIZE' (see 'zarn-tool lzrw3 --help')");
    const char *in = argv[2], *out = argv[3];
    uint32_t size = 0;
    if (decompress) {
        errno = 0;
        char *end = nullptr;
        unsigned long long value = std::strtoull(argv[4], &end, 10);
        if (!*argv[4] || *end || argv[4][0] == '-' || errno || value > uint64_t(INT32_MAX - 128))
            return ToolFail("lzrw3: SIZE '%s' is not a byte count from 0 to %d", argv[4], INT32_MAX - 128);
        size = uint32_t(value);
    }
    ToolBytes input;
    std::string error;
    if (!ToolReadFile(in, &input, &error))
        return ToolFail("%s: %s", in, error.c_str());
    if (input.size() > uint64_t(INT32_MAX - LZRW3_COMPRESS_OVERRUN))
        return ToolFail("%s: too large for one block", in);
    uint8_t *result;
    uint32_t length;
    if (compress) {
        result = Lzrw3Compress(input.data(), uint32_t(input.size()), &length);
        if (!result)
            return ToolFail("%s: out of memory", in);
    } else {
        result = Lzrw3Decompress(input.data(), uint32_t(input.size()), size);
        if (!result)
            return ToolFail("%s: corrupt LZRW3 block, or it does not unpack to %u bytes", in, size);
        length = size;
    }
    bool written = ToolWriteFileAtomically(out, result, length, &error);
    StackheapFree(result);
    if (!written)
        return ToolFail("%s: %s", out, error.c_str());
    return 0;
}

} // namespace

ZARN_TOOL_COMMAND("lzrw3", Lzrw3Command, "lzrw3 compress IN OUT | decompress IN OUT SIZE  one raw LZRW3 block");
