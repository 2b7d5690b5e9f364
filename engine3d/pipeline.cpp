// The draw pipeline: view state and camera, per-frame transform, the passes of
// VxDrawScene, the model pass with its face modes, and the path every polygon
// takes to a rasterizer: back-face cull, near-plane clip at z = 5, projection,
// screen clip. Also outlines, vertex sprites and mirrors.
//
// [SECTION] View and camera
// [SECTION] Transform and normals
// [SECTION] Clip, cull, project
// [SECTION] Submission
// [SECTION] Faces
// [SECTION] Outlines, sprites, mirrors
// [SECTION] Step and draw
#include "engine3d/vxstate.h"
#include "gfx/pixels.h"
#include "store/stackheap.h"

#include <cstring>

namespace {

const float kNear = 5.0f;
const float kTexScale = 65536.0f;
const int kMaxClip = 128;

struct ClipVertex {
    float p[3];
    float t[5]; // (row, col) of texture 1, then of texture 2, then light depth
};

struct ScreenVertex {
    float x, y, w;
    float t[5];
};

enum class Member { Persp, Affine, Half, Add, Tint, Two, Depth, ZShadow };

} // namespace

// [SECTION] View and camera

void VxSetViewport(int32_t width, int32_t height)
{
    if (width < 1 || height < 1 || width > 8192 || height > 8192) return;
    VxViewInfo &v = VxState().view;
    v.viewWidth = width;
    v.viewHeight = height;
    v.xMin = -(width / 2);
    v.xMax = width / 2 - 1;
    v.yMin = -(height / 2);
    v.yMax = height / 2 - 1;
    v.centre = width / 2 + width * height / 2;
    v.focal = (float)(width / 2);
}

VxViewInfo VxGetView() { return VxState().view; }

void VxSetCamera(float x, float y, float z, float ax, float ay, float az)
{
    float cx = std::cos(ax), sx = std::sin(ax);
    float cy = std::cos(ay), sy = std::sin(ay);
    float cz = std::cos(az), sz = std::sin(az);
    float rx[9] = {1, 0, 0, 0, cx, -sx, 0, sx, cx}; // row-major 3 x 3
    float ry[9] = {cy, 0, sy, 0, 1, 0, -sy, 0, cy};
    float rz[9] = {cz, -sz, 0, sz, cz, 0, 0, 0, 1};
    float a[9], r[9];
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            a[i * 3 + j] = 0;
            for (int k = 0; k < 3; k++) a[i * 3 + j] += rx[i * 3 + k] * ry[k * 3 + j];
        }
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++) {
            r[i * 3 + j] = 0;
            for (int k = 0; k < 3; k++) r[i * 3 + j] += rz[i * 3 + k] * a[k * 3 + j];
        }
    float *m = VxState().camera;
    float t[3] = {x, y, z};
    for (int i = 0; i < 3; i++) {
        for (int j = 0; j < 3; j++) m[j * 4 + i] = r[i * 3 + j];
        m[12 + i] = r[i * 3] * t[0] + r[i * 3 + 1] * t[1] + r[i * 3 + 2] * t[2];
        m[i * 4 + 3] = 0;
    }
    m[15] = 1;
}

void VxGetCamera(float matrix[16]) { std::memcpy(matrix, VxState().camera, sizeof(float) * 16); }
void VxSaveCamera() { std::memcpy(VxState().savedCamera, VxState().camera, sizeof(float) * 16); }
void VxRestoreCamera() { std::memcpy(VxState().camera, VxState().savedCamera, sizeof(float) * 16); }
void VxSaveViewport() { VxState().savedView = VxState().view; }

void VxSetUncentredViewport(int32_t width, int32_t height)
{
    if (width < 1 || height < 1 || width > 8192 || height > 8192) return;
    VxViewInfo &v = VxState().view;
    v.viewWidth = width;
    v.viewHeight = height;
    v.xMin = 0;
    v.xMax = width - 1;
    v.yMin = 0;
    v.yMax = height - 1;
    v.centre = 0;
}

void VxRestoreViewport() { VxState().view = VxState().savedView; }

void VxClearZBuffer()
{
    VxEngineState &st = VxState();
    if (st.zbuffer) std::memset(st.zbuffer, 0, sizeof(int16_t) * (size_t)st.zbufferEntries);
}

int16_t *VxGetZBuffer() { return VxState().zbuffer; }

// [SECTION] Transform and normals

void VxTransformPoint(const float in[3], float out[3])
{
    const float *m = VxState().camera;
    float x = in[0], y = in[1], z = in[2];
    out[0] = m[0] * x + m[4] * y + m[8] * z + m[12];
    out[1] = m[1] * x + m[5] * y + m[9] * z + m[13];
    out[2] = m[2] * x + m[6] * y + m[10] * z + m[14];
}

void VxTransformMesh(VxMesh *mesh)
{
    if (!mesh || !mesh->vertices || !mesh->viewVertices) return;
    for (int32_t i = 0; i < mesh->vertexCount; i++)
        VxTransformPoint(mesh->vertices + 3 * i, mesh->viewVertices + 3 * i);
}

bool VxFaceValid(const VxMesh *mesh, const VxFace *face)
{
    for (int k = 0; k < 3; k++)
        if (face->corner[k] < 0 || face->corner[k] >= mesh->vertexCount) return false;
    return true;
}

