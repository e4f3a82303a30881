#include "virtualscreen.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <X11/Xlib.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// As big as the player's usual screen, so the bench's full-screen playback matches it.
const char kScreenGeometry[] = "1920x1080x24";
constexpr int kStartTimeoutMs = 30000;
constexpr int kStopTimeoutMs = 5000;
constexpr int kStopPollMs = 10;

bool x11DisplayOpens()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XCloseDisplay(display);
    return true;
}

// Qt uses Wayland only when told to; otherwise it wants an X display and aborts without one.
bool waylandChosen()
{
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
           qgetenv("QT_QPA_PLATFORM").startsWith("wayland");
}

// Runs in the child between fork and exec, so only async-signal-safe calls.
[[noreturn]] void execXvfb(const char *path, const char *const arguments[], int readyFd, pid_t tool)
{
    // The death signal follows the thread that forked, which is the tool's main thread; the
    // parent check catches a tool that died before the signal was set.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != tool)
        _exit(127);
    // A session of its own, so Ctrl-C on the terminal reaches only the tool, which then
    // stops the screen after its own connection to it has closed.
    setsid();
    fcntl(readyFd, F_SETFD, 0);
    // Xvfb's chatter about keymaps and fonts is no business of the tool's user.
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    // execv's prototype predates const; it does not change its arguments.
    execv(path, const_cast<char *const *>(arguments));
    _exit(127);
}

// The display number Xvfb writes to its -displayfd once it accepts clients, or an empty
// string when it exits or stays silent.
QByteArray readDisplayNumber(int fd)
{
    QByteArray text;
    QElapsedTimer clock;
    clock.start();
    while (!text.contains('\n')) {
        const qint64 left = kStartTimeoutMs - clock.elapsed();
        pollfd ready = {fd, POLLIN, 0};
        const int polled = left > 0 ? poll(&ready, 1, int(left)) : 0;
        if (polled < 0 && errno == EINTR)
            continue;
        char chunk[16];
        const ssize_t count = polled > 0 ? read(fd, chunk, sizeof chunk) : 0;
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return QByteArray();
        text.append(chunk, int(count));
    }
    const QByteArray number = text.left(text.indexOf('\n')).trimmed();
    bool isNumber = false;
    number.toUInt(&isNumber);
    return isNumber ? number : QByteArray();
}

} // namespace

VirtualScreen::~VirtualScreen()
{
    stop();
}

bool VirtualScreen::ensureDisplay()
{
    if (x11DisplayOpens() || waylandChosen())
        return true;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (program.isEmpty()) {
        error = QStringLiteral("no display and no Xvfb to start one: install the Debian "
                               "package xvfb");
        return false;
    }
    return startXvfb(program);
}

bool VirtualScreen::startXvfb(const QString &program)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        error = QStringLiteral("no display, and no pipe to start Xvfb with");
        return false;
    }
    // Everything the child needs is made before the fork.
    const QByteArray path = QFile::encodeName(program);
    const QByteArray readyFd = QByteArray::number(ready[1]);
    const char *const arguments[] = {"Xvfb",      "-displayfd", readyFd.constData(),
                                     "-screen",   "0",          kScreenGeometry,
                                     "-nolisten", "tcp",        nullptr};
    const pid_t tool = getpid();
    xvfb = fork();
    if (xvfb == 0)
        execXvfb(path.constData(), arguments, ready[1], tool);
    close(ready[1]);
    const QByteArray number = xvfb > 0 ? readDisplayNumber(ready[0]) : QByteArray();
    close(ready[0]);
    if (number.isEmpty()) {
        stop();
        error = QStringLiteral("no display, and Xvfb (%1) did not start one").arg(program);
        return false;
    }
    qputenv("DISPLAY", ':' + number);
    qputenv("QT_QPA_PLATFORM", "xcb");
    return true;
}

void VirtualScreen::stop()
{
    if (xvfb <= 0)
        return;
    // Asked politely, Xvfb removes its lock file and socket; one that hangs is killed.
    kill(xvfb, SIGTERM);
    QElapsedTimer clock;
    clock.start();
    while (waitpid(xvfb, nullptr, WNOHANG) == 0) {
        if (clock.elapsed() > kStopTimeoutMs) {
            kill(xvfb, SIGKILL);
            waitpid(xvfb, nullptr, 0);
            break;
        }
        usleep(kStopPollMs * 1000);
    }
    xvfb = -1;
}
