#include "pcxfile.h"
#include "texture.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

Q_DECLARE_METATYPE(PcxFile)

namespace {

constexpr qint64 kLargestFile = 5242879;
constexpr int kTrailerSize = 1 + PcxFile::kPaletteSize;
constexpr int kSmallestFile = PcxFile::kHeaderSize + kTrailerSize;

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

// A 1 x 1 picture padded with zero data bytes to a whole file of exactly size bytes.
PcxFile fileOfSize(qint64 size)
{
    PcxFile file;
    file.setData(QByteArray(int(size - kSmallestFile), '\0'));
    return file;
}

PcxFile withHeaderByte(int offset, quint8 value)
{
    PcxFile file;
    file.setHeaderByte(offset, value);
    return file;
}

PcxFile withWindow(quint16 xMin, quint16 yMin, quint16 xMax, quint16 yMax)
{
    PcxFile file;
    file.setWindow(xMin, yMin, xMax, yMax);
    return file;
}

PcxFile withSize(int width, int height)
{
    PcxFile file;
    file.setSize(width, height);
    return file;
}

// Each index's colour differs from every other index's in all three channels' mix.
QRgb paletteColour(int index)
{
    return qRgb(index, 255 - index, (index * 7 + 3) & 0xFF);
}

QVector<QRgb> distinctPalette()
{
    QVector<QRgb> colours;
    for (int index = 0; index < 256; ++index)
        colours.append(paletteColour(index));
    return colours;
}

QByteArray indicesOf(const QImage &image)
{
    QByteArray indices;
    for (int y = 0; y < image.height(); ++y)
        indices.append(reinterpret_cast<const char *>(image.constScanLine(y)), image.width());
    return indices;
}

int openFileCount()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size();
}

} // namespace

// The paletted run-length picture reader on crafted files, and the texel helpers it feeds.
class PcxReaderTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void paddingFor_data();
    void paddingFor();
    void toRgba_data();
    void toRgba();

    void decodesIndices_data();
    void decodesIndices();
    void unreachedPixelsAreIndexZero();
    void paletteWithTransparentLastEntry();
    void acceptsFile_data();
    void acceptsFile();
    void emptyPicture_data();
    void emptyPicture();
    void rejectsFile_data();
    void rejectsFile();
    void releasesTheFile();
    void readsOwnEncoding();
    void readsImageMagickFile_data();
    void readsImageMagickFile();

private:
    QString pathFor(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QImage readWritten(const PcxFile &file, int length = -1);

    QTemporaryDir dir;
};

void PcxReaderTest::initTestCase()
{
    QVERIFY(dir.isValid());
}

QImage PcxReaderTest::readWritten(const PcxFile &file, int length)
{
    const QString path = pathFor("picture.pcx");
    if (!file.write(path, length))
        qFatal("cannot write %s", qPrintable(path));
    QImage image;
    if (!Texture::readPcx(path, image))
        return QImage();
    return image;
}

void PcxReaderTest::paddingFor_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("padding");
    QTest::newRow("0") << 0 << 4;
    QTest::newRow("1") << 1 << 3;
    QTest::newRow("3") << 3 << 1;
    QTest::newRow("4") << 4 << 0;
    QTest::newRow("5") << 5 << 3;
    QTest::newRow("8") << 8 << 0;
    QTest::newRow("9") << 9 << 7;
    QTest::newRow("64") << 64 << 0;
    QTest::newRow("65") << 65 << 63;
    QTest::newRow("255") << 255 << 1;
    QTest::newRow("8192") << 8192 << 0;
    QTest::newRow("8193") << 8193 << 8191;
    QTest::newRow("2^30") << (1 << 30) << 0;
}

void PcxReaderTest::paddingFor()
{
    QFETCH(int, size);
    QFETCH(int, padding);
    QCOMPARE(Texture::paddingFor(size), padding);
}

void PcxReaderTest::toRgba_data()
{
    QTest::addColumn<QRgb>("argb");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("half-transparent") << QRgb(0x80102030) << bytesOf({0x10, 0x20, 0x30, 0x80});
    QTest::newRow("opaque red") << QRgb(0xFFFF0000) << bytesOf({0xFF, 0x00, 0x00, 0xFF});
    QTest::newRow("opaque blue") << QRgb(0xFF0000FF) << bytesOf({0x00, 0x00, 0xFF, 0xFF});
    QTest::newRow("transparent green") << QRgb(0x0000FF00) << bytesOf({0x00, 0xFF, 0x00, 0x00});
    QTest::newRow("all distinct") << QRgb(0x01EFCDAB) << bytesOf({0xEF, 0xCD, 0xAB, 0x01});
}

