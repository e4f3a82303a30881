// tovek2-capture: renders every frame of the show and encodes it with its music into a video
// that plays in sync in any player.
#include "frameplan.h"
#include "framerenderer.h"
#include "partialfile.h"
#include "progressline.h"
#include "stopsignals.h"
#include "timeline.h"
#include "tooloptions.h"
#include "videoencoder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

namespace {

const QString kMusic = QStringLiteral("desert.mp3");
constexpr int kMaxFps = 240;
constexpr int kShowEndMs = int(Timeline::kShowEndMs);

struct Request
{
    QSize size;
    int fps = 0;
    int fromMs = 0;
    int toMs = 0;
    QString output;
};

// The first thing wrong with the request, or an empty string.
QString checkRequest(const Request &request)
{
    if (request.size.width() % 2 || request.size.height() % 2)
        return QStringLiteral("bad size %1x%2: the video needs even sides")
            .arg(request.size.width())
            .arg(request.size.height());
    if (request.fromMs < 0 || request.fromMs >= request.toMs || request.toMs > kShowEndMs)
        return QStringLiteral("bad range %1 to %2 ms: expected 0 <= from < to <= %3")
            .arg(request.fromMs)
            .arg(request.toMs)
            .arg(kShowEndMs);
    if (FramePlan(request.fps, request.fromMs, request.toMs).frameCount() == 0)
        return QStringLiteral("no frame at %1 fps falls between %2 and %3 ms")
            .arg(request.fps)
            .arg(request.fromMs)
            .arg(request.toMs);
    if (!VideoEncoder::isInstalled())
        return QStringLiteral("ffmpeg not found: install it (Debian package ffmpeg)");
    const QFileInfo music(kMusic);
    if (!music.isFile() || !music.isReadable())
        return QStringLiteral("no readable \"%1\" in the current folder").arg(kMusic);
    if (QFileInfo(request.output).isDir())
        return QStringLiteral("cannot write '%1': it is a folder").arg(request.output);
    return QString();
}

int stopped()
{
    const int signal = StopSignals::caught();
    ToolOptions::fail(QStringLiteral("stopped by signal %1; no video written").arg(signal));
    // As a shell reports a command that a signal ended.
    return 128 + signal;
}

int capture(const Request &request)
{
    const FramePlan plan(request.fps, request.fromMs, request.toMs);
    FrameRenderer renderer(request.size);
    if (!renderer.isReady())
        return ToolOptions::fail(QStringLiteral("cannot render at %1x%2 on this display")
                                     .arg(request.size.width())
                                     .arg(request.size.height()));
    PartialFile file(request.output);
    if (!file.create())
        return ToolOptions::fail(
            QStringLiteral("cannot write '%1': %2").arg(request.output, file.errorString()));

    VideoEncoder encoder([] { return StopSignals::caught() != 0; });
    VideoEncoder::Settings settings;
    settings.frameSize = request.size;
    settings.fps = request.fps;
    settings.musicPath = QFileInfo(kMusic).absoluteFilePath();
    settings.musicStartSeconds = plan.startSeconds();
    settings.durationSeconds = plan.durationSeconds();
    settings.outputPath = file.path();
    if (!encoder.start(settings))
        return ToolOptions::fail(encoder.errorString());

    ProgressLine progress(plan.frameCount());
    bool encoded = true;
    int done = 0;
    while (encoded && done < plan.frameCount() && !StopSignals::caught()) {
        encoded = encoder.writeFrame(renderer.render(plan.clockOf(done)));
        if (encoded)
            progress.update(++done);
    }
    encoded = encoded && !StopSignals::caught() && encoder.finish();
    progress.finish(done);
    if (StopSignals::caught())
        return stopped();
    if (!encoded)
        return ToolOptions::fail(encoder.errorString());
    if (!file.commit())
        return ToolOptions::fail(
            QStringLiteral("cannot write '%1': %2").arg(request.output, file.errorString()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tovek2-capture"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Renders the Tovek2 show frame by frame into an MP4 video (H.264 and AAC) with "
        "\"desert.mp3\" from the current folder as its sound track; reads \"round.png\" as the "
        "player does. Needs the ffmpeg program."));
    parser.addHelpOption();
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Frame size (default 1920x1080), even sides."),
        QStringLiteral("WIDTHxHEIGHT"), QStringLiteral("1920x1080"));
    const QCommandLineOption fpsOption(
        QStringLiteral("fps"),
        QStringLiteral("Frames per second, 1 to %1 (default 60).").arg(kMaxFps),
        QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("Video file (default show.mp4)."),
                                          QStringLiteral("FILE"), QStringLiteral("show.mp4"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("Start of the part to capture, in ms of the show (default 0)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption toOption(
        QStringLiteral("to"),
        QStringLiteral("End of the part to capture, in ms, not included (default %1).")
            .arg(kShowEndMs),
        QStringLiteral("MS"), QString::number(kShowEndMs));
    parser.addOptions({sizeOption, fpsOption, outputOption, fromOption, toOption});
    parser.process(app);

    using ToolOptions::fail;
    Request request;
    request.output = parser.value(outputOption);
    if (!ToolOptions::parseSize(parser.value(sizeOption), &request.size))
        return fail(QStringLiteral("bad size '%1': expected WIDTHxHEIGHT, each side 1 to 16384")
                        .arg(parser.value(sizeOption)));
    bool fpsOk = false;
    request.fps = parser.value(fpsOption).toInt(&fpsOk);
    if (!fpsOk || request.fps < 1 || request.fps > kMaxFps)
        return fail(QStringLiteral("bad rate '%1': expected 1 to %2 frames per second")
                        .arg(parser.value(fpsOption))
                        .arg(kMaxFps));
    if (!ToolOptions::parseClock(parser.value(fromOption), &request.fromMs) ||
        !ToolOptions::parseClock(parser.value(toOption), &request.toMs))
        return fail(QStringLiteral("bad range '%1' to '%2': expected whole milliseconds")
                        .arg(parser.value(fromOption), parser.value(toOption)));
    const QString problem = checkRequest(request);
    if (!problem.isEmpty())
        return fail(problem);

    StopSignals::install();
    return capture(request);
}
