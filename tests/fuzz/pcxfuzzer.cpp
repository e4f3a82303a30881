// libFuzzer entry for the paletted (PCX) reader: every input is read from memory as the reader
// reads a file. Beyond the sanitizers' findings it aborts on any result the reader must never
// give.
#include "fuzztarget.h"
#include "texture.h"

#include <QImage>

using FuzzTarget::require;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::startApplication("tovek2-pcx-fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (FuzzTarget::claimsLargePicture(data, size))
        return -1;
    QBuffer input;
    FuzzTarget::openInput(input, data, size);
    const QImage untouched(3, 2, QImage::Format_RGB32);
    QImage image = untouched;
    if (!Texture::readPcx(input, image)) {
        require(image.constBits() == untouched.constBits(), "a rejected file changed the image");
        return 0;
    }
    require(FuzzTarget::palettedHeader(data, size), "accepted a file with a wrong size or header");
    require(image.width() <= 8192 && image.height() <= 8192, "accepted a side above 8192");
    if (image.isNull())
        return 0;
    require(image.format() == QImage::Format_Indexed8, "the picture is not indexed");
    require(image.colorCount() == 256, "the palette has not 256 colours");
    for (int index = 0; index < 256; ++index)
        require(qAlpha(image.color(index)) == (index == 255 ? 0 : 255), "wrong palette alpha");
    return 0;
}
