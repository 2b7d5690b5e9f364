// p_midas: device start with the retry dialog, the player thread and its
// ticks, the music's channel layout, effects heard at their rate, the
// master volume. Runs on the headless platform (its message boxes answer
// from a queue, its audio output records what it is given).
#include "sound/p_midas.h"

#include "platform/headless/headless.h"
#include "platform/platform.h"
#include "sound/modplayer.h"
#include "sound_util.h"
#include "store/settings.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

using namespace soundtest;

namespace {

const char *const busyText = "Sounddevice in use.\nClick OK to retry or CANCEL to start\nwithout sound.";

struct MidasTest : ::testing::Test {
    void SetUp() override
    {
        PlatformSelect("headless");
        HeadlessReset();
        StackheapInit(0);
        appSettings.soundOn = appSettings.musicOn = appSettings.effectsOn = 1;
    }
    void TearDown() override
    {
        StopMusic();
        CloseSound();
        // The volume outlives the device, as it does in the program.
        SetMasterVolume(64);
        MpSetClockHook(nullptr);
        MpSetOutputTap(nullptr, nullptr);
    }
};

// The real thread is replaced by polls the test makes against its own clock.
struct ManualMidasTest : MidasTest {
    Capture capture;
    void SetUp() override
    {
        MidasTest::SetUp();
        ASSERT_EQ(InitSound(-1), 1);
        StopPlayThread();
        MpSetClockHook(FakeClock);
        capture.Attach();
    }
    void Run(int milliseconds)
    {
        for (int elapsed = 0; elapsed < milliseconds; elapsed += 10) {
            FakeMilliseconds() += 10;
            PollPlayer();
        }
    }
};

int BusyBoxes()
{
    int count = 0;
    for (const HeadlessMessageBox &box : HeadlessMessageBoxes())
        if (box.text == busyText) {
            EXPECT_EQ(box.caption, "Error");
            EXPECT_EQ(box.type, UINT(MB_OKCANCEL | MB_ICONERROR));
            EXPECT_EQ(box.owner, nullptr);
            count++;
        }
    return count;
}

SoundEffect LoadedSquare(const char *name, uint32_t rate)
{
    std::vector<uint8_t> square(rate); // one second
    for (size_t i = 0; i < square.size(); i++)
        square[i] = (i % 20) < 10 ? 220 : 36;
    WavOptions options;
    options.rate = rate;
    WriteFile(name, MakeWav(square, options));
    SoundEffect effect = {};
    EXPECT_EQ(LoadEffect(&effect, name), 1);
    return effect;
}

double MeanPeriod(const std::vector<int16_t> &samples, size_t begin, size_t end)
{
    std::vector<size_t> edges;
    for (size_t i = begin + 2; i < end && i < samples.size(); i += 2)
        if (samples[i - 2] < 0 && samples[i] >= 0)
            edges.push_back(i / 2);
    if (edges.size() < 2)
        return 0;
    return double(edges.back() - edges.front()) / double(edges.size() - 1);
}

} // namespace

// [device start] ----------------------------------------------------------

TEST_F(MidasTest, SilentDeviceStartsAndTicksFiftyPerSecond)
{
    ASSERT_EQ(InitSound(-1), 1);
    EXPECT_EQ(MpSelectedDevice(), MP_DEVICE_SILENT);
    EXPECT_EQ(PollSleep(), 10);
    Sleep(200);
    int32_t start = PlayerTicks();
    DWORD begin = GetTickCount();
    Sleep(1000);
    int32_t counted = PlayerTicks() - start;
    double seconds = (GetTickCount() - begin) / 1000.0;
    // A loaded machine may delay the thread; the rate still tracks the clock.
    EXPECT_NEAR(counted / seconds, 50.0, 15.0);
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
}

TEST_F(MidasTest, DetectionPrefersTheAudioOutput)
{
    ASSERT_EQ(InitSound(0), 1);
    EXPECT_EQ(MpSelectedDevice(), MP_DEVICE_AUDIO);
    EXPECT_EQ(HeadlessAudioRate(), 44100);
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
}

