// libFuzzer entry for the texture's picture loading: every input is read from memory the way
// the player reads its picture file, Qt's readers first, then the paletted reader, then the
// placeholder, without a GL context.
#include "fuzztarget.h"
#include "texture.h"

#include <QImage>

namespace {

// The largest texture side of Mesa's software renderer, as the player would pass it.
constexpr int kLargestTextureSide = 16384;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzTarget::startApplication("tovek2-picture-fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (FuzzTarget::claimsLargePicture(data, size))
        return -1;
    QBuffer input;
    FuzzTarget::openInput(input, data, size);
    const QImage picture = Texture::picture(input, kLargestTextureSide);
    // Only an empty paletted picture is null: every other outcome has pixels to upload.
    if (picture.isNull()) {
        QImage paletted;
        FuzzTarget::require(Texture::readPcx(input, paletted) && paletted.isNull(),
                            "the picture is null but not an empty paletted picture");
    }
    return 0;
}
