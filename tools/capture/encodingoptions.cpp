#include "encodingoptions.h"

#include <QCommandLineParser>

EncodingOptions::EncodingOptions()
    : presetOption(QStringLiteral("preset"),
                   QStringLiteral("x264's speed against file size: %1 (default %2).")
                       .arg(VideoEncoder::presets().join(QStringLiteral(", ")),
                            QLatin1String(VideoEncoder::kDefaultPreset)),
                   QStringLiteral("NAME"), QLatin1String(VideoEncoder::kDefaultPreset)),
      crfOption(QStringLiteral("crf"),
                QStringLiteral("Picture quality, 0 (lossless) to %1; lower is better and "
                               "bigger (default %2).")
                    .arg(VideoEncoder::kMaxCrf)
                    .arg(VideoEncoder::kDefaultCrf),
                QStringLiteral("N"), QString::number(VideoEncoder::kDefaultCrf))
{}

void EncodingOptions::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({presetOption, crfOption});
}

QString EncodingOptions::read(const QCommandLineParser &parser,
                              VideoEncoder::Settings *settings) const
{
    settings->preset = parser.value(presetOption);
    if (!VideoEncoder::presets().contains(settings->preset))
        return QStringLiteral("bad preset '%1': expected one of %2")
            .arg(settings->preset, VideoEncoder::presets().join(QStringLiteral(", ")));
    bool ok = false;
    settings->crf = parser.value(crfOption).toInt(&ok);
    if (!ok || settings->crf < 0 || settings->crf > VideoEncoder::kMaxCrf)
        return QStringLiteral("bad crf '%1': expected a whole number from 0 to %2")
            .arg(parser.value(crfOption))
            .arg(VideoEncoder::kMaxCrf);
    return QString();
}
