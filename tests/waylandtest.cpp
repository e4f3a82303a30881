// The real player on Wayland desktops: a headless weston compositor, with and without an X
// server beside it, and the compositors of GNOME and KDE (mutter, KWin) each nested in a virtual
// X screen of its own, with something coloured behind the player. The show must reach the screen
// opaque and whole, or the player must say why it cannot and fail.
#include "testmedia.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/types.h>

namespace {

constexpr int kStartTimeoutMs = 20000;
// A sanitized player on a busy machine can take this long to fill the screen; the wait ends as
// soon as the band shows.
constexpr int kShowTimeoutMs = 60000;
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 720;
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

// A compositor on a private runtime folder, with XWayland where withX (weston starts it on the
// first X client; mutter and KWin always offer one). Mutter and KWin run nested in an Xvfb
// screen of their own, on a D-Bus session of their own, as they would in a desktop session.
class Session
{
public:
    Session(Desktop desktop, int scale, bool withX) : desktop(desktop), scale(scale), withX(withX)
    {
        runtime.setAutoRemove(true);
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // XWayland listens where every X server does.
        QDir().mkpath(QStringLiteral("/tmp/.X11-unix"));
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "QT_QPA_PLATFORM",
                                 "QT_WAYLAND_DISABLE_WINDOWDECORATION"})
            environment.remove(QString::fromLatin1(name));
        compositor.setProcessChannelMode(QProcess::MergedChannels);
    }
    ~Session()
    {
        for (QProcess *process : {&backdrop, &compositor, &xvfb}) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished();
        }
        if (busPid > 0)
            ::kill(busPid, SIGTERM);
    }

    // The program the desktop needs, or empty where all is installed.
    QString missingProgram() const
    {
        QStringList needed = {compositorProgram()};
        if (desktop != Desktop::Weston)
            needed << QStringLiteral("Xvfb") << QStringLiteral("dbus-launch")
                   << QStringLiteral("import") << QStringLiteral("xmessage");
        for (const QString &program : needed)
            if (QStandardPaths::findExecutable(program).isEmpty())
                return program;
        return QString();
    }

    bool start()
    {
        if (desktop == Desktop::Weston)
            return startWeston();
        return startBus() && startXvfb() && startNested() && findXWayland() && showBackdrop();
    }

    // A desktop session's environment: the player chooses its platform as it would there.
    QProcessEnvironment session() const
    {
        QProcessEnvironment session = environment;
        session.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
        session.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        if (desktop != Desktop::Weston)
            session.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), desktop == Desktop::Gnome
                                                                      ? QStringLiteral("GNOME")
                                                                      : QStringLiteral("KDE"));
        if (!xDisplay.isEmpty())
            session.insert(QStringLiteral("DISPLAY"), xDisplay);
        if (!xAuthority.isEmpty())
            session.insert(QStringLiteral("XAUTHORITY"), xAuthority);
        return session;
    }

    QImage grabScreen(const QString &folder) const
    {
        return desktop == Desktop::Weston ? grabWeston(folder) : grabXvfb();
    }

    QByteArray log;

