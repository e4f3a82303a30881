#include "panewidget.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>

namespace {

// The scenes draw with OpenGL's fixed-function pipeline and GLU, so the context keeps them:
// a compatibility profile. Multisampled, with depth and eight bits for each colour, as the
// Qt 5 build asks of its window; the samples are the framebuffer's that Qt draws the pane in.
QSurfaceFormat showFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSamples(4);
    format.setDepthBufferSize(24);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    return format;
}

} // namespace

PaneWidget::PaneWidget(QWidget *parent) : QOpenGLWidget(parent)
{
    setFormat(showFormat());
    // Qt composes the pane's frames into its window's surface, which takes the default format:
    // left open, a Wayland EGL driver picks a 16-bit surface, and the band's colours come out
    // a shade off. The window is made when it is first shown, after the pane.
    QSurfaceFormat windowFormat = QSurfaceFormat::defaultFormat();
    windowFormat.setRedBufferSize(8);
    windowFormat.setGreenBufferSize(8);
    windowFormat.setBlueBufferSize(8);
    QSurfaceFormat::setDefaultFormat(windowFormat);
    // Making a framebuffer binds its texture and then none: the scenes would draw untextured.
    connect(this, &QOpenGLWidget::aboutToResize, this, &PaneWidget::rememberBoundTexture);
    connect(this, &QOpenGLWidget::resized, this, &PaneWidget::bindRememberedTexture);
}

bool PaneWidget::displayHasOpenGL()
{
    QOpenGLContext probe;
    return probe.create();
}

void PaneWidget::updateGL()
{
    // A repaint() within a refresh of the window's last one is turned into an update for
    // later. The window's update request, sent here, draws the frame and composes the window.
    repaint();
    QCoreApplication::sendPostedEvents(window(), QEvent::UpdateRequest);
}

QImage PaneWidget::grabFrameBuffer()
{
    // QOpenGLWidget::grabFramebuffer() would draw a new frame first.
    if (!isValid())
        return QImage();
    makeCurrent();
    rememberBoundTexture();
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = size() * ratio;
    QOpenGLFramebufferObject resolved(pixels);
    QOpenGLExtraFunctions *gl = context()->extraFunctions();
    gl->glBindFramebuffer(GL_READ_FRAMEBUFFER, defaultFramebufferObject());
    gl->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolved.handle());
    gl->glBlitFramebuffer(0, 0, pixels.width(), pixels.height(), 0, 0, pixels.width(),
                          pixels.height(), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    // Reading follows Qt's own record of the bound framebuffer, which the blit went past.
    resolved.bind();
    const QImage read = resolved.toImage();
    makeCurrent();
    bindRememberedTexture();
    // Colour only, as the screen shows it: the alpha the scenes leave is no part of the
    // picture.
    QImage frame = QImage(read.constBits(), read.width(), read.height(), read.bytesPerLine(),
                          QImage::Format_RGB32)
                       .copy();
    frame.setDevicePixelRatio(ratio);
    return frame;
}

void PaneWidget::resizeEvent(QResizeEvent *event)
{
    // QOpenGLWidget makes a new framebuffer, hands resizeGL() the size in logical pixels and
    // paints. The pane lays its frames out in device pixels, as QGLWidget handed them over, so
    // Qt's paint waits until resizeGL() has had those.
    const bool updates = updatesEnabled();
    setUpdatesEnabled(false);
    QOpenGLWidget::resizeEvent(event);
    setUpdatesEnabled(updates);
    if (!isValid())
        return;
    makeCurrent();
    // The same product, truncated the same way, as the viewport Qt sets for every frame.
    const qreal ratio = devicePixelRatioF();
    resizeGL(int(width() * ratio), int(height() * ratio));
}

void PaneWidget::rememberBoundTexture()
{
    makeCurrent();
    GLint name = 0;
    context()->functions()->glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    boundTexture = GLuint(name);
}

void PaneWidget::bindRememberedTexture()
{
    // Qt may have made the window's context current to compose with the new framebuffer.
    makeCurrent();
    context()->functions()->glBindTexture(GL_TEXTURE_2D, boundTexture);
}
