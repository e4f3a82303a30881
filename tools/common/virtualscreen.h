#ifndef VIRTUALSCREEN_H
#define VIRTUALSCREEN_H

#include <QString>

#include <sys/types.h>

// A display for a tool that renders, found before its QApplication exists: the user's own
// when it can be reached, else a private Xvfb on a free display number. The Xvfb lives only
// as long as the tool: it is stopped when this object goes, and dies with the tool when the
// tool is killed outright.
class VirtualScreen
{
public:
    VirtualScreen() = default;
    ~VirtualScreen();
    VirtualScreen(const VirtualScreen &) = delete;
    VirtualScreen &operator=(const VirtualScreen &) = delete;

    // Makes the process's DISPLAY one it can render on; false when there is none and no
    // Xvfb could be started.
    bool ensureDisplay();
    QString errorString() const { return error; }
    // Whether the display is the private Xvfb, which has no window manager.
    bool isPrivate() const { return xvfb > 0; }

private:
    bool startXvfb(const QString &program);
    void stop();

    pid_t xvfb = -1;
    QString error;
};

#endif