void PcxReaderTest::toRgba()
{
    QFETCH(QRgb, argb);
    QFETCH(QByteArray, bytes);
    // The texel is uploaded as the word's bytes in memory order.
    const quint32 word = qToLittleEndian(Texture::toRgba(argb));
    QByteArray memory(4, '\0');
    std::memcpy(memory.data(), &word, 4);
    QCOMPARE(memory.toHex(' '), bytes.toHex(' '));
}

void PcxReaderTest::decodesIndices_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("indices");

    QTest::newRow("bytes up to 191 are single pixels")
        << 2 << 2 << bytesOf({0x00, 0x01, 0x7F, 0xBF}) << bytesOf({0x00, 0x01, 0x7F, 0xBF});
    QTest::newRow("192 and its next byte make no pixel")
        << 3 << 1 << bytesOf({0x05, 0xC0, 0x09, 0x06, 0x07}) << bytesOf({0x05, 0x06, 0x07});
    QTest::newRow("193 is a run of one")
        << 2 << 1 << bytesOf({0xC1, 0xFE, 0x03}) << bytesOf({0xFE, 0x03});
    QTest::newRow("a run repeats any value byte")
        << 3 << 1 << bytesOf({0xC3, 0xC0}) << bytesOf({0xC0, 0xC0, 0xC0});
    QTest::newRow("255 is a run of 63")
        << 8 << 8 << bytesOf({0xFF, 0x2A, 0x11}) << QByteArray(63, 0x2A) + char(0x11);
    QTest::newRow("a run of 63 stops when the picture is full")
        << 4 << 4 << bytesOf({0xFF, 0x2A, 0x11}) << QByteArray(16, 0x2A);
    QTest::newRow("a run stops part-way at the last pixel")
        << 5 << 2 << bytesOf({0x03, 0xCA, 0x44}) << bytesOf({0x03}) + QByteArray(9, 0x44);
    QTest::newRow("runs cross row ends")
        << 3 << 3 << bytesOf({0xC4, 0x07, 0xC5, 0x08})
        << bytesOf({0x07, 0x07, 0x07, 0x07, 0x08, 0x08, 0x08, 0x08, 0x08});
    QTest::newRow("a run without its value byte at the very end stores nothing")
        << 2 << 2 << bytesOf({0x01, 0x02, 0xC5}) << bytesOf({0x01, 0x02, 0x00, 0x00});
    QTest::newRow("an empty run at the very end")
        << 2 << 1 << bytesOf({0x03, 0xC0}) << bytesOf({0x03, 0x00});
    QTest::newRow("data used up early leaves index 0")
        << 3 << 2 << bytesOf({0x09}) << bytesOf({0x09, 0x00, 0x00, 0x00, 0x00, 0x00});
    QTest::newRow("no data at all") << 2 << 2 << QByteArray() << QByteArray(4, '\0');
    QTest::newRow("data beyond the last pixel is ignored")
        << 1 << 1 << bytesOf({0x05, 0x06, 0xC9, 0x07}) << bytesOf({0x05});
}

void PcxReaderTest::decodesIndices()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, indices);

    PcxFile file;
    file.setSize(width, height);
    file.setData(data);
    const QImage image = readWritten(file);
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QCOMPARE(image.size(), QSize(width, height));
    QCOMPARE(indicesOf(image).toHex(' '), indices.toHex(' '));
}

void PcxReaderTest::unreachedPixelsAreIndexZero()
{
    // A picture of one index first leaves freed memory of that value behind, which the next
    // read of the same size would pick up if its pixels were left uninitialised.
    QImage full(32, 32, QImage::Format_Indexed8);
    full.setColorTable(distinctPalette());
    full.fill(0xAB);
    QCOMPARE(indicesOf(readWritten(PcxFile::fromImage(full))), QByteArray(32 * 32, char(0xAB)));

    PcxFile sparse;
    sparse.setSize(32, 32);
    sparse.setData(bytesOf({0xC3, 0x17}));
    QCOMPARE(indicesOf(readWritten(sparse)).toHex(),
             (QByteArray(3, 0x17) + QByteArray(1021, '\0')).toHex());
}

