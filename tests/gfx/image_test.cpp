// Picture loading from files the tests write themselves: BMP variants, good and
// hostile; JPEGs made with libjpeg's compressor (colour, grey, progressive,
// CMYK, truncated, corrupt); a JPEG read from inside a small archive; and the
// PNG writer read back with libpng.
#include "gfx/image.h"

#include "store/datafile.h"
#include "store/lzrw3.h"
#include "store/stackheap.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + (size_t)i] = (uint8_t)(v >> (8 * i));
}

void Put16(Bytes &b, size_t at, uint16_t v)
{
    b[at] = (uint8_t)v;
    b[at + 1] = (uint8_t)(v >> 8);
}

void WriteFile(const std::string &name, const Bytes &bytes)
{
    std::ofstream out(name, std::ios::binary);
    out.write((const char *)bytes.data(), (std::streamsize)bytes.size());
}

Bytes ReadFile(const std::string &name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct BmpSpec {
    int32_t width = 1, height = 1; // height < 0: top-down
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t colorsUsed = 0;
    Bytes palette;          // 4 bytes an entry
    Bytes extra;            // bytes between header (+ palette) and pixel data
    Bytes pixelArea;        // as stored
    bool zeroOffset = false;
};

Bytes MakeBmp(const BmpSpec &s)
{
    size_t offset = 14 + s.headerSize + s.palette.size() + s.extra.size();
    Bytes b(14 + s.headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, (uint32_t)(offset + s.pixelArea.size()));
    Put32(b, 10, s.zeroOffset ? 0u : (uint32_t)offset);
    Put32(b, 14, s.headerSize);
    if (s.headerSize >= 40) {
        Put32(b, 18, (uint32_t)s.width);
        Put32(b, 22, (uint32_t)s.height);
        Put16(b, 26, 1);
        Put16(b, 28, s.bitCount);
        Put32(b, 30, s.compression);
        Put32(b, 34, (uint32_t)s.pixelArea.size());
        Put32(b, 46, s.colorsUsed);
    }
    b.insert(b.end(), s.palette.begin(), s.palette.end());
    b.insert(b.end(), s.extra.begin(), s.extra.end());
    b.insert(b.end(), s.pixelArea.begin(), s.pixelArea.end());
    return b;
}

// The 3 x 2 picture used by several cases, top row first.
const uint32_t kSmall[6] = {0x00112233u, 0x00445566u, 0x00778899u, 0x00AABBCCu, 0x00DDEEFFu, 0x00010203u};

// Rows of 9 bytes padded to 12, in the order the file stores them.
Bytes SmallArea(bool topDown)
{
    Bytes area;
    for (int stored = 0; stored < 2; stored++) {
        int row = topDown ? stored : 1 - stored;
        for (int x = 0; x < 3; x++) {
            uint32_t p = kSmall[row * 3 + x];
            area.push_back((uint8_t)p);
            area.push_back((uint8_t)(p >> 8));
            area.push_back((uint8_t)(p >> 16));
        }
        area.insert(area.end(), {0xEE, 0xEE, 0xEE});
    }
    return area;
}

BmpSpec SmallBmp(bool topDown)
{
    BmpSpec s;
    s.width = 3;
    s.height = topDown ? -2 : 2;
    s.pixelArea = SmallArea(topDown);
    return s;
}

// An 8-bit 5 x 3 picture (rows padded to 8 bytes) with a 4-colour palette.
const uint32_t kPalette[4] = {0x00000000u, 0x00FF0000u, 0x0000FF00u, 0x00123456u};
const uint8_t kIndices[15] = {0, 1, 2, 3, 0, 3, 3, 2, 1, 1, 2, 0, 0, 3, 1};

BmpSpec PalettedBmp()
{
    BmpSpec s;
    s.width = 5;
    s.height = 3;
    s.bitCount = 8;
    s.colorsUsed = 4;
    for (uint32_t c : kPalette)
        s.palette.insert(s.palette.end(), {(uint8_t)c, (uint8_t)(c >> 8), (uint8_t)(c >> 16), 0});
    for (int stored = 0; stored < 3; stored++) {
        int row = 2 - stored;
        for (int x = 0; x < 5; x++)
            s.pixelArea.push_back(kIndices[row * 5 + x]);
        s.pixelArea.insert(s.pixelArea.end(), {0xAA, 0xAA, 0xAA});
    }
    return s;
}

struct Jpeg {
    int32_t width = 16, height = 8, components = 3;
    J_COLOR_SPACE space = JCS_RGB;
    bool progressive = false;
    bool noisy = false; // scan data much larger than the headers
};

// Flat colour in each 16 x 16 block (a whole subsampled chroma block), so
// the decoded colours come back close.
uint8_t Sample(int32_t x, int32_t y, int c)
{
    int block = (x / 16) + 3 * (y / 16);
    return (uint8_t)((block * 70 + c * 90 + 30) % 256);
}

Bytes MakeJpeg(const Jpeg &j)
{
    char path[] = "/tmp/zarn-jpeg-XXXXXX";
    int fd = mkstemp(path);
    FILE *out = fdopen(fd, "wb");
    jpeg_compress_struct encoder;
    jpeg_error_mgr errors;
    encoder.err = jpeg_std_error(&errors);
    jpeg_create_compress(&encoder);
    jpeg_stdio_dest(&encoder, out);
    encoder.image_width = (JDIMENSION)j.width;
    encoder.image_height = (JDIMENSION)j.height;
    encoder.input_components = j.components;
    encoder.in_color_space = j.space;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, 100, TRUE);
    if (j.progressive)
        jpeg_simple_progression(&encoder);
    jpeg_start_compress(&encoder, TRUE);
    std::vector<JSAMPLE> row((size_t)(j.width * j.components));
    while (encoder.next_scanline < encoder.image_height) {
        for (int32_t x = 0; x < j.width; x++)
            for (int c = 0; c < j.components; c++)
                row[(size_t)(x * j.components + c)] =
                    j.noisy ? (JSAMPLE)((x * 7919 + (int32_t)encoder.next_scanline * 104729 + c * 31) * 2654435761u >> 24)
                            : Sample(x, (int32_t)encoder.next_scanline, c);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&encoder, rows, 1);
    }
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    fclose(out);
    Bytes bytes = ReadFile(path);
    unlink(path);
    return bytes;
}

