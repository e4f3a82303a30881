#include "playerrun.h"

#include <QDeadlineTimer>
#include <QTest>

PlayerRun::PlayerRun(const QString &folder, const QProcessEnvironment &environment,
                     const QStringList &launcher)
{
    player.setWorkingDirectory(folder);
    player.setProcessEnvironment(environment);
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList command = launcher + QStringList{QStringLiteral(TOVEK2_PLAYER)};
    const QString program = command.takeFirst();
    player.start(program, command);
    started.start();
    // Until the start has been seen, state() says Starting, not Running; checks poll the screen
    // without an event loop, so they wait for it here.
    player.waitForStarted();
}

PlayerRun::~PlayerRun()
{
    if (player.state() != QProcess::NotRunning) {
        player.kill();
        player.waitForFinished();
    }
}

QString PlayerRun::state() const
{
    QString state;
    if (isRunning())
        state = QStringLiteral("running");
    else if (player.exitStatus() == QProcess::CrashExit)
        state = QStringLiteral("crashed");
    else
        state = QStringLiteral("exited with status %1").arg(player.exitCode());
    return QStringLiteral("the player %1 after %2 ms").arg(state).arg(elapsed());
}

QString PlayerRun::showsFullScreen(X11Session &x11)
{
    shown = x11.waitForWindow(QStringLiteral("Tovek2"), kWindowTimeoutMs);
    if (!shown)
        return QStringLiteral("no window titled Tovek2 appeared; ") + state();
    const QRect screen(QPoint(0, 0), x11.screenSize());
    for (QDeadlineTimer deadline(kWindowTimeoutMs); !deadline.hasExpired(); QTest::qWait(50)) {
        if (x11.isFullScreen(shown) && x11.geometry(shown) == screen)
            return QString();
    }
    return QStringLiteral("the window is not full screen over the screen but at %1,%2 %3x%4")
        .arg(x11.geometry(shown).x())
        .arg(x11.geometry(shown).y())
        .arg(x11.geometry(shown).width())
        .arg(x11.geometry(shown).height());
}

QString PlayerRun::closes(X11Session &x11, int timeoutMs, const QString &key)
{
    if (!isRunning())
        return QStringLiteral("nothing to close: ") + state();
    if (key.isEmpty())
        x11.requestClose(shown);
    else
        x11.pressKey(key.toLatin1().constData());
    return exitsCleanly(timeoutMs);
}

QString PlayerRun::exitsCleanly(int timeoutMs)
{
    if (!player.waitForFinished(timeoutMs) && isRunning())
        return QStringLiteral("the player did not exit within %1 ms").arg(timeoutMs);
    if (player.exitStatus() != QProcess::NormalExit || player.exitCode() != 0)
        return state();
    return QString();
}
