// Preloaded into a player under test: logs one line for each frame a scene opens, its band
// colour and the angle of its first time rotation, from which the frame's clock follows. It
// sees the calls the pane makes and changes none of them.
#include <GL/gl.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

enum class Awaiting
{
    FrameStart,
    Band,
    Rotation
};

Awaiting awaiting = Awaiting::FrameStart;
GLfloat band[3];

template <typename Function> Function next(const char *name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

void logFrame(GLfloat angle)
{
    static const int log = [] {
        const char *path = std::getenv("TOVEK2_FRAME_LOG");
        return path ? open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600) : -1;
    }();
    char line[128];
    const int length =
        std::snprintf(line, sizeof line, "%.9g %.9g %.9g %.9g\n", band[0], band[1], band[2], angle);
    // A frame a line, written whole, so that a player that is killed leaves whole lines.
    if (log >= 0 && write(log, line, size_t(length)) != length)
        std::abort();
}

} // namespace

// Every scene opens its frame by clearing to transparent black, then sets its band colour.
extern "C" void glClearColor(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    static const auto real = next<void (*)(GLfloat, GLfloat, GLfloat, GLfloat)>("glClearColor");
    if (red == 0 && green == 0 && blue == 0 && alpha == 0) {
        awaiting = Awaiting::Band;
    } else if (awaiting == Awaiting::Band) {
        band[0] = red;
        band[1] = green;
        band[2] = blue;
        awaiting = Awaiting::Rotation;
    }
    real(red, green, blue, alpha);
}

extern "C" void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    static const auto real = next<void (*)(GLfloat, GLfloat, GLfloat, GLfloat)>("glRotatef");
    if (awaiting == Awaiting::Rotation) {
        logFrame(angle);
        awaiting = Awaiting::FrameStart;
    }
    real(angle, x, y, z);
}
