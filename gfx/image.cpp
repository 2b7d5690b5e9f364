// Picture loading through the content store: BMP read by hand (uncompressed
// 8-bit paletted, 24-bit and 32-bit, bottom-up or top-down, data wherever the
// header says), JPEG decoded by libjpeg straight from the file's stream, the
// resampling variants for the 3D engine, and the PNG writer for pages.
// Every size is checked against the file before anything is allocated, so a
// hostile header cannot make us allocate what the file cannot fill.
//
// [SECTION] BMP header
// [SECTION] BMP loaders
// [SECTION] Resampling
// [SECTION] JPEG
// [SECTION] PNG output
#include "gfx/image.h"

#include "gfx/pixels.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

// [SECTION] BMP header ------------------------------------------------------

enum { BMP_FILE_HEADER = 14, BMP_INFO_HEADER = 40, BI_RGB = 0, BI_BITFIELDS = 3 };

struct BmpInfo {
    int32_t width, height;  // height > 0 here; topDown says which row comes first
    int32_t topDown;
    int32_t bitCount;
    int32_t compression;
    int32_t headerSize;     // info header size
    int64_t dataOffset;
    int64_t fileSize;
    uint32_t masks[3];      // red, green, blue masks when compression is BI_BITFIELDS
    int32_t paletteCount;   // 8-bit: palette entries present in the file
};

