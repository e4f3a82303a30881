#include "sceneframe.h"

#include <QSize>

#include <GL/gl.h>

namespace {

template <typename Switch> void setSwitch(GLenum capability, Switch setting)
{
    if (setting == Switch::On)
        glEnable(capability);
    else
        glDisable(capability);
}

// The band starts band.bottom of the height above the bottom edge (window rows count from
// the bottom) and spans the full width.
void clearBand(const Band &band, const QSize &pixels)
{
    const int bottom = static_cast<int>(pixels.height() * band.bottom);
    const int rows = static_cast<int>(pixels.height() * band.height);
    glScissor(0, bottom, pixels.width(), rows);
    glEnable(GL_SCISSOR_TEST);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // Geometry is not confined to the band: it covers the black bars where it reaches them.
    glDisable(GL_SCISSOR_TEST);
}

const TimeRotation kTumbleXyz[] = {{0.05, 1, 0, 0}, {0.07, 0, 1, 0}, {0.08, 0, 0, 1}};
const TimeRotation kTurnZ = {0.1, 0, 0, 1};
const TimeRotation kTumbleZyx[] = {{0.1, 0, 0, 1}, {0.11, 0, 1, 0}, {0.15, 1, 0, 0}};

} // namespace

void SceneFrame::apply(int t, const QSize &pixels) const
{
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(band.red, band.green, band.blue, 0);
    clearBand(band, pixels);

    setSwitch(GL_ALPHA_TEST, alphaTest);
    glAlphaFunc(GL_GREATER, alphaReference);
    setSwitch(GL_CULL_FACE, culling);
    setSwitch(GL_DEPTH_TEST, depthTest);

    glLoadIdentity();
    glTranslatef(0, 0, cameraZ);
    for (int r = 0; r < rotationCount; ++r) {
        const TimeRotation &turn = rotations[r];
        glRotatef(static_cast<float>(t * turn.degreesPerMs), turn.x, turn.y, turn.z);
    }

    setSwitch(GL_BLEND, blending);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glScalef(scale, scale, scale);
    glEnable(GL_TEXTURE_2D);
}

// clang-format off
//                                           band colour, bottom, height          alpha test            switches                                        camera  time rotations                                      scale
const SceneFrame SceneFrame::crossedPlanes = {{0.0f, 0.0f, 0.3f, 0.1666, 0.666}, AlphaTest::On,  0.5f,  Culling::On,  DepthTest::On,  Blending::Off, -3.0f, 3, {kTumbleXyz[0], kTumbleXyz[1], kTumbleXyz[2]}, 0.5f};
const SceneFrame SceneFrame::swarm =         {{0.3f, 0.4f, 1.0f, 0.1666, 0.666}, AlphaTest::Off, 0.01f, Culling::Off, DepthTest::Off, Blending::On,  -3.0f, 3, {kTumbleXyz[0], kTumbleXyz[1], kTumbleXyz[2]}, 0.27f};
const SceneFrame SceneFrame::tumblingSwarm = {{0.3f, 0.4f, 1.0f, 0.1666, 0.666}, AlphaTest::Off, 0.01f, Culling::Off, DepthTest::Off, Blending::On,  -3.0f, 3, {kTumbleXyz[0], kTumbleXyz[1], kTumbleXyz[2]}, 0.27f};
const SceneFrame SceneFrame::wave =          {{0.7f, 0.5f, 0.1f, 0.1666, 0.666}, AlphaTest::Off, 0.01f, Culling::Off, DepthTest::Off, Blending::On,  -1.5f, 1, {kTurnZ},                                      0.1f};
const SceneFrame SceneFrame::grid =          {{0.0f, 0.7f, 1.0f, 0.1666, 0.666}, AlphaTest::Off, 0.01f, Culling::Off, DepthTest::Off, Blending::On,  -3.0f, 1, {kTurnZ},                                      0.1f};
const SceneFrame SceneFrame::ring =          {{1.0f, 0.6f, 0.0f, 0.1,    0.8},   AlphaTest::Off, 0.99f, Culling::On,  DepthTest::Off, Blending::On,  -3.0f, 3, {kTumbleZyx[0], kTumbleZyx[1], kTumbleZyx[2]}, 0.18f};
// clang-format on
