// zarn-tool v3d — inspects V3D scene files and makes them from Wavefront OBJ:
//   v3d info FILE                 header, objects with their counts, texture names
//   v3d import IN.obj -o OUT.v3d  one format-2 MODEL, polygons triangulated
#include "tools/tool.h"
#include "tools/v3d.h"

#include "engine3d/vx.h"
#include "gfx/image.h"
#include "store/stackheap.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>
#pragma GCC diagnostic pop

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

const char usage[] = "usage: zarn-tool v3d info FILE\n"
                     "       zarn-tool v3d import IN.obj -o OUT.v3d [--texture NAME] [--mode HEX] [--scale S]";

const char *KindLabel(int32_t kind)
{
    static const char *labels[] = {"MODEL", "LIGHT", "SUN", "PARTICLE", "SHADOW", "SHADOW LINK", "BUMP", "ZSHADOW", "BLOB"};
    return kind >= 0 && kind <= 8 ? labels[kind] : "UNKNOWN";
}

struct Bytes {
    std::vector<uint8_t> data;
    size_t at = 0;
    bool bad = false;
    bool Take(void *dst, size_t n)
    {
        if (bad || n > data.size() - at) {
            bad = true;
            return false;
        }
        std::memcpy(dst, data.data() + at, n);
        at += n;
        return true;
    }
    int32_t I32()
    {
        int32_t v = 0;
        Take(&v, 4);
        return v;
    }
    bool Skip(uint64_t n)
    {
        if (bad || n > data.size() - at) return !(bad = true);
        at += (size_t)n;
        return true;
    }
};

int Info(const char *path)
{
    FILE *f = std::fopen(path, "rb");
    if (!f) return ToolFail("v3d: cannot open '%s'", path);
    Bytes b;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.data.insert(b.data.end(), buf, buf + n);
    std::fclose(f);
    uint8_t header[256];
    if (!b.Take(header, 256) || std::memcmp(header, "VX3D", 4)) return ToolFail("v3d: '%s' is no V3D file", path);
    uint32_t version, marker;
    int32_t count;
    std::memcpy(&version, header + 4, 4);
    std::memcpy(&count, header + 8, 4);
    std::memcpy(&marker, header + 12, 4);
    std::printf("version 0x%X, %d objects, settings marker %s\n", version, count,
                marker == VX_SETTINGS_MARKER ? "present" : "absent");
    if (version != 0x100 && version != 0x200) return ToolFail("v3d: version 0x%X not supported", version);
    for (int32_t i = 0; i < count && !b.bad; i++) {
        int32_t kind = 0;
        if (version == 0x200) {
            kind = b.I32();
            int32_t keys = b.I32();
            uint32_t km = (uint32_t)b.I32();
            b.Skip(24);
            bool valid = (km >> 16) == 0x4242;
            if (valid && keys > 0) b.Skip((uint64_t)keys * 28);
            std::printf("%d: %s, %d keys%s", i, KindLabel(kind), valid && keys > 0 ? keys : 0,
                        valid ? "" : " (no key marker)");
        } else {
            std::printf("%d: MODEL", i);
        }
        if (kind == VX_MODEL) {
            int32_t vc = b.I32(), fc = b.I32();
            std::printf(", %d vertices, %d faces", vc, fc);
            if (vc < 0 || fc < 0) break;
            b.Skip((uint64_t)vc * 12);
            std::set<std::string> names;
            uint32_t firstMode = 0;
            for (int32_t k = 0; k < fc && !b.bad; k++) {
                b.Skip(36);
                char n1[16] = {}, n2[16] = {};
                if (version == 0x100) {
                    b.Take(n1, 10);
                } else {
                    b.Take(n1, 15);
                    b.Take(n2, 15);
                    uint32_t mode = (uint32_t)b.I32();
                    if (k == 0) firstMode = mode;
                }
                if (n1[0]) names.insert(n1);
                if (n2[0]) names.insert(n2);
            }
            if (version == 0x200) std::printf(", first face mode 0x%X", firstMode);
            std::printf(", textures:");
            for (const std::string &s : names) std::printf(" %s", s.c_str());
        } else if (kind == VX_SUN) b.Skip(16);
        else if (kind == VX_PARTICLE) {
            int32_t pk = b.I32(), pc = b.I32();
            b.Skip(24);
            std::printf(", particle kind %d, %d particles", pk, pc);
        } else if (kind == VX_SHADOW) {
            b.Skip(24);
            int32_t projection = b.I32();
            b.Skip(20);
            std::printf(", projection %d, receiver %d", projection, b.I32());
        } else if (kind == VX_SHADOW_LINK) {
            int32_t r = b.I32();
            std::printf(", receiver %d, follows %d", r, b.I32());
        } else if (kind == VX_BUMP) std::printf(", model %d", b.I32());
        else if (kind == VX_ZSHADOW) b.Skip(28);
        else {
            std::printf("\n");
            return ToolFail("v3d: object %d has an unknown kind %d", i, kind);
        }
        std::printf("\n");
    }
    if (b.bad) return ToolFail("v3d: '%s' ends early", path);
    return 0;
}

void Put(std::vector<uint8_t> &b, const void *p, size_t n)
{
    b.insert(b.end(), (const uint8_t *)p, (const uint8_t *)p + n);
}

