// Scenes and textures: the engine-wide state record, the texture cache of 100
// slots with reference counts, VxInit/VxShutdown, and the V3D reader
// (formats 0x100 and 0x200) with VxFreeScene. Every count and index read from
// a file is checked against what the file can still hold and against the
// object table before it is used.
//
// [SECTION] Engine state
// [SECTION] Texture cache
// [SECTION] Engine start and shutdown
// [SECTION] File reader
// [SECTION] Loading
// [SECTION] Freeing and building scenes
#include "engine3d/vxstate.h"
#include "gfx/image.h"
#include "store/datafile.h"
#include "store/stackheap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

// [SECTION] Engine state

VxEngineState &VxState()
{
    static VxEngineState state;
    return state;
}

void VxDrawingExhausted(const char *message)
{
    std::fputs(message, stdout);
    std::fflush(stdout);
    std::exit(1);
}

int32_t VxSceneObjectCount(const VxScene *scene)
{
    if (!scene) return 0;
    int32_t n;
    std::memcpy(&n, scene->header + 8, 4);
    return n;
}

namespace {

void SetObjectCount(VxScene *scene, int32_t n) { std::memcpy(scene->header + 8, &n, 4); }

uint32_t HeaderWord(const VxScene *scene, int offset)
{
    uint32_t v;
    std::memcpy(&v, scene->header + offset, 4);
    return v;
}

void SetSettingsMarker(VxScene *scene)
{
    uint32_t marker = VX_SETTINGS_MARKER;
    std::memcpy(scene->header + 12, &marker, 4);
    std::memset(scene->header + 16, 0, 12);
}

// [SECTION] Texture cache

bool PowerOfTwoSide(int32_t s)
{
    return s >= 4 && s <= 4096 && (s & (s - 1)) == 0;
}

// The power of two in 4..4096 nearest to s (the larger on a tie).
int32_t NearestSide(int32_t s)
{
    int32_t best = 4;
    for (int32_t p = 4; p <= 4096; p *= 2)
        if (std::abs(p - s) <= std::abs(best - s)) best = p;
    return best;
}

// Resamples a texel block to power-of-two sides (nearest neighbour), freeing
// the old block. Returns the block to keep (the same one when the sides
// already fit), or null without memory (old block freed).
void *FitSides(void *pixels, int32_t *width, int32_t *height, int32_t bytesPerTexel)
{
    int32_t w = *width, h = *height;
    if (PowerOfTwoSide(w) && PowerOfTwoSide(h)) return pixels;
    int32_t nw = NearestSide(w), nh = NearestSide(h);
    void *out = StackheapAlloc(nw * nh * bytesPerTexel);
    if (!out) {
        StackheapFree(pixels);
        return nullptr;
    }
    for (int32_t y = 0; y < nh; y++) {
        int32_t sy = (int32_t)((int64_t)y * h / nh);
        for (int32_t x = 0; x < nw; x++) {
            int32_t sx = (int32_t)((int64_t)x * w / nw);
            if (bytesPerTexel == 4)
                ((uint32_t *)out)[y * nw + x] = ((const uint32_t *)pixels)[sy * w + sx];
            else
                ((uint8_t *)out)[y * nw + x] = ((const uint8_t *)pixels)[sy * w + sx];
        }
    }
    StackheapFree(pixels);
    *width = nw;
    *height = nh;
    return out;
}

void SetName(VxTexture &t, const char *name, bool cutAtDot)
{
    size_t i = 0;
    for (; name[i] && i < sizeof t.name - 1; i++) {
        if (cutAtDot && name[i] == '.') break;
        t.name[i] = name[i];
    }
    t.name[i] = 0;
}

bool ExtensionIs(const char *ext, const char *want)
{
    for (int i = 0; i < 4; i++) {
        char c = ext[i];
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
        if (c != want[i]) return false;
        if (!c) return true;
    }
    return false;
}

int32_t TakeSlot(const char *name, void *pixels, int32_t w, int32_t h, int32_t bpp, int32_t refs,
                 bool cutAtDot)
{
    VxTextureCache &cache = VxState().cache;
    VxTexture &t = cache.slots[cache.count];
    t.pixels = pixels;
    t.width = w;
    t.height = h;
    t.bytesPerTexel = bpp;
    t.refs = refs;
    SetName(t, name, cutAtDot);
    return cache.count++;
}

} // namespace

