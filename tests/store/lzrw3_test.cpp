// LZRW3: hand-derived blocks, round trips across the coder's thresholds, and
// corrupt or cut blocks that the decoder must reject without stepping outside
// its buffers (the sanitizer build watches the exact-size heap buffers).
#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Compress(const Bytes &data)
{
    uint32_t length = 0;
    uint8_t *packed = Lzrw3Compress(data.data(), uint32_t(data.size()), &length);
    EXPECT_NE(packed, nullptr);
    if (!packed)
        return {};
    EXPECT_LE(length, data.size() + 4);
    Bytes out(packed, packed + length);
    StackheapFree(packed);
    return out;
}

// Decodes with the codec entry into a heap buffer of exactly capacity bytes;
// -1 when the codec refuses the block.
int64_t Decode(const Bytes &block, uint32_t capacity, Bytes *out)
{
    out->assign(capacity, 0xEE);
    auto *heap = new uint8_t[capacity ? capacity : 1];
    auto *source = new uint8_t[block.size() ? block.size() : 1];
    if (!block.empty())
        std::memcpy(source, block.data(), block.size());
    uint32_t length = capacity;
    const Lzrw3Identity *ok = Lzrw3Codec(LZRW3_DECOMPRESS, nullptr, source, uint32_t(block.size()), heap, &length);
    int64_t result = ok ? int64_t(length) : -1;
    if (!ok) {
        EXPECT_EQ(length, 0u);
    } else {
        out->assign(heap, heap + length);
    }
    delete[] heap;
    delete[] source;
    return result;
}

int64_t DecodePlain(const Bytes &block, uint32_t capacity, Bytes *out)
{
    auto *heap = new uint8_t[capacity ? capacity : 1];
    int64_t result = Lzrw3DecodePlain(block.data(), uint32_t(block.size()), heap, capacity);
    out->assign(heap, heap + (result > 0 ? result : 0));
    delete[] heap;
    return result;
}

Bytes Text(size_t length)
{
    static const char *words[] = {"the ", "magazine ", "reader ", "turns ", "pages ", "of ", "text, ",
                                  "pictures ", "and ", "sound; ", "every ", "issue ", "lives ", "in ",
                                  "one ", "archive.\n"};
    std::mt19937 rng(7);
    Bytes out;
    while (out.size() < length) {
        const char *w = words[rng() % 16];
        out.insert(out.end(), w, w + std::strlen(w));
    }
    out.resize(length);
    return out;
}

Bytes Random(size_t length, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes out(length);
    for (auto &b : out)
        b = uint8_t(rng());
    return out;
}

// Structured binary: little-endian counters, small tables and zero runs.
Bytes Binary(size_t length)
{
    std::mt19937 rng(3);
    Bytes out;
    uint32_t counter = 0;
    while (out.size() < length) {
        switch (rng() % 4) {
        case 0:
            for (int i = 0; i < 4; i++)
                out.push_back(uint8_t(counter >> (8 * i)));
            counter += rng() % 5;
            break;
        case 1:
            out.insert(out.end(), rng() % 40, 0);
            break;
        case 2:
            out.push_back(uint8_t(rng()));
            break;
        default:
            for (int i = 0; i < 8; i++)
                out.push_back(uint8_t(0x40 + (i * 3)));
        }
    }
    out.resize(length);
    return out;
}

void ExpectRoundTrip(const Bytes &data)
{
    Bytes block = Compress(data);
    ASSERT_GE(block.size(), 4u);
    uint8_t *back = Lzrw3Decompress(block.data(), uint32_t(block.size()), uint32_t(data.size()));
    ASSERT_NE(back, nullptr) << "length " << data.size();
    EXPECT_TRUE(data.empty() || std::memcmp(back, data.data(), data.size()) == 0) << "length " << data.size();
    StackheapFree(back);
    Bytes plain;
    EXPECT_EQ(DecodePlain(block, uint32_t(data.size()), &plain), int64_t(data.size()));
    EXPECT_EQ(plain, data);
}

} // namespace

