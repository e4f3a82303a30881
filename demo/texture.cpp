#include "texture.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <QVector>

#include <GL/gl.h>

#include <cstdlib>
#include <memory>
#include <new>

namespace {

constexpr QRgb kOpaqueRed = 0xFFFF0000;
constexpr int kPlaceholderSize = 256;

// The paletted picture format: a 128-byte header, run-length-coded indices, one marker byte
// and a palette of 256 red, green, blue triples at the very end.
constexpr int kPcxHeaderSize = 128;
constexpr int kPcxPaletteSize = 768;
constexpr qint64 kPcxTrailerSize = 1 + kPcxPaletteSize;
constexpr qint64 kPcxMinFileSize = kPcxHeaderSize + kPcxTrailerSize;
constexpr qint64 kPcxMaxFileSize = 5242879;
constexpr int kPcxMaxSide = 8192;
constexpr uchar kPcxRunFlag = 0xC0;
constexpr int kTransparentIndex = 255;

// Made once and shared: it is the same for every picture that fails, and filling a quarter
// megabyte for each was most of the time that trying a damaged file took.
QImage placeholder()
{
    static const QImage image = [] {
        QImage red(kPlaceholderSize, kPlaceholderSize, QImage::Format_ARGB32);
        red.fill(kOpaqueRed);
        return red;
    }();
    return image;
}

int littleEndian16(const uchar *bytes)
{
    return bytes[0] | (bytes[1] << 8);
}

// The image window Xmin, Ymin, Xmax, Ymax at offsets 4 to 11 gives the size; a window whose
// max lies more than one below its min gives a negative side, which the header test rejects.
int windowSide(const uchar *header, int minOffset)
{
    return littleEndian16(header + minOffset + 4) - littleEndian16(header + minOffset) + 1;
}

bool headerAccepted(const uchar *header, int width, int height)
{
    return header[0] == 10 && header[1] == 5 && header[2] == 1 && header[3] == 8 &&
           header[64] == 0 && header[65] == 1 && width >= 0 && width <= kPcxMaxSide &&
           height >= 0 && height <= kPcxMaxSide;
}

// Expands the run-length-coded data into pixels. A byte below 0xC0 is one pixel; a byte
// above carries a run of its low six bits (0xC0 itself an empty one) of the next byte's
// value. A run whose value byte is missing stores nothing; pixels never reached stay as
// they are.
void decodeRuns(const uchar *data, qint64 length, uchar *pixels, qint64 count)
{
    qint64 p = 0;
    qint64 i = 0;
    while (i < count && p < length) {
        const uchar b = data[p];
        if (b < kPcxRunFlag) {
            pixels[i++] = b;
            ++p;
            continue;
        }
        if (p + 1 < length) {
            const uchar value = data[p + 1];
            for (int run = b - kPcxRunFlag; run > 0 && i < count; --run)
                pixels[i++] = value;
        }
        p += 2;
    }
}

void releasePixels(void *pixels)
{
    std::free(pixels);
}

// The picture with its indices decoded straight into its memory, rows one after another
// without padding as the data codes them. The memory comes zeroed from the allocator, so the
// pixels that the data never reaches are index 0 without a pass over them: a large picture
// with little data costs only the pages its data fills. An empty picture (a side of 0) is a
// null QImage, and so is one whose memory cannot be had.
QImage indexedPicture(int width, int height, const uchar *palette, const uchar *data, qint64 length)
{
    const qint64 count = qint64(width) * height;
    if (count == 0)
        return QImage();
    auto *pixels = static_cast<uchar *>(std::calloc(size_t(count), 1));
    if (!pixels)
        return QImage();
    QImage image(pixels, width, height, width, QImage::Format_Indexed8, releasePixels, pixels);
    if (image.isNull()) {
        releasePixels(pixels);
        return image;
    }
    decodeRuns(data, length, pixels, count);
    QVector<QRgb> colours(256);
    for (int index = 0; index < 256; ++index) {
        const uchar *rgb = palette + 3 * index;
        const int alpha = index == kTransparentIndex ? 0 : 255;
        colours[index] = qRgba(rgb[0], rgb[1], rgb[2], alpha);
    }
    image.setColorTable(colours);
    return image;
}

bool readExactly(QIODevice &device, void *bytes, qint64 count)
{
    return device.read(static_cast<char *>(bytes), count) == count;
}

// Asks the proxy texture whether the GL can hold a texture of this size: it answers for the
// maximum texture size and for the driver's own limits alike, before any texel is built.
bool textureFits(int width, int height)
{
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 nullptr);
    GLint proxyWidth = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &proxyWidth);
    return proxyWidth == width;
}

