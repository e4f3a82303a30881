// tovek2-bench: where the time of a frame goes. Times every scene at a given size against
// the floor of a frame that only clears, the capture against rendering alone, then watches
// the real player for a few seconds; or measures how far the player's picture is from the
// sound the desktop's sound server plays.
#include "avsyncfigures.h"
#include "clicktune.h"
#include "companiontool.h"
#include "encodingoptions.h"
#include "frameplan.h"
#include "framerenderer.h"
#include "heardclicks.h"
#include "mainwindow.h"
#include "monitorrecorder.h"
#include "playbackprobe.h"
#include "timeline.h"
#include "timingsamples.h"
#include "tooloptions.h"
#include "videoencoder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <phonon/MediaObject>

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

using Timeline::kScenes;
using Timeline::Scene;

const QString kMusic = QStringLiteral("desert.mp3");
// The capture's own default rate.
constexpr int kCaptureFps = 60;
// Music that has not started playing by then will not.
constexpr int kStartTimeoutMs = 30000;
// The opening of 2 s and some of what follows.
constexpr double kLeastAvSyncSeconds = 4;
// The click tune outlasts the playback watched.
constexpr double kClickTuneMarginSeconds = 2;

struct Settings
{
    QSize size;
    int frames = 0;
    int captureFrames = 0;
    double playSeconds = 0;
    QString onlyScene;
    // Phonon back ends to play through one after another; empty for the player's own choice.
    QStringList backEnds;
    // Only the playback, of a click tune, its picture timed against the sound heard.
    bool avSync = false;
    // Only the playback, on a screen with or without a window manager: a run for one back end.
    bool playbackOnly = false;
    bool withoutWindowManager = false;
    // The preset and crf; the rest is filled in for the capture line.
    VideoEncoder::Settings encoding;
};

template <typename DrawFrame> TimingSamples timeFrames(int frames, DrawFrame drawFrame)
{
    TimingSamples samples;
    QElapsedTimer timer;
    // The first frame pays for warming caches and compiling state: it is not counted.
    for (int frame = -1; frame < frames; ++frame) {
        timer.start();
        drawFrame(qMax(frame, 0));
        glFinish();
        if (frame >= 0)
            samples.add(timer.nsecsElapsed() / 1e6);
    }
    return samples;
}

// Clocks spread evenly over the scene, each in the middle of its share of the range.
int clockInScene(const Scene &scene, int frame, int frames)
{
    return scene.startMs + int((frame + 0.5) * (scene.endMs - scene.startMs) / frames);
}

void printHeader(const Settings &settings, const FrameRenderer &renderer)
{
    std::printf("Frame times at %dx%d, %d samples a pixel, %s, %d CPU threads\n",
                settings.size.width(), settings.size.height(), renderer.samples(),
                reinterpret_cast<const char *>(glGetString(GL_RENDERER)),
                QThread::idealThreadCount());
    std::printf("%-16s %6s %10s %10s %8s %8s\n", "scene", "frames", "median ms", "p95 ms", "fps",
                "x floor");
}

void printRow(const char *name, const TimingSamples &samples, double floorMs)
{
    const double median = samples.median();
    std::printf("%-16s %6d %10.2f %10.2f %8.1f %8.2f\n", name, samples.count(), median,
                samples.percentile(95), median > 0 ? 1000 / median : 0,
                floorMs > 0 ? median / floorMs : 0);
}

void benchScenes(const Settings &settings, FrameRenderer &renderer)
{
    printHeader(settings, renderer);
    const TimingSamples floor = timeFrames(settings.frames, [&](int) { renderer.drawCleared(); });
    const double floorMs = floor.median();
    printRow("floor (clear)", floor, floorMs);
    for (const Scene &scene : kScenes) {
        if (!settings.onlyScene.isEmpty() && settings.onlyScene != QLatin1String(scene.key))
            continue;
        const TimingSamples samples = timeFrames(settings.frames, [&](int frame) {
            renderer.draw(clockInScene(scene, frame, settings.frames));
        });
        printRow(scene.name, samples, floorMs);
    }
    std::fflush(stdout);
}

