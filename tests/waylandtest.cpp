// The real player on Wayland desktops: weston, with and without an X server beside it, and the
// compositors of GNOME and KDE (mutter, KWin), each nested in a virtual X screen of its own, as a
// desktop session would be, with something coloured behind the player. The show must reach the
// screen opaque and whole, or the player must say why it cannot and fail.
#include "idlestandin.h"
#include "playerrun.h"
#include "privatesession.h"
#include "testmedia.h"
#include "toolrun.h"

#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {

// A sanitized player on a busy machine can take this long to fill the screen; the wait ends as
// soon as the band shows.
constexpr int kShowTimeoutMs = 60000;
// Each monitor's size in device pixels; two monitors stand side by side on a larger screen.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 720;
const QSize kTwoMonitorScreen(2600, 800);
// However busy the machine, the show answers a key within this.
constexpr int kKeyAnswerMs = 10000;
// How far a window's shadow reaches onto the next monitor in GNOME.
constexpr int kShadowWidth = 16;
const QString kSocket = QStringLiteral("tovek2-test");
// What mutter and KWin draw behind the player, and weston's background: none is black, so a
// see-through pane shows it in the bars.
const QRgb kBackdrop = qRgb(150, 75, 0);

enum class Desktop
{
    Weston,
    Gnome,
    Kde
};

// A compositor in a private session, drawing into a virtual X screen of its own, as on a desktop,
// with XWayland where withX (weston starts it for the first X client; mutter and KWin always offer
// one). Mutter and KWin start an X client of the suite's own, which learns the session's X display
// and lays the backdrop over the screen. Scales holds each monitor's output scale; only mutter
// gets more than one monitor.
class Session
{
public:
    Session(Desktop desktop, const QString &scales, bool withX)
        : desktop(desktop), scales(scales), scale(scales.section(QLatin1Char(','), 0, 0).toInt()),
          monitors(scales.count(QLatin1Char(',')) + 1), withX(withX)
    {
        // XWayland listens where every X server does.
        QDir().mkpath(QStringLiteral("/tmp/.X11-unix"));
    }

    // Starts the session; what went wrong, if anything: a program ./run-tests installs that is
    // missing, named with its package, or what the servers printed.
    QString start()
    {
        const QString missing = missingProgram();
        if (!missing.isEmpty())
            return missing;
        const QSize screen = monitors == 1 ? QSize(kScreenWidth, kScreenHeight) : kTwoMonitorScreen;
        if (!session.startBus() || !session.startScreen(screen, &screenDisplay))
            return QString::fromLocal8Bit(session.log());
        host = std::make_unique<X11Session>(screenDisplay);
        // With no window manager on the screen, keys go where the pointer is: on the first
        // monitor, where it stays, out of the pictures compared.
        host->movePointer(QPoint(kScreenWidth / 2, kScreenHeight / 2));
        const bool started = desktop == Desktop::Weston ? startWeston() : startNested();
        return started ? QString() : QString::fromLocal8Bit(session.log());
    }

    // A desktop session's environment: the player chooses its platform as it would there.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment desktopSession = session.environment;
        desktopSession.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
        desktopSession.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        if (desktop != Desktop::Weston)
            desktopSession.insert(QStringLiteral("XDG_CURRENT_DESKTOP"),
                                  desktop == Desktop::Gnome ? QStringLiteral("GNOME")
                                                            : QStringLiteral("KDE"));
        for (const auto &name : {QStringLiteral("DISPLAY"), QStringLiteral("XAUTHORITY")})
            if (xSession.contains(name))
                desktopSession.insert(name, xSession.value(name));
        return desktopSession;
    }

    QDBusConnection bus() const { return session.bus(); }
    // What a monitor of the compositor shows, on the virtual screen it draws into.
    QImage grabMonitor(int monitor = 0)
    {
        return host->grabScreen().copy(monitor * kScreenWidth, 0, kScreenWidth, kScreenHeight);
    }
    int monitorCount() const { return monitors; }
    // A key pressed on the keyboard the compositor reads.
    void pressKey(const char *name) { host->pressKey(name); }