static uint32_t ReadLe32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static uint16_t ReadLe16(const uint8_t *p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

static int64_t FileSize(DataFile *file)
{
    if (!DataFileSeek(file, 0, 2))
        return -1;
    return DataFileTell(file);
}

// Reads and checks the headers; 0 for anything not a BMP of a usable size.
// Depth and compression are only recorded here: each loader decides.
static int ReadBmpInfo(DataFile *file, BmpInfo *info)
{
    uint8_t header[BMP_FILE_HEADER + BMP_INFO_HEADER + 12];
    memset(header, 0, sizeof header);
    memset(info, 0, sizeof *info);
    info->fileSize = FileSize(file);
    if (info->fileSize < BMP_FILE_HEADER + BMP_INFO_HEADER || !DataFileSeek(file, 0, 0))
        return 0;
    int32_t wanted = info->fileSize < (int64_t)sizeof header ? (int32_t)info->fileSize : (int32_t)sizeof header;
    if (DataFileRead(header, 1, wanted, file) != wanted)
        return 0;
    if (header[0] != 'B' || header[1] != 'M')
        return 0;
    info->headerSize = (int32_t)ReadLe32(header + 14);
    // Only the Windows headers (40 bytes and their longer successors) share
    // the field layout read below; the 12-byte core header does not.
    if (info->headerSize < BMP_INFO_HEADER || info->headerSize > 4096)
        return 0;
    int64_t width = (int32_t)ReadLe32(header + 18);
    int64_t height = (int32_t)ReadLe32(header + 22);
    info->topDown = height < 0;
    if (height < 0)
        height = -height;
    if (width <= 0 || width > IMAGE_MAX_SIDE || height <= 0 || height > IMAGE_MAX_SIDE ||
        width * height > IMAGE_MAX_PIXELS)
        return 0;
    info->width = (int32_t)width;
    info->height = (int32_t)height;
    info->bitCount = ReadLe16(header + 28);
    info->compression = (int32_t)ReadLe32(header + 30);
    uint32_t colorsUsed = ReadLe32(header + 46);
    for (int i = 0; i < 3; i++)
        info->masks[i] = ReadLe32(header + 54 + 4 * i);
    int64_t paletteStart = BMP_FILE_HEADER + (int64_t)info->headerSize;
    if (info->compression == BI_BITFIELDS && info->headerSize == BMP_INFO_HEADER)
        paletteStart += 12;
    if (info->bitCount <= 8) {
        int64_t entries = colorsUsed == 0 || colorsUsed > 256 ? 256 : colorsUsed;
        int64_t room = (info->fileSize - paletteStart) / 4;
        info->paletteCount = (int32_t)(room < 0 ? 0 : (room < entries ? room : entries));
    }
    info->dataOffset = ReadLe32(header + 10);
    // Some writers leave the offset 0; the data then follows the palette.
    if (info->dataOffset == 0)
        info->dataOffset = paletteStart + (info->bitCount <= 8 ? 4 * (int64_t)info->paletteCount : 0);
    return 1;
}

// Bytes per stored row at bitCount bits per pixel, padded to 4 bytes.
static int64_t RowBytes(int32_t width, int32_t bitCount)
{
    return ((int64_t)width * bitCount + 31) / 32 * 4;
}

// Reads the whole pixel area (height rows of rowBytes) in one read. Null when
// the file is shorter than its pixel data or memory runs out.
static uint8_t *ReadPixelArea(DataFile *file, const BmpInfo *info, int64_t rowBytes)
{
    int64_t total = rowBytes * info->height;
    if (total <= 0 || total > 0x7FFFFFFF || info->dataOffset + total > info->fileSize)
        return nullptr;
    if (!DataFileSeek(file, (int32_t)info->dataOffset, 0))
        return nullptr;
    uint8_t *area = (uint8_t *)StackheapAlloc((int32_t)total);
    if (!area)
        return nullptr;
    if (DataFileRead(area, 1, (int32_t)total, file) != (int32_t)total) {
        StackheapFree(area);
        return nullptr;
    }
    return area;
}

// The stored row that holds picture row y (top row first).
static const uint8_t *StoredRow(const uint8_t *area, const BmpInfo *info, int64_t rowBytes, int32_t y)
{
    int32_t stored = info->topDown ? y : info->height - 1 - y;
    return area + (int64_t)stored * rowBytes;
}

// [SECTION] BMP loaders -----------------------------------------------------

static bool StandardMasks(const BmpInfo *info)
{
    return info->masks[0] == 0x00FF0000u && info->masks[1] == 0x0000FF00u && info->masks[2] == 0x000000FFu;
}

// Decodes an open BMP to 32-bit pixels; null for unsupported or short files.
static uint32_t *DecodeBmp(DataFile *file, const BmpInfo *info)
{
    bool supported = (info->compression == BI_RGB &&
                      (info->bitCount == 8 || info->bitCount == 24 || info->bitCount == 32)) ||
                     (info->compression == BI_BITFIELDS && info->bitCount == 32 && StandardMasks(info));
    if (!supported)
        return nullptr;
    uint32_t palette[256];
    memset(palette, 0, sizeof palette);
    if (info->bitCount == 8) {
        uint8_t entries[256 * 4];
        int32_t count = info->paletteCount;
        if (count > 0) {
            if (!DataFileSeek(file, BMP_FILE_HEADER + info->headerSize, 0) ||
                DataFileRead(entries, 4, count, file) != count)
                return nullptr;
        }
        for (int32_t i = 0; i < count; i++)
            palette[i] = ((uint32_t)entries[4 * i + 2] << 16) | ((uint32_t)entries[4 * i + 1] << 8) | entries[4 * i];
    }
    int64_t rowBytes = RowBytes(info->width, info->bitCount);
    uint8_t *area = ReadPixelArea(file, info, rowBytes);
    if (!area)
        return nullptr;
    uint32_t *output = (uint32_t *)StackheapAlloc(info->width * info->height * 4);
    if (!output) {
        StackheapFree(area);
        return nullptr;
    }
    int32_t bytesPerPixel = info->bitCount / 8;
    for (int32_t y = 0; y < info->height; y++) {
        const uint8_t *from = StoredRow(area, info, rowBytes, y);
        uint32_t *to = output + (int64_t)y * info->width;
        if (bytesPerPixel == 1)
            PixelsFromPalette(to, from, info->width, palette);
        else
            PixelsFromSamples(to, from, info->width, bytesPerPixel, 2, 1, 0);
    }
    StackheapFree(area);
    return output;
}

uint32_t *LoadBmp(const char *name, int32_t *width, int32_t *height)
{
    if (!name)
        return nullptr;
    DataFile *file = DataFileOpen(name, "rb");
    if (!file)
        return nullptr;
    BmpInfo info;
    uint32_t *output = ReadBmpInfo(file, &info) ? DecodeBmp(file, &info) : nullptr;
    DataFileClose(file);
    if (output) {
        if (width)
            *width = info.width;
        if (height)
            *height = info.height;
    }
    return output;
}

// Index bytes of an open BMP read as 8-bit rows (padded to 4 bytes).
static uint8_t *DecodeIndices(DataFile *file, const BmpInfo *info)
{
    int64_t rowBytes = RowBytes(info->width, 8);
    uint8_t *area = ReadPixelArea(file, info, rowBytes);
    if (!area)
        return nullptr;
    uint8_t *output = (uint8_t *)StackheapAlloc(info->width * info->height);
    if (!output) {
        StackheapFree(area);
        return nullptr;
    }
    for (int32_t y = 0; y < info->height; y++)
        memcpy(output + (int64_t)y * info->width, StoredRow(area, info, rowBytes, y), (size_t)info->width);
    StackheapFree(area);
    return output;
}

static uint8_t *LoadIndices(const char *name, int32_t *width, int32_t *height, int32_t *bytesPerPixel,
                            bool testDepth)
{
    if (!name)
        return nullptr;
    DataFile *file = DataFileOpen(name, "rb");
    if (!file)
        return nullptr;
    BmpInfo info;
    if (!ReadBmpInfo(file, &info)) {
        DataFileClose(file);
        return nullptr;
    }
    uint8_t *output = nullptr;
    int32_t size = 1;
    if (testDepth && info.bitCount != 8) {
        output = (uint8_t *)DecodeBmp(file, &info);
        size = 4;
    } else if (info.compression == BI_RGB || !testDepth) {
        output = DecodeIndices(file, &info);
    }
    DataFileClose(file);
    if (output) {
        if (width)
            *width = info.width;
        if (height)
            *height = info.height;
        if (bytesPerPixel)
            *bytesPerPixel = size;
    }
    return output;
}

uint8_t *LoadBmpIndices(const char *name, int32_t *width, int32_t *height, int32_t *bytesPerPixel)
{
    return LoadIndices(name, width, height, bytesPerPixel, true);
}

uint8_t *LoadBmpIndicesRaw(const char *name, int32_t *width, int32_t *height)
{
    return LoadIndices(name, width, height, nullptr, false);
}

// [SECTION] Resampling ------------------------------------------------------
// Nearest neighbour with single-precision steps; indices are held inside the
// source in case the float sums creep past its last row or column.

static int32_t Nearest(float position, int32_t size)
{
    int32_t index = (int32_t)position;
    return index < 0 ? 0 : (index >= size ? size - 1 : index);
}

uint32_t *LoadBmpScaled(const char *name, int32_t width, int32_t height)
{
    if (width <= 0 || width > IMAGE_MAX_SIDE || height <= 0 || height > IMAGE_MAX_SIDE)
        return nullptr;
    int32_t sourceWidth = 0, sourceHeight = 0;
    uint32_t *source = LoadBmp(name, &sourceWidth, &sourceHeight);
    if (!source)
        return nullptr;
    if (sourceWidth == width && sourceHeight == height)
        return source;
    uint32_t *output = (uint32_t *)StackheapAlloc(width * height * 4);
    if (!output) {
        StackheapFree(source);
        return nullptr;
    }
    float stepX = (float)sourceWidth / (float)width, stepY = (float)sourceHeight / (float)height;
    float sy = 0;
    for (int32_t y = 0; y < height; y++, sy += stepY) {
        const uint32_t *from = source + (int64_t)Nearest(sy, sourceHeight) * sourceWidth;
        float sx = 0;
        for (int32_t x = 0; x < width; x++, sx += stepX)
            output[(int64_t)y * width + x] = from[Nearest(sx, sourceWidth)];
    }
    StackheapFree(source);
    return output;
}

uint8_t *LoadBmpIndicesScaled(const char *name, int32_t width, int32_t height)
{
    if (width <= 0 || width > IMAGE_MAX_SIDE || height <= 0 || height > IMAGE_MAX_SIDE)
        return nullptr;
    int32_t sourceWidth = 0, sourceHeight = 0, bytesPerPixel = 1;
    uint8_t *source = LoadBmpIndices(name, &sourceWidth, &sourceHeight, &bytesPerPixel);
    if (!source)
        return nullptr;
    if (bytesPerPixel == 1 && sourceWidth == width && sourceHeight == height)
        return source;
    uint8_t *output = (uint8_t *)StackheapAlloc(width * height);
    if (!output) {
        StackheapFree(source);
        return nullptr;
    }
    const uint32_t *wide = (const uint32_t *)source;
    float stepX = (float)sourceWidth / (float)width, stepY = (float)sourceHeight / (float)height;
    float sy = 0;
    for (int32_t y = 0; y < height; y++, sy += stepY) {
        int64_t rowStart = (int64_t)Nearest(sy, sourceHeight) * sourceWidth;
        float sx = 0;
        for (int32_t x = 0; x < width; x++, sx += stepX) {
            int64_t index = rowStart + Nearest(sx, sourceWidth);
            // A colour picture gives its blue byte (a grey mask's intensity).
            output[(int64_t)y * width + x] = bytesPerPixel == 1 ? source[index] : (uint8_t)(wide[index] & 0xFF);
        }
    }
    StackheapFree(source);
    return output;
}

// [SECTION] JPEG ------------------------------------------------------------
// The standard error manager prints the library's message; its error exit
// then jumps back here and the file is refused. Warnings are only printed:
// a file that ends early or has damaged scan data still decodes (libjpeg
// fills what is missing with grey), and one damaged picture must not cost
// the reader the whole issue.

// What libjpeg may take for itself: the coefficient buffers of a progressive
// colour picture at IMAGE_MAX_PIXELS (3 samples of 2 bytes a pixel, 96 MB),
// with room to spare.
enum { JPEG_WORKING_MEMORY = 128 << 20 };

struct JpegState {
    int messages = 1; // libjpeg's messages go to standard error
};

static JpegState jpeg;

void ImageJpegMessages(int on)
{
    jpeg.messages = on;
}

static void JpegQuietMessage(j_common_ptr)
{
}

struct JpegErrors {
    jpeg_error_mgr standard;
    jmp_buf jump;
};

static void JpegErrorExit(j_common_ptr decoder)
{
    JpegErrors *errors = (JpegErrors *)decoder->err;
    (*decoder->err->output_message)(decoder);
    longjmp(errors->jump, 1);
}

uint32_t *LoadJpeg(const char *name, int32_t *width, int32_t *height)
{
    if (!name)
        return nullptr;
    DataFile *file = DataFileOpen(name, "rb");
    if (!file)
        return nullptr;
    int64_t fileBytes = FileSize(file);
    if (!file->stream || fseek(file->stream, (long)file->memberOffset, SEEK_SET) != 0) {
        DataFileClose(file);
        return nullptr;
    }
    jpeg_decompress_struct decoder;
    JpegErrors errors;
    uint32_t *volatile output = nullptr;
    memset(&decoder, 0, sizeof decoder);
    decoder.err = jpeg_std_error(&errors.standard);
    errors.standard.error_exit = JpegErrorExit;
    if (!jpeg.messages)
        errors.standard.output_message = JpegQuietMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&decoder);
        DataFileClose(file);
        StackheapFree(output);
        return nullptr;
    }
    jpeg_create_decompress(&decoder);
    // A tiny progressive file may claim a huge image; cap what libjpeg may
    // take for its coefficient buffers (it reports an error beyond that).
    decoder.mem->max_memory_to_use = JPEG_WORKING_MEMORY;
    jpeg_stdio_src(&decoder, file->stream);
    jpeg_read_header(&decoder, TRUE);
    // The size is checked before libjpeg sets up its buffers for it: a
    // picture must fit the limit and be earned by the file's length.
    int64_t pixels = (int64_t)decoder.image_width * decoder.image_height;
    bool usable = decoder.image_width >= 1 && decoder.image_width <= IMAGE_MAX_SIDE &&
                  decoder.image_height >= 1 && decoder.image_height <= IMAGE_MAX_SIDE &&
                  pixels <= IMAGE_MAX_PIXELS && pixels <= JPEG_MAX_PIXELS_PER_BYTE * fileBytes &&
                  (decoder.out_color_space == JCS_RGB || decoder.out_color_space == JCS_GRAYSCALE);
    if (usable) {
        jpeg_start_decompress(&decoder);
        usable = decoder.output_width == decoder.image_width &&
                 decoder.output_height == decoder.image_height &&
                 ((decoder.out_color_space == JCS_RGB && decoder.output_components == 3) ||
                  (decoder.out_color_space == JCS_GRAYSCALE && decoder.output_components == 1));
    }
    if (usable) {
        int32_t w = (int32_t)decoder.output_width, h = (int32_t)decoder.output_height;
        int32_t components = decoder.output_components;
        JSAMPARRAY row = (*decoder.mem->alloc_sarray)((j_common_ptr)&decoder, JPOOL_IMAGE,
                                                      (JDIMENSION)(w * components), 1);
        output = (uint32_t *)StackheapAlloc(w * h * 4);
        usable = output != nullptr;
        while (usable && decoder.output_scanline < decoder.output_height) {
            int32_t y = (int32_t)decoder.output_scanline;
            if (jpeg_read_scanlines(&decoder, row, 1) != 1) {
                usable = false;
                break;
            }
            const JSAMPLE *samples = row[0];
            uint32_t *to = output + (int64_t)y * w;
            if (components == 3)
                PixelsFromSamples(to, samples, w, 3, 0, 1, 2);
            else
                PixelsFromSamples(to, samples, w, 1, 0, 0, 0);
        }
        if (usable)
            jpeg_finish_decompress(&decoder);
    }
    int32_t loadedWidth = (int32_t)decoder.image_width, loadedHeight = (int32_t)decoder.image_height;
    jpeg_destroy_decompress(&decoder);
    DataFileClose(file);
    if (!usable) {
        StackheapFree(output);
        return nullptr;
    }
    if (width)
        *width = loadedWidth;
    if (height)
        *height = loadedHeight;
    return output;
}

