// LoadEffect's WAV reading: the checks on tag, channels and bits, real files
// with longer "fmt " chunks and extra chunks, and files that lie about their
// length or end early.
#include "sound/p_midas.h"

#include "platform/platform.h"
#include "sound_util.h"
#include "store/datafile.h"
#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace soundtest;

namespace {

struct WavTest : ::testing::Test {
    ScratchDirectory scratch;
    std::vector<uint8_t> samples;
    void SetUp() override
    {
        PlatformSelect("headless");
        StackheapInit(0);
        ASSERT_EQ(InitSound(-1), 1);
        for (int i = 0; i < 300; i++)
            samples.push_back(uint8_t(i * 7));
    }
    void TearDown() override { CloseSound(); }
    // Loads bytes written as name; the effect record comes back.
    int Load(const std::vector<uint8_t> &bytes, SoundEffect *effect, const char *name = "effect.wav")
    {
        WriteFile(name, bytes);
        *effect = SoundEffect{};
        return LoadEffect(effect, name);
    }
    void ExpectSamples(const SoundEffect &effect, size_t count)
    {
        ASSERT_NE(effect.data, nullptr);
        ASSERT_EQ(effect.length, int32_t(count));
        EXPECT_TRUE(std::equal(effect.data, effect.data + count, samples.begin()));
    }
};

} // namespace

TEST_F(WavTest, CanonicalHeaderLoads)
{
    SoundEffect effect;
    std::vector<uint8_t> wav = MakeWav(samples);
    ASSERT_EQ(wav.size(), 44 + samples.size());
    ASSERT_EQ(Load(wav, &effect), 1);
    EXPECT_EQ(effect.rate, 11025);
    ExpectSamples(effect, samples.size());
    EXPECT_GT(effect.sampleHandle, 0);
    FreeEffect(&effect);
    EXPECT_EQ(effect.data, nullptr);
}

TEST_F(WavTest, ChannelAndBitChecks)
{
    struct Case {
        int channels, bits, loads;
    } cases[] = {{1, 8, 1}, {0, 8, 1}, {2, 8, 0}, {1, 16, 0}, {2, 16, 0}, {1, 4, 0}, {256, 8, 0}, {1, 264, 0}};
    for (const Case &c : cases) {
        WavOptions options;
        options.channels = c.channels;
        options.bits = c.bits;
        SoundEffect effect;
        EXPECT_EQ(Load(MakeWav(samples, options), &effect), c.loads) << c.channels << " channels, " << c.bits << " bits";
        if (c.loads)
            ExpectSamples(effect, samples.size());
        else
            EXPECT_EQ(effect.data, nullptr);
        FreeEffect(&effect);
    }
}

TEST_F(WavTest, LongFormatChunkAndExtraChunksBeforeData)
{
    for (int formatSize : {16, 18, 20, 40})
        for (bool list : {false, true}) {
            WavOptions options;
            options.formatSize = formatSize;
            options.listChunk = list;
            options.rate = 22050;
            SoundEffect effect;
            ASSERT_EQ(Load(MakeWav(samples, options), &effect), 1) << formatSize << " " << list;
            EXPECT_EQ(effect.rate, 22050);
            ExpectSamples(effect, samples.size());
            FreeEffect(&effect);
        }
}

TEST_F(WavTest, OddLengthWithoutPadByteAndJunkAfterTheData)
{
    std::vector<uint8_t> odd(samples.begin(), samples.begin() + 251);
    SoundEffect effect;
    ASSERT_EQ(Load(MakeWav(odd), &effect), 1);
    ExpectSamples(effect, 251);
    FreeEffect(&effect);

    std::vector<uint8_t> wav = MakeWav(samples);
    wav.insert(wav.end(), 50, 0xEE);
    ASSERT_EQ(Load(wav, &effect), 1);
    ExpectSamples(effect, samples.size());
    FreeEffect(&effect);
}

TEST_F(WavTest, DataLengthBeyondTheFileKeepsOnlyWhatIsThere)
{
    WavOptions options;
    options.claimedLength = 0x7FFFFFF0; // a hostile header
    SoundEffect effect;
    StackheapResetLargestRequest();
    ASSERT_EQ(Load(MakeWav(samples, options), &effect), 1);
    ExpectSamples(effect, samples.size());
    FreeEffect(&effect);
    // Memory for the samples the file holds, never for what it claims: at
    // the file's length and one byte beyond it alike.
    EXPECT_EQ(StackheapLargestRequest(), int32_t(samples.size()));
    for (uint32_t claim : {uint32_t(samples.size()), uint32_t(samples.size() + 1)}) {
        options.claimedLength = claim;
        StackheapResetLargestRequest();
        ASSERT_EQ(Load(MakeWav(samples, options), &effect), 1);
        ExpectSamples(effect, samples.size());
        FreeEffect(&effect);
        EXPECT_EQ(StackheapLargestRequest(), int32_t(samples.size())) << claim;
    }

    options.claimedLength = 0xFFFFFFFFu;
    ASSERT_EQ(Load(MakeWav(samples, options), &effect), 1);
    ExpectSamples(effect, samples.size());
    FreeEffect(&effect);

    // Truncated in the middle of the data: the bytes that made it are kept.
    std::vector<uint8_t> wav = MakeWav(samples);
    wav.resize(44 + 100);
    ASSERT_EQ(Load(wav, &effect), 1);
    ExpectSamples(effect, 100);
    FreeEffect(&effect);
}

