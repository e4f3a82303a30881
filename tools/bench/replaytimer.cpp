#include "replaytimer.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

constexpr int kToolTimeoutMs = 600000;

} // namespace

ReplayTimer::ReplayTimer(const QSize &size, int frames) : size(size), frames(frames) {}

bool ReplayTimer::isAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("apitrace")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("glretrace")).isEmpty();
}

double ReplayTimer::meanFrameMs(const QString &scene)
{
    QTemporaryDir folder;
    const QString whole = folder.filePath(QStringLiteral("scene.trace"));
    const QString untimed = folder.filePath(QStringLiteral("untimed.trace"));
    // The recording opens with the set-up, the floor's frames and the scene's untimed frame:
    // replayed alone, they cost what the whole replay costs less the scene's timed frames.
    QByteArray output;
    if (!record(scene, whole) ||
        !run(QStringLiteral("apitrace"),
             {QStringLiteral("trim"), QStringLiteral("--frames=0-%1").arg(frames + 1),
              QStringLiteral("--output"), untimed, whole},
             &output))
        return 0;
    const double wholeSeconds = replaySeconds(whole);
    const double untimedSeconds = replaySeconds(untimed);
    if (wholeSeconds <= 0 || untimedSeconds <= 0)
        return 0;
    return (wholeSeconds - untimedSeconds) * 1000 / frames;
}

bool ReplayTimer::record(const QString &scene, const QString &trace)
{
    QByteArray output;
    return run(QStringLiteral("apitrace"),
               {QStringLiteral("trace"), QStringLiteral("--output"), trace,
                QCoreApplication::applicationFilePath(), QStringLiteral("--size"),
                QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
                QStringLiteral("--frames"), QString::number(frames), QStringLiteral("--scene"),
                scene, QStringLiteral("--play-seconds"), QStringLiteral("0"),
                QStringLiteral("--mark-frames")},
               &output);
}

double ReplayTimer::replaySeconds(const QString &trace)
{
    // "Rendered 122 frames in 6.43 secs, average of 18.97 fps"
    static const QRegularExpression summary(
        QStringLiteral("Rendered \\d+ frames in ([0-9.]+) secs"));
    QByteArray output;
    if (!run(QStringLiteral("glretrace"), {QStringLiteral("--benchmark"), trace}, &output))
        return 0;
    const QRegularExpressionMatch match = summary.match(QString::fromLocal8Bit(output));
    if (!match.hasMatch()) {
        error = QStringLiteral("no timing in glretrace's output");
        return 0;
    }
    return match.captured(1).toDouble();
}

bool ReplayTimer::run(const QString &program, const QStringList &arguments, QByteArray *output)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(kToolTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        error = QStringLiteral("%1 did not finish").arg(program);
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QStringList lines = QString::fromLocal8Bit(process.readAllStandardError())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        error = QStringLiteral("%1 failed: %2").arg(program, lines.value(lines.size() - 1));
        return false;
    }
    *output = process.readAllStandardOutput();
    return true;
}