private:
    // A program the desktop needs that is not installed, with the package it comes in.
    QString missingProgram() const
    {
        const QList<QPair<QString, QString>> needed = {
            {compositorProgram(), compositorPackage()},
            {QStringLiteral("Xvfb"), QStringLiteral("xvfb")},
            {QStringLiteral("dbus-daemon"), QStringLiteral("dbus-daemon")},
            {QStringLiteral("xmessage"), QStringLiteral("x11-utils")}};
        for (const auto &program : needed)
            if (QStandardPaths::findExecutable(program.first).isEmpty())
                return QStringLiteral("%1 is not installed (Debian package %2)")
                    .arg(program.first, program.second);
        return QString();
    }

    QString compositorProgram() const
    {
        switch (desktop) {
        case Desktop::Gnome:
            return QStringLiteral("mutter");
        case Desktop::Kde:
            return QStringLiteral("kwin_wayland");
        default:
            return QStringLiteral("weston");
        }
    }

    QString compositorPackage() const
    {
        return desktop == Desktop::Kde ? QStringLiteral("kwin-wayland") : compositorProgram();
    }

    QProcessEnvironment onScreen() const
    {
        QProcessEnvironment environment = session.environment;
        environment.insert(QStringLiteral("DISPLAY"), screenDisplay);
        return environment;
    }

    bool socketExists() const { return QFile::exists(session.path(kSocket)); }

    bool startWeston()
    {
        // A coloured background, and no panel: a window that is not full screen leaves the
        // background in view, whatever the shell does with its panel.
        QFile config(session.path(QStringLiteral("weston.ini")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("[shell]\nbackground-color=0xff%1\npanel-position=none\n")
                         .arg(kBackdrop & 0xffffff, 6, 16, QLatin1Char('0'))
                         .toLatin1());
        config.close();
        // The output's size is given in logical pixels.
        QStringList arguments = {QStringLiteral("--backend=x11-backend.so"),
                                 QStringLiteral("--config=") + config.fileName(),
                                 QStringLiteral("--width=%1").arg(kScreenWidth / scale),
                                 QStringLiteral("--height=%1").arg(kScreenHeight / scale),
                                 QStringLiteral("--scale=%1").arg(scale),
                                 QStringLiteral("--socket=") + kSocket};
        if (withX)
            arguments << QStringLiteral("--xwayland");
        static const QRegularExpression listening(
            QStringLiteral("xserver listening on display (:\\d+)"));
        return session.start(QStringLiteral("weston"), arguments, onScreen(), [&] {
            const QRegularExpressionMatch match =
                listening.match(QString::fromLocal8Bit(session.log()));
            if (match.hasMatch())
                xSession.insert(QStringLiteral("DISPLAY"), match.captured(1));
            return socketExists() && (!withX || match.hasMatch()) &&
                   host->grabScreen().pixel(2, kScreenHeight / 2) == kBackdrop;
        });
    }

    bool startNested()
    {
        QProcessEnvironment nested = onScreen();
        QString program = compositorProgram();
        QStringList arguments;
        if (desktop == Desktop::Gnome) {
            nested.insert(QStringLiteral("MUTTER_DEBUG_DUMMY_MODE_SPECS"),
                          QStringLiteral("%1x%2").arg(kScreenWidth).arg(kScreenHeight));
            nested.insert(QStringLiteral("MUTTER_DEBUG_NUM_DUMMY_MONITORS"),
                          QString::number(monitors));
            nested.insert(QStringLiteral("MUTTER_DEBUG_DUMMY_MONITOR_SCALES"), scales);
            arguments = QStringList{QStringLiteral("--nested"), QStringLiteral("--wayland"),
                                    QStringLiteral("--wayland-display=") + kSocket};
        } else {
            program = kwinCopy();
            arguments =
                QStringList{QStringLiteral("--x11-display"), screenDisplay,
                            QStringLiteral("--width"),       QString::number(kScreenWidth / scale),
                            QStringLiteral("--height"),      QString::number(kScreenHeight / scale),
                            QStringLiteral("--scale"),       QString::number(scale),
                            QStringLiteral("--socket"),      kSocket,
                            QStringLiteral("--xwayland")};
        }
        // The compositor starts this X client with its session's X display and authority (KWin
        // 6 starts XWayland only for it); it writes them down and lays the backdrop over the
        // whole screen, behind the player.
        const QString written = session.path(QStringLiteral("session.env"));
        QFile client(session.path(QStringLiteral("desktop-client")));
        if (!client.open(QIODevice::WriteOnly))
            return false;
        client.write(QStringLiteral("#!/bin/sh\nenv > '%1' && exec xmessage -bg '%2' -geometry "
                                    "%3x%4+0+0 ' '\n")
                         .arg(written, QColor(kBackdrop).name())
                         .arg(kScreenWidth)
                         .arg(kScreenHeight)
                         .toLocal8Bit());
        client.close();
        client.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        arguments << QStringLiteral("--") << client.fileName();
        return session.start(program, arguments, nested, [&] {
            return socketExists() && readSessionEnvironment(written) &&
                   host->grabScreen().pixel(2, kScreenHeight / 2) == kBackdrop;
        });
    }

    bool readSessionEnvironment(const QString &path)
    {
        QFile written(path);
        if (!written.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : written.readAll().split('\n')) {
            const int equals = line.indexOf('=');
            const QString name = QString::fromLocal8Bit(line.left(equals));
            if (equals > 0 &&
                (name == QLatin1String("DISPLAY") || name == QLatin1String("XAUTHORITY")))
                xSession.insert(name, QString::fromLocal8Bit(line.mid(equals + 1)));
        }
        return xSession.contains(QStringLiteral("DISPLAY"));
    }

    // The packaged KWin carries a file capability that containers may refuse to run; a copy
    // runs without it. KWin loads its own Qt platform only under its own name.
    QString kwinCopy() const
    {
        const QString copy = session.path(QStringLiteral("kwin_wayland"));
        if (!QFile::exists(copy))
            QFile::copy(QStandardPaths::findExecutable(compositorProgram()), copy);
        return copy;
    }

    const Desktop desktop;
    const QString scales;
    const int scale;
    const int monitors;
    const bool withX;
    PrivateSession session;
    QString screenDisplay;
    std::unique_ptr<X11Session> host;
    // DISPLAY and XAUTHORITY of the session's XWayland.
    QMap<QString, QString> xSession;
};

} // namespace