void ExpectNear(uint32_t expected, uint32_t actual, int tolerance, const char *what)
{
    for (int s = 0; s < 24; s += 8) {
        int e = (int)((expected >> s) & 0xFF), a = (int)((actual >> s) & 0xFF);
        ASSERT_LE(std::abs(e - a), tolerance) << what << " expected " << std::hex << expected << " got " << actual;
    }
    ASSERT_EQ(0u, actual >> 24) << what;
}

class ImageTest : public ::testing::Test {
protected:
    std::string previous, directory;
    void SetUp() override
    {
        char name[] = "/tmp/zarn-image-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(name));
        directory = name;
        previous = std::filesystem::current_path().string();
        std::filesystem::current_path(directory);
        StackheapInit(0);
    }
    void TearDown() override
    {
        ArchiveResetForTests();
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(directory);
    }
};

// [SECTION] BMP

TEST_F(ImageTest, SmallBmpWithPaddingBottomUpAndTopDown)
{
    for (bool topDown : {false, true}) {
        WriteFile("small.bmp", MakeBmp(SmallBmp(topDown)));
        int32_t w = 0, h = 0;
        uint32_t *pixels = LoadBmp("small.bmp", &w, &h);
        ASSERT_NE(nullptr, pixels) << "top-down " << topDown;
        EXPECT_EQ(3, w);
        EXPECT_EQ(2, h);
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(kSmall[i], pixels[i]) << i << " top-down " << topDown;
        StackheapFree(pixels);
        Picture picture = LoadPicture("small.bmp");
        ASSERT_NE(nullptr, picture.pixels);
        EXPECT_EQ(3, picture.width);
        EXPECT_EQ(kSmall[5], picture.pixels[5]);
        StackheapFree(picture.pixels);
    }
}

TEST_F(ImageTest, BmpDataOffsetIsHonoured)
{
    BmpSpec s = SmallBmp(false);
    s.extra = Bytes(10, 0x55); // a gap between header and pixels
    WriteFile("gap.bmp", MakeBmp(s));
    int32_t w = 0, h = 0;
    uint32_t *pixels = LoadBmp("gap.bmp", &w, &h);
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(kSmall[0], pixels[0]);
    EXPECT_EQ(kSmall[5], pixels[5]);
    StackheapFree(pixels);
    // A longer (V5) header moves the data too.
    s = SmallBmp(true);
    s.headerSize = 124;
    WriteFile("v5.bmp", MakeBmp(s));
    pixels = LoadBmp("v5.bmp", &w, &h);
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(kSmall[3], pixels[3]);
    StackheapFree(pixels);
}

