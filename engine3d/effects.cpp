// Effect resources and passes: the "$env$" screen-reflection texture with its
// screen table, "$shadow$", the lens-flare images and the sun pass with glare,
// particle emitters with their colour ramps, projected shadows (single and
// two-source), z-buffer shadows with their light pass, bump-mapped models and
// sun-lit faces shadowed in texture space.
//
// [SECTION] Resources
// [SECTION] Environment copy
// [SECTION] Suns, flares, glare
// [SECTION] Particles
// [SECTION] Projected shadows
// [SECTION] Z-buffer shadows
// [SECTION] Bump maps
// [SECTION] Sun-lit faces
#include "engine3d/vxstate.h"
#include "gfx/image.h"
#include "gfx/pixels.h"
#include "store/stackheap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

uint32_t Rgb(int32_t r, int32_t g, int32_t b)
{
    return ((uint32_t)(r & 255) << 16) | ((uint32_t)(g & 255) << 8) | (uint32_t)(b & 255);
}

uint32_t AddPixel(uint32_t a, uint32_t b)
{
    uint32_t r = ((a >> 16) & 255) + ((b >> 16) & 255), g = ((a >> 8) & 255) + ((b >> 8) & 255),
             bl = (a & 255) + (b & 255);
    return ((r > 255 ? 255 : r) << 16) | ((g > 255 ? 255 : g) << 8) | (bl > 255 ? 255 : bl);
}

VxMesh *ModelAt(VxScene *scene, int32_t index)
{
    if (index < 0 || index >= VxSceneObjectCount(scene)) return nullptr;
    VxObject &o = scene->objects[index];
    if (o.kind != VX_MODEL || !o.payload) return nullptr;
    VxMesh *m = (VxMesh *)o.payload;
    return m->faceCount > 0 && m->faces && m->viewVertices ? m : nullptr;
}

float Length3(const float *a, const float *b)
{
    float d[3] = {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
    return std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
}

float Clamp(float v, float lo, float hi)
{
    if (!(v >= lo)) return lo;
    if (!(v <= hi)) return hi;
    return v;
}

} // namespace

// [SECTION] Resources

int VxSetupEnvironment()
{
    VxEngineState &st = VxState();
    uint32_t *pixels = (uint32_t *)StackheapAlloc(256 * 256 * 4);
    st.envTable = (int32_t *)StackheapAlloc(65536 * 4);
    if (!pixels || !st.envTable) {
        StackheapFree(pixels);
        return 0;
    }
    std::memset(pixels, 0, 256 * 256 * 4);
    const VxViewInfo &v = st.view;
    for (int i = 0; i < 256; i++)
        for (int j = 0; j < 256; j++) {
            float a = (2.0f * i - 256.0f) / 256.0f, b = (2.0f * j - 256.0f) / 256.0f;
            float qa = 1.0f - a * a, qb = 1.0f - b * b;
            int32_t entry = 0;
            // At the table's edge the square root is 0: such points lie
            // infinitely far out, outside any view.
            if (qa > 0 && qb > 0) {
                float row = a * 0.4f * 160.0f / std::sqrt(qa) + (float)(v.viewHeight / 2);
                float col = b * 0.4f * 160.0f / std::sqrt(qb) + (float)(v.viewWidth / 2);
                if (row >= 0 && col >= 0 && row < (float)v.viewHeight && col < (float)v.viewWidth)
                    entry = (int32_t)row * v.viewWidth + (int32_t)col;
            }
            st.envTable[i * 256 + j] = entry;
        }
    st.envTableLimit = v.viewWidth * v.viewHeight;
    st.envSlot = VxRegisterTexture("$env$", pixels, 256, 256, 4, VX_DEFAULT_REFS);
    if (!st.envSlot) {
        StackheapFree(pixels);
        return 0;
    }
    return 1;
}

int VxSetupShadowTexture()
{
    VxEngineState &st = VxState();
    uint32_t *pixels = (uint32_t *)StackheapAlloc(512 * 512 * 4);
    if (!pixels) return 0;
    std::memset(pixels, 0, 512 * 512 * 4);
    st.shadowSlot = VxRegisterTexture("$shadow$", pixels, 512, 512, 4, VX_DEFAULT_REFS);
    if (!st.shadowSlot) {
        StackheapFree(pixels);
        return 0;
    }
    return 1;
}