void VxComputeNormals(VxMesh *mesh)
{
    if (!mesh || !mesh->normals || !mesh->viewVertices) return;
    float *n = mesh->normals;
    std::memset(n, 0, sizeof(float) * 3 * (size_t)mesh->vertexCount);
    const float *v = mesh->viewVertices;
    for (int32_t f = 0; f < mesh->faceCount; f++) {
        const VxFace &face = mesh->faces[f];
        if (!VxFaceValid(mesh, &face)) continue;
        const float *a = v + 3 * face.corner[0], *b = v + 3 * face.corner[1],
                    *c = v + 3 * face.corner[2];
        float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        float w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        float nx = u[1] * w[2] - u[2] * w[1], ny = u[2] * w[0] - u[0] * w[2],
              nz = u[0] * w[1] - u[1] * w[0];
        for (int k = 0; k < 3; k++) {
            float *o = n + 3 * face.corner[k];
            o[0] += nx;
            o[1] += ny;
            o[2] += nz;
        }
    }
    for (int32_t i = 0; i < mesh->vertexCount; i++) {
        float *o = n + 3 * i;
        float len = std::sqrt(o[0] * o[0] + o[1] * o[1] + o[2] * o[2]);
        if (len > 0 && std::isfinite(len)) {
            o[0] /= len;
            o[1] /= len;
            o[2] /= len;
        } else {
            o[0] = o[1] = o[2] = 0;
        }
    }
}

// [SECTION] Clip, cull, project

