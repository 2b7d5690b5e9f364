// zarn-tool scene — renders a V3D scene with the 3D engine on the headless
// platform: VxInit for 640 x 480 in the issue DIR, load, then N frames of
// clear, step and draw from one camera; the last page is written as PNG. The
// engine finds its pictures, the scene and its textures as the reader does:
// loose files first, then members of DIR/zarn.dat.
#include "tools/tool.h"

#include "engine3d/vx.h"
#include "gfx/image.h"
#include "platform/platform.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

const char usage[] =
    "usage: zarn-tool scene [-C DIR] FILE.v3d [--camera X,Y,Z,AX,AY,AZ] [--frames N] -o OUT.png";

int SceneCommand(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv)) {
        std::printf("%s\n"
                    "  FILE.v3d, its textures and the engine's pictures (standard.bmp, lens.bmp,\n"
                    "  zs_mask.bmp) are found in DIR (default: the current directory) as the reader\n"
                    "  finds them: loose files in DIR or its subdirectories first, then members of\n"
                    "  DIR/zarn.dat. A FILE found neither way is taken as a path from where the\n"
                    "  tool was started.\n"
                    "  The camera translation is the negated eye position; angles in radians.\n",
                    usage);
        return 0;
    }
    const char *directory = nullptr, *file = nullptr, *output = nullptr;
    float camera[6] = {0, 0, 0, 0, 0, 0};
    long frames = 1;
    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        bool more = i + 1 < argc;
        if (ToolTakeIssueOption(argc, argv, &i, &directory, &output)) continue;
        if (!std::strcmp(a, "--frames") && more) {
            char *end;
            frames = std::strtol(argv[++i], &end, 10);
            if (*end || frames < 1 || frames > 100000) return ToolFail("scene: bad frame count '%s'", argv[i]);
        } else if (!std::strcmp(a, "--camera") && more) {
            const char *p = argv[++i];
            for (int k = 0; k < 6; k++) {
                char *end;
                camera[k] = std::strtof(p, &end);
                if (end == p || (k < 5 && *end != ',') || (k == 5 && *end)) return ToolFail("scene: bad camera '%s'", argv[i]);
                p = end + 1;
            }
        } else if (a[0] != '-' && !file) file = a;
        else return ToolFail("scene: unexpected '%s'\n%s", a, usage);
    }
    if (!file || !output) return ToolFail("%s", usage);
    std::error_code error;
    std::filesystem::path out = std::filesystem::absolute(output, error);
    std::filesystem::path in = std::filesystem::absolute(file, error);
    if (int status = ToolEnterIssue(directory)) return status;
    PlatformSelect("headless");
    StackheapInit(0);
    const int32_t w = 640, h = 480;
    if (!VxInit(w, h)) return ToolFail("scene: the 3D engine did not start (is lens.bmp there?)");
    // FILE is a name in the issue; failing that, a path from where the tool
    // was started (which the file layer opens as a loose file).
    std::string name = file;
    if (DataFile *probe = DataFileOpen(file, "rb")) DataFileClose(probe);
    else name = in.string();
    VxScene scene{};
    if (!VxLoadScene(&scene, name.c_str())) {
        VxShutdown();
        return ToolFail("scene: '%s' did not load", file);
    }
    std::vector<uint32_t> page((size_t)w * h);
    for (long f = 0; f < frames; f++) {
        std::fill(page.begin(), page.end(), 0u);
        VxClearZBuffer();
        VxSetCamera(camera[0], camera[1], camera[2], camera[3], camera[4], camera[5]);
        VxStepScene(&scene);
        VxDrawScene(page.data(), &scene);
    }
    int ok = SavePagePng(out.string().c_str(), page.data(), w, h);
    VxFreeScene(&scene);
    VxShutdown();
    if (!ok) return ToolFail("scene: cannot write '%s'", output);
    return 0;
}

} // namespace

ZARN_TOOL_COMMAND("scene", SceneCommand,
                  "scene [-C DIR] FILE.v3d [--camera X,Y,Z,AX,AY,AZ] [--frames N] -o OUT.png — render a 3D scene");
