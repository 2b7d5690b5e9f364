// Fuzz target: the LZRW3 decoder on arbitrary blocks with arbitrary expected
// lengths (fast and plain loops must agree), and compress -> decompress on the
// raw input. Input: 3 bytes of expected length (18 bits used), then the block.
#include "fuzz_support.h"
#include "store/lzrw3.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

bool Same(const uint8_t *a, const uint8_t *b, size_t n)
{
    return std::equal(a, a + n, b);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    QuietTarget();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // Up to 256 KB: enough for every decoder path, small enough to stay fast.
    uint32_t expected = (uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16) & 0x3FFFFu;
    const uint8_t *block = data + 3;
    uint32_t blockLength = uint32_t(size - 3);

    // The codec entry into a buffer of exactly the capacity, so any stray
    // write lands outside it (left unfilled: the decoder writes before it
    // reads). Room beyond what the block can yield changes nothing.
    uint64_t limit = Lzrw3UnpackedLimit(block, blockLength);
    uint32_t capacity = expected < limit ? expected : uint32_t(limit);
    std::unique_ptr<uint8_t[]> fast(new uint8_t[capacity]), plain(new uint8_t[capacity]);
    uint32_t produced = capacity;
    const Lzrw3Identity *ok = Lzrw3Codec(LZRW3_DECOMPRESS, nullptr, block, blockLength, fast.get(), &produced);
    int64_t plainProduced = Lzrw3DecodePlain(block, blockLength, plain.get(), capacity);
    if ((ok ? int64_t(produced) : -1) != plainProduced)
        std::abort();
    if (ok && !Same(fast.get(), plain.get(), produced))
        std::abort();
    // No block unpacks beyond its stated limit: one that fills the room
    // given up to the limit must have ended there.
    if (ok && produced > limit)
        std::abort();
    if (capacity == limit && limit < expected) {
        std::unique_ptr<uint8_t[]> more(new uint8_t[capacity + 1]);
        if (Lzrw3DecodePlain(block, blockLength, more.get(), capacity + 1) != plainProduced)
            std::abort();
    }

    uint8_t *unpacked = Lzrw3Decompress(block, blockLength, expected);
    if (unpacked && (!ok || produced != expected || !Same(unpacked, fast.get(), expected)))
        std::abort();
    StackheapFree(unpacked);

    uint32_t packedLength = 0;
    uint8_t *packed = Lzrw3Compress(data, uint32_t(size), &packedLength);
    if (!packed || packedLength > size + 4)
        std::abort();
    uint8_t *back = Lzrw3Decompress(packed, packedLength, uint32_t(size));
    if (!back || !Same(back, data, size))
        std::abort();
    StackheapFree(back);
    StackheapFree(packed);
    // Decompress asks for no more than its limit (about 8.5 times the block)
    // and the 128-byte margin; compress for its input and 1024 bytes.
    RequireEarned(size, 9, 2048);
    return 0;
}
