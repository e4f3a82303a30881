#include "videoencoder.h"
#include "pipewriter.h"

#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral("ffmpeg");
// How often a wait on the encoder looks for a request to stop.
constexpr int kPollMs = 100;
constexpr int kStartTimeoutMs = 10000;
// The frame being written and the next one: enough to keep ffmpeg fed, little memory.
constexpr int kQueuedFrames = 2;

QString number(double value)
{
    return QString::number(value, 'f', 6);
}

QStringList musicInput(const VideoEncoder::Settings &settings)
{
    return {QStringLiteral("-ss"), number(settings.musicStartSeconds),
            QStringLiteral("-t"),  number(settings.durationSeconds),
            QStringLiteral("-i"),  settings.musicPath};
}

QStringList frameInput(const VideoEncoder::Settings &settings)
{
    const QString size =
        QStringLiteral("%1x%2").arg(settings.frameSize.width()).arg(settings.frameSize.height());
    return {QStringLiteral("-f"),         QStringLiteral("rawvideo"),    QStringLiteral("-pix_fmt"),
            QStringLiteral("bgr0"),       QStringLiteral("-video_size"), size,
            QStringLiteral("-framerate"), QString::number(settings.fps), QStringLiteral("-i"),
            QStringLiteral("pipe:0")};
}

// HD players assume BT.709 colours, so the video is converted and tagged so. The frames come
// bottom row first, as OpenGL reads them; vflip turns them over without copying.
QStringList videoOutput(const VideoEncoder::Settings &settings)
{
    return {QStringLiteral("-vf"),
            QStringLiteral("vflip,scale=out_color_matrix=bt709:out_range=tv"),
            QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-preset"),
            settings.preset,
            QStringLiteral("-crf"),
            QString::number(settings.crf),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),
            QStringLiteral("-colorspace"),
            QStringLiteral("bt709"),
            QStringLiteral("-color_primaries"),
            QStringLiteral("bt709"),
            QStringLiteral("-color_trc"),
            QStringLiteral("bt709"),
            QStringLiteral("-color_range"),
            QStringLiteral("tv")};
}

} // namespace

VideoEncoder::VideoEncoder(std::function<bool()> stopRequested)
    : stopRequested(std::move(stopRequested))
{
    process.setStandardOutputFile(QProcess::nullDevice());
}

VideoEncoder::~VideoEncoder()
{
    stop();
}

bool VideoEncoder::isInstalled()
{
    return !QStandardPaths::findExecutable(kProgram).isEmpty();
}

QString VideoEncoder::notInstalledMessage()
{
    return QStringLiteral("ffmpeg not found: install it (Debian package ffmpeg)");
}

QString VideoEncoder::checkSize(const QSize &size)
{
    // yuv420p keeps one colour sample for every two by two pixels.
    if (size.width() % 2 || size.height() % 2)
        return QStringLiteral("bad size %1x%2: the video needs even sides")
            .arg(size.width())
            .arg(size.height());
    return QString();
}

const QStringList &VideoEncoder::presets()
{
    static const QStringList names = {
        QStringLiteral("ultrafast"), QStringLiteral("superfast"), QStringLiteral("veryfast"),
        QStringLiteral("faster"),    QStringLiteral("fast"),      QStringLiteral("medium"),
        QStringLiteral("slow"),      QStringLiteral("slower"),    QStringLiteral("veryslow")};
    return names;
}

