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

// Room a compression destination needs beyond the source length: the coder may
// run up to one group past the source length before it falls back to a copy block.
enum { LZRW3_COMPRESS_OVERRUN = 1024 };

// The one codec entry. Action 0 ignores the buffers and returns the identity
// record; 1 compresses source into destination, which must hold sourceLength +
// LZRW3_COMPRESS_OVERRUN bytes; 2 decompresses source into destination, whose
// capacity is *destinationLength on entry. Both store the produced length in
// *destinationLength. Returns null for an unknown action, and for a
// decompression of a corrupt block or one that would read past the source or
// write past the capacity (*destinationLength is then 0). The work area, at
// least workMemory bytes, may be null: the codec then uses its own static one.
const Lzrw3Identity *Lzrw3Codec(int action, void *workArea, const uint8_t *source, uint32_t sourceLength,
                                uint8_t *destination, uint32_t *destinationLength);

// The decoder's plain one-item-at-a-time loop, every bound checked per item;
// the fast decoder must agree with it on every block. Returns the produced
// length, or -1 for a corrupt block or one that does not fit in capacity bytes.
int64_t Lzrw3DecodePlain(const uint8_t *source, uint32_t sourceLength, uint8_t *destination, uint32_t capacity);

// The compressor's match length, 0 to 18, of a against b (18 readable bytes
// each), by the word-wise comparison or, with plain set, byte by byte; the two
// must agree. Cannot fail.
uint32_t Lzrw3MatchLength(const uint8_t *a, const uint8_t *b, int plain);

// The most bytes the block of packedLength bytes at packed can unpack to: a
// copy block holds its data verbatim; in a compressed block a 2-byte copy
// item yields at most 18 bytes and a 1-byte literal one, and every 16 items
// cost a 2-byte control word, so 34 bytes yield at most 288 (about 8.5 times
// their size). 0 for a block shorter than its 4 flag bytes.
uint64_t Lzrw3UnpackedLimit(const uint8_t *packed, uint32_t packedLength);

// A new Stackheap block of expectedLength + 128 bytes holding the unpacked data;
// null when allocation fails, the block is corrupt, or it does not unpack to
// exactly expectedLength bytes. Nothing is allocated for an expected length
// beyond Lzrw3UnpackedLimit.
uint8_t *Lzrw3Decompress(const uint8_t *packed, uint32_t packedLength, uint32_t expectedLength);

// A new Stackheap block of length + 1024 bytes holding the packed block, its
// length in *packedLength; null when allocation fails or length is too large
// for one block.
uint8_t *Lzrw3Compress(const uint8_t *data, uint32_t length, uint32_t *packedLength);