Q_DECLARE_METATYPE(Desktop)

class WaylandTest : public QObject
{
    Q_OBJECT

private slots:
    void showReachesTheScreen_data();
    void showReachesTheScreen();
    void keysReachTheShow_data();
    void keysReachTheShow();
    void withoutOpenGlSaysWhyAndFails();
};

void WaylandTest::showReachesTheScreen_data()
{
    QTest::addColumn<Desktop>("desktop");
    QTest::addColumn<QString>("scales");
    QTest::addColumn<bool>("withX");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("value");

    const QString none;
    QTest::newRow("native, no X server") << Desktop::Weston << "1" << false << none << none;
    QTest::newRow("native, with XWayland") << Desktop::Weston << "1" << true << none << none;
    QTest::newRow("XWayland chosen") << Desktop::Weston << "1" << true << "QT_QPA_PLATFORM"
                                     << "xcb";
    QTest::newRow("native at scale 2") << Desktop::Weston << "1" << false << "QT_SCALE_FACTOR"
                                       << "2";
    QTest::newRow("weston, output scale 2") << Desktop::Weston << "2" << true << none << none;
    QTest::newRow("GNOME session") << Desktop::Gnome << "1" << true << none << none;
    QTest::newRow("GNOME session, output scale 2") << Desktop::Gnome << "2" << true << none << none;
    QTest::newRow("KDE session") << Desktop::Kde << "1" << true << none << none;
    QTest::newRow("KDE session, output scale 2") << Desktop::Kde << "2" << true << none << none;
    // The show fills the first of two monitors and leaves the second alone, whichever scale
    // each has, natively and through XWayland.
    for (const char *scales : {"1,2", "2,1"}) {
        for (const char *platform : {"wayland", "xcb"})
            QTest::addRow("GNOME, two monitors at scales %s, %s", scales, platform)
                << Desktop::Gnome << scales << true << "QT_QPA_PLATFORM" << platform;
    }
}