private:
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

    bool startWeston()
    {
        // A coloured background, and no panel: a window that is not full screen leaves the
        // background in view, whatever the shell does with its panel.
        const QString config = QDir(runtime.path()).filePath(QStringLiteral("weston.ini"));
        QFile ini(config);
        if (!ini.open(QIODevice::WriteOnly))
            return false;
        ini.write(QStringLiteral("[shell]\nbackground-color=0xff%1\npanel-position=none\n")
                      .arg(kBackdrop & 0xffffff, 6, 16, QLatin1Char('0'))
                      .toLatin1());
        ini.close();
        // The output's size is given in logical pixels.
        QStringList arguments = {QStringLiteral("--backend=headless-backend.so"),
                                 QStringLiteral("--use-gl"),
                                 QStringLiteral("--debug"),
                                 QStringLiteral("--config=") + config,
                                 QStringLiteral("--width=%1").arg(kScreenWidth / scale),
                                 QStringLiteral("--height=%1").arg(kScreenHeight / scale),
                                 QStringLiteral("--scale=%1").arg(scale),
                                 QStringLiteral("--socket=") + kSocket};
        if (withX)
            arguments << QStringLiteral("--xwayland");
        compositor.setProcessEnvironment(environment);
        compositor.start(QStringLiteral("weston"), arguments);
        const QString socket = QDir(runtime.path()).filePath(kSocket);
        static const QRegularExpression listening(
            QStringLiteral("xserver listening on display (:\\d+)"));
        return waitFor([&] {
            if (!QFile::exists(socket))
                return false;
            const QRegularExpressionMatch match = listening.match(QString::fromLocal8Bit(log));
            xDisplay = match.captured(1);
            return !withX || match.hasMatch();
        });
    }

    bool startBus()
    {
        QProcess launcher;
        launcher.setProcessEnvironment(environment);
        launcher.start(QStringLiteral("dbus-launch"), QStringList());
        if (!launcher.waitForFinished(kStartTimeoutMs))
            return false;
        for (const QString &line : QString::fromLocal8Bit(launcher.readAllStandardOutput())
                                       .split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString name = line.section(QLatin1Char('='), 0, 0);
            const QString value = line.section(QLatin1Char('='), 1);
            if (name == QLatin1String("DBUS_SESSION_BUS_PID"))
                busPid = value.toInt();
            else if (name == QLatin1String("DBUS_SESSION_BUS_ADDRESS"))
                environment.insert(name, value);
        }
        return busPid > 0;
    }

    bool startXvfb()
    {
        // Xvfb picks a free display and names it on its standard output.
        xvfb.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"),
                    QStringLiteral("%1x%2x24").arg(kScreenWidth).arg(kScreenHeight),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!xvfb.waitForReadyRead(kStartTimeoutMs))
            return false;
        screenDisplay = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine()).trimmed();
        return screenDisplay.size() > 1;
    }

    bool startNested()
    {
        QProcessEnvironment nested = environment;
        nested.insert(QStringLiteral("DISPLAY"), screenDisplay);
        QString program = compositorProgram();
        QStringList arguments;
        if (desktop == Desktop::Gnome) {
            nested.insert(QStringLiteral("MUTTER_DEBUG_DUMMY_MODE_SPECS"),
                          QStringLiteral("%1x%2").arg(kScreenWidth).arg(kScreenHeight));
            nested.insert(QStringLiteral("MUTTER_DEBUG_DUMMY_MONITOR_SCALES"),
                          QString::number(scale));
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
        compositor.setProcessEnvironment(nested);
        compositor.start(program, arguments);
        const QString socket = QDir(runtime.path()).filePath(kSocket);
        return waitFor([&] { return QFile::exists(socket); });
    }

    // The packaged KWin carries a file capability that containers may refuse to run; a copy
    // runs without it. KWin loads its own Qt platform only under its own name.
    QString kwinCopy() const
    {
        const QString copy = QDir(runtime.path()).filePath(QStringLiteral("kwin_wayland"));
        if (!QFile::exists(copy))
            QFile::copy(QStandardPaths::findExecutable(compositorProgram()), copy);
        return copy;
    }

public:
    // KWin 6 starts XWayland only when the first X client connects, so no XWayland process
    // names the display that the backdrop and the player need.
    bool startsXWaylandLate() const
    {
        if (desktop != Desktop::Kde)
            return false;
        QProcess version;
        version.start(kwinCopy(), {QStringLiteral("--version")});
        version.waitForFinished();
        const QString text = QString::fromLocal8Bit(version.readAllStandardOutput());
        return text.section(QLatin1Char(' '), 1).section(QLatin1Char('.'), 0, 0).toInt() >= 6;
    }

private:
    // The compositor starts XWayland as its child and names the display, and the authority
    // file where there is one, on its command line.
    bool findXWayland()
    {
        return waitFor([&] {
            for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
                const QStringList arguments = commandLine(pid);
                if (arguments.isEmpty() || !arguments.first().endsWith(QLatin1String("Xwayland")) ||
                    parentOf(pid) != compositor.processId())
                    continue;
                xDisplay = arguments.filter(QRegularExpression(QStringLiteral("^:\\d+$"))).value(0);
                const int auth = arguments.indexOf(QStringLiteral("-auth"));
                xAuthority = auth > 0 ? arguments.value(auth + 1) : QString();
                return !xDisplay.isEmpty();
            }
            return false;
        });
    }

    static QStringList commandLine(const QString &pid)
    {
        QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
        QStringList arguments;
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray &argument : file.readAll().split('\0'))
                arguments << QString::fromLocal8Bit(argument);
        return arguments;
    }

    static qint64 parentOf(const QString &pid)
    {
        QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!file.open(QIODevice::ReadOnly))
            return -1;
        // The fields after the parenthesised name: state, then the parent's id.
        const QByteArray stat = file.readAll();
        return stat.mid(stat.lastIndexOf(')') + 2).split(' ').value(1).toLongLong();
    }

    // A window of the backdrop's colour over the whole screen, on the compositor's XWayland.
    bool showBackdrop()
    {
        backdrop.setProcessEnvironment(session());
        backdrop.start(QStringLiteral("xmessage"),
                       {QStringLiteral("-bg"), QColor(kBackdrop).name(),
                        QStringLiteral("-geometry"),
                        QStringLiteral("%1x%2+0+0").arg(kScreenWidth).arg(kScreenHeight),
                        QStringLiteral(" ")});
        return waitFor([&] { return grabXvfb().pixel(2, kScreenHeight / 2) == kBackdrop; });
    }

    QImage grabWeston(const QString &folder) const
    {
        QDir shots(folder);
        for (const QString &old : shots.entryList({QStringLiteral("wayland-screenshot*")}))
            shots.remove(old);
        QProcess shooter;
        shooter.setWorkingDirectory(folder);
        shooter.setProcessEnvironment(session());
        shooter.start(QStringLiteral("weston-screenshooter"), QStringList());
        if (!shooter.waitForFinished(10000))
            return QImage();
        const QStringList taken = shots.entryList({QStringLiteral("wayland-screenshot*")});
        return taken.isEmpty() ? QImage() : QImage(shots.filePath(taken.first()));
    }

    // The virtual screen shows exactly what the nested compositor draws.
    QImage grabXvfb() const
    {
        QProcess shooter;
        QProcessEnvironment screen = environment;
        screen.insert(QStringLiteral("DISPLAY"), screenDisplay);
        shooter.setProcessEnvironment(screen);
        shooter.start(QStringLiteral("import"),
                      {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")});
        if (!shooter.waitForFinished(10000))
            return QImage();
        return QImage::fromData(shooter.readAllStandardOutput(), "PNG");
    }

    template <typename Ready> bool waitFor(Ready ready)
    {
        for (QDeadlineTimer deadline(kStartTimeoutMs); !deadline.hasExpired(); QTest::qWait(100)) {
            log += compositor.readAll();
            if (compositor.state() == QProcess::NotRunning)
                return false;
            if (ready())
                return true;
        }
        return false;
    }

    const Desktop desktop;
    const int scale;
    const bool withX;
    QTemporaryDir runtime;
    QProcessEnvironment environment;
    QProcess xvfb;
    QProcess compositor;
    QProcess backdrop;
    qint64 busPid = 0;
    QString screenDisplay;
    QString xDisplay;
    QString xAuthority;
};

// Starts the player in folder in the session, with one more environment setting if any.
void startPlayer(QProcess &player, const Session &session, const QString &folder,
                 const QString &setting, const QString &value)
{
    QProcessEnvironment environment = session.session();
    if (!setting.isEmpty())
        environment.insert(setting, value);
    player.setProcessEnvironment(environment);
    player.setWorkingDirectory(folder);
    player.start(QStringLiteral(TOVEK2_PLAYER), QStringList());
}

} // namespace

