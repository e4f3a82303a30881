#ifndef EXPECTEDFRAME_H
#define EXPECTEDFRAME_H

#include "glcall.h"

#include <QSize>
#include <QVector>

// The OpenGL calls one frame of the show must issue, worked out from the show's tables: the
// scene the clock selects, its opening (band, switches, camera, time turns, scale) and its
// drawing. Floats read as apitrace prints them (seven significant digits).
namespace ExpectedFrame {

QVector<GlCall> calls(int clock, const QSize &size);
// The name of the scene the clock selects, for messages.
QString sceneName(int clock);

} // namespace ExpectedFrame

#endif
