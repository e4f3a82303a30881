#ifndef CALLPLAYER_H
#define CALLPLAYER_H

#include "glcall.h"

#include <QString>
#include <QVector>

// Plays recorded scene calls into the current OpenGL context: the immediate-mode drawing,
// matrix and switch calls that the scenes make, with their arguments as recorded.
namespace CallPlayer {

// False, with the offending call in error, for a call or symbol it does not know.
bool play(const QVector<GlCall> &calls, QString *error);

} // namespace CallPlayer

#endif