namespace {

bool FrontFacing(const float *a, const float *b, const float *c)
{
    float x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
    return x * c[0] + y * c[1] + z * c[2] >= 0.0f;
}

// Sutherland-Hodgman against z = 5; returns the corner count (0 = dropped).
int ClipNear(const ClipVertex *in, int n, ClipVertex *out)
{
    int behind = 0;
    for (int i = 0; i < n; i++)
        if (!(in[i].p[2] >= kNear)) behind++;
    if (behind == n) return 0;
    if (behind == 0) {
        std::memcpy(out, in, sizeof(ClipVertex) * (size_t)n);
        return n;
    }
    int m = 0;
    for (int i = 0; i < n; i++) {
        const ClipVertex &a = in[i], &b = in[(i + 1) % n];
        bool ain = a.p[2] >= kNear, bin = b.p[2] >= kNear;
        if (ain) {
            if (m >= kMaxClip) return 0;
            out[m++] = a;
        }
        if (ain != bin) {
            if (m >= kMaxClip) return 0;
            float t = (kNear - a.p[2]) / (b.p[2] - a.p[2]);
            ClipVertex &o = out[m++];
            for (int k = 0; k < 3; k++) o.p[k] = a.p[k] + (b.p[k] - a.p[k]) * t;
            o.p[2] = kNear;
            for (int k = 0; k < 5; k++) o.t[k] = a.t[k] + (b.t[k] - a.t[k]) * t;
        }
    }
    return m;
}

float Coord(const ScreenVertex &v, int axis) { return axis == 0 ? v.x : v.y; }

// Clips against one screen bound: axis 0 = x, 1 = y; keep values >= bound
// (sign 1) or <= bound (sign -1).
int ClipScreen(const ScreenVertex *in, int n, ScreenVertex *out, int axis, float bound, float sign)
{
    int m = 0;
    for (int i = 0; i < n; i++) {
        const ScreenVertex &a = in[i], &b = in[(i + 1) % n];
        float da = (Coord(a, axis) - bound) * sign, db = (Coord(b, axis) - bound) * sign;
        bool ain = da >= 0, bin = db >= 0;
        if (ain) {
            if (m >= kMaxClip) return 0;
            out[m++] = a;
        }
        if (ain != bin) {
            if (m >= kMaxClip) return 0;
            float t = da / (da - db);
            ScreenVertex &o = out[m++];
            o.x = a.x + (b.x - a.x) * t;
            o.y = a.y + (b.y - a.y) * t;
            if (axis == 0) o.x = bound; else o.y = bound;
            o.w = a.w + (b.w - a.w) * t;
            for (int k = 0; k < 5; k++) o.t[k] = a.t[k] + (b.t[k] - a.t[k]) * t;
        }
    }
    return m;
}

// Projects and screen-clips; returns the corner count left in out (0 = none).
int ProjectAndClip(const ClipVertex *cv, int m, bool perspective, ScreenVertex *out)
{
    const VxViewInfo &view = VxState().view;
    ScreenVertex a[kMaxClip], b[kMaxClip];
    for (int i = 0; i < m; i++) {
        float z = cv[i].p[2];
        float iz = 1.0f / z;
        ScreenVertex &s = a[i];
        s.x = cv[i].p[0] * view.focal * iz;
        s.y = -cv[i].p[1] * view.focal * iz;
        s.w = iz;
        for (int k = 0; k < 4; k++) s.t[k] = cv[i].t[k] * kTexScale * (perspective ? iz : 1.0f);
        s.t[4] = cv[i].t[4];
        if (!std::isfinite(s.x) || !std::isfinite(s.y) || !std::isfinite(s.w)) return 0;
    }
    float bounds[4] = {(float)view.xMin, (float)view.xMax, (float)view.yMin, (float)view.yMax};
    bool outside[4] = {false, false, false, false};
    bool allOut[4] = {true, true, true, true};
    for (int i = 0; i < m; i++) {
        bool o[4] = {a[i].x < bounds[0], a[i].x > bounds[1], a[i].y < bounds[2], a[i].y > bounds[3]};
        for (int k = 0; k < 4; k++) {
            outside[k] = outside[k] || o[k];
            allOut[k] = allOut[k] && o[k];
        }
    }
    for (int k = 0; k < 4; k++)
        if (allOut[k]) return 0;
    ScreenVertex *src = a, *dst = b;
    int n = m;
    for (int k = 0; k < 4 && n >= 3; k++) {
        if (!outside[k]) continue;
        n = ClipScreen(src, n, dst, k / 2, bounds[k], (k & 1) ? -1.0f : 1.0f);
        ScreenVertex *t = src;
        src = dst;
        dst = t;
    }
    if (n < 3) return 0;
    std::memcpy(out, src, sizeof(ScreenVertex) * (size_t)n);
    return n;
}

struct Textures {
    const uint32_t *tex1;
    int32_t w1, h1;
    const void *tex2;
    int32_t w2, h2, bpp2;
    int16_t *depthMap;
    const uint8_t *mask;
};

void Rasterize(uint32_t *page, const ScreenVertex *sv, int n, Member member, const Textures &tx,
               uint32_t mode)
{
    if (n > VX_MAX_POLY_VERTICES) {
        VxTriException("Wrong number of vertexes in VxDrawPoly!");
        return;
    }
    float xy[2 * VX_MAX_POLY_VERTICES], t1[2 * VX_MAX_POLY_VERTICES], t2[2 * VX_MAX_POLY_VERTICES],
        w[VX_MAX_POLY_VERTICES], light[VX_MAX_POLY_VERTICES];
    for (int i = 0; i < n; i++) {
        light[i] = sv[i].t[4];
        xy[2 * i] = sv[i].x;
        xy[2 * i + 1] = sv[i].y;
        w[i] = sv[i].w;
        t1[2 * i] = sv[i].t[0];
        t1[2 * i + 1] = sv[i].t[1];
        t2[2 * i] = sv[i].t[2];
        t2[2 * i + 1] = sv[i].t[3];
    }
    switch (member) {
    case Member::Persp: VxDrawPolyPersp(page, n, xy, t1, w, tx.tex1, tx.w1, tx.h1); break;
    case Member::Affine: VxDrawPolyAffine(page, n, xy, t1, w, tx.tex1, tx.w1, tx.h1); break;
    case Member::Half: VxDrawPolyHalf(page, n, xy, t1, w, tx.tex1, tx.w1, tx.h1); break;
    case Member::Add: VxDrawPolyAdd(page, n, xy, t1, w, tx.tex1, tx.w1, tx.h1); break;
    case Member::Tint: VxDrawPolyTint(page, n, xy, w); break;
    case Member::Depth: VxDrawPolyDepth(tx.depthMap, n, xy, w); break;
    case Member::ZShadow:
        VxDrawPolyZShadow(page, n, xy, t1, t2, w, light, tx.tex1, tx.w1, tx.h1, tx.depthMap, tx.mask);
        break;
    case Member::Two:
        if (tx.bpp2 == 1 || (mode & VX_MODE_SUB8) || !(mode & (VX_MODE_ADD32 | VX_MODE_SUB32))) {
            // An 8-bit layer is never read as 32-bit texels, whatever the mode says.
            const uint8_t *b = (const uint8_t *)tx.tex2;
            if ((mode & VX_MODE_SUB8) || (tx.bpp2 == 1 && (mode & VX_MODE_SUB32) && !(mode & VX_MODE_ADD32)))
                VxDrawPoly2Sub8(page, n, xy, t1, t2, w, tx.tex1, tx.w1, tx.h1, b, tx.w2, tx.h2);
            else
                VxDrawPoly2Add8(page, n, xy, t1, t2, w, tx.tex1, tx.w1, tx.h1, b, tx.w2, tx.h2);
        } else if (mode & VX_MODE_ADD32) {
            VxDrawPoly2Add(page, n, xy, t1, t2, w, tx.tex1, tx.w1, tx.h1,
                           (const uint32_t *)tx.tex2, tx.w2, tx.h2);
        } else {
            VxDrawPoly2Sub(page, n, xy, t1, t2, w, tx.tex1, tx.w1, tx.h1,
                           (const uint32_t *)tx.tex2, tx.w2, tx.h2);
        }
        break;
    }
}

// Liang-Barsky clip of a segment to the view bounds; false when nothing is left.
bool ClipSegment(float &x0, float &y0, float &w0, float &x1, float &y1, float &w1)
{
    const VxViewInfo &v = VxState().view;
    float t0 = 0, t1 = 1, dx = x1 - x0, dy = y1 - y0;
    float p[4] = {-dx, dx, -dy, dy};
    float q[4] = {x0 - v.xMin, v.xMax - x0, y0 - v.yMin, v.yMax - y0};
    for (int i = 0; i < 4; i++) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        float r = q[i] / p[i];
        if (p[i] < 0) {
            if (r > t1) return false;
            if (r > t0) t0 = r;
        } else {
            if (r < t0) return false;
            if (r < t1) t1 = r;
        }
    }
    float nx0 = x0 + dx * t0, ny0 = y0 + dy * t0, nw0 = w0 + (w1 - w0) * t0;
    float nx1 = x0 + dx * t1, ny1 = y0 + dy * t1, nw1 = w0 + (w1 - w0) * t1;
    x0 = nx0; y0 = ny0; w0 = nw0; x1 = nx1; y1 = ny1; w1 = nw1;
    return true;
}

