// The real player, end to end, on a virtual screen with a window manager: it goes full
// screen, shows each scene in its time range while the music plays, and ends by itself.
#include "testmedia.h"
#include "x11session.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

namespace {

constexpr int kWindowTimeoutMs = 20000;
constexpr int kShowEndMs = 75500;
// The player starts playback a moment after it starts; screenshots are taken well inside
// each scene's range so that delay does not matter.
constexpr int kStartSlackMs = 2500;

struct SceneSample
{
    const char *scene;
    int atMs;
    float red, green, blue;
};

const SceneSample kSamples[] = {
    {"crossed planes", 5000, 0, 0, 0.3f},
    {"swarm", 15000, 0.3f, 0.4f, 1},
    {"tumbling swarm", 22500, 0.3f, 0.4f, 1},
    {"wave", 32000, 0.7f, 0.5f, 0.1f},
    {"grid", 50000, 0, 0.7f, 1},
    {"ring", 67000, 1, 0.6f, 0},
};

class Player
{
public:
    explicit Player(const QString &folder)
    {
        process.setWorkingDirectory(folder);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(TOVEK2_PLAYER), QStringList());
        started.start();
    }
    ~Player()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    QProcess process;
    QElapsedTimer started;
};

QString describeBandAt(const QImage &screen, int y)
{
    return TestMedia::describe(screen.pixel(2, y));
}

} // namespace

class PlayerTest : public QObject
{
    Q_OBJECT

private slots:
    void showPlaysToTheEndAndExits();
    void withoutMusicStaysOpenUntilClosed();
};

void PlayerTest::showPlaysToTheEndAndExits()
{
    QTemporaryDir data;
    QVERIFY(TestMedia::writeTune(data.filePath(QStringLiteral("desert.mp3")), 78));
    // A fully transparent picture leaves only the band of each scene on the screen.
    QVERIFY(TestMedia::writeUniformPicture(data.filePath(QStringLiteral("round.png")), 0));

    X11Session x11;
    QVERIFY(x11.isOpen());
    Player player(data.path());
    const X11Session::WindowId window =
        x11.waitForWindow(QStringLiteral("Tovek2"), kWindowTimeoutMs);
    QVERIFY2(window, "no window titled Tovek2 appeared");
    QTRY_VERIFY(x11.isFullScreen(window));
    QTRY_COMPARE(x11.geometry(window), QRect(QPoint(0, 0), x11.screenSize()));

    const int height = x11.screenSize().height();
    for (const SceneSample &sample : kSamples) {
        const qint64 wait = sample.atMs + kStartSlackMs - player.started.elapsed();
        if (wait > 0)
            QTest::qWait(int(wait));
        QVERIFY2(player.process.state() == QProcess::Running, sample.scene);
        const QImage screen = x11.grabScreen();
        const QRgb band = TestMedia::storedColour(sample.red, sample.green, sample.blue);
        QVERIFY2(
            TestMedia::closeColours(screen.pixel(2, height / 2), band),
            qPrintable(QStringLiteral("%1: band shows %2, expected %3")
                           .arg(QLatin1String(sample.scene), describeBandAt(screen, height / 2),
                                TestMedia::describe(band))));
        QCOMPARE(screen.pixel(2, 0), qRgb(0, 0, 0));
    }

    QVERIFY2(player.process.waitForFinished(kShowEndMs + 30000 - int(player.started.elapsed())),
             "the player did not close itself after the show");
    QVERIFY(player.started.elapsed() >= kShowEndMs);
    QCOMPARE(player.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.process.exitCode(), 0);
}

void PlayerTest::withoutMusicStaysOpenUntilClosed()
{
    QTemporaryDir data;
    QVERIFY(TestMedia::writeUniformPicture(data.filePath(QStringLiteral("round.png")), 0));

    X11Session x11;
    Player player(data.path());
    const X11Session::WindowId window =
        x11.waitForWindow(QStringLiteral("Tovek2"), kWindowTimeoutMs);
    QVERIFY(window);
    QTRY_VERIFY(x11.isFullScreen(window));

    // Silent and still: the first scene at clock 0, for as long as nobody closes it.
    QVERIFY(!player.process.waitForFinished(5000));
    const QImage screen = x11.grabScreen();
    const int height = x11.screenSize().height();
    QVERIFY2(
        TestMedia::closeColours(screen.pixel(2, height / 2), TestMedia::storedColour(0, 0, 0.3f)),
        qPrintable(describeBandAt(screen, height / 2)));

    x11.requestClose(window);
    QVERIFY(player.process.waitForFinished(10000));
    QCOMPARE(player.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.process.exitCode(), 0);
}

QTEST_MAIN(PlayerTest)
#include "playertest.moc"
