// LZRW3 — block compression of archive members. The compressor reproduces the
// published reference coder byte for byte; the decoder reads the same format
// but trusts nothing: every read of the block and every write to the output is
// bounded, and a block that would cross either end is rejected.
//
// [SECTION] Shared table and hash
// [SECTION] Decoder: checked item, plain loop, fast groups
// [SECTION] Compressor
// [SECTION] Codec entry and Stackheap wrappers
#include "store/lzrw3.h"

#include "store/stackheap.h"

#include <cstddef>
#include <cstring>

namespace {

// [SECTION] Shared table and hash ==============================================

enum {
    kFlagBytes = 4,
    kFlagCompress = 0,
    kFlagCopy = 1,
    kTableLength = 4096,
    kMaxItem = 18,              // longest copy item
    kMaxGroup = 16 * kMaxItem,  // 288: most input one group can cover
    kMaxPackedGroup = 2 * 16,   // 32: most item bytes one group can take
};

// Every table entry starts out naming this text. It is padded so the decoder's
// wide copies may read past the 18 bytes that count.
alignas(16) const uint8_t kStartText[48] = "123456789012345678";

// Table entries are 32-bit offsets into the data (source when coding, output
// when decoding), so the table fits the reference's 16400-byte work area;
// kStartEntry stands for the start text. The decoder's marker lies 2^31 away
// from every output position (outputs stay below 2 GB), so one unsigned test
// of the copy distance both rules it out and finds the far copies.
constexpr uint32_t kStartEntry = 0xFFFFFFFFu;
constexpr uint32_t kDecodeStartEntry = 0x80000000u;
constexpr uint32_t kDecodeCapacityLimit = 0x7FFFFFFFu;

const Lzrw3Identity kIdentity = {"LZRW3", "1.0", "31-Dec-1990", 16400};

struct CodecState {
    alignas(16) uint32_t table[kTableLength];
};
CodecState codec;

inline uint32_t Hash3(const uint8_t *p)
{
    return ((40543u * ((uint32_t(p[0]) << 8) ^ (uint32_t(p[1]) << 4) ^ uint32_t(p[2]))) >> 4) & 0xFFFu;
}

// A table already filled with each start marker, made by the compiler: every
// block starts with one 16 KB copy instead of 4096 separate stores.
struct FilledTable {
    uint32_t entries[kTableLength];
};

constexpr FilledTable MakeFilledTable(uint32_t marker)
{
    FilledTable filled{};
    for (int i = 0; i < kTableLength; i++)
        filled.entries[i] = marker;
    return filled;
}

constexpr FilledTable kCoderStart = MakeFilledTable(kStartEntry);
constexpr FilledTable kDecoderStart = MakeFilledTable(kDecodeStartEntry);

void ResetTable(uint32_t *table, const FilledTable &filled)
{
    std::memcpy(table, filled.entries, sizeof filled.entries);
}

uint32_t *WorkTable(void *workArea)
{
    if (!workArea)
        return codec.table;
    // The work area comes from the caller with no promise of alignment; the
    // 16 spare bytes of workMemory leave room to align it.
    uintptr_t at = (reinterpret_cast<uintptr_t>(workArea) + 3) & ~uintptr_t(3);
    return reinterpret_cast<uint32_t *>(at);
}

// [SECTION] Decoder: checked item, plain loop, fast groups =====================

struct Decoder {
    const uint8_t *in;
    const uint8_t *inEnd;
    uint8_t *outBegin;
    uint8_t *out;
    uint8_t *outEnd;
    uint32_t *table;
    uint32_t control;  // remaining control bits above a sentinel; 1 = used up
    uint32_t literals; // literals since the last table entry (0..2)
};

inline void EnterPosition(Decoder &d, uint8_t *at)
{
    d.table[Hash3(at)] = uint32_t(at - d.outBegin);
}

// The table updates that follow a copy item starting at start.
inline void AfterCopy(Decoder &d, uint8_t *start, uint32_t index)
{
    if (d.literals > 0) {
        uint8_t *r = start - d.literals;
        EnterPosition(d, r);
        if (d.literals == 2)
            EnterPosition(d, r + 1);
        d.literals = 0;
    }
    d.table[index] = uint32_t(start - d.outBegin);
}

inline void AfterLiteral(Decoder &d)
{
    if (++d.literals == 3) {
        EnterPosition(d, d.out - 3);
        d.literals = 2;
    }
}

// One item with every bound checked. False for a cut item or an overflow.
inline bool DecodeItemChecked(Decoder &d)
{
    if (d.control & 1) {
        if (d.inEnd - d.in < 2)
            return false;
        uint32_t first = d.in[0];
        uint32_t index = ((first & 0xF0u) << 4) | d.in[1];
        uint32_t length = (first & 0xFu) + 3;
        d.in += 2;
        if (size_t(d.outEnd - d.out) < length)
            return false;
        uint32_t entry = d.table[index];
        const uint8_t *from = entry == kDecodeStartEntry ? kStartText : d.outBegin + entry;
        uint8_t *start = d.out;
        // One byte at a time: an overlapping copy repeats the bytes just written.
        for (uint32_t i = 0; i < length; i++)
            start[i] = from[i];
        d.out += length;
        AfterCopy(d, start, index);
    } else {
        if (d.out == d.outEnd)
            return false;
        *d.out++ = *d.in++;
        AfterLiteral(d);
    }
    d.control >>= 1;
    return true;
}

// Reads the next control word if the last one is used up. False when the
// block ends inside a control word.
inline bool LoadControl(Decoder &d)
{
    if (d.control != 1)
        return true;
    if (d.inEnd - d.in < 2)
        return false;
    d.control = 0x10000u | d.in[0] | (uint32_t(d.in[1]) << 8);
    d.in += 2;
    return true;
}

bool DecodeChecked(Decoder &d)
{
    while (d.in < d.inEnd) {
        if (!LoadControl(d))
            return false;
        // A block may end right after a control word: its items are simply absent.
        if (d.in == d.inEnd)
            break;
        if (!DecodeItemChecked(d))
            return false;
    }
    return true;
}

// Output room a fast group needs: 16 items of up to 18 bytes, and the last wide
// copy may store 32 bytes from its start.
constexpr ptrdiff_t kFastOutputRoom = kMaxGroup + 32;
// Input a fast group needs after its control word: its items, and the last
// literal run's 16-byte move.
constexpr ptrdiff_t kFastInputRoom = kMaxPackedGroup + 16;

inline void Copy16(uint8_t *to, const uint8_t *from)
{
    std::memcpy(to, from, 16);
}

// Enters output position p under the hash of its three bytes.
inline void EnterAt(uint32_t *table, const uint8_t *outBegin, const uint8_t *p)
{
    table[Hash3(p)] = uint32_t(p - outBegin);
}

// Enters count positions from first on, in order (later ones win a shared entry).
inline void EnterRun(uint32_t *table, const uint8_t *outBegin, const uint8_t *first, uint32_t count)
{
    for (; count >= 2; count -= 2, first += 2) {
        EnterAt(table, outBegin, first);
        EnterAt(table, outBegin, first + 1);
    }
    if (count)
        EnterAt(table, outBegin, first);
}

inline void Copy8(uint8_t *to, const uint8_t *from)
{
    std::memcpy(to, from, 8);
}

// One group of 16 items with no per-item checks; the caller guarantees the
// input and output room above, which no group can exceed. Runs of literals
// are moved 16 bytes at a time and entered into the table together, in the
// same order the one-item loop enters them.
inline void DecodeGroupFast(Decoder &d, uint32_t control)
{
    const uint8_t *in = d.in;
    uint8_t *out = d.out;
    uint8_t *const outBegin = d.outBegin;
    uint32_t *const table = d.table;
    uint32_t literals = d.literals;
    control |= 0x10000u; // the sentinel stops the run count at the group's end
    while (control != 1) {
        if (control & 1) {
            uint32_t first = in[0];
            uint32_t index = ((first & 0xF0u) << 4) | in[1];
            uint32_t length = (first & 0xFu) + 3;
            in += 2;
            uint32_t entry = table[index];
            uint8_t *start = out;
            uint32_t at = uint32_t(start - outBegin);
            // Distances of 16 or more (never the start text's) take the wide copy.
            uint32_t distance = at - entry;
            if (distance - 16 < kDecodeStartEntry - 16) {
                const uint8_t *from = start - distance;
                Copy16(start, from);
                Copy16(start + 16, from + 16);
            } else if (entry == kDecodeStartEntry) {
                Copy16(start, kStartText);
                Copy16(start + 16, kStartText + 16);
            } else {
                const uint8_t *from = outBegin + entry;
                if (distance >= 8) {
                    Copy8(start, from);
                    Copy8(start + 8, from + 8);
                    Copy8(start + 16, from + 16);
                } else {
                    for (uint32_t i = 0; i < length; i++)
                        start[i] = from[i];
                }
            }
            out += length;
            if (literals > 0) {
                EnterAt(table, outBegin, start - literals);
                if (literals == 2)
                    EnterAt(table, outBegin, start - 1);
                literals = 0;
            }
            table[index] = at;
            control >>= 1;
        } else {
            uint32_t run = uint32_t(__builtin_ctz(control));
            uint8_t *start = out;
            Copy16(out, in);
            in += run;
            out += run;
            control >>= run;
            // Each literal is entered once two bytes follow it.
            uint32_t total = literals + run;
            if (total >= 3)
                EnterRun(table, outBegin, start - literals, total - 2);
            literals = total >= 2 ? 2 : total;
        }
    }
    d.in = in;
    d.out = out;
    d.literals = literals;
}

bool DecodeFast(Decoder &d)
{
    while (d.in < d.inEnd) {
        if (d.control == 1 && d.inEnd - d.in >= 2 + kFastInputRoom && d.outEnd - d.out >= kFastOutputRoom) {
            uint32_t control = d.in[0] | (uint32_t(d.in[1]) << 8);
            d.in += 2;
            DecodeGroupFast(d, control);
            continue;
        }
        if (!LoadControl(d))
            return false;
        if (d.in == d.inEnd)
            break;
        if (!DecodeItemChecked(d))
            return false;
    }
    return true;
}

// Decodes a whole block into destination; -1 when it is corrupt or too long.
int64_t DecodeBlock(uint32_t *table, const uint8_t *source, uint32_t sourceLength, uint8_t *destination,
                    uint32_t capacity, bool plain)
{
    if (sourceLength < kFlagBytes)
        return -1;
    if (source[0] == kFlagCopy) {
        uint32_t length = sourceLength - kFlagBytes;
        if (length > capacity)
            return -1;
        if (length)
            std::memcpy(destination, source + kFlagBytes, length);
        return length;
    }
    ResetTable(table, kDecoderStart);
    if (capacity > kDecodeCapacityLimit)
        capacity = kDecodeCapacityLimit;
    Decoder d;
    d.in = source + kFlagBytes;
    d.inEnd = source + sourceLength;
    d.outBegin = destination;
    d.out = destination;
    d.outEnd = destination + capacity;
    d.table = table;
    d.control = 1;
    d.literals = 0;
    if (!(plain ? DecodeChecked(d) : DecodeFast(d)))
        return -1;
    return d.out - d.outBegin;
}

// [SECTION] Compressor =========================================================

// Length of the common prefix of a and b, at most 18; both must hold 18
// readable bytes. The plain loop is the definition; on little-endian machines
// the first 16 bytes are compared eight at a time.
inline uint32_t MatchLengthPlain(const uint8_t *a, const uint8_t *b)
{
    uint32_t match = 0;
    while (match < kMaxItem && a[match] == b[match])
        match++;
    return match;
}

inline uint32_t MatchLength(const uint8_t *a, const uint8_t *b)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (uint32_t at = 0; at < 16; at += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + at, 8);
        std::memcpy(&y, b + at, 8);
        if (x != y)
            return at + uint32_t(__builtin_ctzll(x ^ y) >> 3);
    }
    if (a[16] != b[16])
        return 16;
    return a[17] != b[17] ? 17 : 18;
