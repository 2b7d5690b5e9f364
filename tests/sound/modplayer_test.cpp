// The module player facade: devices, ticks at the module's tempo, music
// through libxmp, our own effect voices and the master volume, all heard
// through a tap on the mixed output with a clock the test moves.
#include "sound/modplayer.h"
#include "platform/headless/headless.h"
#include "sound_util.h"

#include <gtest/gtest.h>
#include <xmp.h>

#include <cstring>

using namespace soundtest;

namespace {

struct PlayerTest : ::testing::Test {
    Capture capture;
    int32_t ticks = 0;

    void SetUp() override
    {
        MpSetDefaults();
        MpSetMasterVolume(64); // the volume is not a default: it outlives every device
        MpSetClockHook(FakeClock);
        ASSERT_EQ(MpSelectDevice(MP_DEVICE_SILENT), MP_OK);
        ASSERT_EQ(MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO), MP_OK);
        ASSERT_EQ(MpPlayerInit(), MP_OK);
        ASSERT_EQ(MpSampleInit(), MP_OK);
        capture.Attach();
    }
    void TearDown() override
    {
        capture.Detach();
        MpDeviceClose();
        MpSetClockHook(nullptr);
    }
    // Lets milliseconds pass in 10 ms polls, ticking as the player asks.
    void Run(int milliseconds)
    {
        for (int elapsed = 0; elapsed < milliseconds; elapsed += 10) {
            FakeMilliseconds() += 10;
            ASSERT_EQ(MpStartPoll(), MP_OK);
            int32_t due = 0;
            do {
                ASSERT_EQ(MpMix(&due), MP_OK);
                if (due) {
                    ticks++;
                    ASSERT_EQ(MpPlayerTick(), MP_OK);
                }
            } while (due);
        }
    }
    MpModule *PlayModule(const std::vector<uint8_t> &xm)
    {
        MpModule *module = nullptr;
        EXPECT_EQ(MpLoadModuleFromMemory(xm.data(), int32_t(xm.size()), &module), MP_OK);
        if (!module)
            return nullptr;
        int32_t handle = 0;
        EXPECT_EQ(MpOpenChannels(module->channelCount + 1), MP_OK);
        EXPECT_EQ(MpPlaySong(module, &handle), MP_OK);
        EXPECT_GT(handle, 0);
        return module;
    }
    int32_t AddSample(const std::vector<uint8_t> &data)
    {
        int32_t handle = 0;
        EXPECT_EQ(MpAddSample(data.data(), int32_t(data.size()), 0, 0, &handle), MP_OK);
        return handle;
    }
    void PlayVoice(int32_t channel, int32_t handle, int32_t rate, int32_t volume = 64, int32_t panning = 0)
    {
        ASSERT_EQ(MpChannelStop(channel), MP_OK);
        ASSERT_EQ(MpChannelSetSample(channel, handle), MP_OK);
        ASSERT_EQ(MpChannelSetVolume(channel, volume), MP_OK);
        ASSERT_EQ(MpChannelSetPanning(channel, panning), MP_OK);
        ASSERT_EQ(MpChannelPlay(channel, rate), MP_OK);
    }
};

int RenderWithLibxmpAtDefaultVolume(const std::vector<uint8_t> &xm, int frames)
{
    xmp_context context = xmp_create_context();
    int peak = 0;
    if (xmp_load_module_from_memory(context, xm.data(), long(xm.size())) == 0) {
        xmp_start_player(context, 44100, 0);
        for (int done = 0; done < frames && xmp_play_frame(context) == 0;) {
            xmp_frame_info info;
            xmp_get_frame_info(context, &info);
            auto *samples = static_cast<const int16_t *>(info.buffer);
            std::vector<int16_t> block(samples, samples + info.buffer_size / 2);
            peak = std::max(peak, Peak(block));
            done += info.buffer_size / 4;
        }
        xmp_end_player(context);
        xmp_release_module(context);
    }
    xmp_free_context(context);
    return peak;
}

} // namespace

