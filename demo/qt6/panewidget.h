#ifndef PANEWIDGET_H
#define PANEWIDGET_H

#include <QSurfaceFormat>
#include <QWidget>

class QOpenGLContext;
class QWindow;

// The widget the pane draws in, built with Qt 6, which has no QGLWidget: as QGLWidget did, it
// draws straight into a native OpenGL window of its own and swaps, with no framebuffer of Qt's
// and no composition pass in between. The window sits in a window container that fills the
// widget; updateGL() draws a frame at once, inside the caller. No Q_OBJECT: to the
// meta-object system the pane is a plain QWidget.
class PaneWidget : public QWidget
{
public:
    explicit PaneWidget(QWidget *parent);
    ~PaneWidget() override;

    // Whether the display offers OpenGL at all.
    static bool displayHasOpenGL();

    // Whether the pane has its GL context: from when its window first shows on screen, or
    // when it is shown where it never appears on screen (Qt::WA_DontShowOnScreen).
    bool isValid() const;
    void makeCurrent();
    // What the pane asks of the window system; the window may offer less (no samples).
    QSurfaceFormat format() const;
    // Draws the frame now, inside the caller, and shows it.
    void updateGL();
    // The frame last drawn, read back from the window's buffer without drawing another.
    QImage grabFrameBuffer();

protected:
    virtual void initializeGL() = 0;
    virtual void resizeGL(int w, int h) = 0;
    virtual void paintGL() = 0;

    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Makes the context on the window, once, and sets it up.
    void initialize();
    // The widget's size in device pixels, as QGLWidget handed it to resizeGL().
    QSize pixelSize() const;

    QWindow *surface;
    QWidget *container;
    QOpenGLContext *context;
    bool shown = false;
};

#endif
