// Fuzz target: the LZRW3 decoder on arbitrary blocks with arbitrary expected
// lengths (fast and plain loops must agree), and compress -> decompress on the
// raw input. Input: 3 bytes of expected length (18 bits used), then the block.
#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // Up to 256 KB: enough for every decoder path, small enough to stay fast.
    uint32_t expected = (uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16) & 0x3FFFFu;
    const uint8_t *block = data + 3;
    uint32_t blockLength = uint32_t(size - 3);

    // The codec entry into a buffer of exactly the capacity, so any stray
    // write lands outside it.
    std::vector<uint8_t> fast(expected), plain(expected);
    uint32_t produced = expected;
    const Lzrw3Identity *ok = Lzrw3Codec(LZRW3_DECOMPRESS, nullptr, block, blockLength, fast.data(), &produced);
    int64_t plainProduced = Lzrw3DecodePlain(block, blockLength, plain.data(), expected);
    if ((ok ? int64_t(produced) : -1) != plainProduced)
        std::abort();
    if (ok && std::memcmp(fast.data(), plain.data(), produced) != 0)
        std::abort();

    uint8_t *unpacked = Lzrw3Decompress(block, blockLength, expected);
    if (unpacked && (!ok || produced != expected || std::memcmp(unpacked, fast.data(), expected) != 0))
        std::abort();
    StackheapFree(unpacked);

    uint32_t packedLength = 0;
    uint8_t *packed = Lzrw3Compress(data, uint32_t(size), &packedLength);
    if (!packed || packedLength > size + 4)
        std::abort();
    uint8_t *back = Lzrw3Decompress(packed, packedLength, uint32_t(size));
    if (!back || std::memcmp(back, data, size) != 0)
        std::abort();
    StackheapFree(back);
    StackheapFree(packed);
    return 0;
}