TEST_F(MidasTest, NoAudioOutputFallsBackToSilenceWithoutAsking)
{
    HeadlessSetAudioAvailable(0);
    ASSERT_EQ(InitSound(0), 1);
    EXPECT_EQ(MpSelectedDevice(), MP_DEVICE_SILENT);
    EXPECT_TRUE(HeadlessMessageBoxes().empty());
}

TEST_F(MidasTest, BusyDeviceRetriedOnOk)
{
    // Taken by another program twice; the third attempt gets the device.
    HeadlessSetAudioBusy(2);
    HeadlessQueueAnswer(IDOK);
    HeadlessQueueAnswer(IDOK);
    ASSERT_EQ(InitSound(0), 1);
    EXPECT_EQ(BusyBoxes(), 2);
    EXPECT_EQ(MpSelectedDevice(), MP_DEVICE_AUDIO);
    EXPECT_EQ(HeadlessAudioRate(), 44100);
}

TEST_F(MidasTest, BusyDeviceRetriedOnAnyAnswerButCancel)
{
    HeadlessSetAudioBusy(1);
    HeadlessQueueAnswer(0); // a box that could not be shown
    ASSERT_EQ(InitSound(0), 1);
    EXPECT_EQ(BusyBoxes(), 1);
    EXPECT_EQ(MpSelectedDevice(), MP_DEVICE_AUDIO);
}

TEST_F(MidasTest, BusyDeviceCancelStartsWithoutSound)
{
    HeadlessSetAudioBusy(-1);
    HeadlessQueueAnswer(IDOK);
    HeadlessQueueAnswer(IDCANCEL);
    ASSERT_EQ(InitSound(0), 1);
    EXPECT_EQ(BusyBoxes(), 2);
    EXPECT_EQ(MpSelectedDevice(), MP_DEVICE_SILENT);
    EXPECT_EQ(HeadlessAudioRate(), 0); // the output was never opened
    Sleep(100);
    EXPECT_GT(PlayerTicks(), 0);
}

TEST_F(MidasTest, SilentDeviceFailureIsReported)
{
    ASSERT_EQ(InitSound(-1), 1);
    // The device is taken (by the first start): the silent one cannot start again.
    EXPECT_EQ(InitSound(-1), 0);
    ASSERT_EQ(HeadlessMessageBoxes().size(), 1u);
    EXPECT_EQ(HeadlessMessageBoxes()[0].text, "Can't init NoSound!");
    EXPECT_EQ(HeadlessMessageBoxes()[0].caption, "Error");
    EXPECT_EQ(HeadlessMessageBoxes()[0].type, UINT(MB_OK));
}

// [player thread] ---------------------------------------------------------

TEST_F(MidasTest, StopPlayThreadReturnsOnlyOnceTheThreadHasEnded)
{
    ASSERT_EQ(InitSound(-1), 1);
    Sleep(100);
    StopPlayThread();
    // Nothing polls any more: the count stands still.
    int32_t stopped = PlayerTicks();
    Sleep(150);
    EXPECT_EQ(PlayerTicks(), stopped);
    StopPlayThread(); // no thread: returns at once
    StartPlayThread(10);
    Sleep(150);
    EXPECT_GT(PlayerTicks(), stopped);
}

TEST(MidasPollRate, SleepFromThePollRate)
{
    PlatformSelect("headless");
    StartBackgroundPlay(0);
    EXPECT_EQ(PollSleep(), 20);
    StopPlayThread();
    StartBackgroundPlay(50);
    EXPECT_EQ(PollSleep(), 10);
    StopPlayThread();
}

TEST(MidasFatal, ThreadCreationFailureIsFatal)
{
    // The message the player's fatal report prints is the one it is handed.
    EXPECT_EXIT(MpFatal("StartPlayThread: Couldn't create player thread!"), ::testing::ExitedWithCode(255),
                "StartPlayThread: Couldn't create player thread!");
}

// [music] -----------------------------------------------------------------

TEST_F(MidasTest, FourChannelModulePutsEffectsOnChannelFour)
{
    ScratchDirectory scratch;
    WriteFile("tune.xm", MakeXm(4));
    ASSERT_EQ(InitSound(-1), 1);
    ASSERT_EQ(StartMusic("tune.xm"), 1);
    EXPECT_EQ(EffectChannel(), 4);
    EXPECT_EQ(MpChannelCount(), 5);
    StopMusic();
    EXPECT_EQ(EffectChannel(), 0);
    EXPECT_EQ(MpChannelCount(), 1);
}