int VxSetupLens()
{
    VxEngineState &st = VxState();
    static const int32_t sides[5] = {80, 48, 38, 28, 7};
    // Views narrower than 320 keep the unscaled sizes rather than empty images.
    int32_t scale = st.view.viewWidth / 320;
    if (scale < 1) scale = 1;
    for (int i = 0; i < 5; i++) {
        int32_t s = sides[i] * scale;
        st.flareSide[i] = s;
        st.flare[i] = (uint32_t *)StackheapAlloc(s * s * 4);
        if (!st.flare[i]) return 0;
        std::memset(st.flare[i], 0, (size_t)s * s * 4);
    }
    uint32_t *lens = LoadBmpScaled("lens.bmp", st.flareSide[0], st.flareSide[0]);
    if (!lens) return 0;
    std::memcpy(st.flare[0], lens, (size_t)st.flareSide[0] * st.flareSide[0] * 4);
    StackheapFree(lens);
    for (int i = 1; i < 5; i++) {
        int32_t s = st.flareSide[i];
        float half = (float)s / 2.0f, rim = (float)s / 2.0f - (float)s / 10.0f;
        for (int32_t y = 0; y < s; y++)
            for (int32_t x = 0; x < s; x++) {
                float dx = (float)x - half, dy = (float)y - half;
                float d = std::sqrt(dx * dx + dy * dy);
                uint32_t px = 0;
                bool ring = d > rim && d < half;
                if (i == 1) px = ring ? Rgb(8, 0, 32) : (d < rim ? Rgb(0, 0, 16) : 0);
                else if (i == 2) px = ring ? Rgb(56, 16, 48) : 0;
                else if (i == 3) px = ring ? Rgb(16, 0, 48) : 0;
                else {
                    float j = (float)s - 2.0f * d;
                    if (j < 0) j = 0;
                    px = Rgb((int32_t)(16.0f * j), 0, (int32_t)(8.0f * j));
                }
                st.flare[i][y * s + x] = px;
            }
    }
    return 1;
}

int VxSetupZShadow()
{
    VxEngineState &st = VxState();
    st.zsMask = LoadBmpIndicesScaled("zs_mask.bmp", 256, 256);
    if (!st.zsMask) {
        st.zsMask = (uint8_t *)StackheapAlloc(65536);
        if (!st.zsMask) return 0;
        std::memset(st.zsMask, 0, 65536);
    }
    st.shadowDepth = (int16_t *)StackheapAlloc(65536 * 2);
    if (!st.shadowDepth) return 0;
    std::memset(st.shadowDepth, 0, 65536 * 2);
    return 1;
}

void VxFreeEffects()
{
    VxEngineState &st = VxState();
    for (int i = 0; i < 5; i++) {
        StackheapFree(st.flare[i]);
        st.flare[i] = nullptr;
    }
    StackheapFree(st.envTable);
    StackheapFree(st.zsMask);
    StackheapFree(st.shadowDepth);
    st.envTable = nullptr;
    st.zsMask = nullptr;
    st.shadowDepth = nullptr;
}

// [SECTION] Environment copy

void VxCopyEnvironment(const uint32_t *page)
{
    VxEngineState &st = VxState();
    const VxTexture *env = VxTextureAny(st.envSlot);
    if (!env || !st.envTable || !page) return;
    if (st.view.viewWidth * st.view.viewHeight < st.envTableLimit) return;
    uint32_t *p = (uint32_t *)page;
    p[0] = 0;
    uint32_t *t = (uint32_t *)env->pixels;
    for (int i = 0; i < 65536; i++) t[i] = page[st.envTable[i]];
}

// [SECTION] Suns, flares, glare

void VxSunPass(uint32_t *page, VxScene *scene)
{
    VxEngineState &st = VxState();
    const VxViewInfo &v = st.view;
    st.glare = 0;
    int32_t count = VxSceneObjectCount(scene);
    float cx = (float)(v.viewWidth / 2), cy = (float)(v.viewHeight / 2);
    for (int32_t i = 0; i < count; i++) {
        VxObject &o = scene->objects[i];
        if (o.kind != VX_SUN || !o.payload) continue;
        VxSun *sun = (VxSun *)o.payload;
        VxTransformPoint(sun->position, sun->viewPosition);
        float z = sun->viewPosition[2];
        if (!(z >= 5.0f)) continue;
        float sx = sun->viewPosition[0] * v.focal / z + cx;
        float sy = -sun->viewPosition[1] * v.focal / z + cy;
        if (!(sx >= -50 && sx <= v.viewWidth + 50 && sy >= -50 && sy <= v.viewHeight + 50)) continue;
        int32_t px = VxClampTrunc(sx, 0, v.viewWidth - 1), py = VxClampTrunc(sy, 0, v.viewHeight - 1);
        if (!(st.zbuffer[py * v.viewWidth + px] < VxPointDepth(z))) continue;
        if (sx != cx || sy != cy) {
            float d2 = (sx - cx) * (sx - cx) + (sy - cy) * (sy - cy);
            float g = (float)st.glare + 40000.0f / d2 - 10.0f;
            st.glare = VxClampTrunc(g, -1000000000, 1000000000);
        } else {
            st.glare += 100;
        }
        float scale = v.focal / z;
        float half = scale * (float)st.flareSide[0] / 2.0f;
        BlitAddScaled(page, v.viewWidth, v.viewHeight, sx - half, sy - half, st.flare[0],
                      st.flareSide[0], st.flareSide[0], scale, scale);
        static const float t[5] = {0, -1.1f, -0.3f, 0.6f, -0.8f};
        for (int k = 1; k < 5; k++) {
            float fx = cx + t[k] * (sx - cx), fy = cy + t[k] * (sy - cy);
            int32_t s = st.flareSide[k];
            BlitAdd(page, v.viewWidth, v.viewHeight, VxClampTrunc(fx, -100000, 100000) - s / 2,
                    VxClampTrunc(fy, -100000, 100000) - s / 2, st.flare[k], s, s);
        }
    }
    if (st.glare != 0) BrightenRun(page, v.viewWidth * v.viewHeight, st.glare);
}