void DrawLine(uint32_t *page, float x0, float y0, float w0, float x1, float y1, float w1)
{
    VxEngineState &st = VxState();
    if (!ClipSegment(x0, y0, w0, x1, y1, w1)) return;
    const VxViewInfo &v = st.view;
    float dx = x1 - x0, dy = y1 - y0;
    int steps = VxClampNint(std::fabs(dx) > std::fabs(dy) ? std::fabs(dx) : std::fabs(dy), 0, 16384);
    for (int i = 0; i <= steps; i++) {
        float t = steps ? (float)i / (float)steps : 0.0f;
        int32_t x = VxClampNint(x0 + dx * t, v.xMin, v.xMax);
        int32_t y = VxClampNint(y0 + dy * t, v.yMin, v.yMax);
        float d = (w0 + (w1 - w0) * t) * 17179869184.0f;
        int32_t z = d >= 2147483520.0f ? 32767 : (d > 0 ? (int32_t)(VxNintRaw(d) >> 16) : 0);
        int32_t idx = y * v.viewWidth + x + v.centre;
        if (st.zbuffer[idx] <= z) {
            st.zbuffer[idx] = (int16_t)z;
            page[idx] = 0xFFFFFF;
        }
    }
}

void Outline(uint32_t *page, const ClipVertex *cv, int n)
{
    const VxViewInfo &view = VxState().view;
    for (int i = 0; i < n; i++)
        if (!(cv[i].p[2] >= kNear)) return;
    if (n < 3 || !FrontFacing(cv[0].p, cv[1].p, cv[2].p)) return;
    float sx[VX_MAX_POLY_VERTICES], sy[VX_MAX_POLY_VERTICES], sw[VX_MAX_POLY_VERTICES];
    for (int i = 0; i < n; i++) {
        sw[i] = 1.0f / cv[i].p[2];
        sx[i] = cv[i].p[0] * view.focal * sw[i];
        sy[i] = -cv[i].p[1] * view.focal * sw[i];
        if (!std::isfinite(sx[i]) || !std::isfinite(sy[i])) return;
    }
    for (int i = 0; i < n; i++) {
        int j = (i + 1) % n;
        DrawLine(page, sx[i], sy[i], sw[i], sx[j], sy[j], sw[j]);
    }
}

// Cull, clip, project, clip, rasterize.
void SubmitPath(uint32_t *page, const ClipVertex *in, int n, Member member, const Textures &tx,
                uint32_t mode)
{
    if (!FrontFacing(in[0].p, in[1].p, in[2].p)) return;
    ClipVertex cv[kMaxClip];
    int m = ClipNear(in, n, cv);
    if (m < 3) return;
    ScreenVertex sv[kMaxClip];
    int k = ProjectAndClip(cv, m, member == Member::Persp, sv);
    if (k >= 3) Rasterize(page, sv, k, member, tx, mode);
}

bool Gather(ClipVertex *cv, int32_t count, const float *corners, const float *t1, const float *t2,
            const float *light = nullptr)
{
    if (count < 3 || !corners) return false;
    if (count > VX_MAX_POLY_VERTICES) {
        VxTriException("Wrong number of vertexes in VxDrawPoly!");
        return false;
    }
    for (int i = 0; i < count; i++) {
        for (int k = 0; k < 3; k++) cv[i].p[k] = corners[3 * i + k];
        for (int k = 0; k < 2; k++) {
            cv[i].t[k] = t1 ? t1[2 * i + k] : 0.0f;
            cv[i].t[2 + k] = t2 ? t2[2 * i + k] : 0.0f;
        }
        cv[i].t[4] = light ? light[i] : 0.0f;
    }
    return true;
}

} // namespace

int VxClipNearPlane(const float *corners, int32_t count, float *out)
{
    if (count < 3 || count > VX_MAX_POLY_VERTICES) return 0;
    ClipVertex in[VX_MAX_POLY_VERTICES], cv[kMaxClip];
    for (int i = 0; i < count; i++) {
        for (int k = 0; k < 3; k++) in[i].p[k] = corners[3 * i + k];
        for (int k = 0; k < 5; k++) in[i].t[k] = 0;
    }
    int m = ClipNear(in, count, cv);
    if (m > VX_MAX_POLY_VERTICES + 1) return 0;
    for (int i = 0; i < m; i++)
        for (int k = 0; k < 3; k++) out[3 * i + k] = cv[i].p[k];
    return m;
}

// [SECTION] Submission

