#ifndef PANEWIDGET_H
#define PANEWIDGET_H

#include <QGLWidget>

// The widget the pane draws in, built with Qt 5: a QGLWidget with a native window of its own,
// whose updateGL() draws a frame at once. No Q_OBJECT: to the meta-object system the pane
// derives from QGLWidget itself.
class PaneWidget : public QGLWidget
{
public:
    explicit PaneWidget(QWidget *parent);

    // Whether the display offers OpenGL at all.
    static bool displayHasOpenGL();

    // Draws the frame at once, as QGLWidget does, and once the pane has been on the screen
    // goes on drawing while the window system calls it unmapped.
    void updateGL() override;

private:
    bool shown = false;
};

#endif
