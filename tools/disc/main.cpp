// tovek2-disc: draws the default texture picture, a soft white disc whose outside is fully
// transparent, so the scenes cut it out of their planes, tiles and fins.
#include "tooloptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QRadialGradient>

namespace {

QImage softDisc(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const QPointF centre(side / 2.0, side / 2.0);
    const qreal radius = side / 2.0;
    QRadialGradient glow(centre, radius);
    glow.setColorAt(0.0, QColor(255, 255, 255, 255));
    glow.setColorAt(0.55, QColor(255, 244, 224, 255));
    glow.setColorAt(0.8, QColor(255, 226, 190, 160));
    glow.setColorAt(1.0, QColor(255, 210, 160, 0));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(glow);
    painter.drawEllipse(centre, radius, radius);
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tovek2-disc"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOVEK2_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws Tovek2's default texture picture."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption sizeOption(QStringLiteral("size"),
                                        QStringLiteral("Side of the square picture (default 256)."),
                                        QStringLiteral("PIXELS"), QStringLiteral("256"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("File to write (default round.png)."),
                                          QStringLiteral("FILE"), QStringLiteral("round.png"));
    parser.addOptions({sizeOption, outputOption});
    parser.process(app);

    bool ok = false;
    const int side = parser.value(sizeOption).toInt(&ok);
    if (!ok || side < 4 || side > 8192)
        return ToolOptions::fail(QStringLiteral("bad size '%1': expected 4 to 8192 pixels")
                                     .arg(parser.value(sizeOption)));
    const QString output = parser.value(outputOption);
    if (!softDisc(side).save(output, "PNG"))
        return ToolOptions::fail(QStringLiteral("cannot write '%1'").arg(output));
    return 0;
}
