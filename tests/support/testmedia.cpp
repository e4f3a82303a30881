#include "testmedia.h"

#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
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

bool writeShow(const QString &folder, double tuneSeconds)
{
    const QDir show(folder);
    return (tuneSeconds <= 0 ||
            writeTune(show.filePath(QStringLiteral("desert.mp3")), tuneSeconds)) &&
           writeUniformPicture(show.filePath(QStringLiteral("round.png")), 0);
}

bool writeMovingShow(const QString &folder)
{
    return writeShow(folder, 20) &&
           ringedDisc(QColor(40, 200, 90, 220), QColor(250, 60, 20, 0), QPointF(32, 32), 30, 30)
               .save(QDir(folder).filePath(QStringLiteral("round.png")));
}

QImage ringedDisc(const QColor &middle, const QColor &edge, QPointF centre, double radiusX,
                  double radiusY)
{
    QImage picture(64, 64, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    QRadialGradient gradient(QPointF(32, 32), 32);
    gradient.setColorAt(0, QColor(255, 255, 255, 255));
    gradient.setColorAt(0.5, middle);
    gradient.setColorAt(1, edge);
    QPainter painter(&picture);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(centre, radiusX, radiusY);
    return picture;
}

QByteArray jpegClaiming(quint16 width, quint16 height)
{
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(0xFF3366CC);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG");
    // The baseline frame header: marker, length, sample precision, then height and width.
    const int frame = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    if (frame < 0)
        return QByteArray();
    bytes[frame + 5] = char(height >> 8);
    bytes[frame + 6] = char(height & 0xFF);
    bytes[frame + 7] = char(width >> 8);
    bytes[frame + 8] = char(width & 0xFF);
    return bytes;
}

QPair<int, int> bandRows(const QImage &image, int x, QRgb colour)
{
    int first = -1;
    int rows = 0;
    for (int fromBottom = 0; fromBottom < image.height(); ++fromBottom) {
        if (closeColours(image.pixel(x, image.height() - 1 - fromBottom), colour)) {
            if (first < 0)
                first = fromBottom;
            ++rows;
        }
    }
    return {first, rows};
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