TEST(PlayerDevices, NamesAndDetectionOrder)
{
    EXPECT_STREQ(MpDeviceName(MP_DEVICE_AUDIO), "SDL Audio Sound Device");
    EXPECT_STREQ(MpDeviceName(MP_DEVICE_SILENT), "Mixing No Sound Sound Device");
    EXPECT_EQ(MpDeviceName(2), nullptr);
    EXPECT_EQ(MpDeviceName(-1), nullptr);

    PlatformSelect("headless");
    HeadlessReset();
    int32_t present = -1;
    EXPECT_EQ(MpDeviceDetect(MP_DEVICE_SILENT, &present), MP_OK);
    EXPECT_EQ(present, 1);
    EXPECT_EQ(MpDeviceDetect(5, &present), MP_ERR_BAD_ARGUMENT);

    // A system without an output has no audio device.
    HeadlessSetAudioAvailable(0);
    EXPECT_EQ(MpDeviceDetect(MP_DEVICE_AUDIO, &present), MP_OK);
    EXPECT_EQ(present, 0);

    // One that another program holds is there, but will not start.
    HeadlessSetAudioAvailable(1);
    HeadlessSetAudioBusy(-1);
    present = -1;
    EXPECT_EQ(MpDeviceDetect(MP_DEVICE_AUDIO, &present), MP_OK);
    EXPECT_EQ(present, 1);
    MpSetDefaults();
    MpSelectDevice(MP_DEVICE_AUDIO);
    EXPECT_EQ(MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO), MP_ERR_DEVICE_BUSY);
    HeadlessSetAudioBusy(0);
    EXPECT_EQ(MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO), MP_OK);
    MpDeviceClose();
    HeadlessReset();
}

TEST(PlayerDevices, InitNeedsADeviceAndTheOneRate)
{
    MpSetDefaults();
    EXPECT_EQ(MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO), MP_ERR_NO_DEVICE);
    MpSelectDevice(MP_DEVICE_SILENT);
    EXPECT_EQ(MpDeviceInit(22050, MP_MODE_AUTO), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpSelectDevice(7), MP_ERR_BAD_ARGUMENT);
    int32_t due = 0;
    EXPECT_EQ(MpMix(&due), MP_ERR_NOT_INITIALISED);
    EXPECT_EQ(MpOpenChannels(1), MP_ERR_NOT_INITIALISED);
    EXPECT_EQ(MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO), MP_OK);
    EXPECT_EQ(MpDeviceInit(MP_MIX_RATE, MP_MODE_AUTO), MP_ERR_DEVICE_BUSY);
    EXPECT_EQ(MpOpenChannels(0), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpOpenChannels(MP_MAX_CHANNELS + 1), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpOpenChannels(MP_MAX_CHANNELS), MP_OK);
    MpDeviceClose();
    EXPECT_EQ(MpChannelCount(), 0);
    MpDeviceClose(); // twice is harmless
}

TEST(PlayerFatal, MessageOnStandardErrorAndStatus255)
{
    EXPECT_EXIT(MpFatal("player exploded"), ::testing::ExitedWithCode(255), "player exploded");
}

TEST_F(PlayerTest, TicksFiftyPerSecondWithoutASong)
{
    Run(200); // the queue fills first
    int32_t before = ticks;
    size_t samplesBefore = capture.samples.size();
    Run(1000);
    EXPECT_EQ(ticks - before, 50);
    EXPECT_EQ(capture.samples.size() - samplesBefore, size_t(44100 * 2));
    EXPECT_EQ(Peak(capture.samples), 0);
}

TEST_F(PlayerTest, TicksFollowTheModuleTempo)
{
    MpModule *module = PlayModule(MakeXm(4, 250));
    ASSERT_NE(module, nullptr);
    Run(200);
    int32_t before = ticks;
    Run(1000);
    // 250 bpm: 441 frames a tick, 100 a second (the queue may hold one more).
    EXPECT_NEAR(ticks - before, 100, 1);
    MpFreeModule(module);
}

