// libFuzzer entry: every input becomes the file the player would load as its texture, read
// the way the player reads it, without a GL context. Beyond the sanitizers' findings it
// aborts on any result the paletted reader must never give.
#include "texture.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The largest texture side of Mesa's software renderer.
constexpr int kLargestTextureSide = 16384;
QString inputPath;

void require(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "picture fuzzer: %s\n", what);
    std::abort();
}

// The file is a paletted picture only when its size and header bytes say so.
bool acceptablePcx(const uint8_t *data, size_t size)
{
    return size >= 897 && size <= 5242879 && data[0] == 10 && data[1] == 5 && data[2] == 1 &&
           data[3] == 8 && data[64] == 0 && data[65] == 1;
}

void checkPalettedRead(const uint8_t *data, size_t size)
{
    const QImage untouched(3, 2, QImage::Format_RGB32);
    QImage image = untouched;
    if (!Texture::readPcx(inputPath, image)) {
        require(image.constBits() == untouched.constBits(), "a rejected file changed the image");
        return;
    }
    require(acceptablePcx(data, size), "accepted a file with a wrong size or header");
    require(image.width() <= 8192 && image.height() <= 8192, "accepted a side above 8192");
    if (image.isNull())
        return;
    require(image.format() == QImage::Format_Indexed8, "the picture is not indexed");
    require(image.colorCount() == 256, "the palette has not 256 colours");
    for (int index = 0; index < 256; ++index)
        require(qAlpha(image.color(index)) == (index == 255 ? 0 : 255), "wrong palette alpha");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Qt finds its image format plugins through the application object.
    static int argc = 1;
    static char name[] = "tovek2-picture-fuzzer";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    static QTemporaryDir folder;
    require(folder.isValid(), "no temporary folder");
    inputPath = folder.filePath(QStringLiteral("round.png"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QFile file(inputPath);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input");
    require(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size),
            "cannot write the input");
    file.close();

    checkPalettedRead(data, size);
    const QImage picture = Texture::picture(inputPath, kLargestTextureSide);
    // Only an empty paletted picture is null: every other outcome has pixels to upload.
    if (picture.isNull()) {
        QImage paletted;
        require(Texture::readPcx(inputPath, paletted) && paletted.isNull(),
                "the picture is null but not an empty paletted picture");
    }
    return 0;
}
