#ifndef X11SESSION_H
#define X11SESSION_H

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QString>

class QWidget;
struct _XDisplay;

// Looks at the screen the way a user and a window manager do: finds top-level windows by
// title, reads their geometry and state, grabs what the screen shows and asks windows to
// close through the window-manager protocol.
class X11Session
{
public:
    using WindowId = unsigned long;

    // The display named, or the one DISPLAY names.
    explicit X11Session(const QString &displayName = QString());
    ~X11Session();
    X11Session(const X11Session &) = delete;
    X11Session &operator=(const X11Session &) = delete;

    bool isOpen() const { return display != nullptr; }
    // The viewable window titled title, waiting up to timeoutMs for it; 0 when none shows.
    WindowId waitForWindow(const QString &title, int timeoutMs);
    QRect geometry(WindowId window);
    QSize screenSize();
    bool isFullScreen(WindowId window);
    // Sends WM_DELETE_WINDOW, as a window manager does when the user closes a window.
    void requestClose(WindowId window);
    QImage grabScreen();

    // Input as a user gives it, through the XTEST extension: a key (named as X names it,
    // "Escape", "space", "q") pressed and let go where the keyboard's focus is, the pointer
    // moved to a point of the screen, and its first button clicked there.
    void pressKey(const char *name);
    void movePointer(const QPoint &to);
    void click(const QPoint &at);
    // Whether the pointer shows any pixel where it stands (XFIXES' cursor image).
    bool pointerShows();
    // The server's own screen saver: how long the screen may idle, and whether it has started.
    void setScreenSaverTimeout(int seconds);
    bool screenSaverIsOn();

    // Empty once the window and the native windows in it show on the screen, waiting as long
    // as a busy machine's window manager can take (far longer than QtTest's default);
    // otherwise the screen's window tree, which tells whether the window manager ever framed
    // and mapped it.
    static QString exposureProblem(QWidget *window);

private:
    WindowId findWindow(WindowId parent, const QString &title);
    QString titleOf(WindowId window);
    // The raw items of a window property of the given type; empty when it has none.
    QByteArray property(WindowId window, const char *name, unsigned long type);

    _XDisplay *display;
};

// Fails the running test with the problem a check returns (exposureProblem's, a player's), if
// any.
#define VERIFY_NO_PROBLEM(check)                                                                   \
    do {                                                                                           \
        const QString problem = (check);                                                           \
        QVERIFY2(problem.isEmpty(), qPrintable(problem));                                          \
    } while (false)

#endif
