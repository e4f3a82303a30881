#include "demopane.h"
#include "displaycheck.h"
#include "mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>

#include <cstdio>

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("main", text);
}

int fail(const QString &reason)
{
    std::fprintf(stderr, "%s\n", qPrintable(reason));
    return 1;
}

// --help and --version are answered before the application connects to a display, so that
// they need none; the process ends there. Every other argument is left to the application,
// which takes Qt's own options (-platform, -display, ...) and leaves the rest unused.
void answerHelpOrVersion(int &argc, char **argv)
{
    QCommandLineParser parser;
    // Qt's options are single words after one dash: -reverse is no -r -e -v ... here.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        translated("Plays the Tovek2 show full screen: the music \"desert.mp3\" and, in step\n"
                   "with it, six real-time OpenGL scenes textured with the picture\n"
                   "\"round.png\", both read from the folder it is started in.\n"
                   "Esc or Q ends the show, Space pauses it and plays on.\n"
                   "Qt's own options, such as -platform xcb, are taken as Qt takes them."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  translated("Displays this help."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments << QString::fromLocal8Bit(argv[index]);
    // Qt's own options are unknown to this parser: not an error here.
    parser.parse(arguments);
    if (!parser.isSet(help) && !parser.isSet(version))
        return;
    // The texts name the program and its version through the application object.
    const QCoreApplication information(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TOVEK2_VERSION));
    if (parser.isSet(help))
        parser.showHelp();
    parser.showVersion();
}

// While Qt may draw window decorations on Wayland, it gives every window's surface an alpha
// channel, and the compositor then blends the scenes' frames, whose alpha is not 1, with what
// lies behind the window. The full-screen show has no decorations to draw: without them the
// pane's surface is opaque.
void askForOpaqueWaylandSurfaces()
{
    if (!qEnvironmentVariableIsSet("QT_WAYLAND_DISABLE_WINDOWDECORATION"))
        qputenv("QT_WAYLAND_DISABLE_WINDOWDECORATION", "1");
}

// Debug messages without a category are libraries' notes to their developers, such as the line
// Phonon's GStreamer back end writes at every normal end of the music; Qt's own messages have
// categories, and warnings and errors still come through. QT_LOGGING_RULES, which Qt reads
// after these rules, brings the notes back (default.debug=true).
void keepLibrariesDebugNotesFromTheViewer()
{
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
}

} // namespace

int main(int argc, char *argv[])
{
    answerHelpOrVersion(argc, argv);
    // Without a display Qt would end the process with an abort and three lines about its
    // platform plugin: say what is missing instead.
    const QString missing = DisplayCheck(argc, argv).missing();
    if (!missing.isEmpty())
        return fail(translated("tovek2: no display to play the show on: %1").arg(missing));
    askForOpaqueWaylandSurfaces();
    keepLibrariesDebugNotesFromTheViewer();
    QApplication app(argc, argv);
    // Wayland desktops find the window's menu entry, and with it its name and icon, by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral(TOVEK2_APP_ID));
    // Without OpenGL the window would stay black for the whole show and still end with
    // success: say why instead.
    if (!DemoPane::displayHasOpenGL())
        return fail(translated("tovek2: this display offers no OpenGL to draw the show with"));
    MainWindow window;
    window.show();
    return app.exec();
}