int32_t VxFindTexture(const char *name)
{
    const VxTextureCache &cache = VxState().cache;
    if (!name) return 0;
    for (int32_t i = 0; i < cache.count; i++)
        if (std::strncmp(cache.slots[i].name, name, sizeof cache.slots[i].name) == 0) return i;
    return 0;
}

int32_t VxLoadTexture(const char *fileName)
{
    VxTextureCache &cache = VxState().cache;
    if (cache.count >= VX_MAX_TEXTURES || !fileName) return 0;
    char name[64];
    std::snprintf(name, sizeof name, "%s", fileName);
    char *dot = std::strrchr(name, '.');
    if (!dot) return 0;
    char *ext = dot + 1;
    int32_t w = 0, h = 0;
    uint32_t *pixels = nullptr;
    if (ExtensionIs(ext, "BMP")) pixels = LoadBmp(name, &w, &h);
    else if (ExtensionIs(ext, "JPG")) pixels = LoadJpeg(name, &w, &h);
    else return 0;
    if (!pixels) {
        std::memcpy(ext, "BMP", 4);
        pixels = LoadBmp(name, &w, &h);
    }
    if (!pixels) {
        std::memcpy(ext, "JPG", 4);
        pixels = LoadJpeg(name, &w, &h);
    }
    if (!pixels) return 0;
    pixels = (uint32_t *)FitSides(pixels, &w, &h, 4);
    if (!pixels) return 0;
    return TakeSlot(name, pixels, w, h, 4, 0, true);
}

int32_t VxLoadMaskTexture(const char *fileName)
{
    VxTextureCache &cache = VxState().cache;
    if (cache.count >= VX_MAX_TEXTURES || !fileName) return 0;
    int32_t w = 0, h = 0, bpp = 0;
    uint8_t *bytes = LoadBmpIndices(fileName, &w, &h, &bpp);
    if (!bytes) return 0;
    if (bpp != 1 && bpp != 4) {
        StackheapFree(bytes);
        return 0;
    }
    void *fitted = FitSides(bytes, &w, &h, bpp);
    if (!fitted) return 0;
    return TakeSlot(fileName, fitted, w, h, bpp, 0, true);
}

void VxAddRef(int32_t slot)
{
    VxTextureCache &cache = VxState().cache;
    if (slot > 0 && slot < cache.count) cache.slots[slot].refs++;
}

void VxRelease(int32_t slot)
{
    VxTextureCache &cache = VxState().cache;
    if (slot <= 0 || slot >= cache.count) return;
    if (--cache.slots[slot].refs <= 0) VxFreeTexture(slot);
}

void VxFreeTexture(int32_t slot)
{
    VxTextureCache &cache = VxState().cache;
    if (slot < 0 || slot >= cache.count) return;
    VxTexture &t = cache.slots[slot];
    StackheapFree(t.pixels);
    t.pixels = nullptr;
    t.refs = 0;
    std::strcpy(t.name, "$");
}

int32_t VxRegisterTexture(const char *name, void *pixels, int32_t width, int32_t height,
                          int32_t bytesPerTexel, int32_t refs)
{
    VxTextureCache &cache = VxState().cache;
    if (cache.count >= VX_MAX_TEXTURES || !pixels || !name) return 0;
    if (!PowerOfTwoSide(width) || !PowerOfTwoSide(height)) return 0;
    if (bytesPerTexel != 1 && bytesPerTexel != 4) return 0;
    return TakeSlot(name, pixels, width, height, bytesPerTexel, refs, false);
}

int VxReplaceTexture(int32_t slot, void *pixels, int32_t width, int32_t height,
                     int32_t bytesPerTexel, int32_t refs)
{
    VxTexture *t = VxGetTexture(slot);
    if (!t || !pixels || !PowerOfTwoSide(width) || !PowerOfTwoSide(height)) return 0;
    if (bytesPerTexel != 1 && bytesPerTexel != 4) return 0;
    if (t->pixels != pixels) StackheapFree(t->pixels);
    t->pixels = pixels;
    t->width = width;
    t->height = height;
    t->bytesPerTexel = bytesPerTexel;
    t->refs = refs;
    return 1;
}

