// tovek2-fuzz-seeds: writes the fuzz targets' starting corpus into a folder: well-formed
// paletted pictures of several sizes, the unit suites' paletted files with edge-case headers
// and data, their JPEGs claiming sizes, and a small picture in every format Qt can write.
#include "pcxfile.h"
#include "testmedia.h"

#include <QBuffer>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QImageWriter>

#include <cstdio>

namespace {

// An indexed picture whose rows hold runs of several lengths, index 255 (the transparent
// one) and indices from 0xC0 up, which the coding must write as runs.
QImage patternPicture(int width, int height)
{
    QImage picture(width, height, QImage::Format_Indexed8);
    picture.setColorCount(256);
    for (int index = 0; index < 256; ++index)
        picture.setColor(index, qRgb(index, 255 - index, (index * 7) & 0xFF));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, (x / 3 + y * 5) % 256);
    return picture;
}

PcxFile withData(PcxFile file, const QByteArray &data)
{
    file.setData(data);
    return file;
}

PcxFile sized(int width, int height, const QByteArray &data)
{
    PcxFile file;
    file.setSize(width, height);
    file.setData(data);
    return file;
}

struct Seed
{
    QString name;
    QByteArray bytes;
};

QVector<Seed> palettedSeeds()
{
    QVector<Seed> seeds;
    for (const QSize size :
         {QSize(1, 1), QSize(3, 2), QSize(16, 16), QSize(64, 48), QSize(200, 1), QSize(1, 100)})
        seeds.append({QStringLiteral("pcx-%1x%2").arg(size.width()).arg(size.height()),
                      PcxFile::fromImage(patternPicture(size.width(), size.height())).bytes()});

    // One run crossing the row ends of a 5 x 4 picture, and a run longer than the picture.
    seeds.append({QStringLiteral("pcx-run-across-rows"),
                  sized(5, 4, QByteArray("\xCC\x07\xC8\x09", 4)).bytes()});
    seeds.append(
        {QStringLiteral("pcx-run-past-the-end"), sized(2, 2, QByteArray("\xFF\x2A", 2)).bytes()});
    // An empty run, a run without its value byte and data that ends early.
    seeds.append(
        {QStringLiteral("pcx-empty-run"), sized(2, 1, QByteArray("\xC0\x05\x01\x02", 4)).bytes()});
    seeds.append(
        {QStringLiteral("pcx-run-missing-value"), sized(4, 1, QByteArray("\x01\xC3", 2)).bytes()});
    seeds.append({QStringLiteral("pcx-short-data"), sized(32, 32, QByteArray(10, '\x03')).bytes()});
    // Empty pictures and the largest sides, with almost no data.
    seeds.append({QStringLiteral("pcx-no-width"), sized(0, 4, QByteArray(1, '\x00')).bytes()});
    seeds.append({QStringLiteral("pcx-no-height"), sized(4, 0, QByteArray(1, '\x00')).bytes()});
    // The widest side, in as many pixels as the fuzz targets read.
    seeds.append(
        {QStringLiteral("pcx-8192x16"), sized(8192, 16, QByteArray("\xFF\x11", 2)).bytes()});
    seeds.append({QStringLiteral("pcx-8193-wide"), sized(8193, 1, QByteArray(1, '\x00')).bytes()});
    seeds.append(
        {QStringLiteral("pcx-longest-run"), sized(8, 8, QByteArray("\xFF\x2A\x11", 3)).bytes()});

    // Windows and fields that the size does not come from.
    PcxFile inverted;
    inverted.setWindow(10, 0, 2, 0);
    seeds.append({QStringLiteral("pcx-inverted-window"), inverted.bytes()});
    PcxFile offOrigin;
    offOrigin.setWindow(10, 20, 8201, 22);
    seeds.append({QStringLiteral("pcx-window-off-origin"), offOrigin.bytes()});
    PcxFile highWords;
    highWords.setWindow(0x7FF8, 0xFFFE, 0x8007, 0xFFFF);
    seeds.append({QStringLiteral("pcx-window-high-words"), highWords.bytes()});
    PcxFile unreadFields;
    unreadFields.setSize(4, 2);
    unreadFields.setResolution(9000, 9000);
    for (int offset = 16; offset < 64; ++offset)
        unreadFields.setHeaderByte(offset, 0xFF);
    for (int offset = 66; offset < PcxFile::kHeaderSize; ++offset)
        unreadFields.setHeaderByte(offset, 0xAB);
    seeds.append({QStringLiteral("pcx-unread-fields"), unreadFields.bytes()});

    // Header bytes one off from what the reader accepts.
    PcxFile version;
    version.setVersion(4);
    seeds.append({QStringLiteral("pcx-version-4"), version.bytes()});
    PcxFile planes;
    planes.setPlanes(3);
    seeds.append({QStringLiteral("pcx-three-planes"), planes.bytes()});
    PcxFile marker;
    marker.setMarker(0x00);
    seeds.append({QStringLiteral("pcx-other-marker"), marker.bytes()});

    // The shortest accepted file and one byte less.
    const QByteArray shortest = withData(PcxFile(), QByteArray()).bytes();
    seeds.append({QStringLiteral("pcx-897-bytes"), shortest});
    seeds.append({QStringLiteral("pcx-896-bytes"), shortest.left(shortest.size() - 1)});
    seeds.append({QStringLiteral("pcx-header-only"), shortest.left(PcxFile::kHeaderSize)});
    return seeds;
}

QVector<Seed> writtenSeeds()
{
    QImage picture(5, 3, QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgba(40 * x, 80 * y, 200, x == 0 ? 0 : 255));
    // A JPEG of 8 x 8 pixels claiming a size Qt decodes, and one claiming more than a texture
    // holds.
    QVector<Seed> seeds = {
        {QStringLiteral("jpeg-claiming-64x64"), TestMedia::jpegClaiming(64, 64)},
        {QStringLiteral("jpeg-claiming-65000x65000"), TestMedia::jpegClaiming(65000, 65000)}};
    for (const QByteArray &format : QImageWriter::supportedImageFormats()) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (QImageWriter(&buffer, format).write(picture))
            seeds.append({QStringLiteral("written-") + QString::fromLatin1(format), bytes});
    }
    return seeds;
}

bool writeSeed(const QDir &folder, const Seed &seed)
{
    QFile file(folder.filePath(seed.name));
    return file.open(QIODevice::WriteOnly) && file.write(seed.bytes) == seed.bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    // Qt finds its image format plugins through the application object; no screen is needed.
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tovek2-fuzz-seeds"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes the starting corpus of the picture fuzzer into FOLDER."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("Where the seeds go."));
    parser.process(application);
    if (parser.positionalArguments().size() != 1) {
        std::fprintf(stderr, "tovek2-fuzz-seeds: give exactly one FOLDER\n");
        return 1;
    }

    const QDir folder(parser.positionalArguments().constFirst());
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "tovek2-fuzz-seeds: cannot make '%s'\n", qPrintable(folder.path()));
        return 1;
    }
    for (const Seed &seed : palettedSeeds() + writtenSeeds()) {
        if (!writeSeed(folder, seed)) {
            std::fprintf(stderr, "tovek2-fuzz-seeds: cannot write '%s'\n",
                         qPrintable(folder.filePath(seed.name)));
            return 1;
        }
    }
    return 0;
}