// [SECTION] Particles

namespace {

float R(int n) { return (float)(std::rand() % n); }

void LinearRun(uint32_t *ramp, int start, int n, const int a[3], const int b[3])
{
    for (int i = 0; i < n; i++) {
        int c[3];
        for (int k = 0; k < 3; k++) c[k] = a[k] + (b[k] - a[k]) * i / n;
        ramp[start + i] = Rgb(c[0], c[1], c[2]);
    }
}

void BuildRamp(VxParticleEmitter *e)
{
    uint32_t *ramp = e->ramp;
    switch (e->particleKind) {
    case 0:
        for (int i = 0; i < 256; i++) {
            float v = i / 255.0f;
            ramp[i] = Rgb((int)(250 * v), (int)(250 * v), (int)(170 * v));
        }
        break;
    case 1:
        for (int i = 0; i < 256; i++) {
            float v = i / 255.0f;
            int r = (int)((200 + R(30)) * v);
            int g = (int)((200 + R(30)) * v);
            ramp[i] = Rgb(r, g, (int)(240 * v));
        }
        break;
    case 2:
        for (int i = 0; i < 256; i++) {
            float v = i / 255.0f;
            ramp[i] = Rgb((int)(220 * v), (int)(120 * v), (int)(50 * v));
        }
        break;
    case 3:
        for (int k = 0; k < 40; k++) {
            int c = (int)(200.0f - (float)k / 40.0f * 100.0f);
            ramp[99 - k] = Rgb(c, c, 255);
        }
        for (int k = 40; k < 100; k++) {
            float l = (float)(k - 40) / 70.0f;
            ramp[99 - k] = Rgb((int)(130 * l + 100), (int)(100 + 70 * l), (int)(255 - 200 * l));
        }
        break;
    case 4: {
        const int red[3] = {255, 0, 0}, green[3] = {0, 255, 0}, blue[3] = {0, 0, 255},
                  magenta[3] = {255, 0, 255};
        LinearRun(ramp, 0, 64, red, green);
        LinearRun(ramp, 64, 64, green, blue);
        LinearRun(ramp, 128, 64, blue, magenta);
        LinearRun(ramp, 192, 64, magenta, green);
        break;
    }
    case 5:
    case 6:
    case 7: {
        const int black[3] = {0, 0, 0};
        int to[3] = {64, 64, 64};
        to[e->particleKind - 5] = 255;
        LinearRun(ramp, 0, 256, black, to);
        break;
    }
    case 8: {
        const int a[3] = {64, 0, 0}, b[3] = {255, 208, 64};
        LinearRun(ramp, 0, 256, a, b);
        break;
    }
    default:
        break;
    }
}

} // namespace

void VxInitParticles(VxParticleEmitter *e)
{
    VxEngineState &st = VxState();
    int kind = e->particleKind;
    for (int32_t i = 0; i < e->particleCount; i++) {
        VxParticle &p = e->particles[i];
        if (kind >= 0 && kind <= 8) {
            for (int k = 0; k < 3; k++) {
                float off = kind == 1 ? R(4) : (kind == 3 || kind == 4) ? R(5)
                          : (kind >= 5) ? R(10) - 5.0f : R(10);
                p.position[k] = e->origin[k] + off;
            }
            float *v = p.velocity;
            switch (kind) {
            case 0: v[0] = R(100) / 100 - 0.5f; v[1] = R(100) / 100 - 0.5f; v[2] = R(100) / 100 - 0.5f; break;
            case 1: {
                float s = R(100) / 20 + 2;
                for (int k = 0; k < 3; k++) v[k] = e->direction[k] * s;
                break;
            }
            case 2: v[0] = R(100) / 100 - 0.5f; v[1] = R(100) / 50 + 1; v[2] = R(100) / 100 - 0.5f; break;
            case 3: v[0] = R(100) / 1000 - 0.05f; v[1] = R(100) / 300 + 0.1f; v[2] = R(100) / 1000 - 0.05f; break;
            case 4: v[0] = R(100) / 1000 - 0.05f; v[1] = R(100) / 1000 - 0.05f; v[2] = R(100) / 1000 - 0.05f; break;
            case 8: v[0] = R(100) / 100 - 0.5f; v[1] = R(100) / 100; v[2] = R(100) / 100 - 0.5f; break;
            default: v[0] = R(100) / 1000 - 0.05f; v[1] = R(100) / 1000 - 0.1f; v[2] = R(100) / 1000 - 0.05f; break;
            }
        }
        p.age = 0;
        st.time += 0.002f;
    }
    BuildRamp(e);
}

