// The system's font files, found through fontconfig: the native backends'
// answer to PlatformFindFontFile.
#include "platform/backend.h"

#include <fontconfig/fontconfig.h>

#include <cstring>

namespace {

// Generic families stand for whatever the system chose; they never appear
// as a font's own family name.
bool IsGenericFamily(const char *family)
{
    static const char *const generic[] = {"sans-serif", "sans", "serif", "monospace", "mono"};
    for (const char *name : generic)
        if (FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8 *>(family), reinterpret_cast<const FcChar8 *>(name)) == 0)
            return true;
    return false;
}

// A font may carry several family names (one per language); any will do.
bool HasFamily(FcPattern *font, const char *family)
{
    FcChar8 *name = nullptr;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; i++)
        if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8 *>(family)) == 0)
            return true;
    return false;
}

} // namespace

int PlatformFontconfigFind(const char *family, int bold, int italic, char *path, int size)
{
    if (!FcInit())
        return 0;
    FcPattern *pattern = FcPatternCreate();
    if (!pattern)
        return 0;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match)
        return 0;
    int found = 0;
    FcChar8 *file = nullptr;
    // fontconfig always offers its closest font; a named family that is
    // not installed is an answer of "none", not of some other face.
    if ((IsGenericFamily(family) || HasFamily(match, family)) &&
        FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
        size_t length = std::strlen(reinterpret_cast<const char *>(file));
        if (length < static_cast<size_t>(size)) {
            std::memcpy(path, file, length + 1);
            found = 1;
        }
    }
    FcPatternDestroy(match);
    return found;
}
