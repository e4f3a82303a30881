#ifndef TEXTURE_H
#define TEXTURE_H

#include <QRgb>
#include <QtGlobal>

class QIODevice;
class QImage;
class QString;

// The demo's one texture: the sizes of the picture last uploaded to the bound
// GL_TEXTURE_2D and of the power-of-two texture that holds it.
class Texture
{
public:
    Texture();

    // Defines level 0 of the texture bound to GL_TEXTURE_2D from fileName, falling back to
    // the paletted reader and then to an opaque red placeholder; leaves GL_NEAREST filters.
    void load(const QString &fileName);
    // The picture load uploads: Qt's reading of fileName, else the paletted reader, else the
    // opaque red placeholder. Qt does not decode a picture whose header claims a side above
    // largestSide. Needs no GL context.
    static QImage picture(const QString &fileName, int largestSide);
    // The same from a file or a buffer in memory just opened for reading.
    static QImage picture(QIODevice &device, int largestSide);

    // Reads an 8-bit paletted run-length-coded (PCX) picture; leaves image as it was on failure.
    static bool readPcx(const QString &fileName, QImage &image);
    // The same from the whole of a file or a buffer in memory open for reading, from its
    // first byte whatever its position.
    static bool readPcx(QIODevice &device, QImage &image);
    // Texels to add to size to reach the next power of two that is at least 4.
    static int paddingFor(int size);
    // 0xAARRGGBB to 0xAABBGGRR: the bytes red, green, blue, alpha in little-endian memory.
    static quint32 toRgba(QRgb argb);

    int width;
    int height;
    int paddedWidth;
    int paddedHeight;

private:
    // Pads, converts and uploads image; false when the texture cannot hold it.
    bool upload(const QImage &image);
};

#endif
