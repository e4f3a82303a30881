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

void PaneWidget::updateGL()
{
    // Qt's Wayland platform calls a window unmapped when the compositor is slow to answer a
    // frame, and mapped again only when it answers a later one. QGLWidget draws nothing while
    // unmapped, so it would never ask again, and the show would stand still for good.
    shown = shown || testAttribute(Qt::WA_Mapped);
    if (shown && updatesEnabled())
        glDraw();
    else
        QGLWidget::updateGL();
}