QStringList VideoEncoder::arguments(const Settings &settings)
{
    // The music comes first so that an unreadable file stops the encoder before any frame is
    // drawn for it.
    const bool withMusic = !settings.musicPath.isEmpty();
    QStringList list = {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                        QStringLiteral("error"), QStringLiteral("-y")};
    if (withMusic)
        list << musicInput(settings);
    list << frameInput(settings) << QStringLiteral("-map")
         << (withMusic ? QStringLiteral("1:v:0") : QStringLiteral("0:v:0"));
    if (withMusic)
        list << QStringLiteral("-map") << QStringLiteral("0:a:0");
    list << videoOutput(settings);
    if (withMusic)
        list << QStringLiteral("-c:a") << QStringLiteral("aac") << QStringLiteral("-b:a")
             << QStringLiteral("192k");
    if (settings.outputPath.isEmpty())
        return list << QStringLiteral("-f") << QStringLiteral("null") << QStringLiteral("-");
    return list << QStringLiteral("-movflags") << QStringLiteral("+faststart")
                << QStringLiteral("-f") << QStringLiteral("mp4") << settings.outputPath;
}

bool VideoEncoder::start(const Settings &settings)
{
    if (!messages.open()) {
        error = QStringLiteral("cannot keep ffmpeg's messages: ") + messages.errorString();
        return false;
    }
    int frames[2];
    if (pipe2(frames, O_CLOEXEC) != 0) {
        error = QStringLiteral("cannot make a pipe to ffmpeg: ") +
                QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // ffmpeg's standard input is the read end of our own pipe, whose write end the writer
    // thread owns; QProcess opens the read end afresh for the child and closes its copy.
    process.setStandardInputFile(QStringLiteral("/proc/self/fd/%1").arg(frames[0]));
    process.setStandardErrorFile(messages.fileName());
    process.start(kProgram, arguments(settings));
    const bool started = process.waitForStarted(kStartTimeoutMs);
    ::close(frames[0]);
    if (!started) {
        ::close(frames[1]);
        error = QStringLiteral("cannot start ffmpeg: ") + process.errorString();
        return false;
    }
    frameBytes = settings.frameSize.width() * settings.frameSize.height() * 4;
    writer = std::make_unique<PipeWriter>(frames[1], kQueuedFrames);
    return true;
}

bool VideoEncoder::writeFrame(const std::function<void(uchar *)> &fill)
{
    if (!waitUntil([this] { return writer->waitForRoom(kPollMs); }))
        return false;
    QByteArray frame = writer->takeSpare();
    frame.resize(frameBytes);
    fill(reinterpret_cast<uchar *>(frame.data()));
    writer->write(std::move(frame));
    return true;
}

bool VideoEncoder::finish()
{
    writer->closeInput();
    if (!waitUntil([this] { return writer->waitForClosed(kPollMs); }) || !waitForExit())
        return false;
    if (writer->hasFailed() || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return failWithEncoderMessage();
    return true;
}

bool VideoEncoder::waitUntil(const std::function<bool()> &done)
{
    while (!done()) {
        if (stopRequested())
            return stopNow();
        // The writer fails when ffmpeg no longer reads: it has ended or is ending.
        if (writer->hasFailed())
            return failWithEncoderMessage();
    }
    return true;
}

bool VideoEncoder::waitForExit()
{
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(kPollMs)) {
        if (stopRequested())
            return stopNow();
    }
    return true;
}

bool VideoEncoder::failWithEncoderMessage()
{
    if (!waitForExit())
        return false;
    messages.seek(0);
    const QStringList lines =
        QString::fromLocal8Bit(messages.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString detail = lines.isEmpty() ? QString() : QStringLiteral(": ") + lines.last();
    if (process.exitStatus() == QProcess::CrashExit)
        error = QStringLiteral("ffmpeg crashed") + detail;
    else if (process.exitCode() == 0)
        error = QStringLiteral("ffmpeg stopped reading frames early") + detail;
    else
        error = QStringLiteral("ffmpeg failed (exit status %1)").arg(process.exitCode()) + detail;
    return false;
}

bool VideoEncoder::stopNow()
{
    stop();
    error = QStringLiteral("stopped");
    return false;
}

void VideoEncoder::stop()
{
    // Killed and reaped before the caller removes its file, so nothing writes it afterwards;
    // the writer thread's last write then fails and it ends.
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
    }
    writer.reset();
}