TEST(Lzrw3, IdentityAndUnknownAction)
{
    const Lzrw3Identity *id = Lzrw3Codec(LZRW3_IDENTITY, nullptr, nullptr, 0, nullptr, nullptr);
    ASSERT_NE(id, nullptr);
    EXPECT_STREQ(id->name, "LZRW3");
    EXPECT_STREQ(id->version, "1.0");
    EXPECT_STREQ(id->date, "31-Dec-1990");
    EXPECT_EQ(id->workMemory, 16400u);
    uint32_t length = 0;
    uint8_t byte = 0;
    EXPECT_EQ(Lzrw3Codec(7, nullptr, &byte, 1, &byte, &length), nullptr);
}

TEST(Lzrw3, KnownBlocksDerivedByHand)
{
    // 40 × 'a': three literals, two 18-byte copies through the entry of
    // hash("aaa") = 0x20E, one closing literal; control 0b011000 with the
    // unused bits set.
    Bytes run(40, 'a');
    Bytes expected = {0, 0, 0, 0, 0xD8, 0xFF, 'a', 'a', 'a', 0x2F, 0x0E, 0x2F, 0x0E, 'a'};
    EXPECT_EQ(Compress(run), expected);

    // Under 19 bytes everything is a literal, and 6 + literals always exceeds
    // the length by the last test: a copy block.
    for (size_t n : {0, 1, 3, 5, 6, 17, 18}) {
        Bytes data = Text(n);
        Bytes block = Compress(data);
        Bytes copy(4 + n, 0);
        copy[0] = 1;
        std::copy(data.begin(), data.end(), copy.begin() + 4);
        EXPECT_EQ(block, copy) << n;
    }

    // 40 × 'a' and then k distinct bytes: 6 + k items in ceil((6 + k) / 16)
    // groups, 12 + k bytes of flags and items. k = 217 needs 14 control words:
    // 257 bytes, as long as the input, still a compressed block. k = 218 fills
    // exactly 14 groups, so the check after them counts a 15th, reserved word:
    // 260 > 258 makes a copy block, though dropping that word would fit.
    for (int k : {217, 218}) {
        Bytes data(40, 'a');
        for (int i = 0; i < k; i++)
            data.push_back(uint8_t(i * 7 + 1));
        Bytes packed = Compress(data);
        if (k == 217) {
            ASSERT_EQ(packed.size(), 257u);
            EXPECT_EQ(packed[0], 0);
            // Group 1 is LLL C C L and ten literals (2 + 18 bytes), groups 2-13
            // sixteen literals each (2 + 16), group 14 fifteen literals: its
            // control word at 240 is 0x8000, the unused top bit set.
            EXPECT_EQ(packed[240], 0x00);
            EXPECT_EQ(packed[241], 0x80);
            EXPECT_EQ(packed[4] | packed[5] << 8, 0x0018);
            ExpectRoundTrip(data);
        } else {
            ASSERT_EQ(packed.size(), 262u);
            EXPECT_EQ(packed[0], 1);
        }
    }

    Bytes noise = Random(1000, 11);
    Bytes block = Compress(noise);
    ASSERT_EQ(block.size(), 1004u);
    EXPECT_EQ(block[0], 1);
    ExpectRoundTrip(noise);
}

TEST(Lzrw3, DecodesCopiesFromTheStartText)
{
    // A copy item of length 3 and one of 18 through never-filled entries.
    Bytes block = {0, 0, 0, 0, 0x03, 0x00, 0x00, 0x00};
    Bytes out;
    ASSERT_EQ(Decode(Bytes(block.begin(), block.begin() + 8), 3, &out), 3);
    EXPECT_EQ(std::string(out.begin(), out.end()), "123");
    block = {0, 0, 0, 0, 0x01, 0x00, 0x7F, 0x42};
    ASSERT_EQ(Decode(block, 18, &out), 18);
    EXPECT_EQ(std::string(out.begin(), out.end()), "123456789012345678");

    uint8_t *three = Lzrw3Decompress(Bytes{0, 0, 0, 0, 1, 0, 0xA0, 0xBC}.data(), 8, 3);
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(std::memcmp(three, "123", 3), 0);
    StackheapFree(three);
}