TEST_F(ImageTest, PalettedBmpExpandsThroughItsPaletteAndKeepsIndices)
{
    WriteFile("pal.bmp", MakeBmp(PalettedBmp()));
    int32_t w = 0, h = 0, bytes = 0;
    uint32_t *pixels = LoadBmp("pal.bmp", &w, &h);
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(5, w);
    EXPECT_EQ(3, h);
    for (int i = 0; i < 15; i++)
        EXPECT_EQ(kPalette[kIndices[i]], pixels[i]) << i;
    StackheapFree(pixels);

    uint8_t *indices = LoadBmpIndices("pal.bmp", &w, &h, &bytes);
    ASSERT_NE(nullptr, indices);
    EXPECT_EQ(1, bytes);
    EXPECT_EQ(0, memcmp(kIndices, indices, 15)); // padding skipped, rows flipped
    StackheapFree(indices);
    indices = LoadBmpIndicesRaw("pal.bmp", &w, &h);
    ASSERT_NE(nullptr, indices);
    EXPECT_EQ(0, memcmp(kIndices, indices, 15));
    StackheapFree(indices);

    // Index beyond the palette's four entries: black, not a read past it.
    BmpSpec s = PalettedBmp();
    s.pixelArea[0] = 200;
    WriteFile("pal2.bmp", MakeBmp(s));
    pixels = LoadBmp("pal2.bmp", &w, &h);
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(0u, pixels[10]);
    StackheapFree(pixels);
}

TEST_F(ImageTest, IndicesOfOtherDepthsComeAsPixels)
{
    WriteFile("small.bmp", MakeBmp(SmallBmp(false)));
    int32_t w = 0, h = 0, bytes = 0;
    uint8_t *data = LoadBmpIndices("small.bmp", &w, &h, &bytes);
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(4, bytes);
    EXPECT_EQ(kSmall[4], ((uint32_t *)data)[4]);
    StackheapFree(data);
    // Read as 8-bit whatever the header says: 3 index bytes a row, 4 with padding.
    data = LoadBmpIndicesRaw("small.bmp", &w, &h);
    ASSERT_NE(nullptr, data);
    EXPECT_EQ(0xEE, data[0]); // the second 4-byte stored row is the top row
    StackheapFree(data);
}

TEST_F(ImageTest, ThirtyTwoBitBmps)
{
    BmpSpec s;
    s.width = 2;
    s.height = 1;
    s.bitCount = 32;
    s.pixelArea = {0x33, 0x22, 0x11, 0x99, 0x66, 0x55, 0x44, 0x99};
    WriteFile("rgb.bmp", MakeBmp(s));
    int32_t w = 0, h = 0;
    uint32_t *pixels = LoadBmp("rgb.bmp", &w, &h);
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(0x00112233u, pixels[0]); // fourth byte dropped
    EXPECT_EQ(0x00445566u, pixels[1]);
    StackheapFree(pixels);

    s.compression = 3; // BI_BITFIELDS with the usual masks
    s.extra = {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0};
    WriteFile("fields.bmp", MakeBmp(s));
    pixels = LoadBmp("fields.bmp", &w, &h);
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(0x00445566u, pixels[1]);
    StackheapFree(pixels);

    s.extra = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}; // other masks
    WriteFile("odd.bmp", MakeBmp(s));
    EXPECT_EQ(nullptr, LoadBmp("odd.bmp", &w, &h));
}