TEST_F(MidasTest, StartMusicTwiceLoadsOnce)
{
    ScratchDirectory scratch;
    WriteFile("tune.xm", MakeXm(4));
    ASSERT_EQ(InitSound(-1), 1);
    ASSERT_EQ(StartMusic("tune.xm"), 1);
    std::filesystem::remove("tune.xm"); // a second load would now fail
    EXPECT_EQ(StartMusic("tune.xm"), 1);
    EXPECT_EQ(EffectChannel(), 4);
    StopMusic();
    StopMusic();
    EXPECT_EQ(StartMusic("tune.xm"), 0); // started afresh: loads, and the file is gone
}

TEST_F(MidasTest, StopMusicWithoutStartMusicDoesNothing)
{
    ASSERT_EQ(InitSound(-1), 1);
    ASSERT_EQ(MpOpenChannels(3), MP_OK);
    StopMusic();
    EXPECT_EQ(MpChannelCount(), 3);
}

TEST_F(MidasTest, NoMusicMeansOneChannelForEffects)
{
    ScratchDirectory scratch;
    WriteFile("tune.xm", MakeXm(4));
    ASSERT_EQ(InitSound(-1), 1);
    appSettings.musicOn = 0;
    ASSERT_EQ(StartMusic("tune.xm"), 1);
    EXPECT_EQ(EffectChannel(), 0);
    EXPECT_EQ(MpChannelCount(), 1);
    StopMusic();
    appSettings.musicOn = 1;
    ASSERT_EQ(StartMusic(""), 1);
    EXPECT_EQ(EffectChannel(), 0);
    StopMusic();
    ASSERT_EQ(StartMusic(nullptr), 1);
    EXPECT_EQ(MpChannelCount(), 1);
}

TEST_F(MidasTest, MissingOrBrokenModuleFailsStartMusic)
{
    ScratchDirectory scratch;
    ASSERT_EQ(InitSound(-1), 1);
    EXPECT_EQ(StartMusic("absent.xm"), 0);
    StopMusic();
    WriteFile("broken.xm", std::vector<uint8_t>(300, 0x41));
    EXPECT_EQ(StartMusic("broken.xm"), 0);
}

TEST_F(MidasTest, ModuleIsALooseFileUnderItsExactName)
{
    ScratchDirectory scratch;
    std::filesystem::create_directory("music");
    WriteFile("music/tune.xm", MakeXm(4));
    ASSERT_EQ(InitSound(-1), 1);
    EXPECT_EQ(StartMusic("tune.xm"), 0); // not searched for in subdirectories
    StopMusic();
    EXPECT_EQ(StartMusic("music/tune.xm"), 1);
}

TEST_F(MidasTest, MusicReachesTheAudioOutput)
{
    ScratchDirectory scratch;
    WriteFile("tune.xm", MakeXm(4));
    ASSERT_EQ(InitSound(0), 1);
    ASSERT_EQ(MpSelectedDevice(), MP_DEVICE_AUDIO);
    ASSERT_EQ(StartMusic("tune.xm"), 1);
    Sleep(400);
    StopPlayThread(); // the capture is read with nobody writing
    const std::vector<int16_t> &played = HeadlessAudioCapture();
    EXPECT_GT(played.size(), size_t(44100 / 5 * 2));
    EXPECT_GT(Peak(played), 1000);
}

// [effects] ---------------------------------------------------------------

TEST_F(ManualMidasTest, EffectMixesInAtItsRate)
{
    ScratchDirectory scratch;
    ASSERT_EQ(StartMusic(nullptr), 1);
    SoundEffect effect = LoadedSquare("page.wav", 11025);
    Run(100);
    size_t mark = capture.samples.size();
    PlayEffect(&effect);
    Run(200);
    EXPECT_NEAR(MeanPeriod(capture.samples, mark, capture.samples.size()), 80.0, 0.5);
    EXPECT_EQ(Peak(capture.samples, mark), 92 * 64);
    FreeEffect(&effect);
    EXPECT_EQ(effect.data, nullptr);
}

