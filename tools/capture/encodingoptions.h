#ifndef ENCODINGOPTIONS_H
#define ENCODINGOPTIONS_H

#include "videoencoder.h"

#include <QCommandLineOption>

class QCommandLineParser;

// The encoder's --preset and --crf, for every tool that encodes the show.
class EncodingOptions
{
public:
    EncodingOptions();

    void addTo(QCommandLineParser &parser) const;
    // Puts both into settings; the first one that is wrong as a message, or an empty string.
    QString read(const QCommandLineParser &parser, VideoEncoder::Settings *settings) const;

private:
    QCommandLineOption presetOption;
    QCommandLineOption crfOption;
};

#endif
