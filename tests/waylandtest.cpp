// The real player on a Wayland desktop: a headless weston compositor, with and without an X
// server beside it, grabbed with weston's own screenshot client. The show must reach the
// screen, or the player must say why it cannot and fail.
#include "testmedia.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

constexpr int kStartTimeoutMs = 20000;
constexpr int kShowTimeoutMs = 20000;
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 720;
const QString kSocket = QStringLiteral("tovek2-test");

// A headless weston on a private runtime folder, optionally with XWayland, which weston
// starts on the first X client.
class Weston
{
public:
    explicit Weston(bool withX)
    {
        runtime.setAutoRemove(true);
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // XWayland listens where every X server does.
        QDir().mkpath(QStringLiteral("/tmp/.X11-unix"));
        QStringList arguments = {QStringLiteral("--backend=headless-backend.so"),
                                 QStringLiteral("--use-gl"),
                                 QStringLiteral("--debug"),
                                 QStringLiteral("--width=%1").arg(kScreenWidth),
                                 QStringLiteral("--height=%1").arg(kScreenHeight),
                                 QStringLiteral("--socket=") + kSocket};
        if (withX)
            arguments << QStringLiteral("--xwayland");
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("weston"), arguments);
        process.waitForStarted();
    }
    ~Weston()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
    }

    bool waitUntilReady(bool withX)
    {
        const QString socket = QDir(runtime.path()).filePath(kSocket);
        for (QDeadlineTimer deadline(kStartTimeoutMs); !deadline.hasExpired(); QTest::qWait(100)) {
            log += process.readAll();
            if (process.state() == QProcess::NotRunning)
                return false;
            if (!QFile::exists(socket))
                continue;
            if (!withX)
                return true;
            static const QRegularExpression listening(
                QStringLiteral("xserver listening on display (:\\d+)"));
            const QRegularExpressionMatch match = listening.match(QString::fromLocal8Bit(log));
            if (match.hasMatch()) {
                xDisplay = match.captured(1);
                return true;
            }
        }
        return false;
    }

    // A desktop session's environment: the player chooses its platform as it would there.
    QProcessEnvironment session() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), kSocket);
        environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        if (!xDisplay.isEmpty())
            environment.insert(QStringLiteral("DISPLAY"), xDisplay);
        return environment;
    }

    QImage grabScreen(const QString &folder) const
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

    QByteArray log;

private:
    QTemporaryDir runtime;
    QProcess process;
    QString xDisplay;
};

// Starts the player in folder on weston's session, with one more environment setting if any.
void startPlayer(QProcess &player, const Weston &weston, const QString &folder,
                 const QString &setting, const QString &value)
{
    QProcessEnvironment environment = weston.session();
    if (!setting.isEmpty())
        environment.insert(setting, value);
    player.setProcessEnvironment(environment);
    player.setWorkingDirectory(folder);
    player.start(QStringLiteral(TOVEK2_PLAYER), QStringList());
}

} // namespace

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
    QTest::addColumn<bool>("withX");
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("value");

    QTest::newRow("native, no X server") << false << QString() << QString();
    QTest::newRow("native, with XWayland") << true << QString() << QString();
    QTest::newRow("XWayland chosen") << true << "QT_QPA_PLATFORM"
                                     << "xcb";
    QTest::newRow("native at scale 2") << false << "QT_SCALE_FACTOR"
                                       << "2";
}

void WaylandTest::showReachesTheScreen()
{
    QFETCH(bool, withX);
    QFETCH(QString, setting);
    QFETCH(QString, value);

    QTemporaryDir data;
    // No music keeps the first scene at clock 0; a transparent picture leaves only its band.
    QVERIFY(TestMedia::writeUniformPicture(data.filePath(QStringLiteral("round.png")), 0));
    Weston weston(withX);
    QVERIFY2(weston.waitUntilReady(withX), weston.log.constData());

    QProcess player;
    player.setProcessChannelMode(QProcess::ForwardedChannels);
    startPlayer(player, weston, data.path(), setting, value);
    QVERIFY(player.waitForStarted());

    // The band starts 119 rows above the bottom of a 720-row screen and is 479 rows high.
    const QRgb band = TestMedia::storedColour(0, 0, 0.3f);
    const int lowestRow = kScreenHeight - 1 - 119;
    const int highestRow = lowestRow - 478;
    const auto bandShown = [&](const QImage &screen) {
        if (screen.size() != QSize(kScreenWidth, kScreenHeight))
            return false;
        for (int x : {0, kScreenWidth - 1}) {
            if (!TestMedia::closeColours(screen.pixel(x, lowestRow), band) ||
                !TestMedia::closeColours(screen.pixel(x, highestRow), band) ||
                screen.pixel(x, lowestRow + 1) != qRgb(0, 0, 0) ||
                screen.pixel(x, highestRow - 1) != qRgb(0, 0, 0))
                return false;
        }
        return true;
    };
    QImage screen;
    for (QDeadlineTimer deadline(kShowTimeoutMs); !deadline.hasExpired(); QTest::qWait(500)) {
        QVERIFY2(player.state() == QProcess::Running, "the player ended");
        screen = weston.grabScreen(data.path());
        if (bandShown(screen))
            break;
    }
    QVERIFY2(bandShown(screen),
             qPrintable(QStringLiteral("no band on the screen: mid-height shows %1")
                            .arg(screen.isNull()
                                     ? QStringLiteral("nothing")
                                     : TestMedia::describe(screen.pixel(2, kScreenHeight / 2)))));

    player.terminate();
    QVERIFY(player.waitForFinished(10000));
}

void WaylandTest::withoutOpenGlSaysWhyAndFails()
{
    QTemporaryDir data;
    QVERIFY(TestMedia::writeUniformPicture(data.filePath(QStringLiteral("round.png")), 0));
    Weston weston(false);
    QVERIFY2(weston.waitUntilReady(false), weston.log.constData());

    QProcess player;
    // A Wayland connection through which no OpenGL can be had.
    startPlayer(player, weston, data.path(), QStringLiteral("QT_WAYLAND_CLIENT_BUFFER_INTEGRATION"),
                QStringLiteral("none"));
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
