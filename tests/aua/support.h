// Shared helpers of the article-engine and menu tests: a private working
// directory per test with the DejaVu fonts installed under a face name, files
// written in code (text, 24-bit BMP), page buffers, PNG reading for goldens,
// and the engine's messages counted around a call.
#pragma once

#include "aua/aua.h"
#include "gfx/ttf.h"
#include "platform/platform.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace aua_test {

namespace fs = std::filesystem;

inline void StartEngineOnce() {
    static bool started = false;
    if (started) return;
    started = true;
    PlatformSelect("headless");
    StackheapInit(0);
    TtfInit();
}

// Copies the four DejaVu Sans styles as face.TTF, faceB.TTF, faceI.TTF, faceZ.TTF.
inline void InstallFonts(const std::string &face) {
    const fs::path dejavu = "/usr/share/fonts/truetype/dejavu";
    const char *sources[4] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSans-Oblique.ttf",
                              "DejaVuSans-BoldOblique.ttf"};
    const char *letters[4] = {"", "B", "I", "Z"};
    for (int i = 0; i < 4; i++)
        fs::copy_file(dejavu / sources[i], face + letters[i] + ".TTF", fs::copy_options::overwrite_existing);
}

// A fresh directory made current for one test, removed afterwards.
struct WorkDir {
    fs::path previous, path;
    WorkDir() {
        static std::atomic<int> counter{0};
        previous = fs::current_path();
        path = fs::temp_directory_path() /
               ("zarn-aua-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        fs::create_directories(path);
        fs::current_path(path);
    }
    ~WorkDir() {
        std::error_code error;
        fs::current_path(previous, error);
        fs::remove_all(path, error);
    }
};

inline void WriteFile(const std::string &name, const std::string &bytes) {
    FILE *file = fopen(name.c_str(), "wb");
    ASSERT_NE(file, nullptr) << name;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

// 24-bit bottom-up BMP whose pixel (x, y) is colour(x, y) as 0x00RRGGBB.
inline void WriteBmp(const std::string &name, int width, int height,
                     const std::function<uint32_t(int, int)> &colour) {
    int rowBytes = (width * 3 + 3) & ~3;
    std::string bytes(54 + (size_t)rowBytes * height, '\0');
    auto put32 = [&](int offset, uint32_t value) {
        for (int i = 0; i < 4; i++) bytes[offset + i] = (char)((value >> (8 * i)) & 255);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put32(2, (uint32_t)bytes.size());
    put32(10, 54);
    put32(14, 40);
    put32(18, (uint32_t)width);
    put32(22, (uint32_t)height);
    bytes[26] = 1;
    bytes[28] = 24;
    for (int y = 0; y < height; y++) {
        size_t row = 54 + (size_t)(height - 1 - y) * rowBytes;
        for (int x = 0; x < width; x++) {
            uint32_t c = colour(x, y);
            bytes[row + 3 * x] = (char)(c & 255);
            bytes[row + 3 * x + 1] = (char)((c >> 8) & 255);
            bytes[row + 3 * x + 2] = (char)((c >> 16) & 255);
        }
    }
    WriteFile(name, bytes);
}

inline void WriteSolidBmp(const std::string &name, int width, int height, uint32_t colour) {
    WriteBmp(name, width, height, [colour](int, int) { return colour; });
}

// An RGB or RGBA PNG as 0x00RRGGBB pixels; empty when unreadable.
inline std::vector<uint32_t> ReadPng(const std::string &path, int *width, int *height) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels((size_t)image.width * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    for (uint32_t &p : pixels) p &= 0x00FFFFFFu;
    *width = (int)image.width;
    *height = (int)image.height;
    return pixels;
}

// A 640 x 480 page filled with one colour.
struct Page {
    std::vector<uint32_t> pixels;
    explicit Page(uint32_t fill = 0x00102030u) : pixels(640 * 480, fill) {}
    uint32_t *data() { return pixels.data(); }
    uint32_t at(int x, int y) const { return pixels[(size_t)y * 640 + x]; }
};

// The page's links in target coordinates.
inline std::vector<PageLink> Links() {
    int count = 0;
    const PageLink *links = AuaGetLinks(&count);
    return std::vector<PageLink>(links, links + count);
}

// Links with the given target, in table order.
inline std::vector<PageLink> LinksTo(const std::string &target) {
    std::vector<PageLink> out;
    for (const PageLink &link : Links())
        if (target == link.target) out.push_back(link);
    return out;
}

// "<link name>text</link>": lets a test read back where text was drawn.
inline std::string Linked(const std::string &name, const std::string &text) {
    return "<link " + name + ">" + text + "</link>";
}

inline LayoutState CurrentState() {
    LayoutState state;
    AuaSaveState(&state);
    return state;
}

// Engine messages raised since construction.
struct Messages {
    int start = AuaExceptionCount();
    int count() const { return AuaExceptionCount() - start; }
    std::string last() const { return AuaLastException(); }
};

inline std::string Exception(const std::string &message) { return "*** AUA Exception: '" + message + "'\n"; }

// The viewer's geometry: a page of 640 x 480 with the text in (20, 50)-(620, 400).
struct EngineTest : ::testing::Test {
    WorkDir dir;
    Article article = {};
    Page page;

    void SetUp() override {
        StartEngineOnce();
        InstallFonts("verdana");
        AuaSetTarget(page.data(), 640, 480);
        AuaSelectFont("verdana", 0, 0);
    }
    void TearDown() override { AuaFreeArticle(&article); }

    // Writes the text as an article file and loads it with the viewer's rectangle.
    void Load(const std::string &text, const std::string &name = "article.txt") {
        AuaFreeArticle(&article);
        WriteFile(name, text);
        ASSERT_EQ(AuaLoadArticle(name.c_str(), &article), 1);
        article.textRect = {20, 50, 620, 400};
    }
    void Draw(int pageNumber = 0) {
        article.currentPage = pageNumber;
        AuaDrawPage(page.data(), 640, 480, &article);
    }
    // Width in the regular test face at a size.
    int Width(const std::string &text, int size = 10) {
        AuaSelectFont("verdana", 0, 0);
        AuaSetSize(size);
        return AuaTextWidth(text.c_str());
    }
};

} // namespace aua_test
