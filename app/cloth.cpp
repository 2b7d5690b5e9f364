// The outro's cloth simulation: springs with tearing and face splitting.
#include "app/cloth.h"

#include <cmath>
#include <cstring>

namespace {

const float SPRING_STIFFNESS = 0.1f;
const float TEAR_STRETCH = 1.5f;
const float GRAVITY = 0.03f;
const float DRAG = 0.95f;

float Distance(const float a[3], const float b[3])
{
    float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void AddSpring(Cloth *cloth, int a, int b, float rest)
{
    ClothSpring &s = cloth->springs[cloth->springCount++];
    s.a = a;
    s.b = b;
    s.rest = rest;
    s.stiffness = SPRING_STIFFNESS;
    s.active = 1;
}

// The grid springs rest at their length shortened by 1.2, so the cloth starts
// out taut.
void AddGridSpring(Cloth *cloth, int a, int b)
{
    AddSpring(cloth, a, b, Distance(cloth->position[a], cloth->position[b]) / 1.2f);
}

int GridIndex(int row, int column)
{
    return row * CLOTH_COLUMNS + column;
}

void SetCorner(ClothFace &face, int corner, int row, int column)
{
    face.corner[corner] = GridIndex(row, column);
    face.column[corner] = static_cast<float>(column * 512 / 19);
    face.row[corner] = static_cast<float>(row * -256 / 14);
}

bool FaceHas(const ClothFace &face, int vertex)
{
    return face.corner[0] == vertex || face.corner[1] == vertex || face.corner[2] == vertex;
}

// First face of the mesh with both a and b among its corners, or -1.
int FaceWithEdge(const Cloth *cloth, int a, int b)
{
    for (int f = 0; f < cloth->faceCount; f++)
        if (FaceHas(cloth->faces[f], a) && FaceHas(cloth->faces[f], b))
            return f;
    return -1;
}

} // namespace

void ClothBuild(Cloth *cloth, ClothBall *ball)
{
    std::memset(cloth, 0, sizeof *cloth);
    cloth->vertexCount = CLOTH_GRID_VERTICES;
    for (int r = 0; r < CLOTH_ROWS; r++)
        for (int c = 0; c < CLOTH_COLUMNS; c++) {
            int v = GridIndex(r, c);
            cloth->position[v][0] = static_cast<float>((c - 10) * 32);
            cloth->position[v][1] = (static_cast<float>(r) - 7.5f) * 32.0f;
            cloth->position[v][2] = 0.0f;
            std::memcpy(cloth->home[v], cloth->position[v], sizeof cloth->home[v]);
            cloth->state[v].mass = 1.0f;
        }
    cloth->state[GridIndex(14, 0)].pinned = CLOTH_PINNED;
    cloth->state[GridIndex(14, 8)].pinned = CLOTH_PINNED;
    cloth->state[GridIndex(14, 16)].pinned = CLOTH_PINNED;

    for (int m = 0; m < CLOTH_ROWS - 1; m++)
        for (int c = 0; c < CLOTH_COLUMNS - 1; c++) {
            ClothFace &first = cloth->faces[cloth->faceCount++];
            SetCorner(first, 0, m, c);
            SetCorner(first, 1, m, c + 1);
            SetCorner(first, 2, m + 1, c);
            ClothFace &second = cloth->faces[cloth->faceCount++];
            SetCorner(second, 0, m + 1, c);
            SetCorner(second, 1, m, c + 1);
            SetCorner(second, 2, m + 1, c + 1);
        }

    for (int r = 0; r < CLOTH_ROWS; r++)
        for (int c = 0; c + 1 < CLOTH_COLUMNS; c++)
            AddGridSpring(cloth, GridIndex(r, c), GridIndex(r, c + 1));
    for (int c = 0; c < CLOTH_COLUMNS; c++)
        for (int r = 0; r + 1 < CLOTH_ROWS; r++)
            AddGridSpring(cloth, GridIndex(r, c), GridIndex(r + 1, c));
    for (int r = 0; r + 1 < CLOTH_ROWS; r++)
        for (int c = 0; c + 1 < CLOTH_COLUMNS; c++) {
            AddGridSpring(cloth, GridIndex(r, c), GridIndex(r + 1, c + 1));
            AddGridSpring(cloth, GridIndex(r, c + 1), GridIndex(r + 1, c));
        }

    *ball = ClothBall{{0.0f, 100.0f, 300.0f}, {-1.0f, 0.0f, -8.0f}};
}

void ClothPushBall(Cloth *cloth, ClothBall *ball)
{
    for (int v = 0; v < cloth->vertexCount; v++) {
        float d[3] = {cloth->position[v][0] - ball->position[0], cloth->position[v][1] - ball->position[1],
                      cloth->position[v][2] - ball->position[2]};
        float e = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        // A vertex exactly at the ball's centre has no direction to go.
        if (e >= CLOTH_BALL_RADIUS || e <= 0.0f)
            continue;
        for (int k = 0; k < 3; k++) {
            float push = (CLOTH_BALL_RADIUS - e) * d[k] / e;
            cloth->state[v].velocity[k] += 0.1f * push;
            ball->velocity[k] -= 0.0002f * push;
        }
    }
}

int ClothSplitFace(Cloth *cloth, int f)
{
    if (f < 0 || f >= cloth->faceCount)
        return 0;
    if (cloth->split[f]) {
        int last = cloth->faceCount - 1;
        cloth->faces[f] = cloth->faces[last];
        cloth->split[f] = cloth->split[last];
        cloth->faceCount = last;
        return 1;
    }
    // Running out of room leaves the face where it is rather than ending the
    // program: the cloth simply stops tearing there.
    if (cloth->vertexCount + 3 > CLOTH_MAX_VERTICES || cloth->springCount + 3 > CLOTH_MAX_SPRINGS)
        return 0;
    cloth->split[f] = 1;
    ClothFace &face = cloth->faces[f];
    int fresh[3];
    for (int k = 0; k < 3; k++) {
        int from = face.corner[k], to = cloth->vertexCount++;
        std::memcpy(cloth->position[to], cloth->position[from], sizeof cloth->position[to]);
        std::memcpy(cloth->home[to], cloth->home[from], sizeof cloth->home[to]);
        cloth->state[to] = cloth->state[from];
        face.corner[k] = to;
        fresh[k] = to;
    }
    for (int k = 0; k < 3; k++) {
        int a = fresh[k], b = fresh[(k + 1) % 3];
        AddSpring(cloth, a, b, Distance(cloth->position[a], cloth->position[b]));
    }
    return 1;
}

void ClothStep(Cloth *cloth)
{
    for (int i = 0; i < cloth->springCount; i++) {
        ClothSpring &s = cloth->springs[i];
        if (!s.active)
            continue;
        float *a = cloth->position[s.a], *b = cloth->position[s.b];
        float d = Distance(a, b);
        if (d > TEAR_STRETCH * s.rest && !cloth->state[s.a].pinned && !cloth->state[s.b].pinned) {
            s.active = 0;
            for (int f; (f = FaceWithEdge(cloth, s.a, s.b)) >= 0;)
                if (!ClothSplitFace(cloth, f))
                    break;
        }
        // Two ends at one point give no direction to pull in.
        if (d <= 0.0f)
            continue;
        float force = (s.rest - d) * s.stiffness;
        ClothVertexState &sa = cloth->state[s.a], &sb = cloth->state[s.b];
        for (int k = 0; k < 3; k++) {
            float pull = (a[k] - b[k]) / d * force;
            sa.velocity[k] += pull / sa.mass;
            sb.velocity[k] -= pull / sb.mass;
        }
    }
    for (int v = 0; v < cloth->vertexCount; v++) {
        ClothVertexState &st = cloth->state[v];
        for (int k = 0; k < 3; k++)
            cloth->position[v][k] += st.velocity[k];
        st.velocity[1] -= GRAVITY;
        st.velocity[0] *= DRAG;
        st.velocity[2] *= DRAG;
    }
    for (int v = 0; v < cloth->vertexCount; v++)
        if (cloth->state[v].pinned)
            std::memcpy(cloth->position[v], cloth->home[v], sizeof cloth->position[v]);
}

void ClothMoveBall(ClothBall *ball)
{
    for (int k = 0; k < 3; k++)
        ball->position[k] += ball->velocity[k];
    ball->velocity[1] -= GRAVITY;
}