Q_DECLARE_METATYPE(Desktop)

class WaylandTest : public QObject
{
    Q_OBJECT

private slots:
    void showReachesTheScreen_data();
    void showReachesTheScreen();
    void withoutOpenGlSaysWhyAndFails();
};

void WaylandTest::showReachesTheScreen_data()
{
    QTest::addColumn<Desktop>("desktop");
    QTest::addColumn<int>("scale");
    QTest::addColumn<bool>("withX");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("value");

    const QString none;
    QTest::newRow("native, no X server") << Desktop::Weston << 1 << false << none << none;
    QTest::newRow("native, with XWayland") << Desktop::Weston << 1 << true << none << none;
    QTest::newRow("XWayland chosen") << Desktop::Weston << 1 << true << "QT_QPA_PLATFORM"
                                     << "xcb";
    QTest::newRow("native at scale 2") << Desktop::Weston << 1 << false << "QT_SCALE_FACTOR"
                                       << "2";
    QTest::newRow("weston, output scale 2") << Desktop::Weston << 2 << true << none << none;
    QTest::newRow("GNOME session") << Desktop::Gnome << 1 << true << none << none;
    QTest::newRow("GNOME session, output scale 2") << Desktop::Gnome << 2 << true << none << none;
    QTest::newRow("KDE session") << Desktop::Kde << 1 << true << none << none;
    QTest::newRow("KDE session, output scale 2") << Desktop::Kde << 2 << true << none << none;
}