void PcxReaderTest::paletteWithTransparentLastEntry()
{
    QImage source(16, 16, QImage::Format_Indexed8);
    source.setColorTable(distinctPalette());
    for (int index = 0; index < 256; ++index)
        source.setPixel(index % 16, index / 16, uint(index));

    const QImage image = readWritten(PcxFile::fromImage(source));
    QCOMPARE(image.colorCount(), 256);
    for (int index = 0; index < 256; ++index) {
        const QRgb expected = qRgba(qRed(paletteColour(index)), qGreen(paletteColour(index)),
                                    qBlue(paletteColour(index)), index == 255 ? 0 : 255);
        QCOMPARE(image.color(index), expected);
        QCOMPARE(image.pixel(index % 16, index / 16), expected);
    }
}

void PcxReaderTest::acceptsFile_data()
{
    QTest::addColumn<PcxFile>("file");
    QTest::addColumn<QSize>("size");

    QTest::newRow("897 bytes, the smallest file") << fileOfSize(kSmallestFile) << QSize(1, 1);
    QTest::newRow("5242879 bytes, the largest file") << fileOfSize(kLargestFile) << QSize(1, 1);
    QTest::newRow("8192 wide") << withSize(8192, 1) << QSize(8192, 1);
    QTest::newRow("8192 high") << withSize(1, 8192) << QSize(1, 8192);
    QTest::newRow("8192 x 8192") << withSize(8192, 8192) << QSize(8192, 8192);
    QTest::newRow("window away from the origin") << withWindow(10, 20, 8201, 22) << QSize(8192, 3);
    QTest::newRow("window fields are unsigned")
        << withWindow(0x7FF8, 0xFFFE, 0x8007, 0xFFFF) << QSize(16, 2);

    PcxFile resolution = withSize(2, 3);
    resolution.setResolution(9000, 9000);
    QTest::newRow("resolution is not the size") << resolution << QSize(2, 3);

    PcxFile unreadFields = withSize(4, 2);
    for (int offset = 16; offset < 64; ++offset)
        unreadFields.setHeaderByte(offset, 0xFF);
    for (int offset = 66; offset < PcxFile::kHeaderSize; ++offset)
        unreadFields.setHeaderByte(offset, 0xAB);
    QTest::newRow("colour map, bytes per line and filler are not read")
        << unreadFields << QSize(4, 2);

    for (int marker : {0x0C, 0x00, 0x0B, 0xFF}) {
        PcxFile file;
        file.setMarker(quint8(marker));
        QTest::addRow("palette marker %d", marker) << file << QSize(1, 1);
    }
}

void PcxReaderTest::acceptsFile()
{
    QFETCH(PcxFile, file);
    QFETCH(QSize, size);
    const QImage image = readWritten(file);
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QCOMPARE(image.size(), size);
}

void PcxReaderTest::emptyPicture_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("0 wide") << 0 << 5;
    QTest::newRow("0 high") << 7 << 0;
    QTest::newRow("0 x 0") << 0 << 0;
}

void PcxReaderTest::emptyPicture()
{
    QFETCH(int, width);
    QFETCH(int, height);
    PcxFile file;
    file.setSize(width, height);
    file.setData(bytesOf({0xC5, 0x01}));
    const QString path = pathFor("empty.pcx");
    QVERIFY(file.write(path));

    QImage image(3, 3, QImage::Format_ARGB32);
    image.fill(Qt::green);
    QVERIFY(Texture::readPcx(path, image));
    QVERIFY(image.size().isEmpty());
}

void PcxReaderTest::rejectsFile_data()
{
    QTest::addColumn<PcxFile>("file");
    QTest::addColumn<int>("length");

    QTest::newRow("896 bytes") << fileOfSize(kSmallestFile) << kSmallestFile - 1;
    QTest::newRow("5242880 bytes") << fileOfSize(kLargestFile + 1) << -1;
    QTest::newRow("empty file") << PcxFile() << 0;
    QTest::newRow("half a header") << PcxFile() << PcxFile::kHeaderSize / 2;
    QTest::newRow("header only") << PcxFile() << PcxFile::kHeaderSize;

    QTest::newRow("manufacturer 0") << withHeaderByte(0, 0) << -1;
    QTest::newRow("manufacturer 11") << withHeaderByte(0, 11) << -1;
    for (int version : {0, 2, 3, 4, 6})
        QTest::addRow("version %d", version) << withHeaderByte(1, quint8(version)) << -1;
    QTest::newRow("not run-length coded") << withHeaderByte(2, 0) << -1;
    QTest::newRow("encoding 2") << withHeaderByte(2, 2) << -1;
    for (int bits : {1, 4, 24})
        QTest::addRow("%d bits per pixel", bits) << withHeaderByte(3, quint8(bits)) << -1;
    QTest::newRow("reserved byte 1") << withHeaderByte(64, 1) << -1;
    for (int planes : {0, 3, 4})
        QTest::addRow("%d colour planes", planes) << withHeaderByte(65, quint8(planes)) << -1;

    QTest::newRow("8193 wide") << withSize(8193, 1) << -1;
    QTest::newRow("8193 high") << withSize(1, 8193) << -1;
    QTest::newRow("window from 0 to 65535") << withWindow(0, 0, 0xFFFF, 0) << -1;
    QTest::newRow("x max two below x min") << withWindow(5, 0, 3, 0) << -1;
    QTest::newRow("y max two below y min") << withWindow(0, 9, 0, 7) << -1;
}

