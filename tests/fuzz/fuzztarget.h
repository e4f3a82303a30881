#ifndef FUZZTARGET_H
#define FUZZTARGET_H

#include <QBuffer>

#include <cstddef>
#include <cstdint>

// What the picture fuzz targets share: the application object, made once, and each input
// read from memory the way a file would be.
namespace FuzzTarget {

// Qt finds its image format plugins through the application object.
void startApplication(const char *name);
// Unless condition holds, says what went wrong and aborts, so that libFuzzer keeps the input.
void require(bool condition, const char *what);
// True when the input's size and header bytes are those of a paletted picture.
bool palettedHeader(const uint8_t *data, size_t size);
// True for a paletted picture whose window claims more pixels than the fuzz targets read:
// within the reader's limits of 8192 a side, but more than 128 Ki pixels.
bool claimsLargePicture(const uint8_t *data, size_t size);
// Opens buffer for reading over the input's bytes, without copying them.
void openInput(QBuffer &buffer, const uint8_t *data, size_t size);

} // namespace FuzzTarget

#endif