#else
    return MatchLengthPlain(a, b);
#endif
}

// The reference coder, step for step: its table updates and its copy-block
// test decide the output bytes, so neither may be "improved".
uint32_t CompressBlock(uint32_t *table, const uint8_t *source, uint32_t length, uint8_t *destination)
{
    const uint32_t topWord = 0xFFFF0000u;
    const int64_t lastGroupStart = int64_t(length) - kMaxGroup; // a whole group fits up to here
    const int64_t lastItemStart = int64_t(length) - kMaxItem;   // matches are tried up to here
    uint8_t *out = destination;
    uint8_t *const outLimit = destination + length;

    out[0] = kFlagCompress;
    out[1] = out[2] = out[3] = 0;
    out += kFlagBytes;
    uint8_t *controlAt = out;
    out += 2;
    uint32_t control = topWord;

    ResetTable(table, kCoderStart);
    // Table entries waiting for the two bytes that follow their literal.
    int32_t pending1 = -1, pending2 = -1;
    uint32_t at = 0;

    for (;;) {
        // The reserved control word counts: this is what lets short inputs,
        // and some that would only just shrink, become copy blocks.
        if (out > outLimit)
            goto overrun;
        {
            int items = 16;
            if (int64_t(at) > lastGroupStart) {
                items = 1;
                if (int64_t(at) > lastItemStart) {
                    if (at == length)
                        break;
                    // The last 18 bytes are literals; the table is no longer consulted.
                    *out++ = source[at++];
                    control &= ~0x10000u;
                    control >>= 1;
                    items = 0;
                }
            }
            for (; items > 0; items--) {
                const uint8_t *here = source + at;
                uint32_t index = Hash3(here);
                uint32_t entry = table[index];
                const uint8_t *candidate = entry == kStartEntry ? kStartText : source + entry;
                uint32_t match = MatchLength(candidate, here);
                if (match < 3) {
                    *out++ = *here;
                    control &= ~0x10000u;
                    if (pending2 >= 0)
                        table[pending2] = at - 2;
                    pending2 = pending1;
                    pending1 = int32_t(index);
                    at++;
                } else {
                    *out++ = uint8_t(((index & 0xF00u) >> 4) | (match - 3));
                    *out++ = uint8_t(index & 0xFFu);
                    if (pending1 >= 0) {
                        if (pending2 >= 0) {
                            table[pending2] = at - 2;
                            pending2 = -1;
                        }
                        table[pending1] = at - 1;
                        pending1 = -1;
                    }
                    table[index] = at;
                    at += match;
                }
                control >>= 1;
            }
        }
        if ((control & topWord) == 0) {
            controlAt[0] = uint8_t(control & 0xFF);
            controlAt[1] = uint8_t((control >> 8) & 0xFF);
            controlAt = out;
            out += 2;
            control = topWord;
        }
    }

    // Shift the last control word home; its unused bits stay 1s.
    while (control & topWord)
        control >>= 1;
    controlAt[0] = uint8_t(control & 0xFF);
    controlAt[1] = uint8_t((control >> 8) & 0xFF);
    if (controlAt + 2 == out)
        out -= 2; // the last group holds no items
    return uint32_t(out - destination);

overrun:
    destination[0] = kFlagCopy;
    if (length)
        std::memcpy(destination + kFlagBytes, source, length);
    return length + kFlagBytes;
}

} // namespace

