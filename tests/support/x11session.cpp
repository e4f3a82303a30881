#include "x11session.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <algorithm>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/scrnsaver.h>

namespace {
constexpr int kPollMs = 50;
constexpr int kExposeTimeoutMs = 30000;
} // namespace

X11Session::X11Session(const QString &displayName)
    : display(XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.toLocal8Bit().constData()))
{}

X11Session::~X11Session()
{
    if (display)
        XCloseDisplay(display);
}

X11Session::WindowId X11Session::waitForWindow(const QString &title, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    do {
        if (const WindowId window = findWindow(DefaultRootWindow(display), title))
            return window;
        QThread::msleep(kPollMs);
    } while (waited.elapsed() < timeoutMs);
    return 0;
}

X11Session::WindowId X11Session::findWindow(WindowId parent, const QString &title)
{
    Window root = 0;
    Window parentOfParent = 0;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root, &parentOfParent, &children, &count))
        return 0;
    WindowId found = 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes))
            continue;
        if (attributes.map_state == IsViewable && titleOf(children[i]) == title)
            found = children[i];
        else
            found = findWindow(children[i], title);
    }
    if (children)
        XFree(children);
    return found;
}

QByteArray X11Session::property(WindowId window, const char *name, unsigned long type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    QByteArray value;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, type,
                           &actualType, &format, &items, &remaining, &data) == Success &&
        data) {
        // Xlib hands 32-bit items back as longs.
        const int itemSize = format == 32 ? int(sizeof(long)) : format / 8;
        value = QByteArray(reinterpret_cast<const char *>(data), int(items) * itemSize);
        XFree(data);
    }
    return value;
}

QString X11Session::titleOf(WindowId window)
{
    return QString::fromUtf8(
        property(window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False)));
}

QRect X11Session::geometry(WindowId window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes))
        return QRect();
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

QSize X11Session::screenSize()
{
    return QSize(DisplayWidth(display, DefaultScreen(display)),
                 DisplayHeight(display, DefaultScreen(display)));
}

bool X11Session::isFullScreen(WindowId window)
{
    const QByteArray states = property(window, "_NET_WM_STATE", XA_ATOM);
    const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    const auto *atoms = reinterpret_cast<const Atom *>(states.constData());
    const auto *end = atoms + states.size() / int(sizeof(Atom));
    return std::find(atoms, end, fullScreen) != end;
}

void X11Session::requestClose(WindowId window)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

QImage X11Session::grabScreen()
{
    const QSize size = screenSize();
    XImage *shot = XGetImage(display, DefaultRootWindow(display), 0, 0, size.width(), size.height(),
                             AllPlanes, ZPixmap);
    if (!shot)
        return QImage();
    // A 24-bit screen keeps each pixel in 32 bits, blue first: QImage's RGB32 in memory.
    const QImage image = QImage(reinterpret_cast<const uchar *>(shot->data), shot->width,
                                shot->height, shot->bytes_per_line, QImage::Format_RGB32)
                             .copy();
    XDestroyImage(shot);
    return image;
}

void X11Session::pressKey(const char *name)
{
    const KeyCode key = XKeysymToKeycode(display, XStringToKeysym(name));
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XTestFakeKeyEvent(display, key, False, CurrentTime);
    XFlush(display);
}

void X11Session::movePointer(const QPoint &to)
{
    XTestFakeMotionEvent(display, -1, to.x(), to.y(), CurrentTime);
    XFlush(display);
}

void X11Session::click(const QPoint &at)
{
    movePointer(at);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XFlush(display);
}

bool X11Session::pointerShows()
{
    XFixesCursorImage *cursor = XFixesGetCursorImage(display);
    if (!cursor)
        return false;
    // Each pixel is ARGB in a long.
    const unsigned long *pixels = cursor->pixels;
    const bool shows = std::any_of(pixels, pixels + cursor->width * cursor->height,
                                   [](unsigned long pixel) { return (pixel >> 24) != 0; });
    XFree(cursor);
    return shows;
}

void X11Session::setScreenSaverTimeout(int seconds)
{
    XSetScreenSaver(display, seconds, 0, DontPreferBlanking, AllowExposures);
    // The screen has been idle since the last input: it starts counting anew.
    XResetScreenSaver(display);
    XFlush(display);
}

bool X11Session::screenSaverIsOn()
{
    XScreenSaverInfo info = {};
    return XScreenSaverQueryInfo(display, DefaultRootWindow(display), &info) &&
           info.state == ScreenSaverOn;
}

QString X11Session::exposureProblem(QWidget *window)
{
    // The window shows, and so do the native windows in it, as the pane's.
    const auto shows = [window] {
        const QWindow *shown = window->windowHandle();
        const QList<QWindow *> inside =
            shown ? shown->findChildren<QWindow *>() : QList<QWindow *>();
        return shown && shown->isExposed() &&
               std::all_of(inside.begin(), inside.end(), [](const QWindow *native) {
                   return !native->isVisible() || native->isExposed();
               });
    };
    if (QTest::qWaitFor(shows, kExposeTimeoutMs))
        return QString();
    QProcess tree;
    tree.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    tree.waitForFinished();
    return QStringLiteral("window 0x%1 was never exposed; the screen holds:\n%2")
        .arg(window->winId(), 0, 16)
        .arg(QString::fromLocal8Bit(tree.readAllStandardOutput()));
}