TEST(Lzrw3, CopyBlocksAndWrongLengths)
{
    Bytes empty = {1, 0, 0, 0};
    Bytes out;
    EXPECT_EQ(Decode(empty, 0, &out), 0);
    uint8_t *none = Lzrw3Decompress(empty.data(), 4, 0);
    EXPECT_NE(none, nullptr);
    StackheapFree(none);

    Bytes data = Text(5000);
    Bytes block = Compress(data);
    ASSERT_EQ(block[0], 0);
    EXPECT_EQ(Lzrw3Decompress(block.data(), uint32_t(block.size()), 4999), nullptr);
    EXPECT_EQ(Lzrw3Decompress(block.data(), uint32_t(block.size()), 5001), nullptr);
    // Shorter than its flag bytes, or a copy block larger than the room.
    EXPECT_EQ(Decode(Bytes{1, 0, 0}, 10, &out), -1);
    EXPECT_EQ(Decode(Bytes{1, 0, 0, 0, 'a', 'b'}, 1, &out), -1);
}

TEST(Lzrw3, RoundTripsAroundTheThresholds)
{
    for (size_t n : {0, 1, 3, 5, 6, 17, 18, 19, 31, 32, 33, 34, 35, 287, 288, 289, 290, 305, 306, 307, 4096}) {
        ExpectRoundTrip(Text(n));
        ExpectRoundTrip(Random(n, uint32_t(n)));
        ExpectRoundTrip(Binary(n));
        ExpectRoundTrip(Bytes(n, 0));
    }
    // Every length in the range where the coder switches from groups to
    // single items and then to literals.
    Bytes text = Text(700);
    for (size_t n = 250; n <= 700; n++)
        ExpectRoundTrip(Bytes(text.begin(), text.begin() + long(n)));
}

TEST(Lzrw3, RoundTripsLargeInputs)
{
    const size_t megabyte = 1 << 20;
    Bytes text = Text(megabyte);
    Bytes block = Compress(text);
    EXPECT_LT(block.size(), text.size() / 2);
    ExpectRoundTrip(text);
    ExpectRoundTrip(Binary(megabyte));
    ExpectRoundTrip(Random(megabyte, 5));
    // Long runs with short periods exercise the overlapping copies.
    for (int period = 1; period <= 20; period++) {
        Bytes runs(100000);
        for (size_t i = 0; i < runs.size(); i++)
            runs[i] = uint8_t('A' + i % size_t(period));
        ExpectRoundTrip(runs);
    }
}

TEST(Lzrw3, CutBlocksDecodeToAPrefixOrFail)
{
    Bytes data = Text(3000);
    Bytes block = Compress(data);
    ASSERT_EQ(block[0], 0);
    int accepted = 0;
    for (size_t cut = 0; cut < block.size(); cut++) {
        Bytes part(block.begin(), block.begin() + long(cut)), out;
        int64_t produced = Decode(part, uint32_t(data.size()), &out);
        if (produced < 0)
            continue;
        accepted++;
        ASSERT_LE(size_t(produced), data.size());
        EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "cut " << cut;
        EXPECT_EQ(Lzrw3Decompress(part.data(), uint32_t(cut), uint32_t(data.size())), nullptr);
    }
    EXPECT_GT(accepted, 100);

    // The hand-made block: cuts at its item boundaries give "aaa" and 21 × 'a';
    // cuts inside a copy item or a control word fail.
    Bytes run = Compress(Bytes(40, 'a')), out;
    EXPECT_EQ(Decode(Bytes(run.begin(), run.begin() + 9), 40, &out), 3);
    EXPECT_EQ(Decode(Bytes(run.begin(), run.begin() + 11), 40, &out), 21);
    EXPECT_EQ(out, Bytes(21, 'a'));
    EXPECT_EQ(Decode(Bytes(run.begin(), run.begin() + 10), 40, &out), -1);
    EXPECT_EQ(Decode(Bytes(run.begin(), run.begin() + 5), 40, &out), -1);
    // A block that ends right after a control word holds no further items.
    EXPECT_EQ(Decode(Bytes(run.begin(), run.begin() + 6), 40, &out), 0);
}

