#ifndef FRAMETRACE_H
#define FRAMETRACE_H

#include "glcall.h"

#include <QSize>
#include <QString>
#include <QVector>

// Records the OpenGL calls with which tovek2-still draws one frame: the still renderer runs
// under "apitrace trace", and the frame is cut out of "apitrace dump".
namespace FrameTrace {

// Renders the frame at clock in folder (which must hold a round.png) and returns its calls;
// on failure returns false with the reason in error.
bool record(const QString &folder, int clock, const QSize &size, QVector<GlCall> *frame,
            QString *error);

// One line of "apitrace dump" ("12 glVertex3f(x = 1, y = 0, z = 0)"); false for lines that
// are not calls.
bool parseLine(const QString &line, GlCall *call);

// The calls of the one frame in a whole trace. Qt and the renderer wrap the pane's repaint in
// context, framebuffer and query calls that the scenes never make; the frame is the run of
// calls between them that opens with the clear colour.
bool cutFrame(const QVector<GlCall> &trace, QVector<GlCall> *frame, QString *error);

} // namespace FrameTrace

#endif