VxTexture *VxGetTexture(int32_t slot)
{
    VxTextureCache &cache = VxState().cache;
    if (slot < 0 || slot >= cache.count) return nullptr;
    return &cache.slots[slot];
}

int32_t VxTextureCount() { return VxState().cache.count; }

// [SECTION] Engine start and shutdown

namespace {

// Undoes a VxInit that stopped part-way: effect buffers and every slot.
int AbandonInit()
{
    VxEngineState &st = VxState();
    VxFreeEffects();
    for (int32_t i = 0; i < st.cache.count; i++) VxFreeTexture(i);
    st.cache.count = 0;
    st.envSlot = st.shadowSlot = 0;
    return 0;
}

} // namespace

int VxInit(int32_t width, int32_t height)
{
    VxEngineState &st = VxState();
    if (width < 1 || height < 1 || width > 8192 || height > 8192) return 0;
    std::memset(&st, 0, sizeof st);
    for (int i = 0; i < 16; i += 5) st.camera[i] = 1.0f;
    st.view.focal = 160.0f;
    st.view.xMin = -160;
    st.view.xMax = 159;
    st.view.yMin = -120;
    st.view.yMax = 119;
    VxSetWideSpans(1);

    int32_t w = 0, h = 0;
    void *pixels = LoadBmp("standard.bmp", &w, &h);
    if (pixels) pixels = FitSides(pixels, &w, &h, 4);
    if (!pixels) {
        w = h = 128;
        uint32_t *ramp = (uint32_t *)StackheapAlloc(128 * 128 * 4);
        if (!ramp) return 0;
        for (int32_t y = 0; y < 128; y++)
            for (int32_t x = 0; x < 128; x++) ramp[y * 128 + x] = (uint32_t)(2 * x) | ((uint32_t)(2 * y) << 8);
        pixels = ramp;
    }
    TakeSlot("standard", pixels, w, h, 4, VX_DEFAULT_REFS, false);

    VxSetViewport(width, height);
    if (!VxSetupEnvironment() || !VxSetupShadowTexture() || !VxSetupLens() || !VxSetupZShadow())
        return AbandonInit();
    st.zbuffer = (int16_t *)StackheapAlloc(width * height * 2);
    if (!st.zbuffer) return AbandonInit();
    if ((uintptr_t)st.zbuffer & 1) {
        std::printf("- zbuffer bad aligned!\n");
        StackheapFree(st.zbuffer);
        st.zbuffer = nullptr;
        return AbandonInit();
    }
    st.zbufferEntries = width * height;
    st.initialised = 1;
    return 1;
}

void VxShutdown()
{
    VxEngineState &st = VxState();
    VxFreeEffects();
    VxFreeTexture(st.shadowSlot > 0 ? st.shadowSlot : -1);
    VxFreeTexture(st.envSlot > 0 ? st.envSlot : -1);
    VxFreeTexture(0);
    StackheapFree(st.zbuffer);
    st.zbuffer = nullptr;
    st.zbufferEntries = 0;
    VxTextureCache &cache = st.cache;
    int32_t still = 0;
    for (int32_t i = 0; i < cache.count; i++)
        if (cache.slots[i].pixels) still++;
    if (still) {
        std::printf("- still textures in cache: {");
        for (int32_t i = 0; i < cache.count; i++)
            if (cache.slots[i].pixels) {
                std::printf("%s[%i] ", cache.slots[i].name, cache.slots[i].refs);
                VxFreeTexture(i);
            }
        std::printf("}\n");
    }
    cache.count = 0;
    st.envSlot = st.shadowSlot = 0;
    st.initialised = 0;
}

// [SECTION] File reader

