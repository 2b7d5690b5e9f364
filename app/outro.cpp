// The outro sequence: captures the last screen into texture slot 0, hangs it
// as a cloth in a front and a back scene that share one set of vertex arrays,
// throws the ball into it, and fades picture and music once 200 frames have
// passed or a key asks for it.
#include "app/outro.h"

#include "app/cloth.h"
#include "app/session.h"
#include "gfx/display.h"
#include "gfx/pixels.h"
#include "sound/modplayer.h"
#include "sound/p_midas.h"
#include "store/stackheap.h"

#include <cmath>
#include <cstring>

namespace {

enum { PAGE_WIDTH = 640, PAGE_HEIGHT = 480, CAPTURE_WIDTH = 512, CAPTURE_HEIGHT = 256, FADE_AFTER_FRAMES = 200 };

struct OutroState {
    int32_t (*ticks)();
    void (*frameHook)(int32_t frame, const uint32_t *page);
    OutroReport report;
    // The cloth scenes outlive the outro: they are never released, like the
    // "hell2" slot they point at.
    VxScene front, back;
    VxMesh *frontMesh, *backMesh;
    Cloth *cloth;
};

OutroState outro = {PlayerTicks, nullptr, {}, {}, {}, nullptr, nullptr, nullptr};

int32_t Ticks()
{
    return outro.ticks();
}

// Copies the cloth into both meshes: vertex positions into the shared arrays,
// faces in order into the front mesh and with their first two corners swapped
// into the back mesh, so the cloth is seen from both sides.
void SyncMeshes(const Cloth *cloth)
{
    std::memcpy(outro.frontMesh->vertices, cloth->position, sizeof(float) * 3 * cloth->vertexCount);
    outro.frontMesh->vertexCount = outro.backMesh->vertexCount = cloth->vertexCount;
    outro.frontMesh->faceCount = outro.backMesh->faceCount = cloth->faceCount;
    for (int f = 0; f < cloth->faceCount; f++) {
        const ClothFace &c = cloth->faces[f];
        VxFace &front = outro.frontMesh->faces[f], &back = outro.backMesh->faces[f];
        for (int k = 0; k < 3; k++) {
            int b = k == 0 ? 1 : k == 1 ? 0 : 2;
            front.corner[k] = c.corner[k];
            front.row[k] = c.row[k];
            front.col[k] = c.column[k];
            back.corner[k] = c.corner[b];
            back.row[k] = c.row[b];
            back.col[k] = c.column[b];
        }
    }
}

void SetUpFaces(VxMesh *mesh, int32_t secondLayer)
{
    for (int f = 0; f < CLOTH_FACES; f++) {
        VxFace &face = mesh->faces[f];
        std::strcpy(face.texName1, "logo");
        std::strcpy(face.texName2, "hell2");
        face.mode = VX_MODE_TWO_TEX;
        VxSetFaceTextures(&face, 0, secondLayer);
    }
}

// The two cloth scenes, each one MODEL; the back mesh uses the front mesh's
// vertex arrays, so stepping the front scene transforms both.
int BuildClothScenes()
{
    if (!outro.cloth) {
        outro.cloth = static_cast<Cloth *>(StackheapAlloc(sizeof(Cloth)));
        if (!outro.cloth)
            return 0;
    }
    if (!VxNewScene(&outro.front, 1) || !VxNewScene(&outro.back, 1))
        return 0;
    outro.frontMesh = VxNewModel(&outro.front, 0, CLOTH_MAX_VERTICES, CLOTH_FACES);
    outro.backMesh = VxNewModel(&outro.back, 0, CLOTH_MAX_VERTICES, CLOTH_FACES);
    if (!outro.frontMesh || !outro.backMesh)
        return 0;
    StackheapFree(outro.backMesh->vertices);
    StackheapFree(outro.backMesh->viewVertices);
    StackheapFree(outro.backMesh->normals);
    outro.backMesh->vertices = outro.frontMesh->vertices;
    outro.backMesh->viewVertices = outro.frontMesh->viewVertices;
    outro.backMesh->normals = outro.frontMesh->normals;

    int32_t secondLayer = OutroSecondLayer();
    SetUpFaces(outro.frontMesh, secondLayer);
    SetUpFaces(outro.backMesh, secondLayer);
    return 1;
}

// Texel (row i, column j) samples page pixel (trunc(j * 640 / 512), trunc(i * 480 / 256)).
void Capture(uint32_t *texture, const uint32_t *page)
{
    for (int i = 0; i < CAPTURE_HEIGHT; i++) {
        const uint32_t *row = page + (i * PAGE_HEIGHT / CAPTURE_HEIGHT) * PAGE_WIDTH;
        for (int j = 0; j < CAPTURE_WIDTH; j++)
            texture[i * CAPTURE_WIDTH + j] = row[j * PAGE_WIDTH / CAPTURE_WIDTH];
    }
}

} // namespace