void VxSubmitPolygon(uint32_t *page, const float *texCoords, int32_t count, const float *corners,
                     const uint32_t *texture, int32_t textureWidth, int32_t textureHeight,
                     uint32_t mode)
{
    if (!page || !VxState().zbuffer) return;
    ClipVertex cv[VX_MAX_POLY_VERTICES];
    if (!Gather(cv, count, corners, texCoords, nullptr)) return;
    Textures tx = {texture, textureWidth, textureHeight, nullptr, 0, 0, 0, nullptr, nullptr};
    if (mode & VX_MODE_TINT) {
        SubmitPath(page, cv, count, Member::Tint, tx, mode);
        return;
    }
    if ((mode & VX_MODE_MIRROR) && !(mode & VX_MODE_HALF)) return;
    if (mode & (VX_MODE_AFFINE | VX_MODE_HALF | VX_MODE_ADD)) {
        Member m = (mode & VX_MODE_HALF) ? Member::Half : (mode & VX_MODE_ADD) ? Member::Add : Member::Affine;
        SubmitPath(page, cv, count, m, tx, mode);
        if (mode & VX_MODE_OUTLINE) Outline(page, cv, count);
        return;
    }
    if (mode & VX_MODE_OUTLINE) {
        Outline(page, cv, count);
        return;
    }
    SubmitPath(page, cv, count, Member::Persp, tx, mode);
}

void VxSubmitPolygon2(uint32_t *page, const float *texCoords1, const float *texCoords2,
                      int32_t count, const float *corners, const uint32_t *texture1,
                      int32_t width1, int32_t height1, const void *texture2, int32_t width2,
                      int32_t height2, int32_t bytesPerTexel2, uint32_t mode)
{
    if (!page || !VxState().zbuffer || !texture2) return;
    ClipVertex cv[VX_MAX_POLY_VERTICES];
    if (!Gather(cv, count, corners, texCoords1, texCoords2)) return;
    Textures tx = {texture1, width1, height1, texture2, width2, height2, bytesPerTexel2, nullptr, nullptr};
    SubmitPath(page, cv, count, Member::Two, tx, mode);
}

void VxSubmitDepthPolygon(int16_t *depthMap, int32_t count, const float *corners)
{
    ClipVertex cv[VX_MAX_POLY_VERTICES];
    if (!depthMap || !Gather(cv, count, corners, nullptr, nullptr)) return;
    Textures tx = {nullptr, 0, 0, nullptr, 0, 0, 0, depthMap, nullptr};
    SubmitPath(nullptr, cv, count, Member::Depth, tx, 0);
}

void VxSubmitZShadowPolygon(uint32_t *page, const float *corners, const float *tex1,
                            const float *tex2, const float *lightDepth, const VxTexture *t1,
                            int16_t *depthMap, const uint8_t *mask)
{
    ClipVertex cv[3];
    if (!page || !t1 || !VxState().zbuffer || !Gather(cv, 3, corners, tex1, tex2, lightDepth)) return;
    Textures tx = {(const uint32_t *)t1->pixels, t1->width, t1->height, nullptr, 0, 0, 0, depthMap, mask};
    SubmitPath(page, cv, 3, Member::ZShadow, tx, 0);
}

// [SECTION] Faces

const VxTexture *VxTextureAny(int32_t slot)
{
    VxTexture *t = VxGetTexture(slot);
    return t && t->pixels ? t : nullptr;
}

const VxTexture *VxTexture32(int32_t slot)
{
    const VxTexture *t = VxTextureAny(slot);
    if (t && t->bytesPerTexel == 4) return t;
    t = VxTextureAny(0);
    return t && t->bytesPerTexel == 4 ? t : nullptr;
}

void VxEnvTexCoords(const VxMesh *mesh, const VxFace *face, int32_t width, int32_t height,
                    float out[6])
{
    for (int k = 0; k < 3; k++) {
        const float *n = mesh->normals + 3 * face->corner[k];
        out[2 * k] = (n[1] + 1.0f) * (float)(height / 2);
        out[2 * k + 1] = (n[0] + 1.0f) * (float)(width / 2);
    }
}

void VxFaceTexCoords(const VxMesh *mesh, const VxFace *face, uint32_t mode, int32_t width,
                     int32_t height, float out[6])
{
    if (mode & VX_MODE_ENV) {
        VxEnvTexCoords(mesh, face, width, height, out);
        return;
    }
    for (int k = 0; k < 3; k++) {
        out[2 * k] = face->row[k];
        out[2 * k + 1] = face->col[k];
    }
}

namespace {

void FaceCorners(const VxMesh *mesh, const VxFace *face, float out[9])
{
    for (int k = 0; k < 3; k++)
        for (int j = 0; j < 3; j++) out[3 * k + j] = mesh->viewVertices[3 * face->corner[k] + j];
}

} // namespace

void VxDrawFace(uint32_t *page, int32_t slot, const VxMesh *mesh, int32_t faceIndex,
                uint32_t mode)
{
    if (!mesh || faceIndex < 0 || faceIndex >= mesh->faceCount || !mesh->viewVertices) return;
    const VxFace *face = &mesh->faces[faceIndex];
    if (!VxFaceValid(mesh, face)) return;
    const VxTexture *t = VxTexture32(slot);
    if (!t) return;
    float corners[9], tex[6];
    FaceCorners(mesh, face, corners);
    VxFaceTexCoords(mesh, face, mode, t->width, t->height, tex);
    VxSubmitPolygon(page, tex, 3, corners, (const uint32_t *)t->pixels, t->width, t->height, mode);
}

