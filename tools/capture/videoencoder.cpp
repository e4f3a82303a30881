#include "videoencoder.h"

#include <QImage>
#include <QStandardPaths>

namespace {

const QString kProgram = QStringLiteral("ffmpeg");
// How often a wait on the encoder looks for a request to stop.
constexpr int kPollMs = 100;
constexpr int kStartTimeoutMs = 10000;

QString number(double value)
{
    return QString::number(value, 'f', 6);
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

QStringList VideoEncoder::arguments(const Settings &settings)
{
    const QString size =
        QStringLiteral("%1x%2").arg(settings.frameSize.width()).arg(settings.frameSize.height());
    // The music comes first so that an unreadable file stops the encoder before any frame is
    // drawn for it. HD players assume BT.709 colours, so the video is converted and tagged so.
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-loglevel"),
            QStringLiteral("error"),
            QStringLiteral("-y"),
            QStringLiteral("-ss"),
            number(settings.musicStartSeconds),
            QStringLiteral("-t"),
            number(settings.durationSeconds),
            QStringLiteral("-i"),
            settings.musicPath,
            QStringLiteral("-f"),
            QStringLiteral("rawvideo"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("rgb0"),
            QStringLiteral("-video_size"),
            size,
            QStringLiteral("-framerate"),
            QString::number(settings.fps),
            QStringLiteral("-i"),
            QStringLiteral("pipe:0"),
            QStringLiteral("-map"),
            QStringLiteral("1:v:0"),
            QStringLiteral("-map"),
            QStringLiteral("0:a:0"),
            QStringLiteral("-vf"),
            QStringLiteral("scale=out_color_matrix=bt709:out_range=tv"),
            QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-preset"),
            QStringLiteral("medium"),
            QStringLiteral("-crf"),
            QStringLiteral("18"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),
            QStringLiteral("-colorspace"),
            QStringLiteral("bt709"),
            QStringLiteral("-color_primaries"),
            QStringLiteral("bt709"),
            QStringLiteral("-color_trc"),
            QStringLiteral("bt709"),
            QStringLiteral("-color_range"),
            QStringLiteral("tv"),
            QStringLiteral("-c:a"),
            QStringLiteral("aac"),
            QStringLiteral("-b:a"),
            QStringLiteral("192k"),
            QStringLiteral("-movflags"),
            QStringLiteral("+faststart"),
            QStringLiteral("-f"),
            QStringLiteral("mp4"),
            settings.outputPath};
}

bool VideoEncoder::start(const Settings &settings)
{
    process.start(kProgram, arguments(settings));
    if (!process.waitForStarted(kStartTimeoutMs)) {
        error = QStringLiteral("cannot start ffmpeg: ") + process.errorString();
        return false;
    }
    return true;
}

bool VideoEncoder::writeFrame(const QImage &frame)
{
    // Four bytes a pixel in memory order R, G, B, unused: rows need no padding.
    const QImage rgbx = frame.convertToFormat(QImage::Format_RGBX8888);
    process.write(reinterpret_cast<const char *>(rgbx.constBits()), rgbx.sizeInBytes());
    // The pipe is the only buffer: waiting here keeps at most one frame in memory.
    return waitWhileRunning([this] { return process.bytesToWrite() > 0; });
}

bool VideoEncoder::finish()
{
    process.closeWriteChannel();
    if (!waitWhileRunning([this] { return process.state() != QProcess::NotRunning; }))
        return false;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return failWithEncoderMessage();
    return true;
}

bool VideoEncoder::waitWhileRunning(const std::function<bool()> &busy)
{
    while (busy()) {
        if (stopRequested()) {
            stop();
            error = QStringLiteral("stopped");
            return false;
        }
        if (process.state() == QProcess::NotRunning)
            return failWithEncoderMessage();
        if (process.bytesToWrite() > 0)
            process.waitForBytesWritten(kPollMs);
        else
            process.waitForFinished(kPollMs);
    }
    return true;
}

bool VideoEncoder::failWithEncoderMessage()
{
    const QStringList lines = QString::fromLocal8Bit(process.readAllStandardError())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString detail = lines.isEmpty() ? QString() : QStringLiteral(": ") + lines.last();
    if (process.exitStatus() == QProcess::CrashExit)
        error = QStringLiteral("ffmpeg crashed") + detail;
    else if (process.exitCode() == 0)
        error = QStringLiteral("ffmpeg stopped reading frames early") + detail;
    else
        error = QStringLiteral("ffmpeg failed (exit status %1)").arg(process.exitCode()) + detail;
    return false;
}

void VideoEncoder::stop()
{
    // Killed and reaped before the caller removes its file, so nothing writes it afterwards.
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
    }
}
