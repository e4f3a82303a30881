#include "displaycheck.h"

#include <QCoreApplication>

#include <X11/Xlib.h>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("DisplayCheck", text);
}

// The value of one of Qt's own options, which Qt takes with one dash or two; the last counts.
QByteArray qtOption(int argc, char **argv, const QByteArray &name)
{
    QByteArray value;
    for (int index = 1; index + 1 < argc; ++index) {
        QByteArray argument(argv[index]);
        if (argument.startsWith("--"))
            argument.remove(0, 1);
        if (argument == '-' + name)
            value = argv[++index];
    }
    return value;
}

// With no platform named, Qt 6 tries Wayland first wherever a Wayland display is named or the
// session is a Wayland one, Qt 5 only in a Wayland session; both then try X11.
QByteArrayList defaultPlatforms()
{
    const bool waylandSession = qgetenv("XDG_SESSION_TYPE") == "wayland";
    const bool waylandNamed = QT_VERSION_MAJOR >= 6 && qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (waylandSession || waylandNamed)
        return {"wayland", "xcb"};
    return {"xcb"};
}

// A platform named on the command line or in QT_QPA_PLATFORM is a list that Qt tries in turn,
// each name perhaps followed by arguments after a colon.
QByteArrayList platformsQtTries(int argc, char **argv)
{
    QByteArray named = qtOption(argc, argv, "platform");
    if (named.isEmpty())
        named = qgetenv("QT_QPA_PLATFORM");
    if (named.isEmpty())
        return defaultPlatforms();
    QByteArrayList names;
    for (const QByteArray &entry : named.split(';'))
        names << entry.split(':').constFirst().toLower();
    return names;
}

// Where libwayland connects: WAYLAND_DISPLAY, or wayland-0 when it is not set, in
// XDG_RUNTIME_DIR unless it is a path of its own. Empty where there is no such place.
QByteArray waylandSocketPath()
{
    const QByteArray name = qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
                                ? qgetenv("WAYLAND_DISPLAY")
                                : QByteArrayLiteral("wayland-0");
    if (name.startsWith('/'))
        return name;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return runtime.startsWith('/') ? runtime + '/' + name : QByteArray();
}

bool socketAccepts(const QByteArray &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int socketFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketFd < 0)
        return false;
    const bool accepted =
        connect(socketFd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    close(socketFd);
    return accepted;
}

} // namespace

DisplayCheck::DisplayCheck(int argc, char **argv)
    : platforms(platformsQtTries(argc, argv)), x11Display(qtOption(argc, argv, "display"))
{
    if (x11Display.isEmpty())
        x11Display = qgetenv("DISPLAY");
}

QString DisplayCheck::missing() const
{
    QStringList reasons;
    for (const QByteArray &platform : platforms) {
        if (reachable(platform, &reasons))
            return QString();
    }
    return reasons.join(translated("; "));
}

// Platforms other than X11 and Wayland (offscreen, eglfs, vnc, ...) are left to Qt.
bool DisplayCheck::reachable(const QByteArray &platform, QStringList *reasons) const
{
    if (platform == "xcb")
        return x11DisplayOpens(reasons);
    if (platform.startsWith("wayland"))
        return waylandDisplayConnects(reasons);
    return true;
}

bool DisplayCheck::x11DisplayOpens(QStringList *reasons) const
{
    if (x11Display.isEmpty()) {
        *reasons << translated("DISPLAY is not set");
        return false;
    }
    Display *display = XOpenDisplay(x11Display.constData());
    if (!display) {
        *reasons << translated("the X display %1 cannot be opened")
                        .arg(QString::fromLocal8Bit(x11Display));
        return false;
    }
    XCloseDisplay(display);
    return true;
}

bool DisplayCheck::waylandDisplayConnects(QStringList *reasons)
{
    // Qt's Wayland connection then takes the socket that the compositor handed over.
    if (qEnvironmentVariableIsSet("WAYLAND_SOCKET"))
        return true;
    const QByteArray path = waylandSocketPath();
    if (socketAccepts(path))
        return true;
    *reasons << (path.isEmpty()
                     ? translated("no Wayland display (XDG_RUNTIME_DIR is not set)")
                     : translated("no Wayland display at %1").arg(QString::fromLocal8Bit(path)));
    return false;
}