Picture LoadPicture(const char *name)
{
    Picture picture = {nullptr, 0, 0};
    picture.pixels = LoadBmp(name, &picture.width, &picture.height);
    if (!picture.pixels)
        picture.pixels = LoadJpeg(name, &picture.width, &picture.height);
    if (!picture.pixels)
        picture.width = picture.height = 0;
    return picture;
}

// [SECTION] PNG output ------------------------------------------------------

namespace {

// An 8-bit PNG: RGB, or RGBA with magenta (0x00FF00FF) pixels fully transparent.
int WritePng(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int magentaTransparent)
{
    if (!path || !pixels || width <= 0 || height <= 0 || width > (1 << 24))
        return 0;
    FILE *stream = fopen(path, "wb");
    if (!stream)
        return 0;
    const int channels = magentaTransparent ? 4 : 3;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    uint8_t *volatile row = (uint8_t *)StackheapAlloc(width * channels);
    if (!png || !info || !row) {
        png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
        StackheapFree(row);
        fclose(stream);
        return 0;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        StackheapFree(row);
        fclose(stream);
        return 0;
    }
    png_init_io(png, stream);
    png_set_IHDR(png, info, (png_uint_32)width, (png_uint_32)height, 8,
                 magentaTransparent ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; y++) {
        const uint32_t *from = pixels + (int64_t)y * width;
        for (int32_t x = 0; x < width; x++) {
            uint8_t *to = row + (size_t)x * channels;
            to[0] = (uint8_t)(from[x] >> 16);
            to[1] = (uint8_t)(from[x] >> 8);
            to[2] = (uint8_t)from[x];
            if (magentaTransparent)
                to[3] = from[x] == 0x00FF00FFu ? 0 : 255; // the same test as the transparent blit
        }
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    StackheapFree(row);
    return fclose(stream) == 0 ? 1 : 0;
}

} // namespace

int SavePagePng(const char *path, const uint32_t *pixels, int32_t width, int32_t height)
{
    return WritePng(path, pixels, width, height, 0);
}

int SavePicturePng(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int magentaTransparent)
{
    return WritePng(path, pixels, width, height, magentaTransparent);
}