// [SECTION] Codec entry and Stackheap wrappers =================================

const Lzrw3Identity *Lzrw3Codec(int action, void *workArea, const uint8_t *source, uint32_t sourceLength,
                                uint8_t *destination, uint32_t *destinationLength)
{
    switch (action) {
    case LZRW3_IDENTITY:
        return &kIdentity;
    case LZRW3_COMPRESS:
        *destinationLength = CompressBlock(WorkTable(workArea), source, sourceLength, destination);
        return &kIdentity;
    case LZRW3_DECOMPRESS: {
        int64_t produced = DecodeBlock(WorkTable(workArea), source, sourceLength, destination,
                                       *destinationLength, false);
        if (produced < 0) {
            *destinationLength = 0;
            return nullptr;
        }
        *destinationLength = uint32_t(produced);
        return &kIdentity;
    }
    default:
        return nullptr;
    }
}

uint32_t Lzrw3MatchLength(const uint8_t *a, const uint8_t *b, int plain)
{
    return plain ? MatchLengthPlain(a, b) : MatchLength(a, b);
}

int64_t Lzrw3DecodePlain(const uint8_t *source, uint32_t sourceLength, uint8_t *destination, uint32_t capacity)
{
    return DecodeBlock(codec.table, source, sourceLength, destination, capacity, true);
}

