// What the texture's picture reading refuses to open or decode: anything under the name that
// is not a file, and pictures whose header claims more pixels than a texture can hold. Both
// give the opaque red placeholder at once; pictures within the limit are read as before.
#include "texture.h"

#include "testmedia.h"

#include <QBuffer>
#include <QDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

constexpr int kLargestSide = 64;
constexpr int kPlaceholderSide = 256;
constexpr QRgb kOpaqueRed = 0xFFFF0000;

QByteArray pngOf(const QSize &size)
{
    QImage picture(size, QImage::Format_ARGB32);
    picture.fill(0xFF20C040);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return bytes;
}

bool isPlaceholder(const QImage &image)
{
    if (image.size() != QSize(kPlaceholderSide, kPlaceholderSide))
        return false;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kOpaqueRed)
                return false;
    return true;
}

} // namespace

class PictureGuardTest : public QObject
{
    Q_OBJECT

private slots:
    void claimedSizeDecidesWhetherQtDecodes_data();
    void claimedSizeDecidesWhetherQtDecodes();
    void namedPipeIsNotOpened();
    void directoryGivesThePlaceholder();
};

void PictureGuardTest::claimedSizeDecidesWhetherQtDecodes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QSize>("decoded");
    const QSize none;
    QTest::newRow("png at the limit") << pngOf(QSize(kLargestSide, 3)) << QSize(kLargestSide, 3);
    QTest::newRow("png one wider") << pngOf(QSize(kLargestSide + 1, 3)) << none;
    QTest::newRow("png one taller") << pngOf(QSize(3, kLargestSide + 1)) << none;
    QTest::newRow("jpeg claiming the limit")
        << TestMedia::jpegClaiming(kLargestSide, kLargestSide) << QSize(kLargestSide, kLargestSide);
    QTest::newRow("jpeg claiming one more") << TestMedia::jpegClaiming(kLargestSide + 1, 8) << none;
    QTest::newRow("jpeg claiming 65000 x 65000") << TestMedia::jpegClaiming(65000, 65000) << none;
}

void PictureGuardTest::claimedSizeDecidesWhetherQtDecodes()
{
    QFETCH(QByteArray, file);
    QFETCH(QSize, decoded);
    QVERIFY(!file.isEmpty());
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("round.png"));
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(file), qint64(file.size()));
    out.close();

    const QImage picture = Texture::picture(path, kLargestSide);
    if (decoded.isValid())
        QCOMPARE(picture.size(), decoded);
    else
        QVERIFY2(isPlaceholder(picture), "not the red placeholder");
}

void PictureGuardTest::namedPipeIsNotOpened()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("round.png"));
    QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    // Opening the pipe would wait for a writer that never comes; the test would hang here.
    QVERIFY(isPlaceholder(Texture::picture(path, kLargestSide)));
}

void PictureGuardTest::directoryGivesThePlaceholder()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("round.png"));
    QVERIFY(QDir().mkpath(path));
    QVERIFY(isPlaceholder(Texture::picture(path, kLargestSide)));
}

QTEST_MAIN(PictureGuardTest)
#include "pictureguardtest.moc"
