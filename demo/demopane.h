#ifndef DEMOPANE_H
#define DEMOPANE_H

#include "panewidget.h"
#include "texture.h"

// The OpenGL widget that draws the show: one frame of the scene that the demo clock selects
// on every repaint. PaneWidget is QGLWidget in the Qt 5 build and, in the Qt 6 build, a widget
// that draws alike into a native OpenGL window of its own.
class DemoPane : public PaneWidget
{
    Q_OBJECT

public:
    explicit DemoPane(QWidget *parent = nullptr);

    // Sets the demo clock (playback position in ms); the next repaint shows its frame.
    void setClock(int ms);
    int demoClock() const { return clock; }

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    // Renders frames into its own framebuffer, straight through paintGL().
    friend class FrameRenderer;

    // The pane's size in device pixels, as resizeGL receives it; with a scale factor other
    // than 1 it is not width() by height().
    QSize pixelSize() const;

    void drawCrossedPlanes();
    void drawSwarm();
    void drawTumblingSwarm();
    void drawWave();
    void drawGrid();
    void drawRing();

    int clock;
    Texture texture;
};

#endif
