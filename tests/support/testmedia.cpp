#include "testmedia.h"

#include <QProcess>
#include <QtGlobal>

#include <cmath>
#include <cstdlib>

namespace TestMedia {

bool writeTune(const QString &path, double seconds)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
               QStringLiteral("-c"), QStringLiteral("2"), path, QStringLiteral("synth"),
               QString::number(seconds), QStringLiteral("sine"), QStringLiteral("220"),
               QStringLiteral("sine"), QStringLiteral("330"), QStringLiteral("gain"),
               QStringLiteral("-12")});
    if (!sox.waitForFinished(120000) || sox.exitStatus() != QProcess::NormalExit ||
        sox.exitCode() != 0) {
        qWarning("sox failed: %s", sox.readAllStandardError().constData());
        return false;
    }
    return true;
}

bool writeUniformPicture(const QString &path, QRgb colour, int side)
{
    QImage picture(side, side, QImage::Format_ARGB32);
    picture.fill(colour);
    return picture.save(path, "PNG");
}

QRgb storedColour(float red, float green, float blue)
{
    const auto level = [](float c) { return int(std::lround(c * 255.0f)); };
    return qRgb(level(red), level(green), level(blue));
}

bool closeColours(QRgb actual, QRgb expected, int tolerance)
{
    return std::abs(qRed(actual) - qRed(expected)) <= tolerance &&
           std::abs(qGreen(actual) - qGreen(expected)) <= tolerance &&
           std::abs(qBlue(actual) - qBlue(expected)) <= tolerance;
}

QString describe(QRgb colour)
{
    return QColor(colour).name();
}

} // namespace TestMedia