void WaylandTest::showReachesTheScreen()
{
    QFETCH(Desktop, desktop);
    QFETCH(int, scale);
    QFETCH(bool, withX);
    QFETCH(QString, setting);
    QFETCH(QString, value);

    QTemporaryDir data;
    // No music keeps the first scene at clock 0; a transparent picture leaves only its band.
    QVERIFY(TestMedia::writeUniformPicture(data.filePath(QStringLiteral("round.png")), 0));
    Session session(desktop, scale, withX);
    const QString missing = session.missingProgram();
    if (!missing.isEmpty())
        QSKIP(qPrintable(missing + QStringLiteral(" is not installed")));
    if (session.startsXWaylandLate())
        QSKIP("this KWin starts XWayland only for its first X client; the suite finds XWayland "
              "by its process");
    QVERIFY2(session.start(), session.log.constData());

    QProcess player;
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    startPlayer(player, session, data.path(), setting, value);
    QVERIFY(player.waitForStarted());

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
        QVERIFY2(player.state() == QProcess::Running, "the player ended");
        screen = session.grabScreen(data.path());
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

    player.terminate();
    QVERIFY(player.waitForFinished(10000));
}

void WaylandTest::withoutOpenGlSaysWhyAndFails()
{
    QTemporaryDir data;
    QVERIFY(TestMedia::writeUniformPicture(data.filePath(QStringLiteral("round.png")), 0));
    Session session(Desktop::Weston, 1, false);
    QVERIFY2(session.start(), session.log.constData());

    QProcess player;
    // A Wayland connection through which no OpenGL can be had.
    startPlayer(player, session, data.path(),
                QStringLiteral("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"), QStringLiteral("none"));
    QVERIFY2(player.waitForFinished(kStartTimeoutMs), "the player sat on a screen it cannot draw");
    QCOMPARE(player.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.exitCode(), 1);
    const QStringList lines = QString::fromLocal8Bit(player.readAllStandardError())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(lines.contains(
        QStringLiteral("tovek2: this display offers no OpenGL to draw the show with")));
}

QTEST_GUILESS_MAIN(WaylandTest)
#include "waylandtest.moc"
