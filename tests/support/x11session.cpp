#include "x11session.h"

#include <QElapsedTimer>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {
constexpr int kPollMs = 50;
} // namespace

X11Session::X11Session() : display(XOpenDisplay(nullptr))
{
}

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

QString X11Session::titleOf(WindowId window)
{
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    QString title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format,
                           &items, &remaining, &data) == Success &&
        data) {
        title = QString::fromUtf8(reinterpret_cast<const char *>(data), int(items));
        XFree(data);
    }
    return title;
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
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long remaining = 0;
    unsigned char *data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display, window, state, 0, 64, False, XA_ATOM, &type, &format, &items,
                           &remaining, &data) == Success &&
        data) {
        const Atom *atoms = reinterpret_cast<const Atom *>(data);
        for (unsigned long i = 0; i < items; ++i)
            found = found || atoms[i] == fullScreen;
        XFree(data);
    }
    return found;
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
    XImage *shot = XGetImage(display, DefaultRootWindow(display), 0, 0, size.width(),
                             size.height(), AllPlanes, ZPixmap);
    if (!shot)
        return QImage();
    // A 24-bit screen keeps each pixel in 32 bits, blue first: QImage's RGB32 in memory.
    const QImage image = QImage(reinterpret_cast<const uchar *>(shot->data), shot->width,
                                shot->height, shot->bytes_per_line, QImage::Format_RGB32)
                             .copy();
    XDestroyImage(shot);
    return image;
}
