#include "framemodel.h"

#include <QtMath>

#include <cmath>

namespace {

constexpr double kFieldOfViewDegrees = 45;
constexpr double kNear = 0.01;
constexpr double kFar = 100;
// Rays through each pixel, offset from its centre by up to this many pixels across.
constexpr double kSpread = 0.45;
// A pixel's samples lie within half a diagonal of its centre: an edge nearer than this may
// split them.
constexpr double kEdgeMargin = 0.75;

double stored(double channel)
{
    return std::round(qBound(0.0, channel, 1.0) * 255) / 255;
}

QVector<double> identity()
{
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
}

QVector<double> translation(double x, double y, double z)
{
    QVector<double> m = identity();
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

QVector<double> scaling(double x, double y, double z)
{
    QVector<double> m = identity();
    m[0] = x;
    m[5] = y;
    m[10] = z;
    return m;
}

// The matrix of glRotate: degrees about the axis (x, y, z), normalised.
QVector<double> rotation(double degrees, double x, double y, double z)
{
    const double length = std::sqrt(x * x + y * y + z * z);
    x /= length;
    y /= length;
    z /= length;
    const double radians = qDegreesToRadians(degrees);
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    const double k = 1 - c;
    // clang-format off
    return {x * x * k + c,     y * x * k + z * s, x * z * k - y * s, 0,
            x * y * k - z * s, y * y * k + c,     y * z * k + x * s, 0,
            x * z * k + y * s, y * z * k - x * s, z * z * k + c,     0,
            0,                 0,                 0,                 1};
    // clang-format on
}

} // namespace

FrameModel::FrameModel(const QVector<GlCall> &calls, const QSize &size)
    : size(size), modelview(identity())
{
    for (const GlCall &call : calls)
        follow(call);
}

void FrameModel::follow(const GlCall &call)
{
    const QString &name = call.name;
    const QVector<double> &n = call.numbers;
    if (name == QLatin1String("glClearColor")) {
        std::copy(n.begin(), n.end(), clearColour);
    } else if (name == QLatin1String("glScissor")) {
        std::copy(n.begin(), n.end(), scissor);
    } else if (name == QLatin1String("glClear")) {
        double *target = scissorTest ? band : background;
        std::copy(clearColour, clearColour + 3, target);
        if (scissorTest) {
            bandBottom = scissor[1];
            bandRows = scissor[3];
        }
    } else if (name == QLatin1String("glEnable") || name == QLatin1String("glDisable")) {
        const bool on = name == QLatin1String("glEnable");
        const QString &capability = call.args.at(0);
        if (capability == QLatin1String("GL_SCISSOR_TEST"))
            scissorTest = on;
        else if (capability == QLatin1String("GL_CULL_FACE"))
            culling = on;
        else if (capability == QLatin1String("GL_DEPTH_TEST"))
            depthTest = on;
        else if (capability == QLatin1String("GL_BLEND"))
            blending = on;
    } else if (name == QLatin1String("glLoadIdentity")) {
        modelview = identity();
    } else if (name == QLatin1String("glTranslatef")) {
        multiply(translation(n[0], n[1], n[2]));
    } else if (name == QLatin1String("glScalef")) {
        multiply(scaling(n[0], n[1], n[2]));
    } else if (name == QLatin1String("glRotatef")) {
        multiply(rotation(n[0], n[1], n[2], n[3]));
    } else if (name == QLatin1String("glPushMatrix")) {
        stack.append(modelview);
    } else if (name == QLatin1String("glPopMatrix")) {
        modelview = stack.takeLast();
    } else if (name == QLatin1String("glColor4f")) {
        std::copy(n.begin(), n.end(), colour);
    } else if (name == QLatin1String("glBegin")) {
        pending.clear();
    } else if (name == QLatin1String("glVertex3f")) {
        pending.append(toEye(call));
        if (pending.size() == 4) {
            Quad quad;
            std::copy(pending.begin(), pending.end(), quad.corners);
            std::copy(colour, colour + 4, quad.colour);
            // Counter-clockwise on screen is the front; seen from the eye at the origin that
            // is a normal pointing back at the eye.
            const Vector &a = quad.corners[0], &b = quad.corners[1], &c = quad.corners[2];
            const Vector u = {b.x - a.x, b.y - a.y, b.z - a.z};
            const Vector v = {c.x - a.x, c.y - a.y, c.z - a.z};
            const Vector normal = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z,
                                   u.x * v.y - u.y * v.x};
            const bool front = normal.x * a.x + normal.y * a.y + normal.z * a.z < 0;
            quad.drawn = !culling || front;
            project(&quad);
            quad.depthTest = depthTest;
            quad.blending = blending;
            quads.push_back(quad);
            pending.clear();
        }
    }
}

void FrameModel::multiply(const Matrix &right)
{
    Matrix product(16, 0.0);
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += modelview[k * 4 + row] * right[column * 4 + k];
            product[column * 4 + row] = sum;
        }
    }
    modelview = product;
}

FrameModel::Vector FrameModel::toEye(const GlCall &vertex) const
{
    const double x = vertex.numbers[0], y = vertex.numbers[1], z = vertex.numbers[2];
    const Matrix &m = modelview;
    return {m[0] * x + m[4] * y + m[8] * z + m[12], m[1] * x + m[5] * y + m[9] * z + m[13],
            m[2] * x + m[6] * y + m[10] * z + m[14]};
}

