#ifndef TESTMEDIA_H
#define TESTMEDIA_H

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPair>
#include <QPointF>
#include <QString>

// Inputs the tests make for themselves: music synthesised with sox, pictures drawn with
// QImage, and colour comparisons that allow for 8-bit rounding.
namespace TestMedia {

// A two-tone MP3 of the given length; false (with a warning) if sox failed.
bool writeTune(const QString &path, double seconds);
// A square picture of one colour, saved as PNG.
bool writeUniformPicture(const QString &path, QRgb colour, int side = 16);
// A show in folder: a tune of the given length as "desert.mp3" (none for 0 s) and a fully
// transparent "round.png", which leaves only each scene's band on the screen.
bool writeShow(const QString &folder, double tuneSeconds);
// A show in folder whose picture changes from frame to frame: a 20-s tune and a picture that
// shows on the turning planes.
bool writeMovingShow(const QString &folder);
// A 64 x 64 picture with transparent corners and a soft ellipse of rings, white at its centre
// through middle to a transparent edge colour, so that the alpha test, blending and the
// texture coordinates all show in a frame.
QImage ringedDisc(const QColor &middle, const QColor &edge, QPointF centre, double radiusX,
                  double radiusY);
// A small JPEG whose frame header claims width x height: a decoder that believes the header
// fills that many pixels.
QByteArray jpegClaiming(quint16 width, quint16 height);
// Rows of column x in the colour, as (first row above the bottom edge, number of rows);
// (-1, 0) when no row is.
QPair<int, int> bandRows(const QImage &image, int x, QRgb colour);
// The 8-bit colour a GL colour of components from 0 to 1 is stored as.
QRgb storedColour(float red, float green, float blue);
// True when each channel differs by at most tolerance.
bool closeColours(QRgb actual, QRgb expected, int tolerance = 2);
// "#rrggbb" for failure messages.
QString describe(QRgb colour);

} // namespace TestMedia

#endif
