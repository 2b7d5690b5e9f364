// zarn-tool v3d — the OBJ import, for commands that make 3D files themselves.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

// Turns Wavefront OBJ text into a V3D file of one format-2 MODEL at out:
// polygons triangulated, z flipped, every face textured with texture (at
// most 15 bytes) in drawing mode; texture coordinates are scaled by the size
// of texture + ".bmp" when the working directory (or archive) has it, else
// 256 x 256. Returns true with a one-line *summary, or false with *error.
bool ToolImportObj(std::istream &obj, const char *out, const char *texture, uint32_t mode, float scale,
                   std::string *summary, std::string *error);
