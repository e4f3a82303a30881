#include "panewidget.h"

namespace {

// Multisampled, with eight bits for each colour: left open, a Wayland EGL driver may pick a
// 16-bit surface, and the band's colours come out a shade off.
QGLFormat showFormat()
{
    QGLFormat format(QGL::SampleBuffers);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    return format;
}

} // namespace

PaneWidget::PaneWidget(QWidget *parent) : QGLWidget(showFormat(), parent)
{
    // The pane draws into a native window of its own. Made native too, the layout widgets
    // around it would become empty Wayland sub-surfaces that are never mapped, and the pane's
    // frames, nested inside them, would never reach the screen.
    setAttribute(Qt::WA_DontCreateNativeAncestors);
}

bool PaneWidget::displayHasOpenGL()
{
    return QGLFormat::hasOpenGL();
}
