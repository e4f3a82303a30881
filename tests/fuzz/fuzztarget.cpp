#include "fuzztarget.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kLargestPcxSide = 8192;
// The paletted reader allocates its picture from the header alone, so a few hundred bytes can
// claim 8192 x 8192 pixels; under AddressSanitizer, mapping, poisoning and unmapping 64 MiB
// for each such input took 95% of the fuzzing time. Up to 128 KiB, a picture comes from the
// sanitizer's own pools instead. The reader's code is the same for every size, and the unit
// suites read the largest picture.
constexpr qint64 kPixelBudget = 128 * 1024;

int littleEndian16(const uint8_t *bytes)
{
    return bytes[0] | (bytes[1] << 8);
}

} // namespace

namespace FuzzTarget {

void startApplication(const char *name)
{
    static int argc = 1;
    static char *argv[] = {const_cast<char *>(name), nullptr};
    static QCoreApplication application(argc, argv);
}

void require(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz target: %s\n", what);
    std::abort();
}

bool palettedHeader(const uint8_t *data, size_t size)
{
    return size >= 897 && size <= 5242879 && data[0] == 10 && data[1] == 5 && data[2] == 1 &&
           data[3] == 8 && data[64] == 0 && data[65] == 1;
}

bool claimsLargePicture(const uint8_t *data, size_t size)
{
    if (!palettedHeader(data, size))
        return false;
    // The window Xmin, Ymin, Xmax, Ymax at offsets 4 to 11.
    const int width = littleEndian16(data + 8) - littleEndian16(data + 4) + 1;
    const int height = littleEndian16(data + 10) - littleEndian16(data + 6) + 1;
    return width > 0 && height > 0 && width <= kLargestPcxSide && height <= kLargestPcxSide &&
           qint64(width) * height > kPixelBudget;
}

void openInput(QBuffer &buffer, const uint8_t *data, size_t size)
{
    buffer.setData(QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size)));
    require(buffer.open(QIODevice::ReadOnly), "cannot open the input's buffer");
}

} // namespace FuzzTarget
