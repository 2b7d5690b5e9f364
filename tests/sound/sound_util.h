// Helpers for the sound tests: a small XM module and WAV files built in
// memory, a scratch directory per test, a capture of the mixed output and a
// clock the test moves by hand.
#pragma once

#include "sound/modplayer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace soundtest {

inline void Put16(std::vector<uint8_t> &out, uint32_t value)
{
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

inline void Put32(std::vector<uint8_t> &out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

inline void PutText(std::vector<uint8_t> &out, const char *text, size_t width)
{
    size_t i = 0;
    for (; text[i] && i < width; i++)
        out.push_back(uint8_t(text[i]));
    for (; i < width; i++)
        out.push_back(0);
}

// An XM module: channels channels, one 16-row pattern whose first row
// starts note C-4 of instrument 1 on channel 0, played at bpm; the
// instrument's one sample is a looping 8-bit square wave of amplitude
// `amplitude` (signed), 32 samples per period.
inline std::vector<uint8_t> MakeXm(int channels = 4, int bpm = 125, int amplitude = 64)
{
    std::vector<uint8_t> xm;
    PutText(xm, "Extended Module: ", 17);
    PutText(xm, "test tune", 20);
    xm.push_back(0x1A);
    PutText(xm, "zarn tests", 20);
    Put16(xm, 0x0104);
    Put32(xm, 276);     // header size from here
    Put16(xm, 1);       // song length
    Put16(xm, 0);       // restart position
    Put16(xm, uint32_t(channels));
    Put16(xm, 1);       // patterns
    Put16(xm, 1);       // instruments
    Put16(xm, 1);       // linear frequencies
    Put16(xm, 6);       // ticks per row
    Put16(xm, uint32_t(bpm));
    for (int i = 0; i < 256; i++)
        xm.push_back(0); // order table: pattern 0

    const int rows = 16;
    std::vector<uint8_t> cells;
    for (int row = 0; row < rows; row++)
        for (int channel = 0; channel < channels; channel++) {
            bool note = row == 0 && channel == 0;
            cells.push_back(note ? 49 : 0); // C-4
            cells.push_back(note ? 1 : 0);
            cells.push_back(0);
            cells.push_back(0);
            cells.push_back(0);
        }
    Put32(xm, 9);
    xm.push_back(0);
    Put16(xm, rows);
    Put16(xm, uint32_t(cells.size()));
    xm.insert(xm.end(), cells.begin(), cells.end());

    const int sampleLength = 64;
    Put32(xm, 263);
    PutText(xm, "square", 22);
    xm.push_back(0);
    Put16(xm, 1);  // samples
    Put32(xm, 40); // sample header size
    for (int i = 0; i < 96; i++)
        xm.push_back(0);
    for (int i = 0; i < 96; i++)
        xm.push_back(0); // both envelopes, unused
    for (int i = 0; i < 14; i++)
        xm.push_back(0); // envelope counts, points, types, vibrato
    Put16(xm, 0);        // fadeout
    for (int i = 0; i < 22; i++)
        xm.push_back(0);
    Put32(xm, sampleLength);
    Put32(xm, 0);
    Put32(xm, sampleLength);
    xm.push_back(64);  // volume
    xm.push_back(0);   // finetune
    xm.push_back(1);   // forward loop, 8-bit
    xm.push_back(128); // panning
    xm.push_back(0);   // relative note
    xm.push_back(0);
    PutText(xm, "square", 22);
    int previous = 0;
    for (int i = 0; i < sampleLength; i++) {
        int value = (i % 32) < 16 ? amplitude : -amplitude;
        xm.push_back(uint8_t(value - previous)); // delta coded
        previous = value;
    }
    return xm;
}

struct WavOptions {
    int channels = 1;
    int bits = 8;
    uint32_t rate = 11025;
    int formatSize = 16;        // 18 adds the extension size word
    bool listChunk = false;     // a "LIST" chunk before "data"
    bool dataChunk = true;
    int64_t claimedLength = -1; // data length in the header; -1 = the real one
};

inline std::vector<uint8_t> MakeWav(const std::vector<uint8_t> &samples, const WavOptions &options = WavOptions())
{
    std::vector<uint8_t> wav;
    PutText(wav, "RIFF", 4);
    Put32(wav, 0); // patched below
    PutText(wav, "WAVE", 4);
    PutText(wav, "fmt ", 4);
    Put32(wav, uint32_t(options.formatSize));
    Put16(wav, 1);
    Put16(wav, uint32_t(options.channels));
    Put32(wav, options.rate);
    Put32(wav, options.rate * uint32_t(options.channels) * uint32_t(options.bits / 8));
    Put16(wav, uint32_t(options.channels * options.bits / 8));
    Put16(wav, uint32_t(options.bits));
    for (int i = 16; i < options.formatSize; i++)
        wav.push_back(0);
    if (options.formatSize & 1)
        wav.push_back(0);
    if (options.listChunk) {
        PutText(wav, "LIST", 4);
        Put32(wav, 13);
        PutText(wav, "INFOISFT\x05\0\0\0z", 13);
        wav.push_back(0); // pad to even
    }
    if (options.dataChunk) {
        PutText(wav, "data", 4);
        Put32(wav, options.claimedLength >= 0 ? uint32_t(options.claimedLength) : uint32_t(samples.size()));
        wav.insert(wav.end(), samples.begin(), samples.end());
    }
    uint32_t riffSize = uint32_t(wav.size() - 8);
    for (int i = 0; i < 4; i++)
        wav[4 + i] = uint8_t(riffSize >> (8 * i));
    return wav;
}

inline void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        std::abort();
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

// A fresh directory made the current one for the test's lifetime.
struct ScratchDirectory {
    std::filesystem::path path, previous;
    ScratchDirectory()
    {
        previous = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "zarn-sound-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
        std::filesystem::current_path(path);
    }
    ~ScratchDirectory()
    {
        std::filesystem::current_path(previous);
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

// Everything the player mixes, on either device.
struct Capture {
    std::vector<int16_t> samples;
    static void Tap(const int16_t *frames, int32_t count, void *user)
    {
        auto *capture = static_cast<Capture *>(user);
        capture->samples.insert(capture->samples.end(), frames, frames + size_t(count) * 2);
    }
    void Attach() { MpSetOutputTap(Tap, this); }
    void Detach() { MpSetOutputTap(nullptr, nullptr); }
};

// Largest absolute sample value in [begin, end) of interleaved samples.
inline int Peak(const std::vector<int16_t> &samples, size_t begin = 0, size_t end = SIZE_MAX)
{
    int peak = 0;
    for (size_t i = begin; i < samples.size() && i < end; i++) {
        int value = samples[i] < 0 ? -int(samples[i]) : samples[i];
        if (value > peak)
            peak = value;
    }
    return peak;
}

// The silent device's clock, moved only by the test.
inline uint32_t &FakeMilliseconds()
{
    static uint32_t now = 1000;
    return now;
}
inline uint32_t FakeClock()
{
    return FakeMilliseconds();
}

} // namespace soundtest