// Reads back and clears the GL's error flags; true when none was set. A context keeps a flag
// per kind of error, so a handful of reads clears them all.
bool glErrorsClear()
{
    constexpr int kErrorKinds = 8;
    bool clear = true;
    for (int kind = 0; kind < kErrorKinds && glGetError() != GL_NO_ERROR; ++kind)
        clear = false;
    return clear;
}

// Qt's reading, with the format Qt detects. A few hundred bytes of JPEG can claim 65000 x
// 65000 pixels, which Qt would fill, gigabytes of them, before the upload finds that no
// texture holds them; such a picture is left unread.
QImage qtPicture(QIODevice &device, int largestSide)
{
    QImageReader reader(&device);
    const QSize claimed = reader.size();
    if (claimed.width() > largestSide || claimed.height() > largestSide)
        return QImage();
    return reader.read();
}

} // namespace

Texture::Texture() : width(0), height(0), paddedWidth(0), paddedHeight(0) {}

void Texture::load(const QString &fileName)
{
    GLint largestSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largestSide);
    if (!upload(picture(fileName, largestSide)))
        upload(placeholder());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

QImage Texture::picture(const QString &fileName, int largestSide)
{
    // Opening a named pipe would block until something writes to it; only a file can hold
    // a picture.
    if (!QFileInfo(fileName).isFile())
        return placeholder();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return placeholder();
    return picture(file, largestSide);
}

QImage Texture::picture(QIODevice &device, int largestSide)
{
    QImage image = qtPicture(device, largestSide);
    if (image.isNull() && !readPcx(device, image))
        image = placeholder();
    return image;
}

bool Texture::upload(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    const int pw = w + paddingFor(w);
    const int ph = h + paddingFor(h);
    if (!textureFits(pw, ph))
        return false;
    std::unique_ptr<quint32[]> texels(new (std::nothrow) quint32[size_t(pw) * size_t(ph)]);
    if (!texels)
        return false;

    // Row 0 is the picture's top row; the padding right of and below it is opaque red.
    const quint32 red = toRgba(kOpaqueRed);
    for (int y = 0; y < ph; ++y) {
        quint32 *row = texels.get() + size_t(y) * size_t(pw);
        const int pictureColumns = y < h ? w : 0;
        for (int x = 0; x < pictureColumns; ++x)
            row[x] = toRgba(image.pixel(x, y));
        for (int x = pictureColumns; x < pw; ++x)
            row[x] = red;
    }
    glErrorsClear();
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, pw, ph, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.get());
    // The proxy can promise room that the driver then fails to find; the texture would be
    // left undefined, so the caller uploads the placeholder instead.
    if (!glErrorsClear())
        return false;

    width = w;
    height = h;
    paddedWidth = pw;
    paddedHeight = ph;
    return true;
}

bool Texture::readPcx(const QString &fileName, QImage &image)
{
    QFile file(fileName);
    // A file that cannot be opened is rejected like a short one, without reading from it.
    return file.open(QIODevice::ReadOnly) && readPcx(file, image);
}

bool Texture::readPcx(QIODevice &device, QImage &image)
{
    // The size test needs a file or a buffer, not a stream; after Qt's readers have tried the
    // device, reading starts again from its first byte.
    if (!device.isReadable() || device.isSequential() || !device.seek(0))
        return false;
    const qint64 fileSize = device.size();
    uchar header[kPcxHeaderSize];
    if (!readExactly(device, header, kPcxHeaderSize) || fileSize < kPcxMinFileSize ||
        fileSize > kPcxMaxFileSize)
        return false;
    const int w = windowSide(header, 4);
    const int h = windowSide(header, 6);
    if (!headerAccepted(header, w, h))
        return false;

    // The marker byte before the palette is read but not examined.
    const qint64 dataLength = fileSize - kPcxMinFileSize;
    std::unique_ptr<uchar[]> data(new (std::nothrow) uchar[dataLength]);
    char marker;
    uchar palette[kPcxPaletteSize];
    if (!data || !readExactly(device, data.get(), dataLength) || !readExactly(device, &marker, 1) ||
        !readExactly(device, palette, kPcxPaletteSize))
        return false;

    const QImage picture = indexedPicture(w, h, palette, data.get(), dataLength);
    if (picture.isNull() && qint64(w) * h > 0)
        return false;
    image = picture;
    return true;
}

int Texture::paddingFor(int size)
{
    qint64 padded = 4;
    while (size > padded)
        padded *= 2;
    return static_cast<int>(padded - size);
}

quint32 Texture::toRgba(QRgb argb)
{
    return (argb & 0xFF00FF00u) | ((argb >> 16) & 0xFFu) | ((argb & 0xFFu) << 16);
}
