#include "pcxfile.h"

#include <QFile>

namespace {

constexpr quint8 kRunFlag = 0xC0;
constexpr int kLongestRun = 63;

void appendRun(QByteArray &out, quint8 value, int length)
{
    if (length == 1 && value < kRunFlag) {
        out.append(char(value));
        return;
    }
    out.append(char(kRunFlag | length));
    out.append(char(value));
}

} // namespace

PcxFile::PcxFile()
    : header(kHeaderSize, '\0'), pixelData(1, '\0'), marker(kPaletteMarker),
      palette(kPaletteSize, '\0')
{
    setManufacturer(10);
    setVersion(5);
    setEncoding(1);
    setBitsPerPixel(8);
    setSize(1, 1);
    setPlanes(1);
}

PcxFile PcxFile::fromImage(const QImage &indexed)
{
    PcxFile file;
    file.setSize(indexed.width(), indexed.height());
    file.setData(encodeRuns(indexed));
    file.setPalette(indexed.colorTable());
    return file;
}

QByteArray PcxFile::encodeRuns(const QImage &indexed)
{
    QByteArray out;
    for (int y = 0; y < indexed.height(); ++y) {
        const uchar *row = indexed.constScanLine(y);
        int x = 0;
        while (x < indexed.width()) {
            int length = 1;
            while (x + length < indexed.width() && length < kLongestRun &&
                   row[x + length] == row[x])
                ++length;
            appendRun(out, row[x], length);
            x += length;
        }
    }
    return out;
}

void PcxFile::setHeaderByte(int offset, quint8 value)
{
    header[offset] = char(value);
}

void PcxFile::setHeaderWord(int offset, quint16 value)
{
    setHeaderByte(offset, quint8(value & 0xFF));
    setHeaderByte(offset + 1, quint8(value >> 8));
}

void PcxFile::setWindow(quint16 xMin, quint16 yMin, quint16 xMax, quint16 yMax)
{
    setHeaderWord(4, xMin);
    setHeaderWord(6, yMin);
    setHeaderWord(8, xMax);
    setHeaderWord(10, yMax);
}

void PcxFile::setSize(int width, int height)
{
    // A side of 0 needs a max one below its min, which a window starting at 0 cannot have.
    const quint16 xMin = width == 0 ? 1 : 0;
    const quint16 yMin = height == 0 ? 1 : 0;
    setWindow(xMin, yMin, quint16(xMin + width - 1), quint16(yMin + height - 1));
    setBytesPerLine(quint16(width));
}

void PcxFile::setResolution(quint16 horizontal, quint16 vertical)
{
    setHeaderWord(12, horizontal);
    setHeaderWord(14, vertical);
}

void PcxFile::setPaletteColour(int index, QRgb colour)
{
    palette[3 * index] = char(qRed(colour));
    palette[3 * index + 1] = char(qGreen(colour));
    palette[3 * index + 2] = char(qBlue(colour));
}

void PcxFile::setPalette(const QVector<QRgb> &colours)
{
    for (int index = 0; index < colours.size() && index < kPaletteSize / 3; ++index)
        setPaletteColour(index, colours[index]);
}

QByteArray PcxFile::bytes() const
{
    return header + pixelData + char(marker) + palette;
}

bool PcxFile::write(const QString &path, int length) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray all = bytes();
    const QByteArray written = length < 0 ? all : all.left(length);
    return file.write(written) == written.size();
}
