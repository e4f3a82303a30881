#ifndef SCENEFRAME_H
#define SCENEFRAME_H

class QSize;

// A turn of the whole scene that grows with the demo clock.
struct TimeRotation
{
    double degreesPerMs;
    float x, y, z;
};

// The letterbox band: its colour and where it lies, as fractions of the pane's height.
struct Band
{
    float red, green, blue;
    double bottom; // fraction of the height below the band
    double height; // fraction of the height the band covers
};

// Each GL switch of the frame has a type of its own, so that a row of the table cannot put
// one switch's setting in another's place.
enum class AlphaTest : bool
{
    Off,
    On
};
enum class Culling : bool
{
    Off,
    On
};
enum class DepthTest : bool
{
    Off,
    On
};
enum class Blending : bool
{
    Off,
    On
};

// The values in which the scenes' common opening differs: the letterbox band, the GL
// switches, the camera, the time rotations and the scale.
struct SceneFrame
{
    static constexpr int kMaxRotations = 3;

    Band band;
    AlphaTest alphaTest;
    float alphaReference;
    Culling culling;
    DepthTest depthTest;
    Blending blending;
    float cameraZ;
    int rotationCount;
    TimeRotation rotations[kMaxRotations];
    float scale;

    // Clears the pane to black with the band in its colour, sets the switches and leaves the
    // modelview matrix at the scene's origin with texturing on. The band is laid out in the
    // pane's device pixels, the same pixels as its viewport.
    void apply(int t, const QSize &pixels) const;

    static const SceneFrame crossedPlanes;
    static const SceneFrame swarm;
    static const SceneFrame tumblingSwarm;
    static const SceneFrame wave;
    static const SceneFrame grid;
    static const SceneFrame ring;
};

#endif