TEST_F(ManualMidasTest, EffectRidesOnTopOfTheMusic)
{
    ScratchDirectory scratch;
    WriteFile("tune.xm", MakeXm(4));
    ASSERT_EQ(StartMusic("tune.xm"), 1);
    ASSERT_EQ(EffectChannel(), 4);
    SoundEffect effect = LoadedSquare("page.wav", 22050);
    Run(300);
    size_t mark = capture.samples.size();
    Run(200);
    int music = Peak(capture.samples, mark);
    ASSERT_GT(music, 1000);
    mark = capture.samples.size();
    PlayEffect(&effect);
    Run(200);
    EXPECT_GT(Peak(capture.samples, mark), music + 4000);
    FreeEffect(&effect);
}

TEST_F(ManualMidasTest, EffectsOffOrUnloadedPlayNothing)
{
    ScratchDirectory scratch;
    ASSERT_EQ(StartMusic(nullptr), 1);
    SoundEffect effect = LoadedSquare("page.wav", 11025);
    appSettings.effectsOn = 0;
    PlayEffect(&effect);
    Run(100);
    EXPECT_EQ(MpChannelPlaying(0), 0);
    appSettings.effectsOn = 1;
    SoundEffect empty = {};
    PlayEffect(&empty);
    PlayEffect(nullptr);
    Run(100);
    EXPECT_EQ(Peak(capture.samples), 0);
    FreeEffect(&effect);
    FreeEffect(&effect); // twice is harmless
    FreeEffect(nullptr);
}

TEST_F(ManualMidasTest, NewEffectCutsOffThePrevious)
{
    ScratchDirectory scratch;
    ASSERT_EQ(StartMusic(nullptr), 1);
    WriteFile("high.wav", MakeWav(std::vector<uint8_t>(44100, 250)));
    WriteFile("low.wav", MakeWav(std::vector<uint8_t>(44100, 6)));
    SoundEffect high = {}, low = {};
    ASSERT_EQ(LoadEffect(&high, "high.wav"), 1);
    ASSERT_EQ(LoadEffect(&low, "low.wav"), 1);
    Run(100);
    PlayEffect(&high);
    Run(100);
    EXPECT_EQ(capture.samples.back(), 122 * 64);
    PlayEffect(&low);
    size_t mark = capture.samples.size();
    Run(100);
    // Only the new effect is heard, at its own level.
    EXPECT_EQ(capture.samples[mark], -122 * 64);
    EXPECT_EQ(capture.samples.back(), -122 * 64);
    FreeEffect(&high);
    FreeEffect(&low);
}

TEST_F(ManualMidasTest, MasterVolumeHalvesAndSilences)
{
    ScratchDirectory scratch;
    WriteFile("tune.xm", MakeXm(4));
    ASSERT_EQ(StartMusic("tune.xm"), 1);
    Run(300);
    size_t mark = capture.samples.size();
    Run(300);
    int full = Peak(capture.samples, mark);
    SetMasterVolume(32);
    EXPECT_EQ(MasterVolume(), 32);
    Run(200);
    mark = capture.samples.size();
    Run(300);
    EXPECT_NEAR(double(Peak(capture.samples, mark)) / full, 0.5, 0.03);

    SetMasterVolume(0);
    SoundEffect effect = LoadedSquare("page.wav", 11025);
    PlayEffect(&effect);
    Run(100);
    mark = capture.samples.size();
    Run(300);
    EXPECT_EQ(Peak(capture.samples, mark), 0);
    FreeEffect(&effect);
}