// Seconds to draw frames alone, each finished as a frame on screen would be.
double renderSeconds(FrameRenderer &renderer, const FramePlan &plan, int frames)
{
    QElapsedTimer timer;
    timer.start();
    for (int frame = 0; frame < frames; ++frame) {
        renderer.draw(plan.clockOf(frame));
        glFinish();
    }
    return timer.nsecsElapsed() / 1e9;
}

// Seconds to draw the same frames through the capture's pipeline, encoder included, the video
// thrown away; false when the encoder failed.
bool captureSeconds(FrameRenderer &renderer, const FramePlan &plan, int frames,
                    const VideoEncoder::Settings &settings, double *seconds, QString *error)
{
    QElapsedTimer timer;
    timer.start();
    VideoEncoder encoder([] { return false; });
    bool encoded = encoder.start(settings);
    for (int frame = 0; encoded && frame < frames; ++frame) {
        renderer.draw(plan.clockOf(frame));
        encoded = encoder.writeFrame([&](uchar *pixels) { renderer.readBack(pixels); });
    }
    if (!encoded || !encoder.finish()) {
        *error = encoder.errorString();
        return false;
    }
    *seconds = timer.nsecsElapsed() / 1e9;
    return true;
}

void printCaptureRow(const char *name, int frames, double rendered, double captured)
{
    std::printf("%-16s %6d %10.3f %10.3f %9.2f\n", name, frames, rendered, captured,
                captured / rendered);
    std::fflush(stdout);
}

// Each scene's first frames at the capture's rate, rendered alone and then through the
// capture; false when the encoder failed.
bool benchCapture(const Settings &settings, FrameRenderer &renderer)
{
    VideoEncoder::Settings encoding = settings.encoding;
    encoding.frameSize = settings.size;
    encoding.fps = kCaptureFps;
    std::printf("\nCapture at %d fps, preset %s, crf %d, of each scene's first frames (the video "
                "thrown away)\n",
                kCaptureFps, qPrintable(encoding.preset), encoding.crf);
    std::printf("%-16s %6s %10s %10s %9s\n", "scene", "frames", "render s", "capture s",
                "x render");
    int totalFrames = 0;
    double totalRendered = 0;
    double totalCaptured = 0;
    for (const Scene &scene : kScenes) {
        if (!settings.onlyScene.isEmpty() && settings.onlyScene != QLatin1String(scene.key))
            continue;
        const FramePlan plan(kCaptureFps, scene.startMs, scene.endMs);
        const int frames = qMin(settings.captureFrames, plan.frameCount());
        const double rendered = renderSeconds(renderer, plan, frames);
        double captured = 0;
        QString error;
        if (!captureSeconds(renderer, plan, frames, encoding, &captured, &error)) {
            ToolOptions::fail(error);
            return false;
        }
        printCaptureRow(scene.name, frames, rendered, captured);
        totalFrames += frames;
        totalRendered += rendered;
        totalCaptured += captured;
    }
    // With frames enough for every scene, the whole show.
    printCaptureRow("all", totalFrames, totalRendered, totalCaptured);
    return true;
}

// Runs the event loop for the seconds of playback, counted from when the music starts playing:
// a busy machine can take seconds to get there, and those are no playback. False when the music
// did not play.
bool playFor(Phonon::MediaObject *media, double seconds)
{
    QTimer watch;
    watch.setSingleShot(true);
    QObject::connect(&watch, &QTimer::timeout, qApp, &QCoreApplication::quit);
    bool played = false;
    auto follow = [&watch, &played, seconds](Phonon::State state) {
        if (state == Phonon::PlayingState && !played) {
            played = true;
            watch.start(int(seconds * 1000));
        } else if (state == Phonon::ErrorState) {
            QCoreApplication::quit();
        }
    };
    QObject::connect(media, &Phonon::MediaObject::stateChanged, &watch, follow);
    watch.start(kStartTimeoutMs);
    follow(media->state());
    QApplication::exec();
    return played && media->state() != Phonon::ErrorState;
}

