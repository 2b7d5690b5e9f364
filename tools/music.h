// zarn-tool — an issue's music as a sound file: the module rendered once
// from start to end by libxmp and encoded as Ogg Vorbis (libvorbis), for the
// HTML export's player.
#pragma once

#include <string>

struct ToolMusicRender {
    double moduleSeconds;   // the module's length as libxmp's scan finds it
    double renderedSeconds; // what was rendered and encoded
};

// Renders the module file once (stereo, 44100 Hz, until the song ends or
// would start again) and writes it to out as Ogg Vorbis. True, or false with
// *error when the module cannot be loaded or out cannot be written.
bool ToolModuleToOgg(const char *module, const char *out, ToolMusicRender *render, std::string *error);
