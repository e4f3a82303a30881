#ifndef FRAMERENDERER_H
#define FRAMERENDERER_H

#include "demopane.h"

#include <QImage>
#include <QSize>

#include <memory>

class QOpenGLFramebufferObject;

// Renders frames of the show with the player's own pane, by demo clock and without music.
// The pane never appears on screen: it draws into a multisampled framebuffer object of the
// requested size, so any size renders whatever the screen's. The framebuffers' own
// textures never take the place of the pane's, which its scenes draw with.
class FrameRenderer
{
public:
    explicit FrameRenderer(const QSize &size);
    ~FrameRenderer();

    // False when no GL context or framebuffer of the requested size could be had.
    bool isReady() const;
    // Samples a pixel of the frames drawn.
    int samples() const;
    // Draws the frame of clock and resolves its samples, as a swap to the screen would, but
    // reads nothing back.
    void draw(int clock);
    // A frame that only clears, resolved the same way: the least any frame costs.
    void drawCleared();
    QImage render(int clock);
    // Reads the last frame drawn into pixels, width x height x 4 bytes: rows from the bottom
    // up, each pixel B, G, R and an alpha that is no part of the picture. That is how the
    // frame lies in the driver, so reading it is one plain copy.
    void readBack(uchar *pixels);
    DemoPane &pane() { return demoPane; }

private:
    void resolve();

    DemoPane demoPane;
    std::unique_ptr<QOpenGLFramebufferObject> target;
    std::unique_ptr<QOpenGLFramebufferObject> resolved;
};

#endif
