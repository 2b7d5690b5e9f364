// The executable's resources: the setup dialog 101, the loading dialog 105
// with its picture 114, and the program icon 102. The pictures are painted by
// our own code into BMP images in memory the first time they are asked for.
#pragma once

#include "platform/platform.h"

#include <cstdint>

enum {
    RESOURCE_SETUP_DIALOG = 101,
    RESOURCE_ICON = 102,
    RESOURCE_LOADING_DIALOG = 105,
    RESOURCE_LOADING_BITMAP = 114,
};

enum { LOADING_BITMAP_WIDTH = 320, LOADING_BITMAP_HEIGHT = 147, ICON_SIZE = 32 };
enum { ICON_IMAGE_MIN = 16, ICON_IMAGE_MAX = 1024 };

// Setup dialog control ids.
enum {
    SETUP_START = 1,
    SETUP_CANCEL = 2,
    SETUP_FULL_SCREEN = 1000,
    SETUP_IN_A_WINDOW = 1001,
    SETUP_16_BIT = 1003,
    SETUP_32_BIT = 1004,
    SETUP_SHOW_CONFIG = 1010,
    SETUP_SOUND = 1012,
};

// Makes bitmaps 114 and 102 known to the platform; safe to call again.
void RegisterResources();

// The dialog templates (never null).
const DialogTemplate *SetupDialogTemplate();
const DialogTemplate *LoadingDialogTemplate();

// The BMP file images (never null; size set to the image's byte count).
const uint8_t *LoadingBitmap(uint32_t *size);
const uint8_t *IconBitmap(uint32_t *size);

// The program icon painted at size x size (ICON_IMAGE_MIN to ICON_IMAGE_MAX)
// as 0x00RRGGBB pixels, for the desktop's icon theme. 0 for another size.
int PaintIconImage(int size, uint32_t *pixels);