void VxParticlePass(uint32_t *page, VxScene *scene)
{
    VxEngineState &st = VxState();
    const VxViewInfo &v = st.view;
    int32_t count = VxSceneObjectCount(scene);
    for (int32_t i = 0; i < count; i++) {
        VxObject &o = scene->objects[i];
        if (o.kind != VX_PARTICLE || !o.payload) continue;
        VxParticleEmitter *e = (VxParticleEmitter *)o.payload;
        if (!e->particles) continue;
        for (int32_t k = 0; k < e->particleCount; k++) {
            const VxParticle &p = e->particles[k];
            float view[3];
            VxTransformPoint(p.position, view);
            int32_t x, y;
            if (!VxProjectPixel(view, &x, &y)) continue;
            if (!(x > 1 && x < v.viewWidth - 1 && y > 1 && y < v.viewHeight - 1)) continue;
            if (!(st.zbuffer[y * v.viewWidth + x] < VxPointDepth(view[2]))) continue;
            int32_t age = p.age < 0 ? 0 : p.age > 255 ? 255 : p.age;
            int32_t outer = age - 50 < 0 ? 0 : age - 50;
            int32_t c = (y - 1) * v.viewWidth + x;
            page[c] = AddPixel(page[c], e->ramp[age]);
            page[c - 1] = AddPixel(page[c - 1], e->ramp[outer]);
            page[c + 1] = AddPixel(page[c + 1], e->ramp[outer]);
            page[c - v.viewWidth] = AddPixel(page[c - v.viewWidth], e->ramp[outer]);
            page[c + v.viewWidth] = AddPixel(page[c + v.viewWidth], e->ramp[outer]);
        }
    }
}

// [SECTION] Projected shadows

namespace {

void DrawShadowFace(uint32_t *page, const VxMesh *mesh, int32_t f, const float tex2[6])
{
    const VxFace *face = &mesh->faces[f];
    const VxTexture *t1 = VxTexture32(face->tex1);
    const VxTexture *t2 = VxTextureAny(face->tex2);
    if (!t1 || !t2 || !VxFaceValid(mesh, face)) return;
    float corners[9], c1[6];
    for (int k = 0; k < 3; k++)
        for (int j = 0; j < 3; j++) corners[3 * k + j] = mesh->viewVertices[3 * face->corner[k] + j];
    VxFaceTexCoords(mesh, face, face->mode, t1->width, t1->height, c1);
    VxSubmitPolygon2(page, c1, tex2, 3, corners, (const uint32_t *)t1->pixels, t1->width,
                     t1->height, t2->pixels, t2->width, t2->height, t2->bytesPerTexel, face->mode);
}

} // namespace

void VxShadowPass(uint32_t *page, VxScene *scene, int32_t index)
{
    VxObject &o = scene->objects[index];
    int32_t count = VxSceneObjectCount(scene);
    const float *source;
    float sourceView[3];
    int32_t receiver, partnerKey;
    float k;
    int32_t projection;
    if (o.kind == VX_SHADOW) {
        VxShadow *s = (VxShadow *)o.payload;
        source = s->position;
        std::memcpy(sourceView, s->viewPosition, 12);
        receiver = s->receiver;
        partnerKey = index;
        k = s->scale;
        projection = s->projection;
    } else {
        VxShadowLink *l = (VxShadowLink *)o.payload;
        source = l->position;
        VxTransformPoint(l->position, sourceView);
        receiver = l->receiver;
        partnerKey = l->followed;
        if (partnerKey < 0 || partnerKey >= count || scene->objects[partnerKey].kind != VX_SHADOW ||
            !scene->objects[partnerKey].payload)
            return;
        VxShadow *f = (VxShadow *)scene->objects[partnerKey].payload;
        k = f->scale;
        projection = f->projection;
    }
    VxMesh *mesh = ModelAt(scene, receiver);
    if (!mesh) return;

    // A SHADOW naming this object (or the link's followed one) as its
    // receiver is the second source.
    const VxShadow *partner = nullptr;
    for (int32_t i = 0; i < count; i++) {
        const VxObject &p = scene->objects[i];
        if (p.kind == VX_SHADOW && p.payload && ((const VxShadow *)p.payload)->receiver == partnerKey) {
            partner = (const VxShadow *)p.payload;
            break;
        }
    }
    if (projection == 4 && !(mesh->faces[0].mode & VX_MODE_ENV)) VxComputeNormals(mesh);

    if (partner) {
        const VxTexture *t = VxTextureAny(mesh->faces[0].tex2);
        if (!t) return;
        float w = (float)t->width, h = (float)t->height;
        for (int32_t f = 0; f < mesh->faceCount; f++) {
            const VxFace *face = &mesh->faces[f];
            if (!VxFaceValid(mesh, face)) continue;
            float tex2[6];
            for (int c = 0; c < 3; c++) {
                const float *p = mesh->vertices + 3 * face->corner[c];
                tex2[2 * c] = Clamp(w - partner->scale * Length3(p, partner->position), 0, w - 1);
                tex2[2 * c + 1] = Clamp(k * Length3(p, source), 0, h - 1);
            }
            DrawShadowFace(page, mesh, f, tex2);
        }
        return;
    }
    for (int32_t f = 0; f < mesh->faceCount; f++) {
        const VxFace *face = &mesh->faces[f];
        if (!VxFaceValid(mesh, face)) continue;
        const VxTexture *t = VxTextureAny(face->tex2);
        if (!t) continue;
        float w = (float)t->width, h = (float)t->height;
        float tex2[6];
        for (int c = 0; c < 3; c++) {
            const float *p = mesh->vertices + 3 * face->corner[c];
            float a = 0, b = 0;
            switch (projection) {
            case 0: a = (p[0] - source[0]) * k; b = (p[2] - source[2]) * k; break;
            case 1: a = (p[0] - source[0]) * k; b = (p[1] - source[1]) * k; break;
            case 2: a = (p[1] - source[1]) * k; b = (p[2] - source[2]) * k; break;
            case 3: a = 1; b = k * Length3(p, source); break;
            case 4: {
                const float *vv = mesh->viewVertices + 3 * face->corner[c];
                const float *n = mesh->normals + 3 * face->corner[c];
                float d[3] = {vv[0] - sourceView[0], vv[1] - sourceView[1], vv[2] - sourceView[2]};
                float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
                float e = 0;
                if (len > 0) {
                    float dn = (d[0] * n[0] + d[1] * n[1] + d[2] * n[2]) / len;
                    e = 2 * dn * dn - 1; // -(d . reflect(d, n)) for unit d and n
                }
                a = 1;
                b = (1 - (e > 0 ? e : 0)) * w;
                break;
            }
            default: break;
            }
            tex2[2 * c] = Clamp(a, 0, w - 1);
            tex2[2 * c + 1] = Clamp(b, 0, h - 1);
        }
        DrawShadowFace(page, mesh, f, tex2);
    }
}

