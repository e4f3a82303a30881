// tovek2-still: renders frames of the show, chosen by demo clock, to PNG files.
#include "framerenderer.h"
#include "tooloptions.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tovek2-still"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renders frames of the Tovek2 show to PNG files, reading \"round.png\" from the "
        "current folder as the player does."));
    parser.addHelpOption();
    const QCommandLineOption clockOption(
        QStringLiteral("clock"), QStringLiteral("Demo clock of a frame, in ms (repeatable)."),
        QStringLiteral("MS"));
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Frame size (default 1920x1080)."),
        QStringLiteral("WIDTHxHEIGHT"), QStringLiteral("1920x1080"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("File name pattern; %1 becomes the clock (default frame-%1.png)."),
        QStringLiteral("PATTERN"), QStringLiteral("frame-%1.png"));
    parser.addOptions({clockOption, sizeOption, outputOption});
    parser.process(app);

    using ToolOptions::fail;
    QSize size;
    if (!ToolOptions::parseSize(parser.value(sizeOption), &size))
        return fail(QStringLiteral("bad size '%1': expected WIDTHxHEIGHT, each side 1 to 16384")
                        .arg(parser.value(sizeOption)));
    QList<int> clocks;
    for (const QString &text : parser.values(clockOption)) {
        int clock = 0;
        if (!ToolOptions::parseClock(text, &clock))
            return fail(QStringLiteral("bad clock '%1': expected whole milliseconds").arg(text));
        clocks.append(clock);
    }
    if (clocks.isEmpty())
        return fail(QStringLiteral("no frame asked for: give at least one --clock MS"));
    const QString pattern = parser.value(outputOption);
    if (clocks.size() > 1 && !pattern.contains(QLatin1String("%1")))
        return fail(QStringLiteral("output pattern '") + pattern +
                    QStringLiteral("' needs %1 to tell several clocks apart"));

    FrameRenderer renderer(size);
    if (!renderer.isReady())
        return fail(QStringLiteral("cannot render at %1x%2 on this display")
                        .arg(size.width())
                        .arg(size.height()));
    for (int clock : clocks) {
        const QString path = pattern.contains(QLatin1String("%1")) ? pattern.arg(clock) : pattern;
        if (!renderer.render(clock).save(path, "PNG"))
            return fail(QStringLiteral("cannot write '%1'").arg(path));
    }
    return 0;
}
