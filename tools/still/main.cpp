// tovek2-still: renders frames of the show, chosen by demo clock, to PNG files or to one
// contact sheet.
#include "companiontool.h"
#include "contactsheet.h"
#include "framerenderer.h"
#include "timeline.h"
#include "tooloptions.h"

namespace {

// A contact sheet without clocks shows the whole show, one frame every five seconds.
constexpr int kSheetStepMs = 5000;
constexpr int kMaxSheetColumns = 100;

QList<int> wholeShow()
{
    QList<int> clocks;
    for (int clock = 0; clock < Timeline::kShowEndMs; clock += kSheetStepMs)
        clocks.append(clock);
    return clocks;
}

int writeFrames(FrameRenderer &renderer, const QList<int> &clocks, const QString &pattern)
{
    for (int clock : clocks) {
        const QString path = pattern.contains(QLatin1String("%1")) ? pattern.arg(clock) : pattern;
        if (!renderer.render(clock).save(path, "PNG"))
            return ToolOptions::fail(QStringLiteral("cannot write '%1'").arg(path));
    }
    return 0;
}

int writeSheet(FrameRenderer &renderer, const QList<int> &clocks, int columns, const QSize &cell,
               const QString &path)
{
    if (!ContactSheet::fits(columns, cell, clocks.size()))
        return ToolOptions::fail(
            QStringLiteral("a sheet of %1 frames of %2x%3 in %4 columns exceeds 16384 pixels")
                .arg(clocks.size())
                .arg(cell.width())
                .arg(cell.height())
                .arg(columns));
    ContactSheet sheet(columns, cell, clocks.size());
    for (int index = 0; index < clocks.size(); ++index)
        sheet.place(index, renderer.render(clocks.at(index)));
    if (!sheet.image().save(path, "PNG"))
        return ToolOptions::fail(QStringLiteral("cannot write '%1'").arg(path));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    CompanionTool tool(QStringLiteral("tovek2-still"),
                       QStringLiteral("Renders frames of the Tovek2 show to PNG files, reading "
                                      "\"round.png\" from the current folder as the player "
                                      "does."));
    const QCommandLineOption clockOption(
        QStringLiteral("clock"), QStringLiteral("Demo clock of a frame, in ms (repeatable)."),
        QStringLiteral("MS"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("File name pattern; %1 becomes the clock (default frame-%1.png). With "
                       "--sheet, the sheet's file (default contact-sheet.png)."),
        QStringLiteral("PATTERN"));
    const QCommandLineOption sheetOption(
        QStringLiteral("sheet"),
        QStringLiteral("Put all frames on one contact sheet, COLUMNS cells wide; without "
                       "--clock, one frame every 5 s of the show."),
        QStringLiteral("COLUMNS"));
    const QCommandLineOption cellOption(
        QStringLiteral("cell"),
        QStringLiteral("Size each frame is scaled to on the sheet (default 320x180)."),
        QStringLiteral("WIDTHxHEIGHT"), QStringLiteral("320x180"));
    tool.parser().addOptions({clockOption, outputOption, sheetOption, cellOption});
    if (!tool.parse(argc, argv))
        return tool.exitStatus();

    using ToolOptions::fail;
    const QCommandLineParser &parser = tool.parser();
    QList<int> clocks;
    for (const QString &text : parser.values(clockOption)) {
        int clock = 0;
        if (!ToolOptions::parseClock(text, &clock))
            return fail(QStringLiteral("bad clock '%1': expected whole milliseconds").arg(text));
        clocks.append(clock);
    }
    const bool onSheet = parser.isSet(sheetOption);
    int columns = 0;
    QSize cell;
    if (onSheet) {
        bool ok = false;
        columns = parser.value(sheetOption).toInt(&ok);
        if (!ok || columns < 1 || columns > kMaxSheetColumns)
            return fail(QStringLiteral("bad sheet width '%1': expected 1 to %2 columns")
                            .arg(parser.value(sheetOption))
                            .arg(kMaxSheetColumns));
        if (!ToolOptions::parseSize(parser.value(cellOption), &cell))
            return fail(QStringLiteral("bad cell '%1': expected WIDTHxHEIGHT, each side 1 to 16384")
                            .arg(parser.value(cellOption)));
        if (clocks.isEmpty())
            clocks = wholeShow();
    }
    if (clocks.isEmpty())
        return fail(QStringLiteral("no frame asked for: give at least one --clock MS"));
    const QString defaultOutput =
        onSheet ? QStringLiteral("contact-sheet.png") : QStringLiteral("frame-%1.png");
    const QString output = parser.isSet(outputOption) ? parser.value(outputOption) : defaultOutput;
    if (!onSheet && clocks.size() > 1 && !output.contains(QLatin1String("%1")))
        return fail(QStringLiteral("output pattern '") + output +
                    QStringLiteral("' needs %1 to tell several clocks apart"));

    if (!tool.start(argc, argv))
        return tool.exitStatus();
    FrameRenderer renderer(tool.size());
    if (!renderer.isReady())
        return tool.failToRender();
    return onSheet ? writeSheet(renderer, clocks, columns, cell, output)
                   : writeFrames(renderer, clocks, output);
}
