#include "mainwindow.h"

#include <QApplication>
#include <QGLFormat>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Without OpenGL the window would stay black for the whole show and still end with
    // success: say why instead.
    if (!QGLFormat::hasOpenGL()) {
        const QString reason = QCoreApplication::translate(
            "main", "tovek2: this display offers no OpenGL to draw the show with");
        std::fprintf(stderr, "%s\n", qPrintable(reason));
        return 1;
    }
    MainWindow window;
    window.show();
    return app.exec();
}
