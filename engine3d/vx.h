// The 3D engine: a software renderer for textured triangle scenes with a
// 16-bit z-buffer. Scenes come from V3D files (magic "VX3D", formats 0x100 and
// 0x200) or are built in memory; textures live in one engine-wide cache of 100
// slots; VxDrawScene walks a scene in fixed passes and hands every clipped,
// projected polygon to one of the twelve VxDrawPoly members.
//
// [SECTION] Scene records
// [SECTION] Texture cache
// [SECTION] Engine and scene lifetime
// [SECTION] Building scenes in memory
// [SECTION] View, camera and drawing
// [SECTION] Rasterizers
#pragma once

#include <cstdint>

// [SECTION] Scene records

enum {
    VX_MODEL = 0,
    VX_LIGHT = 1,
    VX_SUN = 2,
    VX_PARTICLE = 3,
    VX_SHADOW = 4,
    VX_SHADOW_LINK = 5,
    VX_BUMP = 6,
    VX_ZSHADOW = 7,
    VX_BLOB = 8,
};

enum {
    VX_MAX_TEXTURES = 100,
    VX_MAX_POLY_VERTICES = 50,
    VX_FORMAT1_MAX_VERTICES = 30000,
    // An emitter's particles are made at load time, not read from the file,
    // so their count is held to a fixed ceiling (about 450 KB of particles).
    VX_MAX_PARTICLES = 16384,
    VX_ZSHADOW_SLOTS = 100,
    VX_SETTINGS_MARKER = 0x11223344,
    VX_NO_KEYS_MARKER = 0x42424242,
    VX_DEFAULT_REFS = 1000000000,
};

// Face mode bits.
enum : uint32_t {
    VX_MODE_HIDDEN = 0x2,
    VX_MODE_ENV = 0x4,
    VX_MODE_HALF = 0x8,
    VX_MODE_SUNLIT = 0x10,
    VX_MODE_CASTER = 0x20,
    VX_MODE_MIRROR = 0x40,
    VX_MODE_REFLECT = 0x80,
    VX_MODE_TWO_TEX = 0x200,
    VX_MODE_NO_NORMALS = 0x800,
    VX_MODE_AFFINE = 0x1000,
    VX_MODE_OUTLINE = 0x2000,
    VX_MODE_SUB8 = 0x4000,
    VX_MODE_ZBUF_TEX = 0x8000,
    VX_MODE_BUMP = 0x10000,
    VX_MODE_ADD32 = 0x20000,
    VX_MODE_ADD = 0x40000,
    VX_MODE_SUB32 = 0x80000,
    VX_MODE_ZSHADOW = 0x100000,
    VX_MODE_SPRITES = 0x200000,
    VX_MODE_TINT = 0x400000,
};

struct VxFace {
    int32_t corner[3];  // indices into the vertex arrays, in drawing order
    float row[3];       // texel rows of texture 1 (wrap at its height)
    float col[3];       // texel columns of texture 1 (wrap at its width)
    char texName1[16];  // 15 significant bytes
    char texName2[16];
    uint32_t mode;
    int32_t tex1, tex2; // cache slots; 0 = default texture
};

struct VxMesh {
    float *vertices;     // vertexCount x 3, object space
    float *viewVertices; // vertexCount x 3, camera space (per frame)
    float *normals;      // vertexCount x 3, camera space (when a face asks)
    VxFace *faces;
    int32_t vertexCount, faceCount;
};

struct VxSun {
    float position[3];
    float viewPosition[3];
    int32_t lightKind, lightSize;
};

struct VxParticle {
    float position[3];
    float velocity[3];
    int32_t age;
};

struct VxParticleEmitter {
    int32_t particleKind, particleCount;
    float origin[3];
    float direction[3];
    VxParticle *particles;
    uint32_t ramp[256];
};

struct VxShadow {
    float position[3];
    float viewPosition[3];
    float extra[3];
    int32_t projection;
    float scale;
    uint8_t reserved[16];
    int32_t receiver;
};

struct VxShadowLink {
    float position[3];
    int32_t receiver, followed;
};

struct VxBump {
    int32_t model, texA, texB, width, height;
    uint16_t *offsets;  // width x height pairs
    uint32_t *work16;   // width x height cells of two 16-bit halves
    uint32_t *gradient; // one packed slope per texel
    int32_t lightX, lightY, stepX, stepY;
};

struct VxZShadowSlot {
    int32_t allocated;
    int32_t vertexCount; // size of the three arrays below
    float *shadowU, *shadowV;
    int32_t *shadowDepth;
};

struct VxZShadow {
    float lightPosition[3];
    float lightAngles[3];
    float lightZoom;
    VxZShadowSlot slots[VX_ZSHADOW_SLOTS];
};

struct VxObject {
    int32_t kind, keyCount;
    uint32_t keyMarker;
    uint32_t *keyTracks[7];
    uint32_t *keyAux;
    uint8_t *keyAux16[6];
    void *payload;
};

// The 256 header bytes exactly as in the file, then the object table. The
// object count lives in header bytes 8..11.
struct VxScene {
    uint8_t header[256];
    VxObject *objects;
};

