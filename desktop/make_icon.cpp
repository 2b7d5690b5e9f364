// make_icon OUTDIR SIZE... — writes OUTDIR/zarn-SIZE.png for each size: the
// program's icon for the desktop's icon theme, painted by the same code as
// the window's icon.
#include "app/resources.h"
#include "gfx/image.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: make_icon OUTDIR SIZE...\n");
        return 1;
    }
    for (int i = 2; i < argc; i++) {
        int size = atoi(argv[i]);
        std::vector<uint32_t> pixels((size_t)(size > 0 ? size : 0) * (size_t)(size > 0 ? size : 0));
        if (!PaintIconImage(size, pixels.data())) {
            fprintf(stderr, "make_icon: no icon of size '%s'\n", argv[i]);
            return 1;
        }
        std::string path = std::string(argv[1]) + "/zarn-" + std::to_string(size) + ".png";
        if (!SavePagePng(path.c_str(), pixels.data(), size, size)) {
            fprintf(stderr, "make_icon: cannot write '%s'\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
