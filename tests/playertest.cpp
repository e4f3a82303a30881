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
constexpr int kExitTimeoutMs = 30000;
// A closed window ends the process at once: a few hundred milliseconds on a quiet machine,
// over a second on a busy one; a player that waits for its music's end takes ten or more.
constexpr int kPromptExitMs = 3000;

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
    explicit Player(const QString &folder, const QProcessEnvironment &environment =
                                               QProcessEnvironment::systemEnvironment())
    {
        process.setWorkingDirectory(folder);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QStringLiteral(TOVEK2_PLAYER), QStringList());
        started.start();
        // Until the start has been seen, state() says Starting, not Running; the rows poll the
        // screen without an event loop, so they wait for it here.
        process.waitForStarted();
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

// Rows of column x in the colour, as (first row above the bottom edge, number of rows).
QPair<int, int> rowsIn(const QImage &screen, int x, QRgb colour)
{
    int first = -1;
    int rows = 0;
    for (int fromBottom = 0; fromBottom < screen.height(); ++fromBottom) {
        if (TestMedia::closeColours(screen.pixel(x, screen.height() - 1 - fromBottom), colour)) {
            if (first < 0)
                first = fromBottom;
            ++rows;
        }
    }
    return {first, rows};
}

} // namespace

class PlayerTest : public QObject
{
    Q_OBJECT

private slots:
    void showPlaysToTheEndAndExits();
    void withoutMusicStaysOpenUntilClosed_data();
    void withoutMusicStaysOpenUntilClosed();
    void closingEndsTheProcessAtOnce_data();
    void closingEndsTheProcessAtOnce();
};

void PlayerTest::showPlaysToTheEndAndExits()
{
    if (QLatin1String(TOVEK2_PLAYERS_BACKEND) == QLatin1String("phonon_vlc"))
        QSKIP("VLC's back end, the player's with Qt 6, ends music that no sound device paces "
              "seconds early (a 78 s tune after 72 s), so the show closes before 75.5 s; and it "
              "reports each position twice, so that on a software renderer the reports queue "
              "up behind Qt 6's composed frames and the show runs seconds behind the music");
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

void PlayerTest::withoutMusicStaysOpenUntilClosed_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("value");
    // Scaled screens: the band still covers the same device pixels as at factor 1.
    QTest::newRow("scale 1") << QString() << QString();
    QTest::newRow("QT_SCALE_FACTOR 2") << "QT_SCALE_FACTOR"
                                       << "2";
    QTest::newRow("QT_SCALE_FACTOR 1.5") << "QT_SCALE_FACTOR"
                                         << "1.5";
    QTest::newRow("QT_SCREEN_SCALE_FACTORS 2") << "QT_SCREEN_SCALE_FACTORS"
                                               << "2";
}

void PlayerTest::withoutMusicStaysOpenUntilClosed()
{
    QFETCH(QString, setting);
    QFETCH(QString, value);
    QTemporaryDir data;
    QVERIFY(TestMedia::writeUniformPicture(data.filePath(QStringLiteral("round.png")), 0));

    X11Session x11;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!setting.isEmpty())
        environment.insert(setting, value);
    Player player(data.path(), environment);
    const X11Session::WindowId window =
        x11.waitForWindow(QStringLiteral("Tovek2"), kWindowTimeoutMs);
    QVERIFY(window);
    QTRY_VERIFY(x11.isFullScreen(window));

    // Silent and still: the first scene at clock 0, for as long as nobody closes it, its band
    // on the rows of the screen's height across the whole width.
    QVERIFY(!player.process.waitForFinished(5000));
    const QImage screen = x11.grabScreen();
    const int height = screen.height();
    const QRgb band = TestMedia::storedColour(0, 0, 0.3f);
    const QPair<int, int> expectedRows(int(height * 0.1666), int(height * 0.666));
    QVERIFY2(TestMedia::closeColours(screen.pixel(2, height / 2), band),
             qPrintable(describeBandAt(screen, height / 2)));
    QCOMPARE(rowsIn(screen, 0, band), expectedRows);
    QCOMPARE(rowsIn(screen, screen.width() - 1, band), expectedRows);

    x11.requestClose(window);
    QVERIFY(player.process.waitForFinished(10000));
    QCOMPARE(player.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.process.exitCode(), 0);
}

void PlayerTest::closingEndsTheProcessAtOnce_data()
{
    QTest::addColumn<int>("tuneSeconds");
    QTest::addColumn<int>("closeAtMs");
    // Short music is read to its end long before it has played; a window closed while the
    // media back end holds that end used to keep the process for the rest of the music.
    QTest::newRow("5 s, early") << 5 << 1000;
    QTest::newRow("5 s, after the end") << 5 << 7000;
    QTest::newRow("10 s, early") << 10 << 2000;
    QTest::newRow("10 s, mid-way") << 10 << 5000;
    QTest::newRow("20 s, mid-way") << 20 << 11500;
    QTest::newRow("20 s, later") << 20 << 12000;
    QTest::newRow("20 s, near the end") << 20 << 12500;
    QTest::newRow("80 s, early") << 80 << 4000;
}

void PlayerTest::closingEndsTheProcessAtOnce()
{
    QFETCH(int, tuneSeconds);
    QFETCH(int, closeAtMs);
    QTemporaryDir data;
    QVERIFY(TestMedia::writeTune(data.filePath(QStringLiteral("desert.mp3")), tuneSeconds));
    QVERIFY(TestMedia::writeUniformPicture(data.filePath(QStringLiteral("round.png")), 0));

    X11Session x11;
    Player player(data.path());
    const X11Session::WindowId window =
        x11.waitForWindow(QStringLiteral("Tovek2"), kWindowTimeoutMs);
    QVERIFY(window);
    const qint64 wait = closeAtMs - player.started.elapsed();
    if (wait > 0)
        QTest::qWait(int(wait));
    QVERIFY2(player.process.state() == QProcess::Running,
             qPrintable(QStringLiteral("the player ended by itself after %1 ms: %2, status %3")
                            .arg(player.started.elapsed())
                            .arg(player.process.exitStatus() == QProcess::NormalExit
                                     ? QStringLiteral("exited")
                                     : QStringLiteral("crashed"))
                            .arg(player.process.exitCode())));

    QElapsedTimer closing;
    closing.start();
    x11.requestClose(window);
    QVERIFY2(player.process.waitForFinished(kExitTimeoutMs), "the player did not exit");
    QVERIFY2(closing.elapsed() < kPromptExitMs,
             qPrintable(QStringLiteral("the player took %1 ms to exit").arg(closing.elapsed())));
    QCOMPARE(player.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(player.process.exitCode(), 0);
}

QTEST_MAIN(PlayerTest)
#include "playertest.moc"