TEST_F(PlayerTest, AnnouncedTickIsMixedEvenIfNeverProcessed)
{
    int32_t due = 0;
    ASSERT_EQ(MpMix(&due), MP_OK);
    ASSERT_EQ(due, 1);
    ASSERT_EQ(MpMix(&due), MP_OK);
    EXPECT_EQ(capture.samples.size(), size_t(882 * 2));
}

TEST_F(PlayerTest, UnderrunIsNotMadeUp)
{
    Run(100);
    int32_t before = ticks;
    FakeMilliseconds() += 5000; // the player thread stalled for 5 s
    Run(10);
    // Only the queue is refilled (80 ms = 4 ticks), not 250 ticks of backlog.
    EXPECT_LE(ticks - before, 5);
}

TEST_F(PlayerTest, ModuleMusicIsHeard)
{
    std::vector<uint8_t> xm = MakeXm(4);
    MpModule *module = PlayModule(xm);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->channelCount, 4);
    Run(500);
    int peak = Peak(capture.samples);
    EXPECT_GT(peak, 1000);
    // Master volume 64 is libxmp's own full volume, no louder.
    EXPECT_NEAR(peak, RenderWithLibxmpAtDefaultVolume(xm, 22050), peak / 50 + 2);
    EXPECT_EQ(MpFreeModule(module), MP_OK);
}

TEST_F(PlayerTest, MasterVolumeScalesMusic)
{
    MpModule *module = PlayModule(MakeXm(4));
    ASSERT_NE(module, nullptr);
    Run(300);
    size_t mark = capture.samples.size();
    Run(300);
    int full = Peak(capture.samples, mark);

    ASSERT_EQ(MpSetMasterVolume(32), MP_OK);
    Run(200);
    mark = capture.samples.size();
    Run(300);
    int half = Peak(capture.samples, mark);
    EXPECT_NEAR(double(half) / full, 0.5, 0.03);

    ASSERT_EQ(MpSetMasterVolume(0), MP_OK);
    Run(200);
    mark = capture.samples.size();
    Run(300);
    EXPECT_EQ(Peak(capture.samples, mark), 0);

    EXPECT_EQ(MpSetMasterVolume(65), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpSetMasterVolume(-1), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpMasterVolume(), 0);
    MpSetMasterVolume(64);
    MpFreeModule(module);
}

TEST_F(PlayerTest, SongControl)
{
    std::vector<uint8_t> xm = MakeXm(2);
    MpModule *first = nullptr, *second = nullptr;
    ASSERT_EQ(MpLoadModuleFromMemory(xm.data(), int32_t(xm.size()), &first), MP_OK);
    ASSERT_EQ(MpLoadModuleFromMemory(xm.data(), int32_t(xm.size()), &second), MP_OK);
    int32_t handle = 0, other = 0;
    ASSERT_EQ(MpPlaySong(first, &handle), MP_OK);
    EXPECT_EQ(MpPlaySong(second, &other), MP_ERR_PLAYING);
    EXPECT_EQ(MpStopSong(handle + 1), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpStopSong(handle), MP_OK);
    EXPECT_EQ(MpStopSong(handle), MP_ERR_BAD_ARGUMENT);
    ASSERT_EQ(MpPlaySong(second, &other), MP_OK);
    EXPECT_NE(other, handle);
    // Freeing the playing module stops its song: the output goes silent.
    EXPECT_EQ(MpFreeModule(second), MP_OK);
    size_t mark = capture.samples.size();
    Run(200);
    EXPECT_EQ(Peak(capture.samples, mark), 0);
    EXPECT_EQ(MpFreeModule(first), MP_OK);
    EXPECT_EQ(MpFreeModule(nullptr), MP_OK);
}

