// tovek2-capture: renders every frame of the show and encodes it with its music into a video
// that plays in sync in any player.
#include "companiontool.h"
#include "encodingoptions.h"
#include "frameplan.h"
#include "framerenderer.h"
#include "partialfile.h"
#include "progressline.h"
#include "stopsignals.h"
#include "timeline.h"
#include "tooloptions.h"
#include "videoencoder.h"

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
    // The preset and crf asked for; capture() fills in the rest.
    VideoEncoder::Settings encoding;
};

// The first thing wrong with the request, or an empty string.
QString checkRequest(const Request &request)
{
    const QString sizeProblem = VideoEncoder::checkSize(request.size);
    if (!sizeProblem.isEmpty())
        return sizeProblem;
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
        return VideoEncoder::notInstalledMessage();
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

int capture(const Request &request, CompanionTool &tool)
{
    const FramePlan plan(request.fps, request.fromMs, request.toMs);
    FrameRenderer renderer(request.size);
    if (!renderer.isReady())
        return tool.failToRender();
    PartialFile file(request.output);
    if (!file.create())
        return ToolOptions::fail(
            QStringLiteral("cannot write '%1': %2").arg(request.output, file.errorString()));

    VideoEncoder encoder([] { return StopSignals::caught() != 0; });
    VideoEncoder::Settings settings = request.encoding;
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
        renderer.draw(plan.clockOf(done));
        encoded = encoder.writeFrame([&](uchar *pixels) { renderer.readBack(pixels); });
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
    CompanionTool tool(
        QStringLiteral("tovek2-capture"),
        QStringLiteral("Renders the Tovek2 show frame by frame into an MP4 video (H.264 and AAC) "
                       "with \"desert.mp3\" from the current folder as its sound track; reads "
                       "\"round.png\" as the player does. Frame sides must be even. Needs the "
                       "ffmpeg program."));
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
    tool.parser().addOptions({fpsOption, outputOption, fromOption, toOption});
    const EncodingOptions encodingOptions;
    encodingOptions.addTo(tool.parser());
    if (!tool.parse(argc, argv))
        return tool.exitStatus();

    using ToolOptions::fail;
    const QCommandLineParser &parser = tool.parser();
    Request request;
    request.size = tool.size();
    request.output = parser.value(outputOption);
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
    QString problem = encodingOptions.read(parser, &request.encoding);
    if (problem.isEmpty())
        problem = checkRequest(request);
    if (!problem.isEmpty())
        return fail(problem);

    if (!tool.start(argc, argv))
        return tool.exitStatus();
    StopSignals::install();
    return capture(request, tool);
}