namespace {

void DrawTwoTextureFace(uint32_t *page, const VxMesh *mesh, int32_t faceIndex)
{
    const VxFace *face = &mesh->faces[faceIndex];
    const VxTexture *t1 = VxTexture32(face->tex1);
    const VxTexture *t2 = VxTextureAny(face->tex2);
    if (!t1 || !t2) return;
    float corners[9], c1[6], c2[6];
    FaceCorners(mesh, face, corners);
    VxFaceTexCoords(mesh, face, face->mode, t1->width, t1->height, c1);
    VxEnvTexCoords(mesh, face, t2->width, t2->height, c2);
    VxSubmitPolygon2(page, c1, c2, 3, corners, (const uint32_t *)t1->pixels, t1->width, t1->height,
                     t2->pixels, t2->width, t2->height, t2->bytesPerTexel, face->mode | VX_MODE_ENV);
}

// [SECTION] Outlines, sprites, mirrors

void DrawSprites(uint32_t *page, const VxMesh *mesh)
{
    VxEngineState &st = VxState();
    const VxTexture *t = VxTexture32(mesh->faces[0].tex1);
    if (!t) return;
    const VxViewInfo &v = st.view;
    for (int32_t i = 0; i < mesh->vertexCount; i++) {
        const float *p = mesh->viewVertices + 3 * i;
        if (!(p[2] > kNear)) continue;
        int32_t x, y;
        if (!VxProjectPixel(p, &x, &y)) continue;
        if (x < 0) x = 0;
        if (x > v.viewWidth - 1) x = v.viewWidth - 1;
        if (y < 0) y = 0;
        if (y > v.viewHeight - 1) y = v.viewHeight - 1;
        int32_t depth = VxPointDepth(p[2]);
        if (st.zbuffer[y * v.viewWidth + x] < depth) {
            float scale = v.focal / p[2];
            float half = scale * (float)t->width / 2.0f;
            BlitAddScaled(page, v.viewWidth, v.viewHeight, (float)x - half, (float)y - half,
                          (const uint32_t *)t->pixels, t->width, t->height, scale, scale);
        }
    }
}

const int32_t kMirrorVertices = 30000; // the work arrays: 360000 and 30000 bytes

void DrawMirror(uint32_t *page, VxScene *scene, int32_t self, const VxMesh *mesh, int32_t first,
                int32_t faces)
{
    VxEngineState &st = VxState();
    const VxViewInfo &v = st.view;
    const VxFace *mf = &mesh->faces[first];
    float a[3], b[3], c[3];
    for (int k = 0; k < 3; k++) {
        a[k] = mesh->viewVertices[3 * mf->corner[0] + k];
        b[k] = mesh->viewVertices[3 * mf->corner[1] + k];
        c[k] = mesh->viewVertices[3 * mf->corner[2] + k];
    }
    float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]}, w[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
    float n[3] = {u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
    float nn = n[0] * n[0] + n[1] * n[1] + n[2] * n[2];
    if (!(nn > 0) || !std::isfinite(nn)) return;
    float d = n[0] * a[0] + n[1] * a[1] + n[2] * a[2];
    float viewerSide = -d; // the camera sits at the origin

    int32_t pixels = v.viewWidth * v.viewHeight;
    int16_t *mirrorDepth = (int16_t *)StackheapAlloc(pixels * 2);
    float *reflected = (float *)StackheapAlloc(kMirrorVertices * 12);
    uint8_t *front = (uint8_t *)StackheapAlloc(kMirrorVertices);
    if (mirrorDepth && reflected && front) {
        std::memset(mirrorDepth, 127, (size_t)pixels * 2);
        // Open the buffer only where the mirror itself is visible, so the
        // reflection stays inside the mirror.
        for (int32_t f = first; f < first + faces; f++) {
            const VxFace *face = &mesh->faces[f];
            ClipVertex cv[3];
            for (int k = 0; k < 3; k++) {
                for (int j = 0; j < 3; j++) cv[k].p[j] = mesh->viewVertices[3 * face->corner[k] + j];
                for (int j = 0; j < 5; j++) cv[k].t[j] = 0;
            }
            if (!FrontFacing(cv[0].p, cv[1].p, cv[2].p)) continue;
            ClipVertex cc[kMaxClip];
            int m = ClipNear(cv, 3, cc);
            ScreenVertex sv[kMaxClip];
            int k2 = m >= 3 ? ProjectAndClip(cc, m, false, sv) : 0;
            if (k2 >= 3 && k2 <= VX_MAX_POLY_VERTICES) {
                float xy[2 * VX_MAX_POLY_VERTICES], dw[VX_MAX_POLY_VERTICES];
                for (int i = 0; i < k2; i++) {
                    xy[2 * i] = sv[i].x;
                    xy[2 * i + 1] = sv[i].y;
                    dw[i] = sv[i].w;
                }
                VxDrawPolyMirrorMask(mirrorDepth, k2, xy, dw);
            }
        }
        int16_t *mainDepth = st.zbuffer;
        st.zbuffer = mirrorDepth;
        int32_t count = VxSceneObjectCount(scene);
        for (int32_t o = 0; o < count; o++) {
            const VxObject &obj = scene->objects[o];
            if (o == self || obj.kind != VX_MODEL || !obj.payload) continue;
            const VxMesh *other = (const VxMesh *)obj.payload;
            if (other->vertexCount > kMirrorVertices || !other->viewVertices) continue;
            for (int32_t i = 0; i < other->vertexCount; i++) {
                const float *p = other->viewVertices + 3 * i;
                float s = n[0] * p[0] + n[1] * p[1] + n[2] * p[2] - d;
                float f = 2.0f * s / nn;
                for (int k = 0; k < 3; k++) reflected[3 * i + k] = p[k] - f * n[k];
                float s2 = -s; // the reflected point lies on the other side
                front[i] = (s2 > 0) == (viewerSide > 0) && s2 != 0;
            }
            for (int32_t f = 0; f < other->faceCount; f++) {
                const VxFace *face = &other->faces[f];
                if ((face->mode & VX_MODE_MIRROR) || !VxFaceValid(other, face)) continue;
                if (front[face->corner[0]] && front[face->corner[1]] && front[face->corner[2]]) continue;
                const VxTexture *t = VxTexture32(face->tex1);
                if (!t) continue;
                float corners[9], tex[6], cr[9], tr[6];
                for (int k = 0; k < 3; k++)
                    for (int j = 0; j < 3; j++) corners[3 * k + j] = reflected[3 * face->corner[k] + j];
                VxFaceTexCoords(other, face, face->mode, t->width, t->height, tex);
                for (int k = 0; k < 3; k++) {
                    for (int j = 0; j < 3; j++) cr[3 * k + j] = corners[3 * (2 - k) + j];
                    tr[2 * k] = tex[2 * (2 - k)];
                    tr[2 * k + 1] = tex[2 * (2 - k) + 1];
                }
                VxSubmitPolygon(page, tr, 3, cr, (const uint32_t *)t->pixels, t->width, t->height,
                                face->mode & ~(uint32_t)VX_MODE_MIRROR);
            }
        }
        st.zbuffer = mainDepth;
    }
    StackheapFree(front);
    StackheapFree(reflected);
    StackheapFree(mirrorDepth);
    for (int32_t f = first; f < first + faces; f++) {
        const VxFace *face = &mesh->faces[f];
        if (face->mode & VX_MODE_HALF) VxDrawFace(page, face->tex1, mesh, f, face->mode);
        if (face->mode & VX_MODE_ADD)
            VxDrawFace(page, face->tex1, mesh, f,
                       face->mode & ~(uint32_t)(VX_MODE_HALF | VX_MODE_MIRROR));
    }
}

// [SECTION] Step and draw

bool Late(uint32_t mode, uint32_t bit) { return (mode & bit) && !(mode & VX_MODE_MIRROR); }

void ModelPass(uint32_t *page, VxScene *scene, int32_t index)
{
    VxMesh *mesh = (VxMesh *)scene->objects[index].payload;
    if (!mesh || mesh->faceCount <= 0 || !mesh->faces) return;
    uint32_t m0 = mesh->faces[0].mode;
    if ((m0 & (VX_MODE_ENV | VX_MODE_TWO_TEX)) && !(m0 & VX_MODE_NO_NORMALS)) VxComputeNormals(mesh);
    if (m0 & (VX_MODE_TINT | VX_MODE_BUMP | VX_MODE_ZSHADOW | VX_MODE_REFLECT | VX_MODE_HIDDEN |
              VX_MODE_SPRITES))
        return;
    if (Late(m0, VX_MODE_HALF) || Late(m0, VX_MODE_ADD)) return;
    VxEngineState &st = VxState();
    for (int32_t f = 0; f < mesh->faceCount; f++) {
        const VxFace *face = &mesh->faces[f];
        uint32_t mode = face->mode;
        if (!VxFaceValid(mesh, face)) continue;
        if (mode & VX_MODE_ZBUF_TEX) {
            // The z-buffer stands in as a texture; it is addressed as 2 x 2
            // texels, which it always holds.
            float corners[9], tex[6];
            FaceCorners(mesh, face, corners);
            VxFaceTexCoords(mesh, face, mode, 2, 2, tex);
            VxSubmitPolygon(page, tex, 3, corners, (const uint32_t *)st.zbuffer, 2, 2, mode);
        } else if (mode & VX_MODE_TWO_TEX) {
            DrawTwoTextureFace(page, mesh, f);
        } else if (Late(mode, VX_MODE_HALF)) {
            continue;
        } else if (mode & VX_MODE_MIRROR) {
            int32_t faces = (f + 1 < mesh->faceCount && (mesh->faces[f + 1].mode & VX_MODE_MIRROR)) ? 2 : 1;
            if (faces == 2 && !VxFaceValid(mesh, &mesh->faces[f + 1])) faces = 1;
            DrawMirror(page, scene, index, mesh, f, faces);
            f += faces - 1;
        } else if (mode & VX_MODE_SUNLIT) {
            VxDrawSunlitFace(page, scene, index, f);
        } else {
            VxDrawFace(page, face->tex1, mesh, f, mode);
        }
    }
}

VxMesh *ModelOf(VxScene *scene, int32_t i)
{
    VxObject &o = scene->objects[i];
    if (o.kind != VX_MODEL || !o.payload) return nullptr;
    VxMesh *m = (VxMesh *)o.payload;
    return m->faceCount > 0 && m->faces ? m : nullptr;
}

} // namespace

