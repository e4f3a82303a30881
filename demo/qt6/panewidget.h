#ifndef PANEWIDGET_H
#define PANEWIDGET_H

#include <QOpenGLWidget>

// The widget the pane draws in, built with Qt 6: a QOpenGLWidget made to draw as Qt 5's
// QGLWidget did. It draws each updateGL() at once, keeps the texture the pane bound across
// the framebuffers Qt makes on every resize, and hands resizeGL() device pixels. No Q_OBJECT:
// to the meta-object system the pane derives from QOpenGLWidget itself.
class PaneWidget : public QOpenGLWidget
{
public:
    explicit PaneWidget(QWidget *parent);

    // Whether the display offers OpenGL at all.
    static bool displayHasOpenGL();

    // Draws the frame now, inside the caller, and shows it.
    void updateGL();
    // The frame last drawn, read back without drawing another.
    QImage grabFrameBuffer();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void rememberBoundTexture();
    void bindRememberedTexture();

    GLuint boundTexture = 0;
};

#endif