// The samples a pixel of the frames the player draws on screen: those of the pane's window.
int samplesOnScreen(DemoPane *pane)
{
    pane->makeCurrent();
    GLint samples = 0;
    glGetIntegerv(GL_SAMPLES, &samples);
    return samples;
}

QString describeOffsets(const TimingSamples &offsets)
{
    if (offsets.count() == 0)
        return QStringLiteral("no frames");
    return QString::asprintf("median %+.0f ms, 5th..95th %+.0f..%+.0f ms", offsets.median(),
                             offsets.percentile(5), offsets.percentile(95));
}

// The picture against the sound heard on the sink's monitor; false when no clicks were heard.
bool reportAvSync(MonitorRecorder &recorder, const PlaybackProbe &probe)
{
    const SinkRecording recording = recorder.stop();
    const HeardClicks clicks(recording);
    if (clicks.clicks().size() < 2) {
        ToolOptions::fail(QStringLiteral("no clicks of the tune were heard on the monitor of "
                                         "%1's sink %2")
                              .arg(recorder.serverName(), recorder.sinkName()));
        return false;
    }
    const AvSyncFigures figures(probe, clicks);
    std::printf(
        "A/V sync through Phonon's %s back end into %s, sink %s: first 2 s %s; after "
        "that %s, the back end's reports %s; longest gap between frames %.0f ms (%.0f ms after "
        "the first second heard); %d clicks heard, the first at %d ms of the music\n",
        qPrintable(probe.backEnd()), qPrintable(recorder.serverName()),
        qPrintable(recorder.sinkName()), qPrintable(describeOffsets(figures.openingOffsets())),
        qPrintable(describeOffsets(figures.laterOffsets())),
        qPrintable(describeOffsets(figures.laterReportOffsets())), figures.longestGapMs(),
        figures.longestLaterGapMs(), int(clicks.clicks().size()), clicks.clicks().first().musicMs);
    std::fflush(stdout);
    return true;
}

bool benchPlayback(const Settings &settings)
{
    // The sink's monitor is recorded from before the music starts, so that its first click is
    // heard.
    MonitorRecorder recorder;
    const bool recording = settings.avSync && recorder.start();
    MainWindow window;
    PlaybackProbe probe(&window);
    window.show();
    // Full screen is a window manager's doing; without one the window covers the screen itself.
    if (settings.withoutWindowManager)
        window.setGeometry(window.screen()->geometry());
    auto *media = window.findChild<Phonon::MediaObject *>();
    const double seconds = settings.playSeconds;
    if (!playFor(media, seconds)) {
        const QString why =
            media->state() == Phonon::ErrorState
                ? media->errorString()
                : QStringLiteral("it did not start in %1 s").arg(kStartTimeoutMs / 1000);
        ToolOptions::fail(QStringLiteral("\"%1\" did not play: %2").arg(kMusic, why));
        return false;
    }
    DemoPane *pane = window.findChild<DemoPane *>();
    const QSize size = pane->size();
    std::printf("\nPlayback for %.1f s at %dx%d (full screen) through Phonon's %s back end: %d "
                "position reports, %.1f a second, %.1f new positions a second, %.1f carried "
                "frames a second, %.1f different pictures a second\n",
                seconds, size.width(), size.height(), qPrintable(probe.backEnd()), probe.reports(),
                probe.reportRate(), probe.newPositionRate(), probe.carriedRate(),
                probe.pictureRate());
    const TimingSamples &latency = probe.reportToFrame();
    std::printf("Report arrival to frame finished: median %.2f ms, p95 %.2f ms\n", latency.median(),
                latency.percentile(95));
    std::printf("Frames on screen drawn with %d samples a pixel\n", samplesOnScreen(pane));
    std::fflush(stdout);
    if (recording)
        return reportAvSync(recorder, probe);
    // A desktop without a sound server to record, or a server that offers no monitor, has the
    // playback measured all the same.
    if (settings.avSync)
        std::printf("A/V sync not measured: %s\n", qPrintable(recorder.errorString()));
    return true;
}

