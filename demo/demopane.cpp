#include "demopane.h"
#include "timeline.h"

#include <QWindow>

#include <GL/glu.h>

namespace {

constexpr double kFieldOfViewDegrees = 45.0;
constexpr double kNearPlane = 0.01;
constexpr double kFarPlane = 100.0;

} // namespace

DemoPane::DemoPane(QWidget *parent) : PaneWidget(parent), clock(0) {}

void DemoPane::setClock(int ms)
{
    clock = ms;
}

void DemoPane::initializeGL()
{
    // The texture stays bound for the context's whole life: the scenes draw with it and
    // never bind one themselves.
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    texture.load(tr("round.png"));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void DemoPane::resizeGL(int w, int h)
{
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // An empty pane counts as one row high, so the aspect ratio stays finite.
    const double aspect = static_cast<double>(w) / qMax(h, 1);
    gluPerspective(kFieldOfViewDegrees, aspect, kNearPlane, kFarPlane);
    glMatrixMode(GL_MODELVIEW);
}

QSize DemoPane::pixelSize() const
{
    // The same product, truncated the same way, that resizeGL receives.
    const QWindow *shown = window()->windowHandle();
    const qreal ratio = shown ? shown->devicePixelRatio() : 1.0;
    return QSize(int(width() * ratio), int(height() * ratio));
}

void DemoPane::paintGL()
{
    using namespace Timeline;
    const int t = clock;
    if (t < kSwarmStartMs)
        drawCrossedPlanes();
    else if (t < kTumblingSwarmStartMs)
        drawSwarm();
    else if (t < kWaveStartMs)
        drawTumblingSwarm();
    else if (t < kGridStartMs)
        drawWave();
    else if (t < kRingStartMs)
        drawGrid();
    else
        drawRing();
}