namespace {

// Binary reader with a sticky error flag and the bytes left in the file.
struct Reader {
    DataFile *file;
    int64_t left;
    bool error;
    bool Bytes(void *dst, int64_t n)
    {
        if (error || n < 0 || n > left) {
            error = true;
            return false;
        }
        if (n > 0 && DataFileRead(dst, (int32_t)n, 1, file) != 1) {
            error = true;
            return false;
        }
        left -= n;
        return true;
    }
    int32_t I32()
    {
        int32_t v = 0;
        Bytes(&v, 4);
        return v;
    }
    float F32()
    {
        float v = 0;
        Bytes(&v, 4);
        return v;
    }
    int16_t I16()
    {
        int16_t v = 0;
        Bytes(&v, 2);
        return v;
    }
    bool Skip(int64_t n)
    {
        uint8_t buf[64];
        while (n > 0 && !error) {
            int64_t k = n > 64 ? 64 : n;
            Bytes(buf, k);
            n -= k;
        }
        return !error;
    }
    // True when n items of size bytes can still come from the file.
    bool Holds(int64_t n, int64_t size) const { return n >= 0 && n <= left / (size > 0 ? size : 1); }
};

void *AllocZero(int64_t size)
{
    if (size < 1) size = 4;
    if (size > 0x7FFFFFF0) return nullptr;
    void *p = StackheapAlloc((int32_t)size);
    if (p) std::memset(p, 0, (size_t)size);
    return p;
}

int Fail(const char *message)
{
    std::fputs(message, stdout);
    return 0;
}

const char kCorrupt[] = "- corrupt v3d-file!\n";

void ResolveName(const char *name, char *out, size_t outSize)
{
    std::snprintf(out, outSize, "%s.bmp", name);
}

int32_t Texture1For(const char *name)
{
    int32_t slot = VxFindTexture(name);
    if (slot) return slot;
    char file[40];
    ResolveName(name, file, sizeof file);
    return VxLoadTexture(file);
}

int32_t Texture2For(const char *name)
{
    int32_t slot = VxFindTexture(name);
    if (slot) return slot;
    char file[40];
    ResolveName(name, file, sizeof file);
    return VxLoadMaskTexture(file);
}

// Reads the arrays of a mesh whose counts are known; format 1 or 2 faces.
int ReadMesh(Reader &rd, VxMesh *mesh, int format)
{
    int32_t vc = mesh->vertexCount, fc = mesh->faceCount;
    int64_t faceBytes = format == 1 ? 46 : 70;
    if (vc < 0 || fc < 0 || !rd.Holds(vc, 12) || !rd.Holds(fc, faceBytes) ||
        (int64_t)vc * 12 + (int64_t)fc * faceBytes > rd.left)
        return Fail(kCorrupt);
    mesh->vertices = (float *)AllocZero((int64_t)vc * 12);
    mesh->viewVertices = (float *)AllocZero((int64_t)vc * 12);
    mesh->normals = (float *)AllocZero((int64_t)vc * 12);
    mesh->faces = (VxFace *)AllocZero((int64_t)fc * (int64_t)sizeof(VxFace));
    if (!mesh->vertices || !mesh->viewVertices || !mesh->normals || !mesh->faces)
        return Fail(format == 1 ? "- out of mem!\n" : "- mem-probs!\n");
    if (!rd.Bytes(mesh->vertices, (int64_t)vc * 12)) return Fail(kCorrupt);
    for (int32_t i = 0; i < fc; i++) {
        VxFace &f = mesh->faces[i];
        for (int k = 0; k < 3; k++) f.corner[k] = rd.I32();
        for (int k = 0; k < 3; k++) f.row[k] = rd.F32();
        for (int k = 0; k < 3; k++) f.col[k] = rd.F32();
        if (format == 1) {
            rd.Bytes(f.texName1, 10);
        } else {
            rd.Bytes(f.texName1, 15);
            rd.Bytes(f.texName2, 15);
            uint32_t mode = 0;
            rd.Bytes(&mode, 4);
            f.mode = mode;
        }
        f.texName1[15] = f.texName2[15] = 0;
        if (rd.error) return Fail(kCorrupt);
        for (int k = 0; k < 3; k++)
            if (f.corner[k] < 0 || f.corner[k] >= vc) return Fail("- face index out of range!\n");
    }
    return 1;
}

int LoadFormat1(Reader &rd, VxScene *scene, int32_t count)
{
    for (int32_t i = 0; i < count; i++) {
        VxObject &o = scene->objects[i];
        o.kind = VX_MODEL;
        o.keyCount = 0;
        o.keyMarker = VX_NO_KEYS_MARKER;
        VxMesh *mesh = (VxMesh *)AllocZero(sizeof(VxMesh));
        if (!mesh) return Fail("- data is NULL!\n");
        o.payload = mesh;
        mesh->vertexCount = rd.I32();
        mesh->faceCount = rd.I32();
        if (rd.error) return Fail(kCorrupt);
        if (mesh->vertexCount > VX_FORMAT1_MAX_VERTICES) {
            std::printf("- too many vertexes! (over %i)\n", VX_FORMAT1_MAX_VERTICES);
            return 0;
        }
        int32_t fc = mesh->faceCount;
        if (!ReadMesh(rd, mesh, 1)) {
            mesh->faceCount = 0;
            return 0;
        }
        if (fc == 0) continue;
        uint32_t mode = 1;
        char name[16];
        const char *first = mesh->faces[0].texName1;
        if ((uint8_t)first[0] == 0x81 || (uint8_t)first[0] == 0x94) {
            mode = (uint8_t)first[0] == 0x81 ? 2 : 4;
            std::snprintf(name, sizeof name, "%s", first + 1);
        } else {
            std::snprintf(name, sizeof name, "%s", first);
        }
        int32_t slot = Texture1For(name);
        for (int32_t k = 0; k < fc; k++) {
            VxFace &f = mesh->faces[k];
            if (mode != 1) std::snprintf(f.texName1, sizeof f.texName1, "%s", name);
            f.tex1 = slot;
            f.texName2[0] = 0;
            f.tex2 = 0;
            f.mode = mode;
            VxAddRef(slot);
        }
    }
    return 1;
}

int LoadObject2(Reader &rd, VxScene *scene, int32_t index)
{
    VxObject &o = scene->objects[index];
    int32_t kind = rd.I32();
    o.keyCount = rd.I32();
    uint32_t marker = 0;
    rd.Bytes(&marker, 4);
    o.keyMarker = marker;
    rd.Skip(24);
    if (rd.error) return Fail(kCorrupt);
    if ((o.keyMarker >> 16) != 0x4242) {
        o.keyCount = 0;
        o.keyMarker = VX_NO_KEYS_MARKER;
    } else if (o.keyCount > 0) {
        if (!rd.Holds(o.keyCount, 28)) {
            o.keyCount = 0;
            return Fail(kCorrupt);
        }
        int64_t n = o.keyCount;
        for (int t = 0; t < 7; t++) o.keyTracks[t] = (uint32_t *)AllocZero(n * 4);
        o.keyAux = (uint32_t *)AllocZero(n * 4);
        for (int t = 0; t < 6; t++) o.keyAux16[t] = (uint8_t *)AllocZero(n * 16);
        bool ok = o.keyAux != nullptr;
        for (int t = 0; t < 7; t++) ok = ok && o.keyTracks[t];
        for (int t = 0; t < 6; t++) ok = ok && o.keyAux16[t];
        if (!ok) return Fail("- out of mem!\n");
        for (int t = 0; t < 7; t++)
            if (!rd.Bytes(o.keyTracks[t], n * 4)) return Fail(kCorrupt);
    } else {
        o.keyCount = 0;
    }

    switch (kind) {
    case VX_MODEL: {
        o.kind = VX_MODEL;
        VxMesh *mesh = (VxMesh *)AllocZero(sizeof(VxMesh));
        if (!mesh) return Fail("- data null!\n");
        o.payload = mesh;
        mesh->vertexCount = rd.I32();
        mesh->faceCount = rd.I32();
        if (rd.error) {
            mesh->vertexCount = mesh->faceCount = 0;
            return Fail(kCorrupt);
        }
        if (!ReadMesh(rd, mesh, 2)) {
            if (!mesh->faces) mesh->faceCount = 0;
            return 0;
        }
        for (int32_t k = 0; k < mesh->faceCount; k++) {
            VxFace &f = mesh->faces[k];
            f.tex1 = Texture1For(f.texName1);
            VxAddRef(f.tex1);
            f.tex2 = Texture2For(f.texName2);
            VxAddRef(f.tex2);
        }
        return 1;
    }
    case VX_SUN: {
        VxSun *sun = (VxSun *)AllocZero(32);
        if (!sun) return Fail("- problems with lens (mem)!\n");
        o.kind = VX_SUN;
        o.payload = sun;
        for (int k = 0; k < 3; k++) sun->position[k] = rd.F32();
        sun->lightKind = (uint16_t)rd.I16();
        sun->lightSize = (uint16_t)rd.I16();
        return rd.error ? Fail(kCorrupt) : 1;
    }
    case VX_PARTICLE: {
        VxParticleEmitter *e = (VxParticleEmitter *)AllocZero(sizeof(VxParticleEmitter));
        if (!e) return Fail("- problems with part (mem)!\n");
        o.kind = VX_PARTICLE;
        o.payload = e;
        e->particleKind = rd.I32();
        e->particleCount = rd.I32();
        for (int k = 0; k < 3; k++) e->origin[k] = rd.F32();
        for (int k = 0; k < 3; k++) e->direction[k] = rd.F32();
        if (rd.error || e->particleCount < 0 || e->particleCount > VX_MAX_PARTICLES) {
            e->particleCount = 0;
            return Fail(kCorrupt);
        }
        e->particles = (VxParticle *)AllocZero((int64_t)e->particleCount * (int64_t)sizeof(VxParticle));
        if (!e->particles) {
            e->particleCount = 0;
            return Fail("- problems with part[dat] (mem)!\n");
        }
        VxInitParticles(e);
        return 1;
    }
    case VX_SHADOW: {
        VxShadow *s = (VxShadow *)AllocZero(sizeof(VxShadow));
        if (!s) return Fail("- out of mem!\n");
        o.kind = VX_SHADOW;
        o.payload = s;
        for (int k = 0; k < 3; k++) s->position[k] = rd.F32();
        for (int k = 0; k < 3; k++) s->extra[k] = rd.F32();
        s->projection = rd.I32();
        s->scale = rd.F32();
        rd.Bytes(s->reserved, 16);
        s->receiver = rd.I32();
        return rd.error ? Fail(kCorrupt) : 1;
    }
    case VX_SHADOW_LINK: {
        VxShadowLink *s = (VxShadowLink *)AllocZero(sizeof(VxShadowLink));
        if (!s) return Fail("- out of mem!\n");
        o.kind = VX_SHADOW_LINK;
        o.payload = s;
        s->receiver = rd.I32();
        s->followed = rd.I32();
        return rd.error ? Fail(kCorrupt) : 1;
    }
    case VX_BUMP: {
        VxBump *b = (VxBump *)AllocZero(sizeof(VxBump));
        if (!b) return Fail("- out of mem!\n");
        o.kind = VX_BUMP;
        o.payload = b;
        b->model = rd.I32();
        if (rd.error) return Fail(kCorrupt);
        // The height map must come from a model already read.
        if (b->model < 0 || b->model >= index || scene->objects[b->model].kind != VX_MODEL ||
            !scene->objects[b->model].payload)
            return Fail("- bump model out of range!\n");
        const VxMesh *m = (const VxMesh *)scene->objects[b->model].payload;
        if (m->faceCount < 1) return Fail("- bump model out of range!\n");
        const VxTexture *h = VxTextureAny(m->faces[0].tex2);
        if (!h) return 0;
        b->width = h->width;
        b->height = h->height;
        return VxSetupBump(b, h);
    }
    case VX_ZSHADOW: {
        VxZShadow *z = (VxZShadow *)AllocZero(sizeof(VxZShadow));
        if (!z) return Fail("- out of mem!\n");
        o.kind = VX_ZSHADOW;
        o.payload = z;
        for (int k = 0; k < 3; k++) z->lightPosition[k] = rd.F32();
        for (int k = 0; k < 3; k++) z->lightAngles[k] = rd.F32();
        z->lightZoom = rd.F32();
        return rd.error ? Fail(kCorrupt) : 1;
    }
    default:
        return Fail("- unknown object!\n");
    }
}

// Indices between objects, checked once every object is known. Only the
// range matters: a receiver that is not a model simply gets no shadow, and a
// link may follow any object.
int CheckLinks(const VxScene *scene, int32_t count)
{
    auto inRange = [count](int32_t i) { return i >= 0 && i < count; };
    for (int32_t i = 0; i < count; i++) {
        const VxObject &o = scene->objects[i];
        int32_t receiver;
        if (o.kind == VX_SHADOW) {
            receiver = ((const VxShadow *)o.payload)->receiver;
        } else if (o.kind == VX_SHADOW_LINK) {
            const VxShadowLink *l = (const VxShadowLink *)o.payload;
            if (!inRange(l->followed)) return Fail("- shadow link target out of range!\n");
            receiver = l->receiver;
        } else {
            continue;
        }
        if (!inRange(receiver)) return Fail("- shadow receiver out of range!\n");
    }
    return 1;
}

void ClearScene(VxScene *scene)
{
    std::memset(scene->header, 0, sizeof scene->header);
    scene->objects = nullptr;
}

// Frees what a failed load built and leaves the scene empty.
int Abandon(VxScene *scene, DataFile *file, int32_t built)
{
    SetObjectCount(scene, built);
    VxFreeScene(scene);
    DataFileClose(file);
    return 0;
}

} // namespace

