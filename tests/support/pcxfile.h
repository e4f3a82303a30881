#ifndef PCXFILE_H
#define PCXFILE_H

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <QString>
#include <QVector>

// Builds 8-bit paletted run-length-coded (PCX) files byte by byte: a 128-byte header, the
// coded pixel data, a marker byte and a 768-byte palette. It starts as a well-formed 1 x 1
// picture of index 0 with a black palette; every field can be set to any value, valid or not, so
// that tests and fuzzing seeds can make exactly the file they need.
class PcxFile
{
public:
    static constexpr int kHeaderSize = 128;
    static constexpr int kPaletteSize = 768;
    static constexpr quint8 kPaletteMarker = 0x0C;

    PcxFile();

    // A file holding an Indexed8 picture, rows coded one after another, its colour table as
    // the palette.
    static PcxFile fromImage(const QImage &indexed);
    // Run-length coding of the picture's indices row by row, without row padding; runs stop
    // at row ends and indices of 0xC0 and above are written as runs of one.
    static QByteArray encodeRuns(const QImage &indexed);

    void setHeaderByte(int offset, quint8 value);
    void setHeaderWord(int offset, quint16 value);
    void setManufacturer(quint8 value) { setHeaderByte(0, value); }
    void setVersion(quint8 value) { setHeaderByte(1, value); }
    void setEncoding(quint8 value) { setHeaderByte(2, value); }
    void setBitsPerPixel(quint8 value) { setHeaderByte(3, value); }
    void setWindow(quint16 xMin, quint16 yMin, quint16 xMax, quint16 yMax);
    // The window (0, 0)-(width - 1, height - 1), starting at 1 on an empty side, and as many
    // bytes per line as width.
    void setSize(int width, int height);
    void setResolution(quint16 horizontal, quint16 vertical);
    void setReserved(quint8 value) { setHeaderByte(64, value); }
    void setPlanes(quint8 value) { setHeaderByte(65, value); }
    void setBytesPerLine(quint16 value) { setHeaderWord(66, value); }

    void setData(const QByteArray &data) { pixelData = data; }
    void setMarker(quint8 value) { marker = value; }
    void setPaletteColour(int index, QRgb colour);
    // Palette entries from colours, in order; the rest stay as they are.
    void setPalette(const QVector<QRgb> &colours);

    QByteArray bytes() const;
    // The whole file, or only its first length bytes when length is not negative.
    bool write(const QString &path, int length = -1) const;

private:
    QByteArray header;
    QByteArray pixelData;
    quint8 marker;
    QByteArray palette;
};

#endif