void WaylandTest::showReachesTheScreen()
{
    QFETCH(Desktop, desktop);
    QFETCH(QString, scales);
    QFETCH(bool, withX);
    QFETCH(QString, setting);
    QFETCH(QString, value);

    QTemporaryDir data;
    // No music keeps the first scene at clock 0; a transparent picture leaves only its band.
    QVERIFY(TestMedia::writeShow(data.path(), 0));
    Session session(desktop, scales, withX);
    VERIFY_NO_PROBLEM(session.start());
    // The second monitor, but for the strip next to the first that the backdrop's shadow reaches
    // into, which changes as the backdrop loses the focus to the show.
    const auto secondMonitor = [&session] {
        return session.monitorCount() > 1
                   ? session.grabMonitor(1).copy(kShadowWidth, 0, kScreenWidth - kShadowWidth,
                                                 kScreenHeight)
                   : QImage();
    };
    const QImage secondBefore = secondMonitor();
    QProcessEnvironment environment = session.environment();
    if (!setting.isEmpty())
        environment.insert(setting, value);
    PlayerRun player(data.path(), environment);

    // The band starts 119 rows above the bottom of a 720-row screen and is 479 rows high.
    const QRgb band = TestMedia::storedColour(0, 0, 0.3f);
    const int lowestRow = kScreenHeight - 1 - 119;
    const int highestRow = lowestRow - 478;
    // Rounding may move a channel by one; a 16-bit surface moves the band's blue by two.
    constexpr int kTolerance = 1;
    const auto bandShown = [&](const QImage &screen) {
        if (screen.size() != QSize(kScreenWidth, kScreenHeight))
            return false;
        for (int x : {0, kScreenWidth - 1}) {
            if (!TestMedia::closeColours(screen.pixel(x, lowestRow), band, kTolerance) ||
                !TestMedia::closeColours(screen.pixel(x, highestRow), band, kTolerance) ||
                screen.pixel(x, lowestRow + 1) != qRgb(0, 0, 0) ||
                screen.pixel(x, highestRow - 1) != qRgb(0, 0, 0))
                return false;
        }
        return true;
    };
    QImage screen;
    for (QDeadlineTimer deadline(kShowTimeoutMs); !deadline.hasExpired(); QTest::qWait(500)) {
        QVERIFY2(player.isRunning(), qPrintable(player.state()));
        screen = session.grabMonitor();
        if (bandShown(screen))
            break;
    }
    // Where the band stands instead, as runs of colour down both edges.
    const auto columnOf = [&](int x) {
        QStringList runs;
        for (int top = 0, y = 1; y <= screen.height(); ++y) {
            if (y < screen.height() && screen.pixel(x, y) == screen.pixel(x, top))
                continue;
            runs << QStringLiteral("%1-%2 %3")
                        .arg(top)
                        .arg(y - 1)
                        .arg(TestMedia::describe(screen.pixel(x, top)));
            top = y;
        }
        return runs.join(QStringLiteral(", "));
    };
    QVERIFY2(bandShown(screen),
             qPrintable(screen.isNull()
                            ? QStringLiteral("no screenshot")
                            : QStringLiteral("no band on rows %1-%2 of a %3x%4 screen; the left "
                                             "edge shows rows %5, the right edge rows %6")
                                  .arg(highestRow)
                                  .arg(lowestRow)
                                  .arg(screen.width())
                                  .arg(screen.height())
                                  .arg(columnOf(0), columnOf(screen.width() - 1))));
    QVERIFY2(secondMonitor() == secondBefore, "the show reaches onto the second monitor");
    // The viewer's Esc reaches the show through the compositor and ends it; one that a busy
    // compositor lost before the window had the keyboard is pressed again.
    for (QDeadlineTimer deadline(kShowTimeoutMs); player.isRunning() && !deadline.hasExpired();) {
        session.pressKey("Escape");
        player.process().waitForFinished(kKeyAnswerMs);
    }
    VERIFY_NO_PROBLEM(player.exitsCleanly());
}

