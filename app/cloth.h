// The outro's cloth: a 20 x 15 grid of vertices joined by springs, pushed by a
// ball, torn where a spring stretches too far, its faces split off and thrown
// away. Pure simulation; the outro copies it into two scenes to draw it.
#pragma once

#include <cstdint>

enum {
    CLOTH_COLUMNS = 20,
    CLOTH_ROWS = 15,
    CLOTH_GRID_VERTICES = CLOTH_COLUMNS * CLOTH_ROWS, // 300
    CLOTH_FACES = (CLOTH_ROWS - 1) * (CLOTH_COLUMNS - 1) * 2, // 532
    CLOTH_GRID_SPRINGS = 1097,
    CLOTH_MAX_VERTICES = 1200,
    CLOTH_MAX_SPRINGS = 4800,
    CLOTH_PINNED = 2,
};

struct ClothVertexState {
    float velocity[3];
    float mass;
    int32_t pinned; // CLOTH_PINNED or 0
};

struct ClothSpring {
    int32_t a, b;
    float rest;
    float stiffness;
    int32_t active;
};

// One face of the front mesh; the back mesh is the same face with its first
// two corners (and their texture coordinates) swapped.
struct ClothFace {
    int32_t corner[3];
    float row[3], column[3]; // texture coordinates in texels of the captured picture
};

struct Cloth {
    int32_t vertexCount;
    float position[CLOTH_MAX_VERTICES][3];
    float home[CLOTH_MAX_VERTICES][3]; // where a pinned vertex is put back after each step
    ClothVertexState state[CLOTH_MAX_VERTICES];
    int32_t springCount;
    ClothSpring springs[CLOTH_MAX_SPRINGS];
    int32_t faceCount;
    ClothFace faces[CLOTH_FACES];
    int32_t split[CLOTH_FACES]; // 1 once the face has been split off
};

struct ClothBall {
    float position[3];
    float velocity[3];
};

enum { CLOTH_BALL_RADIUS = 130 };

// Builds the grid, its 532 faces, the three pinned top vertices and the 1,097
// springs; the ball starts at (0, 100, 300) moving (-1, 0, -8).
void ClothBuild(Cloth *cloth, ClothBall *ball);

// Every vertex within the ball's radius is pushed away, and the ball slowed.
void ClothPushBall(Cloth *cloth, ClothBall *ball);

// One step: springs tear (splitting the faces they run along) and pull, the
// vertices move and fall, the pinned ones go back home.
void ClothStep(Cloth *cloth);

// Splits a face off the cloth the first time (three new vertices, three new
// springs) and removes it the second time. Returns 0, changing nothing, when
// the new vertices or springs would not fit.
int ClothSplitFace(Cloth *cloth, int face);

// The ball moves, falls, and the camera angle advances.
void ClothMoveBall(ClothBall *ball);
