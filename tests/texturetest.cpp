#include "texture.h"
#include "demopane.h"
#include "pcxfile.h"

#include <QDir>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QTemporaryDir>
#include <QtTest>

#include <GL/gl.h>

namespace {

constexpr QRgb kOpaqueRed = 0xFFFF0000;

// Level 0 of the texture bound to GL_TEXTURE_2D, as the GL holds it.
struct TextureLevel
{
    int width = 0;
    int height = 0;
    GLint internalFormat = 0;
    QByteArray texels;

    QByteArray texel(int x, int y) const { return texels.mid(4 * (y * width + x), 4); }
    int count(const QByteArray &bytes) const
    {
        int found = 0;
        for (int offset = 0; offset < texels.size(); offset += 4)
            found += texels.mid(offset, 4) == bytes;
        return found;
    }
};

TextureLevel boundLevel()
{
    TextureLevel level;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &level.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &level.height);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &level.internalFormat);
    level.texels.resize(4 * level.width * level.height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, level.texels.data());
    return level;
}

QPair<GLint, GLint> boundFilters()
{
    GLint minFilter = 0;
    GLint magFilter = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &minFilter);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &magFilter);
    return {minFilter, magFilter};
}

QByteArray rgbaBytes(QRgb colour)
{
    QByteArray bytes;
    bytes.append(char(qRed(colour)));
    bytes.append(char(qGreen(colour)));
    bytes.append(char(qBlue(colour)));
    bytes.append(char(qAlpha(colour)));
    return bytes;
}

// A picture whose every pixel differs from its neighbours and from the padding's red.
QImage patternPicture(const QSize &size)
{
    QImage picture(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x)
            picture.setPixel(
                x, y,
                qRgba(x * 3 % 256, (y * 5 + 40) % 256, (x + y) % 200 + 20, 255 - (x + y) % 128));
    }
    return picture;
}

// The first texel whose bytes differ from the expected picture, padded with opaque red;
// empty when all match.
QString firstWrongTexel(const TextureLevel &level, const QImage &picture)
{
    for (int y = 0; y < level.height; ++y) {
        for (int x = 0; x < level.width; ++x) {
            const bool inPicture = x < picture.width() && y < picture.height();
            const QByteArray expected = rgbaBytes(inPicture ? picture.pixel(x, y) : kOpaqueRed);
            if (level.texel(x, y) != expected)
                return QStringLiteral("texel (%1, %2) is %3, expected %4")
                    .arg(x)
                    .arg(y)
                    .arg(QString::fromLatin1(level.texel(x, y).toHex(' ')))
                    .arg(QString::fromLatin1(expected.toHex(' ')));
        }
    }
    return QString();
}

GLint maxTextureSize()
{
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
}

} // namespace

// Texture::load into a real GL texture, read back from the GL, and the pane's filters after
// its own load.
class TextureTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void padsToPowersOfTwo_data();
    void padsToPowersOfTwo();
    void uploadsRgbaBytes();
    void fallsBackToRedPlaceholder_data();
    void fallsBackToRedPlaceholder();
    void readsPalettedPicture();
    void emptyPalettedPicture();
    void largestTexture_data();
    void largestTexture();
    void leavesNearestFilters_data();
    void leavesNearestFilters();
    void paneFiltersAreLinear_data();
    void paneFiltersAreLinear();

private:
    QString pathFor(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString savedPicture(const QImage &picture, const char *name = "picture.png");
    QString palettedFile(int width, int height, const char *name = "paletted.png");
    void verifyPlaceholder(const Texture &texture);

    QTemporaryDir dir;
    QOffscreenSurface surface;
    QOpenGLContext context;
    GLuint name = 0;
};

void TextureTest::initTestCase()
{
    QVERIFY(dir.isValid());
    surface.create();
    QVERIFY(context.create());
    QVERIFY(context.makeCurrent(&surface));
}

void TextureTest::init()
{
    QVERIFY(context.makeCurrent(&surface));
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // Not what load leaves, so a load that skips its filters shows.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
}

void TextureTest::cleanup()
{
    context.makeCurrent(&surface);
    glDeleteTextures(1, &name);
}

QString TextureTest::savedPicture(const QImage &picture, const char *name)
{
    const QString path = pathFor(name);
    if (!picture.save(path, "PNG"))
        qFatal("cannot save %s", qPrintable(path));
    return path;
}