// Phonon loads one back end in a process, so each back end plays in a run of the bench of its
// own, on the same screen.
bool benchPlaybackThrough(const QString &backEnd, const Settings &settings)
{
    QProcess run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PHONON_BACKEND"), backEnd);
    run.setProcessEnvironment(environment);
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList arguments = {
        QStringLiteral("--playback-only"), QStringLiteral("--size"),
        QStringLiteral("%1x%2").arg(settings.size.width()).arg(settings.size.height()),
        QStringLiteral("--play-seconds"), QString::number(settings.playSeconds)};
    if (settings.withoutWindowManager)
        arguments << QStringLiteral("--without-window-manager");
    if (settings.avSync)
        arguments << QStringLiteral("--av-sync");
    run.start(QCoreApplication::applicationFilePath(), arguments);
    run.waitForFinished(-1);
    return run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
}

// Makes the click tune in folder and makes folder the current one, where the player looks for
// its music; false when the tune could not be made (the reason printed).
bool playClickTuneFrom(const QString &folder, double seconds)
{
    const QString problem =
        ClickTune::write(QDir(folder).filePath(kMusic), seconds + kClickTuneMarginSeconds);
    if (!problem.isEmpty()) {
        ToolOptions::fail(problem);
        return false;
    }
    return QDir::setCurrent(folder);
}

} // namespace