// [SECTION] Texture cache

struct VxTexture {
    void *pixels;          // 32-bit 0x00RRGGBB, or bytes for an 8-bit layer; null when free
    char name[32];
    int32_t width, height;
    int32_t refs;
    int32_t bytesPerTexel; // 4, or 1 for an 8-bit index map
};

struct VxTextureCache {
    VxTexture slots[VX_MAX_TEXTURES];
    int32_t count; // slots handed out so far; never reused within a run
};

// Slot whose name equals name exactly (first from slot 0 up), or 0 when none.
int32_t VxFindTexture(const char *name);
// Loads a BMP or JPG into a new slot (sides resampled to powers of two in
// 4..4096); 0 when the cache is full or no reading works.
int32_t VxLoadTexture(const char *fileName);
// Loads the index bytes of an 8-bit BMP (or the pixels of another BMP) into a
// new slot; 0 when the cache is full or reading fails.
int32_t VxLoadMaskTexture(const char *fileName);
// Adds 1 to refs of slots above 0 that are handed out; others are ignored.
void VxAddRef(int32_t slot);
// Takes 1 from refs of a slot above 0 and frees it when refs drop to 0 or less.
void VxRelease(int32_t slot);
// Frees the slot's pixels, sets refs 0 and name "$"; ignores invalid slots.
void VxFreeTexture(int32_t slot);
// Puts a ready Stackheap block (width x height texels of bytesPerTexel 4 or 1)
// into the next slot, which then owns it. Sides must be powers of two in
// 4..4096. Returns the slot, or 0 (block not taken) when the cache is full or
// the block is unusable.
int32_t VxRegisterTexture(const char *name, void *pixels, int32_t width, int32_t height,
                          int32_t bytesPerTexel, int32_t refs);
// Replaces a handed-out slot's pixels by a Stackheap block (freeing the old
// one), with the same side rules; refs set as given. Returns 1, or 0 (block not
// taken) for a bad slot or block.
int VxReplaceTexture(int32_t slot, void *pixels, int32_t width, int32_t height,
                     int32_t bytesPerTexel, int32_t refs);
// The slot's record, or null for a slot not handed out.
VxTexture *VxGetTexture(int32_t slot);
// Number of slots handed out (never fails).
int32_t VxTextureCount();

// [SECTION] Engine and scene lifetime

// Starts the engine for a width x height view: default texture, viewport,
// effect resources, z-buffer. Returns 1, or 0 with a "- " line on failure.
int VxInit(int32_t width, int32_t height);
// Reads a V3D file into caller-owned storage. Returns 1, or 0 with a "- " line.
int VxLoadScene(VxScene *scene, const char *fileName);
// Releases everything the scene holds; returns 1. Ends the process on a kind
// it does not know.
int VxFreeScene(VxScene *scene);
// Frees the engine's resources and reports textures still in the cache.
void VxShutdown();

// Live object count of a scene (header bytes 8..11); 0 for null.
int32_t VxSceneObjectCount(const VxScene *scene);

// [SECTION] Building scenes in memory

// Starts an empty format-2 scene with objectCount zeroed objects of kind MODEL
// without payload (keys absent). Returns 1, or 0 (scene emptied) without memory.
int VxNewScene(VxScene *scene, int32_t objectCount);
// Gives object index a new mesh of the given counts: vertices zeroed, faces
// zeroed with tex1/tex2 0. Returns the mesh, or null for a bad index/count or
// without memory. VxFreeScene releases it with the scene.
VxMesh *VxNewModel(VxScene *scene, int32_t index, int32_t vertexCount, int32_t faceCount);
// Sets a face's two texture slots and counts the references, which
// VxFreeScene gives back (never fails).
void VxSetFaceTextures(VxFace *face, int32_t tex1, int32_t tex2);

// [SECTION] View, camera and drawing

struct VxViewInfo {
    int32_t viewWidth, viewHeight;
    int32_t xMin, xMax, yMin, yMax;
    int32_t centre;
    float focal;
};

// Sets the view size, its centred bounds, centre and focal (ignored for sizes
// outside 1..8192).
void VxSetViewport(int32_t width, int32_t height);
// Current view state (never fails).
VxViewInfo VxGetView();
// Camera matrix Rz(az) Rx(ax) Ry(ay) T(x, y, z); pass the negated eye.
void VxSetCamera(float x, float y, float z, float ax, float ay, float az);
// Copies the 16 column-major camera floats into matrix (never fails).
void VxGetCamera(float matrix[16]);
void VxSaveCamera();
void VxRestoreCamera();
// Saves the view and switches to an uncentred width x height one (bounds
// 0..w-1, 0..h-1, centre 0); VxRestoreViewport undoes it.
void VxSaveViewport();
void VxSetUncentredViewport(int32_t width, int32_t height);
void VxRestoreViewport();
// Fills the z-buffer with 0.
void VxClearZBuffer();
// Lets the rasterizers use their 256-bit span loops (taken only while the MMX
// flag is on; VxInit turns them on); returns 1 when they are in use, 0 when
// off or when the processor lacks AVX2.
int VxSetWideSpans(int on);
int VxGetWideSpans();
// The z-buffer (viewWidth x viewHeight of the VxInit view), or null before VxInit.
int16_t *VxGetZBuffer();
// Transforms the scene for the current camera and runs the light passes.
void VxStepScene(VxScene *scene);
// Draws the scene into page (viewWidth x viewHeight pixels); nothing when the
// view is larger than the z-buffer or the engine is not started.
void VxDrawScene(uint32_t *page, VxScene *scene);
// Draws face faceIndex of mesh with texture slot slot (invalid slots draw with
// the default texture; bad faces draw nothing).
void VxDrawFace(uint32_t *page, int32_t slot, const VxMesh *mesh, int32_t faceIndex,
                uint32_t mode);
