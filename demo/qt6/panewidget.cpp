#include "panewidget.h"

#include <QCoreApplication>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QWindow>

namespace {

// The scenes draw with OpenGL's fixed-function pipeline and GLU, so the context keeps them:
// a compatibility profile. Multisampled where the window system offers samples, with depth and
// eight bits for each colour: left open, a Wayland EGL driver may pick a 16-bit surface, and
// the band's colours come out a shade off.
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

// What the pane hears of the pointer's moves and of the keys that no shortcut took: a native
// window keeps its input to itself, and nothing above it would hear of it otherwise.
bool isForwarded(const QEvent *event)
{
    const QEvent::Type type = event->type();
    return type == QEvent::MouseMove || type == QEvent::KeyPress || type == QEvent::KeyRelease;
}

} // namespace

PaneWidget::PaneWidget(QWidget *parent)
    : QWidget(parent), surface(new QWindow), context(new QOpenGLContext(this))
{
    surface->setSurfaceType(QSurface::OpenGLSurface);
    surface->setFormat(showFormat());
    surface->installEventFilter(this);
    // The container owns the window from here on.
    container = QWidget::createWindowContainer(surface, this);
    context->setFormat(showFormat());
}

PaneWidget::~PaneWidget()
{
    // The context goes before its window.
    delete context;
}

bool PaneWidget::displayHasOpenGL()
{
    QOpenGLContext probe;
    return probe.create();
}

bool PaneWidget::isValid() const
{
    return context->isValid();
}

void PaneWidget::makeCurrent()
{
    if (isValid())
        context->makeCurrent(surface);
}

QSurfaceFormat PaneWidget::format() const
{
    return surface->requestedFormat();
}

void PaneWidget::updateGL()
{
    // A window that has never been on screen has nothing to show a frame in; where the window
    // system paces swaps by the frames it shows, a swap there could wait for good. Once shown,
    // the pane goes on drawing while it is visible: Qt's Wayland platform calls the window
    // unexposed when the compositor is slow to answer a frame, and exposed again only when it
    // answers a later one, which a pane that stopped drawing would never ask for.
    shown = shown || surface->isExposed();
    if (!updatesEnabled() || !isValid() || !shown || !surface->isVisible())
        return;
    makeCurrent();
    paintGL();
    context->swapBuffers(surface);
}

QImage PaneWidget::grabFrameBuffer()
{
    if (!isValid())
        return QImage();
    makeCurrent();
    const QSize pixels = pixelSize();
    QImage frame(pixels, QImage::Format_RGBA8888);
    context->functions()->glReadPixels(0, 0, pixels.width(), pixels.height(), GL_RGBA,
                                       GL_UNSIGNED_BYTE, frame.bits());
    // Colour only, as the screen shows it: the alpha the scenes leave is no part of the
    // picture. OpenGL's rows run from the bottom up.
    frame = frame.convertToFormat(QImage::Format_RGB32).mirrored();
    frame.setDevicePixelRatio(devicePixelRatio());
    return frame;
}

bool PaneWidget::event(QEvent *event)
{
    // The native window has a pointer of its own, which the pane's must reach.
    if (event->type() == QEvent::CursorChange) {
        if (testAttribute(Qt::WA_SetCursor))
            surface->setCursor(cursor());
        else
            surface->unsetCursor();
    }
    return QWidget::event(event);
}

void PaneWidget::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // A pane never shown on screen (the tools') is set up at once; one on screen once its
    // window shows, at the size the window system gave it. The first frame would otherwise
    // take the size the layout had before that, which can be larger than the screen, and
    // weston places a full-screen window by it, rows off.
    if (testAttribute(Qt::WA_DontShowOnScreen))
        initialize();
}

void PaneWidget::initialize()
{
    if (isValid())
        return;
    surface->create();
    if (!context->create() || !context->makeCurrent(surface))
        return;
    initializeGL();
    resizeGL(pixelSize().width(), pixelSize().height());
}

void PaneWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    container->setGeometry(rect());
    if (!isValid())
        return;
    makeCurrent();
    resizeGL(pixelSize().width(), pixelSize().height());
}

QSize PaneWidget::pixelSize() const
{
    // The same product, truncated the same way.
    const qreal ratio = devicePixelRatio();
    return QSize(int(width() * ratio), int(height() * ratio));
}

bool PaneWidget::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == surface && event->type() == QEvent::Expose && surface->isExposed()) {
        initialize();
        updateGL();
    } else if (watched == surface && isForwarded(event))
        QCoreApplication::sendEvent(this, event);
    return QWidget::eventFilter(watched, event);
}
