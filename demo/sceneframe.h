#ifndef SCENEFRAME_H
#define SCENEFRAME_H

// A turn of the whole scene that grows with the demo clock.
struct TimeRotation
{
    double degreesPerMs;
    float x, y, z;
};

// The values in which the scenes' common opening differs: the letterbox band, the GL
// switches, the camera, the time rotations and the scale.
struct SceneFrame
{
    static constexpr int kMaxRotations = 3;

    float bandRed, bandGreen, bandBlue;
    double bandBottom; // fraction of the height below the band
    double bandHeight; // fraction of the height the band covers
    bool alphaTest;
    float alphaReference;
    bool culling;
    bool depthTest;
    bool blending;
    float cameraZ;
    int rotationCount;
    TimeRotation rotations[kMaxRotations];
    float scale;

    // Clears the pane to black with the band in its colour, sets the switches and leaves the
    // modelview matrix at the scene's origin with texturing on.
    void apply(int t, int width, int height) const;

    static const SceneFrame crossedPlanes;
    static const SceneFrame swarm;
    static const SceneFrame tumblingSwarm;
    static const SceneFrame wave;
    static const SceneFrame grid;
    static const SceneFrame ring;
};

#endif
