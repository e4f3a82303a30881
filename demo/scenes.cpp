// The six scenes of the show. Each opens with its scene frame and then draws in immediate
// mode; nothing is kept between frames, so any clock value shows its picture at once.
#include "demopane.h"
#include "sceneframe.h"
#include "timeline.h"

#include <GL/gl.h>

#include <cmath>

namespace {

// One vertex with its texture coordinate (s, t).
void texturedVertex(float s, float t, float x, float y, float z)
{
    glTexCoord2f(s, t);
    glVertex3f(x, y, z);
}

struct Rgba
{
    float r, g, b, a;
};

// A unit square with the front colour seen from +z and the back colour from -z; it shows
// the quarter of the picture from the centre to the corner (1, 1).
void drawTwoSidedSquare(const Rgba &front, const Rgba &back)
{
    glBegin(GL_QUADS);
    glColor4f(front.r, front.g, front.b, front.a);
    texturedVertex(0.5f, 0.5f, 0, 0, 0);
    texturedVertex(1, 0.5f, 1, 0, 0);
    texturedVertex(1, 1, 1, 1, 0);
    texturedVertex(0.5f, 1, 0, 1, 0);
    glColor4f(back.r, back.g, back.b, back.a);
    texturedVertex(0.5f, 0.5f, 0, 0, 0);
    texturedVertex(0.5f, 1, 0, 1, 0);
    texturedVertex(1, 1, 1, 1, 0);
    texturedVertex(1, 0.5f, 1, 0, 0);
    glEnd();
}

// Squares 1-4 tile the plane z = 0, 5-8 the plane x = 0 and 9-12 the plane y = 0. The turns
// before a square ('z': 90 degrees about z, 'y': about y) accumulate over the list.
struct CrossedSquare
{
    const char *turns;
    Rgba front;
    Rgba back;
};

const CrossedSquare kCrossedSquares[] = {
    {"", {1, 0.6f, 0, 1}, {0, 0.8f, 1, 1}},
    {"z", {0.8f, 0.4f, 0.4f, 1}, {1, 0.8f, 0, 1}},
    {"z", {0.2f, 0.6f, 0.4f, 1}, {1, 0.4f, 0.2f, 1}},
    {"z", {0.2f, 0.4f, 0.8f, 1}, {0.2f, 0.8f, 0.2f, 1}},
    {"zy", {0, 0.8f, 1, 1}, {1, 0.8f, 0, 1}},
    {"z", {1, 0.6f, 0, 1}, {0.8f, 0.4f, 0.4f, 1}},
    {"z", {0.2f, 0.4f, 0.8f, 1}, {0.2f, 0.6f, 0.4f, 1}},
    {"z", {0.2f, 0.8f, 0.2f, 1}, {1, 0.4f, 0.2f, 1}},
    {"y", {1, 0.4f, 0.2f, 1}, {1, 0.8f, 0, 1}},
    {"z", {0.2f, 0.8f, 0.2f, 1}, {0, 0.8f, 1, 1}},
    {"z", {0.2f, 0.4f, 0.8f, 1}, {1, 0.6f, 0, 1}},
    {"z", {0.2f, 0.6f, 0.4f, 1}, {0.8f, 0.4f, 0.4f, 1}},
};

void turnQuarter(char axis)
{
    if (axis == 'z')
        glRotatef(90, 0, 0, 1);
    else
        glRotatef(90, 0, 1, 0);
}

constexpr int kSwarmQuads = 700;

// Quad i of the swarm is placed by the turns of indices 0 to i: they are never undone.
void turnSwarmChain(int i)
{
    glRotatef(31 * i, 1, 0, 0);
    glRotatef(72, 0, 1, 0);
    glRotatef(i * i + 83, 0, 0, 1);
    glRotatef(i + 21, 0, 1, 0);
}

constexpr double kSpinDegreesPerMs = 0.08;

constexpr int kSheetTiles = 25;
constexpr int kSheetOrigin = -13;

constexpr int kRingFins = 180;
constexpr float kFinStepDegrees = 2;

} // namespace

void DemoPane::drawCrossedPlanes()
{
    const int t = clock;
    SceneFrame::crossedPlanes.apply(t, pixelSize());
    for (const CrossedSquare &square : kCrossedSquares) {
        for (const char *turn = square.turns; *turn; ++turn)
            turnQuarter(*turn);
        drawTwoSidedSquare(square.front, square.back);
    }
}