TEST(Lzrw3, OverflowingBlocksAreRejected)
{
    // Groups of 16 copies of 18 bytes each: 288 bytes per 34 input bytes.
    Bytes bomb = {0, 0, 0, 0};
    for (int group = 0; group < 40; group++) {
        bomb.push_back(0xFF);
        bomb.push_back(0xFF);
        for (int item = 0; item < 16; item++) {
            bomb.push_back(0x0F);
            bomb.push_back(uint8_t(item));
        }
    }
    Bytes out;
    const int64_t full = 40 * 16 * 18;
    EXPECT_EQ(Decode(bomb, uint32_t(full), &out), full);
    for (uint32_t capacity : {0u, 1u, 17u, 18u, 100u, 319u, 320u, 5000u, uint32_t(full - 1)})
        EXPECT_EQ(Decode(bomb, capacity, &out), -1) << capacity;
    // Literals past the capacity fail the same way.
    Bytes literals(6 + 16, 'z');
    std::fill(literals.begin(), literals.begin() + 6, 0);
    EXPECT_EQ(Decode(literals, 15, &out), -1);
    EXPECT_EQ(Decode(literals, 16, &out), 16);
}

TEST(Lzrw3, FastAndPlainDecodersAgreeOnArbitraryBlocks)
{
    std::mt19937 rng(99);
    Bytes sample = Compress(Binary(20000));
    for (int trial = 0; trial < 3000; trial++) {
        Bytes block;
        if (trial % 2) {
            block = Random(4 + rng() % 600, rng());
            block[0] = 0;
        } else {
            // A valid block with a few bytes damaged.
            block = sample;
            for (int k = 0; k < 3; k++)
                block[4 + rng() % (block.size() - 4)] ^= uint8_t(1 + rng() % 255);
            block.resize(4 + rng() % (block.size() - 4));
        }
        uint32_t capacity = rng() % 30000;
        Bytes fast, plain;
        int64_t a = Decode(block, capacity, &fast);
        int64_t b = DecodePlain(block, capacity, &plain);
        ASSERT_EQ(a, b) << "trial " << trial;
        if (a >= 0) {
            ASSERT_EQ(fast, plain) << "trial " << trial;
        }
    }
}

TEST(Lzrw3, WordAndByteMatchLengthsAgree)
{
    std::mt19937 rng(17);
    for (uint32_t common = 0; common <= 18; common++) {
        for (int trial = 0; trial < 200; trial++) {
            Bytes a = Random(18, rng()), b = a;
            if (common < 18)
                b[common] = uint8_t(b[common] ^ (1 + rng() % 255));
            for (uint32_t i = common + 1; i < 18; i++)
                b[i] = uint8_t(rng() % 2 ? a[i] : rng());
            EXPECT_EQ(Lzrw3MatchLength(a.data(), b.data(), 1), common);
            EXPECT_EQ(Lzrw3MatchLength(a.data(), b.data(), 0), common);
        }
    }
}