int32_t OutroSecondLayer()
{
    int32_t layer = VxFindTexture("hell2");
    return layer ? layer : VxLoadMaskTexture("hell2.bmp");
}

int32_t OutroFade(uint32_t *page, int32_t level, int32_t volume)
{
    DarkenRun(page, PAGE_WIDTH * PAGE_HEIGHT, level);
    auto faded = static_cast<int32_t>(std::trunc(volume - level * volume / 256.0));
    MpSetMasterVolume(faded);
    return faded;
}

void OutroSetTickSource(int32_t (*ticks)())
{
    outro.ticks = ticks ? ticks : PlayerTicks;
}

void OutroSetFrameHook(void (*hook)(int32_t frame, const uint32_t *page))
{
    outro.frameHook = hook;
}

const OutroReport *OutroLastReport()
{
    return &outro.report;
}

void RunOutro(uint32_t *page, VxScene *ball)
{
    OutroReport &report = outro.report;
    report = OutroReport{0, -1, 0, 0, -1, -1, 0};

    auto *capture = static_cast<uint32_t *>(StackheapAlloc(CAPTURE_WIDTH * CAPTURE_HEIGHT * 4));
    if (!capture) {
        FatalError("Out of mem!");
        report.endedBy = OUTRO_END_NO_MEMORY;
        return;
    }
    if (!BuildClothScenes()) {
        StackheapFree(capture);
        report.endedBy = OUTRO_END_NO_MEMORY;
        return;
    }
    Cloth *cloth = outro.cloth;
    ClothBall theBall;
    ClothBuild(cloth, &theBall);
    SyncMeshes(cloth);
    Capture(capture, page);
    if (!VxReplaceTexture(0, capture, CAPTURE_WIDTH, CAPTURE_HEIGHT, 4, 1000000))
        StackheapFree(capture);

    int32_t lastTicks = Ticks();
    float angle = 0.0f;
    bool fading = false;
    int32_t fadeStart = 0;
    const int32_t volume = MasterVolume();

    for (;;) {
        if (input.quitRequested) {
            report.endedBy = OUTRO_END_QUIT;
            break;
        }
        // At most one frame per two player ticks.
        while (Ticks() < lastTicks + 2)
            Sleep(1);
        lastTicks = Ticks();

        std::memset(page, 0, PAGE_WIDTH * PAGE_HEIGHT * 4);
        VxClearZBuffer();
        float scale = 1.0f + angle / 2.0f;
        float offsetX = 320.0f * std::sin(angle) * scale, offsetZ = 320.0f * std::cos(angle) * scale;
        VxSetCamera(offsetX, 0.0f, offsetZ, 0.0f, -angle, 0.0f);
        VxStepScene(&outro.front);
        VxDrawScene(page, &outro.front);
        VxDrawScene(page, &outro.back);
        if (ball && VxSceneObjectCount(ball) > 0) {
            VxSetCamera(theBall.position[0] + offsetX, theBall.position[1], theBall.position[2] + offsetZ, 0.0f,
                        -angle, 0.0f);
            VxStepScene(ball);
            VxDrawScene(page, ball);
        }

        ClothPushBall(cloth, &theBall);
        ClothStep(cloth);
        SyncMeshes(cloth);
        ClothMoveBall(&theBall);
        angle += 0.01f;

        if (fading) {
            int32_t level = 2 * (Ticks() - fadeStart);
            if (level > 255) {
                report.endedBy = OUTRO_END_FADE;
                break;
            }
            report.lastVolume = OutroFade(page, level, volume);
            report.lastLevel = level;
        }
        Present(page, PAGE_WIDTH * PAGE_HEIGHT);
        report.frames++;
        if (outro.frameHook)
            outro.frameHook(report.frames, page);

        if (report.frames > FADE_AFTER_FRAMES && !fading) {
            fading = true;
            fadeStart = Ticks();
            report.fadeStartFrame = report.frames;
            report.fadeStartTicks = fadeStart;
        }
        PumpMessages();
        if (input.lastKey) {
            input.lastKey = 0;
            if (fading) {
                report.endedBy = OUTRO_END_KEY;
                break;
            }
            fading = true;
            fadeStart = Ticks();
            report.fadeStartFrame = report.frames;
            report.fadeStartTicks = fadeStart;
        }
    }
    report.endTicks = Ticks();
}
