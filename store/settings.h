// AppSettings — the one settings record of the run. The setup step fills it
// before anything else reads it; every layer may read it.
#pragma once

#include <cstdint>

struct AppSettings {
    int32_t screenWidth;   // 640, never changed
    int32_t screenHeight;  // 480, never changed
    int32_t bitsPerPixel;  // display depth asked for in full screen: 16 or 32
    int32_t windowed;      // 1 = in a window, 0 = full screen
    int32_t soundOn;       // 1 = a real sound device is wanted; any other value, silence
    int32_t musicOn;       // module music is played
    int32_t effectsOn;     // the three effects are loaded and played
};

extern AppSettings appSettings;