// Moller-Trumbore on the quad's two triangles; depth is the distance along the view axis.
bool FrameModel::hits(const Quad &quad, const Vector &d, double *depth) const
{
    static const int triangles[2][3] = {{0, 1, 2}, {0, 2, 3}};
    for (const auto &corner : triangles) {
        const Vector &a = quad.corners[corner[0]];
        const Vector &b = quad.corners[corner[1]];
        const Vector &c = quad.corners[corner[2]];
        const Vector e1 = {b.x - a.x, b.y - a.y, b.z - a.z};
        const Vector e2 = {c.x - a.x, c.y - a.y, c.z - a.z};
        const Vector p = {d.y * e2.z - d.z * e2.y, d.z * e2.x - d.x * e2.z,
                          d.x * e2.y - d.y * e2.x};
        const double det = e1.x * p.x + e1.y * p.y + e1.z * p.z;
        if (std::abs(det) < 1e-12)
            continue;
        const Vector s = {-a.x, -a.y, -a.z};
        const double u = (s.x * p.x + s.y * p.y + s.z * p.z) / det;
        if (u < 0 || u > 1)
            continue;
        const Vector q = {s.y * e1.z - s.z * e1.y, s.z * e1.x - s.x * e1.z,
                          s.x * e1.y - s.y * e1.x};
        const double v = (d.x * q.x + d.y * q.y + d.z * q.z) / det;
        if (v < 0 || u + v > 1)
            continue;
        const double along = (e2.x * q.x + e2.y * q.y + e2.z * q.z) / det;
        if (along < kNear || along > kFar)
            continue;
        *depth = along;
        return true;
    }
    return false;
}

void FrameModel::project(Quad *quad)
{
    const double tanHalf = std::tan(qDegreesToRadians(kFieldOfViewDegrees / 2));
    const double aspect = double(size.width()) / size.height();
    for (int k = 0; k < 4; ++k) {
        const Vector &corner = quad->corners[k];
        const double depth = -corner.z;
        if (depth < kNear) {
            behindEye = true;
            return;
        }
        const double ndcX = corner.x / depth / (aspect * tanHalf);
        const double ndcY = corner.y / depth / tanHalf;
        quad->window[k][0] = (ndcX + 1) / 2 * size.width();
        quad->window[k][1] = (ndcY + 1) / 2 * size.height();
    }
}

bool FrameModel::nearEdge(const Quad &quad, double x, double y) const
{
    for (int k = 0; k < 4; ++k) {
        const double *a = quad.window[k];
        const double *b = quad.window[(k + 1) % 4];
        const double ex = b[0] - a[0], ey = b[1] - a[1];
        const double length2 = ex * ex + ey * ey;
        const double along =
            length2 > 0 ? qBound(0.0, ((x - a[0]) * ex + (y - a[1]) * ey) / length2, 1.0) : 0;
        const double dx = a[0] + along * ex - x, dy = a[1] + along * ey - y;
        if (dx * dx + dy * dy < kEdgeMargin * kEdgeMargin)
            return true;
    }
    return false;
}

// The quads that write the pixel at window position (x, y), in drawing order.
QVector<int> FrameModel::layersAlong(double windowX, double windowY) const
{
    const double tanHalf = std::tan(qDegreesToRadians(kFieldOfViewDegrees / 2));
    const double aspect = double(size.width()) / size.height();
    const double u = 2 * windowX / size.width() - 1;
    const double v = 2 * windowY / size.height() - 1;
    // With the view direction of length one along -z, the distance along the ray is the depth.
    const Vector direction = {u * aspect * tanHalf, v * tanHalf, -1};
    QVector<int> written;
    double nearest = kFar * 2;
    for (int index = 0; index < int(quads.size()); ++index) {
        const Quad &quad = quads.at(index);
        double depth = 0;
        if (!quad.drawn || !hits(quad, direction, &depth))
            continue;
        if (quad.depthTest) {
            if (!(depth < nearest))
                continue;
            nearest = depth;
        }
        written.append(index);
    }
    return written;
}

bool FrameModel::inBand(int y) const
{
    const int windowRow = size.height() - 1 - y;
    return windowRow >= bandBottom && windowRow < bandBottom + bandRows;
}

FrameModel::Pixel FrameModel::pixel(int x, int y) const
{
    const double centreX = x + 0.5;
    const double centreY = size.height() - 1 - y + 0.5;
    const QVector<int> written = layersAlong(centreX, centreY);
    bool certain = !behindEye;
    for (const Quad &quad : quads) {
        if (certain && quad.drawn)
            certain = !nearEdge(quad, centreX, centreY);
    }
    for (double dx : {-kSpread, 0.0, kSpread}) {
        for (double dy : {-kSpread, 0.0, kSpread}) {
            if (certain && (dx != 0 || dy != 0))
                certain = layersAlong(centreX + dx, centreY + dy) == written;
        }
    }
    const double *cleared = inBand(y) ? band : background;
    double rgb[3] = {cleared[0], cleared[1], cleared[2]};
    for (double &channel : rgb)
        channel = stored(channel);
    for (int index : written) {
        const Quad &quad = quads.at(index);
        const double alpha = quad.blending ? quad.colour[3] : 1.0;
        for (int k = 0; k < 3; ++k)
            rgb[k] = stored(quad.colour[k] * alpha + rgb[k] * (1 - alpha));
    }
    const auto level = [](double channel) { return int(std::lround(channel * 255)); };
    return {certain, qRgb(level(rgb[0]), level(rgb[1]), level(rgb[2])), int(written.size())};
}
