// LZRW3 — the block codec of compressed archive members (method 3).
#pragma once

#include <cstdint>

// What action code 0 of the codec entry returns.
struct Lzrw3Identity {
    const char *name;     // "LZRW3"
    const char *version;  // "1.0"
    const char *date;     // "31-Dec-1990"
    uint32_t workMemory;  // 16400
};

enum { LZRW3_IDENTITY = 0, LZRW3_COMPRESS = 1, LZRW3_DECOMPRESS = 2 };

// The one codec entry. Action 0 ignores the buffers and returns the identity
// record; 1 compresses, 2 decompresses source into destination, whose capacity
// is *destinationLength on entry (decompression only) and which receives the
// produced length. Returns null for an unknown action, and for a decompression
// that would read past the source or write past the capacity (*destinationLength
// is then 0). The work area may be null: the codec then uses its own static one.
const Lzrw3Identity *Lzrw3Codec(int action, void *workArea, const uint8_t *source, uint32_t sourceLength,
                                uint8_t *destination, uint32_t *destinationLength);

// A new Stackheap block of expectedLength + 128 bytes holding the unpacked data;
// null when allocation fails, the block is corrupt, or it does not unpack to
// exactly expectedLength bytes.
uint8_t *Lzrw3Decompress(const uint8_t *packed, uint32_t packedLength, uint32_t expectedLength);

// A new Stackheap block of length + 1024 bytes holding the packed block, its
// length in *packedLength; null when allocation fails.
uint8_t *Lzrw3Compress(const uint8_t *data, uint32_t length, uint32_t *packedLength);