TEST(PlayerModules, UnloadableModulesAreRefused)
{
    ScratchDirectory scratch;
    MpModule *module = reinterpret_cast<MpModule *>(1);
    EXPECT_EQ(MpLoadModule("missing.xm", &module), MP_ERR_LOAD);
    EXPECT_EQ(module, nullptr);
    std::vector<uint8_t> xm = MakeXm(4);
    std::vector<uint8_t> cut(xm.begin(), xm.begin() + 200);
    EXPECT_EQ(MpLoadModuleFromMemory(cut.data(), int32_t(cut.size()), &module), MP_ERR_LOAD);
    std::vector<uint8_t> junk(1000, 0x5A);
    EXPECT_EQ(MpLoadModuleFromMemory(junk.data(), int32_t(junk.size()), &module), MP_ERR_LOAD);
    EXPECT_EQ(MpLoadModuleFromMemory(nullptr, 10, &module), MP_ERR_BAD_ARGUMENT);

    WriteFile("tune.xm", xm);
    ASSERT_EQ(MpLoadModule("tune.xm", &module), MP_OK);
    EXPECT_EQ(module->channelCount, 4);
    MpFreeModule(module);
}

TEST_F(PlayerTest, VoicePlaysAtItsRate)
{
    // A square wave of 20 samples a period, unsigned 8-bit.
    std::vector<uint8_t> square(4000);
    for (size_t i = 0; i < square.size(); i++)
        square[i] = (i % 20) < 10 ? 200 : 56;
    int32_t handle = AddSample(square);
    ASSERT_EQ(MpOpenChannels(1), MP_OK);
    for (int32_t rate : {11025, 22050}) {
        Run(100);
        size_t mark = capture.samples.size();
        PlayVoice(0, handle, rate);
        Run(100);
        // Rising edges of the left channel, one per period of 20 * 44100 / rate frames.
        std::vector<size_t> edges;
        for (size_t i = mark + 2; i < capture.samples.size(); i += 2)
            if (capture.samples[i - 2] < 0 && capture.samples[i] >= 0)
                edges.push_back(i / 2);
        ASSERT_GE(edges.size(), 10u);
        double period = double(edges.back() - edges.front()) / double(edges.size() - 1);
        EXPECT_NEAR(period, 20.0 * 44100 / rate, 0.5) << "rate " << rate;
        EXPECT_EQ(Peak(capture.samples, mark), 72 * 64);
    }
}

TEST_F(PlayerTest, VoiceLevelsVolumePanningAndMaster)
{
    std::vector<uint8_t> level(44100, 255); // +127 steady
    int32_t handle = AddSample(level);
    ASSERT_EQ(MpOpenChannels(1), MP_OK);
    struct Case {
        int32_t volume, panning, master, left, right;
    } cases[] = {
        {64, 0, 64, 127 * 64, 127 * 64},
        {32, 0, 64, 127 * 32, 127 * 32},
        {64, 0, 32, 127 * 32, 127 * 32},
        {64, 64, 64, 0, 127 * 64},
        {64, -64, 64, 127 * 64, 0},
        {64, 0, 0, 0, 0},
        {0, 0, 64, 0, 0},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(MpSetMasterVolume(c.master), MP_OK);
        PlayVoice(0, handle, 44100, c.volume, c.panning);
        size_t mark = capture.samples.size();
        Run(20);
        ASSERT_GT(capture.samples.size(), mark + 100);
        EXPECT_EQ(capture.samples[mark + 100], c.left) << c.volume << " " << c.panning << " " << c.master;
        EXPECT_EQ(capture.samples[mark + 101], c.right) << c.volume << " " << c.panning << " " << c.master;
    }
    MpSetMasterVolume(64);
}