TEST_F(ManualMidasTest, MusicOffHoldsTheSongWhileEffectsAndVolumeGoOn)
{
    ScratchDirectory scratch;
    WriteFile("tune.xm", MakeXm(4));
    ASSERT_EQ(StartMusic("tune.xm"), 1);
    SoundEffect effect = LoadedSquare("page.wav", 11025);
    SetMasterVolume(32);
    Run(300);
    size_t mark = capture.samples.size();
    Run(300);
    int music = Peak(capture.samples, mark);
    ASSERT_GT(music, 500);
    EXPECT_EQ(MusicOn(), 1);

    EXPECT_EQ(ToggleMusic(), 0);
    EXPECT_EQ(MusicOn(), 0);
    mark = capture.samples.size();
    Run(300);
    EXPECT_EQ(Peak(capture.samples, mark), 0);
    // The effect still sounds, at the volume F1 left.
    EXPECT_EQ(MasterVolume(), 32);
    PlayEffect(&effect);
    mark = capture.samples.size();
    Run(200);
    EXPECT_NEAR(Peak(capture.samples, mark), 92 * 32, 64);
    Run(1000); // the one-second effect has ended

    EXPECT_EQ(ToggleMusic(), 1);
    mark = capture.samples.size();
    Run(300);
    EXPECT_NEAR(Peak(capture.samples, mark), music, music / 4);
    EXPECT_EQ(MasterVolume(), 32);
    // A song started afresh is never held.
    ToggleMusic();
    StopMusic();
    ASSERT_EQ(StartMusic("tune.xm"), 1);
    EXPECT_EQ(MusicOn(), 1);
    FreeEffect(&effect);
}

TEST(MidasVolume, StartsAtFullAndClamps)
{
    EXPECT_EQ(MasterVolume(), 64);
    SetMasterVolume(100);
    EXPECT_EQ(MasterVolume(), 64);
    SetMasterVolume(-3);
    EXPECT_EQ(MasterVolume(), 0);
    SetMasterVolume(48);
    EXPECT_EQ(MasterVolume(), 48);
    EXPECT_EQ(MpMasterVolume(), 48);
    SetMasterVolume(64);
}

// [concurrency] -----------------------------------------------------------

TEST_F(MidasTest, UserInterfaceCallsWhileThePlayerThreadMixes)
{
    ScratchDirectory scratch;
    WriteFile("tune.xm", MakeXm(8, 250));
    ASSERT_EQ(InitSound(0), 1);
    SoundEffect effect = LoadedSquare("page.wav", 44100);
    int32_t before = PlayerTicks();
    DWORD start = GetTickCount();
    for (int round = 0; GetTickCount() - start < 400; round++) {
        ASSERT_EQ(StartMusic(round % 3 ? "tune.xm" : nullptr), 1);
        for (int i = 0; i < 20; i++) {
            PlayEffect(&effect);
            SetMasterVolume(64 - (i + round) % 65);
        }
        StopMusic();
    }
    SetMasterVolume(64);
    EXPECT_GT(PlayerTicks(), before);
    CloseSound();
    FreeEffect(&effect);
}

// [real output] -----------------------------------------------------------

namespace {

// Plays a module through SDL's disk driver and reads back what it wrote; on
// any failure the reason goes to standard error and the process ends with 1.
[[noreturn]] void PlayThroughTheDiskDriver()
{
    auto fail = [](const char *why) {
        std::fprintf(stderr, "%s\n", why);
        std::_Exit(1);
    };
    ScratchDirectory scratch;
    std::string raw = (scratch.path / "out.raw").string();
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    PlatformSelect("sdl");
    if (std::string(PlatformName()) != "sdl")
        fail("another backend was chosen before");
    StackheapInit(0);
    appSettings.musicOn = appSettings.effectsOn = 1;
    WriteFile("tune.xm", MakeXm(4));
    if (InitSound(0) != 1 || MpSelectedDevice() != MP_DEVICE_AUDIO)
        fail("the disk driver was not started as the audio output");
    if (StartMusic("tune.xm") != 1)
        fail("the module did not start");
    Sleep(500);
    StopMusic();
    CloseSound();
    FILE *file = std::fopen(raw.c_str(), "rb");
    if (!file)
        fail("nothing was written");
    std::vector<int16_t> written(44100 * 2);
    size_t count = std::fread(written.data(), sizeof(int16_t), written.size(), file);
    std::fclose(file);
    written.resize(count);
    if (count <= size_t(44100 / 5 * 2))
        fail("less than 0.2 s was written");
    if (Peak(written) <= 1000)
        fail("what was written is silent");
    std::exit(0);
}

} // namespace

TEST(MidasSdlOutput, MusicIsWrittenByTheDiskAudioDriver)
{
    // SDL's disk driver is a real output that needs no sound card. The
    // backend is chosen once per process, and the tests before this one
    // chose the headless one: this runs in a process of its own.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(PlayThroughTheDiskDriver(), ::testing::ExitedWithCode(0), "");
}