void DemoPane::drawSwarm()
{
    const int t = clock;
    SceneFrame::swarm.apply(t, pixelSize());
    glColor4f(1, 1, 1, 0.3f);
    for (int i = 0; i < kSwarmQuads; ++i) {
        turnSwarmChain(i);
        glBegin(GL_QUADS);
        texturedVertex(0, 0, 2, -0.5f, 0);
        texturedVertex(0, 1, 2, 0.5f, 0);
        texturedVertex(1, 1, 3, 0.5f, 0);
        texturedVertex(1, 0, 3, -0.5f, 0);
        glEnd();
    }
}

void DemoPane::drawTumblingSwarm()
{
    const int t = clock;
    SceneFrame::tumblingSwarm.apply(t, pixelSize());
    glColor4f(1, 1, 1, 0.3f);
    const double spin = (t - Timeline::kTumblingSwarmStartMs) * kSpinDegreesPerMs;
    for (int i = 0; i < kSwarmQuads; ++i) {
        turnSwarmChain(i);
        // Each quad spins about its own centre, where the swarm's quad of index i sits.
        glPushMatrix();
        glTranslatef(2.5f, 0, 0);
        glRotatef(static_cast<float>(spin), 1, 1, 1);
        glBegin(GL_QUADS);
        texturedVertex(0, 0, -0.5f, -0.5f, 0);
        texturedVertex(0, 1, -0.5f, 0.5f, 0);
        texturedVertex(1, 1, 0.5f, 0.5f, 0);
        texturedVertex(1, 0, 0.5f, -0.5f, 0);
        glEnd();
        glPopMatrix();
    }
}

void DemoPane::drawWave()
{
    const int t = clock;
    SceneFrame::wave.apply(t, pixelSize());
    glColor4f(1, 1, 1, 0.3f);
    glBegin(GL_QUADS);
    const double c1 = 0.01 * t;
    const double c2 = 0.008 * t;
    for (int i = 0; i < kSheetTiles; ++i) {
        const double p1 = i + c1;
        const double p2 = 0.63 * i + c2;
        const float x0 = i + kSheetOrigin;
        const float x1 = x0 + 1;
        for (int j = 0; j < kSheetTiles; ++j) {
            // Every tile is a flat terrace at the height of two travelling sine waves.
            const double s1 = std::sin(0.83 * j + p1);
            const double s2 = std::sin(1.12 * j + p2);
            const float z = static_cast<float>(4.3 * s1 + 4.4 * s2);
            const float y0 = j + kSheetOrigin;
            const float y1 = y0 + 1;
            texturedVertex(0, 0, x0, y0, z);
            texturedVertex(0, 1, x0, y1, z);
            texturedVertex(1, 1, x1, y1, z);
            texturedVertex(1, 0, x1, y0, z);
        }
    }
    glEnd();
}

void DemoPane::drawGrid()
{
    const int t = clock;
    SceneFrame::grid.apply(t, pixelSize());
    // Black with the texel's alpha: the sheet is a silhouette of the picture.
    glColor4f(0, 0, 0, 1);
    glBegin(GL_QUADS);
    for (int i = kSheetOrigin; i < kSheetOrigin + kSheetTiles; ++i) {
        for (int j = kSheetOrigin; j < kSheetOrigin + kSheetTiles; ++j) {
            texturedVertex(0, 0, i, j, 0);
            texturedVertex(0, 1, i, j + 1, 0);
            texturedVertex(1, 1, i + 1, j + 1, 0);
            texturedVertex(1, 0, i + 1, j, 0);
        }
    }
    glEnd();
}

void DemoPane::drawRing()
{
    const int t = clock;
    SceneFrame::ring.apply(t, pixelSize());
    for (int k = 0; k < kRingFins; ++k) {
        glRotatef(kFinStepDegrees, 0, 1, 0);
        // With culling on, a fin shows its black quad from one side and its white quad,
        // mirrored so the picture reads the same way, from the other.
        glBegin(GL_QUADS);
        glColor4f(0, 0, 0, 0.5f);
        texturedVertex(0, 0, 4, -1, 0);
        texturedVertex(0, 1, 4, 1, 0);
        texturedVertex(1, 1, 6, 1, 0);
        texturedVertex(1, 0, 6, -1, 0);
        glColor4f(1, 1, 1, 0.5f);
        texturedVertex(0, 0, 6, -1, 0);
        texturedVertex(0, 1, 6, 1, 0);
        texturedVertex(1, 1, 4, 1, 0);
        texturedVertex(1, 0, 4, -1, 0);
        glEnd();
    }
}