TEST_F(ImageTest, UnsupportedAndBadHeadersAreRefused)
{
    int32_t w = 0, h = 0;
    auto refused = [&](const BmpSpec &s, const char *what) {
        WriteFile("bad.bmp", MakeBmp(s));
        EXPECT_EQ(nullptr, LoadBmp("bad.bmp", &w, &h)) << what;
        EXPECT_EQ(nullptr, LoadBmpScaled("bad.bmp", 4, 4)) << what;
        Picture p = LoadPicture("bad.bmp");
        EXPECT_EQ(nullptr, p.pixels) << what;
        EXPECT_EQ(0, p.width) << what;
    };
    BmpSpec s = SmallBmp(false);
    s.compression = 1;
    refused(s, "RLE");
    s = SmallBmp(false);
    s.bitCount = 16;
    refused(s, "16-bit");
    s.bitCount = 4;
    refused(s, "4-bit");
    s = SmallBmp(false);
    s.headerSize = 12;
    refused(s, "core header");
    const int32_t sizes[][2] = {{0, 2}, {-3, 2}, {3, 0}, {16385, 1}, {1, 16385}, {1, -16385}, {1, INT32_MIN}, {INT32_MIN, 1}};
    for (const auto &size : sizes) {
        s = SmallBmp(false);
        s.width = size[0];
        s.height = size[1];
        refused(s, "size");
    }
    Bytes notBmp = MakeBmp(SmallBmp(false));
    notBmp[1] = 'A';
    WriteFile("bad.bmp", notBmp);
    EXPECT_EQ(nullptr, LoadBmp("bad.bmp", &w, &h));
    WriteFile("bad.bmp", Bytes{'B', 'M', 0, 0});
    EXPECT_EQ(nullptr, LoadBmp("bad.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmpIndices("bad.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmp("missing.bmp", &w, &h));

    s = PalettedBmp();
    s.compression = 1; // RLE8 index data
    WriteFile("rle.bmp", MakeBmp(s));
    EXPECT_EQ(nullptr, LoadBmpIndices("rle.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmp("rle.bmp", &w, &h));
}

TEST_F(ImageTest, TruncatedAndHostileBmpsAreRefused)
{
    int32_t w = 0, h = 0;
    Bytes full = MakeBmp(SmallBmp(false));
    WriteFile("cut.bmp", Bytes(full.begin(), full.end() - 1));
    EXPECT_EQ(nullptr, LoadBmp("cut.bmp", &w, &h));
    Bytes pal = MakeBmp(PalettedBmp());
    WriteFile("cut8.bmp", Bytes(pal.begin(), pal.end() - 1));
    EXPECT_EQ(nullptr, LoadBmp("cut8.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmpIndices("cut8.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmpIndicesRaw("cut8.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmpIndicesScaled("cut8.bmp", 8, 8));

    // The largest accepted size in a file of a few dozen bytes.
    BmpSpec s = SmallBmp(false);
    s.width = 16384;
    s.height = -16384;
    WriteFile("huge.bmp", MakeBmp(s));
    EXPECT_EQ(nullptr, LoadBmp("huge.bmp", &w, &h));
    s.bitCount = 8;
    WriteFile("huge8.bmp", MakeBmp(s));
    EXPECT_EQ(nullptr, LoadBmpIndices("huge8.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmpIndicesRaw("huge8.bmp", &w, &h));

    // A data offset pointing past the end.
    Bytes moved = MakeBmp(SmallBmp(false));
    Put32(moved, 10, 0x7FFFFFF0u);
    WriteFile("moved.bmp", moved);
    EXPECT_EQ(nullptr, LoadBmp("moved.bmp", &w, &h));
}

// The pixel-area limit at its edge: the largest picture loads, one row more
// is refused before anything of its size is asked for.
TEST_F(ImageTest, PictureAreaLimitIsHeldAtItsEdge)
{
    BmpSpec s;
    s.width = 4096;
    s.height = IMAGE_MAX_PIXELS / 4096;
    s.bitCount = 8;
    s.colorsUsed = 1;
    s.palette = {0x10, 0x20, 0x30, 0};
    s.pixelArea.assign((size_t)IMAGE_MAX_PIXELS, 0);
    WriteFile("largest.bmp", MakeBmp(s));
    int32_t w = 0, h = 0, bytes = 0;
    uint8_t *indices = LoadBmpIndices("largest.bmp", &w, &h, &bytes);
    ASSERT_NE(nullptr, indices);
    EXPECT_EQ(4096, w);
    EXPECT_EQ(IMAGE_MAX_PIXELS / 4096, h);
    EXPECT_EQ(1, bytes);
    StackheapFree(indices);

    s.height++;
    s.pixelArea.resize(s.pixelArea.size() + 4096, 0);
    WriteFile("over.bmp", MakeBmp(s));
    StackheapResetLargestRequest();
    EXPECT_EQ(nullptr, LoadBmp("over.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmpIndices("over.bmp", &w, &h));
    EXPECT_EQ(nullptr, LoadBmpIndicesRaw("over.bmp", &w, &h));
    EXPECT_LT(StackheapLargestRequest(), 4096) << "the over-sized picture's data was read";
}

// A JPEG earns at most JPEG_MAX_PIXELS_PER_BYTE pixels for each byte of its
// file, and never more than the area limit. A small real JPEG whose header is
// made to claim more stands for the hostile file: at the edge the loader goes
// as far as asking for the picture's pixels (the file then runs out of data);
// one pixel beyond, it asks for nothing of that size.
TEST_F(ImageTest, JpegPixelsAreEarnedByTheFileLength)
{
    Bytes small = MakeJpeg(Jpeg());
    size_t sof = 0;
    for (size_t i = 0; i + 8 < small.size() && !sof; i++)
        if (small[i] == 0xFF && small[i + 1] == 0xC0)
            sof = i;
    ASSERT_NE(0u, sof);
    auto claim = [&](const char *name, uint32_t width, uint32_t height, size_t fileBytes) {
        Bytes file = small;
        file[sof + 5] = (uint8_t)(height >> 8);
        file[sof + 6] = (uint8_t)height;
        file[sof + 7] = (uint8_t)(width >> 8);
        file[sof + 8] = (uint8_t)width;
        file.resize(std::max(fileBytes, file.size()), 0); // after the end marker: only length
        WriteFile(name, file);
        return file.size();
    };
    int32_t w = 0, h = 0;
    const uint32_t perByte = JPEG_MAX_PIXELS_PER_BYTE;
    // 512 x (file length) pixels: exactly what the file earns.
    size_t length = claim("edge.jpg", perByte, (uint32_t)small.size(), 0);
    StackheapResetLargestRequest();
    StackheapFree(LoadJpeg("edge.jpg", &w, &h));
    EXPECT_EQ(StackheapLargestRequest(), (int32_t)(perByte * length * 4));
    claim("beyond.jpg", perByte, (uint32_t)small.size() + 1, 0);
    StackheapResetLargestRequest();
    EXPECT_EQ(nullptr, LoadJpeg("beyond.jpg", &w, &h));
    EXPECT_LT(StackheapLargestRequest(), 4096);

    // A file long enough for any size still stops at the area limit.
    size_t padded = IMAGE_MAX_PIXELS / perByte + 4096 / perByte + 1;
    claim("largest.jpg", 4096, IMAGE_MAX_PIXELS / 4096, padded);
    StackheapResetLargestRequest();
    StackheapFree(LoadJpeg("largest.jpg", &w, &h));
    EXPECT_EQ(StackheapLargestRequest(), IMAGE_MAX_PIXELS * 4);
    claim("over.jpg", 4096, IMAGE_MAX_PIXELS / 4096 + 1, padded);
    StackheapResetLargestRequest();
    EXPECT_EQ(nullptr, LoadJpeg("over.jpg", &w, &h));
    EXPECT_LT(StackheapLargestRequest(), 4096);
}

TEST_F(ImageTest, ZeroDataOffsetMeansRightAfterThePalette)
{
    BmpSpec s = PalettedBmp();
    s.zeroOffset = true;
    WriteFile("zero.bmp", MakeBmp(s));
    int32_t w = 0, h = 0;
    uint8_t *indices = LoadBmpIndices("zero.bmp", &w, &h);
    ASSERT_NE(nullptr, indices);
    EXPECT_EQ(0, memcmp(kIndices, indices, 15));
    StackheapFree(indices);
}

TEST_F(ImageTest, ScaledLoaders)
{
    WriteFile("small.bmp", MakeBmp(SmallBmp(false)));
    uint32_t *same = LoadBmpScaled("small.bmp", 3, 2);
    ASSERT_NE(nullptr, same);
    EXPECT_EQ(0, memcmp(kSmall, same, sizeof kSmall));
    StackheapFree(same);
    uint32_t *twice = LoadBmpScaled("small.bmp", 6, 4);
    ASSERT_NE(nullptr, twice);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++)
            EXPECT_EQ(kSmall[(y / 2) * 3 + x / 2], twice[y * 6 + x]) << x << "," << y;
    StackheapFree(twice);
    uint32_t *shrunk = LoadBmpScaled("small.bmp", 1, 1);
    ASSERT_NE(nullptr, shrunk);
    EXPECT_EQ(kSmall[0], shrunk[0]);
    StackheapFree(shrunk);
    EXPECT_EQ(nullptr, LoadBmpScaled("small.bmp", 0, 4));
    EXPECT_EQ(nullptr, LoadBmpScaled("small.bmp", 4, 16385));

    WriteFile("pal.bmp", MakeBmp(PalettedBmp()));
    uint8_t *indices = LoadBmpIndicesScaled("pal.bmp", 10, 6);
    ASSERT_NE(nullptr, indices);
    for (int y = 0; y < 6; y++)
        for (int x = 0; x < 10; x++)
            EXPECT_EQ(kIndices[(y / 2) * 5 + x / 2], indices[y * 10 + x]);
    StackheapFree(indices);
    // From a colour picture each byte is the pixel's blue byte.
    uint8_t *blue = LoadBmpIndicesScaled("small.bmp", 3, 2);
    ASSERT_NE(nullptr, blue);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ((uint8_t)kSmall[i], blue[i]);
    StackheapFree(blue);
}

// [SECTION] JPEG

TEST_F(ImageTest, ColourGreyAndProgressiveJpegs)
{
    for (bool progressive : {false, true}) {
        Jpeg colour;
        colour.width = 48;
        colour.height = 32;
        colour.progressive = progressive;
        WriteFile("colour.jpg", MakeJpeg(colour));
        int32_t w = 0, h = 0;
        uint32_t *pixels = LoadJpeg("colour.jpg", &w, &h);
        ASSERT_NE(nullptr, pixels) << "progressive " << progressive;
        ASSERT_EQ(48, w);
        ASSERT_EQ(32, h);
        // Away from block edges, where upsampling blends neighbouring chroma.
        for (int32_t y = 2; y < 32; y += (y % 16 == 13 ? 5 : 1))
            for (int32_t x = 2; x < 48; x += (x % 16 == 13 ? 5 : 1)) {
                uint32_t expected = (uint32_t)Sample(x, y, 0) << 16 | (uint32_t)Sample(x, y, 1) << 8 | Sample(x, y, 2);
                ExpectNear(expected, pixels[y * 48 + x], 6, "colour");
            }
        StackheapFree(pixels);

        Jpeg grey;
        grey.components = 1;
        grey.space = JCS_GRAYSCALE;
        grey.progressive = progressive;
        WriteFile("grey.jpg", MakeJpeg(grey));
        pixels = LoadJpeg("grey.jpg", &w, &h);
        ASSERT_NE(nullptr, pixels);
        ASSERT_EQ(16, w);
        ASSERT_EQ(8, h);
        for (int32_t i = 0; i < 16 * 8; i++) {
            uint32_t g = pixels[i] & 0xFF;
            ASSERT_EQ(g * 0x010101u, pixels[i]) << "grey expanded to all three";
        }
        ExpectNear((uint32_t)Sample(9, 0, 0) * 0x010101u, pixels[9], 4, "grey");
        StackheapFree(pixels);
    }
}

TEST_F(ImageTest, JpegNamedBmpLoadsThroughTheJpegPath)
{
    Jpeg j;
    WriteFile("fake.bmp", MakeJpeg(j));
    int32_t w = 0, h = 0;
    EXPECT_EQ(nullptr, LoadBmp("fake.bmp", &w, &h));
    Picture picture = LoadPicture("fake.bmp");
    ASSERT_NE(nullptr, picture.pixels);
    EXPECT_EQ(16, picture.width);
    EXPECT_EQ(8, picture.height);
    StackheapFree(picture.pixels);
}

// Offset of the marker 0xFF code at or after from (the last one when last is
// set), or the size when there is none.
size_t FindMarker(const Bytes &jpeg, uint8_t code, bool last = false, size_t from = 2)
{
    size_t found = jpeg.size();
    for (size_t i = from; i + 1 < jpeg.size(); i++) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code) {
            found = i;
            if (!last)
                break;
        }
    }
    return found;
}

// Where the entropy-coded data of the first scan begins.
size_t ScanData(const Bytes &jpeg)
{
    size_t sos = FindMarker(jpeg, 0xDA);
    return sos + 2 + ((size_t)jpeg[sos + 2] << 8 | jpeg[sos + 3]);
}

TEST_F(ImageTest, TruncatedJpegsShowWhatDecodes)
{
    // Baseline: the rows decoded before the data ran out are the picture's,
    // the rest is libjpeg's grey.
    Jpeg j;
    j.width = 64;
    j.height = 128;
    j.noisy = true;
    Bytes full = MakeJpeg(j);
    WriteFile("full.jpg", full);
    int32_t w = 0, h = 0;
    uint32_t *whole = LoadJpeg("full.jpg", &w, &h);
    ASSERT_NE(nullptr, whole);
    // Half the scan data: about four of the eight 16-row bands.
    size_t start = ScanData(full);
    WriteFile("cut.jpg", Bytes(full.begin(), full.begin() + (long)(start + (full.size() - start) / 2)));
    uint32_t *cut = LoadJpeg("cut.jpg", &w, &h);
    ASSERT_NE(nullptr, cut);
    EXPECT_EQ(64, w);
    EXPECT_EQ(128, h);
    EXPECT_EQ(0, memcmp(whole, cut, 32 * 64 * 4)) << "the top two bands as in the whole file";
    int notGrey = 0;
    for (int32_t i = 96 * 64; i < 128 * 64; i++) {
        ASSERT_EQ(0x00808080u, cut[i]) << "row " << i / 64;
        notGrey += whole[i] != 0x00808080u;
    }
    EXPECT_GT(notGrey, 1000) << "the bottom is grey only in the cut file";
    StackheapFree(whole);
    StackheapFree(cut);

    // Every header but no scan data at all: a grey picture of the right size
    // (libjpeg decodes the first block from the zero bits it pads with).
    WriteFile("bare.jpg", Bytes(full.begin(), full.begin() + (long)start));
    Picture bare = LoadPicture("bare.jpg");
    ASSERT_NE(nullptr, bare.pixels);
    EXPECT_EQ(64, bare.width);
    EXPECT_EQ(128, bare.height);
    for (int32_t i = 16 * 64; i < 128 * 64; i++)
        ASSERT_EQ(0x00808080u, bare.pixels[i]) << i;
    StackheapFree(bare.pixels);

    // Progressive without its last scan: every scan before it is shown, so
    // blocks of flat colour (all in the first scans) come out right.
    Jpeg p;
    p.width = 48;
    p.height = 32;
    p.progressive = true;
    Bytes progressive = MakeJpeg(p);
    WriteFile("scans.jpg", Bytes(progressive.begin(), progressive.begin() + (long)FindMarker(progressive, 0xDA, true)));
    uint32_t *scans = LoadJpeg("scans.jpg", &w, &h);
    ASSERT_NE(nullptr, scans);
    EXPECT_EQ(48, w);
    for (int32_t y = 2; y < 32; y += 16)
        for (int32_t x = 2; x < 48; x += 16) {
            uint32_t expected = (uint32_t)Sample(x, y, 0) << 16 | (uint32_t)Sample(x, y, 1) << 8 | Sample(x, y, 2);
            ExpectNear(expected, scans[y * 48 + x], 6, "progressive without its last scan");
        }
    StackheapFree(scans);
}

TEST_F(ImageTest, BadJpegsAreRefused)
{
    int32_t w = 0, h = 0;
    for (bool progressive : {false, true}) {
        Jpeg j;
        j.progressive = progressive;
        Bytes full = MakeJpeg(j);
        WriteFile("cut.jpg", Bytes(full.begin(), full.begin() + 100));
        EXPECT_EQ(nullptr, LoadJpeg("cut.jpg", &w, &h)) << "ends inside its headers, progressive " << progressive;
    }

    // Corrupt data is an error to libjpeg, not a warning: a Huffman table
    // with more codes than it has room for...
    Jpeg j;
    j.width = 32;
    j.height = 32;
    j.noisy = true;
    Bytes full = MakeJpeg(j);
    Bytes table = full;
    size_t dht = FindMarker(table, 0xC4);
    ASSERT_LT(dht, table.size());
    memset(&table[dht + 5], 0xFF, 16);
    WriteFile("table.jpg", table);
    EXPECT_EQ(nullptr, LoadJpeg("table.jpg", &w, &h));
    // ... even when it comes after every row was decoded: the scan is cut
    // short by a broken table segment, which libjpeg reads at the end.
    Bytes late(full.begin(), full.begin() + (long)(ScanData(full) + 50));
    late.insert(late.end(), table.begin() + (long)dht, table.begin() + (long)dht + 21);
    late.insert(late.end(), {0xFF, 0xD9});
    WriteFile("late.jpg", late);
    EXPECT_EQ(nullptr, LoadJpeg("late.jpg", &w, &h));
    EXPECT_EQ(nullptr, LoadPicture("late.jpg").pixels);

    Jpeg cmyk;
    cmyk.components = 4;
    cmyk.space = JCS_CMYK;
    WriteFile("cmyk.jpg", MakeJpeg(cmyk));
    EXPECT_EQ(nullptr, LoadJpeg("cmyk.jpg", &w, &h));

    WriteFile("junk.jpg", Bytes(300, 0x41));
    EXPECT_EQ(nullptr, LoadJpeg("junk.jpg", &w, &h));
    WriteFile("empty.jpg", Bytes());
    EXPECT_EQ(nullptr, LoadJpeg("empty.jpg", &w, &h));
    EXPECT_EQ(nullptr, LoadJpeg("missing.jpg", &w, &h));
    EXPECT_EQ(nullptr, LoadPicture("junk.jpg").pixels);

    // A header claiming a side beyond the limit (65000 x 8).
    Jpeg wide;
    Bytes claim = MakeJpeg(wide);
    for (size_t i = 0; i + 8 < claim.size(); i++) {
        if (claim[i] == 0xFF && claim[i + 1] == 0xC0) { // SOF0: length, precision, height, width
            claim[i + 7] = 0xFD;
            claim[i + 8] = 0xE8;
            break;
        }
    }
    WriteFile("wide.jpg", claim);
    EXPECT_EQ(nullptr, LoadJpeg("wide.jpg", &w, &h));
}

// [SECTION] Archive member

struct Member {
    std::string name;
    uint32_t method;
    Bytes stored;
    uint32_t unpacked;
};

Bytes MakeArchive(const std::vector<Member> &members)
{
    Bytes archive(16, 0);
    memcpy(archive.data(), "ZARNTEST", 8);
    std::vector<uint32_t> offsets;
    for (const Member &m : members) {
        archive.insert(archive.end(), {1, 2, 3}); // members need not be aligned
        offsets.push_back((uint32_t)archive.size());
        archive.insert(archive.end(), m.stored.begin(), m.stored.end());
    }
    Put32(archive, 8, (uint32_t)archive.size());
    Put32(archive, 12, (uint32_t)members.size());
    for (size_t i = 0; i < members.size(); i++) {
        Bytes entry(80, 0);
        Put32(entry, 0, offsets[i]);
        Put32(entry, 4, members[i].method);
        Put32(entry, 8, (uint32_t)members[i].stored.size());
        Put32(entry, 12, members[i].unpacked);
        memcpy(entry.data() + 16, members[i].name.c_str(), members[i].name.size());
        archive.insert(archive.end(), entry.begin(), entry.end());
    }
    return archive;
}

TEST_F(ImageTest, JpegAndBmpFromInsideAnArchive)
{
    Jpeg j;
    j.width = 40;
    j.height = 24;
    Bytes jpeg = MakeJpeg(j);
    Bytes bmp = MakeBmp(SmallBmp(true));
    Bytes packed(jpeg.size() + LZRW3_COMPRESS_OVERRUN);
    uint32_t packedLength = (uint32_t)packed.size();
    ASSERT_NE(nullptr, Lzrw3Codec(LZRW3_COMPRESS, nullptr, jpeg.data(), (uint32_t)jpeg.size(), packed.data(), &packedLength));
    packed.resize(packedLength);
    WriteFile("zarn.dat", MakeArchive({{"Pic.JPG", 0, jpeg, (uint32_t)jpeg.size()},
                                       {"packed.jpg", 3, packed, (uint32_t)jpeg.size()},
                                       {"small.bmp", 0, bmp, (uint32_t)bmp.size()}}));
    WriteFile("loose.jpg", jpeg);
    ArchiveResetForTests(); // earlier loads in this process may have opened none
    ASSERT_EQ(1, ArchiveSetName((directory + "/zarn.dat").c_str()));

    int32_t w = 0, h = 0, lw = 0, lh = 0;
    uint32_t *member = LoadJpeg("pic.jpg", &w, &h);
    ASSERT_NE(nullptr, member);
    uint32_t *loose = LoadJpeg("loose.jpg", &lw, &lh);
    ASSERT_NE(nullptr, loose);
    ASSERT_EQ(40, w);
    ASSERT_EQ(24, h);
    EXPECT_EQ(0, memcmp(member, loose, 40 * 24 * 4)) << "the member decodes as the loose file does";
    StackheapFree(loose);
    StackheapFree(member);

    // Twice, to see the shared stream is positioned afresh each time.
    Picture picture = LoadPicture("PIC.jpg");
    ASSERT_NE(nullptr, picture.pixels);
    StackheapFree(picture.pixels);

    // The packed member opens (the store unpacks it), but libjpeg reads the
    // stored bytes from the stream: a compressed JPEG member cannot be decoded.
    DataFile *file = DataFileOpen("packed.jpg", "rb");
    ASSERT_NE(nullptr, file);
    DataFileClose(file);
    EXPECT_EQ(nullptr, LoadJpeg("packed.jpg", &w, &h));

    uint32_t *pixels = LoadBmp("small.bmp", &w, &h);
    ASSERT_NE(nullptr, pixels);
    EXPECT_EQ(0, memcmp(kSmall, pixels, sizeof kSmall));
    StackheapFree(pixels);
}

// [SECTION] PNG output

TEST_F(ImageTest, SavePagePngWritesRgb)
{
    const uint32_t page[6] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xAA123456u, 0x00FFFFFFu, 0x00000000u};
    ASSERT_EQ(1, SavePagePng("page.png", page, 3, 2));
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, "page.png"));
    EXPECT_EQ(3u, image.width);
    EXPECT_EQ(2u, image.height);
    EXPECT_EQ((png_uint_32)PNG_FORMAT_RGB, image.format);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    for (int i = 0; i < 6; i++) {
        EXPECT_EQ((uint8_t)(page[i] >> 16), rgb[(size_t)(3 * i)]);
        EXPECT_EQ((uint8_t)(page[i] >> 8), rgb[(size_t)(3 * i + 1)]);
        EXPECT_EQ((uint8_t)page[i], rgb[(size_t)(3 * i + 2)]);
    }
    EXPECT_EQ(0, SavePagePng("no/such/dir/page.png", page, 3, 2));
    EXPECT_EQ(0, SavePagePng("zero.png", page, 0, 2));
}

TEST_F(ImageTest, SavePicturePngMakesMagentaTransparent)
{
    const uint32_t picture[4] = {0x00FF00FFu, 0x00FF00FEu, 0x00102030u, 0x00FF00FFu};
    ASSERT_EQ(1, SavePicturePng("picture.png", picture, 2, 2, 1));
    ASSERT_EQ(1, SavePicturePng("opaque.png", picture, 2, 2, 0));
    png_image images[2];
    for (png_image &image : images) {
        memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
    }
    ASSERT_TRUE(png_image_begin_read_from_file(&images[0], "picture.png"));
    ASSERT_TRUE(png_image_begin_read_from_file(&images[1], "opaque.png"));
    // Without transparency it is the page writer's RGB.
    EXPECT_EQ((png_uint_32)PNG_FORMAT_RGB, images[1].format);
    png_image_free(&images[1]);
    EXPECT_EQ((png_uint_32)PNG_FORMAT_RGBA, images[0].format);
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(images[0]));
    ASSERT_TRUE(png_image_finish_read(&images[0], nullptr, rgba.data(), 0, nullptr));
    const uint8_t alpha[4] = {0, 255, 255, 0};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(alpha[i], rgba[(size_t)(4 * i + 3)]) << i;
        EXPECT_EQ((uint8_t)(picture[i] >> 8), rgba[(size_t)(4 * i + 1)]) << i;
    }
}

} // namespace