// [SECTION] Loading

int VxLoadScene(VxScene *scene, const char *fileName)
{
    if (!scene) return 0;
    DataFile *file = fileName ? DataFileOpen(fileName, "rb") : nullptr;
    if (!file) {
        ClearScene(scene);
        return Fail("- file not found!\n");
    }
    Reader rd = {file, 0, false};
    int64_t size = 0;
    if (DataFileSeek(file, 0, 2)) size = DataFileTell(file);
    DataFileSeek(file, 0, 0);
    rd.left = size > 0 ? size : 0;

    scene->objects = nullptr;
    bool whole = rd.Bytes(scene->header, 256);
    if (!whole || std::memcmp(scene->header, "VX3D", 4) != 0) {
        ClearScene(scene);
        DataFileClose(file);
        return Fail("- no V3D-File!\n");
    }
    uint32_t version = HeaderWord(scene, 4);
    if (version < 0x100 || (version > 0x100 && version != 0x200)) {
        ClearScene(scene);
        DataFileClose(file);
        return Fail("- v3d-version not supported!\n");
    }
    int32_t count = VxSceneObjectCount(scene);
    int format = version == 0x100 ? 1 : 2;
    if (format == 1) SetSettingsMarker(scene);
    else if (HeaderWord(scene, 12) != VX_SETTINGS_MARKER) SetSettingsMarker(scene);
    // Every object takes at least 8 (format 1) or 36 (format 2: the record
    // of a kind without payload) bytes.
    if (count < 0 || !rd.Holds(count, format == 1 ? 8 : 36)) {
        ClearScene(scene);
        DataFileClose(file);
        return Fail(kCorrupt);
    }
    scene->objects = (VxObject *)AllocZero((int64_t)count * (int64_t)sizeof(VxObject));
    if (!scene->objects) {
        ClearScene(scene);
        DataFileClose(file);
        return Fail("- out of mem!\n");
    }
    for (int32_t i = 0; i < count; i++) scene->objects[i].keyMarker = VX_NO_KEYS_MARKER;
    if (format == 1) {
        if (!LoadFormat1(rd, scene, count)) return Abandon(scene, file, count);
    } else {
        for (int32_t i = 0; i < count; i++)
            if (!LoadObject2(rd, scene, i)) return Abandon(scene, file, i + 1);
        if (!CheckLinks(scene, count)) return Abandon(scene, file, count);
    }
    DataFileClose(file);
    return 1;
}

