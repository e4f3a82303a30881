#ifndef FRAMEMODEL_H
#define FRAMEMODEL_H

#include "glcall.h"

#include <QRgb>
#include <QSize>
#include <QVector>

#include <vector>

// What a frame's calls put on screen when the texture is opaque white, worked out without
// OpenGL. The calls are followed through the modelview matrix into eye space; a ray through
// a pixel finds the quads that cover it, and culling, the depth test and blending combine
// their colours over the cleared background, as the fixed-function pipeline does.
class FrameModel
{
public:
    FrameModel(const QVector<GlCall> &calls, const QSize &size);

    struct Pixel
    {
        // False near an edge of a quad, where the pixel's samples may see different quads.
        bool certain;
        QRgb colour;
        // How many quads wrote the pixel.
        int layers;
    };
    // Pixel (x, y) of the picture, rows counted from the top as in QImage.
    Pixel pixel(int x, int y) const;
    // Whether row y (counted from the top) lies in the band cleared in the band colour.
    bool inBand(int y) const;
    int quadCount() const { return int(quads.size()); }

private:
    struct Vector
    {
        double x, y, z;
    };
    struct Quad
    {
        Vector corners[4];
        double window[4][2]; // the corners projected to window coordinates
        double colour[4];
        bool drawn; // false when culling removes it (it faces away from the eye)
        bool depthTest;
        bool blending;
    };
    using Matrix = QVector<double>; // column-major 4x4, as OpenGL keeps it

    void follow(const GlCall &call);
    void multiply(const Matrix &right);
    Vector toEye(const GlCall &vertex) const;
    QVector<int> layersAlong(double windowX, double windowY) const;
    bool hits(const Quad &quad, const Vector &direction, double *depth) const;
    void project(Quad *quad);
    bool nearEdge(const Quad &quad, double windowX, double windowY) const;

    QSize size;
    std::vector<Quad> quads;
    double background[3] = {0, 0, 0};
    double band[3] = {0, 0, 0};
    int bandBottom = 0;
    int bandRows = 0;
    bool behindEye = false; // some corner lies before the near plane

    // What the calls have set so far.
    double clearColour[4] = {0, 0, 0, 0};
    int scissor[4] = {0, 0, 0, 0};
    bool scissorTest = false, culling = false, depthTest = false, blending = false;
    double colour[4] = {1, 1, 1, 1};
    Matrix modelview;
    QVector<Matrix> stack;
    QVector<Vector> pending;
};

#endif