// [SECTION] Z-buffer shadows

namespace {

bool AllocSlot(VxZShadowSlot &slot, int32_t vertexCount)
{
    if (slot.allocated && slot.vertexCount == vertexCount) return true;
    if (slot.allocated) {
        StackheapFree(slot.shadowU);
        StackheapFree(slot.shadowV);
        StackheapFree(slot.shadowDepth);
        slot.allocated = 0;
    }
    int32_t bytes = vertexCount > 0 ? vertexCount * 4 : 4;
    slot.shadowU = (float *)StackheapAlloc(bytes);
    slot.shadowV = (float *)StackheapAlloc(bytes);
    slot.shadowDepth = (int32_t *)StackheapAlloc(bytes);
    if (!slot.shadowU || !slot.shadowV || !slot.shadowDepth) VxDrawingExhausted("mem burp!\n");
    slot.allocated = 1;
    slot.vertexCount = vertexCount;
    return true;
}

bool ReceivesZShadow(VxScene *scene, int32_t i)
{
    VxMesh *m = ModelAt(scene, i);
    return m && (m->faces[0].mode & VX_MODE_ZSHADOW) && i < VX_ZSHADOW_SLOTS;
}

} // namespace

void VxZShadowLightPass(VxScene *scene, VxZShadow *zs)
{
    VxEngineState &st = VxState();
    if (!st.shadowDepth) return;
    VxSaveCamera();
    VxSaveViewport();
    VxSetViewport(256, 256);
    float focal = zs->lightZoom * 128.0f;
    st.view.focal = std::isfinite(focal) && focal > 0 ? focal : 128.0f;
    VxSetCamera(zs->lightPosition[0], zs->lightPosition[1], zs->lightPosition[2],
                zs->lightAngles[0], zs->lightAngles[1], zs->lightAngles[2]);
    std::memset(st.shadowDepth, 0, 65536 * 2);
    int32_t count = VxSceneObjectCount(scene);
    for (int32_t i = 0; i < count; i++) {
        if (!ReceivesZShadow(scene, i)) continue;
        VxMesh *m = ModelAt(scene, i);
        VxZShadowSlot &slot = zs->slots[i];
        AllocSlot(slot, m->vertexCount);
        VxTransformMesh(m);
        for (int32_t f = 0; f < m->faceCount; f++) {
            const VxFace *face = &m->faces[f];
            if (!VxFaceValid(m, face)) continue;
            float corners[9];
            for (int k = 0; k < 3; k++)
                for (int j = 0; j < 3; j++) corners[3 * k + j] = m->viewVertices[3 * face->corner[k] + j];
            VxSubmitDepthPolygon(st.shadowDepth, 3, corners);
        }
        for (int32_t k = 0; k < m->vertexCount; k++) {
            const float *p = m->viewVertices + 3 * k;
            float z = p[2] > 5.0f ? p[2] : 5.0f;
            slot.shadowU[k] = Clamp(p[0] * st.view.focal / z + 129.0f, 0, 256);
            slot.shadowV[k] = Clamp(-p[1] * st.view.focal / z + 129.0f, 0, 256);
            slot.shadowDepth[k] = VxClampTrunc(262144.0f / z, 0, 32767);
        }
    }
    VxRestoreViewport();
    VxRestoreCamera();
}