uint64_t Lzrw3UnpackedLimit(const uint8_t *packed, uint32_t packedLength)
{
    if (!packed || packedLength < kFlagBytes)
        return 0;
    uint64_t payload = packedLength - kFlagBytes;
    if (packed[0] == kFlagCopy)
        return payload;
    // Whole groups of a control word and 16 longest copies, then what the
    // rest can hold: a control word, as many copies as fit and a literal in
    // an odd byte left over.
    const uint64_t groupBytes = 2 + kMaxPackedGroup;
    uint64_t rest = payload % groupBytes;
    uint64_t items = rest >= 2 ? rest - 2 : 0;
    return payload / groupBytes * kMaxGroup + items / 2 * kMaxItem + items % 2;
}

uint8_t *Lzrw3Decompress(const uint8_t *packed, uint32_t packedLength, uint32_t expectedLength)
{
    // A length the block cannot reach is refused before anything is
    // allocated for it: a damaged directory must not cost memory.
    if (expectedLength > uint32_t(INT32_MAX - 128) || expectedLength > Lzrw3UnpackedLimit(packed, packedLength))
        return nullptr;
    auto *data = static_cast<uint8_t *>(StackheapAlloc(int32_t(expectedLength + 128)));
    if (!data)
        return nullptr;
    // Capacity is the expected length: anything longer is wrong anyway.
    uint32_t produced = expectedLength;
    if (!Lzrw3Codec(LZRW3_DECOMPRESS, nullptr, packed, packedLength, data, &produced) ||
        produced != expectedLength) {
        StackheapFree(data);
        return nullptr;
    }
    return data;
}

uint8_t *Lzrw3Compress(const uint8_t *data, uint32_t length, uint32_t *packedLength)
{
    if (length > uint32_t(INT32_MAX - LZRW3_COMPRESS_OVERRUN))
        return nullptr;
    auto *packed = static_cast<uint8_t *>(StackheapAlloc(int32_t(length + LZRW3_COMPRESS_OVERRUN)));
    if (!packed)
        return nullptr;
    Lzrw3Codec(LZRW3_COMPRESS, nullptr, data, length, packed, packedLength);
    return packed;
}
