// Picture loading: BMP (uncompressed 8-, 24- and 32-bit) and JPEG (libjpeg),
// found through DataFileOpen, decoded to 32-bit 0x00RRGGBB pixels, top row
// first, in Stackheap blocks the caller frees with StackheapFree. Width and
// height are 1..16384; anything else, any truncated or unsupported file, and
// any allocation failure gives null (with nothing left allocated); so does a
// picture of more than IMAGE_MAX_PIXELS, or a JPEG claiming more pixels than
// JPEG_MAX_PIXELS_PER_BYTE times its length. Also the PNG writer for pages,
// used by tools and tests.
#pragma once

#include <cstdint>

struct Picture {
    uint32_t *pixels; // width x height pixels, null when loading failed
    int32_t width, height;
};

enum {
    IMAGE_MAX_SIDE = 16384,
    // Most pixels one picture may have (4096 x 4096, 64 MB decoded): far more
    // than any screen, texture or article picture needs.
    IMAGE_MAX_PIXELS = 4096 * 4096,
    // Every 8 x 8 block of a JPEG costs at least one bit of coded data, so a
    // file can only claim 512 pixels for each of its bytes.
    JPEG_MAX_PIXELS_PER_BYTE = 8 * 64,
};

// Pixels of a BMP (24-bit, 32-bit, or 8-bit expanded through its palette;
// bottom-up or top-down; data at the header's offset). Uncompressed only, except
// 32-bit bit fields with the usual 0xFF0000/0xFF00/0xFF masks; an index past
// the palette shows black. Null when missing, not "BM", compressed, another
// depth, or shorter than its pixel data.
uint32_t *LoadBmp(const char *name, int32_t *width, int32_t *height);
// Pixels of a colour or grayscale JPEG read from the file's own stream at its
// member offset (archive members must be stored uncompressed); null when the
// file is missing, has no stream, is corrupt or truncated, or is not RGB/gray.
uint32_t *LoadJpeg(const char *name, int32_t *width, int32_t *height);
// Whether libjpeg's messages about a damaged JPEG are written to standard
// error (default 1). Callers that only want the result turn them off.
void ImageJpegMessages(int on);
// LoadBmp, else LoadJpeg; pixels null (width, height 0) when both fail.
Picture LoadPicture(const char *name);
// LoadBmp resampled to width x height (nearest neighbour); the loaded block
// itself when the size already matches; null when loading fails or a size is
// not 1..16384.
uint32_t *LoadBmpScaled(const char *name, int32_t width, int32_t height);

// Index bytes (width x height, one per pixel) of an 8-bit BMP; for any other
// depth the 32-bit pixels of LoadBmp. bytesPerPixel (may be null) receives 1 or
// 4. Null on failure.
uint8_t *LoadBmpIndices(const char *name, int32_t *width, int32_t *height,
                        int32_t *bytesPerPixel = nullptr);
// LoadBmpIndices resampled to width x height bytes; from a picture that is not
// 8-bit each byte is its pixel's blue byte. Null on failure.
uint8_t *LoadBmpIndicesScaled(const char *name, int32_t width, int32_t height);
// Index bytes of a BMP read as 8-bit whatever depth its header states. Null on
// failure (including a file too short for 8-bit data of its size).
uint8_t *LoadBmpIndicesRaw(const char *name, int32_t *width, int32_t *height);

// Writes width x height 0x00RRGGBB pixels to path as an 8-bit RGB PNG. Returns
// 1, or 0 when the file cannot be written or a size is 0 or less.
int SavePagePng(const char *path, const uint32_t *pixels, int32_t width, int32_t height);
// The same for a picture; with magentaTransparent an 8-bit RGBA PNG whose
// magenta (0x00FF00FF) pixels are fully transparent, as the transparent
// picture tags show them. Returns 1, or 0 like SavePagePng.
int SavePicturePng(const char *path, const uint32_t *pixels, int32_t width, int32_t height, int magentaTransparent);