void PcxReaderTest::rejectsFile()
{
    QFETCH(PcxFile, file);
    QFETCH(int, length);
    const QString path = pathFor("rejected.pcx");
    QVERIFY(file.write(path, length));

    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(0xFF123456);
    const QImage reference = image.copy();
    const qint64 key = image.cacheKey();
    QVERIFY(!Texture::readPcx(path, image));
    QCOMPARE(image.cacheKey(), key);
    QCOMPARE(image, reference);
}

void PcxReaderTest::releasesTheFile()
{
    const QString accepted = pathFor("accepted.pcx");
    const QString shortFile = pathFor("short.pcx");
    const QString badHeader = pathFor("bad-header.pcx");
    QVERIFY(withSize(5, 5).write(accepted));
    QVERIFY(PcxFile().write(shortFile, kSmallestFile - 1));
    QVERIFY(withHeaderByte(1, 4).write(badHeader));

    const int before = openFileCount();
    for (const QString &path :
         {accepted, shortFile, badHeader, pathFor("missing.pcx"), dir.path()}) {
        QImage image;
        Texture::readPcx(path, image);
    }
    QCOMPARE(openFileCount(), before);
}

void PcxReaderTest::readsOwnEncoding()
{
    // Long runs, indices that must be coded as runs, and rows of odd length.
    QImage source(37, 11, QImage::Format_Indexed8);
    source.setColorTable(distinctPalette());
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(x, y, y % 3 == 0 ? uint(y) : uint((x * 29 + y * 11) % 256));
    }
    const QImage image = readWritten(PcxFile::fromImage(source));
    QCOMPARE(indicesOf(image).toHex(' '), indicesOf(source).toHex(' '));
}

void PcxReaderTest::readsImageMagickFile_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("2 x 2") << QSize(2, 2);
    QTest::newRow("64 x 48") << QSize(64, 48);
    QTest::newRow("long rows") << QSize(300, 5);
}

void PcxReaderTest::readsImageMagickFile()
{
    QFETCH(QSize, size);

    // Bands of a few dozen colours with a diagonal line across them: long runs and single
    // pixels, well under 256 colours so that the palette holds every one exactly.
    QImage source(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int band = (x / 7 + y / 5) % 40;
            source.setPixel(x, y, qRgb(band * 6, 250 - band * 5, (band * 37) % 256));
        }
        source.setPixel(y % size.width(), y, qRgb(255, 255, 0));
    }
    source.setPixel(size.width() - 1, 0, qRgb(1, 2, 3));
    const QString sourcePath = pathFor("drawn.png");
    const QString pcxPath = pathFor("converted.pcx");
    QVERIFY(source.save(sourcePath, "PNG"));

    QProcess convert;
    convert.start(QStringLiteral("convert"),
                  {sourcePath, QStringLiteral("-type"), QStringLiteral("Palette"),
                   QStringLiteral("+dither"), QStringLiteral("-colors"), QStringLiteral("256"),
                   QStringLiteral("PCX:") + pcxPath});
    QVERIFY2(convert.waitForFinished(30000), "ImageMagick's convert did not run");
    QVERIFY2(convert.exitStatus() == QProcess::NormalExit && convert.exitCode() == 0,
             convert.readAllStandardError().constData());

    QImage image;
    QVERIFY(Texture::readPcx(pcxPath, image));
    QCOMPARE(image.size(), size);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            if (image.pixel(x, y) != source.pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("pixel (%1, %2) is #%3, drawn #%4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(image.pixel(x, y), 8, 16, QLatin1Char('0'))
                                     .arg(source.pixel(x, y), 8, 16, QLatin1Char('0'))));
        }
    }
}

QTEST_GUILESS_MAIN(PcxReaderTest)
#include "pcxreadertest.moc"
