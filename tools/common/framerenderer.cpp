#include "framerenderer.h"

#include <QOpenGLFramebufferObject>

#include <GL/gl.h>

namespace {

// Used when the pane's format leaves the sample count to the driver.
constexpr int kFallbackSamples = 4;

// Qt's framebuffer objects bind textures of their own, but the scenes draw with whatever
// texture the pane bound when its context was made: put that binding back.
class TextureBindingKeeper
{
public:
    TextureBindingKeeper() { glGetIntegerv(GL_TEXTURE_BINDING_2D, &name); }
    ~TextureBindingKeeper() { glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(name)); }

private:
    GLint name = 0;
};

} // namespace

FrameRenderer::FrameRenderer(const QSize &size) : demoPane(nullptr)
{
    demoPane.setAttribute(Qt::WA_DontShowOnScreen);
    // The window is never shown: nothing but the frames drawn here is drawn.
    demoPane.setUpdatesEnabled(false);
    demoPane.setFixedSize(size);
    demoPane.show();
    if (!demoPane.isValid())
        return;
    demoPane.makeCurrent();
    const TextureBindingKeeper keeper;
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    const int samples = demoPane.format().samples();
    format.setSamples(samples > 0 ? samples : kFallbackSamples);
    target = std::make_unique<QOpenGLFramebufferObject>(size, format);
    resolved = std::make_unique<QOpenGLFramebufferObject>(size);
}

FrameRenderer::~FrameRenderer()
{
    if (target) {
        demoPane.makeCurrent();
        target.reset();
        resolved.reset();
    }
}

bool FrameRenderer::isReady() const
{
    // The pane lays its band out in device pixels: they must be the framebuffer's pixels.
    return target && target->isValid() && resolved->isValid() &&
           demoPane.pixelSize() == target->size();
}

int FrameRenderer::samples() const
{
    return target ? target->format().samples() : 0;
}

void FrameRenderer::draw(int clock)
{
    demoPane.setClock(clock);
    demoPane.makeCurrent();
    target->bind();
    demoPane.paintGL();
    demoPane.makeCurrent();
    target->release();
    resolve();
}

void FrameRenderer::drawCleared()
{
    demoPane.makeCurrent();
    target->bind();
    // A scene may leave its band's scissor on, which would limit the clear.
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    target->release();
    resolve();
}

QImage FrameRenderer::render(int clock)
{
    draw(clock);
    const TextureBindingKeeper keeper;
    // The screen shows colour only: the alpha the scenes leave behind is not part of the
    // picture.
    const QImage frame = resolved->toImage();
    return QImage(frame.constBits(), frame.width(), frame.height(), frame.bytesPerLine(),
                  QImage::Format_RGB32)
        .copy();
}

void FrameRenderer::readBack(uchar *pixels)
{
    demoPane.makeCurrent();
    resolved->bind();
    glReadPixels(0, 0, resolved->width(), resolved->height(), GL_BGRA, GL_UNSIGNED_BYTE, pixels);
    resolved->release();
}

void FrameRenderer::resolve()
{
    const TextureBindingKeeper keeper;
    QOpenGLFramebufferObject::blitFramebuffer(resolved.get(), target.get());
}