void VxZShadowReceivers(uint32_t *page, VxScene *scene, VxZShadow *zs)
{
    VxEngineState &st = VxState();
    int32_t count = VxSceneObjectCount(scene);
    for (int32_t i = 0; i < count; i++) {
        if (!ReceivesZShadow(scene, i) || !zs->slots[i].allocated) continue;
        VxMesh *m = ModelAt(scene, i);
        const VxZShadowSlot &slot = zs->slots[i];
        if (slot.vertexCount != m->vertexCount) continue;
        for (int32_t f = 0; f < m->faceCount; f++) {
            const VxFace *face = &m->faces[f];
            if (!VxFaceValid(m, face)) continue;
            const VxTexture *t1 = VxTexture32(face->tex1);
            if (!t1) continue;
            float corners[9], c1[6], c2[6], light[3];
            for (int k = 0; k < 3; k++) {
                int32_t c = face->corner[k];
                for (int j = 0; j < 3; j++) corners[3 * k + j] = m->viewVertices[3 * c + j];
                c2[2 * k] = slot.shadowV[c];
                c2[2 * k + 1] = slot.shadowU[c];
                light[k] = (float)slot.shadowDepth[c];
            }
            VxFaceTexCoords(m, face, face->mode, t1->width, t1->height, c1);
            VxSubmitZShadowPolygon(page, corners, c1, c2, light, t1, st.shadowDepth, st.zsMask);
        }
    }
}

// [SECTION] Bump maps

int VxSetupBump(VxBump *b, const VxTexture *h)
{
    int32_t w = b->width, hh = b->height;
    if (w < 2 || hh < 2 || (int64_t)w * hh > (1 << 24)) return 0;
    int32_t bytes = w * hh * 4;
    uint8_t *texA = (uint8_t *)StackheapAlloc(bytes);
    uint32_t *texB = (uint32_t *)StackheapAlloc(bytes);
    b->offsets = (uint16_t *)StackheapAlloc(bytes);
    b->work16 = (uint32_t *)StackheapAlloc(bytes);
    b->gradient = (uint32_t *)StackheapAlloc(bytes);
    if (!texA || !texB || !b->offsets || !b->work16 || !b->gradient) {
        StackheapFree(texA);
        StackheapFree(texB);
        return 0;
    }
    std::memset(texA, 0, (size_t)bytes);
    std::memset(texB, 0, (size_t)bytes);
    b->texA = VxRegisterTexture("$3dbmp$", texA, w, hh, 1, 1000000);
    if (!b->texA) {
        StackheapFree(texA);
        StackheapFree(texB);
        return 0;
    }
    b->texB = VxRegisterTexture("$3dbmp$", texB, w, hh, 4, 1000000);
    if (!b->texB) {
        StackheapFree(texB);
        return 0;
    }
    for (int32_t r = 0; r < hh; r++)
        for (int32_t c = 0; c < w; c++) {
            int32_t ox = (int32_t)(((float)c - 0.5f * w) * 1.3f * 256.0f / w);
            int32_t oy = (int32_t)(256.0f * 1.3f * ((float)r - 0.5f * hh) / hh);
            b->offsets[2 * (r * w + c)] = (uint16_t)ox;
            b->offsets[2 * (r * w + c) + 1] = (uint16_t)oy;
        }
    // The height map is read as bytes; a 32-bit map holds four per texel, so
    // the first w x h bytes are always there.
    const uint8_t *hm = (const uint8_t *)h->pixels;
    for (int32_t r = 0; r < hh; r++)
        for (int32_t c = 0; c < w; c++) {
            int32_t here = hm[r * w + c];
            int32_t right = hm[r * w + (c + 1) % w], down = hm[((r + 1) % hh) * w + c];
            int32_t g = (right - here) + 65536 * (down - here);
            b->gradient[r * w + c] = (uint32_t)g;
        }
    b->lightX = 64;
    b->lightY = 64;
    b->stepX = 2;
    b->stepY = 1;
    return 1;
}

void VxFreeBump(VxBump *b)
{
    StackheapFree(b->gradient);
    StackheapFree(b->offsets);
    StackheapFree(b->work16);
    b->gradient = nullptr;
    b->offsets = nullptr;
    b->work16 = nullptr;
}

