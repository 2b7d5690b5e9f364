// Shared pieces of the 3D engine tests: a private working directory with the
// engine's image files made in code, a V3D file writer, stdout capture, and
// golden-PNG comparison.
#pragma once

#include "engine3d/vx.h"
#include "engine3d/vxstate.h"
#include "gfx/image.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace vxtest {

inline void Put32(std::vector<uint8_t> &b, uint32_t v)
{
    for (int i = 0; i < 4; i++) b.push_back((uint8_t)(v >> (8 * i)));
}
inline void PutF(std::vector<uint8_t> &b, float f)
{
    uint32_t v;
    std::memcpy(&v, &f, 4);
    Put32(b, v);
}
inline void PutBytes(std::vector<uint8_t> &b, const void *p, size_t n)
{
    b.insert(b.end(), (const uint8_t *)p, (const uint8_t *)p + n);
}
inline void WriteFile(const std::string &path, const std::vector<uint8_t> &b)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
}

// 24-bit BMP from a pixel function.
template <class F>
void WriteBmp24(const std::string &path, int w, int h, F pixel)
{
    int pad = (4 - (w * 3) % 4) % 4;
    std::vector<uint8_t> b = {'B', 'M'};
    Put32(b, 54 + (w * 3 + pad) * h);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, (uint32_t)w);
    Put32(b, (uint32_t)h);
    b.push_back(1); b.push_back(0); b.push_back(24); b.push_back(0);
    for (int i = 0; i < 6; i++) Put32(b, 0);
    for (int y = h - 1; y >= 0; y--) {
        for (int x = 0; x < w; x++) {
            uint32_t p = pixel(x, y);
            b.push_back((uint8_t)p);
            b.push_back((uint8_t)(p >> 8));
            b.push_back((uint8_t)(p >> 16));
        }
        for (int i = 0; i < pad; i++) b.push_back(0);
    }
    WriteFile(path, b);
}

// 8-bit BMP (gray palette) from an index function; width a multiple of 4.
template <class F>
void WriteBmp8(const std::string &path, int w, int h, F index)
{
    std::vector<uint8_t> b = {'B', 'M'};
    Put32(b, 1078 + w * h);
    Put32(b, 0);
    Put32(b, 1078);
    Put32(b, 40);
    Put32(b, (uint32_t)w);
    Put32(b, (uint32_t)h);
    b.push_back(1); b.push_back(0); b.push_back(8); b.push_back(0);
    for (int i = 0; i < 6; i++) Put32(b, 0);
    for (int i = 0; i < 256; i++) Put32(b, (uint32_t)(i * 0x010101));
    for (int y = h - 1; y >= 0; y--)
        for (int x = 0; x < w; x++) b.push_back((uint8_t)index(x, y));
    WriteFile(path, b);
}

// Format-2 V3D writer.
struct V3d {
    std::vector<uint8_t> body;
    int32_t objects = 0;
    uint32_t version = 0x200;
    void Object(int32_t kind, int32_t keyCount = 0, uint32_t marker = 0x42424242)
    {
        Put32(body, (uint32_t)kind);
        Put32(body, (uint32_t)keyCount);
        Put32(body, marker);
        for (int i = 0; i < 6; i++) Put32(body, 0);
        objects++;
    }
    struct Face {
        int32_t c[3];
        float row[3], col[3];
        const char *tex1, *tex2;
        uint32_t mode;
    };
    void Model(const std::vector<float> &vertices, const std::vector<Face> &faces)
    {
        Object(VX_MODEL);
        Put32(body, (uint32_t)(vertices.size() / 3));
        Put32(body, (uint32_t)faces.size());
        for (float v : vertices) PutF(body, v);
        for (const Face &f : faces) {
            for (int k = 0; k < 3; k++) Put32(body, (uint32_t)f.c[k]);
            for (int k = 0; k < 3; k++) PutF(body, f.row[k]);
            for (int k = 0; k < 3; k++) PutF(body, f.col[k]);
            char n1[15] = {}, n2[15] = {};
            std::strncpy(n1, f.tex1 ? f.tex1 : "", 15);
            std::strncpy(n2, f.tex2 ? f.tex2 : "", 15);
            PutBytes(body, n1, 15);
            PutBytes(body, n2, 15);
            Put32(body, f.mode);
        }
    }
    void Sun(float x, float y, float z, int16_t kind = 0, int16_t size = 0)
    {
        Object(VX_SUN);
        PutF(body, x); PutF(body, y); PutF(body, z);
        PutBytes(body, &kind, 2);
        PutBytes(body, &size, 2);
    }
    void Shadow(float x, float y, float z, int32_t projection, float scale, int32_t receiver)
    {
        Object(VX_SHADOW);
        PutF(body, x); PutF(body, y); PutF(body, z);
        for (int i = 0; i < 3; i++) PutF(body, 0); // extra
        Put32(body, (uint32_t)projection);
        PutF(body, scale);
        for (int i = 0; i < 4; i++) Put32(body, 0); // reserved
        Put32(body, (uint32_t)receiver);
    }
    void ShadowLink(int32_t receiver, int32_t followed)
    {
        Object(VX_SHADOW_LINK);
        Put32(body, (uint32_t)receiver);
        Put32(body, (uint32_t)followed);
    }
    std::vector<uint8_t> Bytes(int32_t countOverride = -1) const
    {
        std::vector<uint8_t> b = {'V', 'X', '3', 'D'};
        Put32(b, version);
        Put32(b, (uint32_t)(countOverride >= 0 ? countOverride : objects));
        while (b.size() < 256) b.push_back(0);
        b.insert(b.end(), body.begin(), body.end());
        return b;
    }
};