// [SECTION] Freeing and building scenes

int VxFreeScene(VxScene *scene)
{
    if (!scene) return 1;
    int32_t count = VxSceneObjectCount(scene);
    if (scene->objects) {
        for (int32_t i = count - 1; i >= 0; i--) {
            VxObject &o = scene->objects[i];
            switch (o.kind) {
            case VX_MODEL:
                if (VxMesh *m = (VxMesh *)o.payload) {
                    if (m->faces)
                        for (int32_t f = 0; f < m->faceCount; f++) {
                            VxRelease(m->faces[f].tex1);
                            VxRelease(m->faces[f].tex2);
                        }
                    StackheapFree(m->faces);
                    StackheapFree(m->normals);
                    StackheapFree(m->viewVertices);
                    StackheapFree(m->vertices);
                }
                break;
            case VX_SUN:
            case VX_SHADOW:
            case VX_SHADOW_LINK:
                break;
            case VX_PARTICLE:
                if (o.payload) StackheapFree(((VxParticleEmitter *)o.payload)->particles);
                break;
            case VX_BUMP:
                if (o.payload) VxFreeBump((VxBump *)o.payload);
                break;
            case VX_ZSHADOW:
                if (VxZShadow *z = (VxZShadow *)o.payload)
                    for (int s = 0; s < VX_ZSHADOW_SLOTS; s++)
                        if (z->slots[s].allocated) {
                            StackheapFree(z->slots[s].shadowU);
                            StackheapFree(z->slots[s].shadowV);
                            StackheapFree(z->slots[s].shadowDepth);
                        }
                break;
            default:
                std::printf("FATAL! error freeing vx3d!\a\a\a\n");
                std::fflush(stdout);
                std::abort();
            }
            for (int t = 0; t < 7; t++) StackheapFree(o.keyTracks[t]);
            for (int t = 0; t < 6; t++) StackheapFree(o.keyAux16[t]);
            StackheapFree(o.keyAux);
            StackheapFree(o.payload);
        }
        StackheapFree(scene->objects);
    }
    ClearScene(scene);
    return 1;
}

