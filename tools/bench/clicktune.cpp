#include "clicktune.h"

#include <QProcess>
#include <QVector>

#include <cmath>

namespace {

constexpr int kRate = 44100;
constexpr int kShortestClickMs = 10;
constexpr double kToneHz = 1000;
constexpr double kAmplitude = 0.5 * 32767;
// A click this much longer or shorter than the nearest length is no click of the tune.
constexpr double kLengthToleranceMs = 4;
// An MP3 decoder's first samples are LAME's encoder delay (576) and the synthesis filter's
// (529). sox writes no LAME tag that would let a decoder trim them, so GStreamer's and VLC's
// decoders, as ffmpeg's, play them: the clicks are written that much early, and decoded they
// start where clickMs() says.
constexpr int kMp3DelaySamples = 576 + 529;

int lengthMs(int index)
{
    return kShortestClickMs * (index % ClickTune::kCycle + 1);
}

// Stereo 16-bit samples, both channels alike.
QByteArray samplesOf(double seconds)
{
    QVector<qint16> samples(int(seconds * kRate) * 2);
    for (int index = 0;; ++index) {
        const int start =
            int(std::lround(ClickTune::clickMs(index) * kRate / 1000.0)) - kMp3DelaySamples;
        const int length = lengthMs(index) * kRate / 1000;
        if (2 * (start + length) > samples.size())
            break;
        for (int sample = 0; sample < length; ++sample) {
            const double phase = 2 * M_PI * kToneHz * sample / kRate;
            const auto value = qint16(std::lround(kAmplitude * std::sin(phase)));
            samples[2 * (start + sample)] = value;
            samples[2 * (start + sample) + 1] = value;
        }
    }
    return QByteArray(reinterpret_cast<const char *>(samples.constData()),
                      int(samples.size() * sizeof(qint16)));
}

} // namespace

namespace ClickTune {

QString write(const QString &path, double seconds)
{
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {QStringLiteral("-t"), QStringLiteral("raw"), QStringLiteral("-r"),
               QString::number(kRate), QStringLiteral("-e"), QStringLiteral("signed"),
               QStringLiteral("-b"), QStringLiteral("16"), QStringLiteral("-c"),
               QStringLiteral("2"), QStringLiteral("-L"), QStringLiteral("-"), QStringLiteral("-C"),
               QStringLiteral("192"), path});
    if (!sox.waitForStarted())
        return QStringLiteral("cannot run sox to make the click tune: install the Debian "
                              "packages sox and libsox-fmt-mp3");
    sox.write(samplesOf(seconds));
    sox.closeWriteChannel();
    if (!sox.waitForFinished(-1) || sox.exitStatus() != QProcess::NormalExit || sox.exitCode() != 0)
        return QStringLiteral("sox could not make the click tune: %1")
            .arg(QString::fromLocal8Bit(sox.readAllStandardError()).trimmed());
    return QString();
}

int clickMs(int index)
{
    return kFirstClickMs + index * kClickIntervalMs;
}

int placeOfLength(double lengthMs)
{
    const int place = int(std::lround(lengthMs / kShortestClickMs)) - 1;
    if (place < 0 || place >= kCycle ||
        std::abs(lengthMs - kShortestClickMs * (place + 1)) > kLengthToleranceMs)
        return -1;
    return place;
}

} // namespace ClickTune
