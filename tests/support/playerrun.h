#ifndef PLAYERRUN_H
#define PLAYERRUN_H

#include "x11session.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

// The real player, started in a folder as a desktop starts it, and watched as a user sees it:
// its full-screen window on the X screen, and how it ends. Checks return what went wrong, or
// nothing; VERIFY_NO_PROBLEM fails a test with it. A player still running at the end is killed.
class PlayerRun
{
public:
    // However busy the machine, a window shows within this, and a closed player exits.
    static constexpr int kWindowTimeoutMs = 30000;
    static constexpr int kExitTimeoutMs = 15000;

    // The player runs through launcher (a program and its arguments) where one is given.
    explicit PlayerRun(
        const QString &folder,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
        const QStringList &launcher = QStringList());
    ~PlayerRun();
    PlayerRun(const PlayerRun &) = delete;
    PlayerRun &operator=(const PlayerRun &) = delete;

    QProcess &process() { return player; }
    // Milliseconds since the player started.
    qint64 elapsed() const { return started.elapsed(); }
    bool isRunning() const { return player.state() == QProcess::Running; }
    // "running", "exited with status N" or "crashed", with how long it ran.
    QString state() const;

    // Waits for the window titled "Tovek2" to be shown full screen over the whole screen.
    QString showsFullScreen(X11Session &x11);
    X11Session::WindowId window() const { return shown; }
    // Asks the window to close as a window manager does, or presses the key named, and expects
    // the player to exit with status 0 within timeoutMs.
    QString closes(X11Session &x11, int timeoutMs = kExitTimeoutMs, const QString &key = QString());
    // Expects the player to exit with status 0 within timeoutMs of now.
    QString exitsCleanly(int timeoutMs = kExitTimeoutMs);

private:
    QProcess player;
    QElapsedTimer started;
    X11Session::WindowId shown = 0;
};

#endif
