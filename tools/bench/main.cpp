// tovek2-bench: where the time of a frame goes. Times every scene at a given size against
// the floor of a frame that only clears, then watches the real player for a few seconds.
#include "framerenderer.h"
#include "mainwindow.h"
#include "playbackprobe.h"
#include "timeline.h"
#include "timingsamples.h"
#include "tooloptions.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

namespace {

struct Scene
{
    const char *key;
    const char *name;
    int startMs;
    int endMs;
};

const Scene kScenes[] = {
    {"planes", "crossed planes", 0, Timeline::kSwarmStartMs},
    {"swarm", "swarm", Timeline::kSwarmStartMs, Timeline::kTumblingSwarmStartMs},
    {"tumbling", "tumbling swarm", Timeline::kTumblingSwarmStartMs, Timeline::kWaveStartMs},
    {"wave", "wave", Timeline::kWaveStartMs, Timeline::kGridStartMs},
    {"grid", "grid", Timeline::kGridStartMs, Timeline::kRingStartMs},
    {"ring", "ring", Timeline::kRingStartMs, int(Timeline::kShowEndMs)},
};

const QString kMusic = QStringLiteral("desert.mp3");

struct Settings
{
    QSize size;
    int frames = 0;
    double playSeconds = 0;
    QString onlyScene;
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

void benchPlayback(double seconds)
{
    MainWindow window;
    PlaybackProbe probe(&window);
    window.show();
    QTimer::singleShot(int(seconds * 1000), qApp, &QCoreApplication::quit);
    QApplication::exec();
    const QSize size = window.findChild<DemoPane *>()->size();
    std::printf("\nPlayback for %.1f s at %dx%d (full screen): %d position reports, %.1f a "
                "second\n",
                seconds, size.width(), size.height(), probe.reports(), probe.reportRate());
    const TimingSamples &latency = probe.reportToFrame();
    std::printf("Report arrival to frame finished: median %.2f ms, p95 %.2f ms\n", latency.median(),
                latency.percentile(95));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tovek2-bench"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Times each scene of the Tovek2 show, then plays the show for a few seconds with "
        "\"desert.mp3\" from the current folder and times its frames."));
    parser.addHelpOption();
    const QCommandLineOption sizeOption(
        QStringLiteral("size"), QStringLiteral("Frame size (default 1920x1080)."),
        QStringLiteral("WIDTHxHEIGHT"), QStringLiteral("1920x1080"));
    const QCommandLineOption framesOption(QStringLiteral("frames"),
                                          QStringLiteral("Frames timed a scene (default 60)."),
                                          QStringLiteral("N"), QStringLiteral("60"));
    const QCommandLineOption playOption(
        QStringLiteral("play-seconds"),
        QStringLiteral("Seconds of playback to watch; 0 skips it (default 5)."),
        QStringLiteral("S"), QStringLiteral("5"));
    const QCommandLineOption sceneOption(
        QStringLiteral("scene"),
        QStringLiteral("Only this scene: planes, swarm, tumbling, wave, grid or ring."),
        QStringLiteral("NAME"));
    parser.addOptions({sizeOption, framesOption, playOption, sceneOption});
    parser.process(app);

    using ToolOptions::fail;
    Settings settings;
    if (!ToolOptions::parseSize(parser.value(sizeOption), &settings.size))
        return fail(QStringLiteral("bad size '%1': expected WIDTHxHEIGHT, each side 1 to 16384")
                        .arg(parser.value(sizeOption)));
    bool ok = false;
    settings.frames = parser.value(framesOption).toInt(&ok);
    if (!ok || settings.frames < 1 || settings.frames > 100000)
        return fail(QStringLiteral("bad frame count '%1': expected 1 to 100000")
                        .arg(parser.value(framesOption)));
    settings.playSeconds = parser.value(playOption).toDouble(&ok);
    if (!ok || settings.playSeconds < 0 || settings.playSeconds > 75)
        return fail(QStringLiteral("bad playback time '%1': expected 0 to 75 seconds")
                        .arg(parser.value(playOption)));
    settings.onlyScene = parser.value(sceneOption);
    const bool knownScene =
        std::any_of(std::begin(kScenes), std::end(kScenes),
                    [&](const Scene &scene) { return settings.onlyScene == scene.key; });
    if (!settings.onlyScene.isEmpty() && !knownScene)
        return fail(QStringLiteral("unknown scene '%1'").arg(settings.onlyScene));
    if (settings.playSeconds > 0 && !QFileInfo(kMusic).isFile())
        return fail(QStringLiteral("no \"%1\" in the current folder to play (--play-seconds 0 "
                                   "skips playback)")
                        .arg(kMusic));

    {
        FrameRenderer renderer(settings.size);
        if (!renderer.isReady())
            return fail(QStringLiteral("cannot render at %1x%2 on this display")
                            .arg(settings.size.width())
                            .arg(settings.size.height()));
        benchScenes(settings, renderer);
    }
    if (settings.playSeconds > 0)
        benchPlayback(settings.playSeconds);
    return 0;
}