bool VxProjectPixel(const float view[3], int32_t *x, int32_t *y)
{
    const VxViewInfo &v = VxState().view;
    if (!(view[2] > kNear)) return false;
    float sx = view[0] * v.focal / view[2] + (float)(v.viewWidth / 2);
    float sy = -view[1] * v.focal / view[2] + (float)(v.viewHeight / 2);
    if (!(std::fabs(sx) < 1e9f) || !(std::fabs(sy) < 1e9f)) return false;
    *x = (int32_t)sx;
    *y = (int32_t)sy;
    return true;
}

int32_t VxPointDepth(float z)
{
    float d = 65536.0f * 4.0f * 16.0f / z;
    if (!(d >= 0)) return 0;
    if (d >= 524272.0f) return 32767;
    return (int32_t)d >> 4;
}

void VxStepScene(VxScene *scene)
{
    VxEngineState &st = VxState();
    if (!scene || !scene->objects || !st.initialised) return;
    int32_t count = VxSceneObjectCount(scene);
    for (int32_t i = 0; i < count; i++) {
        VxObject &o = scene->objects[i];
        if (!o.payload) continue;
        if (o.kind == VX_ZSHADOW) {
            VxZShadowLightPass(scene, (VxZShadow *)o.payload);
        } else if (o.kind == VX_SHADOW_LINK) {
            // The followed record's first three words, whatever its kind (a
            // sun's or shadow's position, an emitter's kind, count and origin
            // x). A model's record starts with pointers: the link stays put.
            VxShadowLink *link = (VxShadowLink *)o.payload;
            if (link->followed >= 0 && link->followed < count) {
                VxObject &f = scene->objects[link->followed];
                if (f.kind != VX_MODEL && f.payload) std::memcpy(link->position, f.payload, 12);
            }
        }
    }
    for (int32_t i = 0; i < count; i++) {
        VxObject &o = scene->objects[i];
        if (!o.payload) continue;
        if (o.kind == VX_MODEL) {
            VxTransformMesh((VxMesh *)o.payload);
        } else if (o.kind == VX_SHADOW) {
            VxShadow *s = (VxShadow *)o.payload;
            VxTransformPoint(s->position, s->viewPosition);
        } else if (o.kind == VX_SUN) {
            VxSun *s = (VxSun *)o.payload;
            if (s->lightKind == 1 || s->lightKind == 2) {
                std::memcpy(st.dynamicLight.position, s->position, 12);
                st.dynamicLight.radius = s->lightKind == 1 ? s->lightSize * 4 : s->lightSize / 25;
                st.dynamicLight.kind = s->lightKind;
            }
        }
    }
}

