// LZRW3 throughput on about 4 MB of text and 4 MB of binary data, each beside
// a memcpy of the same output size. Counters: MB/s of output (decompression)
// or input (compression), and memcpy_ratio = codec time / memcpy time. The
// plain decoding loop runs beside the fast one.
//
// Text is the packages' copyright files (/usr/share/doc/*/copyright in byte
// order), binary is /usr/bin/* in byte order, each cut at 4 MB; machines
// without them fall back to deterministic generators. The same data for
// instruction counts under callgrind:
//   LC_ALL=C; for f in /usr/share/doc/*/copyright; do [ -f "$f" ] && cat "$f"; done | head -c 4194304 >text
//   zarn-tool lzrw3 compress text text.lz
//   valgrind --tool=callgrind --toggle-collect='Lzrw3Decompress*' zarn-tool lzrw3 decompress text.lz text.out 4194304
// and instructions per byte = the "Collected" Ir / 4194304 (the codec entry is
// inlined there; the count includes the one allocation). Binary likewise with
// /usr/bin/* in place of the copyright files.
#include "store/lzrw3.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

const size_t kCorpusSize = 4u << 20;

// Appends whole files (in byte order of their paths) until limit bytes are held.
void AppendFiles(std::vector<std::string> paths, Bytes *out, size_t limit)
{
    std::sort(paths.begin(), paths.end());
    for (const std::string &path : paths) {
        if (out->size() >= limit)
            break;
        std::error_code ec;
        if (!fs::is_regular_file(path, ec))
            continue;
        std::ifstream in(path, std::ios::binary);
        std::vector<char> chunk(1 << 16);
        while (out->size() < limit && in.read(chunk.data(), long(chunk.size())).gcount() > 0) {
            size_t take = std::min(size_t(in.gcount()), limit - out->size());
            out->insert(out->end(), chunk.begin(), chunk.begin() + long(take));
        }
    }
}