int main(int argc, char *argv[])
{
    CompanionTool tool(
        QStringLiteral("tovek2-bench"),
        QStringLiteral("Times each scene of the Tovek2 show and its capture to video, then plays "
                       "the show for a few seconds with \"desert.mp3\" from the current folder "
                       "and times its frames. With --av-sync it plays a click tune of its own "
                       "instead, into the desktop's sound server, records its default sink's "
                       "monitor and reports how far the picture is from the sound heard, by the "
                       "median and the 5th to 95th percentile of the offset (the frame's clock "
                       "less the music heard as it is shown) over the first 2 s from the first "
                       "click and over the rest, and the longest gap between frames."));
    const QCommandLineOption framesOption(QStringLiteral("frames"),
                                          QStringLiteral("Frames timed a scene (default 60)."),
                                          QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption captureOption(
        QStringLiteral("capture-frames"),
        QStringLiteral("Frames from each scene's start, at 60 fps, to time rendered alone and "
                       "captured; 0 skips it (default 120)."),
        QStringLiteral("N"), QStringLiteral("120"));
    const QCommandLineOption playOption(
        QStringLiteral("play-seconds"),
        QStringLiteral("Seconds of playback to watch; 0 skips it (default 5, with --av-sync 10 "
                       "and at least 4)."),
        QStringLiteral("S"), QStringLiteral("5"));
    const QCommandLineOption sceneOption(
        QStringLiteral("scene"),
        QStringLiteral("Only this scene: planes, swarm, tumbling, wave, grid or ring."),
        QStringLiteral("NAME"));
    const QCommandLineOption backEndOption(
        QStringLiteral("backend"),
        QStringLiteral("Play through this Phonon back end, named as its plugin file is without "
                       ".so (phonon_gstreamer, phonon_vlc); repeat it to compare back ends "
                       "(default: the player's own choice)."),
        QStringLiteral("NAME"));
    const QCommandLineOption avSyncOption(
        QStringLiteral("av-sync"),
        QStringLiteral("Only the playback, of a click tune the bench makes, into the sound "
                       "server's default sink: the picture's offset from the sound heard on the "
                       "sink's monitor. Without a server or monitor to record, says so and "
                       "measures the playback alone."));
    QCommandLineOption playbackOnlyOption(QStringLiteral("playback-only"));
    playbackOnlyOption.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption withoutWindowManagerOption(QStringLiteral("without-window-manager"));
    withoutWindowManagerOption.setFlags(QCommandLineOption::HiddenFromHelp);
    tool.parser().addOptions({framesOption, captureOption, playOption, sceneOption, backEndOption,
                              avSyncOption, playbackOnlyOption, withoutWindowManagerOption});
    const EncodingOptions encodingOptions;
    encodingOptions.addTo(tool.parser());
    if (!tool.parse(argc, argv))
        return tool.exitStatus();

    using ToolOptions::fail;
    const QCommandLineParser &parser = tool.parser();
    Settings settings;
    settings.size = tool.size();
    bool ok = false;
    settings.frames = parser.value(framesOption).toInt(&ok);
    if (!ok || settings.frames < 1 || settings.frames > 100000)
        return fail(QStringLiteral("bad frame count '%1': expected 1 to 100000")
                        .arg(parser.value(framesOption)));
    settings.captureFrames = parser.value(captureOption).toInt(&ok);
    if (!ok || settings.captureFrames < 0 || settings.captureFrames > 100000)
        return fail(QStringLiteral("bad capture frame count '%1': expected 0 to 100000")
                        .arg(parser.value(captureOption)));
    settings.avSync = parser.isSet(avSyncOption);
    const QString playText = settings.avSync && !parser.isSet(playOption)
                                 ? QStringLiteral("10")
                                 : parser.value(playOption);
    settings.playSeconds = playText.toDouble(&ok);
    if (!ok || settings.playSeconds < 0 || settings.playSeconds > 75)
        return fail(
            QStringLiteral("bad playback time '%1': expected 0 to 75 seconds").arg(playText));
    if (settings.avSync && settings.playSeconds < kLeastAvSyncSeconds)
        return fail(QStringLiteral("bad playback time '%1': --av-sync needs at least %2 seconds")
                        .arg(playText)
                        .arg(kLeastAvSyncSeconds));
    settings.onlyScene = parser.value(sceneOption);
    settings.backEnds = parser.values(backEndOption);
    settings.playbackOnly = parser.isSet(playbackOnlyOption);
    const bool knownScene =
        std::any_of(std::begin(kScenes), std::end(kScenes),
                    [&](const Scene &scene) { return settings.onlyScene == scene.key; });
    if (!settings.onlyScene.isEmpty() && !knownScene)
        return fail(QStringLiteral("unknown scene '%1'").arg(settings.onlyScene));
    const QString encodingProblem = encodingOptions.read(parser, &settings.encoding);
    if (!encodingProblem.isEmpty())
        return fail(encodingProblem);
    if (settings.captureFrames > 0 && !settings.avSync) {
        const QString problem = VideoEncoder::isInstalled() ? VideoEncoder::checkSize(settings.size)
                                                            : VideoEncoder::notInstalledMessage();
        if (!problem.isEmpty())
            return fail(problem + QStringLiteral(" (--capture-frames 0 skips the capture)"));
    }
    if (settings.playSeconds > 0 && !settings.avSync && !QFileInfo(kMusic).isFile())
        return fail(QStringLiteral("no \"%1\" in the current folder to play (--play-seconds 0 "
                                   "skips playback)")
                        .arg(kMusic));

    // The run for each back end plays the tune its parent made.
    std::optional<QTemporaryDir> tuneFolder;
    if (settings.avSync && !settings.playbackOnly) {
        tuneFolder.emplace();
        if (!playClickTuneFrom(tuneFolder->path(), settings.playSeconds))
            return 1;
    }

    if (!tool.start(argc, argv))
        return tool.exitStatus();
    settings.withoutWindowManager =
        tool.onPrivateScreen() || parser.isSet(withoutWindowManagerOption);
    if (!settings.playbackOnly && !settings.avSync) {
        FrameRenderer renderer(settings.size);
        if (!renderer.isReady())
            return tool.failToRender();
        benchScenes(settings, renderer);
        if (settings.captureFrames > 0 && !benchCapture(settings, renderer))
            return 1;
    }
    if (settings.playSeconds == 0)
        return 0;
    if (settings.backEnds.isEmpty())
        return benchPlayback(settings) ? 0 : 1;
    for (const QString &backEnd : settings.backEnds) {
        if (!benchPlaybackThrough(backEnd, settings))
            return 1;
    }
    return 0;
}
