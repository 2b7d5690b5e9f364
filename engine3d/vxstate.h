// Engine-wide state shared by the files of the 3D engine (scene, pipeline,
// raster, effects); nothing outside engine3d/ includes this. The record itself
// is defined once, in scene.cpp.
#pragma once

#include "engine3d/vx.h"

#include <cmath>
#include <cstdint>
#include <xmmintrin.h>

struct VxEngineState {
    int initialised;
    VxTextureCache cache;
    VxViewInfo view, savedView;
    float camera[16], savedCamera[16];
    int16_t *zbuffer;
    int32_t zbufferEntries;
    // effect resources
    int32_t envSlot, shadowSlot;
    int32_t *envTable;       // 65536 screen pixel indices
    int32_t envTableLimit;   // pixels of the view the table was built for
    uint32_t *flare[5];
    int32_t flareSide[5];
    uint8_t *zsMask;         // 256 x 256
    int16_t *shadowDepth;    // 256 x 256
    int32_t glare;
    float time;
    int wideSpans;           // 256-bit span loops chosen (with the MMX flag)
    struct {
        float position[3];
        int32_t radius, kind;
    } dynamicLight;
};

VxEngineState &VxState();

// Prints the rasterizer report "TRI-Exception: [%s]\a\n".
void VxTriException(const char *message);
// Ends the process with exit code 1 after printing message (texture slots or
// memory exhausted while drawing).
[[noreturn]] void VxDrawingExhausted(const char *message);

// Where the main z-buffer lets the polygon through: mask entries become 0 and
// the main z-buffer takes the polygon's depth (a mirror's visible region).
void VxDrawPolyMirrorMask(int16_t *mask, int32_t count, const float *xy, const float *depth);

// Clips a camera-space polygon against z = 5 into out (count + 1 corners of 3
// floats at most); returns the corners left, 0 when all lie behind.
int VxClipNearPlane(const float *corners, int32_t count, float *out);

// Clip-project-rasterize paths for the light pass and z-shadow receivers.
void VxSubmitDepthPolygon(int16_t *depthMap, int32_t count, const float *corners);
void VxSubmitZShadowPolygon(uint32_t *page, const float *corners, const float *tex1,
                            const float *tex2, const float *lightDepth, const VxTexture *t1,
                            int16_t *depthMap, const uint8_t *mask);

// Effects (effects.cpp), called by VxInit, VxShutdown, the loader and the passes.
int VxSetupEnvironment();
int VxSetupShadowTexture();
int VxSetupLens();
int VxSetupZShadow();
void VxFreeEffects();
void VxInitParticles(VxParticleEmitter *emitter);
int VxSetupBump(VxBump *bump, const VxTexture *height);
void VxFreeBump(VxBump *bump);
void VxCopyEnvironment(const uint32_t *page);
void VxSunPass(uint32_t *page, VxScene *scene);
void VxParticlePass(uint32_t *page, VxScene *scene);
void VxShadowPass(uint32_t *page, VxScene *scene, int32_t index);
void VxBumpPass(uint32_t *page, VxScene *scene, int32_t index);
void VxZShadowLightPass(VxScene *scene, VxZShadow *zshadow);
void VxZShadowReceivers(uint32_t *page, VxScene *scene, VxZShadow *zshadow);
void VxDrawSunlitFace(uint32_t *page, VxScene *scene, int32_t modelIndex, int32_t faceIndex);

// Pipeline helpers shared with the effects.
void VxTransformPoint(const float in[3], float out[3]);
void VxComputeNormals(VxMesh *mesh);
void VxTransformMesh(VxMesh *mesh);
// The slot if it holds 32-bit pixels, else the default slot 0.
const VxTexture *VxTexture32(int32_t slot);
// The slot's record if it holds pixels, else null.
const VxTexture *VxTextureAny(int32_t slot);
// Face texture coordinates (row, col pairs) for VxDrawFace: from the face, or
// environment-mapped from the vertex normals for a texture of width x height.
void VxFaceTexCoords(const VxMesh *mesh, const VxFace *face, uint32_t mode, int32_t width,
                     int32_t height, float out[6]);
void VxEnvTexCoords(const VxMesh *mesh, const VxFace *face, int32_t width, int32_t height,
                    float out[6]);
// True when the face's corners index the mesh's vertices.
bool VxFaceValid(const VxMesh *mesh, const VxFace *face);
// Transform then project to top-left pixel coordinates; false when behind
// z = 5 or outside what an integer pixel can hold.
bool VxProjectPixel(const float view[3], int32_t *x, int32_t *y);
// Sprite and particle depth (65536 * 4 * 16 / z) >> 4, limited to 32767.
int32_t VxPointDepth(float z);

// Float to int, nearest, and safe for any input: NaN gives lo, values beyond
// the range give its ends.
static inline int32_t VxNintRaw(float x) { return _mm_cvt_ss2si(_mm_set_ss(x)); }
static inline int32_t VxClampNint(float x, int32_t lo, int32_t hi)
{
    if (!(x >= (double)lo)) return lo;
    if (!(x <= (double)hi)) return hi;
    return VxNintRaw(x);
}

// Float to 32-bit word, nearest, wrapping modulo 2^32 (texture coordinates
// tile, so only the low bits matter); non-finite gives 0.
static inline uint32_t VxWrapNint(float x)
{
    if (x > -2147483520.0f && x < 2147483520.0f) return (uint32_t)VxNintRaw(x);
    if (!std::isfinite(x)) return 0;
    double m = std::fmod((double)x, 4294967296.0);
    return (uint32_t)(int64_t)std::nearbyint(m);
}

// Truncation with the same safety.
static inline int32_t VxClampTrunc(float x, int32_t lo, int32_t hi)
{
    if (!(x >= (double)lo)) return lo;
    if (!(x <= (double)hi)) return hi;
    return (int32_t)x;
}