void WaylandTest::keysReachTheShow_data()
{
    QTest::addColumn<Desktop>("desktop");
    QTest::addColumn<QString>("platform");
    QTest::newRow("weston") << Desktop::Weston << QString();
    QTest::newRow("GNOME, through XWayland") << Desktop::Gnome << QString();
    QTest::newRow("GNOME, native") << Desktop::Gnome << "wayland";
    QTest::newRow("KDE") << Desktop::Kde << QString();
}

void WaylandTest::keysReachTheShow()
{
    QFETCH(Desktop, desktop);
    QFETCH(QString, platform);
    QTemporaryDir data;
    QVERIFY(TestMedia::writeMovingShow(data.path()));
    Session session(desktop, QStringLiteral("1"), true);
    VERIFY_NO_PROBLEM(session.start());
    // The desktop portal's stand-in tells when the music plays: it is held while it does.
    IdleStandIn playing(IdleStandIn::kPortal, session.bus());
    QVERIFY(playing.isRegistered());
    QProcessEnvironment environment = session.environment();
    if (!platform.isEmpty())
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    PlayerRun player(data.path(), environment);
    QVERIFY2(playing.waitForHolds(1, kShowTimeoutMs), qPrintable(player.state()));

    // A key pressed before the compositor has given the new window the keyboard goes nowhere:
    // the viewer presses again.
    bool paused = false;
    for (QDeadlineTimer deadline(kShowTimeoutMs); !paused && !deadline.hasExpired();) {
        session.pressKey("space");
        paused = playing.waitForHolds(0, kKeyAnswerMs);
    }
    QVERIFY2(paused, "Space does not pause the music");
    // The last frames drawn before the pause may still be on their way through a busy
    // compositor: the picture comes to rest, where a moving show never would.
    QImage still;
    QTRY_VERIFY2_WITH_TIMEOUT(
        [&] {
            still = session.grabMonitor();
            QTest::qWait(700);
            return session.grabMonitor() == still;
        }(),
        "the picture moves on in the pause", kKeyAnswerMs);
    session.pressKey("space");
    QVERIFY2(playing.waitForHolds(1, kShowTimeoutMs), "Space does not play the music on");
    QTRY_VERIFY2_WITH_TIMEOUT(session.grabMonitor() != still,
                              "the picture stands still after the pause", kShowTimeoutMs);
    session.pressKey("q");
    VERIFY_NO_PROBLEM(player.exitsCleanly());
    QVERIFY2(playing.waitForHolds(0, kShowTimeoutMs), "the show ended holding the screen awake");
}

void WaylandTest::withoutOpenGlSaysWhyAndFails()
{
    QTemporaryDir data;
    QVERIFY(TestMedia::writeShow(data.path(), 0));
    Session session(Desktop::Weston, QStringLiteral("1"), false);
    VERIFY_NO_PROBLEM(session.start());

    // A Wayland connection through which no OpenGL can be had.
    QProcessEnvironment environment = session.environment();
    environment.insert(QStringLiteral("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"),
                       QStringLiteral("none"));
    const ToolRun player = ToolRun::of(QStringLiteral(TOVEK2_PLAYER), {}, data.path(),
                                       PrivateSession::kStartTimeoutMs, environment);
    QCOMPARE(player.exitStatus, QProcess::NormalExit);
    QCOMPARE(player.exitCode, 1);
    QVERIFY(player.errorText()
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                .contains(
                    QStringLiteral("tovek2: this display offers no OpenGL to draw the show with")));
}

QTEST_GUILESS_MAIN(WaylandTest)
#include "waylandtest.moc"