// A quad of two faces facing the camera at depth z, side s, centred at (cx, cy).
inline void Quad(V3d &v, float cx, float cy, float z, float s, const char *tex, uint32_t mode,
                 const char *tex2 = "")
{
    std::vector<float> vert = {cx - s, cy + s, z, cx + s, cy + s, z, cx + s, cy - s, z, cx - s, cy - s, z};
    // Screen-anticlockwise order (top-left, bottom-left, bottom-right) faces the camera.
    std::vector<V3d::Face> faces = {
        {{0, 3, 2}, {0, 63, 63}, {0, 0, 63}, tex, tex2, mode},
        {{0, 2, 1}, {0, 63, 0}, {0, 63, 63}, tex, tex2, mode},
    };
    v.Model(vert, faces);
}

// Captures what the engine prints on stdout.
struct Capture {
    std::string Run(const std::function<void()> &f)
    {
        std::fflush(stdout);
        char path[] = "/tmp/vxcapXXXXXX";
        int fd = mkstemp(path);
        int saved = dup(1);
        dup2(fd, 1);
        f();
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
        std::string out;
        lseek(fd, 0, SEEK_SET);
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, (size_t)n);
        close(fd);
        unlink(path);
        return out;
    }
};

// A fresh directory with lens.bmp, standard.bmp, a few textures; the test
// runs inside it with the engine started for w x h.
class Engine : public ::testing::Test {
  protected:
    std::string dir, oldDir;
    int32_t width = 640, height = 480;
    void SetUp() override
    {
        char tmpl[] = "/tmp/vx3dXXXXXX";
        dir = mkdtemp(tmpl);
        oldDir = std::filesystem::current_path().string();
        std::filesystem::current_path(dir);
        WriteBmp24("lens.bmp", 32, 32, [](int x, int y) {
            int d = (x - 16) * (x - 16) + (y - 16) * (y - 16);
            return d < 200 ? 0x403020u : 0u;
        });
        WriteBmp24("standard.bmp", 64, 64, [](int x, int y) { return ((x / 8 + y / 8) & 1) ? 0xC0C0C0u : 0x404040u; });
        WriteBmp24("checker.bmp", 64, 64, [](int x, int y) { return ((x / 8 + y / 8) & 1) ? 0xFF2020u : 0x2020FFu; });
        WriteBmp24("grad.bmp", 64, 64, [](int x, int y) { return (uint32_t)((x * 4) << 16 | (y * 4) << 8 | 0x40); });
        WriteBmp24("spark.bmp", 8, 8, [](int x, int y) {
            int d = (x - 4) * (x - 4) + (y - 4) * (y - 4);
            return d < 10 ? 0x80A0FFu : 0u;
        });
        WriteBmp8("layer.bmp", 64, 64, [](int x, int y) { return ((x + y) & 16) ? 96 : 0; });
        Prepare();
        ASSERT_EQ(VxInit(width, height), 1);
    }
    virtual void Prepare() {}
    void TearDown() override
    {
        vxtest::Capture cap;
        cap.Run([] { VxShutdown(); });
        std::filesystem::current_path(oldDir);
        std::filesystem::remove_all(dir);
    }
};

inline bool ReadPng(const std::string &path, std::vector<uint32_t> &pixels, int &w, int &h)
{
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_BGRA;
    w = (int)img.width;
    h = (int)img.height;
    pixels.assign((size_t)w * h, 0);
    if (!png_image_finish_read(&img, nullptr, pixels.data(), 0, nullptr)) return false;
    for (uint32_t &p : pixels) p &= 0xFFFFFF;
    return true;
}

// Compares a page with tests/engine3d/golden/NAME.png and writes the page next
// to the build as NAME.png. With ZARN_UPDATE_GOLDEN set the golden file is
// (re)written instead. A few pixels may differ by rounding between builds.
inline void ExpectGolden(const char *name, const uint32_t *page, int w, int h)
{
    std::string golden = std::string(ZARN_SOURCE_DIR) + "/tests/engine3d/golden/" + name + ".png";
    std::string out = std::string(ZARN_BINARY_DIR) + "/engine3d-" + name + ".png";
    SavePagePng(out.c_str(), page, w, h);
    if (std::getenv("ZARN_UPDATE_GOLDEN")) {
        std::filesystem::create_directories(std::filesystem::path(golden).parent_path());
        ASSERT_EQ(SavePagePng(golden.c_str(), page, w, h), 1);
        return;
    }
    std::vector<uint32_t> ref;
    int gw = 0, gh = 0;
    ASSERT_TRUE(ReadPng(golden, ref, gw, gh)) << golden;
    ASSERT_EQ(gw, w);
    ASSERT_EQ(gh, h);
    int differ = 0;
    for (int i = 0; i < w * h; i++) differ += ref[i] != page[i];
    EXPECT_LE(differ, w * h / 200) << name << ": " << differ << " pixels differ (see " << out << ")";
}

} // namespace vxtest