TEST(Lzrw3, CallerWorkAreaGivesTheSameResult)
{
    Bytes data = Text(10000);
    Bytes expected = Compress(data);
    std::vector<uint8_t> work(16400 + 1);
    Bytes packed(data.size() + LZRW3_COMPRESS_OVERRUN);
    uint32_t length = 0;
    // Deliberately misaligned by one byte.
    ASSERT_NE(Lzrw3Codec(LZRW3_COMPRESS, work.data() + 1, data.data(), uint32_t(data.size()), packed.data(),
                         &length),
              nullptr);
    packed.resize(length);
    EXPECT_EQ(packed, expected);
    Bytes back(data.size());
    uint32_t produced = uint32_t(back.size());
    ASSERT_NE(Lzrw3Codec(LZRW3_DECOMPRESS, work.data() + 1, packed.data(), length, back.data(), &produced), nullptr);
    EXPECT_EQ(back, data);
}

namespace {

// A compressed block of `groups` whole groups of 16 longest copies, then a
// control word with `copies` more and, when `literal` is set, one literal.
Bytes LongestBlock(int groups, int copies, bool literal)
{
    Bytes block = {0, 0, 0, 0};
    for (int g = 0; g < groups; g++) {
        block.insert(block.end(), {0xFF, 0xFF});
        for (int i = 0; i < 16; i++)
            block.insert(block.end(), {0x0F, 0x00}); // index 0, length 18
    }
    if (copies || literal) {
        uint32_t control = (1u << copies) - 1; // the literal's bit stays 0
        block.insert(block.end(), {uint8_t(control), uint8_t(control >> 8)});
        for (int i = 0; i < copies; i++)
            block.insert(block.end(), {0x0F, 0x00});
        if (literal)
            block.push_back('z');
    }
    return block;
}

} // namespace

// The limit is reached by the longest copies and refused one byte beyond,
// before anything is allocated for it.
TEST(Lzrw3, UnpackedLimitIsReachedAndNothingIsAskedBeyondIt)
{
    struct Case {
        int groups, copies;
        bool literal;
        uint32_t limit;
    } cases[] = {{1, 0, false, 288}, {3, 0, false, 864}, {2, 5, false, 666}, {2, 5, true, 667}, {0, 0, true, 1}};
    for (const Case &c : cases) {
        Bytes block = LongestBlock(c.groups, c.copies, c.literal);
        ASSERT_EQ(Lzrw3UnpackedLimit(block.data(), uint32_t(block.size())), c.limit) << block.size() << " bytes";
        StackheapResetLargestRequest();
        uint8_t *reached = Lzrw3Decompress(block.data(), uint32_t(block.size()), c.limit);
        EXPECT_NE(reached, nullptr) << c.limit;
        EXPECT_EQ(StackheapLargestRequest(), int32_t(c.limit + 128));
        StackheapFree(reached);
        StackheapResetLargestRequest();
        EXPECT_EQ(Lzrw3Decompress(block.data(), uint32_t(block.size()), c.limit + 1), nullptr);
        EXPECT_EQ(StackheapLargestRequest(), 0) << "asked for memory a block of " << block.size()
                                                << " bytes cannot fill";
    }
    // A copy block holds exactly its payload; shorter than the flag bytes, nothing.
    Bytes copy = {1, 0, 0, 0, 'a', 'b', 'c'};
    EXPECT_EQ(Lzrw3UnpackedLimit(copy.data(), 7), 3u);
    uint8_t *three = Lzrw3Decompress(copy.data(), 7, 3);
    EXPECT_NE(three, nullptr);
    StackheapFree(three);
    StackheapResetLargestRequest();
    EXPECT_EQ(Lzrw3Decompress(copy.data(), 7, 4), nullptr);
    EXPECT_EQ(StackheapLargestRequest(), 0);
    EXPECT_EQ(Lzrw3UnpackedLimit(copy.data(), 3), 0u);
    // Whatever a real coder makes stays within the limit of its block.
    for (size_t n : {1, 100, 5000}) {
        Bytes data = Text(n), block = Compress(data);
        EXPECT_GE(Lzrw3UnpackedLimit(block.data(), uint32_t(block.size())), n);
    }
}