// A paletted file whose indices step through the palette, the last pixel holding the
// transparent index 255, saved under a name that promises a PNG as round.png may.
QString TextureTest::palettedFile(int width, int height, const char *name)
{
    QImage indexed(width, height, QImage::Format_Indexed8);
    QVector<QRgb> palette;
    for (int index = 0; index < 256; ++index)
        palette.append(qRgb(index, (index * 3) % 256, 255 - index));
    indexed.setColorTable(palette);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            indexed.setPixel(x, y, uint((y * width + x) * 13 % 256));
    }
    indexed.setPixel(width - 1, height - 1, 255);
    const QString path = pathFor(name);
    if (!PcxFile::fromImage(indexed).write(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TextureTest::verifyPlaceholder(const Texture &texture)
{
    QCOMPARE(texture.width, 256);
    QCOMPARE(texture.height, 256);
    QCOMPARE(texture.paddedWidth, 256);
    QCOMPARE(texture.paddedHeight, 256);
    const TextureLevel level = boundLevel();
    QCOMPARE(level.width, 256);
    QCOMPARE(level.height, 256);
    QCOMPARE(level.count(rgbaBytes(kOpaqueRed)), 256 * 256);
}

void TextureTest::padsToPowersOfTwo_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("padded");
    QTest::newRow("1 x 1") << QSize(1, 1) << QSize(4, 4);
    QTest::newRow("5 x 3") << QSize(5, 3) << QSize(8, 4);
    QTest::newRow("4 x 4") << QSize(4, 4) << QSize(4, 4);
    QTest::newRow("64 x 64") << QSize(64, 64) << QSize(64, 64);
    QTest::newRow("3 x 17") << QSize(3, 17) << QSize(4, 32);
    QTest::newRow("130 x 2") << QSize(130, 2) << QSize(256, 4);
}

void TextureTest::padsToPowersOfTwo()
{
    QFETCH(QSize, size);
    QFETCH(QSize, padded);
    const QImage picture = patternPicture(size);
    Texture texture;
    texture.load(savedPicture(picture));

    QCOMPARE(QSize(texture.width, texture.height), size);
    QCOMPARE(QSize(texture.paddedWidth, texture.paddedHeight), padded);
    const TextureLevel level = boundLevel();
    QCOMPARE(QSize(level.width, level.height), padded);
    QCOMPARE(level.internalFormat, GLint(GL_RGBA8));
    const QString wrong = firstWrongTexel(level, picture);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    const int paddingTexels = padded.width() * padded.height() - size.width() * size.height();
    QCOMPARE(level.count(rgbaBytes(kOpaqueRed)), paddingTexels);
}

void TextureTest::uploadsRgbaBytes()
{
    QImage picture(2, 2, QImage::Format_ARGB32);
    picture.setPixel(0, 0, 0x80102030);
    picture.setPixel(1, 0, 0xFF0000FF);
    picture.setPixel(0, 1, 0x00FFFFFF);
    picture.setPixel(1, 1, 0xFF00FF00);
    Texture texture;
    texture.load(savedPicture(picture));

    const TextureLevel level = boundLevel();
    QCOMPARE(level.texel(0, 0).toHex(' '), QByteArray("10 20 30 80"));
    QCOMPARE(level.texel(1, 0).toHex(' '), QByteArray("00 00 ff ff"));
    QCOMPARE(level.texel(0, 1).toHex(' '), QByteArray("ff ff ff 00"));
    QCOMPARE(level.texel(1, 1).toHex(' '), QByteArray("00 ff 00 ff"));
}

void TextureTest::fallsBackToRedPlaceholder_data()
{
    QTest::addColumn<QString>("fileName");

    QTest::newRow("missing file") << QStringLiteral("missing.png");

    QFile garbage(pathFor("garbage.png"));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(2000, 'x'));
    garbage.close();
    QTest::newRow("neither a picture nor paletted") << garbage.fileName();

    QFile truncatedPng(pathFor("truncated.png"));
    QVERIFY(truncatedPng.open(QIODevice::WriteOnly));
    QByteArray png;
    QBuffer buffer(&png);
    patternPicture(QSize(40, 40)).save(&buffer, "PNG");
    truncatedPng.write(png.left(60));
    truncatedPng.close();
    QTest::newRow("truncated PNG") << truncatedPng.fileName();

    PcxFile wrongVersion;
    wrongVersion.setVersion(3);
    QVERIFY(wrongVersion.write(pathFor("wrong-version.png")));
    QTest::newRow("paletted with a wrong version") << pathFor("wrong-version.png");

    QTest::newRow("directory") << dir.path();
}