void VxDrawScene(uint32_t *page, VxScene *scene)
{
    VxEngineState &st = VxState();
    if (!st.initialised || !page || !scene || !scene->objects || !st.zbuffer) return;
    if ((int64_t)st.view.viewWidth * st.view.viewHeight > st.zbufferEntries) return;
    int32_t count = VxSceneObjectCount(scene);
    for (int32_t i = 0; i < count; i++) {
        int32_t kind = scene->objects[i].kind;
        if (!scene->objects[i].payload) continue;
        if (kind == VX_MODEL) ModelPass(page, scene, i);
        else if (kind == VX_SHADOW || kind == VX_SHADOW_LINK) VxShadowPass(page, scene, i);
        else if (kind == VX_BUMP) VxBumpPass(page, scene, i);
    }
    for (int32_t i = 0; i < count; i++)
        if (scene->objects[i].kind == VX_ZSHADOW && scene->objects[i].payload)
            VxZShadowReceivers(page, scene, (VxZShadow *)scene->objects[i].payload);
    VxParticlePass(page, scene);
    VxSunPass(page, scene);
    for (int32_t i = 0; i < count; i++) {
        VxMesh *m = ModelOf(scene, i);
        if (m && (m->faces[0].mode & VX_MODE_SPRITES)) DrawSprites(page, m);
    }
    for (int32_t i = 0; i < count; i++) {
        VxMesh *m = ModelOf(scene, i);
        if (!m) continue;
        if (Late(m->faces[0].mode, VX_MODE_HALF))
            for (int32_t f = 0; f < m->faceCount; f++)
                if (Late(m->faces[f].mode, VX_MODE_HALF)) VxDrawFace(page, m->faces[f].tex1, m, f, m->faces[f].mode);
        if (Late(m->faces[0].mode, VX_MODE_ADD))
            for (int32_t f = 0; f < m->faceCount; f++)
                if (Late(m->faces[f].mode, VX_MODE_ADD)) VxDrawFace(page, m->faces[f].tex1, m, f, m->faces[f].mode);
    }
    for (int32_t i = 0; i < count; i++) {
        VxMesh *m = ModelOf(scene, i);
        if (!m || !(m->faces[0].mode & VX_MODE_REFLECT)) continue;
        VxCopyEnvironment(page);
        for (int32_t f = 0; f < m->faceCount; f++) VxDrawFace(page, st.envSlot, m, f, m->faces[f].mode);
    }
    for (int32_t i = 0; i < count; i++) {
        VxMesh *m = ModelOf(scene, i);
        if (!m || !(m->faces[0].mode & VX_MODE_TINT)) continue;
        for (int32_t f = 0; f < m->faceCount; f++) VxDrawFace(page, st.envSlot, m, f, m->faces[f].mode);
    }
}