// Clips, culls, projects and rasterizes one camera-space polygon (count 3 to
// 50 corners, texture coordinates as (row, column) pairs in texels), choosing
// the member by mode. Draws nothing for bad input.
void VxSubmitPolygon(uint32_t *page, const float *texCoords, int32_t count, const float *corners,
                     const uint32_t *texture, int32_t textureWidth, int32_t textureHeight,
                     uint32_t mode);
// As VxSubmitPolygon for two textures (texture 2 32-bit or 8-bit as
// bytesPerTexel2 says), member chosen by 0x4000, 0x20000, 0x80000, else the
// 8-bit add.
void VxSubmitPolygon2(uint32_t *page, const float *texCoords1, const float *texCoords2,
                      int32_t count, const float *corners, const uint32_t *texture1,
                      int32_t width1, int32_t height1, const void *texture2, int32_t width2,
                      int32_t height2, int32_t bytesPerTexel2, uint32_t mode);

// [SECTION] Rasterizers
//
// Screen x, y are relative to the view centre (y down); texture coordinates
// are (row, column) pairs in texels x 65536 (divided by z for the perspective
// member); depth is 1/z per vertex. Polygons are convex, 3 to 50 vertices;
// more than 50 prints "TRI-Exception: [Wrong number of vertexes in VxDrawPoly!]"
// and draws nothing. Every member keeps to the current view bounds, so no
// input writes outside the page or the depth buffer. Textures need sides of at
// least 2 texels; others draw nothing.

void VxDrawPolyPersp(uint32_t *page, int32_t count, const float *xy, const float *tex,
                     const float *depth, const uint32_t *texture, int32_t width, int32_t height);
void VxDrawPolyAffine(uint32_t *page, int32_t count, const float *xy, const float *tex,
                      const float *depth, const uint32_t *texture, int32_t width, int32_t height);
void VxDrawPolyHalf(uint32_t *page, int32_t count, const float *xy, const float *tex,
                    const float *depth, const uint32_t *texture, int32_t width, int32_t height);
void VxDrawPolyAdd(uint32_t *page, int32_t count, const float *xy, const float *tex,
                   const float *depth, const uint32_t *texture, int32_t width, int32_t height);
void VxDrawPolyTint(uint32_t *page, int32_t count, const float *xy, const float *depth);
// No z-buffer: writes texels into target (a buffer of the current view).
void VxDrawPolyCopy(uint32_t *target, int32_t count, const float *xy, const float *tex,
                    const uint32_t *texture, int32_t width, int32_t height);
// Depth only, into depthMap (a buffer of the current view).
void VxDrawPolyDepth(int16_t *depthMap, int32_t count, const float *xy, const float *depth);
void VxDrawPoly2Add8(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                     const float *tex2, const float *depth, const uint32_t *texture1,
                     int32_t width1, int32_t height1, const uint8_t *texture2, int32_t width2,
                     int32_t height2);
void VxDrawPoly2Sub8(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                     const float *tex2, const float *depth, const uint32_t *texture1,
                     int32_t width1, int32_t height1, const uint8_t *texture2, int32_t width2,
                     int32_t height2);
void VxDrawPoly2Add(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                    const float *tex2, const float *depth, const uint32_t *texture1,
                    int32_t width1, int32_t height1, const uint32_t *texture2, int32_t width2,
                    int32_t height2);
void VxDrawPoly2Sub(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                    const float *tex2, const float *depth, const uint32_t *texture1,
                    int32_t width1, int32_t height1, const uint32_t *texture2, int32_t width2,
                    int32_t height2);
// tex2 addresses the 256 x 256 depthMap and mask; lightDepth per vertex is in
// the depth map's units (about 2^18 / light z).
void VxDrawPolyZShadow(uint32_t *page, int32_t count, const float *xy, const float *tex1,
                       const float *tex2, const float *depth, const float *lightDepth,
                       const uint32_t *texture1, int32_t width1, int32_t height1,
                       const int16_t *depthMap, const uint8_t *mask);

// The plain reference of the perspective member: every pixel divides, no
// fixed-point runs. Tests hold VxDrawPolyPersp to it.
void VxDrawPolyPerspReference(uint32_t *page, int32_t count, const float *xy, const float *tex,
                              const float *depth, const uint32_t *texture, int32_t width,
                              int32_t height);