void VxBumpPass(uint32_t *page, VxScene *scene, int32_t index)
{
    VxBump *b = (VxBump *)scene->objects[index].payload;
    VxMesh *m = ModelAt(scene, b->model);
    const VxTexture *ta = VxTextureAny(b->texA), *tb = VxTextureAny(b->texB);
    if (!m || !ta || !tb || !b->work16 || !b->offsets || !b->gradient) return;
    int32_t w = b->width, h = b->height;
    if (ta->width != w || ta->height != h || tb->width != w || tb->height != h) return;
    for (int32_t i = 0; i < w * h; i++) b->work16[i] = 0x80008000u;

    VxComputeNormals(m);
    VxSaveViewport();
    VxSetUncentredViewport(w, h);
    for (int32_t f = 0; f < m->faceCount; f++) {
        const VxFace *face = &m->faces[f];
        if (!VxFaceValid(m, face)) continue;
        float xy[6], tex[6];
        for (int k = 0; k < 3; k++) {
            const float *n = m->normals + 3 * face->corner[k];
            xy[2 * k] = face->col[k];
            xy[2 * k + 1] = face->row[k];
            tex[2 * k] = (n[0] + 1.0f) * (float)w / 2.0f * 65536.0f;
            tex[2 * k + 1] = (n[1] + 1.0f) * (float)h / 2.0f * 65536.0f;
        }
        VxDrawPolyCopy(b->work16, 3, xy, tex, (const uint32_t *)b->offsets, w, h);
    }
    VxRestoreViewport();

    uint8_t *mask = (uint8_t *)ta->pixels;
    for (int32_t r = 0; r < h; r++)
        for (int32_t c = 0; c < w; c++) {
            uint32_t e = b->work16[r * w + c];
            if (e == 0x80008000u) continue;
            int32_t ex = (int16_t)(e & 0xFFFF), ey = (int16_t)(e >> 16);
            int32_t g = (int32_t)b->gradient[r * w + c];
            int32_t gx = (int16_t)(g & 0xFFFF), gy = (g - gx) / 65536;
            int32_t lx = c - b->lightX, ly = r - b->lightY;
            int32_t intensity = 255;
            if (lx >= -129 && lx <= 129 && ly >= -129 && ly <= 129) {
                int32_t dx = std::abs(lx - (ex + gx)), dy = std::abs(ly - (ey + gy));
                if (dx > 127) dx = 127;
                if (dy > 127) dy = 127;
                int32_t mm = (127 - dx < 127 - dy) ? (127 - dy) / 2 - dx + 127 : (127 - dx) / 2 - dy + 127;
                intensity = mm <= 64 ? 255 : ((127 - 2 * mm) & 255);
            }
            mask[r * w + c] = (uint8_t)intensity;
        }

    const VxTexture *src = VxTexture32(m->faces[0].tex1);
    uint32_t *dst = (uint32_t *)tb->pixels;
    if (src) {
        const uint32_t *sp = (const uint32_t *)src->pixels;
        for (int32_t r = 0; r < h; r++)
            for (int32_t c = 0; c < w; c++)
                dst[r * w + c] = sp[(int64_t)r * src->height / h * src->width + (int64_t)c * src->width / w];
    }
    BlitSubMask(dst, w, h, 0, 0, mask, w, h);

    b->lightX += b->stepX;
    b->lightY += b->stepY;
    if (b->lightX < 0 || b->lightX > w) b->stepX = -b->stepX;
    if (b->lightY < 0 || b->lightY > h) b->stepY = -b->stepY;

    for (int32_t f = 0; f < m->faceCount; f++) VxDrawFace(page, b->texB, m, f, m->faces[f].mode);
}

// [SECTION] Sun-lit faces

