#ifndef COMPANIONTOOL_H
#define COMPANIONTOOL_H

#include "virtualscreen.h"

#include <QCommandLineParser>
#include <QSize>

#include <memory>

class QApplication;

// What every rendering tool does before its own work: a command line with --help, --version
// and --size, read with one-line errors before anything starts, then a display (a private
// virtual screen when there is none) and the application object.
class CompanionTool
{
public:
    CompanionTool(const QString &name, const QString &description);
    ~CompanionTool();

    // For the tool's own options, added before parse().
    QCommandLineParser &parser() { return commandLine; }
    // Ends the process after --help and --version; false when the tool is to end at once with
    // exitStatus(): after a bad option or a bad size (the error printed).
    bool parse(int &argc, char **argv);
    QSize size() const { return frameSize; }
    // Finds or starts a display and makes the application; false (the reason printed) when
    // there is no display to be had.
    bool start(int &argc, char **argv);
    // Whether start() found no display and started a private one, where no window manager
    // gives windows their places and sizes.
    bool onPrivateScreen() const { return screen.isPrivate(); }
    // Prints that no renderer of the size asked for could be had; the status to exit with.
    int failToRender() const;
    int exitStatus() const { return status; }

private:
    QCommandLineParser commandLine;
    QCommandLineOption helpOption;
    QCommandLineOption versionOption;
    QCommandLineOption sizeOption;
    QSize frameSize;
    int status = 0;
    // Declared before the application so that it outlives the application's connection.
    VirtualScreen screen;
    std::unique_ptr<QApplication> application;
};

#endif
