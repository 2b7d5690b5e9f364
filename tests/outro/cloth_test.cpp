// The outro's cloth: how it is built, when springs tear and what splitting does.
#include "app/cloth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

struct ClothTest : testing::Test {
    std::unique_ptr<Cloth> cloth{new Cloth};
    ClothBall ball;
    void SetUp() override { ClothBuild(cloth.get(), &ball); }

    // Stills the cloth so a step moves nothing but the spring under test.
    void Freeze()
    {
        for (int s = 0; s < cloth->springCount; s++)
            cloth->springs[s].stiffness = 0;
    }
    void Stretch(int spring, float factor)
    {
        ClothSpring &s = cloth->springs[spring];
        const float *a = cloth->position[s.a], *b = cloth->position[s.b];
        float d = std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
        s.rest = d / factor;
    }
};

TEST_F(ClothTest, BuildsTheGridFacesSpringsAndPins)
{
    EXPECT_EQ(cloth->vertexCount, 300);
    EXPECT_EQ(cloth->faceCount, 532);
    EXPECT_EQ(cloth->springCount, 1097);
    int pinned = 0;
    for (int v = 0; v < cloth->vertexCount; v++)
        pinned += cloth->state[v].pinned == CLOTH_PINNED;
    EXPECT_EQ(pinned, 3);
    EXPECT_EQ(cloth->state[14 * 20 + 8].pinned, CLOTH_PINNED);
    // Vertex (column 3, row 2) and its place in space.
    EXPECT_FLOAT_EQ(cloth->position[2 * 20 + 3][0], -224.0f);
    EXPECT_FLOAT_EQ(cloth->position[2 * 20 + 3][1], -176.0f);
    // Neighbours 32 apart rest at 32 / 1.2; the second face of cell (0, 0).
    EXPECT_FLOAT_EQ(cloth->springs[0].rest, 32.0f / 1.2f);
    const ClothFace &second = cloth->faces[1];
    EXPECT_EQ(second.corner[0], 20);
    EXPECT_EQ(second.corner[1], 1);
    EXPECT_EQ(second.corner[2], 21);
    EXPECT_FLOAT_EQ(cloth->faces[2 * 18 + 1].column[2], static_cast<float>(19 * 512 / 19));
    EXPECT_FLOAT_EQ(ball.position[2], 300.0f);
    EXPECT_FLOAT_EQ(ball.velocity[2], -8.0f);
}

TEST_F(ClothTest, SpringAtExactlyOneAndAHalfDoesNotTearBeyondItDoes)
{
    Freeze();
    Stretch(100, 1.5f);
    cloth->springs[100].rest = std::nextafter(cloth->springs[100].rest, 1e9f); // d is at most 1.5 x rest
    ClothStep(cloth.get());
    EXPECT_EQ(cloth->springs[100].active, 1);
    EXPECT_EQ(cloth->vertexCount, 300);

    SetUp();
    Freeze();
    Stretch(100, 1.6f);
    ClothStep(cloth.get());
    EXPECT_EQ(cloth->springs[100].active, 0);
    EXPECT_GT(cloth->vertexCount, 300);
}

TEST_F(ClothTest, SpringsToPinnedVerticesNeverTear)
{
    Freeze();
    int tested = 0;
    for (int s = 0; s < cloth->springCount; s++) {
        ClothSpring &spring = cloth->springs[s];
        if (cloth->state[spring.a].pinned || cloth->state[spring.b].pinned) {
            spring.rest = 0.001f;
            tested++;
        }
    }
    ASSERT_GT(tested, 0);
    ClothStep(cloth.get());
    for (int s = 0; s < cloth->springCount; s++) {
        if (cloth->state[cloth->springs[s].a].pinned || cloth->state[cloth->springs[s].b].pinned) {
            EXPECT_EQ(cloth->springs[s].active, 1) << "spring " << s;
        }
    }
    EXPECT_EQ(cloth->vertexCount, 300);
}

