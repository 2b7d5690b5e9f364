// make_art — writes the demo issue's pictures, sounds and 3D textures into
// OUTDIR, and the ball's mesh as ball.obj (build-demo.sh turns it into
// ball.v3d with zarn-tool v3d import).
//
// usage: make_art OUTDIR FONTDIR
//   FONTDIR holds DejaVuSans.ttf and DejaVuSans-Bold.ttf (the text on the
//   pictures is set with them).
#include "demo/art/art.h"

#include <cstdio>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_art OUTDIR FONTDIR\n");
        return 1;
    }
    std::string out = std::string(argv[1]) + "/", fontDir = std::string(argv[2]) + "/";
    if (!ArtLoadFonts((fontDir + "DejaVuSans.ttf").c_str(), (fontDir + "DejaVuSans-Bold.ttf").c_str())) {
        std::fprintf(stderr, "make_art: cannot load the fonts in %s\n", fontDir.c_str());
        return 1;
    }
    std::string failed;
    bool ok = ArtWriteIssueFiles(argv[1], "ZARN", "the magazine on a disk  -  issue one", &failed);
    // Then this issue's own article pictures and the mesh; each only while all went well.
    auto write = [&](const char *name, auto save) {
        if (ok && !save(out + name)) {
            ok = false;
            failed = out + name;
        }
    };
    write("archive.bmp", [](const std::string &p) { return ArtSaveBmp24(p, ArtArchiveDiagram()); });
    write("layout.bmp", [](const std::string &p) { return ArtSaveBmp24(p, ArtLayoutSketch()); });
    write("badge.bmp", [](const std::string &p) { return ArtSaveBmp24(p, ArtBadge()); });
    write("hills.jpg", [](const std::string &p) { return ArtSaveJpeg(p, ArtLandscape(180, 110)); });
    write("valley.jpg", [](const std::string &p) { return ArtSaveJpeg(p, ArtLandscape(280, 90), 80); });
    write("ball.obj", [](const std::string &p) {
        std::string obj = ArtSphereObj();
        FILE *f = std::fopen(p.c_str(), "wb");
        if (!f)
            return false;
        bool written = std::fwrite(obj.data(), 1, obj.size(), f) == obj.size();
        return std::fclose(f) == 0 && written;
    });
    ArtCloseFonts();
    if (!ok) {
        std::fprintf(stderr, "make_art: cannot write %s\n", failed.c_str());
        return 1;
    }
    return 0;
}