int Import(int argc, char **argv)
{
    const char *in = nullptr, *out = nullptr, *texture = "standard";
    uint32_t mode = 0;
    float scale = 1.0f;
    for (int i = 2; i < argc; i++) {
        bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "-o") && more) out = argv[++i];
        else if (!std::strcmp(argv[i], "--texture") && more) texture = argv[++i];
        else if (!std::strcmp(argv[i], "--mode") && more) mode = (uint32_t)std::strtoul(argv[++i], nullptr, 16);
        else if (!std::strcmp(argv[i], "--scale") && more) scale = std::strtof(argv[++i], nullptr);
        else if (argv[i][0] != '-' && !in) in = argv[i];
        else return ToolFail("v3d: unexpected '%s'\n%s", argv[i], usage);
    }
    if (!in || !out) return ToolFail("%s", usage);
    std::ifstream obj(in);
    if (!obj) return ToolFail("v3d: cannot read '%s'", in);
    std::string summary, error;
    if (!ToolImportObj(obj, out, texture, mode, scale, &summary, &error)) return ToolFail("v3d: %s", error.c_str());
    std::printf("%s\n", summary.c_str());
    return 0;
}

int V3dCommand(int argc, char **argv)
{
    if (ToolWantsHelp(argc, argv) || argc < 2) {
        std::printf("%s\n", usage);
        return argc < 2 ? 1 : 0;
    }
    if (!std::strcmp(argv[1], "info") && argc == 3) return Info(argv[2]);
    if (!std::strcmp(argv[1], "import")) return Import(argc, argv);
    return ToolFail("%s", usage);
}

} // namespace

ZARN_TOOL_COMMAND("v3d", V3dCommand,
                  "v3d info FILE | import IN.obj -o OUT.v3d [--texture NAME] [--mode HEX] [--scale S] — inspect or make 3D objects");

bool ToolImportObj(std::istream &obj, const char *out, const char *texture, uint32_t mode, float scale,
                   std::string *summary, std::string *error)
{
    if (std::strlen(texture) > 15) {
        *error = "texture name '" + std::string(texture) + "' longer than 15 bytes";
        return false;
    }
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &obj, nullptr, true)) {
        *error = "cannot read the OBJ: " + err;
        return false;
    }
    // Texels of the named texture: its size when the picture is at hand.
    int32_t tw = 256, th = 256;
    std::string bmp = std::string(texture) + ".bmp";
    StackheapInit(0);
    if (uint32_t *px = LoadBmp(bmp.c_str(), &tw, &th)) StackheapFree(px);
    size_t vc = attrib.vertices.size() / 3;
    std::vector<uint8_t> body;
    int32_t kind = VX_MODEL, zero = 0;
    uint32_t marker = VX_NO_KEYS_MARKER;
    Put(body, &kind, 4);
    Put(body, &zero, 4);
    Put(body, &marker, 4);
    for (int i = 0; i < 6; i++) Put(body, &zero, 4);
    std::vector<uint8_t> faces;
    int32_t fc = 0;
    for (const tinyobj::shape_t &s : shapes) {
        size_t at = 0;
        for (size_t f = 0; f < s.mesh.num_face_vertices.size(); f++) {
            int n = s.mesh.num_face_vertices[f];
            if (n != 3) {
                at += (size_t)n;
                continue;
            }
            int32_t c[3];
            float row[3], col[3];
            for (int k = 0; k < 3; k++) {
                const tinyobj::index_t &idx = s.mesh.indices[at + (size_t)k];
                c[k] = idx.vertex_index;
                float u = 0, v = 0;
                if (idx.texcoord_index >= 0 && (size_t)idx.texcoord_index * 2 + 1 < attrib.texcoords.size()) {
                    u = attrib.texcoords[2 * (size_t)idx.texcoord_index];
                    v = attrib.texcoords[2 * (size_t)idx.texcoord_index + 1];
                }
                col[k] = u * (float)tw;
                row[k] = (1.0f - v) * (float)th;
            }
            at += 3;
            if (c[0] < 0 || c[1] < 0 || c[2] < 0 || (size_t)c[0] >= vc || (size_t)c[1] >= vc || (size_t)c[2] >= vc) continue;
            Put(faces, c, 12);
            Put(faces, row, 12);
            Put(faces, col, 12);
            char n1[15] = {}, n2[15] = {};
            std::memcpy(n1, texture, std::strlen(texture));
            Put(faces, n1, 15);
            Put(faces, n2, 15);
            Put(faces, &mode, 4);
            fc++;
        }
    }
    int32_t vcount = (int32_t)vc;
    Put(body, &vcount, 4);
    Put(body, &fc, 4);
    // OBJ is right-handed; the engine's camera space has z into the screen,
    // so z flips and the windings then face the same way.
    for (size_t i = 0; i < vc; i++) {
        float p[3] = {attrib.vertices[3 * i] * scale, attrib.vertices[3 * i + 1] * scale,
                      -attrib.vertices[3 * i + 2] * scale};
        Put(body, p, 12);
    }
    body.insert(body.end(), faces.begin(), faces.end());
    uint8_t header[256] = {'V', 'X', '3', 'D'};
    uint32_t version = 0x200, settings = VX_SETTINGS_MARKER;
    int32_t objects = 1;
    std::memcpy(header + 4, &version, 4);
    std::memcpy(header + 8, &objects, 4);
    std::memcpy(header + 12, &settings, 4);
    FILE *f = std::fopen(out, "wb");
    bool ok = f && std::fwrite(header, 1, 256, f) == 256 && std::fwrite(body.data(), 1, body.size(), f) == body.size();
    if (f) ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        *error = "cannot write '" + std::string(out) + "'";
        return false;
    }
    char line[512];
    std::snprintf(line, sizeof line, "%s: %d vertices, %d faces, texture %s (%dx%d)", out, vcount, fc, texture, tw, th);
    *summary = line;
    return true;
}