TEST_F(WavTest, ShortTruncatedAndForeignFilesAreRefused)
{
    std::vector<uint8_t> wav = MakeWav(samples);
    SoundEffect effect;
    for (size_t cut : {size_t(0), size_t(3), size_t(4), size_t(12), size_t(30), size_t(40), size_t(44)}) {
        std::vector<uint8_t> shortFile(wav.begin(), wav.begin() + long(cut));
        EXPECT_EQ(Load(shortFile, &effect), 0) << "cut at " << cut;
        EXPECT_EQ(effect.data, nullptr);
    }
    std::vector<uint8_t> riff = wav;
    riff[0] = 'R', riff[1] = 'I', riff[2] = 'F', riff[3] = 'X';
    EXPECT_EQ(Load(riff, &effect), 0);

    WavOptions noData;
    noData.dataChunk = false;
    EXPECT_EQ(Load(MakeWav(samples, noData), &effect), 0);
    EXPECT_EQ(Load(MakeWav({}), &effect), 0); // an empty "data" chunk

    WavOptions tinyFormat;
    tinyFormat.formatSize = 14;
    EXPECT_EQ(Load(MakeWav(samples, tinyFormat), &effect), 0);

    effect = SoundEffect{};
    EXPECT_EQ(LoadEffect(&effect, "nowhere.wav"), 0);
    EXPECT_EQ(effect.data, nullptr);
}

TEST_F(WavTest, ReadEffectSaysWhyAFileIsRefused)
{
    // The reading half needs no sound device, and names each refusal.
    CloseSound();
    auto fault = [&](const std::vector<uint8_t> &bytes) {
        WriteFile("why.wav", bytes);
        SoundEffect effect = {};
        EffectFault result = ReadEffect(&effect, "why.wav");
        EXPECT_EQ(effect.data == nullptr, result != EFFECT_OK);
        StackheapFree(effect.data);
        return result;
    };
    WavOptions stereo, wide, noData, tinyFormat;
    stereo.channels = 2;
    wide.bits = 16;
    noData.dataChunk = false;
    tinyFormat.formatSize = 14;
    std::vector<uint8_t> notRiff = MakeWav(samples);
    notRiff[3] = 'X';
    EXPECT_EQ(fault(MakeWav(samples)), EFFECT_OK);
    EXPECT_EQ(fault(notRiff), EFFECT_NOT_RIFF);
    EXPECT_EQ(fault({'R', 'I'}), EFFECT_NOT_RIFF);
    EXPECT_EQ(fault(MakeWav(samples, tinyFormat)), EFFECT_NO_FORMAT);
    EXPECT_EQ(fault(MakeWav(samples, stereo)), EFFECT_NOT_8BIT_MONO);
    EXPECT_EQ(fault(MakeWav(samples, wide)), EFFECT_NOT_8BIT_MONO);
    EXPECT_EQ(fault(MakeWav(samples, noData)), EFFECT_NO_SAMPLES);
    EXPECT_EQ(fault(MakeWav({})), EFFECT_NO_SAMPLES);
    SoundEffect effect = {};
    EXPECT_EQ(ReadEffect(&effect, "nowhere.wav"), EFFECT_NOT_FOUND);
    ASSERT_EQ(InitSound(-1), 1);
}

TEST_F(WavTest, LoadedEffectPlaysOnlyWithSound)
{
    // Without a started sound device the data is read but cannot be registered.
    CloseSound();
    SoundEffect effect;
    EXPECT_EQ(Load(MakeWav(samples), &effect), 0);
    FreeEffect(&effect);
    ASSERT_EQ(InitSound(-1), 1);
    EXPECT_EQ(Load(MakeWav(samples), &effect), 1);
    FreeEffect(&effect);
}

TEST_F(WavTest, EffectsLoadFromArchiveMembersStoredOrPacked)
{
    // zarn.dat with the effect stored plainly and packed with LZRW3.
    std::vector<uint8_t> wav = MakeWav(samples);
    std::vector<uint8_t> archive(16, 0);
    uint32_t packedLength = 0;
    uint8_t *packed = Lzrw3Compress(wav.data(), uint32_t(wav.size()), &packedLength);
    ASSERT_NE(packed, nullptr);
    struct Entry {
        const char *name;
        uint32_t offset, method, stored;
    } entries[2] = {{"plain.wav", 16, 0, uint32_t(wav.size())}, {"packed.wav", 0, 3, packedLength}};
    archive.insert(archive.end(), wav.begin(), wav.end());
    entries[1].offset = uint32_t(archive.size());
    archive.insert(archive.end(), packed, packed + packedLength);
    StackheapFree(packed);
    auto put32 = [&archive](size_t at, uint32_t value) {
        for (int i = 0; i < 4; i++)
            archive[at + size_t(i)] = uint8_t(value >> (8 * i));
    };
    put32(8, uint32_t(archive.size()));
    put32(12, 2);
    for (const Entry &entry : entries) {
        size_t at = archive.size();
        archive.resize(at + 80, 0);
        put32(at, entry.offset);
        put32(at + 4, entry.method);
        put32(at + 8, entry.stored);
        put32(at + 12, uint32_t(wav.size()));
        std::memcpy(&archive[at + 16], entry.name, std::strlen(entry.name));
    }
    WriteFile("zarn.dat", archive);
    ArchiveResetForTests();
    ASSERT_EQ(ArchiveSetName("zarn.dat"), 1);
    for (const char *name : {"plain.wav", "packed.wav"}) {
        SoundEffect effect = {};
        ASSERT_EQ(LoadEffect(&effect, name), 1) << name;
        EXPECT_EQ(effect.rate, 11025);
        ExpectSamples(effect, samples.size());
        FreeEffect(&effect);
    }
    ArchiveResetForTests();
}