void TextureTest::fallsBackToRedPlaceholder()
{
    QFETCH(QString, fileName);
    Texture texture;
    texture.load(fileName);
    verifyPlaceholder(texture);
}

void TextureTest::readsPalettedPicture()
{
    const QString path = palettedFile(6, 5);
    QImage expected;
    QVERIFY(Texture::readPcx(path, expected));
    Texture texture;
    texture.load(path);

    QCOMPARE(QSize(texture.width, texture.height), QSize(6, 5));
    QCOMPARE(QSize(texture.paddedWidth, texture.paddedHeight), QSize(8, 8));
    const TextureLevel level = boundLevel();
    const QString wrong = firstWrongTexel(level, expected);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

    // Index 14 * 13 % 256 = 182 is opaque; the last pixel's index 255 is transparent.
    QCOMPARE(level.texel(2, 2).toHex(' '), QByteArray("b6 22 49 ff"));
    QCOMPARE(level.texel(5, 4).toHex(' '), QByteArray("ff fd 00 00"));
}

void TextureTest::emptyPalettedPicture()
{
    PcxFile file;
    file.setSize(0, 9);
    file.setData(QByteArray(9, '\x07'));
    QVERIFY(file.write(pathFor("empty.pcx")));
    Texture texture;
    texture.load(pathFor("empty.pcx"));

    QCOMPARE(texture.width, 0);
    QCOMPARE(texture.height, 0);
    QCOMPARE(texture.paddedWidth, 4);
    QCOMPARE(texture.paddedHeight, 4);
    const TextureLevel level = boundLevel();
    QCOMPARE(QSize(level.width, level.height), QSize(4, 4));
    QCOMPARE(level.count(rgbaBytes(kOpaqueRed)), 16);
}

void TextureTest::largestTexture_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("fits");
    const int largest = maxTextureSize();
    QVERIFY(largest >= 256);
    QTest::newRow("as wide as the largest texture") << QSize(largest, 1) << true;
    QTest::newRow("one wider than the largest texture") << QSize(largest + 1, 1) << false;
    QTest::newRow("one higher than the largest texture") << QSize(2, largest + 1) << false;
}

void TextureTest::largestTexture()
{
    QFETCH(QSize, size);
    QFETCH(bool, fits);
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    Texture texture;
    texture.load(savedPicture(picture));

    if (!fits) {
        verifyPlaceholder(texture);
        return;
    }
    QCOMPARE(QSize(texture.width, texture.height), size);
    const TextureLevel level = boundLevel();
    QCOMPARE(QSize(level.width, level.height), QSize(size.width(), 4));
    QCOMPARE(level.count(rgbaBytes(0xFF0000FF)), size.width());
}

void TextureTest::leavesNearestFilters_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("PNG") << savedPicture(patternPicture(QSize(5, 3)), "filters.png");
    QTest::newRow("paletted") << palettedFile(4, 4, "filters-paletted.png");
    QTest::newRow("placeholder") << pathFor("missing.png");
}

void TextureTest::leavesNearestFilters()
{
    QFETCH(QString, fileName);
    Texture texture;
    texture.load(fileName);
    const auto filters = boundFilters();
    QCOMPARE(filters.first, GLint(GL_NEAREST));
    QCOMPARE(filters.second, GLint(GL_NEAREST));
}

void TextureTest::paneFiltersAreLinear_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("textureWidth");
    QTest::newRow("PNG") << savedPicture(patternPicture(QSize(5, 3)), "pane.png") << 8;
    QTest::newRow("paletted") << palettedFile(12, 2, "pane-paletted.png") << 16;
    QTest::newRow("placeholder") << QString() << 256;
}

void TextureTest::paneFiltersAreLinear()
{
    QFETCH(QString, source);
    QFETCH(int, textureWidth);

    // The pane loads round.png from the working directory.
    QTemporaryDir work;
    QVERIFY(work.isValid());
    if (!source.isEmpty())
        QVERIFY(QFile::copy(source, work.filePath(QStringLiteral("round.png"))));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));

    DemoPane pane;
    pane.setAttribute(Qt::WA_DontShowOnScreen);
    pane.resize(64, 48);
    pane.show();
    QDir::setCurrent(previous);
    QVERIFY(pane.isValid());
    pane.makeCurrent();

    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    QVERIFY(bound != 0);
    QCOMPARE(boundLevel().width, textureWidth);
    const auto filters = boundFilters();
    QCOMPARE(filters.first, GLint(GL_LINEAR));
    QCOMPARE(filters.second, GLint(GL_LINEAR));
}

QTEST_MAIN(TextureTest)
#include "texturetest.moc"