TEST_F(PlayerTest, VoiceEndsWithItsSampleAndNewSoundCutsTheOld)
{
    std::vector<uint8_t> shortHigh(441, 255), longLow(44100, 0);
    int32_t high = AddSample(shortHigh), low = AddSample(longLow);
    ASSERT_EQ(MpOpenChannels(1), MP_OK);
    Run(100); // queue full: each later tick is one fresh block
    size_t mark = capture.samples.size();
    PlayVoice(0, high, 44100);
    Run(40);
    int sounding = 0;
    for (size_t i = mark; i < capture.samples.size(); i += 2)
        sounding += capture.samples[i] != 0;
    EXPECT_EQ(sounding, 441);
    EXPECT_EQ(MpChannelPlaying(0), 0);

    PlayVoice(0, low, 44100);
    Run(20);
    PlayVoice(0, high, 44100); // cuts the long low sound off
    mark = capture.samples.size();
    Run(20);
    EXPECT_GT(capture.samples[mark], 0);
    EXPECT_EQ(capture.samples.back(), 0);
}

TEST_F(PlayerTest, SamplesAreCopiedAndBounded)
{
    std::vector<uint8_t> data(1000, 255);
    int32_t handle = AddSample(data);
    std::fill(data.begin(), data.end(), 128); // the player kept its own copy
    ASSERT_EQ(MpOpenChannels(2), MP_OK);
    PlayVoice(1, handle, 44100);
    size_t mark = capture.samples.size();
    Run(20);
    EXPECT_EQ(capture.samples[mark], 127 * 64);

    int32_t extra = 0;
    int added = 1;
    while (MpAddSample(data.data(), 10, 0, 0, &extra) == MP_OK)
        added++;
    EXPECT_EQ(added, MP_MAX_SAMPLES);
    EXPECT_EQ(MpAddSample(data.data(), 10, 0, 0, &extra), MP_ERR_FULL);
    EXPECT_EQ(MpFreeSample(extra), MP_OK);
    EXPECT_EQ(MpAddSample(data.data(), 10, 0, 0, &extra), MP_OK);
    EXPECT_EQ(MpAddSample(data.data(), 0, 0, 0, &extra), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpAddSample(data.data(), 10, 2, 8, &extra), MP_ERR_BAD_ARGUMENT);

    // Closing the sample manager silences the voice that used one.
    MpSampleClose();
    EXPECT_EQ(MpChannelPlaying(1), 0);
    mark = capture.samples.size();
    Run(40);
    EXPECT_EQ(Peak(capture.samples, mark), 0);
    EXPECT_EQ(MpAddSample(data.data(), 10, 0, 0, &extra), MP_ERR_NOT_INITIALISED);
}

TEST_F(PlayerTest, ChannelOperationsCheckTheirArguments)
{
    std::vector<uint8_t> data(100, 200);
    int32_t handle = AddSample(data);
    ASSERT_EQ(MpOpenChannels(2), MP_OK);
    EXPECT_EQ(MpChannelStop(2), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelStop(-1), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelSetSample(0, handle + 1), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelSetSample(0, 0), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelPlay(0, 44100), MP_ERR_BAD_ARGUMENT); // no sample yet
    EXPECT_EQ(MpChannelSetSample(0, handle), MP_OK);
    EXPECT_EQ(MpChannelSetVolume(0, 65), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelSetVolume(0, -1), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelSetPanning(0, 65), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelSetPanning(0, -65), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelPlay(0, 0), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelPlay(0, -8000), MP_ERR_BAD_ARGUMENT);
    EXPECT_EQ(MpChannelPlay(0, 1), MP_OK); // very slow, but valid
    EXPECT_EQ(MpChannelPlaying(0), 1);
    // Reopening channels stops every voice.
    EXPECT_EQ(MpOpenChannels(1), MP_OK);
    EXPECT_EQ(MpChannelPlaying(0), 0);
}

TEST_F(PlayerTest, EffectVoiceIsAsLoudAsAModuleVoice)
{
    int moduleVoice = RenderWithLibxmpAtDefaultVolume(MakeXm(1, 125, 127), 22050);
    std::vector<uint8_t> level(4410, 255);
    int32_t handle = AddSample(level);
    ASSERT_EQ(MpOpenChannels(1), MP_OK);
    PlayVoice(0, handle, 44100);
    size_t mark = capture.samples.size();
    Run(40);
    EXPECT_NEAR(Peak(capture.samples, mark), moduleVoice, moduleVoice / 20);
}