namespace {

int32_t LitCopy(int32_t slot)
{
    const VxTexture *t = VxTexture32(slot);
    if (!t) return 0;
    char name[40];
    std::snprintf(name, sizeof name, "%s@", t->name);
    name[31] = 0;
    int32_t lit = VxFindTexture(name);
    if (lit) return lit;
    if (VxTextureCount() >= VX_MAX_TEXTURES) VxDrawingExhausted("out of texs!\n");
    size_t bytes = (size_t)t->width * t->height * 4;
    void *pixels = StackheapAlloc((int32_t)bytes);
    if (!pixels) VxDrawingExhausted("mem burp!\n");
    std::memcpy(pixels, t->pixels, bytes);
    lit = VxRegisterTexture(name, pixels, t->width, t->height, 4, 1);
    if (!lit) VxDrawingExhausted("out of texs!\n");
    return lit;
}

float Dot(const float *a, const float *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

} // namespace

void VxDrawSunlitFace(uint32_t *page, VxScene *scene, int32_t modelIndex, int32_t faceIndex)
{
    VxMesh *mesh = ModelAt(scene, modelIndex);
    if (!mesh) return;
    const VxFace *face = &mesh->faces[faceIndex];
    const VxTexture *tex = VxTexture32(face->tex1);
    if (!tex) return;
    int32_t lit = LitCopy(face->tex1);
    const VxTexture *litTex = VxTextureAny(lit);
    int32_t tw = tex->width, th = tex->height;

    float rmin = face->row[0], rmax = rmin, cmin = face->col[0], cmax = cmin;
    for (int k = 1; k < 3; k++) {
        rmin = std::fmin(rmin, face->row[k]);
        rmax = std::fmax(rmax, face->row[k]);
        cmin = std::fmin(cmin, face->col[k]);
        cmax = std::fmax(cmax, face->col[k]);
    }
    int32_t x1 = VxClampTrunc(std::floor(cmin) - 1, 0, tw), x2 = VxClampTrunc(std::ceil(cmax) + 1, 0, tw);
    int32_t y1 = VxClampTrunc(std::floor(rmin) - 1, 0, th), y2 = VxClampTrunc(std::ceil(rmax) + 1, 0, th);

    float sun[3] = {0, 0, 0};
    int32_t count = VxSceneObjectCount(scene);
    for (int32_t i = 0; i < count; i++)
        if (scene->objects[i].kind == VX_SUN && scene->objects[i].payload)
            std::memcpy(sun, ((VxSun *)scene->objects[i].payload)->position, 12);

    // Plane and the map from (row, col) to points: P = A + (r - r0) Er + (c - c0) Ec.
    const float *A = mesh->vertices + 3 * face->corner[0], *B = mesh->vertices + 3 * face->corner[1],
                *C = mesh->vertices + 3 * face->corner[2];
    float ab[3] = {B[0] - A[0], B[1] - A[1], B[2] - A[2]}, ac[3] = {C[0] - A[0], C[1] - A[1], C[2] - A[2]};
    float n[3] = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2], ab[0] * ac[1] - ab[1] * ac[0]};
    float dr1 = face->row[1] - face->row[0], dc1 = face->col[1] - face->col[0];
    float dr2 = face->row[2] - face->row[0], dc2 = face->col[2] - face->col[0];
    float det = dr1 * dc2 - dr2 * dc1;
    bool darkened = false;
    if (Dot(n, n) > 0 && std::fabs(det) > 1e-12f && x2 > x1 && y2 > y1 && litTex) {
        float d = Dot(n, A);
        float sunSide = Dot(n, sun) - d;
        // Inverse map: a point's (row, col) from its offsets along ab and ac.
        float e11 = Dot(ab, ab), e12 = Dot(ab, ac), e22 = Dot(ac, ac);
        float g = e11 * e22 - e12 * e12;
        uint32_t *px = (uint32_t *)tex->pixels;
        for (int32_t o = 0; o < count && g != 0; o++) {
            if (o == modelIndex) continue;
            VxMesh *other = ModelAt(scene, o);
            if (!other || !(other->faces[0].mode & VX_MODE_CASTER)) continue;
            for (int32_t f = 0; f < other->faceCount; f++) {
                const VxFace *cf = &other->faces[f];
                if (!(cf->mode & VX_MODE_CASTER) || !VxFaceValid(other, cf)) continue;
                float tr[3], tc[3];
                bool casts = true;
                for (int k = 0; k < 3 && casts; k++) {
                    const float *P = other->vertices + 3 * cf->corner[k];
                    float side = Dot(n, P) - d;
                    if (!(side * sunSide > 0) || std::fabs(side) >= std::fabs(sunSide)) {
                        casts = false;
                        break;
                    }
                    float dir[3] = {P[0] - sun[0], P[1] - sun[1], P[2] - sun[2]};
                    float t = (d - Dot(n, sun)) / Dot(n, dir);
                    float X[3] = {sun[0] + dir[0] * t - A[0], sun[1] + dir[1] * t - A[1], sun[2] + dir[2] * t - A[2]};
                    float pa = Dot(X, ab), pb = Dot(X, ac);
                    float u = (pa * e22 - pb * e12) / g, v = (pb * e11 - pa * e12) / g;
                    tr[k] = face->row[0] + u * dr1 + v * dr2;
                    tc[k] = face->col[0] + u * dc1 + v * dc2;
                    if (!std::isfinite(tr[k]) || !std::isfinite(tc[k])) casts = false;
                }
                if (!casts) continue;
                float area = (tc[1] - tc[0]) * (tr[2] - tr[0]) - (tc[2] - tc[0]) * (tr[1] - tr[0]);
                if (area == 0) continue;
                for (int32_t y = y1; y < y2; y++)
                    for (int32_t x = x1; x < x2; x++) {
                        float cx = x + 0.5f, cy = y + 0.5f;
                        float w0 = (tc[1] - tc[0]) * (cy - tr[0]) - (cx - tc[0]) * (tr[1] - tr[0]);
                        float w1 = (tc[2] - tc[1]) * (cy - tr[1]) - (cx - tc[1]) * (tr[2] - tr[1]);
                        float w2 = (tc[0] - tc[2]) * (cy - tr[2]) - (cx - tc[2]) * (tr[0] - tr[2]);
                        bool inside = area > 0 ? (w0 >= 0 && w1 >= 0 && w2 >= 0) : (w0 <= 0 && w1 <= 0 && w2 <= 0);
                        if (!inside) continue;
                        uint32_t &p = px[y * tw + x];
                        p = (p >> 1) & 0x7F7F7F;
                        darkened = true;
                    }
            }
        }
    }
    VxDrawFace(page, face->tex1, mesh, faceIndex, face->mode);
    if (darkened)
        CopyRect((uint32_t *)tex->pixels, (const uint32_t *)litTex->pixels, tw, x1, y1, x2, y2);
}