TEST_F(ClothTest, SplitOnceAddsThreeVerticesAndSpringsSplitTwiceRemoves)
{
    ClothFace before = cloth->faces[10];
    ASSERT_EQ(ClothSplitFace(cloth.get(), 10), 1);
    EXPECT_EQ(cloth->vertexCount, 303);
    EXPECT_EQ(cloth->springCount, 1100);
    EXPECT_EQ(cloth->faceCount, 532);
    for (int k = 0; k < 3; k++) {
        EXPECT_EQ(cloth->faces[10].corner[k], 300 + k);
        EXPECT_FLOAT_EQ(cloth->position[300 + k][0], cloth->position[before.corner[k]][0]);
        EXPECT_FLOAT_EQ(cloth->faces[10].row[k], before.row[k]);
        EXPECT_EQ(cloth->springs[1097 + k].active, 1);
        EXPECT_GT(cloth->springs[1097 + k].rest, 0.0f);
    }
    ClothFace last = cloth->faces[531];
    ASSERT_EQ(ClothSplitFace(cloth.get(), 10), 1);
    EXPECT_EQ(cloth->faceCount, 531);
    EXPECT_EQ(cloth->faces[10].corner[0], last.corner[0]);
    EXPECT_EQ(cloth->split[10], 0);
}

TEST_F(ClothTest, TearingSplitsEveryFaceAlongTheSpring)
{
    Freeze();
    // Spring 300 runs along a column inside the grid: two faces share it.
    ClothSpring s = cloth->springs[300];
    int sharing = 0;
    for (int f = 0; f < cloth->faceCount; f++) {
        const ClothFace &face = cloth->faces[f];
        bool a = face.corner[0] == s.a || face.corner[1] == s.a || face.corner[2] == s.a;
        bool b = face.corner[0] == s.b || face.corner[1] == s.b || face.corner[2] == s.b;
        sharing += a && b;
    }
    Stretch(300, 2.0f);
    ClothStep(cloth.get());
    EXPECT_EQ(cloth->vertexCount, 300 + 3 * sharing);
    EXPECT_EQ(cloth->springCount, 1097 + 3 * sharing);
}

TEST_F(ClothTest, VertexLimitStopsSplittingWithoutHarm)
{
    int splits = 0;
    for (int f = 0; f < cloth->faceCount; f++)
        splits += ClothSplitFace(cloth.get(), f);
    EXPECT_EQ(splits, (CLOTH_MAX_VERTICES - 300) / 3);
    EXPECT_EQ(cloth->vertexCount, CLOTH_MAX_VERTICES);
    EXPECT_EQ(ClothSplitFace(cloth.get(), cloth->faceCount - 1), 0);
    // Tearing everything now must neither crash nor exceed the tables.
    for (int s = 0; s < cloth->springCount; s++)
        cloth->springs[s].rest = 0.01f;
    for (int step = 0; step < 3; step++)
        ClothStep(cloth.get());
    EXPECT_LE(cloth->vertexCount, CLOTH_MAX_VERTICES);
    EXPECT_LE(cloth->springCount, CLOTH_MAX_SPRINGS);
}

TEST_F(ClothTest, PinnedVerticesStayAndTheRestMoves)
{
    for (int step = 0; step < 5; step++)
        ClothStep(cloth.get());
    EXPECT_FLOAT_EQ(cloth->position[14 * 20 + 16][1], (14 - 7.5f) * 32.0f);
    // The taut cloth pulls its free corner up and in.
    EXPECT_GT(cloth->position[0][1], (0 - 7.5f) * 32.0f);
    EXPECT_GT(cloth->position[0][0], -320.0f);
}

TEST_F(ClothTest, BallPushesNearVerticesAndSlows)
{
    ball.position[0] = cloth->position[150][0];
    ball.position[1] = cloth->position[150][1];
    ball.position[2] = 100.0f;
    float vz = ball.velocity[2];
    ClothPushBall(cloth.get(), &ball);
    EXPECT_LT(cloth->state[150].velocity[2], 0.0f);    // pushed away from the ball at z 100
    EXPECT_FLOAT_EQ(cloth->state[0].velocity[2], 0.0f); // far corner untouched
    EXPECT_GT(ball.velocity[2], vz);                    // the ball is slowed
}

} // namespace