int VxNewScene(VxScene *scene, int32_t objectCount)
{
    if (!scene) return 0;
    ClearScene(scene);
    if (objectCount < 0 || objectCount > 100000) return 0;
    scene->objects = (VxObject *)AllocZero((int64_t)objectCount * (int64_t)sizeof(VxObject));
    if (!scene->objects) return 0;
    for (int32_t i = 0; i < objectCount; i++) scene->objects[i].keyMarker = VX_NO_KEYS_MARKER;
    std::memcpy(scene->header, "VX3D", 4);
    uint32_t version = 0x200;
    std::memcpy(scene->header + 4, &version, 4);
    SetSettingsMarker(scene);
    SetObjectCount(scene, objectCount);
    return 1;
}

VxMesh *VxNewModel(VxScene *scene, int32_t index, int32_t vertexCount, int32_t faceCount)
{
    if (!scene || !scene->objects || index < 0 || index >= VxSceneObjectCount(scene)) return nullptr;
    if (vertexCount < 0 || faceCount < 0 || vertexCount > 10000000 || faceCount > 10000000) return nullptr;
    VxObject &o = scene->objects[index];
    if (o.payload) return nullptr;
    VxMesh *m = (VxMesh *)AllocZero(sizeof(VxMesh));
    if (!m) return nullptr;
    m->vertices = (float *)AllocZero((int64_t)vertexCount * 12);
    m->viewVertices = (float *)AllocZero((int64_t)vertexCount * 12);
    m->normals = (float *)AllocZero((int64_t)vertexCount * 12);
    m->faces = (VxFace *)AllocZero((int64_t)faceCount * (int64_t)sizeof(VxFace));
    if (!m->vertices || !m->viewVertices || !m->normals || !m->faces) {
        StackheapFree(m->vertices);
        StackheapFree(m->viewVertices);
        StackheapFree(m->normals);
        StackheapFree(m->faces);
        StackheapFree(m);
        return nullptr;
    }
    m->vertexCount = vertexCount;
    m->faceCount = faceCount;
    o.kind = VX_MODEL;
    o.payload = m;
    return m;
}

void VxSetFaceTextures(VxFace *face, int32_t tex1, int32_t tex2)
{
    if (!face) return;
    face->tex1 = tex1;
    face->tex2 = tex2;
    VxAddRef(tex1);
    VxAddRef(tex2);
}