Bytes GeneratedText(size_t size)
{
    static const char *words[] = {"the", "of", "and", "a", "to", "in", "is", "you", "that", "it", "he", "was",
                                  "for", "on", "are", "as", "with", "his", "they", "at", "be", "this", "have",
                                  "from", "or", "one", "had", "by", "word", "but", "not", "what", "all", "were",
                                  "we", "when", "your", "can", "said", "there", "use", "an", "each", "which",
                                  "she", "do", "how", "their", "if", "will", "up", "other", "about", "out",
                                  "many", "then", "them", "these", "so", "some", "her", "would", "make",
                                  "like", "magazine", "issue", "article", "picture", "archive", "reader"};
    const size_t count = sizeof words / sizeof words[0];
    std::mt19937 rng(1991);
    Bytes out;
    size_t line = 0;
    while (out.size() < size) {
        // Zipf-like: low indexes are much more common.
        size_t pick = size_t(double(count) * std::pow(double(rng()) / double(rng.max()), 3.0)) % count;
        const char *w = words[pick];
        out.insert(out.end(), w, w + std::strlen(w));
        line += std::strlen(w) + 1;
        if (line > 70 || rng() % 40 == 0) {
            out.push_back(rng() % 8 == 0 ? '.' : ',');
            out.push_back('\n');
            line = 0;
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

Bytes GeneratedBinary(size_t size)
{
    std::mt19937 rng(1990);
    Bytes out;
    while (out.size() < size) {
        uint32_t kind = rng() % 8;
        if (kind < 3) { // instruction-like bytes with repeated opcodes
            static const uint8_t ops[] = {0x48, 0x89, 0x8B, 0xE8, 0x0F, 0x85, 0xC3, 0x83, 0xFF, 0x31};
            for (int i = 0; i < 16; i++)
                out.push_back(ops[rng() % 10]);
        } else if (kind < 5) { // little-endian pointers into one region
            uint32_t v = 0x401000 + (rng() % 4096) * 8;
            for (int i = 0; i < 8; i++)
                out.push_back(uint8_t(i < 4 ? v >> (8 * i) : 0));
        } else if (kind < 7) {
            out.insert(out.end(), rng() % 32, 0);
        } else {
            for (int i = 0; i < 8; i++)
                out.push_back(uint8_t(rng()));
        }
    }
    out.resize(size);
    return out;
}

const Bytes &TextCorpus()
{
    static Bytes text = [] {
        Bytes out;
        std::vector<std::string> paths;
        std::error_code ec;
        for (fs::directory_iterator it("/usr/share/doc", ec), end; !ec && it != end; it.increment(ec))
            paths.push_back(it->path().string() + "/copyright");
        AppendFiles(paths, &out, kCorpusSize);
        return out.size() == kCorpusSize ? out : GeneratedText(kCorpusSize);
    }();
    return text;
}

const Bytes &BinaryCorpus()
{
    static Bytes binary = [] {
        Bytes out;
        std::vector<std::string> paths;
        std::error_code ec;
        for (fs::directory_iterator it("/usr/bin", ec), end; !ec && it != end; it.increment(ec))
            paths.push_back(it->path().string());
        AppendFiles(paths, &out, kCorpusSize);
        return out.size() == kCorpusSize ? out : GeneratedBinary(kCorpusSize);
    }();
    return binary;
}

const Bytes &Corpus(int which)
{
    return which == 0 ? TextCorpus() : BinaryCorpus();
}

const char *CorpusName(int which)
{
    return which == 0 ? "text" : "binary";
}

Bytes Packed(int which)
{
    const Bytes &data = Corpus(which);
    Bytes packed(data.size() + LZRW3_COMPRESS_OVERRUN);
    uint32_t length = 0;
    Lzrw3Codec(LZRW3_COMPRESS, nullptr, data.data(), uint32_t(data.size()), packed.data(), &length);
    packed.resize(length);
    return packed;
}

// Seconds per memcpy of size bytes: the best of several runs.
double MemcpySeconds(size_t size)
{
    static Bytes from(kCorpusSize, 1), to(kCorpusSize);
    double best = 1e9;
    for (int i = 0; i < 30; i++) {
        auto start = std::chrono::steady_clock::now();
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// MB/s from the loop's own wall-clock time (the machine may be shared, so
// compare runs of one sitting), and the time ratio to a memcpy of the output.
void Report(benchmark::State &state, size_t bytes, double seconds)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
    if (state.iterations() == 0 || seconds <= 0)
        return;
    state.counters["MB/s"] = double(bytes) * double(state.iterations()) / seconds / 1e6;
    state.counters["memcpy_ratio"] = seconds / double(state.iterations()) / MemcpySeconds(bytes);
}

void BM_Lzrw3Decompress(benchmark::State &state)
{
    int which = int(state.range(0));
    const Bytes &data = Corpus(which);
    Bytes packed = Packed(which);
    Bytes out(data.size());
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        uint32_t length = uint32_t(out.size());
        Lzrw3Codec(LZRW3_DECOMPRESS, nullptr, packed.data(), uint32_t(packed.size()), out.data(), &length);
        benchmark::DoNotOptimize(out.data());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (length != data.size()) {
            state.SkipWithError("decompression failed");
            return;
        }
    }
    if (out != data)
        state.SkipWithError("decompression differs");
    state.SetLabel(std::string(CorpusName(which)) + ", ratio " +
                   std::to_string(double(packed.size()) / double(data.size())).substr(0, 5));
    Report(state, data.size(), seconds);
}

// The plain one-item loop on the same block: what the fast groups gain.
void BM_Lzrw3DecompressPlain(benchmark::State &state)
{
    int which = int(state.range(0));
    const Bytes &data = Corpus(which);
    Bytes packed = Packed(which);
    Bytes out(data.size());
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        int64_t length = Lzrw3DecodePlain(packed.data(), uint32_t(packed.size()), out.data(), uint32_t(out.size()));
        benchmark::DoNotOptimize(out.data());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (length != int64_t(data.size())) {
            state.SkipWithError("decompression failed");
            return;
        }
    }
    state.SetLabel(CorpusName(which));
    Report(state, data.size(), seconds);
}

void BM_Lzrw3Compress(benchmark::State &state)
{
    int which = int(state.range(0));
    const Bytes &data = Corpus(which);
    Bytes packed(data.size() + LZRW3_COMPRESS_OVERRUN);
    double seconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        uint32_t length = 0;
        Lzrw3Codec(LZRW3_COMPRESS, nullptr, data.data(), uint32_t(data.size()), packed.data(), &length);
        benchmark::DoNotOptimize(packed.data());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetLabel(CorpusName(which));
    Report(state, data.size(), seconds);
}

// The baseline itself: a memcpy of the same output size.
void BM_Lzrw3Memcpy(benchmark::State &state)
{
    int which = int(state.range(0));
    const Bytes &data = Corpus(which);
    Bytes out(data.size());
    for (auto _ : state) {
        std::memcpy(out.data(), data.data(), data.size());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetLabel(CorpusName(which));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    state.counters["MB/s"] = double(data.size()) / MemcpySeconds(data.size()) / 1e6;
}

} // namespace

BENCHMARK(BM_Lzrw3Decompress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lzrw3DecompressPlain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lzrw3Memcpy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lzrw3Compress)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
