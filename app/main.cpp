#include "demopane.h"
#include "mainwindow.h"

#include <QApplication>

#include <cstdio>

namespace {

// While Qt may draw window decorations on Wayland, it gives every window's surface an alpha
// channel, and the compositor then blends the scenes' frames, whose alpha is not 1, with what
// lies behind the window. The full-screen show has no decorations to draw: without them the
// pane's surface is opaque.
void askForOpaqueWaylandSurfaces()
{
    if (!qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION"))
        qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
}

} // namespace

int main(int argc, char *argv[])
{
    askForOpaqueWaylandSurfaces();
    QApplication app(argc, argv);
    // Without OpenGL the window would stay black for the whole show and still end with
    // success: say why instead.
    if (!DemoPane::displayHasOpenGL()) {
        const QString reason = QCoreApplication::translate(
            "main", "tovek2: this display offers no OpenGL to draw the show with");
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return 1;
    }
    MainWindow window;
    window.show();
    return app.exec();
}
